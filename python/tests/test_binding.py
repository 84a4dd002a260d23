"""The token library bound by name: every export of the C header, absent and empty values, a cut out-buffer,
failures raised as TokenError naming their code, and a library that cannot be used."""

import re

import pytest

import tessel
from conftest import SOURCE


def test_binds_exactly_the_exports_the_c_header_declares():
    header = (SOURCE / "Auth" / "include" / "TesselMACCDLL.h").read_text()
    declared = re.findall(r"TESSEL_MACC_API\s+TesselHResult\s+(\w+)\s*\(", header)
    assert len(declared) == 11
    assert sorted(tessel.EXPORTS) == sorted(declared)
    library = tessel.TokenLibrary()
    for name in declared:
        assert library._bind(name).restype is not None


@pytest.fixture
def session(service):
    with tessel.Session(service.url(), "tester", "tester") as s:
        yield s


def test_a_new_handler_gives_its_scheme_and_a_seed_that_sets_back():
    lib = tessel.TokenLibrary()
    h = lib.acquire_token_handler("")
    try:
        assert lib.get_token_scheme(h).startswith("Microsoft ")
        seed = lib.get_token_seed(h)
        assert seed.count(":") == 1 and seed.count(";") == 1
        lib.set_token_seed(h, seed)
        # An item never set is absent (None), one set empty is empty text.
        assert lib.get_token_item(h, "Opaque") is None
        lib.set_token_item(h, "Opaque", "")
        assert lib.get_token_item(h, "Opaque") == ""
        lib.set_token_item(h, "Opaque", None)
        assert lib.get_token_item(h, "Opaque") is None
    finally:
        lib.release_token_handler(h)


def test_failures_raise_token_error_naming_the_export_and_the_code():
    lib = tessel.TokenLibrary()
    h = lib.acquire_token_handler(None)
    lib.release_token_handler(h)
    with pytest.raises(tessel.TokenError) as e:
        lib.release_token_handler(h)
    assert (e.value.export, e.value.hresult, e.value.name) == ("ReleaseTokenHandler", -2147024890, "E_HANDLE")
    assert str(e.value) == "ReleaseTokenHandler returned 0x80070006 E_HANDLE"
    h2 = lib.acquire_token_handler("")
    with pytest.raises(tessel.TokenError, match=r"^SetTokenSeed returned 0x80070057 E_INVALIDARG$"):
        lib.set_token_seed(h2, None)
    lib.release_token_handler(h2)
    # Only ValidateToken's codes carry the cause the tools show with a verdict.
    with pytest.raises(tessel.TokenError, match=r"ValidateToken returned 0x80070006 E_HANDLE \(no such token handler\)"):
        lib.validate_token(h, "x")


def test_slots_and_the_counted_out_buffer(session):
    lib, h = session.library, session.handle
    session.call("PutVOContent", name="cut", content="h\u00e9llo")
    session.call("GetVOContent", name="cut")
    # Slot 1 holds the reply's decoded result; a capacity cuts it in bytes, even inside a character.
    assert lib.get_token_data(h, 1) == (0, "h\u00e9llo")
    assert lib.get_token_data(h, 1, 2) == (0, "h\udcc3")
    assert lib.get_token_data(h, 1, 2)[1].encode("utf-8", "surrogateescape") == b"h\xc3"
    assert lib.get_token_data(h, 1, 0) == (0, "")
    # Slots are set in order from 0; a slot not yet converted is absent.
    lib.set_token_data(h, 0, 0, "GetLog", "")
    lib.set_token_data(h, 1, 0, "logID", None)
    assert lib.get_token_data(h, 1) == (0, None)
    with pytest.raises(tessel.TokenError, match="E_INVALIDARG"):
        lib.get_token_data(h, 2)
    with pytest.raises(tessel.TokenError, match="E_INVALIDARG"):
        lib.set_token_data(h, 5, 0, "skipped", "")
    token = lib.construct_token(h)
    assert token.endswith(":" + lib.get_token_item(h, "Opaque"))
    assert len(token) > 10 and len(lib.construct_token(h, 10)) == 10
    assert lib.validate_token_hresult(h, "garbage") != 0


def test_refuses_values_the_library_cannot_take_before_calling_it():
    lib = tessel.TokenLibrary()
    with pytest.raises(ValueError, match="NUL"):
        lib.acquire_token_handler("a\0b")
    with pytest.raises(TypeError):
        lib.acquire_token_handler(b"bytes")
    for bad in (-1, 2**31, 1.5):
        with pytest.raises(ValueError, match="capacity"):
            lib.get_token_scheme(1, bad)


def test_a_library_that_cannot_be_used_raises_library_not_found(tmp_path):
    missing = tessel.TokenLibrary(str(tmp_path / "libTesselMACCDLL.so"))
    with pytest.raises(tessel.LibraryNotFound, match="could not be loaded"):
        missing.acquire_token_handler("")
    not_ours = tessel.TokenLibrary("libc.so.6")
    with pytest.raises(tessel.LibraryNotFound, match="has no function AcquireTokenHandler"):
        not_ours.acquire_token_handler("")
