#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""What the node's --network-latency setting costs and buys, on three
geodesy-node processes on 127.0.0.1 (make bench-cluster):

    cluster_bench.py NODE [LATENCY...]     (latencies such as 0 2ms 20ms 50ms 100ms; 0 is dqlite's own default)

For each setting:
  - idle CPU: the three nodes' CPU time over 10 s with no client, in per
    cent of one core;
  - spurious elections: leader changes, read from the nodes' /metrics,
    while a follower is stopped (SIGSTOP) for 1 s and then the leader for
    200 ms;
  - failover: over 10 runs, the time from SIGKILL of the leader to the
    first write that a client (geodesy-node sql, retrying) has acknowledged;
    the killed node is restarted between runs.
Prints one row per setting for docs/cluster.md. Every process started here
is ended by its PID, on every exit.
"""
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.request

# Free ports and bounded waits, as the cluster's tests have them.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "tests", "cluster"))
from common import free_ports, wait_for  # noqa: E402

NODE = os.path.abspath(sys.argv[1])
LATENCIES = sys.argv[2:] or ["0", "2ms", "20ms", "50ms", "100ms"]
RUNS = 10
WAIT = 60  # seconds, for a failover's first acknowledged write

work = tempfile.mkdtemp(prefix="geodesy-cluster-bench-")
processes = {}  # index -> Popen


def metrics(health):
    try:
        with urllib.request.urlopen(f"http://{health}/metrics", timeout=1) as response:
            text = response.read().decode()
    except OSError:
        return None
    values = {}
    for line in text.splitlines():
        if line and not line.startswith("#"):
            name, value = line.rsplit(" ", 1)
            values[name] = float(value)
    return values


class Cluster:
    def __init__(self, latency, run):
        ports = free_ports(6)
        self.addresses = [f"127.0.0.1:{p}" for p in ports[:3]]
        self.health = [f"127.0.0.1:{p}" for p in ports[3:]]
        self.latency = latency
        self.folder = os.path.join(work, f"{latency}-{run}")

    def start(self, i):
        args = [NODE, "--dir", os.path.join(self.folder, str(i)), "--address", self.addresses[i],
                "--network-latency", self.latency, "--health", self.health[i]]
        args += ["--join", self.addresses[0]] if i else ["--bootstrap"]
        log = open(os.path.join(work, "nodes.log"), "a")
        processes[i] = subprocess.Popen(args, stdout=log, stderr=subprocess.STDOUT)

    def view(self):
        return [metrics(h) for h in self.health]

    def ready(self):
        views = self.view()
        return all(v and v["geodesy_node_ready"] == 1 and v["geodesy_cluster_voters"] == 3 for v in views)

    def leader(self):
        for i, v in enumerate(self.view()):
            if v and v["geodesy_node_leader"] == 1:
                return i
        return None

    def changes(self):
        return max(v["geodesy_node_leader_changes_total"] for v in self.view() if v)

    def write(self, value, timeout="1s"):
        return subprocess.run([NODE, "sql", "--cluster", ",".join(self.addresses), "--timeout", timeout,
                               "geo", f"INSERT INTO t VALUES ({value})"],
                              capture_output=True).returncode == 0


def cpu_seconds(pids):
    total = 0
    for pid in pids:
        with open(f"/proc/{pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        total += int(fields[11]) + int(fields[12])  # utime + stime, in clock ticks
    return total / os.sysconf("SC_CLK_TCK")


def measure(latency):
    cluster = Cluster(latency, 0)
    cluster.start(0)
    wait_for("the first node", lambda: cluster.view()[0])
    cluster.start(1)
    cluster.start(2)
    wait_for("three voters", cluster.ready)
    wait_for("a table", lambda: subprocess.run(
        [NODE, "sql", "--cluster", ",".join(cluster.addresses), "geo", "CREATE TABLE IF NOT EXISTS t(v)"],
        capture_output=True).returncode == 0)

    pids = [p.pid for p in processes.values()]
    before = cpu_seconds(pids)
    time.sleep(10)
    idle = (cpu_seconds(pids) - before) / 10 * 100

    start_changes = cluster.changes()
    leader = cluster.leader()
    follower = (leader + 1) % 3
    for victim, pause in [(follower, 1.0), (leader, 0.2)]:
        processes[victim].send_signal(signal.SIGSTOP)
        time.sleep(pause)
        processes[victim].send_signal(signal.SIGCONT)
        time.sleep(3)
    spurious = cluster.changes() - start_changes

    failovers = []
    for run in range(RUNS):
        wait_for("three voters", cluster.ready)
        leader = wait_for("a leader", cluster.leader)
        processes[leader].kill()
        processes[leader].wait()
        killed = time.monotonic()
        value = 0
        while not cluster.write(value):
            value += 1
            if time.monotonic() - killed > WAIT:
                raise RuntimeError("no write acknowledged within a minute of the failover")
        failovers.append(time.monotonic() - killed)
        cluster.start(leader)
    return idle, spurious, failovers


def stop_all():
    for p in processes.values():
        if p.poll() is None:
            p.send_signal(signal.SIGCONT)
            p.kill()
            p.wait()
    processes.clear()


def main():
    print("| --network-latency | heartbeat, election timeout | failover, median (range) over 10 | "
          "leader changes under 1 s follower / 0.2 s leader stops | idle CPU, 3 nodes |")
    print("|---|---|---|---|---|")
    for latency in LATENCIES:
        try:
            idle, spurious, failovers = measure(latency)
        finally:
            stop_all()
        if latency == "0":
            label, timing = "0 (dqlite's default)", "dqlite's"
        else:
            ms = float(latency.rstrip("ms"))
            label, timing = latency, f"{1.5 * ms:g} ms, {15 * ms:g} ms"
        print(f"| {label} | {timing} | {statistics.median(failovers):.2f} s "
              f"({min(failovers):.2f} to {max(failovers):.2f} s) | {spurious:.0f} | {idle:.1f} % |",
              flush=True)


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("cluster bench: stopped by SIGTERM"))
    try:
        main()
    finally:
        stop_all()
        shutil.rmtree(work, ignore_errors=True)
