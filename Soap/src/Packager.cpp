#include "Soap/Packager.h"

#include <algorithm>
#include <cctype>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "Soap/SoapError.h"
#include "Soap/Transport.h"

namespace tessel::soap {

namespace {

// What reading a self-contained description text gave, for the last few
// texts read: a tool reads the text it keeps again for every call, and reading
// it is most of a call's own work. Texts over kMaxBytes are not kept.
class ReadDescriptions {
public:
    static constexpr std::size_t kMaxBytes = 1u << 20;
    static constexpr std::size_t kKept = 4;

    std::shared_ptr<const ServiceDescription> Find(const std::string& text)
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& [kept, read] : kept_)
            if (kept == text)
                return read;
        return nullptr;
    }
    void Keep(const std::string& text, std::shared_ptr<const ServiceDescription> read)
    {
        if (text.size() > kMaxBytes)
            return;
        const std::lock_guard<std::mutex> lock(mutex_);
        kept_.emplace_front(text, std::move(read));
        if (kept_.size() > kKept)
            kept_.pop_back();
    }

private:
    std::mutex mutex_;
    std::deque<std::pair<std::string, std::shared_ptr<const ServiceDescription>>> kept_;
};

ReadDescriptions& TheReadDescriptions()
{
    static ReadDescriptions read;
    return read;
}

const xmlChar* U(const char* s)
{
    return reinterpret_cast<const xmlChar*>(s);
}
const xmlChar* U(const std::string& s)
{
    return U(s.c_str());
}

const MessagePart* FindPart(const std::vector<MessagePart>& parts, const std::string& name)
{
    for (const MessagePart& p : parts)
        if (p.name == name)
            return &p;
    return nullptr;
}

// The order in which the request carries its input parts: the call order,
// then any input part the call order leaves out.
std::vector<std::string> RequestOrder(const OperationDescription& op)
{
    std::vector<std::string> order;
    for (const std::string& name : op.CallOrder())
        if (op.IsInput(name))
            order.push_back(name);
    for (const MessagePart& p : op.inputParts)
        if (std::find(order.begin(), order.end(), p.name) == order.end())
            order.push_back(p.name);
    return order;
}

void CheckValue(const std::string& name, const std::string& value)
{
    if (!IsXmlText(value))
        throw SoapError("the value of parameter " + name +
                        " is not valid UTF-8 text or contains a control character that XML cannot carry");
}

// Adds one parameter element with its text to the operation's wrapper.
xmlNode* AddParameter(xmlNode* wrapper, const OperationDescription& op, const std::string& name,
                      const std::string& value, bool response = false)
{
    const bool encoded = response ? op.outputEncoded : op.inputEncoded;
    const std::vector<MessagePart>& parts = response ? op.outputParts : op.inputParts;
    const MessagePart* part = FindPart(parts, name);
    CheckValue(name, value);
    // Accessors are unqualified, except a wrapper's children that the schema
    // qualifies (a reference to a global element, or a qualified form).
    if (op.wrapped) {
        std::string href = part ? part->ns : "";
        if (!part && op.qualifiedChildren)
            href = NamespaceOf(wrapper);
        xmlNs* ns = nullptr;
        if (!href.empty()) {
            ns = xmlSearchNsByHref(wrapper->doc, wrapper, U(href));
            if (!ns || !ns->prefix)
                ns = nullptr;
        }
        xmlNode* param = xmlNewDocNode(wrapper->doc, ns, U(name), nullptr);
        xmlAddChild(wrapper, param);
        if (!href.empty() && !ns)
            xmlSetNs(param, xmlNewNs(param, U(href), U("q")));
        xmlAddChild(param, xmlNewDocText(wrapper->doc, U(value)));
        return param;
    }
    xmlNode* param = xmlNewDocNode(wrapper->doc, nullptr, U(name), nullptr);
    xmlAddChild(wrapper, param);
    if (encoded) {
        const QName type = part && !part->type.empty() ? part->type : QName{kNsXsd2001, "string"};
        if (IsXsdNamespace(type.ns)) {
            xmlNode* env = xmlDocGetRootElement(wrapper->doc);
            xmlNs* xsi = xmlSearchNsByHref(wrapper->doc, env, U(kNsXsi2001));
            xmlNs* xsd = xmlSearchNsByHref(wrapper->doc, env, U(type.ns));
            if (!xsd)
                xsd = xmlNewNs(env, U(type.ns), U(type.ns == kNsXsd2001 ? "xsd" : "xsd1"));
            if (xsi && xsd)
                xmlSetNsProp(param, xsi, U("type"), U(std::string(reinterpret_cast<const char*>(xsd->prefix)) + ":" +
                                                      type.local));
        }
    }
    xmlAddChild(param, xmlNewDocText(wrapper->doc, U(value)));
    return param;
}

