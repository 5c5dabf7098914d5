#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Faults, tested the way Jepsen tests dqlite (make cluster-faults):

    faults_test.py NODE MODULE OUTPUT_DIR

Three geodesy-node processes with TLS take a workload of unique inserts
from three clients and geodesic reads from a fourth, all through
geodesy-node sql, while a nemesis strikes in turn: SIGKILL of the leader
then a restart; SIGSTOP and SIGCONT of the leader; two of three nodes
killed then restarted; a partition that cuts the leader off from the
others with blackhole routes, then heals (meanwhile, once the others have
acknowledged a write through the HTTP API, a linearizable read on the old
leader's API must see it or fail); a full disk under the leader (as root: each node's
folder is a small tmpfs); a follower whose folder is wiped, which must
refuse to start as itself until geodesy-node remove takes the old one
out, and must not crash when started with --bootstrap; strangers at the
leader's door from 250 addresses (half-open connections, then slow
ClientHellos), during which a client must be served; and a change of membership, one node removed and a new one added.
One writer inserts through WITH, and another tries RETURNING now and
then, which must be refused. Afterwards:

  - every acknowledged write is present, once, on every node;
  - no write that a client was told failed (not applied) is present: what
    a cut-off leader accepted but could not commit did not survive;
  - every node's .dump is the same;
  - every read gave the module's bits, whichever node led.

