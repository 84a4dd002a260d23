"""tessel.locust: what a TesselUser reports to Locust's statistics, and the example locustfile run headless
with one master and two workers on loopback."""

import csv
import os
import shutil
import subprocess
import sys

import pytest

locust = pytest.importorskip("locust", reason="python3-locust is not installed")
from locust.env import Environment  # noqa: E402

import tessel  # noqa: E402
from tessel.locust import TesselUser  # noqa: E402
from conftest import SOURCE, free_port, spoil_reply_token  # noqa: E402

SECRET = "Lq-9&secret"


class Probe(TesselUser):
    pass


@pytest.fixture
def reported():
    events = []
    env = Environment(user_classes=[Probe], events=locust.events)

    def listen(**kw):
        events.append(kw)

    env.events.request.add_listener(listen)
    yield env, events
    env.events.request.remove_listener(listen)


def test_reports_each_call_under_its_operation_and_failures_by_kind(service, front, reported, monkeypatch):
    env, events = reported
    monkeypatch.setenv("TESSEL_PASSWORD", "tester")
    front.change = lambda op, reply: spoil_reply_token(reply) if op == "GetLogCount" else reply
    env.host = front.base
    user = Probe(env)
    user.on_start()
    assert user.call("GetLog", logID="1").token_valid
    assert user.call("GetLog", logID="999") is None
    assert user.call("GetLogCount") is None
    user.on_stop()
    assert [(e["request_type"], e["name"]) for e in events] == [("tessel", n) for n in
                                                              ("login", "GetLog", "GetLog", "GetLogCount")]
    assert [type(e["exception"]) for e in events] == [type(None), type(None), tessel.Fault, tessel.ReplyTokenRejected]
    assert events[1]["response_length"] > 0 and all(e["response_time"] >= 0 for e in events)


def test_a_refused_login_is_a_failure_of_login_without_the_password(start_service, reported, monkeypatch):
    env, events = reported
    svc = start_service("--user", "alice:right")
    monkeypatch.setenv("TESSEL_PASSWORD", SECRET)
    env.host = svc.url()  # a description's URL as the host
    user = Probe(env)
    with pytest.raises(locust.exception.StopUser):
        user.on_start()
    assert [e["name"] for e in events] == ["login"]
    assert isinstance(events[0]["exception"], tessel.LoginRefused)
    assert SECRET not in repr(events[0]["exception"])


def read_stats(prefix):
    with open(prefix + "_stats.csv", newline="") as f:
        return {row["Name"]: row for row in csv.DictReader(f)}


def test_a_master_with_two_workers_reports_the_calls_without_failure(start_service, tmp_path):
    service = start_service("--user", "loader:" + SECRET)
    command = shutil.which("locust") or pytest.skip("the locust command is not installed")
    locustfile = str(SOURCE / "python" / "examples" / "locustfile.py")
    port = free_port()
    env = dict(os.environ, TESSEL_PASSWORD=SECRET, PYTHONUNBUFFERED="1")
    common = [sys.executable, command, "-f", locustfile, "--tessel-user", "loader"]
    prefix = str(tmp_path / "run")
    master = subprocess.Popen(common + ["--master", "--headless", "--master-bind-host", "127.0.0.1",
                                        "--master-bind-port", str(port), "--expect-workers", "2", "-u", "6",
                                        "-r", "6", "-t", "10s", "--csv", prefix, "--host", service.base],
                              env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    workers = [subprocess.Popen(common + ["--worker", "--master-host", "127.0.0.1", "--master-port", str(port)],
                                env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
               for _ in range(2)]
    try:
        out, _ = master.communicate(timeout=120)
        worker_out = [w.communicate(timeout=60)[0] for w in workers]
    finally:
        for p in [master] + workers:
            if p.poll() is None:
                p.kill()
                p.wait()
    assert master.returncode == 0, out
    stats = read_stats(prefix)
    for name in ("login", "GetLog", "GetLogCount", "PutVOContent", "GetVOContent", "RemoveVOContent"):
        assert int(stats[name]["Request Count"]) > 0, (name, out)
        assert stats[name]["Type"] == "tessel"
    assert int(stats["Aggregated"]["Failure Count"]) == 0, out
    assert int(stats["login"]["Request Count"]) == 6
    with open(prefix + "_failures.csv") as f:
        assert len(f.read().strip().splitlines()) == 1  # the header alone
    everything = out + "".join(worker_out)
    for name in os.listdir(tmp_path):
        everything += (tmp_path / name).read_text()
    assert "GetLog" in everything and "Traceback (most recent call last)" not in everything
    assert SECRET not in everything and "Lq-9" not in everything