// A new envelope with the operation's request or response element.
XmlDocPtr NewEnvelope(const OperationDescription& op, bool response, xmlNode** wrapperOut)
{
    const bool encoded = response ? op.outputEncoded : op.inputEncoded;
    XmlDocPtr doc(xmlNewDoc(U("1.0")));
    xmlNode* env = xmlNewDocNode(doc.get(), nullptr, U("Envelope"), nullptr);
    xmlDocSetRootElement(doc.get(), env);
    xmlNs* soap = xmlNewNs(env, U(kNsEnvelope), U("SOAP-ENV"));
    xmlSetNs(env, soap);
    if (encoded) {
        xmlNewNs(env, U(kNsEncoding), U("SOAP-ENC"));
        xmlNewNs(env, U(kNsXsi2001), U("xsi"));
        xmlNewNs(env, U(kNsXsd2001), U("xsd"));
        xmlSetNsProp(env, soap, U("encodingStyle"), U(op.encodingStyle.empty() ? kNsEncoding : op.encodingStyle));
    }
    xmlNode* body = xmlNewChild(env, soap, U("Body"), nullptr);
    const QName& wrapped = response ? op.outputWrapper : op.inputWrapper;
    const std::string ns = op.wrapped ? wrapped.ns : response ? op.outputNamespace : op.inputNamespace;
    const std::string local = op.wrapped ? wrapped.local : response ? op.name + "Response" : op.name;
    xmlNode* wrapper = xmlNewDocNode(doc.get(), nullptr, U(local), nullptr);
    xmlAddChild(body, wrapper);
    if (!ns.empty())
        xmlSetNs(wrapper, xmlNewNs(wrapper, U(ns), U("m")));
    *wrapperOut = wrapper;
    return doc;
}

xmlNode* RequestWrapper(xmlDoc* doc)
{
    xmlNode* env = doc ? xmlDocGetRootElement(doc) : nullptr;
    return FirstElement(FirstChild(env, kNsEnvelope, "Body"));
}

std::string Trimmed(const std::string& s)
{
    std::size_t a = 0, b = s.size();
    while (a < b && std::isspace(static_cast<unsigned char>(s[a])))
        ++a;
    while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1])))
        --b;
    return s.substr(a, b - a);
}

std::string Lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The text of an HTML page in one line, for a message.
std::string HtmlSummary(const std::string& body)
{
    std::string text;
    bool inTag = false;
    for (const char c : body.substr(0, 4000)) {
        if (c == '<')
            inTag = true;
        else if (c == '>') {
            inTag = false;
            text += ' ';
        } else if (!inTag)
            text += std::isspace(static_cast<unsigned char>(c)) ? ' ' : c;
    }
    std::string out;
    for (const char c : text)
        if (!(c == ' ' && (out.empty() || out.back() == ' ')))
            out += c;
    out = Trimmed(out);
    return out.size() > 200 ? out.substr(0, 200) + "..." : out;
}

// The multi-reference values of an encoded message: the Body's children that
// carry an id, indexed once, each resolved once however many accessors refer
// to it, so a message with many references reads in linear time.
//
// Every accessor that refers to a value gets a copy of its text, so the copies
// are counted: together they may come to twice the message's own size (room
// for every value referred to once, whatever encoding the message is in) and
// kResolvedAllowance more. A message that repeats its values beyond that is
// refused before it costs more than that.
class References {
public:
    static constexpr std::size_t kResolvedAllowance = 1u << 20;

    References(xmlDoc* doc, std::size_t messageBytes)
        : doc_(doc), limit_(2 * messageBytes + kResolvedAllowance) {}

