"""The Tessel token scheme from Python: the token library bound by name, a
session that logs in and sends authenticated calls as the kit's tools do,
a pytest plugin (tessel.pytest_plugin) and a Locust user (tessel.locust).

    with tessel.Session(url, "tester", password) as s:
        print(s.call("GetLog", logID="1").result)
"""

from .errors import (BadReply, DescriptionError, Fault, LibraryNotFound, LoginRefused, ReplyTokenRejected,
                     ServerUnreachable, TesselError, TokenError, UsageError, describe_hresult, describe_verdict,
                     hresult_name)
from .library import EXPORTS, TokenLibrary, search_order
from .session import DEFAULT_URI, CallResult, Session, shared_library

__all__ = [
    "BadReply", "CallResult", "DEFAULT_URI", "DescriptionError", "EXPORTS", "Fault", "LibraryNotFound",
    "LoginRefused", "ReplyTokenRejected", "ServerUnreachable", "Session", "TesselError", "TokenError",
    "TokenLibrary", "UsageError", "describe_hresult", "describe_verdict", "hresult_name", "search_order",
    "shared_library",
]
