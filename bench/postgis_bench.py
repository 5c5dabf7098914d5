#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Starts a throwaway PostgreSQL server with PostGIS and runs postgis_bench
against it, then stops the server and removes its folder, on every exit.

    bench/postgis_bench.py build-bench/bench/postgis_bench build-bench/geodesy.so

The server lives in a temporary folder and listens on a Unix socket in that
folder only, no TCP. PostgreSQL refuses to run as root, so as root initdb
and the server run as the `postgres` user that Debian's package creates
(switched to directly, so that the server's PID is the postmaster's own);
the benchmark itself connects through the socket.
"""
import os
import pwd
import shutil
import signal
import subprocess
import sys
import tempfile
import time

BINDIR_CANDIDATES = ["/usr/lib/postgresql/15/bin"]
BENCH_TIMEOUT = 1800  # seconds; a run takes about a minute and a half


def bindir():
    try:
        out = subprocess.run(["pg_config", "--bindir"], capture_output=True, text=True, check=True).stdout.strip()
        if os.path.exists(os.path.join(out, "initdb")):
            return out
    except (OSError, subprocess.CalledProcessError):
        pass
    for d in BINDIR_CANDIDATES:
        if os.path.exists(os.path.join(d, "initdb")):
            return d
    sys.exit("postgis_bench: PostgreSQL's initdb not found; make bench-postgis installs postgresql-15-postgis-3")


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    program, module = sys.argv[1], sys.argv[2]
    bins = bindir()
    as_user = {}
    if os.geteuid() == 0:
        try:
            owner = pwd.getpwnam("postgres")
        except KeyError:
            sys.exit("postgis_bench: running as root, and there is no `postgres` user to run the server as")
        as_user = {"user": owner.pw_uid, "group": owner.pw_gid, "extra_groups": []}

    folder = tempfile.mkdtemp(prefix="geodesy-postgis-")
    server = None

    def stop(*_):
        raise SystemExit(130)

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    try:
        if as_user:
            os.chown(folder, owner.pw_uid, owner.pw_gid)
        data = os.path.join(folder, "data")
        subprocess.run([os.path.join(bins, "initdb"), "-D", data, "-U", "bench", "-A", "trust", "-E", "UTF8",
                        "--no-sync"], check=True, stdout=subprocess.DEVNULL, cwd=folder, **as_user)
        log = open(os.path.join(folder, "server.log"), "w")
        if as_user:
            os.chown(log.name, owner.pw_uid, owner.pw_gid)
        # No TCP at all; the socket in the folder; settings for a throwaway
        # database (no fsync), and buffers that hold the whole table.
        server = subprocess.Popen(
            [os.path.join(bins, "postgres"), "-D", data, "-k", folder, "-c", "listen_addresses=",
                       "-c", "fsync=off", "-c", "synchronous_commit=off", "-c", "full_page_writes=off",
                       "-c", "shared_buffers=512MB", "-c", "max_wal_size=4GB"],
            stdout=log, stderr=subprocess.STDOUT, start_new_session=True, cwd=folder, **as_user)
        socket = os.path.join(folder, ".s.PGSQL.5432")
        deadline = time.monotonic() + 60
        while not os.path.exists(socket):
            if server.poll() is not None or time.monotonic() > deadline:
                sys.exit("postgis_bench: the server did not start:\n" + open(log.name).read())
            time.sleep(0.1)
        time.sleep(0.5)  # the socket file appears just before the server accepts
        conninfo = f"host={folder} user=bench dbname=postgres connect_timeout=30"
        try:
            return subprocess.run([program, module, conninfo], timeout=BENCH_TIMEOUT).returncode
        except subprocess.TimeoutExpired:
            tail = open(log.name).read()[-2000:]
            sys.exit(f"postgis_bench: no result after {BENCH_TIMEOUT} s; the server's log ends:\n{tail}")
    finally:
        if server is not None and server.poll() is None:
            # SIGINT is PostgreSQL's fast shutdown, sent to the postmaster
            # by its own PID; it ends its children itself.
            os.kill(server.pid, signal.SIGINT)
            try:
                server.wait(timeout=30)
            except subprocess.TimeoutExpired:
                os.killpg(server.pid, signal.SIGKILL)
                server.wait()
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
