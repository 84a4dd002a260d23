#include "Soap/ServiceDescription.h"

#include <algorithm>
#include <map>

#include "Soap/SoapError.h"

namespace tessel::soap {

namespace {

struct SchemaIndex {
    // element and complexType declarations by namespace and name
    std::map<std::pair<std::string, std::string>, xmlNode*> elements, complexTypes;
    std::map<xmlNode*, bool> qualified;  // element decl -> its schema's elementFormDefault
};

bool IsXsd(const xmlNode* n, std::string_view local)
{
    return n && n->type == XML_ELEMENT_NODE && LocalName(n) == local && IsXsdNamespace(NamespaceOf(n));
}

void IndexSchemas(xmlNode* types, SchemaIndex& index)
{
    for (xmlNode* schema : Children(types)) {
        if (!IsXsd(schema, "schema"))
            continue;
        const std::string tns = Attr(schema, "targetNamespace");
        const bool qualified = Attr(schema, "elementFormDefault") == "qualified";
        for (xmlNode* decl : Children(schema)) {
            const std::string name = Attr(decl, "name");
            if (IsXsd(decl, "element")) {
                index.elements[{tns, name}] = decl;
                index.qualified[decl] = qualified;
            } else if (IsXsd(decl, "complexType")) {
                index.complexTypes[{tns, name}] = decl;
            }
        }
    }
}

// The children of a wrapper element: the elements of its type's sequence.
bool WrapperChildren(xmlDoc* doc, const SchemaIndex& index, xmlNode* element, std::vector<MessagePart>& out)
{
    xmlNode* type = nullptr;
    for (xmlNode* c : Children(element))
        if (IsXsd(c, "complexType"))
            type = c;
    if (!type) {
        const std::string typeName = Attr(element, "type");
        if (typeName.empty())
            return false;
        const QName q = ResolveQName(doc, element, typeName);
        const auto it = index.complexTypes.find({q.ns, q.local});
        if (it == index.complexTypes.end())
            return false;
        type = it->second;
    }
    xmlNode* group = nullptr;
    for (xmlNode* c : Children(type))
        if (IsXsd(c, "sequence") || IsXsd(c, "all"))
            group = c;
    if (!group)
        return Children(type).empty();  // an empty complex type: no children
    for (xmlNode* c : Children(group)) {
        if (!IsXsd(c, "element"))
            continue;
        MessagePart part;
        part.name = Attr(c, "name");
        if (part.name.empty() && !Attr(c, "ref").empty())
            part.name = ResolveQName(doc, c, Attr(c, "ref")).local;
        const std::string typeName = Attr(c, "type");
        part.type = typeName.empty() ? QName{kNsXsd2001, "anyType"} : ResolveQName(doc, c, typeName);
        out.push_back(std::move(part));
    }
    return true;
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

}  // namespace

std::vector<std::string> OperationDescription::CallOrder() const
{
    if (hasParameterOrder)
        return parameterOrder;
    std::vector<std::string> order;
    for (const MessagePart& p : inputParts)
        order.push_back(p.name);
    for (const MessagePart& p : outputParts)
        if (!IsInput(p.name))
            order.push_back(p.name);
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

ServiceDescription ParseServiceDescription(std::string text)
{
    const XmlDocPtr doc = ParseXml(text, "the service description");
    xmlNode* root = xmlDocGetRootElement(doc.get());
    if (!Is(root, kNsWsdl, "definitions"))
        throw SoapError("the document is not a WSDL 1.1 service description (its root element is <" +
                        LocalName(root) + ">, not wsdl:definitions)");
    ServiceDescription desc;
    desc.text = std::move(text);
    desc.targetNamespace = Attr(root, "targetNamespace");

    SchemaIndex schemas;
    for (xmlNode* types : Children(root, kNsWsdl, "types"))
        IndexSchemas(types, schemas);

    std::map<std::string, xmlNode*> messages, portTypes, bindings;
    for (xmlNode* n : Children(root, kNsWsdl, "message"))
        messages[Attr(n, "name")] = n;
    for (xmlNode* n : Children(root, kNsWsdl, "portType"))
        portTypes[Attr(n, "name")] = n;
    for (xmlNode* n : Children(root, kNsWsdl, "binding"))
        if (FirstChild(n, kNsWsdlSoap, "binding"))
            bindings[Attr(n, "name")] = n;
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

    const auto partsOf = [&](xmlNode* io, std::vector<MessagePart>& out) {
        if (!io)
            return;
        const auto it = messages.find(ResolveQName(doc.get(), io, Attr(io, "message")).local);
        if (it == messages.end())
            throw SoapError("the operation message " + Attr(io, "message") + " is not defined");
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

    for (xmlNode* opNode : Children(pt->second, kNsWsdl, "operation")) {
        OperationDescription op;
        op.name = Attr(opNode, "name");
        xmlNode* input = FirstChild(opNode, kNsWsdl, "input");
        xmlNode* output = FirstChild(opNode, kNsWsdl, "output");
        partsOf(input, op.inputParts);
        partsOf(output, op.outputParts);
        const std::string order = Attr(opNode, "parameterOrder", &op.hasParameterOrder);
        op.parameterOrder = SplitList(order);

        xmlNode* bop = nullptr;
        for (xmlNode* b : Children(binding, kNsWsdl, "operation"))
            if (Attr(b, "name") == op.name && !bop)
                bop = b;
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

        if (!op.rpc) {
            // Document style: one element part each way whose type is a sequence
            // is the wrapped form; its children are the parameters.
            const auto unwrap = [&](std::vector<MessagePart>& parts, QName& wrapper) {
                if (parts.size() != 1 || parts[0].element.empty())
                    return false;
                const auto it = schemas.elements.find({parts[0].element.ns, parts[0].element.local});
                if (it == schemas.elements.end())
                    return false;
                std::vector<MessagePart> children;
                if (!WrapperChildren(doc.get(), schemas, it->second, children))
                    return false;
                wrapper = parts[0].element;
                op.qualifiedChildren = schemas.qualified[it->second];
                parts = std::move(children);
                return true;
            };
            const bool in = op.inputParts.empty() || unwrap(op.inputParts, op.inputWrapper);
            const bool out = op.outputParts.empty() || unwrap(op.outputParts, op.outputWrapper);
            if (!in || !out)
                throw SoapError("the operation " + op.name +
                                " is document style but not in the wrapped form (one element part whose type is a "
                                "sequence); this toolkit does not support it");
            op.wrapped = true;
            op.inputEncoded = op.outputEncoded = false;
            if (op.inputWrapper.empty())
                op.inputWrapper = QName{desc.targetNamespace, op.name};
            if (op.outputWrapper.empty())
                op.outputWrapper = QName{desc.targetNamespace, op.name + "Response"};
        }
        for (const std::string& name : op.parameterOrder)
            if (!op.IsInput(name) && !op.IsOutput(name))
                throw SoapError("the parameterOrder of " + op.name + " names " + name + ", which is no part of it");
        desc.operations.push_back(std::move(op));
    }
    return desc;
}

}  // namespace tessel::soap
