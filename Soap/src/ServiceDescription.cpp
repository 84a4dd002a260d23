#include "Soap/ServiceDescription.h"

#include <libxml/uri.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <set>

#include "Soap/SoapError.h"
#include "Soap/Transport.h"

namespace tessel::soap {

namespace {

const xmlChar* U(const char* s)
{
    return reinterpret_cast<const xmlChar*>(s);
}

bool IsXsd(const xmlNode* n, std::string_view local)
{
    return n && n->type == XML_ELEMENT_NODE && LocalName(n) == local && IsXsdNamespace(NamespaceOf(n));
}

std::vector<std::string> SplitList(const std::string& s)
{
    std::vector<std::string> out;
    std::size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i])))
            ++i;
        std::size_t j = i;
        while (j < s.size() && !std::isspace(static_cast<unsigned char>(s[j])))
            ++j;
        if (j > i)
            out.push_back(s.substr(i, j - i));
        i = j;
    }
    return out;
}

void Remove(xmlNode* n)
{
    xmlUnlinkNode(n);
    xmlFreeNode(n);
}

// ---------------------------------------------------------------------------
// Imports

struct UriFree {
    void operator()(xmlURI* u) const noexcept { xmlFreeURI(u); }
};

// The scheme of a URL in lower case; empty for a relative reference.
std::string SchemeOf(const std::string& url)
{
    const std::unique_ptr<xmlURI, UriFree> uri(xmlParseURI(url.c_str()));
    std::string scheme = uri && uri->scheme ? uri->scheme : "";
    for (char& c : scheme)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return scheme;
}

// Namespaces whose schemas this toolkit knows without reading them.
bool IsKnownNamespace(const std::string& ns)
{
    return IsXsdNamespace(ns) || ns == kNsEncoding || ns == kNsWsdl || ns == kNsWsdlSoap ||
           ns == "http://www.w3.org/XML/1998/namespace";
}

constexpr char kWhileReading[] = "while the service description and its imports were read";

// The prefixes the attribute values of an element and its descendants use as
// QName prefixes ("tns" in message="tns:In"), so that a copy elsewhere
// declares what it needs and no more.
void UsedPrefixes(const xmlNode* n, std::set<std::string>& out)
{
    if (n->type != XML_ELEMENT_NODE)
        return;
    for (const xmlAttr* a = n->properties; a; a = a->next) {
        xmlChar* v = xmlNodeListGetString(n->doc, a->children, 1);
        if (!v)
            continue;
        for (const std::string& token : SplitList(reinterpret_cast<const char*>(v))) {
            const auto colon = token.find(':');
            if (colon != std::string::npos && colon > 0 && token.find('/') == std::string::npos)
                out.insert(token.substr(0, colon));
        }
        xmlFree(v);
    }
    for (const xmlNode* c = n->children; c; c = c->next)
        UsedPrefixes(c, out);
}

// The namespace declarations in scope at an element, prefix ("" for the
// default namespace) to declaration, the innermost first. Each element's
// table is built once, so a copy of each of many children looks its prefixes
// up in time independent of how many declarations the document holds.
class ScopeIndex {
public:
    const xmlNs* Find(const xmlNode* at, const std::string& prefix)
    {
        const auto& table = TableOf(at);
        const auto it = table.find(prefix);
        return it == table.end() ? nullptr : it->second;
    }

private:
    const std::map<std::string, const xmlNs*>& TableOf(const xmlNode* at)
    {
        if (const auto it = tables_.find(at); it != tables_.end())
            return it->second;
        std::map<std::string, const xmlNs*> table;
        if (at && at->type == XML_ELEMENT_NODE) {
            table = TableOf(at->parent);
            for (const xmlNs* ns = at->nsDef; ns; ns = ns->next)
                table[ns->prefix ? reinterpret_cast<const char*>(ns->prefix) : ""] = ns;
        }
        return tables_.emplace(at, std::move(table)).first->second;
    }

    std::map<const xmlNode*, std::map<std::string, const xmlNs*>> tables_;
};