As root, the nodes run in network namespaces of their own, joined by a
bridge in another, and this program runs in a fifth, so that the
partition is real and no traffic leaves them; they are removed, with every
process in them, on every exit. Elsewhere the nodes run on 127.0.0.1 and
the partition is skipped, saying so. Writes OUTPUT_DIR/faults.dat and
OUTPUT_DIR/faults.png, the latency of each operation over time with the
faults marked.
"""
import errno
import json
import os
import shutil
import signal
import sqlite3
import struct
import subprocess
import sys
import tempfile
import ssl
import threading
import time
import urllib.error
import urllib.request

from common import Checks, free_ports, health, make_certificates, tls_flags, wait_for

HERE = os.path.dirname(os.path.abspath(__file__))
DB = "geo"
READ = ("SELECT distance(-33.9399, 151.1753, 33.9416, -118.4085), azimut_start(0, 0, 10, 170), "
        "azimut_end(51.47, -0.4543, 40.6413, -73.7781), project_lat(35.5494, 139.7798, 45, 9e6), "
        "project_lon(35.5494, 139.7798, 45, 9e6)")
QUIET, STRIKE = 3, 6  # seconds: between faults, and how long a fault lasts


def sh(*args):
    subprocess.run(args, check=True, capture_output=True)


class Network:
    """Five namespaces, bridged: four for nodes (the fourth joins during the
    membership change) and one for this program and its clients."""

    def __init__(self):
        tag = f"gf{os.getpid() % 100000}"
        self.bridge = f"{tag}-br"
        self.spaces = [f"{tag}-n{i}" for i in range(4)] + [f"{tag}-cl"]
        self.ips = [f"10.213.0.{i + 1}" for i in range(4)] + ["10.213.0.100"]
        # This program's namespace also holds the addresses strangers
        # attack from.
        self.strangers = [f"10.213.1.{i + 1}" for i in range(250)]

    @staticmethod
    def available():
        if os.geteuid() != 0:
            return False
        probe = f"gfprobe{os.getpid()}"
        ok = subprocess.run(["ip", "netns", "add", probe], capture_output=True).returncode == 0
        subprocess.run(["ip", "netns", "del", probe], capture_output=True)
        return ok

    def create(self):
        sh("ip", "netns", "add", self.bridge)
        sh("ip", "-n", self.bridge, "link", "add", "br0", "type", "bridge")
        sh("ip", "-n", self.bridge, "link", "set", "br0", "up")
        for i, (space, ip) in enumerate(zip(self.spaces, self.ips)):
            sh("ip", "netns", "add", space)
            sh("ip", "link", "add", "eth0", "netns", space, "type", "veth",
               "peer", "name", f"p{i}", "netns", self.bridge)
            sh("ip", "-n", space, "addr", "add", f"{ip}/16", "dev", "eth0")
            sh("ip", "-n", space, "link", "set", "eth0", "up")
            sh("ip", "-n", space, "link", "set", "lo", "up")
            sh("ip", "-n", self.bridge, "link", "set", f"p{i}", "master", "br0", "up")
        batch = "".join(f"addr add {ip}/16 dev eth0\n" for ip in self.strangers)
        subprocess.run(["ip", "-n", self.spaces[-1], "-batch", "-"], input=batch, text=True, check=True,
                       capture_output=True)

    def remove(self):
        for space in self.spaces + [self.bridge]:
            pids = subprocess.run(["ip", "netns", "pids", space], capture_output=True, text=True).stdout.split()
            for pid in pids:
                try:
                    os.kill(int(pid), signal.SIGKILL)
                except (ProcessLookupError, ValueError):
                    pass
            subprocess.run(["ip", "netns", "del", space], capture_output=True)


def outer():
    """As root: build the namespaces, run this program inside the client's,
    and remove them all, whatever happens."""
    network = Network()
    try:
        network.create()
        setup = json.dumps({"spaces": network.spaces, "ips": network.ips, "strangers": network.strangers})
        run = subprocess.run(["ip", "netns", "exec", network.spaces[-1], sys.executable, __file__,
                              *sys.argv[1:4], setup], timeout=600)
        return run.returncode
    except subprocess.TimeoutExpired:
        print("FAIL: the fault test did not finish within 10 minutes")
        return 1
    finally:
        network.remove()


class Cluster:
    def __init__(self, node, work, setup):
        self.node, self.work = node, work
        self.strangers = None  # attack from 127.1.0.x
        if setup:
            self.spaces, ips, self.strangers = setup["spaces"], setup["ips"], setup["strangers"]
            self.addresses = [f"{ip}:9000" for ip in ips[:4]]
            self.health = [f"{ip}:9100" for ip in ips[:4]]
            self.http = [f"{ip}:9200" for ip in ips[:4]]
        else:
            self.spaces = None
            ports = free_ports(12)
            self.addresses = [f"127.0.0.1:{p}" for p in ports[:4]]
            self.health = [f"127.0.0.1:{p}" for p in ports[4:8]]
            self.http = [f"127.0.0.1:{p}" for p in ports[8:]]
        self.processes = {}
        self.members = [0, 1, 2]  # the nodes in the cluster now
        self.disks = False  # each node's folder on a small tmpfs of its own
        self.check = None

    def start(self, i, join=True):
        args = [self.node, "--dir", os.path.join(self.work, f"node{i}"), "--address", self.addresses[i],
                "--health", self.health[i], "--http", self.http[i]] + tls_flags(self.work, f"node{i}")
        if join:
            args += ["--join", ",".join(self.addresses[m] for m in self.members if m != i)]
        else:
            args += ["--bootstrap"]
        if self.spaces:
            args = ["ip", "netns", "exec", self.spaces[i]] + args
        log = open(os.path.join(self.work, f"node{i}.log"), "a")
        self.processes[i] = subprocess.Popen(args, stdout=log, stderr=subprocess.STDOUT)

    def kill(self, i):
        self.processes[i].send_signal(signal.SIGCONT)
        self.processes[i].kill()
        self.processes[i].wait()

    def metrics(self, i):
        status, body = health(self.health[i], "/metrics")
        if status != 200:
            return {}
        return dict(line.rsplit(" ", 1) for line in body.splitlines() if line and not line.startswith("#"))

    def leader(self):
        for i in self.members:
            if self.processes[i].poll() is None and self.metrics(i).get("geodesy_node_leader") == "1":
                return i
        return None

    def ready(self):
        return all(self.metrics(i).get("geodesy_node_ready") == "1" and
                   self.metrics(i).get("geodesy_cluster_voters") == "3" for i in self.members)

    def client(self, sql, timeout="3s", form="csv"):
        args = [self.node, "sql", "--cluster", ",".join(self.addresses[m] for m in self.members),
                "--timeout", timeout, "--format", form] + tls_flags(self.work, "client") + [DB, sql]
        try:
            run = subprocess.run(args, capture_output=True, text=True, timeout=30)
        except subprocess.TimeoutExpired:
            return -1, "", "the client did not stop within 30 s"
        return run.returncode, run.stdout, run.stderr

    def api(self, i, path, statements):
        """(status, JSON body) of a POST to node i's HTTP API with the
        client's certificate; (None, reason) when it does not answer."""
        context = ssl.create_default_context(cafile=os.path.join(self.work, "ca.crt"))
        context.check_hostname = False
        context.load_cert_chain(os.path.join(self.work, "client.crt"), os.path.join(self.work, "client.key"))
        request = urllib.request.Request(f"https://{self.http[i]}{path}", json.dumps(statements).encode(),
                                         {"Content-Type": "application/json"})
        try:
            with urllib.request.urlopen(request, context=context, timeout=5) as response:
                return response.status, json.load(response)
        except urllib.error.HTTPError as error:
            return error.code, error.read().decode()
        except (OSError, ValueError) as error:
            return None, str(error)

    def admin(self, command, args):
        run = subprocess.run([self.node, command, "--cluster", ",".join(self.addresses[m] for m in self.members),
                              "--timeout", "20s"] + tls_flags(self.work, "client") + args,
                             capture_output=True, text=True, timeout=60)
        return run.returncode, run.stdout, run.stderr

    def mount_disks(self):
        """As root: a 512 MiB tmpfs for each node's folder, so that one can be
        filled while the others keep room for what is written meanwhile
        (dqlite keeps snapshots of the whole database beside its log)."""
        for i in range(4):
            folder = os.path.join(self.work, f"node{i}")
            os.makedirs(folder)
            if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=512m,mode=0700", "tmpfs", folder],
                              capture_output=True).returncode != 0:
                self.unmount_disks()
                return
        self.disks = True

    def unmount_disks(self):
        for i in range(4):
            subprocess.run(["umount", "-l", os.path.join(self.work, f"node{i}")], capture_output=True)

    def shell(self, command, cwd=None):
        args = ["dqlite", "-s", ",".join(self.addresses[m] for m in self.members),
                "-c", os.path.join(self.work, "client-bundle.crt"), "-k", os.path.join(self.work, "client.key"),
                DB, command]
        return subprocess.run(args, capture_output=True, text=True, timeout=60, cwd=cwd or self.work)

    def cut(self, leader, on):
        """Blackhole routes between the leader and the other nodes, both ways."""
        verb = "add" if on else "del"
        for other in self.members:
            if other == leader:
                continue
            for here, there in [(leader, other), (other, leader)]:
                subprocess.run(["ip", "netns", "exec", self.spaces[here], "ip", "route", verb, "blackhole",
                                f"{self.addresses[there].split(':')[0]}/32"], capture_output=True)


