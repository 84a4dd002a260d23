"""The package as an installation puts it: in the Python path below the prefix, finding the installed token
library by itself, with the examples beside tessel-call's."""

import os
import pathlib
import subprocess
import sys

import pytest

from conftest import CORE


@pytest.fixture(scope="module")
def prefix(tmp_path_factory):
    cmake, build = os.environ.get("TESSEL_CMAKE"), os.environ.get("TESSEL_BUILD_DIR")
    if not cmake or not build:
        pytest.skip("TESSEL_CMAKE and TESSEL_BUILD_DIR name the build to install (CTest sets them)")
    where = tmp_path_factory.mktemp("install") / "prefix"
    run = subprocess.run([cmake, "--install", build, "--prefix", str(where)], capture_output=True, text=True)
    assert run.returncode == 0, run.stdout + run.stderr
    return where


def installed_python(prefix, code, *args):
    """`code` run by the interpreter with only the installed package on its path: no source tree, no
    LD_LIBRARY_PATH."""
    env = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "LD_LIBRARY_PATH")}
    env["PYTHONPATH"] = str(prefix / os.environ.get("TESSEL_PYTHON_INSTALL_DIR", "lib/python3/dist-packages"))
    return subprocess.run([sys.executable, "-c", code, *args], env=env, capture_output=True, text=True,
                          cwd=str(prefix), timeout=120)


def test_imports_from_the_installation_and_loads_the_installed_library(prefix, service):
    run = installed_python(prefix, """if True:
        import sys, tessel
        print(tessel.__file__)
        with tessel.Session(sys.argv[1], "tester", "tester") as s:
            print(s.call("GetLog", logID="1").token_valid)
        print(tessel.shared_library().loaded_from)
    """, service.url(CORE))
    assert run.returncode == 0, run.stderr
    module, valid, library = run.stdout.split("\n")[:3]
    assert pathlib.Path(module).is_relative_to(prefix)
    assert valid == "True"
    assert pathlib.Path(library).resolve().is_relative_to(prefix.resolve())
    assert pathlib.Path(library).name == "libTesselMACCDLL.so"


def test_installs_the_examples_and_no_compiled_files(prefix):
    examples = list(prefix.glob("share/doc/tessel-kit/examples/python/*.py"))
    assert sorted(p.name for p in examples) == ["conftest.py", "locustfile.py", "test_example.py"]
    package = next(prefix.glob("**/tessel/__init__.py")).parent
    assert not list(package.glob("__pycache__"))
    assert {p.name for p in package.glob("*.py")} >= {"__init__.py", "library.py", "session.py", "envelope.py",
                                                      "errors.py", "pytest_plugin.py", "locust.py", "_where.py"}
