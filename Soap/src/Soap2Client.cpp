#include "Soap/Soap2Client.h"

#include "Soap/Packager.h"

namespace tessel::soap {

void Soap2Client::Fail(const std::string& string, const std::string& detail, const std::string& code)
{
    faultCode_ = code;
    faultString_ = string;
    faultDetail_ = detail;
    throw SoapError(detail.empty() ? string : string + ": " + detail);
}

void Soap2Client::Initialize(const std::string& wsdlUrl, const std::string&, const std::string& serviceName,
                             const std::string&)
{
    faultCode_.clear(), faultString_.clear(), faultDetail_.clear();
    const CancelCheck cancel(options_.cancel);
    desc_.reset();
    endpoint_.clear();
    unreached_ = false;
    if (wsdlUrl.empty())
        Fail("WSDLReader: no service description", "No WSDL URL was given.");
    HttpReply reply;
    try {
        reply = HttpGet(wsdlUrl, options_);
    } catch (const Cancelled& e) {
        Fail("WSDLReader: loading the service description was cancelled", e.what());
    } catch (const SoapError& e) {
        unreached_ = true;
        Fail("WSDLReader: loading the service description failed", e.what());
    }
    if (reply.status < 200 || reply.status >= 300)
        Fail("WSDLReader: loading the service description failed",
             "Fetching " + wsdlUrl + " gave HTTP status " + std::to_string(reply.status) + ".");
    ImportLimits limits;
    limits.extraOrigins = options_.importOrigins;
    try {
        ServiceDescription desc = ParseServiceDescription(std::move(reply.body), reply.effectiveUrl,
                                                          HttpDocumentFetcher(options_), limits, cancel);
        if (!serviceName.empty() && desc.serviceName != serviceName)
            Fail("WSDLReader: no such service", "The description has no service named " + serviceName + ".");
        if (desc.locations.empty() || desc.locations.front().empty())
            Fail("WSDLReader: no endpoint", "The description at " + wsdlUrl + " names no SOAP address for its service.");
        endpoint_ = desc.locations.front();
        desc_ = std::move(desc);
    } catch (const Cancelled& e) {
        Fail("WSDLReader: loading the service description was cancelled", e.what());
    } catch (const SoapError& e) {
        if (!faultString_.empty())
            throw;
        Fail("WSDLReader: the document is no usable WSDL description", std::string(e.what()) + " (" + wsdlUrl + ")");
    }
}

std::string Soap2Client::Call(const std::string& operation, std::vector<Soap2Arg>& args)
{
    faultCode_.clear(), faultString_.clear(), faultDetail_.clear();
    lastRequest_.clear();
    lastReply_ = HttpReply{};
    if (!desc_)
        Fail("Client: the client object is not initialised",
             "No service description is loaded: the connection to the WSDL failed.");
    const OperationDescription* op = desc_->Find(operation);
    if (!op)
        Fail("Client: unknown operation", "The service description has no operation " + operation + ".");
    if (!op->unusable.empty())
        Fail("Client: the operation cannot be called",
             "The service description declares " + operation + ", but it cannot be called: " + op->unusable + ".");
    const std::vector<std::string> order = op->CallOrder();
    if (args.size() > order.size())
        Fail("Client: too many arguments", operation + " takes " + std::to_string(order.size()) + " arguments, " +
                                               std::to_string(args.size()) + " were given.");
    // Positions map onto the call order; input parts not given go empty. An
    // argument is the text before its first NUL character, as a C string
    // holds it (a buffer of NULs is sent as empty text).
    std::vector<std::pair<std::string, std::string>> params;
    for (const MessagePart& part : op->inputParts) {
        std::string value;
        for (std::size_t i = 0; i < args.size(); ++i)
            if (order[i] == part.name)
                value = args[i].value.substr(0, args[i].value.find('\0'));
        params.emplace_back(part.name, value);
    }
    std::string request;
    try {
        request = BuildRequest(*desc_, *op, params);
    } catch (const SoapError& e) {
        Fail("Client: the request cannot be built", e.what());
    }
    lastRequest_ = request;
    try {
        lastReply_ = HttpPost(endpoint_, request, op->soapAction, options_);
    } catch (const SoapError& e) {
        Fail("Connector: the request could not be sent", e.what());
    }
    const HttpReply& reply = lastReply_;
    ResponseValues values;
    try {
        values = ReadResponse(reply.body);
    } catch (const SoapFault& f) {
        faultCode_ = f.faultCode();
        faultString_ = f.faultString();
        faultDetail_ = f.detail();
        throw;
    } catch (const SoapError& e) {
        Fail("Client: the reply is not a SOAP message",
             std::string(e.what()) + " (HTTP status " + std::to_string(reply.status) + ")");
    }
    for (std::size_t i = 0; i < args.size(); ++i)
        if (args[i].byRef && op->IsOutput(order[i]))
            if (const std::string* v = values.Find(order[i]))
                args[i].value = *v;
    const std::string ret = op->ReturnPart();
    if (ret.empty())
        return {};
    if (const std::string* v = values.Find(ret))
        return *v;
    Fail("Client: the reply has no return value", "The reply of " + operation + " has no element " + ret + ".");
}

}  // namespace tessel::soap