class Workload:
    """Three writers of unique rows and one reader, each op recorded as
    (start, seconds, kind, key, exit code)."""

    def __init__(self, cluster, expected):
        self.cluster, self.expected = cluster, expected
        self.ops, self.stop, self.threads = [], threading.Event(), []
        self.origin = time.monotonic()
        self.bad_reads = []
        self.returning = []

    def writer(self, w):
        """Writer 0 inserts; writer 1 inserts through WITH, which must be
        replicated like any write; writer 2 inserts, and every fifth time
        tries RETURNING, which must be refused and never applied."""
        n = 0
        while not self.stop.is_set():
            key = f"w{w}-{n}"
            sql = f"INSERT INTO acked(id, worker) VALUES ('{key}', {w})"
            if w == 1:
                sql = f"WITH k(id) AS (VALUES ('{key}')) INSERT INTO acked(id, worker) SELECT id, {w} FROM k"
            elif w == 2 and n % 5 == 4:
                sql += " RETURNING id"
            start = time.monotonic()
            code, _, _ = self.cluster.client(sql)
            self.ops.append((start - self.origin, time.monotonic() - start, "write", key, code))
            if "RETURNING" in sql:
                self.returning.append((key, code))
            n += 1

    def reader(self):
        while not self.stop.is_set():
            start = time.monotonic()
            code, out, _ = self.cluster.client(READ)
            self.ops.append((start - self.origin, time.monotonic() - start, "read", "", code))
            if code == 0:
                got = [float(v) for v in out.splitlines()[1].split(",")]
                if [struct.pack("<d", v) for v in got] != [struct.pack("<d", v) for v in self.expected]:
                    self.bad_reads.append(got)

    def begin(self):
        self.threads = [threading.Thread(target=self.writer, args=(w,)) for w in range(3)]
        self.threads.append(threading.Thread(target=self.reader))
        for t in self.threads:
            t.start()

    def end(self):
        self.stop.set()
        for t in self.threads:
            t.join()