    // The text of an accessor: its own, or that of the value its href="#id"
    // names, followed through a chain of such references. A reference to a
    // value the message does not hold, a chain that comes back on itself, or
    // copies past the limit raise SoapError.
    std::string ValueOf(xmlNode* accessor)
    {
        const std::string href = Attr(accessor, "href");
        if (href.size() < 2 || href[0] != '#')
            return Text(accessor);
        Index();
        Value& value = Resolve(accessor, href.substr(1));
        if (!value.text)
            value.text = Text(value.node);
        resolved_ += value.text->size();
        if (resolved_ > limit_)
            throw SoapError("the values that the message's references name come to more than " +
                            std::to_string(limit_) + " bytes (twice the message's size and " +
                            std::to_string(kResolvedAllowance) + " bytes): the message repeats a value too often");
        return *value.text;
    }

private:
    struct Value {
        xmlNode* node = nullptr;
        Value* resolved = nullptr;  // the end of its chain, once known
        bool visiting = false;
        std::optional<std::string> text{};  // of the end of a chain, once read
    };

    void Index()
    {
        if (indexed_)
            return;
        indexed_ = true;
        for (xmlNode* c : Children(FirstChild(xmlDocGetRootElement(doc_), kNsEnvelope, "Body"))) {
            bool present = false;
            std::string id = Attr(c, "id", &present);
            if (present)
                values_.try_emplace(std::move(id), Value{c});  // the first of a repeated id counts
        }
    }

    Value& Resolve(xmlNode* accessor, const std::string& firstId)
    {
        std::vector<Value*> chain;
        std::string id = firstId;
        Value* end = nullptr;
        while (!end) {
            const auto it = values_.find(id);
            if (it == values_.end())
                throw SoapError("the value of <" + LocalName(accessor) + "> refers to #" + id +
                                ", which the message does not hold");
            Value& v = it->second;
            if (v.resolved) {
                end = v.resolved;
                break;
            }
            if (v.visiting)
                throw SoapError("the value of <" + LocalName(accessor) + "> refers to #" + firstId +
                                " through a chain of references that comes back to #" + id);
            v.visiting = true;
            chain.push_back(&v);
            const std::string next = Attr(v.node, "href");
            if (next.size() < 2 || next[0] != '#')
                end = &v;
            else
                id = next.substr(1);
        }
        for (Value* v : chain) {
            v->resolved = end;
            v->visiting = false;
        }
        return *end;
    }

    xmlDoc* doc_;
    std::size_t limit_;
    std::size_t resolved_ = 0;  // bytes copied out of values so far
    bool indexed_ = false;
    std::unordered_map<std::string, Value> values_;
};

// The text of a fault's detail: each detail entry's text on a line of its
// own, and character data outside the entries, which some servers send.
std::string DetailText(xmlNode* detail)
{
    std::string out;
    for (xmlNode* c = detail->children; c; c = c->next) {
        if (c->type != XML_ELEMENT_NODE && c->type != XML_TEXT_NODE && c->type != XML_CDATA_SECTION_NODE)
            continue;
        const std::string text = Trimmed(Text(c));
        if (text.empty())
            continue;
        if (!out.empty())
            out += '\n';
        out += text;
    }
    return out;
}

bool IsNil(xmlNode* n)
{
    for (const char* ns : {kNsXsi2001, kNsXsi1999}) {
        xmlChar* v = xmlGetNsProp(n, U("nil"), U(ns));
        if (!v)
            continue;
        const std::string s(reinterpret_cast<const char*>(v));
        xmlFree(v);
        return s == "true" || s == "1";
    }
    return false;
}

// An attribute of the SOAP envelope's namespace, and whether it is there.
std::string EnvelopeAttr(xmlNode* n, const char* name, bool* present)
{
    xmlChar* v = xmlGetNsProp(n, U(name), U(kNsEnvelope));
    *present = v != nullptr;
    const std::string out = v ? reinterpret_cast<const char*>(v) : "";
    xmlFree(v);
    return out;
}

// A header entry addressed to this node (no actor, or the next one) with
// mustUnderstand="1" must be one the reader understands; mustUnderstand is
// "0" or "1", anything else is the sender's fault.
void CheckHeaderEntry(xmlNode* entry, const std::vector<QName>& understood)
{
    bool marked = false, addressed = false;
    const std::string must = Trimmed(EnvelopeAttr(entry, "mustUnderstand", &marked));
    const std::string actor = EnvelopeAttr(entry, "actor", &addressed);
    const QName name{NamespaceOf(entry), LocalName(entry)};
    if (marked && must != "0" && must != "1")
        throw SoapFault("Client", "Header entry " + name.local + " has an invalid mustUnderstand value",
                        "The mustUnderstand attribute of the header entry {" + name.ns + "}" + name.local +
                            " is \"" + must.substr(0, 64) + "\"; in SOAP 1.1 it is \"0\" or \"1\".");
    const bool forUs = !addressed || actor.empty() || actor == "http://schemas.xmlsoap.org/soap/actor/next";
    if (forUs && must == "1" && std::find(understood.begin(), understood.end(), name) == understood.end())
        throw SoapFault("MustUnderstand", "Header entry " + name.local + " was not understood",
                        "The header entry {" + name.ns + "}" + name.local +
                            " is marked mustUnderstand, and this service does not process it.");
}

}  // namespace

