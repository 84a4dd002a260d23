// One SOAP 1.0 tool's core against the local service, through the real token
// library, with a recording window; the service writes a request log. For
// tests that link the tools (TesselSoap1Tools).
#pragma once

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "RecordingUi.h"
#include "RequestLog.h"
#include "ServiceProcess.h"
#include "TempHome.h"
#include "Tester/TesterCore.h"
#include "Tester/ToolRegistry.h"

class ToolSession {
public:
    explicit ToolSession(const std::string& program, std::vector<std::string> serviceArgs = {})
        : svc(WithLog(std::move(serviceArgs))), tool(*tessel::tester::FindTool(program))
    {
        core.Start();
        ui.texts["txtURI"] = svc.MainDescription();
    }

    // Connects to `description` (the service's own by default).
    void Connect(const std::string& description = {})
    {
        if (!description.empty())
            ui.texts["txtURI"] = description;
        core.Connect();
    }
    // Connects when not connected yet, logs in, and forgets the boxes so far.
    void LogIn(const std::string& user = "tester", const std::string& password = "tester")
    {
        if (!ui.enabled["btnListWSDataMethods"])
            Connect();
        ui.texts["UserKey"] = user;
        ui.texts[tool.passwordBox] = password;
        core.CreateTicket();
        ASSERT_TRUE(ui.enabled["CloseSession"]) << (ui.boxes.empty() ? "" : ui.boxes.back().text);
        Forget();
    }
    // The admin connection at `description` (the service's own by default).
    void ConnectAdmin(const std::string& description = {})
    {
        ui.texts[tool.admin->uriBox] = description.empty() ? svc.AdminDescription() : description;
        core.ConnectAdmin();
    }
    void Forget()
    {
        ui.boxes.clear();
        ui.events.clear();
        ui.enabling.clear();
    }

    std::vector<nlohmann::json> Requests() const { return ReadLog(log); }
    nlohmann::json LastRequest() const { return Requests().back(); }
    // The value the last request carried for parameter `name`.
    std::string LastSent(const std::string& name) const
    {
        const nlohmann::json last = LastRequest();
        for (const nlohmann::json& p : last["parameters"])
            if (p[0] == name)
                return p[1];
        ADD_FAILURE() << "the last request carried no " << name;
        return {};
    }

    TempHome home;
    std::string log = home.dir() + "/requests.log";
    ServiceProcess svc;
    const tessel::tester::ToolDefinition& tool;
    RecordingUi ui;
    tessel::client::TokenLibrary library;
    tessel::tester::TesterCore core{tool, ui, library};

private:
    std::vector<std::string> WithLog(std::vector<std::string> args) const
    {
        args.push_back("--log");
        args.push_back(log);
        return args;
    }
};
