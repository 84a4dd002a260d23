"""An example suite against a TesselService:

    TESSEL_PASSWORD=tester pytest --tessel-uri http://localhost:8080/TesselService/TesselServiceCore.xml \
        --tessel-user tester /usr/share/doc/tessel-kit/examples/python
"""

import pytest

import tessel


def test_the_first_log_is_there(tessel_session):
    r = tessel_session.call("GetLog", logID="1")
    assert r.token_valid and r.http_status == 200
    assert r.result.startswith('<log id="1"')


def test_content_put_comes_back(tessel_session):
    tessel_session.call("PutVOContent", name="example", content="caf\u00e9 <b>&</b>")
    assert tessel_session.call("GetVOContent", name="example").result == "caf\u00e9 <b>&</b>"
    tessel_session.call("RemoveVOContent", name="example")


def test_an_unknown_log_is_a_fault(tessel_session):
    with pytest.raises(tessel.Fault) as e:
        tessel_session.call("GetLog", logID="no-such-log")
    assert e.value.code.endswith("Client")
