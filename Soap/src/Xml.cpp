#include "Soap/Xml.h"

#include <libxml/encoding.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlsave.h>

#include <algorithm>
#include <cctype>
#include <mutex>
#include <string>
#include <vector>

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

// What the parser's callbacks watch while a document is read: element depth,
// and a document type declaration, which stops the parse before its internal
// subset (and any entity declared there) is read at all.
struct ParseGuard {
    startElementNsSAX2Func start = nullptr;
    endElementNsSAX2Func end = nullptr;
    int depth = 0;
    bool tooDeep = false;
    bool doctype = false;
};

ParseGuard& GuardOf(void* ctx)
{
    return *static_cast<ParseGuard*>(static_cast<xmlParserCtxt*>(ctx)->_private);
}

void GuardedStart(void* ctx, const xmlChar* local, const xmlChar* prefix, const xmlChar* uri, int nbNamespaces,
                  const xmlChar** namespaces, int nbAttributes, int nbDefaulted, const xmlChar** attributes)
{
    ParseGuard& guard = GuardOf(ctx);
    if (++guard.depth > kMaxDepth) {
        guard.tooDeep = true;
        xmlStopParser(static_cast<xmlParserCtxt*>(ctx));
        return;
    }
    guard.start(ctx, local, prefix, uri, nbNamespaces, namespaces, nbAttributes, nbDefaulted, attributes);
}

void GuardedEnd(void* ctx, const xmlChar* local, const xmlChar* prefix, const xmlChar* uri)
{
    ParseGuard& guard = GuardOf(ctx);
    --guard.depth;
    guard.end(ctx, local, prefix, uri);
}

void RefuseDoctype(void* ctx, const xmlChar*, const xmlChar*, const xmlChar*)
{
    GuardOf(ctx).doctype = true;
    xmlStopParser(static_cast<xmlParserCtxt*>(ctx));
}

// One pass over the markup of a document in an ASCII-compatible or a 16-bit
// encoding, before the parser sees it: the most attributes on one start tag
// and the most namespace declarations in scope at once. Comments, CDATA
// sections, processing instructions and quoted values are skipped; a text
// that is not well-formed is left to the parser to refuse. Empty when both are
// within their bounds, otherwise what is over.
class MarkupBounds {
public:
    explicit MarkupBounds(std::string_view bytes) : bytes_(bytes)
    {
        const auto b = [&](std::size_t i) { return i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0x100u; };
        if ((b(0) == 0xFE && b(1) == 0xFF) || (b(0) == 0 && b(1) == '<'))
            width_ = 2, ascii_ = 1;
        else if ((b(0) == 0xFF && b(1) == 0xFE) || (b(0) == '<' && b(1) == 0))
            width_ = 2, ascii_ = 0;
    }

    std::string Exceeded()
    {
        const std::size_t units = bytes_.size() / width_;
        std::vector<std::size_t> declared;  // by each open element
        std::size_t inScope = 0;
        for (std::size_t i = 0; i < units;) {
            if (At(i) != '<') {
                ++i;
                continue;
            }
            if (Starts(i + 1, "!--"))
                i = After(i + 4, "-->");
            else if (Starts(i + 1, "![CDATA["))
                i = After(i + 9, "]]>");
            else if (At(i + 1) == '?')
                i = After(i + 2, "?>");
            else if (At(i + 1) == '!')
                i = After(i + 2, ">");
            else if (At(i + 1) == '/') {
                if (!declared.empty()) {
                    inScope -= declared.back();
                    declared.pop_back();
                }
                i = After(i + 2, ">");
            } else {
                std::size_t attributes = 0, namespaces = 0;
                char quote = 0;
                bool empty = false;
                std::size_t j = i + 1;
                for (; j < units; ++j) {
                    const char c = At(j);
                    if (quote) {
                        quote = c == quote ? 0 : quote;
                    } else if (c == '"' || c == '\'') {
                        quote = c;
                    } else if (c == '>') {
                        empty = At(j - 1) == '/';
                        break;
                    } else if (c == '=') {
                        ++attributes;
                    } else if (Blank(c) && Starts(j + 1, "xmlns") && (At(j + 6) == ':' || At(j + 6) == '=' || Blank(At(j + 6)))) {
                        ++namespaces;
                    }
                }
                if (attributes > kMaxAttributes)
                    return "an element has more than " + std::to_string(kMaxAttributes) + " attributes";
                if (inScope + namespaces > kMaxNamespacesInScope)
                    return "more than " + std::to_string(kMaxNamespacesInScope) +
                           " namespace declarations are in scope at once";
                if (!empty) {
                    declared.push_back(namespaces);
                    inScope += namespaces;
                }
                i = j + 1;
            }
        }
        return {};
    }

private:
    // The unit at `i` as an ASCII character, 0 past the end or outside ASCII.
    char At(std::size_t i) const
    {
        if ((i + 1) * width_ > bytes_.size())
            return 0;
        if (width_ == 1)
            return bytes_[i];
        const auto unit = [&](std::size_t k) { return static_cast<unsigned char>(bytes_[i * 2 + k]); };
        return unit(1 - ascii_) == 0 && unit(ascii_) < 0x80 ? static_cast<char>(unit(ascii_)) : 0;
    }
    bool Starts(std::size_t i, std::string_view s) const
    {
        for (std::size_t k = 0; k < s.size(); ++k)
            if (At(i + k) != s[k])
                return false;
        return true;
    }
    // The unit after the first `end` at or past `i`, or the end of the text.
    std::size_t After(std::size_t i, std::string_view end) const
    {
        const std::size_t units = bytes_.size() / width_;
        for (; i < units; ++i)
            if (At(i) == end[0] && Starts(i, end))
                return i + end.size();
        return units;
    }
    static bool Blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