// A copy of a top-level element of another document, declaring the
// namespaces that its names and QName values use there.
xmlNode* CopyWithScope(xmlNode* n, xmlDoc* into, ScopeIndex& scopes)
{
    xmlNode* copy = xmlDocCopyNode(n, into, 1);
    if (!copy)
        throw SoapError("out of memory while merging an imported document");
    std::set<std::string> prefixes;
    UsedPrefixes(n, prefixes);
    prefixes.insert("");  // the default namespace, for unprefixed QName values
    std::set<std::string> declared;
    xmlNs** tail = &copy->nsDef;
    for (; *tail; tail = &(*tail)->next)
        declared.insert((*tail)->prefix ? reinterpret_cast<const char*>((*tail)->prefix) : "");
    for (const std::string& prefix : prefixes) {
        if (prefix == "xml" || declared.count(prefix))
            continue;
        const xmlNs* ns = scopes.Find(n->parent, prefix);
        if (!ns || !ns->href)
            continue;
        xmlNs* added = xmlNewNs(nullptr, ns->href, ns->prefix);
        if (!added)
            throw SoapError("out of memory while merging an imported document");
        *tail = added;
        tail = &added->next;
    }
    return copy;
}

// Where definitions go in a description: before the first element of the
// kinds that must follow them, else at the end. Kept up to date as
// definitions come in, so that each goes in at once.
class Layout {
public:
    explicit Layout(xmlNode* root) : root_(root)
    {
        for (xmlNode* c : Children(root)) {
            if (!beforeBinding_ && (Is(c, kNsWsdl, "binding") || Is(c, kNsWsdl, "service")))
                beforeBinding_ = c;
            if (!beforeService_ && Is(c, kNsWsdl, "service"))
                beforeService_ = c;
        }
    }
    // A message or a port type: before the first binding or service.
    void AddDefinition(xmlNode* n) { Put(n, beforeBinding_); }
    void AddBinding(xmlNode* n)
    {
        Put(n, beforeService_);
        if (!beforeBinding_ || beforeBinding_ == beforeService_)
            beforeBinding_ = n;
    }
    void AddService(xmlNode* n)
    {
        xmlAddChild(root_, n);
        if (!beforeBinding_)
            beforeBinding_ = n;
        if (!beforeService_)
            beforeService_ = n;
    }

private:
    void Put(xmlNode* n, xmlNode* before)
    {
        if (before)
            xmlAddPrevSibling(before, n);
        else
            xmlAddChild(root_, n);
    }
    xmlNode* root_;
    xmlNode* beforeBinding_ = nullptr;
    xmlNode* beforeService_ = nullptr;
};

// Brings the documents a description imports into it, so that one tree holds
// the whole description.
class ImportResolver {
public:
    ImportResolver(const DocumentFetcher& fetch, const ImportLimits& limits, std::size_t mainBytes,
                   const CancelCheck& cancel)
        : fetch_(fetch), limits_(limits), bytes_(mainBytes), cancel_(cancel)
    {
    }

    // True when anything was brought in or an import was resolved.
    bool Resolve(xmlDoc* doc, const std::string& base)
    {
        if (!base.empty())
            seen_.insert(base);
        origin_ = base.empty() ? std::string() : OriginOf(base);
        ResolveWsdlImports(doc, base, 0);
        InlineSchemas(doc, base, 0);
        return changed_;
    }

private:
    struct Fetched {
        XmlDocPtr doc;
        std::string url;  // where it came from, after any redirects
    };

    void CheckCancel() const { cancel_.Check(kWhileReading); }

    std::string Absolute(const std::string& base, const std::string& location, const std::string& importer)
    {
        if (SchemeOf(location).empty() && base.empty())
            throw SoapError(importer + " imports " + location +
                            " by a relative location, and the description's own location is not known");
        xmlChar* built = xmlBuildURI(U(location.c_str()), base.empty() ? nullptr : U(base.c_str()));
        if (!built)
            throw SoapError(importer + " imports " + location + ", which is not a valid URL");
        std::string url(reinterpret_cast<const char*>(built));
        xmlFree(built);
        return url;
    }

    bool Allowed(const std::string& url) const
    {
        const std::string origin = OriginOf(url);
        if (origin.empty())
            return false;
        return origin == origin_ ||
               std::find(limits_.extraOrigins.begin(), limits_.extraOrigins.end(), origin) != limits_.extraOrigins.end();
    }

