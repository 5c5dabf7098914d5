#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Three geodesy-node processes on 127.0.0.1, with TLS, checked through
go-dqlite's `dqlite` shell against the module in the `sqlite3` shell:

    cluster_test.py NODE MODULE        (make cluster-test)

10 000 seeded rows are written through the cluster; all five functions over
them, and a radius count, must give the local shell's bits. Then the leader
is killed (SIGKILL), a new leader must give the same answers, 100 more rows
are written, the killed node is restarted and must catch up: each node's
own copy, taken with the shell's .dump, answers like the leader. Clients
without a certificate, or with one from another CA, are refused. Every
wait is bounded; every process started here is ended by its PID. Prints
the failover time and the query latency through the cluster and locally.
"""
import os
import random
import shutil
import signal
import socket
import statistics
import struct
import subprocess
import sys
import tempfile
import time

NODE, MODULE = (os.path.abspath(p) for p in sys.argv[1:3])
WAIT = 60          # seconds, for any one wait
DB = "geo"
ROWS = 10000
FIVE = ("SELECT id, distance(lat1, lon1, lat2, lon2), azimut_start(lat1, lon1, lat2, lon2), "
        "azimut_end(lat1, lon1, lat2, lon2), project_lat(lat1, lon1, az, m), "
        "project_lon(lat1, lon1, az, m) FROM p ORDER BY id")
RADIUS = "SELECT count(*) FROM p WHERE distance(lat1, lon1, 51.47, -0.4543) <= 2000000"

work = tempfile.mkdtemp(prefix="geodesy-cluster-")
nodes = {}          # index -> Popen
passed = failed = 0


def check(what, ok, detail=""):
    global passed, failed
    passed, failed = passed + bool(ok), failed + (not ok)
    print(f"{'ok' if ok else 'FAIL'}: {what}" + ("" if ok else f" ({detail})"), flush=True)
    return ok


def free_ports(n):
    sockets = [socket.socket() for _ in range(n)]
    for s in sockets:
        s.bind(("127.0.0.1", 0))
    ports = [s.getsockname()[1] for s in sockets]
    for s in sockets:
        s.close()
    return ports


def openssl(*args):
    subprocess.run(["openssl", *args], cwd=work, check=True, capture_output=True)


def make_certificates():
    """A CA, certificates from it for three nodes and a client, and a client
    certificate from another CA. Every certificate names the same DNS name
    first, which is what dqlite's clients check a node against."""
    san = os.path.join(work, "san.cnf")
    with open(san, "w") as f:
        f.write("subjectAltName=DNS:geodesy-cluster,IP:127.0.0.1\n"
                "extendedKeyUsage=serverAuth,clientAuth\n")
    for ca in ("ca", "other-ca"):
        openssl("req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes",
                "-keyout", f"{ca}.key", "-out", f"{ca}.crt", "-days", "2", "-subj", f"/CN={ca}")
    for name, ca in [("node1", "ca"), ("node2", "ca"), ("node3", "ca"), ("client", "ca"),
                     ("stranger", "other-ca")]:
        openssl("req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes",
                "-keyout", f"{name}.key", "-out", f"{name}.csr", "-subj", f"/CN={name}")
        openssl("x509", "-req", "-in", f"{name}.csr", "-CA", f"{ca}.crt", "-CAkey", f"{ca}.key",
                "-CAcreateserial", "-out", f"{name}.crt", "-days", "2", "-extfile", san)
    # The shell trusts only the certificates in its -c file: its own, then
    # the CA's. The stranger trusts the cluster's CA too, so that only the
    # nodes' check of its certificate can turn it away.
    for name in ("client", "stranger"):
        with open(os.path.join(work, f"{name}-bundle.crt"), "w") as out:
            for part in (name, "ca"):
                out.write(open(os.path.join(work, f"{part}.crt")).read())


def start(i, join):
    crt = lambda name: os.path.join(work, name)  # noqa: E731
    args = [NODE, "--dir", os.path.join(work, f"node{i}"), "--address", ADDRESSES[i],
            "--tls-cert", crt(f"node{i + 1}.crt"), "--tls-key", crt(f"node{i + 1}.key"),
            "--tls-ca", crt("ca.crt")]
    if join:
        args += ["--join", ",".join(join)]
    log = open(os.path.join(work, f"node{i}.log"), "a")
    nodes[i] = subprocess.Popen(args, stdout=log, stderr=subprocess.STDOUT)