bool LooksLikeHtml(const std::string& body)
{
    const std::string head = Lower(Trimmed(body.substr(0, 512)));
    return head.rfind("<html", 0) == 0 || head.rfind("<!doctype html", 0) == 0 ||
           (head.rfind("<?xml", 0) != 0 && head.find("<html") != std::string::npos && head.find("envelope") == std::string::npos);
}

const std::string* ResponseValues::Find(const std::string& name) const
{
    for (const auto& [n, v] : values)
        if (n == name)
            return &v;
    return nullptr;
}

ResponseValues ReadResponse(const std::string& xml)
{
    if (Trimmed(xml).empty())
        throw SoapError("the reply is empty");
    if (LooksLikeHtml(xml))
        throw SoapError("the server answered with an HTML page instead of a SOAP message: " + HtmlSummary(xml));
    const XmlDocPtr doc = ParseXml(xml, "the reply");
    xmlNode* env = xmlDocGetRootElement(doc.get());
    static constexpr char kNsEnvelope12[] = "http://www.w3.org/2003/05/soap-envelope";
    const bool soap12 = Is(env, kNsEnvelope12, "Envelope");
    if (!Is(env, kNsEnvelope, "Envelope") && !soap12)
        throw SoapError("the reply is not a SOAP envelope (its root element is <" + LocalName(env) + ">)");
    const char* envNs = soap12 ? kNsEnvelope12 : kNsEnvelope;
    xmlNode* body = FirstChild(env, envNs, "Body");
    if (!body)
        throw SoapError("the reply's envelope has no Body");
    xmlNode* first = FirstElement(body);
    if (Is(first, envNs, "Fault")) {
        std::string code, string, detail, detailXml;
        for (xmlNode* c : Children(first)) {
            const std::string local = LocalName(c);
            if (local == "faultcode" || local == "Code")
                code = Trimmed(Text(c));
            else if (local == "faultstring" || local == "Reason")
                string = Trimmed(Text(c));
            else if (local == "detail" || local == "Detail") {
                detail = DetailText(c);
                detailXml = Trimmed(InnerXml(c));
            }
        }
        throw SoapFault(code, string, detail, detailXml);
    }
    ResponseValues out;
    References references(doc.get(), xml.size());
    for (xmlNode* c : Children(first))
        out.values.emplace_back(LocalName(c), IsNil(c) ? std::string() : references.ValueOf(c));
    return out;
}

std::string BuildRequest(const ServiceDescription&, const OperationDescription& op,
                         const std::vector<std::pair<std::string, std::string>>& parameters)
{
    xmlNode* wrapper = nullptr;
    XmlDocPtr doc = NewEnvelope(op, false, &wrapper);
    for (const auto& [name, value] : parameters)
        AddParameter(wrapper, op, name, value);
    return Serialize(doc.get());
}

std::string BuildResponse(const OperationDescription& op,
                          const std::vector<std::pair<std::string, std::string>>& values)
{
    xmlNode* wrapper = nullptr;
    XmlDocPtr doc = NewEnvelope(op, true, &wrapper);
    for (const auto& [name, value] : values)
        AddParameter(wrapper, op, name, value, true);
    return Serialize(doc.get());
}

