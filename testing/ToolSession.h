// One SOAP 1.0 tool's core against the local service, through the real token
// library, with a recording window; the service writes a request log. For
// tests that link the tools (TesselSoap1Tools).
#pragma once

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "LoginFixture.h"
#include "RecordingUi.h"
#include "Tester/TesterCore.h"
#include "Tester/ToolRegistry.h"

// A SOAP 1.0 tool's login controls.
inline LoginControls Soap1Login(const tessel::tester::ToolDefinition& tool)
{
    return {.description = "txtURI", .user = "UserKey", .password = tool.passwordBox, .loggedIn = "CloseSession"};
}

class ToolSession : public LoggedService {
public:
    explicit ToolSession(const std::string& program, std::vector<std::string> serviceArgs = {})
        : LoggedService(std::move(serviceArgs)), tool(*tessel::tester::FindTool(program))
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
        ::LogIn(core, ui, Soap1Login(tool), user, password);
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

    const tessel::tester::ToolDefinition& tool;
    RecordingUi ui;
    tessel::client::TokenLibrary library;
    tessel::tester::TesterCore core{tool, ui, library};
};
