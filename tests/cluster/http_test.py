#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The HTTP API of three geodesy-node processes with TLS on 127.0.0.1,
as other languages use it:

    http_test.py NODE MODULE RQLITE_JS_DIR DOC.md   (make cluster-test)

From Python (urllib): who may do what (no credentials, a wrong password,
a user without the permission, a client certificate), writes with
parameters through a follower, reads at every level from every node, the
five functions to the local module's bits, values JSON cannot hold as
they are, a transaction, RETURNING, ?redirect, /status and /nodes, the
limits (body, statements, a slow client, a long statement). Then
rqlite-js, unmodified, runs its own checks (rqlite_client.js) and a stream
of writes while the leader is killed: no acknowledged write may be lost
and none applied twice. Last, every curl example of DOC.md runs. Prints
HTTP writes and reads per second at 1, 16 and 64 clients, and the cost of
each read level. Every process started here is ended by its PID.
"""
import base64
import http.client
import json
import os
import random
import re
import resource
import shutil
import signal
import socket
import ssl
import statistics
import struct
import subprocess
import sys
import tempfile
import threading
import time
import urllib.error
import urllib.request

import common
from common import Checks, free_ports, make_certificates, tls_flags, wait_for

NODE, MODULE, RQLITE_JS, DOC = (os.path.abspath(p) for p in sys.argv[1:5])
ROWS = 300
FIVE = ("SELECT id, distance(lat1, lon1, lat2, lon2), azimut_start(lat1, lon1, lat2, lon2), "
        "azimut_end(lat1, lon1, lat2, lon2), project_lat(lat1, lon1, az, m), "
        "project_lon(lat1, lon1, az, m) FROM p ORDER BY id")
PASSWORD = "correct horse battery staple"

work = tempfile.mkdtemp(prefix="geodesy-http-")
nodes = {}
check = Checks()


def start(i, join):
    args = [NODE, "--dir", os.path.join(work, f"node{i}"), "--address", ADDRESSES[i], "--health", HEALTH[i],
            "--http", HTTP[i], "--http-users", os.path.join(work, "users.json"), "--statement-timeout", "2s"]
    args += tls_flags(work, f"node{i + 1}") + (["--join", ",".join(join)] if join else ["--bootstrap"])
    # A descriptor limit that strangers' connections could exhaust, were
    # each to cost one without bound.
    nodes[i] = subprocess.Popen(args, stdout=open(os.path.join(work, f"node{i}.log"), "a"), stderr=subprocess.STDOUT,
                                preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_NOFILE, (1024, 1024)))


def context(certificate=None):
    c = ssl.create_default_context(cafile=os.path.join(work, "ca.crt"))
    c.check_hostname = False  # the nodes' certificates name the cluster, not 127.0.0.1's name
    if certificate:
        c.load_cert_chain(os.path.join(work, f"{certificate}.crt"), os.path.join(work, f"{certificate}.key"))
    return c


def call(i, path, body=None, user=("app", PASSWORD), certificate=None, method=None, timeout=30):
    """(status, parsed JSON or text, headers) of one request to node i's API."""
    data = body if isinstance(body, bytes) or body is None else json.dumps(body).encode()
    request = urllib.request.Request(f"https://{HTTP[i]}{path}", data=data, method=method)
    if data is not None:
        request.add_header("Content-Type", "application/json")
    if user:
        request.add_header("Authorization", "Basic " + base64.b64encode(f"{user[0]}:{user[1]}".encode()).decode())

    class NoRedirect(urllib.request.HTTPRedirectHandler):
        def redirect_request(self, *args):
            return None
    opener = urllib.request.build_opener(urllib.request.HTTPSHandler(context=context(certificate)), NoRedirect)
    try:
        with opener.open(request, timeout=timeout) as response:
            status, text, headers = response.status, response.read().decode(), response.headers
    except urllib.error.HTTPError as error:
        status, text, headers = error.code, error.read().decode(), error.headers
    except (urllib.error.URLError, ConnectionError) as error:
        if certificate == "stranger":
            raise
        return None, str(error), {}
    try:
        return status, json.loads(text), headers
    except ValueError:
        return status, text, headers


def results(answer):
    status, body, _ = answer
    if status != 200 or not isinstance(body, dict):
        raise RuntimeError(f"HTTP {status}: {body}")
    return body["results"]


def leader():
    for i in range(3):
        if nodes[i].poll() is None:
            status, body = common.health(HEALTH[i], "/metrics")
            if status == 200 and "geodesy_node_leader 1" in body.splitlines():
                return i
    return None