std::string BuildFault(const std::string& code, const std::string& string, const std::string& detail)
{
    XmlDocPtr doc(xmlNewDoc(U("1.0")));
    xmlNode* env = xmlNewDocNode(doc.get(), nullptr, U("Envelope"), nullptr);
    xmlDocSetRootElement(doc.get(), env);
    xmlNs* soap = xmlNewNs(env, U(kNsEnvelope), U("SOAP-ENV"));
    xmlSetNs(env, soap);
    xmlNode* body = xmlNewChild(env, soap, U("Body"), nullptr);
    xmlNode* fault = xmlNewChild(body, soap, U("Fault"), nullptr);
    // Fault's children are unqualified.
    const auto child = [&](const char* name, const std::string& text) {
        xmlNode* n = xmlNewDocNode(doc.get(), nullptr, U(name), nullptr);
        xmlAddChild(fault, n);
        xmlAddChild(n, xmlNewDocText(doc.get(), U(IsXmlText(text) ? text : std::string("(unprintable text)"))));
    };
    child("faultcode", "SOAP-ENV:" + code);
    child("faultstring", string);
    if (!detail.empty()) {
        // The detail holds detail entries: the text goes in one.
        xmlNode* d = xmlNewDocNode(doc.get(), nullptr, U("detail"), nullptr);
        xmlAddChild(fault, d);
        xmlNode* entry = xmlNewDocNode(doc.get(), nullptr, U(kFaultDetailEntry), nullptr);
        xmlAddChild(d, entry);
        xmlSetNs(entry, xmlNewNs(entry, U(kNsFaultDetail), U("t")));
        xmlAddChild(entry, xmlNewDocText(doc.get(), U(IsXmlText(detail) ? detail : std::string("(unprintable text)"))));
    }
    return Serialize(doc.get());
}

IncomingRequest ReadRequest(const std::string& xml, const std::vector<QName>& understood)
{
    if (Trimmed(xml).empty())
        throw SoapError("the request is empty");
    const XmlDocPtr doc = ParseXml(xml, "the request");
    xmlNode* env = xmlDocGetRootElement(doc.get());
    if (LocalName(env) == "Envelope" && NamespaceOf(env) != kNsEnvelope)
        throw SoapFault("VersionMismatch", "The envelope is not a SOAP 1.1 envelope",
                        "The Envelope element is in the namespace \"" + NamespaceOf(env) +
                            "\"; this service speaks SOAP 1.1 (" + kNsEnvelope + ").");
    if (!Is(env, kNsEnvelope, "Envelope"))
        throw SoapError("the request is not a SOAP 1.1 envelope (its root element is <" + LocalName(env) + ">)");
    for (xmlNode* header : Children(env, kNsEnvelope, "Header"))
        for (xmlNode* entry : Children(header))
            CheckHeaderEntry(entry, understood);
    xmlNode* body = FirstChild(env, kNsEnvelope, "Body");
    xmlNode* wrapper = FirstElement(body);
    if (!wrapper)
        throw SoapError("the request's Body names no operation");
    IncomingRequest req;
    req.operation = LocalName(wrapper);
    req.ns = NamespaceOf(wrapper);
    References references(doc.get(), xml.size());
    for (xmlNode* c : Children(wrapper))
        req.parameters.emplace_back(LocalName(c), IsNil(c) ? std::string() : references.ValueOf(c));
    return req;
}

std::string TypeName(int typeCode)
{
    switch (typeCode) {
    case 8: return "string";
    case 2: return "integer";
    case 3: return "long";
    default: return "<? " + std::to_string(typeCode) + " ?>";
    }
}

MethodListing BuildMethodListing(const std::vector<MethodInfo>& methods)
{
    MethodListing listing;
    std::string owner;
    int n = 1;
    const auto names = [](const std::vector<ParameterInfo>& list) {
        std::string s;
        for (const ParameterInfo& p : list)
            s += p.Name + ", ";
        if (!s.empty())
            s.resize(s.size() - 2);
        return s;
    };
    for (const MethodInfo& m : methods) {
        owner = m.ownerName;
        const bool function = m.kind == 1;
        const std::vector<ParameterInfo>& all = m.lists[2];
        std::string params;
        const long upper = static_cast<long>(all.size()) - 1;
        if (!function || upper != 0) {
            for (const ParameterInfo& e : all)
                params += (e.byRef ? "byref " : "byval ") + e.Name + " as " + TypeName(e.typeCode) + ", ";
            if (!params.empty())
                params.resize(params.size() - 2);
        }
        listing.text += std::to_string(n) + (function ? ". Function " : ". Sub ") + m.Name + "(" + params + ")";
        if (function)
            listing.text += " as " + TypeName(m.returnType);
        listing.text += "\r\n";
        listing.text += "      Input:  " + names(m.lists[0]) + "\r\n";
        listing.text += "      Output: " + names(m.lists[1]) + "\r\n";
        if (!m.unusable.empty())
            listing.text += "      Not callable: " + m.unusable + "\r\n";
        ++n;
    }
    listing.title = "Available methods - " + owner;
    return listing;
}

