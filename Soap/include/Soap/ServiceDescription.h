// A service description read from WSDL 1.1 with the SOAP 1.1 binding: rpc
// style (encoded or literal) and document/literal in the wrapped form, the
// description whole or split across wsdl:import and schema imports.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Soap/SoapError.h"
#include "Soap/Xml.h"

namespace tessel::soap {

struct MessagePart {
    std::string name;
    QName type;  // xsd:string and friends; empty for an element part
    QName element;
    // A wrapper child's namespace when the schema qualifies it (a reference to
    // a global element, form="qualified" or elementFormDefault="qualified");
    // empty when the child goes unqualified.
    std::string ns;
};

struct OperationDescription {
    std::string name;
    std::vector<MessagePart> inputParts;   // the body's parts, header parts left out
    std::vector<MessagePart> outputParts;
    // parameterOrder names message parts. A wrapped operation's parameters are
    // its wrapper's children, so its parameterOrder (which can only name the
    // wrapper part) is checked and then left out here.
    bool hasParameterOrder = false;
    std::vector<std::string> parameterOrder;
    std::string soapAction;      // empty when the binding gives none
    bool rpc = true;             // style, the operation's or else the binding's
    bool inputEncoded = true;    // use of soap:body
    bool outputEncoded = true;
    std::string inputNamespace;  // soap:body/@namespace, else the target namespace
    std::string outputNamespace;
    std::string encodingStyle;
    // Document style with one element part whose type is a sequence: the
    // request and reply are that element with the sequence's children, which
    // inputParts and outputParts then hold.
    bool wrapped = false;
    QName inputWrapper, outputWrapper;
    bool qualifiedChildren = false;  // the wrapper's schema's elementFormDefault, for names it does not declare
    // Why the operation cannot be called, empty when it can (for example
    // "document style but not in the wrapped form: ..."). Such an operation is
    // still listed, with the parts its messages have.
    std::string unusable;

    // The parameters in call order: parameterOrder when given; else the
    // inputs, then the outputs that are no input, except that a wrapped
    // operation's first output that is no input is its return value.
    std::vector<std::string> CallOrder() const;
    bool IsInput(std::string_view part) const;
    bool IsOutput(std::string_view part) const;
    // The output part that is not in the call order, the function's return
    // value; empty for a procedure.
    std::string ReturnPart() const;
};

struct ServiceDescription {
    // The description's text: as it came, or, when it had imports, the
    // description with its imports put in place (UTF-8), which reads again
    // without fetching anything.
    std::string text;
    std::string targetNamespace;
    std::string serviceName;
    std::vector<std::string> locations;  // soap:address of each port, first is the endpoint
    std::vector<OperationDescription> operations;

    const OperationDescription* Find(std::string_view name) const;
};

// What the fetch of an imported document brought back: the document, or,
// when the server redirected, where to (absolute or relative to the URL
// asked for), which the reader checks before it asks again.
struct FetchedDocument {
    FetchedDocument(std::string text = {}) : text(std::move(text)) {}  // NOLINT: a document converts
    std::string text;
    std::string redirect;
};

// Fetches the document at an absolute URL, at most maxBytes of it, without
// following redirects; raises SoapError when it cannot.
using DocumentFetcher = std::function<FetchedDocument(const std::string& url, std::size_t maxBytes)>;

// What a description may bring in through imports.
struct ImportLimits {
    std::size_t maxDocuments = 32;                  // imported documents, each counted once
    int maxDepth = 8;                               // an import inside an import inside ...
    std::size_t maxTotalBytes = kMaxDocumentBytes;  // the description and its imports together
    int maxRedirects = 10;                          // of one import
    // Imports come from the description's own origin (scheme, host, port of
    // `baseUrl`) and from these (as OriginOf gives them), nowhere else.
    std::vector<std::string> extraOrigins{};
};

// Reads a WSDL 1.1 document. `baseUrl` is where the text came from; the
// documents it imports (wsdl:import, and xs:import, xs:include or xs:redefine
// with a schemaLocation) are fetched through `fetch`, each relative location
// resolved against the document that names it, each URL once, within
// `limits`; every fetched document goes through the same hardened reader.
// An import, or a redirect of one, to an origin that is neither the
// description's nor one of limits.extraOrigins is refused, naming the URL and
// the description's origin. Imports of the namespaces this toolkit knows (XML
// Schema, SOAP encoding, WSDL) are not fetched. An import of a local file is
// refused unless the importing document is one itself.
// `cancel` is checked before each fetch and all through the merge and the
// reading of the model: once its flag is up the load raises Cancelled.
// Raises SoapError when the text is not XML, not a WSDL description this
// toolkit can use, or an import cannot be brought in, saying why. An
// operation that cannot be called is kept, with OperationDescription::unusable
// saying why. The work is linear in the size of the description and its imports.
ServiceDescription ParseServiceDescription(std::string text, const std::string& baseUrl = {},
                                           const DocumentFetcher& fetch = {}, const ImportLimits& limits = {},
                                           const CancelCheck& cancel = {});

// Variant type codes of a part's type: string 8, short 2, int 3, boolean 11,
// double 5, float 4, anything else 12.
int TypeCodeOf(const QName& type);

}  // namespace tessel::soap
