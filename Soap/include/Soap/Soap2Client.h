// The SOAP 2.0 client object: initialised from a WSDL URL, it calls an
// operation by name with positional string arguments, writes reply values
// back into by-reference arguments, and keeps the fault string and detail of
// the last failed call.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Soap/ServiceDescription.h"
#include "Soap/SoapError.h"
#include "Soap/Transport.h"

namespace tessel::soap {

struct Soap2Arg {
    std::string value;
    bool byRef = false;
};

class Soap2Client {
public:
    explicit Soap2Client(HttpOptions options = {}) : options_(options) {}

    // The description's URL and three further strings (the tools pass them
    // empty: a mapping file, a service name and a port name). Raises
    // SoapError; FaultDetail() says what went wrong.
    void Initialize(const std::string& wsdlUrl, const std::string& wsmlUrl = {}, const std::string& serviceName = {},
                    const std::string& portName = {});
    bool initialized() const noexcept { return desc_.has_value(); }
    // The last Initialize failed because no server answered its fetch of the
    // description (refused, unresolved, timed out), not because of what came.
    bool unreached() const noexcept { return unreached_; }

    // Calls an operation: argument i is the operation's i-th parameter in
    // call order. By-reference arguments receive the reply's values; the
    // function's return value is returned. Raises SoapError on any failure.
    std::string Call(const std::string& operation, std::vector<Soap2Arg>& args);

    // The last call's request envelope and its reply (status, headers, body);
    // empty before the first call and where the call failed before them.
    const std::string& LastRequest() const noexcept { return lastRequest_; }
    const HttpReply& LastReply() const noexcept { return lastReply_; }

    const std::string& FaultCode() const noexcept { return faultCode_; }
    const std::string& FaultString() const noexcept { return faultString_; }
    const std::string& FaultDetail() const noexcept { return faultDetail_; }
    const std::string& Endpoint() const noexcept { return endpoint_; }
    const ServiceDescription* description() const noexcept { return desc_ ? &*desc_ : nullptr; }

private:
    [[noreturn]] void Fail(const std::string& string, const std::string& detail, const std::string& code = "Client");

    HttpOptions options_;
    std::optional<ServiceDescription> desc_;
    std::string endpoint_;
    bool unreached_ = false;
    std::string faultCode_, faultString_, faultDetail_;
    std::string lastRequest_;
    HttpReply lastReply_;
};

}  // namespace tessel::soap
