// The packager: holds a loaded service description, builds request payloads
// from its method templates and reads response payloads.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "Soap/ServiceDescription.h"
#include "Soap/Transport.h"
#include "Soap/Xml.h"

namespace tessel::soap {

inline constexpr int kRequestPayload = 0;
inline constexpr int kResponsePayload = 1;

struct ParameterInfo {
    std::string Name;
    int typeCode = 12;  // variant type number: 8 text, 2 16-bit, 3 32-bit integer, ...
    bool byRef = false;
};

struct MethodInfo {
    std::string Name;
    int kind = 0;  // 1: a function that returns a value; 0: a procedure
    std::vector<ParameterInfo> lists[3];  // 0 inputs, 1 outputs, 2 all in call order
    int returnType = 0;                   // functions only
    std::string ownerName;
    std::string unusable;  // why the method cannot be called; empty when it can
};

// An item of the service location collection: the endpoint as text, or an
// object whose "URI" property is the endpoint.
struct ServiceLocation {
    std::string URI;
};
using LocationItem = std::variant<std::string, ServiceLocation>;

struct Catalog {
    std::vector<LocationItem> locations;  // kind 0
    std::vector<MethodInfo> methods;      // kind 1
};

class Packager {
public:
    Packager();
    ~Packager();
    Packager(Packager&&) noexcept;
    Packager& operator=(Packager&&) noexcept;
    Packager(const Packager&) = delete;
    Packager& operator=(const Packager&) = delete;

    // Source kind 1: fetch the description from the URI; 2: `source` is the
    // XML text, and `location`, when given, the URL it came from. Imported
    // documents are fetched relative to the description's URL (kind 1, or
    // kind 2 with a location); a kind 2 text without a location fetches
    // nothing; only from the description's origin and the HttpOptions'
    // importOrigins. False when the text is no usable description or an
    // import cannot be brought in (LastError() says why); a failure to fetch
    // the description itself raises SoapError, and a load given up through
    // the HttpOptions' cancel flag raises Cancelled. A kind 2 text without a
    // location that was read before (the text a tool keeps and reads again
    // for every call) is not read again: what it gave is shared.
    bool LoadServicesDescription(int sourceKind, const std::string& source, const std::string& location = {});
    const std::string& LastError() const noexcept { return lastError_; }
    // The HTTP options of the fetches a load makes (timeouts, cancel).
    void SetHttpOptions(const HttpOptions& options) { http_ = options; }

    // The template, the payload and the parameters of a method that the
    // description declares but that cannot be called raise SoapError saying why.
    std::string GetMethodTemplate(const std::string& method, int payloadKind) const;
    void SetMethodPayload(int payloadKind, const std::string& ns, const std::string& method, const std::string& tmpl);
    void SetParameter(int payloadKind, const std::string& name, const std::string& value);
    std::string GetPayload(int payloadKind) const;
    void SetPayload(int payloadKind, const std::string& xml);
    // The named parameter of the response, by local name under any prefix;
    // empty text when the reply does not carry it. A SOAP fault raises
    // SoapFault; a reply that is no SOAP message raises SoapError.
    std::string GetParameter(int payloadKind, const std::string& name) const;
    bool HasMethod(const std::string& method) const;
    const std::string& GetDescriptionText() const;
    Catalog GetCatalog(int kind) const;
    // The operation's SOAPAction, for the transport's headers.
    std::string SoapAction(const std::string& method) const;

    const ServiceDescription* description() const noexcept { return desc_ ? &*desc_ : nullptr; }

private:
    const OperationDescription& Operation(const std::string& method) const;
    const OperationDescription& CallableOperation(const std::string& method) const;
    xmlNode* ResponseBody() const;

    std::shared_ptr<const ServiceDescription> desc_;
    HttpOptions http_;
    std::string lastError_;
    std::string method_;
    XmlDocPtr request_;
    std::string response_;
    mutable XmlDocPtr responseDoc_;
};

// Fetches imported documents over HTTP with `options` (timeouts, cancel),
// handing redirects back instead of following them.
DocumentFetcher HttpDocumentFetcher(const HttpOptions& options);

// The endpoint of a loaded description: item 0 of its service locations.
// Raises SoapError when no description is loaded or it names no location.
std::string ServiceEndpoint(const Packager& packager);

// A request as every client of the kit composes it: a fresh packager loaded
// from the description text, the method's template as the request payload,
// then each parameter set in the order given. Raises SoapError when the text
// is no usable description, lacks the method, or a value cannot go into XML.
struct ComposedRequest {
    std::string payload;
    std::string soapAction;  // the method's, for Transport::AddStandardHeaders
};
ComposedRequest ComposeRequest(const std::string& descriptionText, const std::string& method,
                               const std::vector<std::pair<std::string, std::string>>& parameters);

// A request envelope for an operation with parameters in order.
std::string BuildRequest(const ServiceDescription& desc, const OperationDescription& op,
                         const std::vector<std::pair<std::string, std::string>>& parameters);

// The server's side: a response envelope with the operation's output values,
// and a fault (code without prefix: "Client", "Server", "MustUnderstand",
// "VersionMismatch") whose detail text goes in one detail entry element.
std::string BuildResponse(const OperationDescription& op,
                          const std::vector<std::pair<std::string, std::string>>& values);
std::string BuildFault(const std::string& code, const std::string& string, const std::string& detail);

// The detail entry element that BuildFault puts the detail text in.
inline constexpr char kNsFaultDetail[] = "urn:tessel:fault";
inline constexpr char kFaultDetailEntry[] = "message";

// A request as a server reads it: the operation element's local name and
// namespace, and its parameters in the order received.
struct IncomingRequest {
    std::string operation;
    std::string ns;
    std::vector<std::pair<std::string, std::string>> parameters;
};
// Raises SoapFault "VersionMismatch" for an envelope of another SOAP version
// (SOAP 1.2), SoapFault "MustUnderstand" for a header entry addressed to this
// node with mustUnderstand="1" whose {namespace}name is not in `understood`,
// and SoapError for anything else that is no SOAP 1.1 request.
IncomingRequest ReadRequest(const std::string& xml, const std::vector<QName>& understood = {});

// A response's body: checks it is a SOAP envelope (and not an HTML page),
// raises SoapFault for a fault, and gives the values of the reply's wrapper
// element's children by local name.
struct ResponseValues {
    std::vector<std::pair<std::string, std::string>> values;
    const std::string* Find(const std::string& name) const;
};
ResponseValues ReadResponse(const std::string& xml);

// Whether a reply body is an HTML page rather than XML.
bool LooksLikeHtml(const std::string& body);

// The method listing: one entry per method, and the title "Available
// methods - " + the owner name of the last method listed.
struct MethodListing {
    std::string text;
    std::string title;
};
MethodListing BuildMethodListing(const std::vector<MethodInfo>& methods);
std::string TypeName(int typeCode);

}  // namespace tessel::soap
