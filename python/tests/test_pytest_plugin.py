"""The pytest plugin's example suite, run as a tester runs it against the local service."""

import os
import subprocess
import sys

from conftest import SOURCE, CORE

EXAMPLES = SOURCE / "python" / "examples"


def run_example(*args, password="tester"):
    env = dict(os.environ)
    env.pop("TESSEL_PASSWORD", None)
    if password is not None:
        env["TESSEL_PASSWORD"] = password
    return subprocess.run([sys.executable, "-m", "pytest", "-p", "no:cacheprovider", "--rootdir", str(EXAMPLES),
                           str(EXAMPLES), *args], env=env, capture_output=True, text=True, timeout=120)


def test_the_example_passes_against_the_local_service(service):
    run = run_example("--tessel-uri", service.url(CORE), "--tessel-user", "tester")
    assert run.returncode == 0, run.stdout + run.stderr
    assert "3 passed" in run.stdout


def test_without_the_password_or_with_a_wrong_one_the_example_fails_and_says_why(service):
    run = run_example("--tessel-uri", service.url(CORE), password=None)
    assert run.returncode != 0
    assert "needs the password in the environment variable TESSEL_PASSWORD" in run.stdout
    run = run_example("--tessel-uri", service.url(CORE), password="W7rong-pass")
    assert run.returncode != 0
    assert "LoginRefused" in run.stdout and "W7rong-pass" not in run.stdout + run.stderr
