"""A session with TesselService: the login the tools make, authenticated
calls sent exactly as the tools send them, and the logout."""

import http.client
import logging
import os
import socket
import time
import urllib.parse

from . import envelope
from .errors import (BadReply, DescriptionError, Fault, LoginRefused, ReplyTokenRejected, ServerUnreachable,
                     TesselError, TokenError, UsageError, describe_verdict)
from .library import READ_WHOLE_MAX, REPLY_BUFFER_MIN, SCHEME_CAPACITY, TOKEN_CAPACITY, TokenLibrary

log = logging.getLogger("tessel")

DEFAULT_URI = "http://localhost:8080/TesselService/TesselServiceCore.xml"
PASSWORD_MASK = "********"
REQUEST_TOKEN = "user"   # the first parameter of an authenticated call
REPLY_TOKEN = "reskey"   # its last, empty in the request
RESULT = "result"
MAX_REPLY_BYTES = 64 << 20  # the longest reply taken, as the tools take it
_MAX_REDIRECTS = 5

_shared_library = None


def shared_library():
    """The one TokenLibrary of the process, loaded at its first call."""
    global _shared_library
    if _shared_library is None:
        _shared_library = TokenLibrary()
    return _shared_library


def _seconds(variable, default):
    try:
        value = float(os.environ.get(variable, default))
        return value if value > 0 else float(default)
    except ValueError:
        return float(default)


class CallResult:
    """What one authenticated call gave: the decoded result (slot 1 read back whole), its kind, the HTTP
    status, the time the exchange took, and the reply token's verdict (0 valid, else the HRESULT)."""

    def __init__(self, operation, result, kind, http_status, elapsed_ms, verdict, request, reply):
        self.operation = operation
        self.result = result
        self.kind = kind
        self.http_status = http_status
        self.elapsed_ms = elapsed_ms
        self.verdict = verdict
        self.request = request
        self.reply = reply

    @property
    def token_valid(self):
        return self.verdict == 0

    def __repr__(self):
        return "<CallResult %s: HTTP %d, %.1f ms, %d characters, reply token %s>" % (
            self.operation, self.http_status, self.elapsed_ms, len(self.result), describe_verdict(self.verdict))


def masked(text, secret):
    """`text` with every occurrence of `secret`, as typed and as XML escapes it, replaced by the mask."""
    if not secret or not isinstance(text, str):
        return text
    plain = secret.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
    quoted = plain.replace('"', "&quot;").replace("'", "&apos;")
    for form in (quoted, plain, secret):
        text = text.replace(form, PASSWORD_MASK)
    return text