def nemeses(cluster, marks, origin, partition):
    def mark(name, start):
        marks.append((start - origin, time.monotonic() - origin, name))
        print(f"nemesis: {name} ({time.monotonic() - start:.1f} s)", flush=True)

    def settle():
        wait_for("the cluster to be whole again", cluster.ready)
        time.sleep(QUIET)

    time.sleep(QUIET)
    leader = wait_for("a leader", cluster.leader)
    start = time.monotonic()
    cluster.kill(leader)
    time.sleep(STRIKE)
    cluster.start(leader)
    mark("SIGKILL leader", start)
    settle()

    leader = wait_for("a leader", cluster.leader)
    start = time.monotonic()
    cluster.processes[leader].send_signal(signal.SIGSTOP)
    time.sleep(STRIKE)
    cluster.processes[leader].send_signal(signal.SIGCONT)
    mark("SIGSTOP leader", start)
    settle()

    leader = wait_for("a leader", cluster.leader)
    two = [leader, next(m for m in cluster.members if m != leader)]
    start = time.monotonic()
    for i in two:
        cluster.kill(i)
    time.sleep(STRIKE)
    for i in two:
        cluster.start(i)
    mark("kill 2 of 3", start)
    settle()

    if partition:
        leader = wait_for("a leader", cluster.leader)
        start = time.monotonic()
        cluster.cut(leader, True)
        stale_reads(cluster, leader, start + STRIKE + 2)
        cluster.cut(leader, False)
        mark("partition", start)
        settle()

    if cluster.disks:
        full_disk(cluster, mark, settle)
    else:
        print("skipped: the full disk needs root (a small tmpfs for each node's folder)")
    wiped_node(cluster, mark, settle)
    door_attack(cluster, mark, settle)

    leader = wait_for("a leader", cluster.leader)
    gone = next(m for m in cluster.members if m != leader)
    start = time.monotonic()
    removed = cluster.shell(f".remove {cluster.addresses[gone]}")
    if removed.returncode != 0:
        raise RuntimeError(f".remove {cluster.addresses[gone]}: {removed.stdout}{removed.stderr}")
    cluster.kill(gone)
    cluster.members.remove(gone)
    cluster.members.append(3)
    cluster.start(3)
    wait_for("the new node to vote", cluster.ready)
    mark("remove 1, add 1", start)
    time.sleep(QUIET)


