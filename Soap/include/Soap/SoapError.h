// Errors of the SOAP toolkit: every failure carries a message a person can
// read; a SOAP fault also carries its code, string and detail.
#pragma once

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>

namespace tessel::soap {

class SoapError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A step given up because the person using the kit cancelled it; its text
// says so ("cancelled after 3 s, before http://... answered").
class Cancelled : public SoapError {
public:
    using SoapError::SoapError;
};

// The cancel flag of a long step (another thread raises it) and when the step
// started. Check raises Cancelled "cancelled after N s, " + `during` once the
// flag is up; without a flag it never does.
class CancelCheck {
public:
    CancelCheck() = default;
    explicit CancelCheck(const std::atomic<bool>* flag,
                         std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now())
        : flag_(flag), started_(started)
    {
    }
    bool Raised() const noexcept { return flag_ && flag_->load(); }
    void Check(const char* during) const
    {
        if (Raised())
            Throw(during);
    }
    [[noreturn]] void Throw(const std::string& during) const
    {
        const auto seconds =
            std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started_).count();
        throw Cancelled("cancelled after " + std::to_string(seconds) + " s, " + during);
    }

private:
    const std::atomic<bool>* flag_ = nullptr;
    std::chrono::steady_clock::time_point started_{};
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