    // Why a URL of another origin is refused, after "... imports URL" or "... redirects to URL".
    std::string OutsideOrigin() const
    {
        std::string why = ", which is outside the description's origin " +
                          (origin_.empty() ? std::string("(not known)") : origin_);
        if (!limits_.extraOrigins.empty()) {
            why += " and the origins allowed besides it (";
            for (std::size_t i = 0; i < limits_.extraOrigins.size(); ++i)
                why += (i ? ", " : "") + limits_.extraOrigins[i];
            why += ")";
        }
        return why + "; imports come from the description's origin only, unless more are allowed "
                     "(TESSEL_IMPORT_ORIGINS)";
    }

    // The scheme rules and the origin rule, for an import and for each redirect of it.
    void CheckUrl(const std::string& url, const std::string& base, const std::string& what)
    {
        const std::string scheme = SchemeOf(url);
        if (scheme != "http" && scheme != "https" && scheme != "file")
            throw SoapError(what + url + " (only http, https and file URLs are fetched)");
        if (scheme == "file" && SchemeOf(base) != "file")
            throw SoapError(what + "the local file " + url + ", which only a local description may");
        if (!Allowed(url))
            throw SoapError(what + url + OutsideOrigin());
    }

    Fetched Fetch(const std::string& url, const std::string& base, int depth, const std::string& importer)
    {
        if (!fetch_)
            throw SoapError(importer + " imports " + url +
                            ", and imports can only be fetched for a description loaded from its URL");
        CheckUrl(url, base, importer + " imports ");
        if (depth > limits_.maxDepth)
            throw SoapError(importer + " imports " + url + ": imports nest deeper than " +
                            std::to_string(limits_.maxDepth) + " levels");
        if (++documents_ > limits_.maxDocuments)
            throw SoapError("the description imports more than " + std::to_string(limits_.maxDocuments) +
                            " documents");
        const std::size_t left = bytes_ < limits_.maxTotalBytes ? limits_.maxTotalBytes - bytes_ : 0;
        FetchedDocument got;
        std::string at = url;
        for (int redirects = 0;; ++redirects) {
            CheckCancel();
            try {
                got = fetch_(at, left);
            } catch (const Cancelled&) {
                throw;
            } catch (const SoapError& e) {
                throw SoapError("cannot fetch " + at + ", imported by " + importer + ": " + e.what());
            }
            if (got.redirect.empty())
                break;
            if (redirects == limits_.maxRedirects)
                throw SoapError("cannot fetch " + url + ", imported by " + importer + ": more than " +
                                std::to_string(limits_.maxRedirects) + " redirects");
            const std::string next = Absolute(at, got.redirect, at);
            CheckUrl(next, base, "the import " + at + " (of " + importer + ") redirects to ");
            at = next;
        }
        CheckCancel();
        if (got.text.size() > left)
            throw SoapError("the description and its imports are larger than " +
                            std::to_string(limits_.maxTotalBytes) + " bytes");
        bytes_ += got.text.size();
        changed_ = true;
        return {ParseXml(got.text, "the imported document " + at), at};
    }

    xmlNode* TypesOf(xmlDoc* doc)
    {
        xmlNode*& known = docs_[doc].types;
        if (known)
            return known;
        xmlNode* root = xmlDocGetRootElement(doc);
        xmlNode* types = FirstChild(root, kNsWsdl, "types");
        if (!types) {
            types = xmlNewDocNode(doc, xmlSearchNsByHref(doc, root, U(kNsWsdl)), U("types"), nullptr);
            xmlNode* before = nullptr;
            for (xmlNode* c : Children(root))
                if (!before && (Is(c, kNsWsdl, "message") || Is(c, kNsWsdl, "portType") ||
                                Is(c, kNsWsdl, "binding") || Is(c, kNsWsdl, "service")))
                    before = c;
            if (before)
                xmlAddPrevSibling(before, types);
            else
                xmlAddChild(root, types);
        }
        known = types;
        return types;
    }

    // A schema put into the description's types, read later from `base`.
    xmlNode* AddSchema(xmlDoc* doc, xmlNode* schema, const std::string& base, int depth)
    {
        ScopeIndex scopes;
        xmlNode* copy = CopyWithScope(schema, doc, scopes);
        xmlAddChild(TypesOf(doc), copy);
        docs_[doc].schemaBase[copy] = {base, depth};
        return copy;
    }

