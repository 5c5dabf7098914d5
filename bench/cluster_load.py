#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Concurrent clients on three geodesy-node processes with TLS on
127.0.0.1 (make bench-cluster):

    cluster_load.py NODE LOAD [SECONDS] [CLIENTS...]     (defaults: 10 s; 1 4 16 64 256)

LOAD is the cluster_load program. At each number of clients N it runs N
writers (one row per statement, each on a connection of its own) for
SECONDS, alone and then beside N readers (all five functions), and prints
a row for each: writes per second with their p50 and p99, the same for
reads, lock retries and errors, and the three nodes' peak resident memory
and open descriptors over that run. Then the same beside readers through
the nodes' HTTP API (HTTPS, one kept-alive connection per client, spread
over the three nodes) at 1, 16 and 64 clients. Then memory against the database's
size: the database grown in 4 MiB transactions of random BLOBs to 16, 64
and 128 MiB, each node's resident size after each step; then one
transaction of 64 MiB, its time, its outcome and each node's peak. Every
process started here is ended by its PID, on every exit.
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "tests", "cluster"))
from common import free_ports, health, make_certificates, tls_flags, wait_for  # noqa: E402

NODE, LOAD = (os.path.abspath(p) for p in sys.argv[1:3])
SECONDS = float(sys.argv[3]) if len(sys.argv) > 3 else 10
LEVELS = [int(n) for n in sys.argv[4:]] or [1, 4, 16, 64, 256]

work = tempfile.mkdtemp(prefix="geodesy-cluster-load-")
processes = []
HEALTHS = []


def metrics(address):
    status, body = health(address, "/metrics")
    if status != 200:
        return {}
    return dict(line.rsplit(" ", 1) for line in body.splitlines() if line and not line.startswith("#"))


def sample(pids, peaks, stop):
    """Each node's largest resident size (MiB) and descriptor count, every 0.2 s."""
    while not stop.is_set():
        for pid in pids:
            try:
                with open(f"/proc/{pid}/status") as f:
                    rss = next(int(line.split()[1]) for line in f if line.startswith("VmRSS:")) / 1024
                fds = len(os.listdir(f"/proc/{pid}/fd"))
            except (OSError, StopIteration):
                continue
            peak = peaks.setdefault(pid, [0, 0])
            peak[0], peak[1] = max(peak[0], rss), max(peak[1], fds)
        stop.wait(0.2)


def main():
    make_certificates(work, [(f"node{i}", "ca", "geodesy-cluster") for i in range(3)] +
                      [("client", "ca", "geodesy-cluster")])
    ports = free_ports(9)
    addresses = [f"127.0.0.1:{p}" for p in ports[:3]]
    healths = [f"127.0.0.1:{p}" for p in ports[3:6]]
    apis = [f"127.0.0.1:{p}" for p in ports[6:]]
    HEALTHS.extend(healths)
    log = open(os.path.join(work, "nodes.log"), "a")
    for i in range(3):
        args = [NODE, "--dir", os.path.join(work, f"node{i}"), "--address", addresses[i], "--health", healths[i],
                "--http", apis[i]]
        args += tls_flags(work, f"node{i}") + (["--join", addresses[0]] if i else ["--bootstrap"])
        processes.append(subprocess.Popen(args, stdout=log, stderr=subprocess.STDOUT))
        if i == 0:
            wait_for("the first node", lambda: health(healths[0], "/readyz")[0] == 200)
    wait_for("three voters", lambda: all(metrics(h).get("geodesy_cluster_voters") == "3" and
                                         metrics(h).get("geodesy_node_ready") == "1" for h in healths))
    pids = [p.pid for p in processes]
    for readers in (False, True):
        print("writers beside as many readers" if readers else "writers alone")
        table(addresses, pids, readers)
    print("writers beside as many readers, through the HTTP API")
    table(addresses, pids, True, [f"https://{a}" for a in apis])
    memory(addresses, pids)


def resident(pid, field="VmRSS"):
    """A process's resident size (VmRSS) or its peak (VmHWM), in MiB."""
    with open(f"/proc/{pid}/status") as f:
        return next(int(line.split()[1]) for line in f if line.startswith(field + ":")) / 1024


