#include "XmlQuery.h"

#include <libxml/parser.h>
#include <libxml/xmlerror.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <memory>

#include "Soap/SoapError.h"
#include "Soap/Xml.h"

namespace tessel::call {

namespace {

struct ContextFree {
    void operator()(xmlXPathContext* c) const noexcept { xmlXPathFreeContext(c); }
};
struct ObjectFree {
    void operator()(xmlXPathObject* o) const noexcept { xmlXPathFreeObject(o); }
};
struct CompFree {
    void operator()(xmlXPathCompExpr* c) const noexcept { xmlXPathFreeCompExpr(c); }
};
struct CharFree {
    void operator()(xmlChar* c) const noexcept { xmlFree(c); }
};

void Quiet(void*, const char*, ...) {}
void QuietStructured(void*, xmlErrorPtr) {}

// While it lives, libxml2 writes nothing on standard error; its last error is
// read through xmlGetLastError.
class QuietErrors {
public:
    QuietErrors()
    {
        xmlResetLastError();
        xmlSetGenericErrorFunc(nullptr, Quiet);
        xmlSetStructuredErrorFunc(nullptr, QuietStructured);
    }
    ~QuietErrors()
    {
        xmlSetGenericErrorFunc(nullptr, nullptr);
        xmlSetStructuredErrorFunc(nullptr, nullptr);
    }
    QuietErrors(const QuietErrors&) = delete;
    QuietErrors& operator=(const QuietErrors&) = delete;
};

std::string LastError(const char* fallback)
{
    const xmlError* e = xmlGetLastError();
    if (!e || !e->message)
        return fallback;
    std::string m = e->message;
    while (!m.empty() && (m.back() == '\n' || m.back() == ' '))
        m.pop_back();
    if (e->line > 0)
        m += " (line " + std::to_string(e->line) + ")";
    return m;
}

}  // namespace

std::string XPathSyntaxError(const std::string& expression)
{
    const QuietErrors quiet;
    const std::unique_ptr<xmlXPathCompExpr, CompFree> comp(xmlXPathCompile(BAD_CAST expression.c_str()));
    if (comp)
        return {};
    return LastError("it does not compile");
}

XPathValue EvaluateXPath(const std::string& xml, const std::string& expression)
{
    XPathValue v;
    const QuietErrors quiet;
    // A result comes from the service: it is read with the limits of every
    // reply (size, depth, attributes, no document type).
    soap::XmlDocPtr doc;
    try {
        doc = soap::ParseXml(xml, "the text");
    } catch (const soap::SoapError& e) {
        v.error = std::string("the result is not XML: ") + e.what();
        return v;
    }
    const std::unique_ptr<xmlXPathContext, ContextFree> ctx(xmlXPathNewContext(doc.get()));
    if (!ctx) {
        v.error = "the XPath context cannot be created";
        return v;
    }
    for (const xmlNs* ns = xmlDocGetRootElement(doc.get())->nsDef; ns; ns = ns->next)
        if (ns->prefix && ns->href)
            xmlXPathRegisterNs(ctx.get(), ns->prefix, ns->href);
    const std::unique_ptr<xmlXPathObject, ObjectFree> obj(xmlXPathEvalExpression(BAD_CAST expression.c_str(), ctx.get()));
    if (!obj) {
        v.error = "the XPath expression cannot be evaluated: " + LastError("it does not compile");
        return v;
    }
    if (obj->type == XPATH_NODESET)
        v.count = obj->nodesetval ? static_cast<std::size_t>(obj->nodesetval->nodeNr) : 0;
    const std::unique_ptr<xmlChar, CharFree> text(xmlXPathCastToString(obj.get()));
    if (text)
        v.text = reinterpret_cast<const char*>(text.get());
    return v;
}

}  // namespace tessel::call
