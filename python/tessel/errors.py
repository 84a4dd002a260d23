"""The exceptions of the package, one for each way a call can fail.

Every message is for a person and never holds the password of the session
that raised it: a session passes each message through its mask first.
"""

# The codes the token library returns, with the cause each has when
# ValidateToken returns it (None where the code has no single cause). The
# same names and causes as the tools' status line.
HRESULTS = {
    0x00000000: ("S_OK", None),
    0x80004001: ("E_NOTIMPL", "a slot kind the library does not decode"),
    0x80004003: ("E_POINTER", None),
    0x80004005: ("E_FAIL", "time stamp, nonce proof or hash differs"),
    0x8000FFFF: ("E_UNEXPECTED", "the handler has no session set up"),
    0x80070006: ("E_HANDLE", "no such token handler"),
    0x8007000E: ("E_OUTOFMEMORY", "a compressed slot does not inflate"),
    0x80070057: ("E_INVALIDARG", "the token is empty or malformed"),
    0x80070005: ("E_ACCESSDENIED", None),
    0x80090001: ("NTE_BAD_UID", None),
    0x80090002: ("NTE_BAD_HASH", None),
    0x80090003: ("NTE_BAD_KEY", None),
    0x80090004: ("NTE_BAD_LEN", None),
    0x80090005: ("NTE_BAD_DATA", "the token does not decrypt with the session key"),
    0x80090006: ("NTE_BAD_SIGNATURE", None),
    0x80090008: ("NTE_BAD_ALGID", None),
    0x80090009: ("NTE_BAD_FLAGS", None),
    0x8009000A: ("NTE_BAD_TYPE", None),
    0x8009000B: ("NTE_BAD_KEY_STATE", None),
    0x8009000C: ("NTE_BAD_HASH_STATE", None),
    0x8009000D: ("NTE_NO_KEY", None),
    0x8009000E: ("NTE_NO_MEMORY", None),
    0x8009000F: ("NTE_EXISTS", None),
    0x80090010: ("NTE_PERM", None),
    0x80090016: ("NTE_BAD_KEYSET", None),
    0x80090019: ("NTE_KEYSET_NOT_DEF", None),
    0x8009001A: ("NTE_KEYSET_ENTRY_BAD", None),
    0x8009001B: ("NTE_PROV_TYPE_NO_MATCH", None),
    0x80090020: ("NTE_FAIL", None),
    0x80090021: ("NTE_SYS_ERR", None),
}


def hresult_name(hr):
    """The code's symbolic name ("E_FAIL"), or "" for a code the library does not use."""
    known = HRESULTS.get(hr & 0xFFFFFFFF)
    return known[0] if known else ""


def describe_hresult(hr, cause=True):
    """ "0x80004005 E_FAIL (time stamp, nonce proof or hash differs)": the code, its name and, with `cause`,
    why ValidateToken returns it; an unnamed code reads "0x12345678"."""
    text = "0x%08X" % (hr & 0xFFFFFFFF)
    known = HRESULTS.get(hr & 0xFFFFFFFF)
    if known:
        text += " " + known[0]
        if cause and known[1]:
            text += " (" + known[1] + ")"
    return text


def describe_verdict(hr):
    """The verdict on a reply token as the tools word it: "valid" or "rejected: 0x... NAME (cause)"."""
    return "valid" if hr == 0 else "rejected: " + describe_hresult(hr)


class TesselError(Exception):
    """The base of every failure the package raises."""


class LibraryNotFound(TesselError):
    """The token library cannot be loaded, or lacks one of its exports."""


class TokenError(TesselError):
    """An export of the token library returned a failure; `hresult` is its code (signed 32-bit)."""

    def __init__(self, export, hresult):
        self.export = export
        self.hresult = hresult
        self.name = hresult_name(hresult)
        super().__init__("%s returned %s" % (export, describe_hresult(hresult, export == "ValidateToken")))


class UsageError(TesselError, ValueError):
    """A value that cannot be sent: an unknown, missing or repeated parameter, or text XML cannot carry."""


class DescriptionError(TesselError):
    """The service description cannot be fetched or used."""


class ServerUnreachable(TesselError):
    """No reply came: the connection was refused or timed out, or the name does not resolve."""


class BadReply(TesselError):
    """A reply came but is no SOAP message this package can read (empty, not XML, no result)."""


class LoginRefused(TesselError):
    """The service refused the login: no ticket (a wrong user name or password), a fault, no session key."""


class Fault(TesselError):
    """The service answered an operation with a SOAP fault (or an HTML error page, with an empty code)."""

    def __init__(self, operation, code, string, detail="", http_status=0):
        self.operation = operation
        self.code = code
        self.string = string
        self.detail = detail
        self.http_status = http_status
        text = "%s: Fault: %s (%s)" % (operation, string, code) if code else "%s: %s" % (operation, string)
        if detail:
            text += "\n" + detail
        super().__init__(text)


class ReplyTokenRejected(TesselError):
    """The reply carried a result whose token the library rejects; `result` is the CallResult."""

    def __init__(self, result):
        self.result = result
        self.verdict = result.verdict
        super().__init__("%s: reply token %s" % (result.operation, describe_verdict(result.verdict)))
