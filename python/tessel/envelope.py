"""The SOAP side: a WSDL 1.1 description read as the kit reads it, request
envelopes written byte for byte as the kit's clients write them (SOAP 1.1,
rpc style, encoded or literal as the binding says), and replies read.

The rules are the kit's: the service location is the first port's
soap:address; an operation's request carries its input parts in call order
(parameterOrder when given, else the input parts), then any input part the
order leaves out; an encoded part carries xsi:type from its XSD type
(xsd:string when it has none); the text escapes &, <, > and carriage
return; the envelope is UTF-8 with an XML declaration and ends with a line
feed.
"""

import io
import re
import xml.etree.ElementTree as ET

from .errors import BadReply, DescriptionError, Fault, UsageError

NS_WSDL = "http://schemas.xmlsoap.org/wsdl/"
NS_WSDL_SOAP = "http://schemas.xmlsoap.org/wsdl/soap/"
NS_ENVELOPE = "http://schemas.xmlsoap.org/soap/envelope/"
NS_ENVELOPE_12 = "http://www.w3.org/2003/05/soap-envelope"
NS_ENCODING = "http://schemas.xmlsoap.org/soap/encoding/"
NS_XSI_2001 = "http://www.w3.org/2001/XMLSchema-instance"
NS_XSI_1999 = "http://www.w3.org/1999/XMLSchema-instance"
NS_XSD_2001 = "http://www.w3.org/2001/XMLSchema"
XSD_NAMESPACES = (NS_XSD_2001, "http://www.w3.org/2000/10/XMLSchema", "http://www.w3.org/1999/XMLSchema")

# What XML 1.0 cannot carry: the C0 controls but tab, line feed and carriage
# return; U+FFFE, U+FFFF; lone surrogates (text that is not UTF-8).
_NOT_XML = re.compile("[\x00-\x08\x0b\x0c\x0e-\x1f\ufffe\uffff\ud800-\udfff]")


class Part:
    def __init__(self, name, type_ns, type_local):
        self.name = name
        self.type_ns = type_ns
        self.type_local = type_local


class Operation:
    """One operation of a description, with what its request envelope needs."""

    def __init__(self, name):
        self.name = name
        self.input_parts = []
        self.output_parts = []
        self.parameter_order = None
        self.soap_action = ""
        self.encoded = True
        self.namespace = ""
        self.encoding_style = ""
        self.rpc = True

    def request_order(self):
        """The input parts in the order the request carries them."""
        inputs = [p.name for p in self.input_parts]
        order = [n for n in (self.parameter_order if self.parameter_order is not None else inputs) if n in inputs]
        return order + [n for n in inputs if n not in order]

    def part(self, name):
        for p in self.input_parts:
            if p.name == name:
                return p
        return None