// ---------------------------------------------------------------------------

Packager::Packager() = default;
Packager::~Packager() = default;
Packager::Packager(Packager&&) noexcept = default;
Packager& Packager::operator=(Packager&&) noexcept = default;

bool Packager::LoadServicesDescription(int sourceKind, const std::string& source, const std::string& location)
{
    lastError_.clear();
    const CancelCheck cancel(http_.cancel);
    std::string text, base;
    if (sourceKind == 1) {
        HttpReply reply = HttpGet(source, http_);
        if (reply.status < 200 || reply.status >= 300) {
            lastError_ = "fetching " + source + " gave HTTP status " + std::to_string(reply.status);
            return false;
        }
        text = std::move(reply.body);
        base = reply.effectiveUrl;
    } else if (sourceKind == 2) {
        text = source;
        base = location;
    } else {
        throw SoapError("unknown description source kind " + std::to_string(sourceKind));
    }
    const bool selfContained = sourceKind == 2 && base.empty();
    if (selfContained) {
        if (auto read = TheReadDescriptions().Find(text)) {
            desc_ = std::move(read);
            return true;
        }
    }
    ImportLimits limits;
    limits.extraOrigins = http_.importOrigins;
    try {
        auto read = std::make_shared<const ServiceDescription>(ParseServiceDescription(
            selfContained ? text : std::move(text), base, base.empty() ? DocumentFetcher() : HttpDocumentFetcher(http_),
            limits, cancel));
        if (selfContained)
            TheReadDescriptions().Keep(source, read);
        desc_ = std::move(read);
    } catch (const Cancelled&) {
        throw;
    } catch (const SoapError& e) {
        lastError_ = e.what();
        return false;
    }
    return true;
}

DocumentFetcher HttpDocumentFetcher(const HttpOptions& options)
{
    HttpOptions once = options;
    once.followRedirects = false;
    return [once](const std::string& url, std::size_t maxBytes) {
        HttpOptions limited = once;
        limited.maxReplyBytes = std::min(once.maxReplyBytes, maxBytes);
        HttpReply reply = HttpGet(url, limited);
        FetchedDocument fetched;
        if (!reply.redirectUrl.empty())
            fetched.redirect = std::move(reply.redirectUrl);
        else if (reply.status < 200 || reply.status >= 300)
            throw SoapError("fetching " + url + " gave HTTP status " + std::to_string(reply.status));
        else
            fetched.text = std::move(reply.body);
        return fetched;
    };
}

const OperationDescription& Packager::Operation(const std::string& method) const
{
    if (!desc_)
        throw SoapError("no service description is loaded");
    const OperationDescription* op = desc_->Find(method);
    if (!op)
        throw SoapError("the service description declares no method " + method);
    return *op;
}

const OperationDescription& Packager::CallableOperation(const std::string& method) const
{
    const OperationDescription& op = Operation(method);
    if (!op.unusable.empty())
        throw SoapError("the method " + method + " cannot be called: " + op.unusable);
    return op;
}

std::string Packager::GetMethodTemplate(const std::string& method, int payloadKind) const
{
    if (payloadKind != kRequestPayload)
        throw SoapError("a method template is a request (payload kind 0)");
    const OperationDescription& op = CallableOperation(method);
    std::vector<std::pair<std::string, std::string>> empty;
    for (const std::string& name : RequestOrder(op))
        empty.emplace_back(name, "");
    return BuildRequest(*desc_, op, empty);
}

void Packager::SetMethodPayload(int payloadKind, const std::string& ns, const std::string& method,
                                const std::string& tmpl)
{
    if (payloadKind != kRequestPayload)
        throw SoapError("a method payload is a request (payload kind 0)");
    CallableOperation(method);
    XmlDocPtr doc = ParseXml(tmpl, "the method template");
    xmlNode* wrapper = RequestWrapper(doc.get());
    if (!wrapper)
        throw SoapError("the method template of " + method + " has no method element");
    if (!ns.empty())
        xmlSetNs(wrapper, xmlNewNs(wrapper, U(ns), U("m")));
    method_ = method;
    request_ = std::move(doc);
}