def local_five():
    """The five functions over the same rows in the sqlite3 shell, each REAL printed with every bit."""
    db = os.path.join(work, "local.db")
    run = subprocess.run(["sqlite3", "-batch", "-bail", "-quote", "-cmd", f".load {MODULE}", db, FIVE],
                         capture_output=True, text=True, check=True)
    return [[int(v) if n == 0 else (None if v == "NULL" else float(v)) for n, v in enumerate(line.split(","))]
            for line in run.stdout.splitlines()]


def bits(rows):
    return [[struct.pack("<d", v) if isinstance(v, float) else v for v in row] for row in rows]


def main():
    make_certificates(work, [(f"node{i}", "ca", "geodesy-cluster") for i in (1, 2, 3)] +
                      [("client", "ca", "geodesy-cluster"), ("stranger", "other-ca", "geodesy-cluster")])
    hashed = subprocess.run([NODE, "password"], input=PASSWORD + "\n", capture_output=True, text=True, check=True)
    json.dump([{"username": "app", "password": hashed.stdout.strip(), "perms": ["query", "execute", "status"]},
               {"username": "reader", "password": hashed.stdout.strip(), "perms": ["query"]}],
              open(os.path.join(work, "users.json"), "w"))
    start(0, [])
    wait_for("the first node's API", lambda: call(0, "/readyz", user=None)[0] == 200)
    start(1, ADDRESSES[:1])
    start(2, ADDRESSES[:1])
    wait_for("three ready nodes", lambda: all(call(i, "/readyz", user=None)[0] == 200 for i in range(3)))
    wait_for("every API in /nodes", lambda: len([n for n in call(0, "/nodes?ver=2")[1].get("nodes", [])
                                                   if n["api_addr"]]) == 3)
    check("three nodes with TLS and HTTPS APIs are ready, /readyz answering without credentials", True)

    # Who may do what.
    for what, kwargs, status, reason in [
            ("no credentials", {"user": None}, 401, "prove who they are"),
            ("a wrong password", {"user": ("app", "guess")}, 401, "wrong user name or password"),
            ("an unknown user", {"user": ("root", PASSWORD)}, 401, "wrong user name or password"),
            ("a user without the execute permission", {"user": ("reader", PASSWORD)}, 403, "may not"),
            ("a certificate from another CA", {"user": None, "certificate": "stranger"}, None, "")]:
        try:
            got, body, _ = call(1, "/db/execute", ["CREATE TABLE refused(x)"], **kwargs)
        except (urllib.error.URLError, ssl.SSLError, ConnectionError) as error:
            got, body = None, str(error)
        check(f"a write with {what} is refused ({status or 'at the handshake'}), saying why",
              got == status and (status is None or reason in body.get("error", "")), f"{got}: {body}")
    check("a client certificate from the cluster's CA may write, without a password",
          call(1, "/db/execute", ["CREATE TABLE p(id INTEGER PRIMARY KEY, lat1 REAL, lon1 REAL, lat2 REAL, "
                                  "lon2 REAL, az REAL, m REAL)"], user=None, certificate="client")[0] == 200)
    try:
        with urllib.request.urlopen(f"http://{HTTP[1]}/db/query?q=SELECT%201", timeout=5) as response:
            plain = response.status
    except urllib.error.HTTPError as error:
        plain = error.code
    except OSError:
        plain = None
    check("plain HTTP to a TLS node's API is refused with 400, saying to use HTTPS", plain == 400, plain)

    # Rows written with parameters through a follower, read back everywhere.
    r = random.Random(20261210)
    rows = [(i, r.uniform(-90, 90), r.uniform(-180, 180), r.uniform(-90, 90), r.uniform(-180, 180),
             r.uniform(0, 360), r.uniform(0, 2e7)) for i in range(1, ROWS + 1)]
    follower = next(i for i in range(3) if i != leader())
    written = results(call(follower, "/db/execute?transaction",
                           [["INSERT INTO p VALUES(?, ?, ?, ?, ?, ?, ?)", *row] for row in rows]))
    subprocess.run(["sqlite3", os.path.join(work, "local.db")], check=True, text=True, input=
                   "CREATE TABLE p(id INTEGER PRIMARY KEY, lat1 REAL, lon1 REAL, lat2 REAL, lon2 REAL, az REAL, m REAL);\n" +
                   "".join(f"INSERT INTO p VALUES({', '.join(repr(v) for v in row)});\n" for row in rows))
    check(f"{ROWS} rows written with parameters in one transaction through a follower",
          len(written) == ROWS and all(w.get("rows_affected") == 1 for w in written), written[:2])
    want = local_five()
    for level in ("none", "weak", "linearizable", "strong"):
        got = [results(call(i, f"/db/query?level={level}", [FIVE]))[0].get("values") for i in range(3)]
        check(f"all five functions at level {level}, from every node, give the local module's bits",
              all(g is not None and bits(g) == bits(want) for g in got), [g and g[:1] for g in got])
    special = results(call(2, "/db/query?associative", [["SELECT ? AS big, x'00ff' AS b, project_lon(0, 9e999, 30, 1e6) "
                                                         "AS inf, distance(0, 0, 0, 0) AS zero, NULL AS n", 2**63 - 1]]))
    got = special[0]["rows"][0]
    check("INTEGERs keep 64 bits, BLOBs are base64, Inf is 1e999, a REAL 0 stays a REAL",
          got == {"big": 2**63 - 1, "b": "AP8=", "inf": float("inf"), "zero": 0.0, "n": None} and
          isinstance(got["zero"], float), got)

    # Outcomes and refusals.
    answer = results(call(0, "/db/request", ["INSERT INTO p(id) VALUES (1)", "SELECT count(*) FROM p",
                                             ["UPDATE p SET m = m WHERE id = ?", 1]]))
    check("a statement error is its result's error, not applied, and the others run",
          "UNIQUE constraint failed" in answer[0].get("error", "") and answer[0].get("outcome") == "not applied" and
          answer[1].get("values") == [[ROWS]] and answer[2].get("rows_affected") == 1, answer)
    answer = results(call(1, "/db/execute?transaction", ["DELETE FROM p", "INSERT INTO nowhere VALUES (1)"]))
    count = results(call(1, "/db/query", ["SELECT count(*) FROM p"]))[0]["values"]
    check("a transaction with a failing statement is rolled back whole, and says so",
          count == [[ROWS]] and all(a.get("outcome") == "not applied" for a in answer), answer)
    status, body, _ = call(1, "/db/execute", ["INSERT INTO p(id) VALUES (9999) RETURNING id"])
    check("RETURNING is refused before anything runs (400)", status == 400 and "RETURNING" in body.get("error", ""), body)
    status, body, _ = call(1, "/db/execute", ["BEGIN", "DELETE FROM p"])
    check("a request that would leave a transaction open on a pooled connection is refused (400)",
          status == 400 and "?transaction" in body.get("error", "") and
          results(call(1, "/db/query", ["SELECT count(*) FROM p"]))[0]["values"] == [[ROWS]], body)
    status, body, _ = call(1, "/db/query", ["INSERT INTO p(id) VALUES (9999)"])
    check("a write sent to /db/query is not run", status == 200 and body["results"][0].get("outcome") == "not applied" and
          results(call(1, "/db/query", ["SELECT count(*) FROM p WHERE id = 9999"]))[0]["values"] == [[0]], body)
    lead = leader()
    status, _, headers = call((lead + 1) % 3, "/db/execute?redirect", ["SELECT 1"])
    check("?redirect on a follower is 301 to the leader's API", status == 301 and
          headers.get("Location", "").startswith(f"https://{HTTP[lead]}/db/execute"), (status, headers.get("Location")))
    status, body, _ = call(0, "/status")
    nodes_list = call(0, "/nodes")[1]
    check("/status names the leader and /nodes every node with its API, one leading",
          status == 200 and body["store"]["leader"]["addr"] == ADDRESSES[lead] and
          sorted(n["api_addr"] for n in nodes_list.values()) == sorted(f"https://{h}" for h in HTTP) and
          sum(n["leader"] for n in nodes_list.values()) == 1, (body, nodes_list))

    # Limits.
    status, body, _ = call(0, "/db/execute", b"[" + b'"SELECT 1",' * 900000 + b'"SELECT 1"]')
    check("a body over 8 MiB is refused (413)", status == 413 and "larger than" in body.get("error", ""), status)
    status, body, _ = call(0, "/db/query", ["SELECT 1"] * 1001)
    check("1001 statements are refused (413)", status == 413, status)
    started = time.monotonic()
    answer = results(call(0, "/db/query", ["WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) "
                                           "SELECT count(*) FROM c"]))
    check(f"a statement that would run forever is interrupted by --statement-timeout "
          f"({time.monotonic() - started:.1f} s), saying so", answer[0].get("error", "").startswith("interrupted") and
          time.monotonic() - started < 10, answer)
    wait_for("a leader after the long statement", leader)  # it held the leader past its election timeout
    status, body, _ = call(0, "/db/query?timeout=1x", ["SELECT 1"])
    check("a malformed parameter is refused (400), saying why", status == 400 and "timeout" in body["error"], body)
    status, body, _ = call(0, "/db/query", b'["SELECT 1"')
    check("a malformed body is refused (400)", status == 400 and "JSON" in body["error"], body)
    host, port = HTTP[0].split(":")
    slow = socket.create_connection((host, int(port)))
    started = time.monotonic()
    slow.settimeout(30)
    try:
        closed = slow.recv(1) == b""
    except OSError:
        closed = True
    check(f"a connection that never starts its handshake is closed ({time.monotonic() - started:.1f} s)",
          closed and time.monotonic() - started < 15)
    slow.close()
    flood = [socket.create_connection((host, int(port))) for _ in range(600)]
    started = time.monotonic()
    served = [call(0, "/db/query", ["SELECT 1"])[0] for _ in range(5)]
    seconds = time.monotonic() - started
    for s in flood:
        s.close()
    check(f"with 600 idle connections open from the same address, a client is served at once "
          f"({seconds:.1f} s for 5 requests)", served == [200] * 5 and seconds < 5, served)

    levels = level_costs()
    rqlite_js(want)
    curl_examples()
    throughput()
    print("read level costs (median of 200 one-statement reads through a follower, one kept-alive connection): " +
          ", ".join(f"{k} {v * 1000:.2f} ms" for k, v in levels.items()))