def stale_reads(cluster, old, until):
    """While the old leader is cut off: once the other side has elected a
    leader and acknowledged a write through the HTTP API, a linearizable
    read on the old leader's API must see that write or fail; it must
    never answer with what was there before."""
    # At once, while the old leader may still believe it leads: a weak
    # read may answer from its copy, a linearizable one needs a majority.
    early = {"linearizable": 0, "weak": 0}
    window = time.monotonic() + 0.6
    while time.monotonic() < window:
        for level in early:
            status, body = cluster.api(old, f"/db/query?level={level}&timeout=300ms", ["SELECT max(n) FROM probe"])
            early[level] += status == 200 and "values" in body["results"][0]
    cluster.check(f"just cut off, the old leader answers no linearizable read (weak: {early['weak']} answered)",
                  early["linearizable"] == 0, early)
    others = [m for m in cluster.members if m != old]
    marker, acked = int(time.time() * 1000), False
    while time.monotonic() < until and not acked:
        status, body = cluster.api(others[0], "/db/execute?timeout=1s", [["INSERT INTO probe(n) VALUES (?)", marker]])
        acked = status == 200 and "error" not in body["results"][0]
    answered, stale = {"linearizable": 0, "weak": 0}, {"linearizable": [], "weak": []}
    while acked and time.monotonic() < until:
        for level in answered:
            status, body = cluster.api(old, f"/db/query?level={level}&timeout=1s", ["SELECT max(n) FROM probe"])
            if status == 200 and "values" in body["results"][0]:
                answered[level] += 1
                if body["results"][0]["values"][0][0] != marker:
                    stale[level].append(body["results"][0]["values"][0][0])
    cluster.check("cut off, the old leader's API never gives a linearizable read without the write the "
                  f"new leader acknowledged ({answered['linearizable']} answered, the rest refused)",
                  acked and not stale["linearizable"], (acked, stale))
    print(f"stale reads on the cut-off old leader: weak {len(stale['weak'])} of {answered['weak']} answered, "
          f"linearizable {len(stale['linearizable'])} of {answered['linearizable']}")


def door_attack(cluster, mark, settle):
    """Strangers at the leader's door from 250 addresses, half-open
    connections and then slow ClientHellos, each opened again as soon as
    the node closes it, while the workload runs: a client with a
    certificate must be served throughout, each time within a few seconds."""
    import attack
    for kind in ("half-open", "slow-tls"):
        leader = wait_for("a leader", cluster.leader)
        start = time.monotonic()
        answers = []
        with attack.Attack(cluster.addresses[leader], kind, cluster.strangers) as strangers:
            while time.monotonic() < start + STRIKE:
                began = time.monotonic()
                code, _, err = cluster.client("SELECT 1", timeout="5s")
                answers.append((code, time.monotonic() - began, err.strip()[-200:]))
            opened = strangers.opened
        slowest = max(seconds for _, seconds, _ in answers)
        failed = [a for a in answers if a[0] != 0]
        cluster.check(f"from 250 addresses, {kind} at the leader's door ({opened} connections opened): a client is served "
                      f"{len(answers) - len(failed)} times of {len(answers)}, the slowest in {slowest:.1f} s",
                      not failed and slowest < 3, failed[:2])
        mark(kind, start)
        settle()


