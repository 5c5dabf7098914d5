# SPDX-License-Identifier: MIT
"""What the cluster's tests share: counted checks, free ports, bounded
waits, a CA with certificates, and a node's health endpoints."""
import os
import signal
import socket
import subprocess
import time
import urllib.error
import urllib.request

WAIT = 60  # seconds, for any one wait


class Checks:
    def __init__(self):
        self.passed = self.failed = 0

    def __call__(self, what, ok, detail=""):
        self.passed, self.failed = self.passed + bool(ok), self.failed + (not ok)
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


def wait_for(what, test, limit=WAIT):
    deadline = time.monotonic() + limit
    while time.monotonic() < deadline:
        result = test()
        if result is not None and result is not False:  # an index 0 counts
            return result
        time.sleep(0.2)
    raise RuntimeError(f"{what}: not within {limit} s")


def make_certificates(work, certificates):
    """A CA ("ca") and another ("other-ca"), and for each (name, CA, first
    DNS name) a key and certificate. go-dqlite's clients check a node
    against the first DNS name of their own certificate; the IP names do not
    matter to them. The dqlite shell trusts only the certificates in its -c
    file, so NAME-bundle.crt holds the certificate and the CA's."""
    def openssl(*args):
        subprocess.run(["openssl", *args], cwd=work, check=True, capture_output=True)
    for ca in ("ca", "other-ca"):
        openssl("req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes",
                "-keyout", f"{ca}.key", "-out", f"{ca}.crt", "-days", "2", "-subj", f"/CN={ca}")
    for name, ca, dns in certificates:
        with open(os.path.join(work, f"{name}.cnf"), "w") as f:
            f.write(f"subjectAltName=DNS:{dns},IP:127.0.0.1\nextendedKeyUsage=serverAuth,clientAuth\n")
        openssl("req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes",
                "-keyout", f"{name}.key", "-out", f"{name}.csr", "-subj", f"/CN={name}")
        openssl("x509", "-req", "-in", f"{name}.csr", "-CA", f"{ca}.crt", "-CAkey", f"{ca}.key",
                "-CAcreateserial", "-out", f"{name}.crt", "-days", "2", "-extfile", f"{name}.cnf")
        with open(os.path.join(work, f"{name}-bundle.crt"), "w") as out:
            for part in (name, "ca"):
                out.write(open(os.path.join(work, f"{part}.crt")).read())


def tls_flags(work, name, ca="ca"):
    return ["--tls-cert", os.path.join(work, f"{name}.crt"), "--tls-key", os.path.join(work, f"{name}.key"),
            "--tls-ca", os.path.join(work, f"{ca}.crt")]


def health(address, path):
    """(status, body) of a node's health endpoint; (None, reason) when it does not answer."""
    try:
        with urllib.request.urlopen(f"http://{address}{path}", timeout=2) as response:
            return response.status, response.read().decode()
    except urllib.error.HTTPError as error:
        return error.code, error.read().decode()
    except OSError as error:
        return None, str(error)


def stop_all(processes):
    """SIGTERM to each process still running, then SIGKILL to any that has
    not ended within 30 s."""
    for p in processes:
        if p.poll() is None:
            p.send_signal(signal.SIGTERM)
    for p in processes:
        try:
            p.wait(timeout=30)
        except subprocess.TimeoutExpired:
            p.kill()
            p.wait()