class _Http:
    """One keep-alive connection to an endpoint's host; reconnects once when the server has closed it."""

    def __init__(self):
        self._conn = None
        self._key = None
        self.connect_timeout = _seconds("TESSEL_CONNECT_TIMEOUT", 10)
        self.timeout = _seconds("TESSEL_TIMEOUT", 120)

    def close(self):
        if self._conn is not None:
            self._conn.close()
            self._conn = None

    def _connection(self, parts):
        key = (parts.scheme, parts.hostname, parts.port)
        if self._conn is None or self._key != key:
            self.close()
            cls = http.client.HTTPSConnection if parts.scheme == "https" else http.client.HTTPConnection
            self._conn = cls(parts.hostname, parts.port, timeout=self.connect_timeout)
            self._key = key
        return self._conn

    def request(self, method, url, body=None, headers=None):
        """(status, body bytes, final url). Raises ServerUnreachable when no reply comes."""
        for _ in range(_MAX_REDIRECTS + 1):
            parts = urllib.parse.urlsplit(url)
            if parts.scheme not in ("http", "https") or not parts.hostname:
                raise UsageError("%s is no http or https URL" % url)
            path = (parts.path or "/") + ("?" + parts.query if parts.query else "")
            status, data, location = self._exchange(parts, method, path, url, body, headers or {})
            if method == "GET" and status in (301, 302, 303, 307, 308) and location:
                url = urllib.parse.urljoin(url, location)
                continue
            return status, data, url
        raise ServerUnreachable("%s redirects more than %d times" % (url, _MAX_REDIRECTS))

    def _exchange(self, parts, method, path, url, body, headers):
        for attempt in (0, 1):
            conn = self._connection(parts)
            connected = reused = conn.sock is not None
            try:
                if not reused:
                    conn.connect()
                    connected = True
                conn.sock.settimeout(self.timeout)
                conn.request(method, path, body=body, headers=headers)
                reply = conn.getresponse()
                data = reply.read(MAX_REPLY_BYTES + 1)
                if len(data) > MAX_REPLY_BYTES:
                    self.close()
                    raise BadReply("The reply of %s is larger than %d bytes" % (url, MAX_REPLY_BYTES))
                if reply.will_close:
                    self.close()
                return reply.status, data, reply.getheader("Location")
            except (http.client.RemoteDisconnected, BrokenPipeError, ConnectionResetError) as e:
                self.close()
                if reused and attempt == 0:
                    continue  # a kept connection the server had closed meanwhile: once more on a new one
                raise ServerUnreachable("The connection was closed before the reply was complete: %s: %s"
                                        % (url, e)) from None
            except socket.timeout:
                self.close()
                if connected:
                    raise ServerUnreachable("The server did not answer within %g s: %s"
                                            % (self.timeout, url)) from None
                raise ServerUnreachable("Could not connect to %s: timed out after %g s"
                                        % (url, self.connect_timeout)) from None
            except (OSError, http.client.HTTPException) as e:
                self.close()
                raise ServerUnreachable("Could not connect to %s: %s" % (url, e.strerror or e)
                                        if isinstance(e, OSError) and not connected else
                                        "The exchange with %s failed: %s" % (url, e)) from None
        raise AssertionError("unreachable")


