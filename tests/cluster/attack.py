# SPDX-License-Identifier: MIT
"""A stranger at a node's door, as fast as one process can go: keeps
`connections` TCP connections open to target from `hosts` loopback source
addresses (127.0.<k>.<j>), reopening each one as soon as it is closed, for
`seconds`. Each connection either trickles a real TLS ClientHello one byte
a second ("slow-tls") or sends nothing ("half-open"). Only loopback
addresses, and it stops by itself.

    attack.py TARGET MODE CONNECTIONS HOSTS SECONDS

Prints one line of JSON: connections opened, and refused or failed opens.
"""
import asyncio
import json
import ssl
import sys


def client_hello():
    """The first flight of a real TLS client."""
    context = ssl.create_default_context()
    context.check_hostname = False
    context.verify_mode = ssl.CERT_NONE
    incoming, outgoing = ssl.MemoryBIO(), ssl.MemoryBIO()
    tls = context.wrap_bio(incoming, outgoing, server_hostname="node")
    try:
        tls.do_handshake()
    except ssl.SSLWantReadError:
        pass
    return outgoing.read()


def source(i, hosts):
    k = i % hosts
    return f"127.0.{1 + k // 250}.{1 + k % 250}"


async def attack(target, mode, connections, hosts, seconds):
    host, port = target.rsplit(":", 1)
    hello = client_hello()
    loop = asyncio.get_running_loop()
    until = loop.time() + seconds
    counts = {"opened": 0, "failed": 0}

    async def one(i):
        while loop.time() < until:
            try:
                reader, writer = await asyncio.wait_for(
                    asyncio.open_connection(host, int(port), local_addr=(source(i, hosts), 0)), 2)
            except (OSError, asyncio.TimeoutError):
                counts["failed"] += 1
                await asyncio.sleep(0.05)
                continue
            counts["opened"] += 1
            try:
                sent = 0
                # Until the node closes it, or the attack ends.
                while loop.time() < until:
                    if mode == "slow-tls" and sent < len(hello):
                        writer.write(hello[sent:sent + 1])
                        sent += 1
                    try:
                        if await asyncio.wait_for(reader.read(1024), 1 if mode == "slow-tls" else until - loop.time()) == b"":
                            break
                    except asyncio.TimeoutError:
                        pass
            except OSError:
                pass
            finally:
                writer.close()

    await asyncio.gather(*(one(i) for i in range(connections)))
    return counts


if __name__ == "__main__":
    target, mode, connections, hosts, seconds = sys.argv[1], sys.argv[2], *map(int, sys.argv[3:6])
    print(json.dumps(asyncio.run(attack(target, mode, connections, hosts, seconds))))