    void ResolveWsdlImports(xmlDoc* doc, const std::string& base, int depth)
    {
        xmlNode* root = xmlDocGetRootElement(doc);
        const std::string importer = base.empty() ? "the description" : base;
        for (xmlNode* imp : Children(root, kNsWsdl, "import")) {
            CheckCancel();
            const std::string location = Attr(imp, "location");
            if (location.empty())
                continue;
            const std::string url = Absolute(base, location, importer);
            Remove(imp);
            changed_ = true;
            if (!seen_.insert(url).second)
                continue;
            const Fetched sub = Fetch(url, base, depth + 1, importer);
            xmlNode* subRoot = xmlDocGetRootElement(sub.doc.get());
            if (IsXsd(subRoot, "schema")) {
                AddSchema(doc, subRoot, sub.url, depth + 1);
                continue;
            }
            if (!Is(subRoot, kNsWsdl, "definitions"))
                throw SoapError("the document " + url + " imported by " + importer +
                                " is neither a WSDL description nor an XML schema (its root element is <" +
                                LocalName(subRoot) + ">)");
            ResolveWsdlImports(sub.doc.get(), sub.url, depth + 1);
            InlineSchemas(sub.doc.get(), sub.url, depth + 1);
            Merge(doc, sub.doc.get());
            docs_.erase(sub.doc.get());  // its nodes go with it, and their addresses may come back
        }
    }

    void InlineSchemas(xmlDoc* doc, const std::string& base, int depth)
    {
        std::vector<xmlNode*> queue;
        for (xmlNode* types : Children(xmlDocGetRootElement(doc), kNsWsdl, "types"))
            for (xmlNode* schema : Children(types))
                if (IsXsd(schema, "schema"))
                    queue.push_back(schema);
        for (std::size_t i = 0; i < queue.size(); ++i) {
            CheckCancel();
            xmlNode* schema = queue[i];
            const auto& bases = docs_[doc].schemaBase;
            const auto known = bases.find(schema);
            const std::string schemaBase = known == bases.end() ? base : known->second.first;
            const int schemaDepth = known == bases.end() ? depth : known->second.second;
            const std::string importer = "the schema of " + (schemaBase.empty() ? "the description" : schemaBase);
            for (xmlNode* ref : Children(schema)) {
                const bool import = IsXsd(ref, "import");
                if (!import && !IsXsd(ref, "include") && !IsXsd(ref, "redefine"))
                    continue;
                const std::string location = Attr(ref, "schemaLocation");
                if (location.empty())
                    continue;
                changed_ = true;
                if (import && IsKnownNamespace(Attr(ref, "namespace"))) {
                    xmlUnsetProp(ref, U("schemaLocation"));
                    continue;
                }
                const std::string url = Absolute(schemaBase, location, importer);
                // An import keeps naming the namespace it needs; an include is done.
                if (import)
                    xmlUnsetProp(ref, U("schemaLocation"));
                else
                    Remove(ref);
                if (!seen_.insert(url).second)
                    continue;
                const Fetched sub = Fetch(url, schemaBase, schemaDepth + 1, importer);
                xmlNode* subRoot = xmlDocGetRootElement(sub.doc.get());
                if (!IsXsd(subRoot, "schema"))
                    throw SoapError("the document " + url + " imported by " + importer +
                                    " is not an XML schema (its root element is <" + LocalName(subRoot) + ">)");
                xmlNode* copy = AddSchema(doc, subRoot, sub.url, schemaDepth + 1);
                // An included schema without a namespace takes the including one's.
                if (!import && Attr(copy, "targetNamespace").empty() && !Attr(schema, "targetNamespace").empty())
                    xmlSetProp(copy, U("targetNamespace"), U(Attr(schema, "targetNamespace").c_str()));
                queue.push_back(copy);
            }
        }
    }

