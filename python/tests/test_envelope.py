"""The envelope writer against the bytes tessel-call sends, and the reader of replies."""

import os
import re
import subprocess
import urllib.request
import xml.etree.ElementTree as ET

import pytest

import tessel
from tessel import envelope
from conftest import ADMIN, CORE, program

# Text that tries every escape: markup characters, quotes, a carriage return, tab and line feed, a CDATA end,
# characters beyond ASCII and beyond the BMP.
AWKWARD = 'a&b<c>d"e\'f\r\ng\th]]>i \u00e9\u20ac\U0001F600 &amp;'


def traced_requests(stderr):
    """(method, request bytes) of every exchange `tessel-call -v` traced: the request runs from the line after
    "> POST URL (METHOD)" up to the line "< HTTP ..." (the envelope ends with its own line feed)."""
    out = []
    for m in re.finditer(rb"> POST \S+ \((\w+)\)\n(.*?)(?=^< HTTP )", stderr, re.S | re.M):
        out.append((m.group(1).decode(), m.group(2)))
    return out


def values_of(request):
    root = ET.fromstring(request)
    wrapper = next(iter(root.find("{%s}Body" % envelope.NS_ENVELOPE)))
    return [(c.tag, c.text or "") for c in wrapper]


def tessel_call(service, *args, uri=None):
    env = dict(os.environ, TESSEL_PASSWORD="tester")
    return subprocess.run([program("tessel-call"), "--uri", uri or service.url(), "--user", "tester", "-v", *args],
                          env=env, capture_output=True, timeout=120)


def description(url):
    with urllib.request.urlopen(url) as r:
        return envelope.Description(r.read(), url)


@pytest.mark.parametrize("operation, params", [
    ("GetLog", ["logID=1"]),
    ("PutLog", ["log=" + AWKWARD]),
    ("GetVOResourceAttributeList", ["modulename="]),
    ("PutVOResourcewithAttribute", ["%s=%s" % (n, AWKWARD[:i]) for i, n in enumerate(
        ["name", "modulename", "creator", "version", "type", "id", "description", "urlleaf", "props"])]),
    ("ReLoadConfig", []),
])
def test_writes_every_request_byte_for_byte_as_tessel_call(service, operation, params):
    run = tessel_call(service, operation, *params)
    traced = traced_requests(run.stderr)
    assert [m for m, _ in traced] == ["CreateTicket", "OpenSession", operation, "CloseSession"], run.stderr
    main = description(service.url(CORE))
    admin = description(service.url(ADMIN))
    for method, request in traced:
        d = admin if method == "ReLoadConfig" else main
        assert envelope.build_request(d.operation(method), values_of(request)) == request, method


def test_sends_the_headers_tessel_call_sends(service, front):
    def sent():
        return [(path, h.get("Content-Type"), h.get("SOAPAction")) for path, h, _ in front.requests]

    tessel_call(service, "GetLog", "logID=1", uri=front.url())
    by_tool = sent()
    front.requests.clear()
    with tessel.Session(front.url(), "tester", "tester") as s:
        s.call("GetLog", logID="1")
    assert sent() == by_tool
    assert by_tool[2] == ("/TesselService/TesselServiceCore.asmx", "text/xml; charset=utf-8",
                          '"urn:tessel:TesselServiceCore#GetLog"')


def test_an_operation_in_the_description_order_and_the_parts_it_leaves_out():
    text = b"""<definitions xmlns="http://schemas.xmlsoap.org/wsdl/" xmlns:soap="http://schemas.xmlsoap.org/wsdl/soap/"
        xmlns:s="http://www.w3.org/2001/XMLSchema" xmlns:old="http://www.w3.org/1999/XMLSchema"
        xmlns:tns="urn:t" targetNamespace="urn:t">
      <message name="In"><part name="b" type="s:int"/><part name="a" type="old:string"/><part name="c"/></message>
      <portType name="P"><operation name="Op" parameterOrder="a b"><input message="tns:In"/></operation></portType>
      <binding name="B" type="tns:P"><soap:binding style="rpc" transport="http://schemas.xmlsoap.org/soap/http"/>
        <operation name="Op"><soap:operation soapAction="act"/>
          <input><soap:body use="encoded" namespace="urn:ns"/></input></operation></binding>
      <service name="S"><port name="p" binding="tns:B"><soap:address location="http://h/e"/></port></service>
    </definitions>"""
    d = envelope.Description(text, "mem")
    op = d.operation("Op")
    assert (d.endpoint, op.soap_action, op.request_order()) == ("http://h/e", "act", ["a", "b", "c"])
    body = envelope.build_request(op, [("b", "2")]).decode()
    assert ('<m:Op xmlns:m="urn:ns"><a xsi:type="xsd1:string"></a><b xsi:type="xsd:int">2</b>'
            '<c xsi:type="xsd:string"></c></m:Op>') in body
    assert 'xmlns:xsd1="http://www.w3.org/1999/XMLSchema"' in body


@pytest.mark.parametrize("value", ["\x00", "a\x07b", "\x1f", "\ufffe", "\udc80"])
def test_refuses_text_xml_cannot_carry(value):
    with pytest.raises(tessel.UsageError, match="parameter log"):
        envelope.check_text("log", value)


def reply(body):
    return ('<?xml version="1.0"?><e:Envelope xmlns:e="http://schemas.xmlsoap.org/soap/envelope/" '
            'xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance"><e:Body>%s</e:Body></e:Envelope>' % body).encode()


def test_reads_values_references_and_nil():
    values = envelope.read_reply("Op", reply(
        '<m:OpResponse xmlns:m="urn:t"><result href="#r1"/><reskey xsi:nil="true">x</reskey><x>a&#13;b</x>'
        '</m:OpResponse><v id="r1" href="#r2"/><v id="r2">the &lt;text&gt;</v>'))
    assert values == [("result", "the <text>"), ("reskey", ""), ("x", "a\rb")]


def test_a_fault_gives_its_code_string_and_detail_lines():
    with pytest.raises(tessel.Fault) as e:
        envelope.read_reply("GetLog", reply(
            "<e:Fault><faultcode>e:Client</faultcode><faultstring> No log </faultstring>"
            "<detail>lead<t:message xmlns:t='urn:x'> one </t:message><t:m xmlns:t='urn:x'>two</t:m></detail>"
            "</e:Fault>"), 500)
    f = e.value
    assert (f.operation, f.code, f.string, f.detail, f.http_status) == ("GetLog", "e:Client", "No log",
                                                                         "lead\none\ntwo", 500)
    assert str(f) == "GetLog: Fault: No log (e:Client)\nlead\none\ntwo"


@pytest.mark.parametrize("body, error, match", [
    (b"", tessel.BadReply, r"empty reply \(HTTP 502\)"),
    (b"  \n", tessel.BadReply, "empty reply"),
    (b"<html><body><h1>Bad   gateway</h1></body></html>", tessel.Fault, "HTML page instead of a SOAP message: "
                                                                          "Bad gateway"),
    (b"not xml", tessel.BadReply, "not XML"),
    (b"<a/>", tessel.BadReply, r"root element is <a>"),
    (reply('<m:R xmlns:m="u"><result href="#a"/></m:R><v id="a" href="#b"/><v id="b" href="#a"/>'),
     tessel.BadReply, "comes back"),
    (reply('<m:R xmlns:m="u"><result href="#nowhere"/></m:R>'), tessel.BadReply, "does not hold"),
])
def test_a_reply_that_cannot_be_read_says_why(body, error, match):
    with pytest.raises(error, match=match):
        envelope.read_reply("GetLog", body, 502)