def full_disk(cluster, mark, settle):
    """The leader's folder fills up: it must say so in its log and on
    /healthz, and hand its leadership over, since this dqlite fails writes
    it has already replicated and then crashes on a leader that cannot
    write its log. dqlite preallocates its log segments, so besides the
    workload the nemesis writes rows of 1 MB (20 at most, until one fails):
    each acknowledged one must be kept, and none reported as not applied."""
    leader = wait_for("a leader", cluster.leader)
    folder = os.path.join(cluster.work, f"node{leader}")
    log = os.path.join(cluster.work, f"node{leader}.log")
    start = time.monotonic()
    before = len(open(log, encoding="utf-8", errors="replace").read())  # what it logged as leader earlier is not news
    filler = os.path.join(folder, "filler")
    with open(filler, "wb") as f:
        # The node writes meanwhile: what was free a moment ago may not be
        # by the time it is asked for, so take what is free now, again.
        for _ in range(20):
            room = os.statvfs(folder)
            size = room.f_bavail * room.f_frsize - 4096
            try:
                if size > 0:
                    os.posix_fallocate(f.fileno(), os.fstat(f.fileno()).st_size, size)
                break
            except OSError as e:
                if e.errno != errno.ENOSPC:
                    raise
    def since():
        return open(log, encoding="utf-8", errors="replace").read()[before:]
    try:
        said = wait_for("the leader to say its disk is full and hand over", lambda: (
            "handing leadership over" in since() and
            "no longer the leader" in since().split("handing leadership over", 1)[1] and
            health(cluster.health[leader], "/healthz")[0] == 503) or cluster.processes[leader].poll() is not None, 20)
    except RuntimeError:
        said = False
    # dqlite may free room by itself once its writes fail (its preallocated
    # segments), and a node that sees room again after a full disk stops,
    # as it must: then it has said so in its log and handed over by stopping.
    stopped_early = cluster.processes[leader].poll() is not None
    handed_over = False
    if stopped_early:
        try:
            handed_over = wait_for("another leader", lambda: cluster.leader() not in (None, leader), 20) is not None
        except RuntimeError:
            pass
    logged = since()
    cluster.check("a leader whose disk fills says so in its log and on /healthz, and hands leadership over" +
                  (" (its disk had room again at once: it stopped, saying why, and another node leads)"
                   if stopped_early else ""),
                  said is True and "bytes free: once it is full" in logged and
                  (not stopped_early or handed_over and "does not recover from a full disk" in logged),
                  logged[-600:])
    ballast = []
    for i in range(20):
        code, _, err = cluster.client(f"INSERT INTO ballast VALUES ('b{i}', randomblob(1000000))", timeout="5s")
        ballast.append((f"b{i}", code))
        if code != 0:
            break
    os.remove(filler)
    # With room again the node stops, since dqlite's log writer does not
    # recover from a full disk, and is started again as a service manager would.
    stopped = wait_for("the node whose disk was full to stop", lambda: cluster.processes[leader].poll() is not None, 20)
    cluster.check("with room again, the node whose disk was full stops to start afresh, saying why",
                  stopped and "does not recover from a full disk" in open(log).read(), open(log).read()[-400:])
    cluster.start(leader)
    mark("full disk", start)
    settle()
    code, out, _ = cluster.client("SELECT id FROM ballast", timeout="20s")
    kept = set(out.split()[1:]) if code == 0 else set()
    print(f"full disk: exit codes of the rows of 1 MB written meanwhile: {[c for _, c in ballast]}")
    cluster.check("on a full disk, every acknowledged write is kept and no write reported as not applied is",
                  code == 0 and all((key in kept) == (c == 0) for key, c in ballast if c in (0, 1)),
                  f"{ballast} kept {sorted(kept)}")
    cluster.client("DELETE FROM ballast", timeout="20s")


def wiped_node(cluster, mark, settle):
    """A follower loses its folder and is started with its own command: it
    must refuse at once, saying how to come back; started with --bootstrap
    instead, it must not crash; the leader's metrics show
    a voter that does not answer; after geodesy-node remove it joins again."""
    leader = wait_for("a leader", cluster.leader)
    lost = next(m for m in cluster.members if m != leader)
    start = time.monotonic()
    cluster.kill(lost)
    folder = os.path.join(cluster.work, f"node{lost}")
    for name in os.listdir(folder):  # the folder itself may be a mount point
        path = os.path.join(folder, name)
        shutil.rmtree(path) if os.path.isdir(path) else os.remove(path)
    cluster.start(lost)
    try:
        code = cluster.processes[lost].wait(timeout=40)
    except subprocess.TimeoutExpired:
        code = None
    log = open(os.path.join(cluster.work, f"node{lost}.log")).read()
    cluster.check("a node whose folder was wiped refuses to start as itself, saying how to come back",
                  code not in (None, 0) and "folder was lost or wiped" in log and "geodesy-node remove" in log,
                  log[-400:])
    # Started with --bootstrap instead, as the docs forbid, it is a new
    # cluster at an address the old one still counts as its member's: at
    # the old cluster's first message it must stop, saying so, and never
    # die of a signal.
    logged = len(log)
    cluster.start(lost, join=False)
    try:
        code = cluster.processes[lost].wait(timeout=10)
    except subprocess.TimeoutExpired:
        code = None
    log = open(os.path.join(cluster.work, f"node{lost}.log")).read()[logged:]
    cluster.check("a wiped node started with --bootstrap stops at the old cluster's first message, saying why; "
                  "no signal", code == 1 and "of another cluster" in log, f"exit {code}: {log[-400:]}")
    if code is None:
        cluster.processes[lost].send_signal(signal.SIGTERM)
        cluster.processes[lost].wait(timeout=40)
    for name in os.listdir(folder):
        path = os.path.join(folder, name)
        shutil.rmtree(path) if os.path.isdir(path) else os.remove(path)
    seen = wait_for("the leader's metrics to show a voter that does not answer", lambda: any(
        line.startswith("geodesy_cluster_node_reachable") and f'address="{cluster.addresses[lost]}"' in line and
        line.endswith(" 0") for line in health(cluster.health[leader], "/metrics")[1].splitlines()), 20)
    cluster.check("the leader's /metrics shows the lost voter as not answering", seen)
    removed = cluster.admin("remove", [cluster.addresses[lost]])
    cluster.check("geodesy-node remove takes the lost node out", removed[0] == 0, removed)
    cluster.start(lost)
    mark("wiped node", start)
    settle()


