"""Test support: the local service started on a free port, a server in front
of it that can change what passes, and the kit's programs from the build."""

import ctypes
import http.server
import os
import pathlib
import re
import signal
import subprocess
import threading
import time
import urllib.request

import pytest

SOURCE = pathlib.Path(__file__).resolve().parents[2]
BIN = pathlib.Path(os.environ.get("TESSEL_BIN_DIR", SOURCE / "build" / "bin"))
CORE = "/TesselService/TesselServiceCore.xml"
ADMIN = "/TesselService/TesselServiceCoreAdmin.xml"


def program(name):
    path = BIN / name
    if not path.exists():
        pytest.skip("%s is not built (TESSEL_BIN_DIR=%s)" % (name, BIN))
    return str(path)


def _end_with_parent():
    # A service outlives no test run, even one whose interpreter is killed (PR_SET_PDEATHSIG).
    ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGTERM)


class Service:
    """TesselServiceLocal on a free port of 127.0.0.1, with `options`."""

    def __init__(self, *options):
        self.log_file = None
        self.process = subprocess.Popen([program("TesselServiceLocal"), "--port", "0", *options],
                                        stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                                        preexec_fn=_end_with_parent)
        first = self.process.stdout.readline()
        match = re.match(r"listening on (http://127\.0\.0\.1:\d+)/", first)
        if not match:
            self.stop()
            raise RuntimeError("TesselServiceLocal did not say where it listens: %r" % first)
        self.base = match.group(1)
        # The service writes more as it runs; a reader keeps its pipe from filling.
        threading.Thread(target=self.process.stdout.read, daemon=True).start()

    def url(self, path=CORE):
        return self.base + path

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


@pytest.fixture
def start_service():
    """start_service(*options) -> a running Service, stopped after the test."""
    started = []

    def start(*options):
        started.append(Service(*options))
        return started[-1]

    yield start
    for s in started:
        s.stop()


@pytest.fixture
def service(start_service):
    return start_service()


class Front:
    """An HTTP server in front of a service: it serves the service's descriptions naming itself as the
    endpoint, records every POST (path, headers, body) and passes it on; `change(operation, reply)` may
    return other reply bytes, `answer(operation, request)` may answer in the service's place."""

    def __init__(self, service):
        self.backend = service.base
        self.requests = []
        self.change = lambda operation, reply: reply
        self.answer = lambda operation, request: None
        front = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def log_message(self, *args):
                pass

            def send(self, status, body, content_type="text/xml; charset=utf-8"):
                self.send_response(status)
                self.send_header("Content-Type", content_type)
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def do_GET(self):
                with urllib.request.urlopen(front.backend + self.path) as r:
                    text = r.read().decode("utf-8")
                self.send(200, text.replace(front.backend, front.base).encode("utf-8"))

            def do_POST(self):
                body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
                action = self.headers.get("SOAPAction", "")
                operation = action.strip('"').rpartition("#")[2]
                front.requests.append((self.path, dict(self.headers), body))
                canned = front.answer(operation, body)
                if canned is not None:
                    self.send(200, canned)
                    return
                req = urllib.request.Request(front.backend + self.path, data=body, headers={
                    "Content-Type": self.headers.get("Content-Type", ""), "SOAPAction": action})
                try:
                    with urllib.request.urlopen(req) as r:
                        status, reply = r.status, r.read()
                except urllib.error.HTTPError as e:
                    status, reply = e.code, e.read()
                self.send(status, front.change(operation, reply))

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.server.daemon_threads = True
        self.base = "http://127.0.0.1:%d" % self.server.server_address[1]
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()

    def url(self, path=CORE):
        return self.base + path

    def stop(self):
        self.server.shutdown()
        self.server.server_close()


@pytest.fixture
def front(service):
    f = Front(service)
    yield f
    f.stop()


def spoil_reply_token(reply):
    """The reply with the first character of its reply token changed: the token no longer decrypts."""
    return re.sub(rb"(<reskey[^>]*>)(.)", lambda m: m.group(1) + (b"B" if m.group(2) == b"A" else b"A"), reply,
                  count=1)


def free_port():
    import socket
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_until(predicate, seconds=10):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if predicate():
            return True
        time.sleep(0.05)
    return predicate()
