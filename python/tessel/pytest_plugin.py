"""A pytest plugin: a logged-in `tessel_session` for the tests of a suite.

    pytest -p tessel.pytest_plugin --tessel-uri URL --tessel-user NAME

(or `pytest_plugins = ["tessel.pytest_plugin"]` in the suite's top
conftest.py). The password comes from the environment variable
TESSEL_PASSWORD, never from the command line, where other users of the
machine could read it. The session is opened once for the whole run and
logged out at its end; a test that needs one of its own can open a
tessel.Session itself.
"""

import os

import pytest

from .errors import TesselError
from .session import DEFAULT_URI, Session

PASSWORD_VARIABLE = "TESSEL_PASSWORD"


def pytest_addoption(parser):
    group = parser.getgroup("tessel", "TesselService session")
    group.addoption("--tessel-uri", default=DEFAULT_URI, help="the service description (default %(default)s)")
    group.addoption("--tessel-user", default="tester", help="the user who logs in (default %(default)s); "
                    "the password is taken from " + PASSWORD_VARIABLE)
    group.addoption("--tessel-authority", default="LDAP://ldap.example.test", help="(default %(default)s)")
    group.addoption("--tessel-realm", default="example.test", help="(default %(default)s)")
    group.addoption("--tessel-service", default="tsc", help="(default %(default)s)")


@pytest.fixture(scope="session")
def tessel_session(request):
    """A Session logged in with the --tessel-* options and TESSEL_PASSWORD; logged out after the last test."""
    password = os.environ.get(PASSWORD_VARIABLE)
    if password is None:
        pytest.fail("tessel_session needs the password in the environment variable " + PASSWORD_VARIABLE,
                    pytrace=False)
    option = request.config.getoption
    try:
        session = Session(option("--tessel-uri"), option("--tessel-user"), password,
                          authority=option("--tessel-authority"), realm=option("--tessel-realm"),
                          service=option("--tessel-service"))
    except TesselError as e:
        # Without a traceback: its frames would show the password among their values.
        pytest.fail("tessel_session could not log in as %s at %s: %s: %s"
                    % (option("--tessel-user"), option("--tessel-uri"), type(e).__name__, e), pytrace=False)
    yield session
    session.close()
