// A service description read from WSDL 1.1 with the SOAP 1.1 binding.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "Soap/Xml.h"

namespace tessel::soap {

struct MessagePart {
    std::string name;
    QName type;  // xsd:string and friends; empty for an element part
    QName element;
};

struct OperationDescription {
    std::string name;
    std::vector<MessagePart> inputParts;   // the body's parts, header parts left out
    std::vector<MessagePart> outputParts;
    bool hasParameterOrder = false;
    std::vector<std::string> parameterOrder;
    std::string soapAction;
    bool rpc = true;             // style, the operation's or else the binding's
    bool inputEncoded = true;    // use of soap:body
    bool outputEncoded = true;
    std::string inputNamespace;  // soap:body/@namespace, else the target namespace
    std::string outputNamespace;
    std::string encodingStyle;
    // Document style with one element part whose type is a sequence: the
    // request and reply are that element with the sequence's children.
    bool wrapped = false;
    QName inputWrapper, outputWrapper;
    bool qualifiedChildren = false;  // the schema's elementFormDefault

    // The parameters in call order, and whether a name is an input or output.
    std::vector<std::string> CallOrder() const;
    bool IsInput(std::string_view part) const;
    bool IsOutput(std::string_view part) const;
    // The output part that is not in the call order, the function's return
    // value; empty for a procedure.
    std::string ReturnPart() const;
};

struct ServiceDescription {
    std::string text;
    std::string targetNamespace;
    std::string serviceName;
    std::vector<std::string> locations;  // soap:address of each port, first is the endpoint
    std::vector<OperationDescription> operations;

    const OperationDescription* Find(std::string_view name) const;
};

// Reads a WSDL 1.1 document. Raises SoapError when the text is not XML or not
// a WSDL description that this toolkit can use, saying why.
ServiceDescription ParseServiceDescription(std::string text);

// Variant type codes of a part's type: string 8, short 2, int 3, boolean 11,
// double 5, float 4, anything else 12.
int TypeCodeOf(const QName& type);

}  // namespace tessel::soap
