"""The token library, bound by name with ctypes as the tools bind it.

Nothing of the token scheme lives here: each method is one export of
libTesselMACCDLL.so. Text goes in as UTF-8 (None is an absent value, which
the library tells from an empty text) and comes out decoded from UTF-8; a
byte sequence cut in the middle of a character comes out with the cut bytes
as surrogate escapes, so nothing is lost. A failure HRESULT raises TokenError
naming the export and the code.
"""

import ctypes
import os

from . import _where
from .errors import LibraryNotFound, TokenError

LIBRARY_NAME = "libTesselMACCDLL.so"

# Capacities of the tools' buffers.
SCHEME_CAPACITY = 255  # scheme and seed
TOKEN_CAPACITY = 1024
REPLY_BUFFER_MIN = 1048576
READ_WHOLE_MAX = 1 << 28
_CAPACITY_MAX = 0x7FFFFFFE  # the largest capacity whose buffer (capacity + 1) a 32-bit length can count

_P_CHAR = ctypes.POINTER(ctypes.c_char)
_P_P_CHAR = ctypes.POINTER(_P_CHAR)
_I32 = ctypes.c_int32
_U32 = ctypes.c_uint32
_P_I32 = ctypes.POINTER(ctypes.c_int32)

# The eleven exports and their C signatures (TesselMACCDLL.h).
_EXPORTS = {
    "AcquireTokenHandler": (ctypes.c_char_p, ctypes.POINTER(_U32)),
    "ReleaseTokenHandler": (_U32,),
    "GetTokenScheme": (_U32, _P_I32, _P_P_CHAR),
    "SetTokenSeed": (_U32, ctypes.c_char_p),
    "GetTokenSeed": (_U32, _P_I32, _P_P_CHAR),
    "SetTokenItem": (_U32, ctypes.c_char_p, ctypes.c_char_p),
    "GetTokenItem": (_U32, ctypes.c_char_p, _P_I32, _P_P_CHAR),
    "SetTokenData": (_U32, _I32, _I32, ctypes.c_char_p, ctypes.c_char_p),
    "GetTokenData": (_U32, _I32, _P_I32, _P_I32, _P_P_CHAR),
    "ConstructToken": (_U32, _P_I32, _P_P_CHAR),
    "ValidateToken": (_U32, ctypes.c_char_p),
}
EXPORTS = tuple(_EXPORTS)

# A byte the library never writes at the start of a text it copies; still
# there after a call that gave length 0, it tells an absent result (buffer
# untouched) from an empty one (a NUL written).
_UNTOUCHED = b"\x01"


def search_order():
    """Where load() looks for the library, in order, as the tools do.

    First the loader's own search by name (LD_LIBRARY_PATH, the ld.so cache,
    the system folders), which finds a build's library through
    LD_LIBRARY_PATH; then the kit's own library folder of the installation
    this package came with (the tools' RUNPATH, outside the loader's search);
    then ../lib beside the running program's own folder.
    """
    places = [LIBRARY_NAME]
    for folder in _where.LIBRARY_DIRS:
        places.append(os.path.join(folder, LIBRARY_NAME))
    try:
        exe = os.readlink("/proc/self/exe")
        places.append(os.path.join(os.path.dirname(exe), "..", "lib", LIBRARY_NAME))
    except OSError:
        pass
    return places


def _utf8(value, what):
    if value is None:
        return None
    if not isinstance(value, str):
        raise TypeError("%s is text (str) or None, not %s" % (what, type(value).__name__))
    if "\0" in value:
        raise ValueError("%s holds a NUL character, which the library cannot take" % what)
    return value.encode("utf-8", "surrogateescape")


def _capacity(capacity):
    if not isinstance(capacity, int) or capacity < 0 or capacity > _CAPACITY_MAX:
        raise ValueError("a capacity is a whole number from 0 to %d, not %r" % (_CAPACITY_MAX, capacity))
    return capacity