def persistent(i):
    """A kept-alive HTTPS connection to node i's API, as a function that
    POSTs statements and returns (status, body)."""
    host, port = HTTP[i].split(":")
    connection = http.client.HTTPSConnection(host, int(port), context=context(), timeout=30)
    headers = {"Content-Type": "application/json",
               "Authorization": "Basic " + base64.b64encode(f"app:{PASSWORD}".encode()).decode()}

    def post(path, statements):
        connection.request("POST", path, json.dumps(statements), headers)
        response = connection.getresponse()
        return response.status, response.read()
    return post


def level_costs():
    post = persistent(next(i for i in range(3) if i != leader()))
    costs = {}
    for level in ("none", "weak", "linearizable", "strong"):
        times = []
        for _ in range(200):
            started = time.monotonic()
            status, body = post(f"/db/query?level={level}", ["SELECT 1"])
            times.append(time.monotonic() - started if status == 200 and b'"error"' not in body else float("inf"))
        costs[level] = statistics.median(times)
    return costs


def rqlite_js(want):
    results(call(0, "/db/execute", ["CREATE TABLE stream(seq INTEGER)"]))
    lead = leader()
    order = [i for i in range(3) if i != lead] + [lead]
    config = os.path.join(work, "rqlite.json")
    json.dump({"hosts": [f"https://{HTTP[i]}" for i in order], "ca": os.path.join(work, "ca.crt"),
               "user": "app", "password": PASSWORD, "five": FIVE, "want": want, "streamMs": 6000}, open(config, "w"))
    env = dict(os.environ, NODE_PATH=os.path.join(RQLITE_JS, "node_modules"))
    script = subprocess.Popen(["node", os.path.join(os.path.dirname(__file__), "rqlite_client.js"), config],
                              stdout=subprocess.PIPE, text=True, env=env)
    lines = []
    for line in script.stdout:
        line = line.rstrip("\n")
        lines.append(line)
        if line.startswith(("ok:", "FAIL:")):
            check(line.split(": ", 1)[1].split(" (", 1)[0], line.startswith("ok:"), line)
        if line == "STREAM":
            time.sleep(1)
            nodes[lead].kill()
            nodes[lead].wait()
    script.wait(timeout=120)
    outcome = json.loads(lines[-1]) if lines and lines[-1].startswith("{") else None
    if outcome is None:
        check("rqlite-js ran to its end", False, lines[-5:])
        return
    survivor = order[0]
    counts = dict((seq, n) for seq, n in results(call(survivor, "/db/query?level=strong", [
        "SELECT seq, count(*) FROM stream GROUP BY seq"]))[0].get("values", []))
    acknowledged, unknown = outcome["acknowledged"], outcome["unknown"]
    lost = [s for s in acknowledged if counts.get(s) != 1]
    twice = [s for s, n in counts.items() if n > 1]
    stray = [s for s in counts if s not in acknowledged and s not in unknown]
    check(f"rqlite-js: with the leader killed mid-stream, all {len(acknowledged)} acknowledged writes are there "
          f"once, none twice ({len(unknown)} unknown, {len(outcome['failed'])} refused with nothing run)",
          acknowledged and not lost and not twice and not stray, (lost, twice, stray))
    start(lead, [ADDRESSES[i] for i in order[:2]])
    wait_for("the killed node back", lambda: call(lead, "/readyz", user=None)[0] == 200)