def draw(ops, marks, output):
    data = os.path.join(output, "faults.dat")
    with open(data, "w") as f:
        for outcome in ("ok", "failed", "unknown"):
            f.write(f"# {outcome}\n")
            for start, seconds, kind, key, code in ops:
                if {0: "ok", 3: "unknown"}.get(code, "failed") == outcome:
                    f.write(f"{start:.3f} {seconds * 1000:.1f}\n")
            f.write("\n\n")
    top = max([s * 1000 for _, s, *_ in ops] + [100])
    script = ["set terminal pngcairo size 1100,420 font 'sans,10'", f"set output '{output}/faults.png'",
              "set xlabel 'seconds'", "set ylabel 'latency of each operation (ms)'", "set logscale y",
              f"set yrange [5:{top * 2:.0f}]", "set key top right",
              "set title 'Writes and reads through geodesy-node sql while faults strike (shaded)'"]
    for i, (start, end, name) in enumerate(marks):
        script.append(f"set object {i + 1} rect from {start:.2f},graph 0 to {end:.2f},graph 1 "
                      "fc rgb '#f3d9d9' fs solid 0.6 noborder behind")
        script.append(f"set label {i + 1} '{name}' at {start + 0.2:.2f},graph 0.05 font 'sans,9'")
    script.append(f"plot '{data}' index 0 with points pt 7 ps 0.3 lc rgb '#2b6ca3' title 'acknowledged', "
                  f"'' index 1 with points pt 2 ps 0.6 lc rgb '#c0392b' title 'failed, not applied', "
                  f"'' index 2 with points pt 6 ps 0.9 lc rgb '#e67e22' title 'outcome unknown'")
    subprocess.run(["gnuplot"], input="\n".join(script), text=True, check=True)