    // Moves an imported description's definitions into the importing one,
    // each in its place, in one pass over them.
    void Merge(xmlDoc* doc, xmlDoc* sub)
    {
        Layout layout(xmlDocGetRootElement(doc));
        ScopeIndex scopes;
        for (xmlNode* c : Children(xmlDocGetRootElement(sub))) {
            CheckCancel();
            if (Is(c, kNsWsdl, "types")) {
                for (xmlNode* schema : Children(c))
                    if (IsXsd(schema, "schema"))
                        xmlAddChild(TypesOf(doc), CopyWithScope(schema, doc, scopes));
            } else if (Is(c, kNsWsdl, "message") || Is(c, kNsWsdl, "portType")) {
                layout.AddDefinition(CopyWithScope(c, doc, scopes));
            } else if (Is(c, kNsWsdl, "binding")) {
                layout.AddBinding(CopyWithScope(c, doc, scopes));
            } else if (Is(c, kNsWsdl, "service")) {
                layout.AddService(CopyWithScope(c, doc, scopes));
            }
        }
    }

    const DocumentFetcher& fetch_;
    const ImportLimits& limits_;
    std::size_t bytes_;
    const CancelCheck& cancel_;
    std::string origin_;  // the description's
    std::size_t documents_ = 0;
    std::set<std::string> seen_;
    // What is known of each document still being read: its types element, and
    // the URL and depth each schema put into it is read from.
    struct DocState {
        xmlNode* types = nullptr;
        std::map<xmlNode*, std::pair<std::string, int>> schemaBase;
    };
    std::map<const xmlDoc*, DocState> docs_;
    bool changed_ = false;
};

// ---------------------------------------------------------------------------
// The model

struct SchemaIndex {
    // global element and complexType declarations by namespace and name
    std::map<std::pair<std::string, std::string>, xmlNode*> elements, complexTypes;
};

void IndexSchemas(xmlNode* types, SchemaIndex& index)
{
    for (xmlNode* schema : Children(types)) {
        if (!IsXsd(schema, "schema"))
            continue;
        const std::string tns = Attr(schema, "targetNamespace");
        for (xmlNode* decl : Children(schema)) {
            const std::string name = Attr(decl, "name");
            if (IsXsd(decl, "element"))
                index.elements.try_emplace({tns, name}, decl);
            else if (IsXsd(decl, "complexType"))
                index.complexTypes.try_emplace({tns, name}, decl);
        }
    }
}

xmlNode* SchemaOf(xmlNode* decl)
{
    xmlNode* n = decl;
    while (n && !IsXsd(n, "schema"))
        n = n->parent;
    return n;
}

std::string Name(const QName& q)
{
    return q.ns.empty() ? q.local : "{" + q.ns + "}" + q.local;
}

// The children of a wrapper element: the elements of its type's sequence.
// Raises SoapError saying why the element is no wrapper.
std::vector<MessagePart> WrapperChildren(xmlDoc* doc, const SchemaIndex& index, xmlNode* element, const QName& name)
{
    const auto notWrapper = [&](const std::string& why) {
        return SoapError("the type of its element " + Name(name) + " " + why);
    };
    xmlNode* type = nullptr;
    for (xmlNode* c : Children(element))
        if (IsXsd(c, "complexType"))
            type = c;
    if (!type) {
        const std::string typeName = Attr(element, "type");
        if (typeName.empty())
            throw notWrapper("is not declared");
        const QName q = ResolveQName(doc, element, typeName);
        const auto it = index.complexTypes.find({q.ns, q.local});
        if (it == index.complexTypes.end())
            throw notWrapper("is " + Name(q) + ", not a sequence of elements the description declares");
        type = it->second;
    }
    xmlNode* group = nullptr;
    for (xmlNode* c : Children(type)) {
        if (IsXsd(c, "sequence") || IsXsd(c, "all"))
            group = c;
        else if (!IsXsd(c, "attribute") && !IsXsd(c, "annotation") && !IsXsd(c, "anyAttribute"))
            throw notWrapper("has " + LocalName(c) + " content, not a sequence of elements");
    }
    std::vector<MessagePart> out;
    for (xmlNode* c : Children(group)) {
        if (!IsXsd(c, "element"))
            continue;  // xs:any and friends carry nothing this toolkit sends
        MessagePart part;
        xmlNode* decl = c;
        if (const std::string ref = Attr(c, "ref"); !ref.empty()) {
            // A reference to a global element, which is always qualified.
            const QName q = ResolveQName(doc, c, ref);
            part.name = q.local;
            part.ns = q.ns;
            const auto it = index.elements.find({q.ns, q.local});
            decl = it == index.elements.end() ? nullptr : it->second;
        } else {
            part.name = Attr(c, "name");
            xmlNode* schema = SchemaOf(c);
            const std::string form = Attr(c, "form");
            const bool qualified =
                form.empty() ? Attr(schema, "elementFormDefault") == "qualified" : form == "qualified";
            if (qualified)
                part.ns = Attr(schema, "targetNamespace");
        }
        const std::string typeName = decl ? Attr(decl, "type") : "";
        part.type = typeName.empty() ? QName{kNsXsd2001, "anyType"} : ResolveQName(doc, decl, typeName);
        out.push_back(std::move(part));
    }
    return out;
}

}  // namespace