def memory(addresses, pids):
    def leader_changes():
        # The largest count any node saw.
        return max(int(metrics(h).get("geodesy_node_leader_changes_total", 0)) for h in HEALTHS)

    def sql(statement, timeout="120s"):
        started = time.monotonic()
        run = subprocess.run([NODE, "sql", "--cluster", ",".join(addresses), "--timeout", timeout,
                              *tls_flags(work, "client"), "mem", statement], capture_output=True, text=True)
        return run.returncode, run.stderr.strip(), time.monotonic() - started

    def blobs(mib):
        return (f"WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < {mib}) "
                f"INSERT INTO b(data) SELECT randomblob(1048576) FROM c")

    print("memory against the database's size (MiB resident, each node)")
    print(f"{'database MiB':>12}  {'resident MiB':>16}")
    sql("CREATE TABLE b(id INTEGER PRIMARY KEY, data BLOB)")
    size = 0
    print(f"{size:>12}  {'/'.join(f'{resident(p):.0f}' for p in pids):>16}")
    for target in (16, 64, 128):
        while size < target:
            code, err, _ = sql(blobs(4))
            if code != 0:
                raise RuntimeError(f"growing the database: {err}")
            size += 4
        time.sleep(2)
        print(f"{size:>12}  {'/'.join(f'{resident(p):.0f}' for p in pids):>16}", flush=True)
    peaks = {}
    stop = threading.Event()
    sampler = threading.Thread(target=sample, args=(pids, peaks, stop))
    sampler.start()
    changes = leader_changes()
    code, err, seconds = sql(blobs(64))
    time.sleep(5)
    stop.set()
    sampler.join()
    run = subprocess.run([NODE, "sql", "--cluster", ",".join(addresses), *tls_flags(work, "client"),
                          "--format", "csv", "mem", "SELECT count(*) FROM b"], capture_output=True, text=True)
    committed = run.stdout.split()[-1:] == [str(size + 64)]
    print(f"one 64 MiB transaction on {size} MiB: exit {code} after {seconds:.1f} s"
          f"{' (' + err.split(':')[1].strip() + ')' if err else ''}; "
          f"{'committed' if committed else 'not committed'}; {leader_changes() - changes} changes of leader; "
          f"peak {'/'.join(f'{peaks.get(p, [0])[0]:.0f}' for p in pids)} MiB, "
          f"then {'/'.join(f'{resident(p):.0f}' for p in pids)} MiB resident")


def table(addresses, pids, with_readers, apis=None):
    print(f"{'clients':>7}  {'writes/s':>8}  {'w p50':>7}  {'w p99':>7}  {'reads/s':>8}  {'r p50':>7}  "
          f"{'r p99':>7}  {'retries':>7}  {'errors':>6}  {'peak MiB':>16}  {'peak fds':>14}")
    for n in [n for n in LEVELS if n in (1, 16, 64)] if apis else LEVELS:
        peaks, stop = {}, threading.Event()
        sampler = threading.Thread(target=sample, args=(pids, peaks, stop))
        sampler.start()
        try:
            run = subprocess.run([LOAD, "--cluster", ",".join(addresses), *tls_flags(work, "client"),
                                  "--writers", str(n), "--readers", str(n if with_readers else 0),
                                  "--seconds", str(SECONDS)] + (["--http", ",".join(apis)] if apis else []),
                                 capture_output=True, text=True, timeout=SECONDS + 120)
        finally:
            stop.set()
            sampler.join()
        if run.returncode != 0:
            raise RuntimeError(f"cluster_load at {n} clients: {run.stderr.strip()}")
        r = json.loads(run.stdout)
        mib = "/".join(f"{peaks.get(pid, [0, 0])[0]:.0f}" for pid in pids)
        fds = "/".join(f"{peaks.get(pid, [0, 0])[1]}" for pid in pids)
        print(f"{n:>7}  {r['writes_per_second']:>8.0f}  {r['write_p50_ms']:>7.1f}  {r['write_p99_ms']:>7.1f}  "
              f"{r['reads_per_second']:>8.0f}  {r['read_p50_ms']:>7.1f}  {r['read_p99_ms']:>7.1f}  "
              f"{r['lock_retries']:>7}  {r['errors']:>6}  {mib:>16}  {fds:>14}", flush=True)
        for message in r["first_errors"]:
            print(f"         error: {message}")


if __name__ == "__main__":
    try:
        main()
    finally:
        for p in processes:
            p.kill()
            p.wait()
        shutil.rmtree(work, ignore_errors=True)