def inner(node, module, output, setup):
    check = Checks()
    work = tempfile.mkdtemp(prefix="geodesy-faults-")
    cluster = Cluster(node, work, setup)
    cluster.check = check
    try:
        if os.geteuid() == 0:
            cluster.mount_disks()
        make_certificates(work, [(f"node{i}", "ca", "geodesy-cluster") for i in range(4)] +
                          [("client", "ca", "geodesy-cluster")])
        cluster.start(0, join=False)
        wait_for("the first node", lambda: cluster.metrics(0).get("geodesy_node_ready") == "1")
        cluster.start(1)
        cluster.start(2)
        wait_for("three voters", cluster.ready)
        code, _, err = cluster.client("CREATE TABLE acked(id TEXT PRIMARY KEY, worker INTEGER); "
                                      "CREATE TABLE ballast(id TEXT PRIMARY KEY, b BLOB); CREATE TABLE probe(n INTEGER)", timeout="20s")
        if code != 0:
            raise RuntimeError(err)

        local = sqlite3.connect(":memory:")
        local.enable_load_extension(True)
        local.load_extension(module)
        expected = list(local.execute(READ).fetchone())

        workload = Workload(cluster, expected)
        marks = []
        workload.begin()
        try:
            nemeses(cluster, marks, workload.origin, setup is not None)
        finally:
            workload.end()
        if setup is None:
            print("skipped: the partition needs root and ip netns; the other faults ran on 127.0.0.1")

        # Each node's own copy, as dqlite's shell dumps it; a follower may
        # still be applying the last entries, so dump until they agree.
        wait_for("the cluster to settle", cluster.ready)
        attempt = [0]

        def dump_all():
            attempt[0] += 1
            copies = {}
            for m in cluster.members:
                folder = os.path.join(work, f"dump{m}-{attempt[0]}")
                os.makedirs(folder)
                if cluster.shell(f".dump {cluster.addresses[m]} {DB}", folder).returncode != 0:
                    return None
                copy = sqlite3.connect(os.path.join(folder, DB))
                copies[m] = ("\n".join(copy.iterdump()), [row[0] for row in copy.execute("SELECT id FROM acked")])
                copy.close()
            return copies if len({dump for dump, _ in copies.values()}) == 1 or attempt[0] >= 20 else None
        copies = wait_for("the nodes' copies to agree", dump_all)

        writes = [op for op in workload.ops if op[2] == "write"]
        acked = {key for _, _, _, key, code in writes if code == 0}
        refused = {key for _, _, _, key, code in writes if code not in (0, 3)}
        unknown = {key for _, _, _, key, code in writes if code == 3}
        dumps = {dump for dump, _ in copies.values()}
        present = set(copies[cluster.members[0]][1])
        check(f"every acknowledged write ({len(acked)}) is present once on every node",
              all(acked <= set(ids) and len(ids) == len(set(ids)) for _, ids in copies.values()),
              f"missing: {sorted(acked - present)[:5]}")
        check(f"no write the client was told failed ({len(refused)}) is present",
              not (present & refused), f"present though failed: {sorted(present & refused)[:5]}")
        check(f"every write with RETURNING ({len(workload.returning)}) was refused with exit 1 and is absent",
              workload.returning and all(code == 1 for _, code in workload.returning) and
              not (present & {key for key, _ in workload.returning}), workload.returning[:5])
        with_keys = {key for key in acked if key.startswith("w1-")}
        check(f"every acknowledged WITH ... INSERT ({len(with_keys)}) is present", with_keys and with_keys <= present)
        check(f"every node's .dump is the same ({len(copies)} nodes)", len(dumps) == 1)
        reads = [op for op in workload.ops if op[2] == "read"]
        check(f"every read that answered ({sum(op[4] == 0 for op in reads)} of {len(reads)}) gave "
              "the module's bits", not workload.bad_reads, workload.bad_reads[:2])
        leaders = [i for i in range(4) if "this node is now the leader" in
                   open(os.path.join(work, f"node{i}.log")).read()]
        print(f"writes: {len(acked)} acknowledged, {len(refused)} failed, {len(unknown)} of unknown "
              f"outcome ({len(unknown & present)} of them committed); nodes that led: {leaders}")
        os.makedirs(output, exist_ok=True)
        draw(workload.ops, marks, output)
        print(f"timeline: {output}/faults.png")
    except Exception as error:  # a wait ran out or a step broke: report it, then clean up
        check("the fault test ran to its end", False, error)
        for i in cluster.processes:
            print(f"--- node{i}.log\n" + open(os.path.join(work, f"node{i}.log")).read()[-1500:])
    finally:
        for i in list(cluster.processes):
            if cluster.processes[i].poll() is None:
                cluster.kill(i)
        if cluster.disks:
            cluster.unmount_disks()
        shutil.rmtree(work, ignore_errors=True)
    print(f"fault test: {check.passed} passed, {check.failed} failed")
    return 1 if check.failed or not check.passed else 0


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("fault test: stopped by SIGTERM"))
    node, module, output = (os.path.abspath(p) for p in sys.argv[1:4])
    if len(sys.argv) > 4:
        sys.exit(inner(node, module, output, json.loads(sys.argv[4])))
    if Network.available():
        sys.exit(outer())
    sys.exit(inner(node, module, output, None))