    std::string_view bytes_;
    std::size_t width_ = 1;
    std::size_t ascii_ = 0;  // in a 16-bit unit, the byte that holds an ASCII character
};

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

// Bytes taken as UTF-8, each byte that starts no valid sequence shown as U+FFFD.
std::string Utf8ForDisplay(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        int len = static_cast<int>(std::min<std::size_t>(bytes.size() - i, 4));
        const int c = xmlGetUTF8Char(reinterpret_cast<const unsigned char*>(bytes.data() + i), &len);
        if (c < 0 || len <= 0) {
            out += kReplacement;
            ++i;
            continue;
        }
        out.append(bytes.substr(i, static_cast<std::size_t>(len)));
        i += static_cast<std::size_t>(len);
    }
    return out;
}

// The value of the encoding pseudo-attribute of an XML declaration written in
// ASCII-compatible bytes, or empty.
std::string DeclarationEncoding(std::string_view bytes)
{
    if (bytes.substr(0, 5) != "<?xml")
        return {};
    const std::string_view decl = bytes.substr(0, bytes.find("?>", 5));
    const auto at = decl.find("encoding");
    if (at == std::string_view::npos)
        return {};
    std::size_t i = at + 8;
    while (i < decl.size() && (decl[i] == ' ' || decl[i] == '\t' || decl[i] == '\r' || decl[i] == '\n' || decl[i] == '='))
        ++i;
    if (i >= decl.size() || (decl[i] != '"' && decl[i] != '\''))
        return {};
    const auto close = decl.find(decl[i], i + 1);
    return close == std::string_view::npos ? std::string() : std::string(decl.substr(i + 1, close - i - 1));
}

}  // namespace

XmlDocPtr ParseXml(std::string_view text, const std::string& what)
{
    InitOnce();
    if (text.size() > kMaxDocumentBytes)
        throw SoapError(what + " is too large (" + std::to_string(text.size()) + " bytes; the limit is " +
                        std::to_string(kMaxDocumentBytes) + ")");
    if (text.empty())
        throw SoapError(what + " is not well-formed XML: the document is empty");
    if (const std::string over = MarkupBounds(text).Exceeded(); !over.empty())
        throw SoapError(what + " is not accepted: " + over);
    xmlSetGenericErrorFunc(nullptr, Silent);
    // The document's own byte order mark or declaration names its encoding.
    std::unique_ptr<xmlParserCtxt, ParserCtxFree> ctx(
        xmlCreateMemoryParserCtxt(text.data(), static_cast<int>(text.size())));
    if (!ctx || !ctx->sax)
        throw SoapError("out of memory while reading " + what);
    ParseGuard guard{ctx->sax->startElementNs, ctx->sax->endElementNs};
    ctx->_private = &guard;
    ctx->sax->startElementNs = GuardedStart;
    ctx->sax->endElementNs = GuardedEnd;
    ctx->sax->internalSubset = RefuseDoctype;
    // No network, no entity substitution, no DTD (refused as soon as one
    // starts); depth is watched above. A text node may be as large as the
    // size limit allows, which the parser's own 10 MB cap on one would not.
    xmlCtxtUseOptions(ctx.get(),
                      XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_NOCDATA | XML_PARSE_HUGE);
    xmlParseDocument(ctx.get());
    XmlDocPtr doc(ctx->myDoc);
    ctx->myDoc = nullptr;
    if (guard.doctype)
        throw SoapError(what + " contains a document type declaration, which is not accepted");
    if (guard.tooDeep)
        throw SoapError(what + "'s XML is nested deeper than " + std::to_string(kMaxDepth) + " levels");
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
    if (!xmlDocGetRootElement(doc.get()))
        throw SoapError(what + " has no root element");
    return doc;
}

