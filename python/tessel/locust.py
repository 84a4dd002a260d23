"""A Locust user that speaks the token scheme.

Each simulated user logs in once when it starts (reported as "login"),
sends its tasks' calls through `self.call(...)`, each reported to Locust's
statistics under the operation's name with the time the whole call took
(token steps included) and the result's length, and logs out when it
stops. A fault, a rejected reply token or any other failure is reported as
a failure of that operation with the exception, which names its kind
(Fault, ReplyTokenRejected, ServerUnreachable, ...); the session goes on.

    class Reader(TesselUser):
        wait_time = between(0.1, 0.5)

        @task
        def read(self):
            self.call("GetLog", logID="1")

    TESSEL_PASSWORD=tester locust -f locustfile.py --host http://127.0.0.1:8080 --tessel-user tester

--host is the service's description, or its origin, to which
`description_path` is added. The password comes from TESSEL_PASSWORD in
every process (master and workers), never from Locust's options, which its
web page shows and its master sends to the workers.
"""

import os
import time
import urllib.parse

import locust.runners
from locust import User, events
from locust.exception import StopUser

from .errors import TesselError, UsageError
from .session import DEFAULT_URI, Session

# Debian's python3-locust 2.12.1 carries an empty version, which its master
# takes for that of a worker older than 2.0 and turns away, so no worker
# ever connects. A worker that says -1 is let in without the version check
# (Locust's own way for workers of other makes): without a version, say -1.
if not locust.runners.__version__:
    locust.runners.__version__ = -1

PASSWORD_VARIABLE = "TESSEL_PASSWORD"
REQUEST_TYPE = "tessel"
LOGIN = "login"


@events.init_command_line_parser.add_listener
def _add_options(parser):
    parser.add_argument("--tessel-user", default="tester", env_var="TESSEL_USER",
                        help="the user each TesselUser logs in as (default tester); the password is taken from "
                        + PASSWORD_VARIABLE)
    parser.add_argument("--tessel-authority", default="LDAP://ldap.example.test", env_var="TESSEL_AUTHORITY")
    parser.add_argument("--tessel-realm", default="example.test", env_var="TESSEL_REALM")
    parser.add_argument("--tessel-service", default="tsc", env_var="TESSEL_SERVICE")


class TesselUser(User):
    """A Locust user with a tessel.Session; see the module's text."""

    abstract = True
    description_path = "/TesselService/TesselServiceCore.xml"

    def __init__(self, environment):
        super().__init__(environment)
        self.session = None

    @property
    def description_url(self):
        host = self.host or self.environment.host or DEFAULT_URI
        path = urllib.parse.urlsplit(host).path
        return host.rstrip("/") + self.description_path if path in ("", "/") else host

    def _option(self, name, default):
        options = getattr(self.environment, "parsed_options", None)
        return getattr(options, name, default) if options is not None else default

    def _report(self, name, start, result=None, exception=None):
        self.environment.events.request.fire(
            request_type=REQUEST_TYPE, name=name, response_time=(time.perf_counter() - start) * 1000,
            response_length=len(result.result) if result is not None else 0, exception=exception, context={})

    def on_start(self):
        start = time.perf_counter()
        password = os.environ.get(PASSWORD_VARIABLE)
        try:
            if password is None:
                raise TesselError("TesselUser needs the password in the environment variable " + PASSWORD_VARIABLE)
            self.session = Session(self.description_url, self._option("tessel_user", "tester"), password,
                                   authority=self._option("tessel_authority", "LDAP://ldap.example.test"),
                                   realm=self._option("tessel_realm", "example.test"),
                                   service=self._option("tessel_service", "tsc"))
        except TesselError as e:
            self._report(LOGIN, start, exception=e)
            raise StopUser() from None
        self._report(LOGIN, start)

    def on_stop(self):
        if self.session is not None:
            self.session.close()
            self.session = None

    def call(self, operation, **params):
        """One authenticated call, reported under `operation`. Returns the CallResult, or None when the call
        failed (the failure is in Locust's statistics)."""
        start = time.perf_counter()
        try:
            if self.session is None:
                raise UsageError("there is no session: the login did not complete")
            result = self.session.call(operation, **params)
        except TesselError as e:
            self._report(operation, start, exception=e)
            return None
        self._report(operation, start, result)
        return result