std::vector<std::string> OperationDescription::CallOrder() const
{
    if (hasParameterOrder)
        return parameterOrder;
    std::vector<std::string> order;
    for (const MessagePart& p : inputParts)
        order.push_back(p.name);
    bool returnTaken = !wrapped;
    for (const MessagePart& p : outputParts) {
        if (IsInput(p.name))
            continue;
        if (!returnTaken)
            returnTaken = true;
        else
            order.push_back(p.name);
    }
    return order;
}

bool OperationDescription::IsInput(std::string_view part) const
{
    return std::any_of(inputParts.begin(), inputParts.end(), [&](const MessagePart& p) { return p.name == part; });
}

bool OperationDescription::IsOutput(std::string_view part) const
{
    return std::any_of(outputParts.begin(), outputParts.end(), [&](const MessagePart& p) { return p.name == part; });
}

std::string OperationDescription::ReturnPart() const
{
    const std::vector<std::string> order = CallOrder();
    for (const MessagePart& p : outputParts)
        if (std::find(order.begin(), order.end(), p.name) == order.end())
            return p.name;
    return {};
}

const OperationDescription* ServiceDescription::Find(std::string_view name) const
{
    for (const OperationDescription& op : operations)
        if (op.name == name)
            return &op;
    return nullptr;
}

int TypeCodeOf(const QName& type)
{
    if (!IsXsdNamespace(type.ns))
        return 12;
    if (type.local == "string")
        return 8;
    if (type.local == "short")
        return 2;
    if (type.local == "int")
        return 3;
    if (type.local == "boolean")
        return 11;
    if (type.local == "double")
        return 5;
    if (type.local == "float")
        return 4;
    return 12;
}