def dqlite(sql, servers=None, who="client", cwd=None, timeout=30):
    """Runs the dqlite shell; returns (exit code, output)."""
    args = ["dqlite", "-s", ",".join(servers or ADDRESSES)]
    if who:
        args += ["-c", os.path.join(work, f"{who}-bundle.crt"), "-k", os.path.join(work, f"{who}.key")]
    try:
        run = subprocess.run(args + [DB, sql], capture_output=True, text=True, timeout=timeout,
                             cwd=cwd or work)
    except subprocess.TimeoutExpired:
        return -1, f"no answer within {timeout} s"
    return run.returncode, (run.stdout + run.stderr).strip()


def rows(text, null, separator):
    """A shell's rows as tuples of floats (NULL as None)."""
    return [tuple(None if v == null else float(v) for v in line.split(separator))
            for line in text.splitlines() if line]


def cluster_rows(sql, servers=None):
    code, out = dqlite(sql, servers)
    if code != 0:
        raise RuntimeError(f"dqlite shell: {out}")
    return rows(out, "<nil>", "|")


def local_rows(sql, database, check=True):
    """The sqlite3 shell in quote mode, which prints REALs with enough digits
    to give back every bit (list mode rounds them to 15); None on an error
    unless check."""
    run = subprocess.run(["sqlite3", "-batch", "-bail", "-quote", "-cmd", f".load {MODULE}",
                          database, sql], capture_output=True, text=True, check=check)
    return rows(run.stdout, "NULL", ",") if run.returncode == 0 else None


def same_bits(a, b):
    pack = lambda r: [None if v is None else struct.pack("<d", v) for v in r]  # noqa: E731
    return len(a) == len(b) and all(pack(x) == pack(y) for x, y in zip(a, b))


def wait_for(what, test, limit=WAIT):
    deadline = time.monotonic() + limit
    while time.monotonic() < deadline:
        result = test()
        if result:
            return result
        time.sleep(0.2)
    raise RuntimeError(f"{what}: not within {limit} s")


def voters():
    code, out = dqlite(".cluster")
    return code == 0 and sum(line.endswith("|voter") for line in out.splitlines()) == 3


def insert_statements(r, first, count):
    """INSERTs of seeded rows, 500 to a statement, each value every digit."""
    def value():
        lat1 = random_latitude(r)
        return (f"{lat1!r}, {r.uniform(-180, 180)!r}, {random_latitude(r)!r}, "
                f"{r.uniform(-180, 180)!r}, {r.uniform(0, 360)!r}, {r.uniform(0, 2e7)!r}")
    statements = []
    for start_id in range(first, first + count, 500):
        values = ", ".join(f"({i}, {value()})" for i in range(start_id, min(first + count, start_id + 500)))
        statements.append(f"INSERT INTO p VALUES {values}")
    return statements


def random_latitude(r):
    import math
    return math.degrees(math.asin(2 * r.random() - 1))


def stop_all():
    for p in nodes.values():
        if p.poll() is None:
            p.send_signal(signal.SIGTERM)
    for p in nodes.values():
        try:
            p.wait(timeout=30)
        except subprocess.TimeoutExpired:
            p.kill()
            p.wait()


