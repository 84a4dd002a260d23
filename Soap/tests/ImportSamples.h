// Descriptions split across imports, for tests and benchmarks of the merge:
// a main description that imports one document of many messages.
#pragma once

#include <string>

namespace tessel::soap::samples {

inline const char kImportBase[] = "http://h.test/dir/main.wsdl";
inline const char kImportedUrl[] = "http://h.test/dir/messages.wsdl";

// The main description: its own operation and binding, and an import of
// messages.wsdl beside it.
inline std::string MainImportingMessages()
{
    return "<definitions xmlns=\"http://schemas.xmlsoap.org/wsdl/\" xmlns:soap=\"http://schemas.xmlsoap.org/wsdl/"
           "soap/\" xmlns:tns=\"urn:t\" targetNamespace=\"urn:t\"><import namespace=\"urn:t\" "
           "location=\"messages.wsdl\"/><portType name=\"P\"><operation name=\"Echo\"><input message=\"tns:m0\"/>"
           "<output message=\"tns:m1\"/></operation></portType><binding name=\"B\" type=\"tns:P\">"
           "<soap:binding style=\"rpc\" transport=\"http://schemas.xmlsoap.org/soap/http\"/></binding>"
           "<service name=\"S\"><port name=\"Q\" binding=\"tns:B\"><soap:address location=\"http://h.test/soap\"/>"
           "</port></service></definitions>";
}

// An imported description of `count` messages of one part each, about 66
// bytes a message.
inline std::string ManyMessages(int count)
{
    std::string s = "<definitions xmlns=\"http://schemas.xmlsoap.org/wsdl/\" xmlns:xs=\"http://www.w3.org/2001/"
                    "XMLSchema\" targetNamespace=\"urn:t\">";
    for (int i = 0; i < count; ++i)
        s += "<message name=\"m" + std::to_string(i) + "\"><part name=\"p\" type=\"xs:string\"/></message>";
    return s + "</definitions>";
}

}  // namespace tessel::soap::samples