class Session:
    """A logged-in session with a TesselService.

    Fetches the description, then logs in as the tools do: CreateTicket with
    (authority, realm, user, password, ""), a new token handler (its scheme
    and a fresh seed, the seed set back), OpenSession with (service, ticket,
    scheme, seed, "", ""), and the session key and verifier set as the
    handler's "SessionKey" and "Opaque" items. A refused login raises
    LoginRefused, a server that cannot be reached ServerUnreachable, a
    description that cannot be used DescriptionError, a library that cannot
    be loaded LibraryNotFound. No message, log line or repr holds the
    password.
    """

    def __init__(self, description_url=DEFAULT_URI, user="", password="", authority="LDAP://ldap.example.test",
                 realm="example.test", service="tsc", library=None):
        __tracebackhide__ = True  # pytest would show the password among this frame's arguments
        self._secret = password or ""
        self.user = user
        self.description_url = description_url
        self._library = library or shared_library()
        self._http = _Http()
        self._handle = None
        self._session_key = self._verifier = ""
        self.logged_in = False
        try:
            self.description = self._load(description_url)
            self._log_in(authority, realm, user, service)
        except TesselError as e:
            self._abandon()
            raise self._masked_error(e) from None

    @property
    def library(self):
        """The TokenLibrary the session's handler lives in."""
        return self._library

    @property
    def handle(self):
        """The session's token handler, None once the session is closed."""
        return self._handle

    def __repr__(self):
        return "<tessel.Session %s as %s%s>" % (self.description_url, self.user,
                                                "" if self.logged_in else " (not logged in)")

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def _mask(self, text):
        return masked(text, self._secret)

    def _masked_error(self, e):
        """The same exception with its message (and a fault's fields) masked; raised in its place."""
        if isinstance(e, Fault):
            return type(e)(e.operation, self._mask(e.code), self._mask(e.string), self._mask(e.detail),
                           e.http_status)
        if isinstance(e, (TokenError, ReplyTokenRejected)):
            return e
        return type(e)(self._mask(str(e)))

    def _load(self, url):
        status, text, final = self._http.request("GET", url)
        if status < 200 or status >= 300:
            raise DescriptionError("cannot use the service description %s: fetching it gave HTTP status %d"
                                   % (url, status))
        return envelope.Description(text, final)

    def _post(self, op, parameters, shown=None):
        payload = envelope.build_request(op, parameters)
        headers = {"Content-Type": "text/xml; charset=utf-8", "SOAPAction": '"%s"' % op.soap_action}
        start = time.perf_counter()
        try:
            status, reply, _ = self._http.request("POST", self.description.endpoint, payload, headers)
        except (ServerUnreachable, BadReply) as e:
            raise type(e)("%s: %s" % (op.name, e)) from None
        elapsed = (time.perf_counter() - start) * 1000
        if log.isEnabledFor(logging.DEBUG):
            seen = payload if shown is None else envelope.build_request(op, shown)
            log.debug("> POST %s (%s)\n%s< HTTP %d\n%s", self.description.endpoint, op.name,
                      self._mask(seen.decode("utf-8")), status, self._mask(reply.decode("utf-8", "replace")))
        return status, reply, elapsed, payload

    def _session_values(self, name, parameters, shown=None):
        op = self.description.operation(name)
        status, reply, _, _ = self._post(op, parameters, shown)
        try:
            return dict(envelope.read_reply(name, reply, status))
        except Fault as f:
            raise LoginRefused("the login was refused: %s answered with the fault %s%s"
                               % (name, f.string, " (%s)" % f.detail if f.detail else "")) from None
        except BadReply as e:
            raise LoginRefused("the login failed: the reply of %s cannot be read: %s" % (name, e)) from None

    def _log_in(self, authority, realm, user, service):
        values = [authority, realm, user, self._secret, ""]
        names = ["authority", "realm", "principal", "credential", "fullPrincipal"]
        shown = list(values)
        shown[3] = PASSWORD_MASK
        ticket = self._session_values("CreateTicket", list(zip(names, values)), list(zip(names, shown))).get(RESULT, "")
        if not ticket:
            raise LoginRefused('the login was refused: CreateTicket gave no ticket for the user "%s" '
                               "(is the user name or the password wrong?)" % user)
        lib = self._library
        self._handle = lib.acquire_token_handler("")
        scheme = lib.get_token_scheme(self._handle, SCHEME_CAPACITY) or ""
        seed = lib.get_token_seed(self._handle, SCHEME_CAPACITY) or ""
        lib.set_token_seed(self._handle, seed)
        opened = self._session_values("OpenSession", [("service", service), ("ticket", ticket),
                                                      ("tokenScheme", scheme), ("tokenSeed", seed),
                                                      ("sessionKey", ""), ("verifier", "")])
        self._session_key = opened.get("sessionKey", "")
        self._verifier = opened.get("verifier", "")
        if not self._session_key:
            raise LoginRefused("the login was refused: OpenSession gave no session key")
        lib.set_token_item(self._handle, "SessionKey", self._session_key)
        lib.set_token_item(self._handle, "Opaque", self._verifier)
        self.logged_in = True

    def parameters(self, operation):
        """The operation's own parameters (those between "user" and "reskey") in the description's order.
        Raises UsageError when the description lacks it or it carries no token."""
        op = self.description.operation(operation)
        names = op.request_order()
        if len(names) < 2 or names[0] != REQUEST_TOKEN or names[-1] != REPLY_TOKEN:
            raise UsageError('%s in %s carries no token (its request does not begin with "user" and end with '
                             '"reskey")' % (operation, self.description.url))
        return names[1:-1]

    def operations(self):
        """The authenticated operations of the description, in its order."""
        out = []
        for name in self.description.order:
            try:
                self.parameters(name)
                out.append(name)
            except TesselError:
                pass
        return out

    def call(self, operation, check_token=True, **params):
        """One authenticated call, the parameters given by name and sent in the description's order.

        Slot 0 is the operation, slots 1..n the parameters; the request token
        goes in "user", "reskey" goes empty; the reply's "result" and
        "reskey" are validated and slot 1 is read back whole. Returns a
        CallResult. A fault raises Fault; a rejected reply token raises
        ReplyTokenRejected (with the CallResult) unless `check_token` is
        false; no reply raises ServerUnreachable, an unreadable one BadReply.
        """
        try:
            return self._call(operation, check_token, params)
        except TesselError as e:
            raise self._masked_error(e) from None

    def _call(self, operation, check_token, params):
        if not self.logged_in:
            raise UsageError("there is no session: the login did not complete")
        names = self.parameters(operation)
        unknown = [n for n in params if n not in names]
        missing = [n for n in names if n not in params]
        described = "%s takes %s" % (operation, ", ".join(names)) if names else "%s takes no parameters" % operation
        if unknown:
            raise UsageError('"%s" is not a parameter of %s; %s' % (unknown[0], operation, described))
        if missing:
            raise UsageError("missing parameter%s %s; %s" % ("s" if len(missing) > 1 else "", ", ".join(missing),
                                                             described))
        slots = [(n, params[n]) for n in names]
        for name, value in slots:
            envelope.check_text(name, value)
        lib, h = self._library, self._handle
        lib.set_token_data(h, 0, 0, operation, "")
        for i, (name, value) in enumerate(slots, 1):
            lib.set_token_data(h, i, 0, name, value)
        token = lib.construct_token(h, TOKEN_CAPACITY) or ""
        op = self.description.operation(operation)
        status, reply, elapsed, payload = self._post(op, [(REQUEST_TOKEN, token)] + slots + [(REPLY_TOKEN, "")])
        values = dict(envelope.read_reply(operation, reply, status))
        result, reply_token = values.get(RESULT, ""), values.get(REPLY_TOKEN, "")
        lib.set_token_data(h, 0, 0, operation, "")
        lib.set_token_data(h, 1, 0, RESULT, result)
        verdict = lib.validate_token_hresult(h, reply_token)
        kind, text = self._read_whole(len(result.encode("utf-8", "surrogateescape")))
        outcome = CallResult(operation, text, kind, status, elapsed, verdict, payload, reply)
        if verdict != 0 and check_token:
            raise ReplyTokenRejected(outcome)
        return outcome

    def _read_whole(self, result_bytes):
        """Slot 1 read back whole: first into at least 1,048,576 bytes, then, while the text fills the
        buffer, into one twice as large, up to 2**28 bytes (a compressed result can decode to more)."""
        capacity = max(min(result_bytes, 0x7FFFFFFE - 1) + 1, REPLY_BUFFER_MIN)
        kind, text = self._library.get_token_data(self._handle, 1, capacity)
        while text is not None and len(text.encode("utf-8", "surrogateescape")) == capacity \
                and capacity < READ_WHOLE_MAX:
            capacity = READ_WHOLE_MAX if capacity > READ_WHOLE_MAX // 2 else 2 * capacity
            kind, text = self._library.get_token_data(self._handle, 1, capacity)
        return kind, text or ""

    def close(self):
        """CloseSession (its reply is not read) and the handler released; a second close does nothing.
        Returns the transport's message when CloseSession could not be sent, else ""."""
        problem = ""
        if self.logged_in:
            self.logged_in = False
            try:
                self._post(self.description.operation("CloseSession"),
                           [("sessionKey", self._session_key), ("verifier", self._verifier)])
            except TesselError as e:
                problem = self._mask(str(e))
        self._abandon()
        return problem

    def _abandon(self):
        if self._handle is not None:
            try:
                self._library.release_token_handler(self._handle)
            except TesselError:
                pass
            self._handle = None
        self._http.close()
