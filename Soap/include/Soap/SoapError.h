// Errors of the SOAP toolkit: every failure carries a message a person can
// read; a SOAP fault also carries its code, string and detail.
#pragma once

#include <stdexcept>
#include <string>

namespace tessel::soap {

class SoapError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class SoapFault : public SoapError {
public:
    SoapFault(std::string code, std::string string, std::string detail)
        : SoapError(Describe(code, string, detail)), code_(std::move(code)), string_(std::move(string)),
          detail_(std::move(detail))
    {
    }
    const std::string& faultCode() const noexcept { return code_; }
    const std::string& faultString() const noexcept { return string_; }
    // The detail element's content as XML text (empty when the fault has none).
    const std::string& detail() const noexcept { return detail_; }

private:
    static std::string Describe(const std::string& code, const std::string& string, const std::string& detail)
    {
        std::string s = "SOAP fault " + code + ": " + string;
        if (!detail.empty())
            s += "\n" + detail;
        return s;
    }
    std::string code_, string_, detail_;
};

}  // namespace tessel::soap