class Description:
    """A WSDL 1.1 description with the SOAP 1.1 binding, rpc style."""

    def __init__(self, text, url=""):
        self.url = url
        if isinstance(text, str):
            text = text.encode("utf-8")
        try:
            root = ET.fromstring(text)
            prefixes = {}
            for _, (prefix, uri) in ET.iterparse(io.BytesIO(text), events=("start-ns",)):
                prefixes.setdefault(prefix, uri)
        except ET.ParseError as e:
            raise DescriptionError("the service description %s is not XML: %s" % (url, e)) from None
        if root.tag != "{%s}definitions" % NS_WSDL:
            raise DescriptionError("the service description %s is not WSDL 1.1 (its root element is <%s>)"
                                   % (url, _local(root.tag)))
        if root.find("{%s}import" % NS_WSDL) is not None:
            raise DescriptionError("the service description %s imports other documents, which this package "
                                   "does not fetch" % url)
        self.target_namespace = root.get("targetNamespace", "")
        self.service_name = ""
        self.endpoint = ""
        for service in root.findall("{%s}service" % NS_WSDL):
            self.service_name = self.service_name or service.get("name", "")
            for address in service.iter("{%s}address" % NS_WSDL_SOAP):
                self.endpoint = self.endpoint or address.get("location", "")
        if not self.endpoint:
            raise DescriptionError("the service description %s names no service location" % url)
        messages = {}
        for m in root.findall("{%s}message" % NS_WSDL):
            parts = []
            for p in m.findall("{%s}part" % NS_WSDL):
                ns, local = _qname(prefixes, p.get("type", ""))
                parts.append(Part(p.get("name", ""), ns, local))
            messages[m.get("name", "")] = parts
        self.operations = {}
        self.order = []
        for port_type in root.findall("{%s}portType" % NS_WSDL):
            for o in port_type.findall("{%s}operation" % NS_WSDL):
                op = Operation(o.get("name", ""))
                if o.get("parameterOrder") is not None:
                    op.parameter_order = o.get("parameterOrder").split()
                for tag, into in (("input", op.input_parts), ("output", op.output_parts)):
                    put = o.find("{%s}%s" % (NS_WSDL, tag))
                    if put is not None:
                        into.extend(messages.get(_qname(prefixes, put.get("message", ""))[1], []))
                op.namespace = self.target_namespace
                self.operations.setdefault(op.name, op)
                self.order.append(op.name)
        for binding in root.findall("{%s}binding" % NS_WSDL):
            soap_binding = binding.find("{%s}binding" % NS_WSDL_SOAP)
            style = soap_binding.get("style", "document") if soap_binding is not None else "document"
            for o in binding.findall("{%s}operation" % NS_WSDL):
                op = self.operations.get(o.get("name", ""))
                if op is None:
                    continue
                soap_op = o.find("{%s}operation" % NS_WSDL_SOAP)
                if soap_op is not None:
                    op.soap_action = soap_op.get("soapAction", "")
                    style = soap_op.get("style", style)
                op.rpc = style == "rpc"
                body = o.find("{%s}input/{%s}body" % (NS_WSDL, NS_WSDL_SOAP))
                if body is not None:
                    op.encoded = body.get("use", "literal") == "encoded"
                    op.namespace = body.get("namespace", self.target_namespace)
                    op.encoding_style = body.get("encodingStyle", "")

    def operation(self, name):
        op = self.operations.get(name)
        if op is None:
            raise UsageError("the service description %s has no operation %s" % (self.url, name))
        if not op.rpc:
            raise DescriptionError("%s in %s is document style, which this package does not send"
                                   % (name, self.url))
        return op


def _local(tag):
    return tag.rsplit("}", 1)[-1]


def _qname(prefixes, text):
    """(namespace, local) of a QName attribute value, by the description's first declaration of its prefix."""
    prefix, _, local = text.strip().rpartition(":")
    return prefixes.get(prefix, ""), local


def check_text(name, value):
    """Raises UsageError when `value` is not text XML can carry."""
    if not isinstance(value, str):
        raise UsageError("the value of parameter %s is text (str), not %s" % (name, type(value).__name__))
    if _NOT_XML.search(value):
        raise UsageError("the value of parameter %s is not valid UTF-8 text or contains a control character "
                         "that XML cannot carry" % name)


def _escape(text):
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;").replace("\r", "&#13;")


def _escape_attribute(text):
    return _escape(text).replace('"', "&quot;").replace("\n", "&#10;").replace("\t", "&#9;")


def build_request(op, parameters):
    """The request envelope of `op` (bytes), with `parameters` (name, value) pairs.

    Every input part goes out, empty when not given; a given name the
    operation does not have follows them, as the kit's packager adds it.
    """
    values, extra = {}, []
    for name, value in parameters:
        check_text(name, value)
        if op.part(name) is not None:
            values.setdefault(name, value)
        else:
            extra.append((name, value))
    env_attrs = ' xmlns:SOAP-ENV="%s"' % NS_ENVELOPE
    if op.encoded:
        env_attrs += ' xmlns:SOAP-ENC="%s" xmlns:xsi="%s" xmlns:xsd="%s"' % (NS_ENCODING, NS_XSI_2001, NS_XSD_2001)
    body = []
    extra_ns = []
    for name, value in [(n, values.get(n, "")) for n in op.request_order()] + extra:
        attrs = ""
        if op.encoded:
            part = op.part(name)
            type_ns, type_local = (part.type_ns, part.type_local) if part and part.type_local else (NS_XSD_2001,
                                                                                                       "string")
            if type_ns in XSD_NAMESPACES:
                prefix = "xsd" if type_ns == NS_XSD_2001 else "xsd1"
                if type_ns != NS_XSD_2001 and type_ns not in extra_ns:
                    extra_ns.append(type_ns)
                attrs = ' xsi:type="%s:%s"' % (prefix, type_local)
        body.append("<%s%s>%s</%s>" % (name, attrs, _escape(value), name))
    for ns in extra_ns[:1]:
        env_attrs += ' xmlns:xsd1="%s"' % ns
    if op.encoded:
        env_attrs += ' SOAP-ENV:encodingStyle="%s"' % _escape_attribute(op.encoding_style or NS_ENCODING)
    wrapper = op.name
    wrapper_open = "<m:%s xmlns:m=\"%s\">" % (wrapper, _escape_attribute(op.namespace)) if op.namespace \
        else "<%s>" % wrapper
    wrapper_close = "</m:%s>" % wrapper if op.namespace else "</%s>" % wrapper
    text = ('<?xml version="1.0" encoding="UTF-8"?>\n<SOAP-ENV:Envelope%s><SOAP-ENV:Body>%s%s%s'
            '</SOAP-ENV:Body></SOAP-ENV:Envelope>\n' % (env_attrs, wrapper_open, "".join(body), wrapper_close))
    return text.encode("utf-8")