ServiceDescription ParseServiceDescription(std::string text, const std::string& baseUrl, const DocumentFetcher& fetch,
                                           const ImportLimits& limits, const CancelCheck& cancel)
{
    cancel.Check(kWhileReading);
    XmlDocPtr doc = ParseXml(text, "the service description");
    cancel.Check(kWhileReading);
    xmlNode* root = xmlDocGetRootElement(doc.get());
    if (!Is(root, kNsWsdl, "definitions"))
        throw SoapError("the document is not a WSDL 1.1 service description (its root element is <" +
                        LocalName(root) + ">, not wsdl:definitions)");
    ServiceDescription desc;
    ImportResolver imports(fetch, limits, text.size(), cancel);
    if (imports.Resolve(doc.get(), baseUrl)) {
        // The model is read from the text that is kept, so that the text
        // read again later gives the same description.
        cancel.Check(kWhileReading);
        desc.text = Serialize(doc.get());
        cancel.Check(kWhileReading);
        if (desc.text.size() > kMaxDocumentBytes)
            throw SoapError("the description with its imports is larger than " + std::to_string(kMaxDocumentBytes) +
                            " bytes");
        doc = ParseXml(desc.text, "the service description with its imports");
        root = xmlDocGetRootElement(doc.get());
        cancel.Check(kWhileReading);
    } else {
        desc.text = std::move(text);
    }
    desc.targetNamespace = Attr(root, "targetNamespace");

    SchemaIndex schemas;
    for (xmlNode* types : Children(root, kNsWsdl, "types"))
        IndexSchemas(types, schemas);

    std::map<std::string, xmlNode*> messages, portTypes, bindings;
    for (xmlNode* n : Children(root, kNsWsdl, "message"))
        messages.try_emplace(Attr(n, "name"), n);
    for (xmlNode* n : Children(root, kNsWsdl, "portType"))
        portTypes.try_emplace(Attr(n, "name"), n);
    for (xmlNode* n : Children(root, kNsWsdl, "binding"))
        if (FirstChild(n, kNsWsdlSoap, "binding"))
            bindings.try_emplace(Attr(n, "name"), n);
    if (bindings.empty())
        throw SoapError("the service description has no SOAP 1.1 binding");

    // The binding of the first port that has a SOAP address.
    xmlNode* binding = nullptr;
    for (xmlNode* service : Children(root, kNsWsdl, "service")) {
        if (desc.serviceName.empty())
            desc.serviceName = Attr(service, "name");
        for (xmlNode* port : Children(service, kNsWsdl, "port")) {
            xmlNode* address = FirstChild(port, kNsWsdlSoap, "address");
            if (!address)
                continue;
            const auto it = bindings.find(ResolveQName(doc.get(), port, Attr(port, "binding")).local);
            if (it == bindings.end())
                continue;
            desc.locations.push_back(Attr(address, "location"));
            if (!binding)
                binding = it->second;
        }
    }
    if (!binding)
        binding = bindings.begin()->second;
    xmlNode* soapBinding = FirstChild(binding, kNsWsdlSoap, "binding");
    const std::string bindingStyle = Attr(soapBinding, "style").empty() ? "document" : Attr(soapBinding, "style");
    const auto pt = portTypes.find(ResolveQName(doc.get(), binding, Attr(binding, "type")).local);
    if (pt == portTypes.end())
        throw SoapError("the binding " + Attr(binding, "name") + " names a port type the description does not define");

    const auto partsOf = [&](xmlNode* io, const char* which, std::vector<MessagePart>& out) {
        if (!io)
            return;
        const auto it = messages.find(ResolveQName(doc.get(), io, Attr(io, "message")).local);
        if (it == messages.end())
            throw SoapError(std::string("its ") + which + " message " + Attr(io, "message") + " is not defined");
        for (xmlNode* p : Children(it->second, kNsWsdl, "part")) {
            MessagePart part;
            part.name = Attr(p, "name");
            if (!Attr(p, "type").empty())
                part.type = ResolveQName(doc.get(), p, Attr(p, "type"));
            if (!Attr(p, "element").empty())
                part.element = ResolveQName(doc.get(), p, Attr(p, "element"));
            out.push_back(std::move(part));
        }
    };

    // Document style: one element part whose type is a sequence is the
    // wrapped form, and its children are the parameters.
    const auto unwrap = [&](const std::vector<MessagePart>& parts, const char* which, QName& wrapper,
                            bool& qualified) {
        if (parts.size() != 1)
            throw SoapError(std::string("its ") + which + " message has " + std::to_string(parts.size()) +
                            " parts, and the wrapped form has one");
        if (parts[0].element.empty())
            throw SoapError(std::string("its ") + which + " part " + parts[0].name + " names a type, not an element");
        const auto it = schemas.elements.find({parts[0].element.ns, parts[0].element.local});
        if (it == schemas.elements.end())
            throw SoapError(std::string("its ") + which + " element " + Name(parts[0].element) +
                            " is not declared in the description's types");
        std::vector<MessagePart> children = WrapperChildren(doc.get(), schemas, it->second, parts[0].element);
        wrapper = parts[0].element;
        qualified = Attr(SchemaOf(it->second), "elementFormDefault") == "qualified";
        return children;
    };

    std::map<std::string, xmlNode*> bindingOperations;  // the first of each name
    for (xmlNode* b : Children(binding, kNsWsdl, "operation"))
        bindingOperations.try_emplace(Attr(b, "name"), b);
    for (xmlNode* opNode : Children(pt->second, kNsWsdl, "operation")) {
        cancel.Check(kWhileReading);
        OperationDescription op;
        op.name = Attr(opNode, "name");
        const auto found = bindingOperations.find(op.name);
        xmlNode* bop = found == bindingOperations.end() ? nullptr : found->second;
        try {
            xmlNode* input = FirstChild(opNode, kNsWsdl, "input");
            xmlNode* output = FirstChild(opNode, kNsWsdl, "output");
            partsOf(input, "input", op.inputParts);
            partsOf(output, "output", op.outputParts);

            std::string style = bindingStyle;
            if (xmlNode* soapOp = bop ? FirstChild(bop, kNsWsdlSoap, "operation") : nullptr) {
                op.soapAction = Attr(soapOp, "soapAction");
                if (!Attr(soapOp, "style").empty())
                    style = Attr(soapOp, "style");
            }
            op.rpc = style == "rpc";
            const auto readBody = [&](xmlNode* io, std::vector<MessagePart>& parts, bool& encoded, std::string& ns) {
                ns = desc.targetNamespace;
                xmlNode* body = io ? FirstChild(io, kNsWsdlSoap, "body") : nullptr;
                if (!body)
                    return;
                encoded = Attr(body, "use") == "encoded";
                if (!Attr(body, "namespace").empty())
                    ns = Attr(body, "namespace");
                if (op.encodingStyle.empty())
                    op.encodingStyle = Attr(body, "encodingStyle");
                // Header parts stay out of the body; soap:body/@parts, when given, names the body's parts.
                std::vector<std::string> headerParts;
                for (xmlNode* h : Children(io, kNsWsdlSoap, "header"))
                    headerParts.push_back(Attr(h, "part"));
                bool hasParts = false;
                const std::vector<std::string> named = SplitList(Attr(body, "parts", &hasParts));
                std::erase_if(parts, [&](const MessagePart& p) {
                    if (hasParts)
                        return std::find(named.begin(), named.end(), p.name) == named.end();
                    return std::find(headerParts.begin(), headerParts.end(), p.name) != headerParts.end();
                });
            };
            readBody(bop ? FirstChild(bop, kNsWsdl, "input") : nullptr, op.inputParts, op.inputEncoded,
                     op.inputNamespace);
            readBody(bop ? FirstChild(bop, kNsWsdl, "output") : nullptr, op.outputParts, op.outputEncoded,
                     op.outputNamespace);
            if (!bop)
                op.inputEncoded = op.outputEncoded = false;

            // parameterOrder names the messages' parts.
            const std::string order = Attr(opNode, "parameterOrder", &op.hasParameterOrder);
            op.parameterOrder = SplitList(order);
            const auto stray = std::find_if(op.parameterOrder.begin(), op.parameterOrder.end(),
                                            [&](const std::string& n) { return !op.IsInput(n) && !op.IsOutput(n); });
            if (stray != op.parameterOrder.end()) {
                const std::string name = *stray;
                op.hasParameterOrder = false;
                op.parameterOrder.clear();
                throw SoapError("its parameterOrder names " + name + ", which is no part of its messages");
            }

            if (!op.rpc) {
                op.inputEncoded = op.outputEncoded = false;
                try {
                    bool inQualified = false, outQualified = false;
                    std::vector<MessagePart> in = op.inputParts.empty() ? std::vector<MessagePart>{}
                                                                        : unwrap(op.inputParts, "input",
                                                                                 op.inputWrapper, inQualified);
                    std::vector<MessagePart> out = op.outputParts.empty() ? std::vector<MessagePart>{}
                                                                          : unwrap(op.outputParts, "output",
                                                                                   op.outputWrapper, outQualified);
                    op.inputParts = std::move(in);
                    op.outputParts = std::move(out);
                    op.qualifiedChildren = inQualified;
                } catch (const SoapError& e) {
                    op.inputWrapper = op.outputWrapper = {};
                    throw SoapError(std::string("document style but not in the wrapped form: ") + e.what());
                }
                op.wrapped = true;
                op.hasParameterOrder = false;  // it named the wrapper part; the children go in their own order
                op.parameterOrder.clear();
                if (op.inputWrapper.empty())
                    op.inputWrapper = QName{desc.targetNamespace, op.name};
                if (op.outputWrapper.empty())
                    op.outputWrapper = QName{desc.targetNamespace, op.name + "Response"};
            }
        } catch (const SoapError& e) {
            op.unusable = e.what();
        }
        desc.operations.push_back(std::move(op));
    }
    return desc;
}

}  // namespace tessel::soap