def curl_examples():
    """Every ```sh block of the doc that runs curl, with the doc's variables
    set: each must succeed and print no error."""
    text = open(DOC, encoding="utf-8").read()
    # Each curl block, and the JSON block that shows what it prints, if one follows it.
    found = re.findall(r"^```sh\n(.*?)^```\n(?:\n```json\n(.*?)^```)?", text, flags=re.S | re.M)
    blocks = [(b, shown) for b, shown in found if b.lstrip().startswith("curl")]
    env = dict(os.environ, NODE=f"https://{HTTP[0]}", CA=os.path.join(work, "ca.crt"), USER_PASSWORD=f"app:{PASSWORD}")
    failures = []
    shown_count = 0
    for block, shown in blocks:
        run = subprocess.run(["bash", "-euo", "pipefail", "-c", block], capture_output=True, text=True, env=env,
                             timeout=60)
        if run.returncode != 0 or '"error"' in run.stdout:
            failures.append((block.splitlines()[0], run.returncode, run.stdout[-300:], run.stderr[-300:]))
        elif shown:
            shown_count += 1
            if json.loads(run.stdout) != json.loads(shown):
                failures.append((block.splitlines()[1], "printed", run.stdout.strip(), "not what the doc shows"))
    check(f"the {len(blocks)} curl examples of {os.path.basename(DOC)} run, print no error, and the "
          f"{shown_count} whose output the doc shows print exactly that", blocks and shown_count and not failures,
          failures)


