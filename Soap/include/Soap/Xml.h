// Hardened XML reading on libxml2: no network access, no DTDs and so no
// entity expansion, limits on size and depth; the encoding is the one the
// document declares (byte order mark or XML declaration, else UTF-8).
// Malformed input is an error.
#pragma once

#include <libxml/tree.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tessel::soap {

inline constexpr char kNsWsdl[] = "http://schemas.xmlsoap.org/wsdl/";
inline constexpr char kNsWsdlSoap[] = "http://schemas.xmlsoap.org/wsdl/soap/";
inline constexpr char kNsEnvelope[] = "http://schemas.xmlsoap.org/soap/envelope/";
inline constexpr char kNsEncoding[] = "http://schemas.xmlsoap.org/soap/encoding/";
inline constexpr char kNsXsd2001[] = "http://www.w3.org/2001/XMLSchema";
inline constexpr char kNsXsd1999[] = "http://www.w3.org/1999/XMLSchema";
inline constexpr char kNsXsd2000[] = "http://www.w3.org/2000/10/XMLSchema";
inline constexpr char kNsXsi2001[] = "http://www.w3.org/2001/XMLSchema-instance";
inline constexpr char kNsXsi1999[] = "http://www.w3.org/1999/XMLSchema-instance";

inline constexpr std::size_t kMaxDocumentBytes = 32u << 20;
inline constexpr int kMaxDepth = 64;
// The parser compares each attribute of a start tag with those before it and
// looks every prefix up through the namespace declarations in scope, so these
// are bounded too.
inline constexpr std::size_t kMaxAttributes = 256;         // on one element, declarations included
inline constexpr std::size_t kMaxNamespacesInScope = 256;  // declared by an element and its ancestors

struct XmlDocFree {
    void operator()(xmlDoc* d) const noexcept { xmlFreeDoc(d); }
};
using XmlDocPtr = std::unique_ptr<xmlDoc, XmlDocFree>;

// Parses a document of at most kMaxDocumentBytes, nested at most kMaxDepth
// elements deep, with at most kMaxAttributes on an element and
// kMaxNamespacesInScope, text nodes of any size within that; raises SoapError
// naming `what` ("the reply", "the service description") and the parser's
// complaint. A document type declaration stops the parse where it starts.
XmlDocPtr ParseXml(std::string_view text, const std::string& what);

// The encoding of an XML document's bytes: the one its byte order mark shows,
// else the one its XML declaration names, else UTF-8.
std::string DocumentEncoding(std::string_view bytes);
// An XML document's bytes as UTF-8 text for display, converted from the
// encoding DocumentEncoding finds (a byte order mark is dropped); a sequence
// that does not convert shows as U+FFFD. Nothing else of the text changes, so
// a declaration still names the original encoding. Never raises.
std::string XmlTextForDisplay(std::string_view bytes);

// Serialises a document as UTF-8 with an XML declaration.
std::string Serialize(xmlDoc* doc);
// The content of a node's children as XML text.
std::string InnerXml(xmlNode* node);

bool IsXsdNamespace(std::string_view ns);
bool IsXsiNamespace(std::string_view ns);

// Small readers over libxml2 nodes.
std::string LocalName(const xmlNode* n);
std::string NamespaceOf(const xmlNode* n);
bool Is(const xmlNode* n, std::string_view ns, std::string_view local);
std::vector<xmlNode*> Children(xmlNode* parent);
std::vector<xmlNode*> Children(xmlNode* parent, std::string_view ns, std::string_view local);
xmlNode* FirstChild(xmlNode* parent, std::string_view ns, std::string_view local);
xmlNode* FirstElement(xmlNode* parent);
// An attribute without namespace, or nothing.
std::string Attr(const xmlNode* n, const char* name, bool* present = nullptr);
std::string Text(const xmlNode* n);

// A QName attribute value resolved against the namespaces in scope.
struct QName {
    std::string ns;
    std::string local;
    bool empty() const { return local.empty(); }
    bool operator==(const QName&) const = default;
};
QName ResolveQName(xmlDoc* doc, const xmlNode* scope, const std::string& value);

// An XML document laid out with one element a line, indented, as UTF-8; a
// text that is not well-formed XML comes back as it is.
std::string PrettyXml(std::string_view text);

// Whether the text is well-formed UTF-8 with only characters XML can carry.
bool IsXmlText(std::string_view utf8);

}  // namespace tessel::soap