void Packager::SetParameter(int payloadKind, const std::string& name, const std::string& value)
{
    if (payloadKind != kRequestPayload)
        throw SoapError("parameters are set on the request (payload kind 0)");
    xmlNode* wrapper = RequestWrapper(request_.get());
    if (!wrapper)
        throw SoapError("no request payload has been started (SetMethodPayload)");
    CheckValue(name, value);
    for (xmlNode* c : Children(wrapper)) {
        if (LocalName(c) == name) {
            while (c->children) {
                xmlNode* old = c->children;
                xmlUnlinkNode(old);
                xmlFreeNode(old);
            }
            xmlAddChild(c, xmlNewDocText(request_.get(), U(value)));
            return;
        }
    }
    AddParameter(wrapper, CallableOperation(method_), name, value);
}

std::string Packager::GetPayload(int payloadKind) const
{
    if (payloadKind == kResponsePayload)
        return response_;
    if (!request_)
        throw SoapError("no request payload has been started (SetMethodPayload)");
    return Serialize(request_.get());
}

void Packager::SetPayload(int payloadKind, const std::string& xml)
{
    if (payloadKind == kResponsePayload) {
        response_ = xml;
        return;
    }
    request_ = ParseXml(xml, "the request");
}

std::string Packager::GetParameter(int payloadKind, const std::string& name) const
{
    if (payloadKind == kRequestPayload) {
        for (xmlNode* c : Children(RequestWrapper(request_.get())))
            if (LocalName(c) == name)
                return Text(c);
        throw SoapError("the request has no parameter " + name);
    }
    // A name the reply does not carry reads as empty text, as an empty value does.
    const ResponseValues values = ReadResponse(response_);
    const std::string* v = values.Find(name);
    return v ? *v : std::string();
}

bool Packager::HasMethod(const std::string& method) const
{
    return desc_ && desc_->Find(method);
}

const std::string& Packager::GetDescriptionText() const
{
    if (!desc_)
        throw SoapError("no service description is loaded");
    return desc_->text;
}

std::string Packager::SoapAction(const std::string& method) const
{
    return Operation(method).soapAction;
}

Catalog Packager::GetCatalog(int kind) const
{
    if (!desc_)
        throw SoapError("no service description is loaded");
    Catalog catalog;
    if (kind == 0) {
        for (const std::string& location : desc_->locations)
            catalog.locations.emplace_back(ServiceLocation{location});
        return catalog;
    }
    if (kind != 1)
        throw SoapError("unknown catalog kind " + std::to_string(kind));
    for (const OperationDescription& op : desc_->operations) {
        MethodInfo m;
        m.Name = op.name;
        m.ownerName = desc_->serviceName;
        m.unusable = op.unusable;
        const auto info = [&](const std::string& name) {
            const MessagePart* in = FindPart(op.inputParts, name);
            const MessagePart* out = FindPart(op.outputParts, name);
            const MessagePart* p = in ? in : out;
            return ParameterInfo{name, p ? TypeCodeOf(p->type) : 12, in && out};
        };
        for (const MessagePart& p : op.inputParts)
            m.lists[0].push_back(info(p.name));
        for (const MessagePart& p : op.outputParts)
            m.lists[1].push_back(info(p.name));
        for (const std::string& name : op.CallOrder())
            m.lists[2].push_back(info(name));
        const std::string ret = op.ReturnPart();
        if (!ret.empty()) {
            m.kind = 1;
            m.returnType = info(ret).typeCode;
        }
        catalog.methods.push_back(std::move(m));
    }
    return catalog;
}

std::string ServiceEndpoint(const Packager& packager)
{
    const Catalog locations = packager.GetCatalog(0);
    if (locations.locations.empty())
        throw SoapError("the description names no service location");
    const LocationItem& item = locations.locations.front();
    return std::holds_alternative<std::string>(item) ? std::get<std::string>(item)
                                                     : std::get<ServiceLocation>(item).URI;
}

ComposedRequest ComposeRequest(const std::string& descriptionText, const std::string& method,
                               const std::vector<std::pair<std::string, std::string>>& parameters)
{
    Packager packager;
    if (!packager.LoadServicesDescription(2, descriptionText))
        throw SoapError("the service description cannot be used: " + packager.LastError());
    packager.SetMethodPayload(kRequestPayload, "", method, packager.GetMethodTemplate(method, kRequestPayload));
    for (const auto& [name, value] : parameters)
        packager.SetParameter(kRequestPayload, name, value);
    return {packager.GetPayload(kRequestPayload), packager.SoapAction(method)};
}

}  // namespace tessel::soap
