"""A session with the local service: login, calls, logout, and each way a call fails with its own exception."""

import json
import logging

import pytest

import tessel
from conftest import CORE, free_port, spoil_reply_token

# A password with every character XML escapes, so that masking is tried in each form.
SECRET = 's3cr&t<"pw">\''


def logged_requests(path):
    with open(path) as f:
        return [json.loads(line) for line in f if line.strip()]


def test_logs_in_calls_and_logs_out(start_service, tmp_path):
    log = tmp_path / "requests.jsonl"
    svc = start_service("--log", str(log))
    with tessel.Session(svc.url(), "tester", "tester") as s:
        assert s.logged_in and s.handle
        r = s.call("GetLog", logID="1")
        assert r.result.startswith('<log id="1" user="tester"')
        assert (r.operation, r.http_status, r.verdict, r.token_valid, r.kind) == ("GetLog", 200, 0, True, 0)
        assert r.elapsed_ms >= 0
        assert b"<logID xsi:type=\"xsd:string\">1</logID>" in r.request
        assert "GetLog" in s.operations() and "CreateTicket" not in s.operations()
        assert s.parameters("GetLogs") == ["logID", "count"]
    assert not s.logged_in and s.handle is None
    assert s.close() == ""  # a second close sends nothing
    sent = [entry.get("operation") or entry.get("method") for entry in logged_requests(log)]
    assert sent[-4:] == ["CreateTicket", "OpenSession", "GetLog", "CloseSession"], sent
    with pytest.raises(tessel.UsageError, match="there is no session"):
        s.call("GetLog", logID="1")


def test_parameters_are_checked_by_name_before_anything_is_sent(service, front):
    with tessel.Session(front.url(), "tester", "tester") as s:
        before = len(front.requests)
        with pytest.raises(tessel.UsageError, match=r'"logid" is not a parameter of GetLog; GetLog takes logID'):
            s.call("GetLog", logid="1")
        with pytest.raises(tessel.UsageError, match=r"missing parameters logID, count; GetLogs takes logID, count"):
            s.call("GetLogs")
        with pytest.raises(tessel.UsageError, match="has no operation GetNothing"):
            s.call("GetNothing")
        with pytest.raises(tessel.UsageError, match='OpenSession .* carries no token'):
            s.call("OpenSession")
        with pytest.raises(tessel.UsageError, match="control character"):
            s.call("PutLog", log="bell\x07")
        assert len(front.requests) == before
        assert s.call("GetLogCount").token_valid  # the session goes on


def test_a_fault_raises_fault_with_its_parts(service):
    with tessel.Session(service.url(), "tester", "tester") as s:
        with pytest.raises(tessel.Fault) as e:
            s.call("GetLog", logID="999")
        assert (e.value.operation, e.value.code, e.value.string) == ("GetLog", "SOAP-ENV:Client",
                                                                      "No log with the ID 999")
        assert e.value.detail == 'The store holds no log with the ID "999".'
        assert s.call("GetLog", logID="1").token_valid


def test_an_error_page_raises_fault_without_a_code(start_service):
    svc = start_service("--html-error", "GetLog")
    with tessel.Session(svc.url(), "tester", "tester") as s:
        with pytest.raises(tessel.Fault, match="HTML page instead of a SOAP message") as e:
            s.call("GetLog", logID="1")
        assert e.value.code == ""


def test_a_rejected_reply_token_raises_unless_asked_for_the_verdict(service, front):
    front.change = lambda op, reply: spoil_reply_token(reply) if op == "GetLog" else reply
    with tessel.Session(front.url(), "tester", "tester") as s:
        with pytest.raises(tessel.ReplyTokenRejected, match=r"^GetLog: reply token rejected: 0x80004005 E_FAIL \(time stamp") as e:
            s.call("GetLog", logID="1")
        assert e.value.verdict != 0 and e.value.result.http_status == 200
        r = s.call("GetLog", logID="1", check_token=False)
        assert not r.token_valid and tessel.describe_verdict(r.verdict).startswith("rejected: ")
        assert s.call("GetLogCount").token_valid