std::string DocumentEncoding(std::string_view bytes)
{
    const int head = static_cast<int>(std::min<std::size_t>(bytes.size(), 4));
    switch (xmlDetectCharEncoding(reinterpret_cast<const unsigned char*>(bytes.data()), head)) {
    case XML_CHAR_ENCODING_UTF16LE: return "UTF-16LE";
    case XML_CHAR_ENCODING_UTF16BE: return "UTF-16BE";
    case XML_CHAR_ENCODING_UCS4LE: return "UCS-4LE";
    case XML_CHAR_ENCODING_UCS4BE: return "UCS-4BE";
    case XML_CHAR_ENCODING_EBCDIC: return "EBCDIC";
    case XML_CHAR_ENCODING_UTF8:
        if (bytes.substr(0, 3) == "\xEF\xBB\xBF")
            return "UTF-8";  // a byte order mark outranks the declaration
        break;
    default: break;
    }
    const std::string declared = DeclarationEncoding(bytes);
    return declared.empty() ? "UTF-8" : declared;
}

std::string XmlTextForDisplay(std::string_view bytes)
{
    InitOnce();
    xmlSetGenericErrorFunc(nullptr, Silent);
    const std::string encoding = DocumentEncoding(bytes);
    std::size_t unit = 1;  // the width of a code unit, to step over a sequence that does not convert
    std::string_view rest = bytes;
    if (encoding == "UTF-16LE" || encoding == "UTF-16BE") {
        unit = 2;
        if (rest.substr(0, 2) == "\xFF\xFE" || rest.substr(0, 2) == "\xFE\xFF")
            rest.remove_prefix(2);
    } else if (encoding.rfind("UCS-4", 0) == 0) {
        unit = 4;
    } else if (rest.substr(0, 3) == "\xEF\xBB\xBF") {
        rest.remove_prefix(3);
    }
    std::string upper;
    for (const char c : encoding)
        upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    xmlCharEncodingHandler* handler =
        upper == "UTF-8" || upper == "UTF8" ? nullptr : xmlFindCharEncodingHandler(encoding.c_str());
    if (!handler)
        return Utf8ForDisplay(rest);  // UTF-8, or an encoding nobody here knows
    std::unique_ptr<xmlBuffer, BufferFree> in(xmlBufferCreate()), out(xmlBufferCreate());
    std::string text;
    while (!rest.empty() && in && out) {
        const std::size_t chunk = std::min<std::size_t>(rest.size(), 1u << 16);
        xmlBufferAdd(in.get(), reinterpret_cast<const xmlChar*>(rest.data()), static_cast<int>(chunk));
        rest.remove_prefix(chunk);
        // Convert what is there; a sequence that does not convert becomes
        // U+FFFD, and the conversion goes on after it.
        while (xmlBufferLength(in.get()) > 0) {
            const int before = xmlBufferLength(in.get());
            xmlCharEncInFunc(handler, out.get(), in.get());
            text.append(reinterpret_cast<const char*>(xmlBufferContent(out.get())),
                        static_cast<std::size_t>(xmlBufferLength(out.get())));
            xmlBufferEmpty(out.get());
            if (xmlBufferLength(in.get()) < before)
                continue;
            if (!rest.empty() && static_cast<std::size_t>(before) < unit * 4)
                break;  // perhaps a sequence cut at the chunk's end: read on first
            text += kReplacement;
            xmlBufferShrink(in.get(), static_cast<unsigned int>(std::min<std::size_t>(unit, before)));
        }
    }
    xmlCharEncCloseFunc(handler);
    return text;
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

std::string PrettyXml(std::string_view text)
{
    try {
        const XmlDocPtr doc = ParseXml(text, "the text");
        xmlChar* mem = nullptr;
        int size = 0;
        xmlDocDumpFormatMemoryEnc(doc.get(), &mem, &size, "UTF-8", 1);
        std::string out(reinterpret_cast<const char*>(mem), static_cast<std::size_t>(std::max(size, 0)));
        xmlFree(mem);
        return out;
    } catch (const SoapError&) {
        return std::string(text);
    }
}

std::string InnerXml(xmlNode* node)
{
    std::string out;
    std::unique_ptr<xmlBuffer, BufferFree> buf(xmlBufferCreate());
    // Doubling, so that a large child is not copied whole on every write.
    if (buf)
        xmlBufferSetAllocationScheme(buf.get(), XML_BUFFER_ALLOC_DOUBLEIT);
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
