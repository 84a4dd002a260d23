// The login both tool families' core tests start from: the local service on
// a free port with its request log in a temporary home, the token library,
// and the steps a person takes in either family's window to log in.
#pragma once

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "Client/TokenLibrary.h"
#include "RecordingUi.h"
#include "RequestLog.h"
#include "ServiceProcess.h"
#include "TempHome.h"

// The controls of a family's login, by name.
struct LoginControls {
    std::string description;  // the box of the description's URL
    std::string user, password;
    std::string loggedIn;  // the button that is enabled once a session is open
};

// The local service started with `args` and "--log FILE", FILE in a temporary
// home that is also the key container's.
class LoggedService {
public:
    explicit LoggedService(std::vector<std::string> args = {}) : svc(WithLog(std::move(args))) {}

    // Every request the service took, in order, as its log has them.
    std::vector<nlohmann::json> Requests() const { return ReadLog(log); }
    nlohmann::json LastRequest() const { return Requests().back(); }
    // The last request of `operation`; null when there was none.
    nlohmann::json LastOf(const std::string& operation) const
    {
        const std::vector<nlohmann::json> lines = Requests();
        for (auto it = lines.rbegin(); it != lines.rend(); ++it)
            if ((*it)["operation"] == operation)
                return *it;
        return {};
    }

    TempHome home;
    std::string log = home.dir() + "/requests.log";
    ServiceProcess svc;

private:
    std::vector<std::string> WithLog(std::vector<std::string> args) const
    {
        args.push_back("--log");
        args.push_back(log);
        return args;
    }
};

// Types `user` and `password` into their boxes and presses CreateTicket, on a
// core that is connected; the test fails (and returns) unless the session is
// then open. The message boxes shown so far are forgotten.
template <class Core>
void LogIn(Core& core, RecordingUi& ui, const LoginControls& controls, const std::string& user = "tester",
           const std::string& password = "tester")
{
    ui.texts[controls.user] = user;
    ui.texts[controls.password] = password;
    core.CreateTicket();
    ASSERT_TRUE(ui.enabled[controls.loggedIn]) << (ui.boxes.empty() ? "" : ui.boxes.back().text);
    ui.boxes.clear();
}

// Connects to `description` (to what the box holds when empty), then LogIn.
template <class Core>
void ConnectAndLogIn(Core& core, RecordingUi& ui, const LoginControls& controls, const std::string& description = {},
                     const std::string& user = "tester", const std::string& password = "tester")
{
    if (!description.empty())
        ui.texts[controls.description] = description;
    core.Connect();
    LogIn(core, ui, controls, user, password);
}

// A test over the logged service and the token library; Base is the
// GoogleTest base (TestWithParam<...> for a test over a table).
template <class Base = ::testing::Test>
class BasicLoginFixture : public Base, public LoggedService {
protected:
    explicit BasicLoginFixture(std::vector<std::string> serviceArgs = {}) : LoggedService(std::move(serviceArgs)) {}

    tessel::client::TokenLibrary library;
};
using LoginFixture = BasicLoginFixture<>;