def test_a_result_of_32_mib_comes_back_whole(start_service):
    svc = start_service()
    # As large as the service takes a request (32 MiB with the envelope): it answers compressed.
    content = "0123456789abcdef" * (((32 << 20) - 4096) // 16)
    with tessel.Session(svc.url(), "tester", "tester") as s:
        s.call("PutVOContent", name="big", content=content)
        r = s.call("GetVOContent", name="big")
        assert r.kind == 1 and r.token_valid
        assert len(r.result) == len(content) and r.result == content
    # Sent plain, the reply is as large as the result.
    svc2 = start_service("--compress-threshold", str(64 << 20))
    with tessel.Session(svc2.url(), "tester", "tester") as s:
        s.call("PutVOContent", name="big", content=content)
        r = s.call("GetVOContent", name="big")
        assert r.kind == 0 and len(r.reply) > len(content) and r.result == content


def test_a_wrong_password_raises_login_refused_without_the_password(start_service, caplog):
    svc = start_service("--user", "alice:right")
    caplog.set_level(logging.DEBUG, logger="tessel")
    with pytest.raises(tessel.LoginRefused) as e:
        tessel.Session(svc.url(), "alice", SECRET)
    assert str(e.value) == ('the login was refused: CreateTicket gave no ticket for the user "alice" '
                            "(is the user name or the password wrong?)")
    assert "********" in caplog.text
    for form in (SECRET, "s3cr&amp;t", "s3cr&t"):
        assert form not in caplog.text and form not in str(e.value)


def test_a_server_that_echoes_the_password_has_it_masked(service, front, caplog):
    caplog.set_level(logging.DEBUG, logger="tessel")
    fault = ('<?xml version="1.0"?><e:Envelope xmlns:e="http://schemas.xmlsoap.org/soap/envelope/"><e:Body>'
             "<e:Fault><faultcode>e:Client</faultcode><faultstring>bad credential s3cr&amp;t&lt;\"pw\"&gt;'"
             "</faultstring><detail>you sent s3cr&amp;t&lt;&quot;pw&quot;&gt;&apos;</detail></e:Fault>"
             "</e:Body></e:Envelope>").encode()
    front.answer = lambda op, request: fault if op in ("CreateTicket", "GetLog") else None
    with pytest.raises(tessel.LoginRefused) as e:
        tessel.Session(front.url(), "tester", SECRET)
    assert str(e.value) == ("the login was refused: CreateTicket answered with the fault bad credential ******** "
                            "(you sent ********)")
    assert "s3cr" not in caplog.text and "s3cr" not in repr(e.value)


def test_an_unreachable_server_and_a_missing_description_each_say_so(service):
    port = free_port()
    with pytest.raises(tessel.ServerUnreachable, match=r"Could not connect to http://127.0.0.1:%d/" % port):
        tessel.Session("http://127.0.0.1:%d%s" % (port, CORE), "tester", SECRET)
    with pytest.raises(tessel.DescriptionError, match="HTTP status 404"):
        tessel.Session(service.url("/nothing.xml"), "tester", "tester")
    with pytest.raises(tessel.UsageError, match="no http or https URL"):
        tessel.Session("ftp://127.0.0.1/x.xml", "tester", "tester")


def test_a_service_gone_after_login_raises_server_unreachable(start_service):
    svc = start_service()
    s = tessel.Session(svc.url(), "tester", "tester")
    svc.stop()
    with pytest.raises(tessel.ServerUnreachable, match=r"^GetLog: "):
        s.call("GetLog", logID="1")
    assert "Could not connect" in s.close()


def test_a_missing_library_raises_library_not_found_after_the_ticket(service, tmp_path):
    with pytest.raises(tessel.LibraryNotFound, match="could not be loaded"):
        tessel.Session(service.url(), "tester", "tester", library=tessel.TokenLibrary(str(tmp_path / "none.so")))


def test_a_server_that_never_answers_is_given_up_after_tessel_timeout(monkeypatch):
    import socket
    import threading

    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen()
    held = []
    threading.Thread(target=lambda: held.append(listener.accept()), daemon=True).start()
    monkeypatch.setenv("TESSEL_TIMEOUT", "1")
    try:
        with pytest.raises(tessel.ServerUnreachable, match=r"The server did not answer within 1 s"):
            tessel.Session("http://127.0.0.1:%d%s" % (listener.getsockname()[1], CORE), "tester", "tester")
    finally:
        listener.close()
        for conn, _ in held:
            conn.close()
