// A client of the local service as the SOAP 1.0 tools are: the toolkit's
// packager and transport, and the token library loaded by name.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "Client/SessionMessages.h"
#include "Soap/Packager.h"
#include "Soap/SoapError.h"
#include "Soap/Transport.h"
#include "TokenExports.h"

// The fault string and detail that f raised, or "(no fault)".
inline std::string FaultOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const tessel::soap::SoapFault& e) {
        return e.faultString() + " | " + e.detail();
    }
    return "(no fault)";
}

struct CallResult {
    std::string reply;      // the reply body
    std::string result;     // "result" as it came
    std::string reskey;     // the server's token
    TesselHResult validation = 0;
    std::string decoded;    // slot 1 after validation
    int32_t kind = -1;
};

class TesselClient {
public:
    explicit TesselClient(const std::string& descriptionUrl) { UseDescription(descriptionUrl); }
    // Sends later calls by another description (the admin one), same session.
    void UseDescription(const std::string& descriptionUrl)
    {
        tessel::soap::Packager p;
        if (!p.LoadServicesDescription(1, descriptionUrl))
            throw std::runtime_error(p.LastError());
        description_ = p.GetDescriptionText();
        const auto item = p.GetCatalog(0).locations.at(0);
        endpoint_ = std::get<tessel::soap::ServiceLocation>(item).URI;
    }
    ~TesselClient()
    {
        if (handle_)
            Lib::Get().Release(handle_);
    }
    TesselClient(const TesselClient&) = delete;
    TesselClient& operator=(const TesselClient&) = delete;

    // A plain exchange: the reply body.
    std::string Exchange(const std::string& method, const std::vector<std::pair<std::string, std::string>>& params)
    {
        tessel::soap::Packager p;
        p.LoadServicesDescription(2, description_);
        p.SetMethodPayload(0, "", method, p.GetMethodTemplate(method, 0));
        for (const auto& [n, v] : params)
            p.SetParameter(0, n, v);
        const std::string request = p.GetPayload(0);
        tessel::soap::Transport t;
        t.AddStandardHeaders(endpoint_, method, request.size(), p.SoapAction(method));
        return t.PostToURI(endpoint_, request);
    }
    static std::string Param(const std::string& reply, const std::string& name)
    {
        tessel::soap::Packager p;
        p.SetPayload(1, reply);
        return p.GetParameter(1, name);
    }

    // CreateTicket, the token handler, OpenSession; false when no ticket came back.
    bool Login(const std::string& user, const std::string& password)
    {
        ticket_ = Param(Exchange("CreateTicket", tessel::client::SessionParams(
                                                     "CreateTicket",
                                                     {"LDAP://ldap.example.test", "example.test", user, password, ""})),
                        "result");
        if (ticket_.empty())
            return false;
        Lib& lib = Lib::Get();
        if (lib.Acquire("", &handle_) != 0)
            throw std::runtime_error("AcquireTokenHandler failed");
        const std::string scheme = Text(lib.GetScheme, 255), seed = Text(lib.GetSeed, 255);
        lib.SetSeed(handle_, seed.c_str());
        const std::string reply = Exchange(
            "OpenSession", tessel::client::SessionParams("OpenSession", {"tsc", ticket_, scheme, seed, "", ""}));
        sessionKey_ = Param(reply, "sessionKey");
        verifier_ = Param(reply, "verifier");
        lib.SetItem(handle_, "SessionKey", sessionKey_.c_str());
        lib.SetItem(handle_, "Opaque", verifier_.c_str());
        return true;
    }
    std::string Logout()
    {
        return Exchange("CloseSession", tessel::client::SessionParams("CloseSession", {sessionKey_, verifier_}));
    }

    // The authenticated call: token over slot 0 (the method) and the
    // parameters, "user" first and "reskey" last, then the reply's validation.
    CallResult Call(const std::string& method, const std::vector<std::pair<std::string, std::string>>& params)
    {
        Lib& lib = Lib::Get();
        lib.SetData(handle_, 0, 0, method.c_str(), "");
        for (std::size_t i = 0; i < params.size(); ++i)
            lib.SetData(handle_, static_cast<int32_t>(i + 1), 0, params[i].first.c_str(), params[i].second.c_str());
        std::vector<std::pair<std::string, std::string>> all = {{"user", Text(lib.Construct, 1024)}};
        all.insert(all.end(), params.begin(), params.end());
        all.emplace_back("reskey", "");
        return Finish(method, Exchange(method, all));
    }
    CallResult Finish(const std::string& method, const std::string& reply)
    {
        CallResult r;
        r.reply = reply;
        r.result = Param(reply, "result");  // raises SoapFault for a fault
        r.reskey = Param(reply, "reskey");
        Lib& lib = Lib::Get();
        lib.SetData(handle_, 0, 0, method.c_str(), "");
        lib.SetData(handle_, 1, 0, "result", r.result.c_str());
        r.validation = lib.Validate(handle_, r.reskey.c_str());
        std::vector<char> buf(r.result.size() * 1100 + 1024 * 1024);
        char* ptr = buf.data();
        int32_t len = static_cast<int32_t>(buf.size() - 1);
        lib.GetData(handle_, 1, &r.kind, &len, &ptr);
        r.decoded.assign(buf.data(), static_cast<std::size_t>(len));
        return r;
    }

    TesselTokenHandle handle() const { return handle_; }
    const std::string& endpoint() const { return endpoint_; }
    void SetEndpoint(std::string e) { endpoint_ = std::move(e); }
    const std::string& ticket() const { return ticket_; }

private:
    std::string Text(TesselHResult (*f)(TesselTokenHandle, int32_t*, char**), int capacity)
    {
        std::vector<char> buf(static_cast<std::size_t>(capacity) + 1);
        char* ptr = buf.data();
        int32_t len = capacity;
        if (f(handle_, &len, &ptr) != 0)
            throw std::runtime_error("token library call failed");
        return std::string(buf.data(), static_cast<std::size_t>(len));
    }

    std::string description_, endpoint_, ticket_, sessionKey_, verifier_;
    TesselTokenHandle handle_ = 0;
};