def looks_like_html(body):
    head = body[:512].strip().lower()
    return (head.startswith(b"<html") or head.startswith(b"<!doctype html")
            or (not head.startswith(b"<?xml") and b"<html" in head and b"envelope" not in head))


def _html_summary(body):
    text = re.sub(r"<[^>]*>", " ", body[:4000].decode("utf-8", "replace"))
    text = " ".join(text.split())
    return text[:200] + "..." if len(text) > 200 else text


def _text(element):
    return "".join(element.itertext())


def _is_nil(element):
    return any(element.get("{%s}nil" % ns) in ("true", "1") for ns in (NS_XSI_2001, NS_XSI_1999))


def read_reply(operation, body, http_status=0):
    """The values of a reply as (name, value) pairs in order.

    A SOAP fault raises Fault; an HTML page raises Fault with an empty code
    and the page's text; an empty reply or one that is no SOAP envelope raises
    BadReply. An accessor with href="#id" takes the text of the value it
    names (a chain that comes back on itself raises BadReply).
    """
    if not body.strip():
        raise BadReply("%s: the server sent an empty reply (HTTP %d)" % (operation, http_status))
    if looks_like_html(body):
        raise Fault(operation, "", "the server answered with an HTML page instead of a SOAP message: "
                    + _html_summary(body), http_status=http_status)
    try:
        root = ET.fromstring(body)
    except ET.ParseError as e:
        raise BadReply("%s: the reply cannot be read: it is not XML (%s)" % (operation, e)) from None
    env_ns = NS_ENVELOPE_12 if root.tag == "{%s}Envelope" % NS_ENVELOPE_12 else NS_ENVELOPE
    if root.tag != "{%s}Envelope" % env_ns:
        raise BadReply("%s: the reply cannot be read: it is not a SOAP envelope (its root element is <%s>)"
                       % (operation, _local(root.tag)))
    soap_body = root.find("{%s}Body" % env_ns)
    if soap_body is None:
        raise BadReply("%s: the reply cannot be read: the envelope has no Body" % operation)
    first = next(iter(soap_body), None)
    if first is None:
        return []
    if first.tag == "{%s}Fault" % env_ns:
        code = string = detail = ""
        for c in first:
            local = _local(c.tag)
            if local in ("faultcode", "Code"):
                code = _text(c).strip()
            elif local in ("faultstring", "Reason"):
                string = _text(c).strip()
            elif local in ("detail", "Detail"):
                lines = [c.text or ""]
                for e in c:
                    lines += [_text(e), e.tail or ""]
                detail = "\n".join(line.strip() for line in lines if line.strip())
        raise Fault(operation, code, string, detail, http_status=http_status)
    ids = {}
    for c in soap_body:
        if c.get("id") is not None:
            ids.setdefault(c.get("id"), c)

    def value_of(accessor):
        seen = set()
        node = accessor
        while (node.get("href") or "").startswith("#") and len(node.get("href")) > 1:
            ref = node.get("href")[1:]
            if ref in seen:
                raise BadReply("%s: the value of <%s> refers to #%s through a chain of references that comes back "
                               "to itself" % (operation, _local(accessor.tag), ref))
            seen.add(ref)
            if ref not in ids:
                raise BadReply("%s: the value of <%s> refers to #%s, which the message does not hold"
                               % (operation, _local(accessor.tag), ref))
            node = ids[ref]
        return _text(node)

    return [(_local(c.tag), "" if _is_nil(c) else value_of(c)) for c in first]