def throughput():
    """HTTP writes and reads per second, and latency, at 1, 16 and 64 clients."""
    results(call(0, "/db/execute", ["CREATE TABLE IF NOT EXISTS load(id INTEGER PRIMARY KEY, x REAL)"]))
    nearest = "SELECT id, distance(lat1, lon1, 51.47, -0.4543) AS m FROM p ORDER BY m LIMIT 5"
    print("HTTP API, through a follower with TLS and a password (3 s each):")
    for kind, body in (("write", lambda: [["INSERT INTO load(x) VALUES (?)", random.random()]]),
                       ("read ", lambda: [nearest])):
        for clients in (1, 16, 64):
            latencies = []
            lock = threading.Lock()
            until = time.monotonic() + 3

            def worker():
                post = persistent(next(i for i in range(3) if i != leader()))
                while time.monotonic() < until:
                    started = time.monotonic()
                    status, answer = post("/db/execute" if kind == "write" else "/db/query", body())
                    with lock:
                        ok = status == 200 and b'"error"' not in answer
                        latencies.append(time.monotonic() - started if ok else float("inf"))
            threads = [threading.Thread(target=worker) for _ in range(clients)]
            for t in threads:
                t.start()
            for t in threads:
                t.join()
            latencies.sort()
            print(f"  {kind} {clients:2d} clients: {len(latencies) / 3:7.0f}/s, p50 "
                  f"{latencies[len(latencies) // 2] * 1000:6.1f} ms, p99 {latencies[int(len(latencies) * 0.99)] * 1000:6.1f} ms")


if __name__ == "__main__":
    ports = free_ports(9)
    ADDRESSES = [f"127.0.0.1:{p}" for p in ports[:3]]
    HEALTH = [f"127.0.0.1:{p}" for p in ports[3:6]]
    HTTP = [f"127.0.0.1:{p}" for p in ports[6:]]
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("HTTP test: stopped by SIGTERM"))
    try:
        main()
    except Exception as error:
        check("the HTTP test ran to its end", False, repr(error))
        for i in nodes:
            print(f"--- node{i}.log\n" + open(os.path.join(work, f"node{i}.log")).read()[-2000:])
    finally:
        common.stop_all(list(nodes.values()))
        shutil.rmtree(work, ignore_errors=True)
    print(f"HTTP test: {check.passed} passed, {check.failed} failed")
    sys.exit(1 if check.failed or not check.passed else 0)