class TokenLibrary:
    """libTesselMACCDLL.so, loaded at the first call and kept loaded for the life of the process.

    `path`, when given, is the one file to load; otherwise the places of
    search_order() are tried in turn. A library that cannot be loaded, or
    lacks an export, raises LibraryNotFound at the first call that needs it.
    """

    def __init__(self, path=None):
        self.path = path
        self._so = None
        self._functions = {}

    def _load(self):
        if self._so is not None:
            return self._so
        places = [self.path] if self.path else search_order()
        reasons = []
        for place in places:
            try:
                self._so = ctypes.CDLL(place, mode=os.RTLD_NOW | os.RTLD_LOCAL)
                self.loaded_from = place
                return self._so
            except OSError as e:
                reasons.append(str(e))
        hint = "" if self.path else (" (an installed kit puts it in its own library folder, which the "
                                     "package's _where.py names; from a build tree set LD_LIBRARY_PATH to the "
                                     "build's lib folder)")
        raise LibraryNotFound("The token library %s could not be loaded%s: %s"
                              % (self.path or LIBRARY_NAME, hint, "; ".join(reasons)))

    def _bind(self, name):
        fn = self._functions.get(name)
        if fn is None:
            so = self._load()
            try:
                fn = getattr(so, name)
            except AttributeError:
                raise LibraryNotFound("The token library %s has no function %s."
                                      % (getattr(self, "loaded_from", LIBRARY_NAME), name)) from None
            fn.argtypes = _EXPORTS[name]
            fn.restype = _I32
            self._functions[name] = fn
        return fn

    @staticmethod
    def _check(name, hr):
        if hr != 0:
            raise TokenError(name, hr)

    # A counted out-buffer as the tools pass it: capacity + 1 bytes, *length
    # the capacity on entry and the count copied on return (clamped to the
    # capacity, so a library that says more cannot make us read past it).
    def _text_out(self, name, capacity, *args):
        capacity = _capacity(capacity)
        buffer = ctypes.create_string_buffer(_UNTOUCHED, capacity + 1)
        ptr = ctypes.cast(buffer, _P_CHAR)
        length = _I32(capacity)
        extra = _I32(-1)
        call_args = list(args)
        if name == "GetTokenData":
            call_args.append(ctypes.byref(extra))
        self._check(name, self._bind(name)(*call_args, ctypes.byref(length), ctypes.byref(ptr)))
        count = min(max(length.value, 0), capacity)
        if count == 0 and buffer.raw[:1] == _UNTOUCHED:
            text = None
        else:
            text = buffer.raw[:count].decode("utf-8", "surrogateescape")
        return (extra.value, text) if name == "GetTokenData" else text

    def acquire_token_handler(self, scheme=""):
        """A new handler for `scheme` ("" or None: the library's default); returns its handle."""
        handle = _U32(0)
        self._check("AcquireTokenHandler",
                    self._bind("AcquireTokenHandler")(_utf8(scheme, "the scheme"), ctypes.byref(handle)))
        return handle.value

    def release_token_handler(self, handle):
        self._check("ReleaseTokenHandler", self._bind("ReleaseTokenHandler")(handle))

    def get_token_scheme(self, handle, capacity=SCHEME_CAPACITY):
        """The handler's scheme, at most `capacity` bytes of it; None when absent."""
        return self._text_out("GetTokenScheme", capacity, handle)

    def set_token_seed(self, handle, seed):
        self._check("SetTokenSeed", self._bind("SetTokenSeed")(handle, _utf8(seed, "the seed")))

    def get_token_seed(self, handle, capacity=SCHEME_CAPACITY):
        return self._text_out("GetTokenSeed", capacity, handle)

    def set_token_item(self, handle, name, value):
        self._check("SetTokenItem",
                    self._bind("SetTokenItem")(handle, _utf8(name, "the item name"), _utf8(value, "the item value")))

    def get_token_item(self, handle, name, capacity=SCHEME_CAPACITY):
        return self._text_out("GetTokenItem", capacity, handle, _utf8(name, "the item name"))

    def set_token_data(self, handle, index, kind, name, value):
        """Slot `index` of kind 0 (plain), 1 (compressed), 2 (encrypted) or 3 (both)."""
        self._check("SetTokenData", self._bind("SetTokenData")(handle, index, kind, _utf8(name, "the slot name"),
                                                               _utf8(value, "the slot value")))

    def get_token_data(self, handle, index, capacity=REPLY_BUFFER_MIN):
        """(kind, text) of slot `index`: the kind GetTokenData reports and at most `capacity` bytes of the value."""
        return self._text_out("GetTokenData", capacity, handle, index)

    def construct_token(self, handle, capacity=TOKEN_CAPACITY):
        return self._text_out("ConstructToken", capacity, handle)

    def validate_token(self, handle, token):
        self._check("ValidateToken", self._bind("ValidateToken")(handle, _utf8(token, "the token")))

    def validate_token_hresult(self, handle, token):
        """ValidateToken's HRESULT itself (0 for a valid token), for a verdict that is not an error."""
        return self._bind("ValidateToken")(handle, _utf8(token, "the token"))
