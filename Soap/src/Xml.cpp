#include "Soap/Xml.h"

#include <libxml/parser.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlsave.h>

#include <mutex>

#include "Soap/SoapError.h"

namespace tessel::soap {

namespace {

struct ParserCtxFree {
    void operator()(xmlParserCtxt* c) const noexcept { xmlFreeParserCtxt(c); }
};

struct BufferFree {
    void operator()(xmlBuffer* b) const noexcept { xmlBufferFree(b); }
};

void InitOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { xmlInitParser(); });
}

// libxml2 reports errors through a callback; keep them quiet and collect the
// first one on the parser context instead.
void Silent(void*, const char*, ...) {}

int Depth(xmlNode* n, int depth)
{
    int deepest = depth;
    for (xmlNode* c = n->children; c; c = c->next) {
        if (c->type != XML_ELEMENT_NODE)
            continue;
        deepest = std::max(deepest, Depth(c, depth + 1));
        if (deepest > kMaxDepth)
            return deepest;
    }
    return deepest;
}

}  // namespace

XmlDocPtr ParseXml(std::string_view text, const std::string& what)
{
    InitOnce();
    if (text.size() > kMaxDocumentBytes)
        throw SoapError(what + " is too large (" + std::to_string(text.size()) + " bytes; the limit is " +
                        std::to_string(kMaxDocumentBytes) + ")");
    std::unique_ptr<xmlParserCtxt, ParserCtxFree> ctx(xmlNewParserCtxt());
    if (!ctx)
        throw SoapError("out of memory while reading " + what);
    xmlSetGenericErrorFunc(nullptr, Silent);
    // No network, no DTD loading, no entity substitution; the document is
    // refused below if it has a DTD at all.
    const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_NOCDATA;
    XmlDocPtr doc(xmlCtxtReadMemory(ctx.get(), text.data(), static_cast<int>(text.size()), nullptr, "UTF-8", options));
    if (!doc || !ctx->wellFormed) {
        const xmlError* err = xmlCtxtGetLastError(ctx.get());
        std::string message = err && err->message ? err->message : "unknown error";
        while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
            message.pop_back();
        throw SoapError(what + " is not well-formed XML: " + message +
                        (err ? " (line " + std::to_string(err->line) + ")" : std::string()));
    }
    if (doc->intSubset || doc->extSubset)
        throw SoapError(what + " contains a document type declaration, which is not accepted");
    xmlNode* root = xmlDocGetRootElement(doc.get());
    if (!root)
        throw SoapError(what + " has no root element");
    if (Depth(root, 1) > kMaxDepth)
        throw SoapError(what + " is nested deeper than " + std::to_string(kMaxDepth) + " levels");
    return doc;
}

std::string Serialize(xmlDoc* doc)
{
    xmlChar* mem = nullptr;
    int size = 0;
    xmlDocDumpMemoryEnc(doc, &mem, &size, "UTF-8");
    std::string out(reinterpret_cast<const char*>(mem), static_cast<std::size_t>(size));
    xmlFree(mem);
    return out;
}

std::string InnerXml(xmlNode* node)
{
    std::string out;
    std::unique_ptr<xmlBuffer, BufferFree> buf(xmlBufferCreate());
    for (xmlNode* c = node->children; c; c = c->next) {
        xmlBufferEmpty(buf.get());
        xmlNodeDump(buf.get(), node->doc, c, 0, 0);
        out.append(reinterpret_cast<const char*>(xmlBufferContent(buf.get())), xmlBufferLength(buf.get()));
    }
    return out;
}

bool IsXsdNamespace(std::string_view ns)
{
    return ns == kNsXsd2001 || ns == kNsXsd1999 || ns == kNsXsd2000;
}

bool IsXsiNamespace(std::string_view ns)
{
    return ns == kNsXsi2001 || ns == kNsXsi1999;
}

std::string LocalName(const xmlNode* n)
{
    return n && n->name ? reinterpret_cast<const char*>(n->name) : "";
}

std::string NamespaceOf(const xmlNode* n)
{
    return n && n->ns && n->ns->href ? reinterpret_cast<const char*>(n->ns->href) : "";
}

bool Is(const xmlNode* n, std::string_view ns, std::string_view local)
{
    return n && n->type == XML_ELEMENT_NODE && LocalName(n) == local && NamespaceOf(n) == ns;
}

std::vector<xmlNode*> Children(xmlNode* parent)
{
    std::vector<xmlNode*> out;
    for (xmlNode* c = parent ? parent->children : nullptr; c; c = c->next)
        if (c->type == XML_ELEMENT_NODE)
            out.push_back(c);
    return out;
}

std::vector<xmlNode*> Children(xmlNode* parent, std::string_view ns, std::string_view local)
{
    std::vector<xmlNode*> out;
    for (xmlNode* c = parent ? parent->children : nullptr; c; c = c->next)
        if (Is(c, ns, local))
            out.push_back(c);
    return out;
}

xmlNode* FirstChild(xmlNode* parent, std::string_view ns, std::string_view local)
{
    for (xmlNode* c = parent ? parent->children : nullptr; c; c = c->next)
        if (Is(c, ns, local))
            return c;
    return nullptr;
}

xmlNode* FirstElement(xmlNode* parent)
{
    for (xmlNode* c = parent ? parent->children : nullptr; c; c = c->next)
        if (c->type == XML_ELEMENT_NODE)
            return c;
    return nullptr;
}

std::string Attr(const xmlNode* n, const char* name, bool* present)
{
    xmlChar* v = n ? xmlGetNoNsProp(n, reinterpret_cast<const xmlChar*>(name)) : nullptr;
    if (present)
        *present = v != nullptr;
    if (!v)
        return {};
    std::string out(reinterpret_cast<const char*>(v));
    xmlFree(v);
    return out;
}

std::string Text(const xmlNode* n)
{
    xmlChar* v = xmlNodeGetContent(n);
    if (!v)
        return {};
    std::string out(reinterpret_cast<const char*>(v));
    xmlFree(v);
    return out;
}

QName ResolveQName(xmlDoc* doc, const xmlNode* scope, const std::string& value)
{
    const auto colon = value.find(':');
    const std::string prefix = colon == std::string::npos ? "" : value.substr(0, colon);
    const std::string local = colon == std::string::npos ? value : value.substr(colon + 1);
    xmlNs* ns = xmlSearchNs(doc, const_cast<xmlNode*>(scope),
                            prefix.empty() ? nullptr : reinterpret_cast<const xmlChar*>(prefix.c_str()));
    return QName{ns && ns->href ? reinterpret_cast<const char*>(ns->href) : "", local};
}

bool IsXmlText(std::string_view s)
{
    if (xmlCheckUTF8(reinterpret_cast<const xmlChar*>(std::string(s).c_str())) == 0)
        return false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r')
            return false;
        if (c == 0xEF && i + 2 < s.size() && static_cast<unsigned char>(s[i + 1]) == 0xBF &&
            (static_cast<unsigned char>(s[i + 2]) == 0xBE || static_cast<unsigned char>(s[i + 2]) == 0xBF))
            return false;  // U+FFFE, U+FFFF
    }
    return s.find('\0') == std::string_view::npos;
}

}  // namespace tessel::soap