def main():
    make_certificates()
    start(0, [])
    wait_for("the first node's port", lambda: dqlite(".leader")[0] == 0)
    start(1, ADDRESSES[:1])
    start(2, ADDRESSES[:1])
    wait_for("three voters", voters)
    check("three nodes with TLS form a cluster of three voters", True)

    # The shell retries a refused connection until it is stopped; the nodes'
    # logs say why they refused it.
    for who, reason, what in [
            (None, "first record does not look like a TLS handshake", "without a certificate"),
            ("stranger", "failed to verify client certificate", "with a certificate from another CA")]:
        code, out = dqlite("SELECT 1", who=who, timeout=5)
        check(f"a client {what} is refused", code != 0 and any(
            reason in open(os.path.join(work, f"node{i}.log")).read() for i in nodes), out)

    r = random.Random(20261208)
    schema = "CREATE TABLE p(id INTEGER PRIMARY KEY, lat1 REAL, lon1 REAL, lat2 REAL, lon2 REAL, az REAL, m REAL)"
    inserts = insert_statements(r, 1, ROWS)
    local = os.path.join(work, "local.db")
    subprocess.run(["sqlite3", "-batch", "-bail", local],
                   input=";\n".join([schema] + inserts) + ";\n", text=True, check=True)
    for sql in [schema] + inserts:
        code, out = dqlite(sql)
        if code != 0:
            raise RuntimeError(f"writing through the cluster: {out}")

    started = time.monotonic()
    want = local_rows(FIVE, local)
    local_seconds = time.monotonic() - started
    started = time.monotonic()
    got = cluster_rows(FIVE)
    cluster_seconds = time.monotonic() - started
    check(f"all five functions on {ROWS} rows through the cluster give the local shell's bits",
          len(want) == ROWS and same_bits(got, want), f"{len(got)} rows")
    radius = local_rows(RADIUS, local)
    check(f"the radius count through the cluster is the local one ({int(radius[0][0])} rows)",
          cluster_rows(RADIUS) == radius)

    code, leader = dqlite(".leader")
    killed = ADDRESSES.index(leader)
    nodes[killed].kill()
    nodes[killed].wait()
    killed_at = time.monotonic()
    others = [a for a in ADDRESSES if a != leader]
    wait_for("an answer after the leader died", lambda: dqlite(RADIUS, others, timeout=10)[0] == 0)
    failover = time.monotonic() - killed_at
    code, new_leader = dqlite(".leader", others)
    check(f"after SIGKILL of the leader {leader}, {new_leader} leads and answers",
          new_leader in others, new_leader)
    check("the new leader gives the same bits", same_bits(cluster_rows(FIVE, others), want))

    more = insert_statements(r, ROWS + 1, 100)
    subprocess.run(["sqlite3", "-batch", "-bail", local], input=";\n".join(more) + ";\n",
                   text=True, check=True)
    for sql in more:
        code, out = dqlite(sql, others)
        if code != 0:
            raise RuntimeError(f"writing while a node is down: {out}")
    want = local_rows(FIVE, local)

    start(killed, others)
    answers = {}
    for i, address in enumerate(ADDRESSES):
        folder = os.path.join(work, f"dump{i}")
        os.makedirs(folder, exist_ok=True)

        def dumped():
            code, _ = dqlite(f".dump {address} {DB}", cwd=folder)
            if code != 0:
                return None
            copy = local_rows(FIVE, os.path.join(folder, DB), check=False)
            return copy if copy and len(copy) == ROWS + 100 else None
        answers[address] = wait_for(f"{address}'s own copy with all {ROWS + 100} rows", dumped)
    check(f"the restarted node caught up: each node's own copy answers with the leader's bits",
          all(same_bits(a, want) for a in answers.values()))

    small = "SELECT distance(51.47, -0.4543, 40.6413, -73.7781)"
    through = [timed(lambda: dqlite(small)) for _ in range(10)]
    alone = [timed(lambda: local_rows(small, ":memory:")) for _ in range(10)]
    print(f"failover: {failover:.1f} s from SIGKILL of the leader to the first answer")
    print(f"one-row query, median of 10 (a new shell process each): {statistics.median(through) * 1000:.0f} ms "
          f"through the cluster with TLS, {statistics.median(alone) * 1000:.0f} ms in the local sqlite3 shell")
    print(f"five functions over {ROWS} rows: {cluster_seconds:.2f} s through the cluster, "
          f"{local_seconds:.2f} s in the local sqlite3 shell")


def timed(f):
    started = time.monotonic()
    f()
    return time.monotonic() - started


if __name__ == "__main__":
    ADDRESSES = [f"127.0.0.1:{p}" for p in free_ports(3)]
    # A SIGTERM (a CI timeout, say) ends the nodes too, through finally.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("cluster test: stopped by SIGTERM"))
    try:
        main()
    except Exception as error:  # a wait ran out or a step broke: report it, then clean up
        check("the cluster test ran to its end", False, error)
        for i in nodes:
            print(f"--- node{i}.log\n" + open(os.path.join(work, f"node{i}.log")).read()[-2000:])
    finally:
        stop_all()
        shutil.rmtree(work, ignore_errors=True)
    print(f"cluster test: {passed} passed, {failed} failed")
    sys.exit(1 if failed or not passed else 0)
