# SPDX-License-Identifier: MIT
"""Strangers at a node's door, and a crowd of friends (cluster_test.py).

Attack opens connections to a node from many addresses (by default 250
loopback ones, 127.1.0.1 and on: all of 127/8 reaches this host) that
never finish a TLS handshake, and opens each again as soon as the node closes it, as fast
as this one process can:

  - "half-open": a TCP connection that sends nothing;
  - "slow-tls": a real ClientHello, sent one byte a second.

pool() opens many TLS connections with a client certificate from one
address at once, as an application's connection pool does.
"""
import resource
import selectors
import socket
import ssl
import threading
import time

# Each connection here is a descriptor of this process.
soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))


def client_hello():
    """The first flight of a TLS client: its ClientHello record."""
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
    context.check_hostname = False
    context.verify_mode = ssl.CERT_NONE
    incoming, outgoing = ssl.MemoryBIO(), ssl.MemoryBIO()
    tls = context.wrap_bio(incoming, outgoing, server_hostname="geodesy-cluster")
    try:
        tls.do_handshake()
    except ssl.SSLWantReadError:
        pass
    return outgoing.read()


class Attack:
    def __init__(self, address, kind, sources=None, per_address=8):
        host, port = address.rsplit(":", 1)
        self.target = (host, int(port))
        self.kind = kind
        self.sources = sources or [f"127.1.0.{i + 1}" for i in range(250)]
        self.per_address = per_address
        self.hello = client_hello()
        self.opened = 0
        self.stopping = threading.Event()
        self.thread = threading.Thread(target=self.run, daemon=True)

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.stopping.set()
        self.thread.join()

    def open(self, selector, source):
        s = socket.socket()
        s.setblocking(False)
        try:
            s.bind((source, 0))
            s.connect_ex(self.target)
        except OSError:
            s.close()
            return
        selector.register(s, selectors.EVENT_READ, [source, 0])
        self.opened += 1

    def run(self):
        selector = selectors.DefaultSelector()
        for source in self.sources:
            for _ in range(self.per_address):
                self.open(selector, source)
        next_byte = time.monotonic()
        while not self.stopping.is_set():
            # A connection the node closed (or reset) is opened again at once.
            for key, _ in selector.select(timeout=0.05):
                try:
                    closed = key.fileobj.recv(4096) == b""
                except BlockingIOError:
                    closed = False
                except OSError:
                    closed = True
                if closed:
                    selector.unregister(key.fileobj)
                    key.fileobj.close()
                    self.open(selector, key.data[0])
            if self.kind == "slow-tls" and time.monotonic() >= next_byte:
                next_byte += 1
                for key in list(selector.get_map().values()):
                    sent = key.data[1]
                    if sent < len(self.hello):
                        try:
                            key.fileobj.send(self.hello[sent:sent + 1])
                            key.data[1] += 1
                        except OSError:
                            pass
        for key in list(selector.get_map().values()):
            key.fileobj.close()
        selector.close()


def pool(address, n, cert, key, ca):
    """n TLS connections with a client certificate from 127.0.0.1, all
    opened at once and kept open a moment: how many the node let in."""
    host, port = address.rsplit(":", 1)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
    context.load_cert_chain(cert, key)
    context.load_verify_locations(ca)
    start = threading.Barrier(n)
    held = []
    lock = threading.Lock()

    def one():
        try:
            start.wait()
            s = context.wrap_socket(socket.create_connection((host, int(port)), timeout=10),
                                    server_hostname="geodesy-cluster")
            s.settimeout(1)
            try:
                open_still = s.recv(1) != b""  # a node never speaks first: this times out
            except socket.timeout:
                open_still = True
            if open_still:
                with lock:
                    held.append(s)
                return
            s.close()
        except OSError:
            pass

    threads = [threading.Thread(target=one) for _ in range(n)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    for s in held:
        s.close()
    return len(held)
