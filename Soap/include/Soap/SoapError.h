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
    SoapFault(std::string code, std::string string, std::string detail, std::string detailXml = {})
        : SoapError(Describe(code, string, detail)), code_(std::move(code)), string_(std::move(string)),
          detail_(std::move(detail)), detailXml_(std::move(detailXml))
    {
    }
    const std::string& faultCode() const noexcept { return code_; }
    const std::string& faultString() const noexcept { return string_; }
    // The detail's text: the text of each detail entry (the detail element's
    // child elements), one entry a line, or the detail's own character data
    // where a server puts its text there (empty when the fault has no detail).
    const std::string& detail() const noexcept { return detail_; }
    // The detail element's content as XML text, as it came.
    const std::string& detailXml() const noexcept { return detailXml_; }

private:
    static std::string Describe(const std::string& code, const std::string& string, const std::string& detail)
    {
        std::string s = "SOAP fault " + code + ": " + string;
        if (!detail.empty())
            s += "\n" + detail;
        return s;
    }
    std::string code_, string_, detail_, detailXml_;
};

}  // namespace tessel::soap
