"""Runs one of the package's test files under pytest for CTest.

    python3 run.py TEST_FILE [MODULE ...]

Each MODULE must import (pytest is always needed); when one does not, this
says which Debian package is missing and exits 77, which CTest reports as a
skipped test.
"""

import importlib
import pathlib
import sys

SKIPPED = 77
PACKAGES = {"pytest": "python3-pytest", "locust": "python3-locust"}


def main():
    test_file, modules = sys.argv[1], ["pytest"] + sys.argv[2:]
    for module in modules:
        try:
            importlib.import_module(module)
        except ImportError:
            print("%s is skipped: the Python module %s is missing (Debian's %s; scripts/install-deps.sh installs it)"
                  % (pathlib.Path(test_file).name, module, PACKAGES.get(module, "python3-" + module)))
            return SKIPPED
    import pytest
    here = pathlib.Path(__file__).resolve().parent
    return pytest.main(["-p", "no:cacheprovider", "-q", "-rs", "--rootdir", str(here), str(here / test_file)])


if __name__ == "__main__":
    sys.exit(main())
