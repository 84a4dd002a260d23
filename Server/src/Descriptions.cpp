#include "Descriptions.h"

#include <algorithm>
#include <sstream>

namespace tessel::server {

namespace {

struct Entry {
    std::string name;
    std::vector<std::string> inputs, outputs;
};

std::string Join(const std::vector<std::string>& v)
{
    std::string s;
    for (const std::string& x : v)
        s += (s.empty() ? "" : " ") + x;
    return s;
}

}  // namespace

std::string Description(Interface iface, DescriptionStyle style, const std::string& endpoint,
                        const std::function<bool(const std::string&)>& include)
{
    const bool rpc = style == DescriptionStyle::RpcEncoded;
    const std::string serviceName = iface == Interface::Admin ? "TesselServiceCoreAdmin" : "TesselServiceCore";
    const std::string tns = "urn:tessel:" + serviceName;
    std::vector<Entry> entries;
    if (iface == Interface::Main)
        for (const catalog::SessionMessage& m : catalog::SessionMessages())
            entries.push_back({m.name, m.inputs, m.outputs});
    for (const catalog::Operation& op : catalog::Operations()) {
        if (op.iface != iface)
            continue;
        Entry e{op.name, {catalog::kRequestToken}, {catalog::kResult, catalog::kReplyToken}};
        e.inputs.insert(e.inputs.end(), op.params.begin(), op.params.end());
        e.inputs.push_back(catalog::kReplyToken);
        entries.push_back(std::move(e));
    }
    if (include)
        std::erase_if(entries, [&](const Entry& e) { return !include(e.name); });

    std::ostringstream w;
    w << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<definitions name=\"" << serviceName << "\" targetNamespace=\"" << tns << "\"\n"
      << "    xmlns=\"http://schemas.xmlsoap.org/wsdl/\"\n"
      << "    xmlns:soap=\"http://schemas.xmlsoap.org/wsdl/soap/\"\n"
      << "    xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\"\n"
      << "    xmlns:tns=\"" << tns << "\">\n";
    if (!rpc) {
        w << "  <types>\n    <xsd:schema targetNamespace=\"" << tns << "\" elementFormDefault=\"qualified\">\n";
        for (const Entry& e : entries) {
            for (const auto& [suffix, names] : {std::pair{std::string(), e.inputs}, {std::string("Response"), e.outputs}}) {
                w << "      <xsd:element name=\"" << e.name << suffix << "\"><xsd:complexType><xsd:sequence>\n";
                for (const std::string& n : names)
                    w << "        <xsd:element name=\"" << n << "\" type=\"xsd:string\"/>\n";
                w << "      </xsd:sequence></xsd:complexType></xsd:element>\n";
            }
        }
        w << "    </xsd:schema>\n  </types>\n";
    }
    for (const Entry& e : entries) {
        for (const auto& [suffix, names] : {std::pair{std::string("Request"), e.inputs}, {std::string("Response"), e.outputs}}) {
            w << "  <message name=\"" << e.name << suffix << "\">\n";
            if (rpc)
                for (const std::string& n : names)
                    w << "    <part name=\"" << n << "\" type=\"xsd:string\"/>\n";
            else
                w << "    <part name=\"parameters\" element=\"tns:" << e.name << (suffix == "Request" ? "" : "Response")
                  << "\"/>\n";
            w << "  </message>\n";
        }
    }
    w << "  <portType name=\"" << serviceName << "PortType\">\n";
    for (const Entry& e : entries) {
        // parameterOrder names message parts: in rpc style the inputs, then
        // the outputs that are not inputs except "result", the return value. A
        // document/literal message has the one wrapper part, so it has none;
        // its wrapper's children go in the same order.
        std::vector<std::string> order = e.inputs;
        for (const std::string& o : e.outputs)
            if (o != "result" && std::find(order.begin(), order.end(), o) == order.end())
                order.push_back(o);
        w << "    <operation name=\"" << e.name << "\"";
        if (rpc)
            w << " parameterOrder=\"" << Join(order) << "\"";
        w << ">\n"
          << "      <input message=\"tns:" << e.name << "Request\"/>\n"
          << "      <output message=\"tns:" << e.name << "Response\"/>\n"
          << "    </operation>\n";
    }
    w << "  </portType>\n"
      << "  <binding name=\"" << serviceName << "Binding\" type=\"tns:" << serviceName << "PortType\">\n"
      << "    <soap:binding style=\"" << (rpc ? "rpc" : "document") << "\" transport=\"http://schemas.xmlsoap.org/soap/http\"/>\n";
    for (const Entry& e : entries) {
        const std::string body =
            rpc ? "<soap:body use=\"encoded\" namespace=\"" + tns +
                      "\" encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"/>"
                : std::string("<soap:body use=\"literal\"/>");
        w << "    <operation name=\"" << e.name << "\">\n"
          << "      <soap:operation soapAction=\"" << tns << "#" << e.name << "\"/>\n"
          << "      <input>" << body << "</input>\n"
          << "      <output>" << body << "</output>\n"
          << "    </operation>\n";
    }
    w << "  </binding>\n"
      << "  <service name=\"" << serviceName << "\">\n"
      << "    <port name=\"" << serviceName << "Port\" binding=\"tns:" << serviceName << "Binding\">\n"
      << "      <soap:address location=\"" << endpoint << "\"/>\n"
      << "    </port>\n"
      << "  </service>\n"
      << "</definitions>\n";
    return w.str();
}

}  // namespace tessel::server
