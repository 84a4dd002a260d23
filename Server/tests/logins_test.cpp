// What the service keeps of logins: tickets used once or expired, idle
// sessions closed, replay entries kept only while the window takes them, and
// all of it held to a limit. A Service in-process, whose clock and the
// client's are one scripted clock.
#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <memory>
#include <string>

#include "MultiRefMessages.h"
#include "Service.h"
#include "ServiceProcess.h"
#include "Soap/Packager.h"
#include "Soap/SoapError.h"
#include "Soap/Transport.h"
#include "TempHome.h"
#include "TesselMAC.h"

using namespace tessel;
using namespace tessel::server;
using tessel::soap::SoapFault;

namespace {

constexpr char kBase[] = "http://127.0.0.1:8080";

UtcTime At(std::int64_t seconds)
{
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    gmtime_r(&t, &tm);
    return UtcTime{static_cast<unsigned>(tm.tm_year + 1900), static_cast<unsigned>(tm.tm_mon + 1),
                   static_cast<unsigned>(tm.tm_mday), static_cast<unsigned>(tm.tm_hour),
                   static_cast<unsigned>(tm.tm_min), static_cast<unsigned>(tm.tm_sec), 0};
}

struct Login {
    std::unique_ptr<TokenHandler> tokens;
    std::string verifier;
};

class LoginState : public ::testing::Test {
protected:
    void Start(std::size_t limit = 256u << 20)
    {
        clock->SetTime(At(now));
        ServiceOptions options;
        options.env = clock;
        options.storeLimit = limit;
        options.ticketTtlSeconds = 300;
        options.sessionIdleSeconds = 1800;
        options.timestampWindowSeconds = 300;
        service = std::make_unique<Service>(options);
        main = soap::ParseServiceDescription(service->Get(std::string(kMainDescriptionPath) + ".xml", kBase).body);
    }
    void Advance(std::int64_t seconds) { clock->SetTime(At(now += seconds)); }

    // A plain exchange: the reply's values, or SoapFault.
    soap::ResponseValues Exchange(const std::string& operation, std::map<std::string, std::string> values)
    {
        const soap::OperationDescription& op = *main.Find(operation);
        std::vector<std::pair<std::string, std::string>> params;
        for (const soap::MessagePart& part : op.inputParts)
            params.emplace_back(part.name, values[part.name]);
        return soap::ReadResponse(service->Post(kMainEndpoint, soap::BuildRequest(main, op, params), kBase).body);
    }
    std::string Ticket()
    {
        return *Exchange("CreateTicket", {{"realm", "r"}, {"principal", "tester"}, {"credential", "tester"}})
                    .Find("result");
    }
    Login Open(const std::string& ticket)
    {
        Login login{CreateTokenHandler(std::nullopt, clock), ""};
        OptText scheme, seed;
        login.tokens->GetTokenScheme(scheme);
        login.tokens->GetTokenSeed(seed);
        login.tokens->SetTokenSeed(seed);
        const soap::ResponseValues opened =
            Exchange("OpenSession", {{"service", "tsc"}, {"ticket", ticket}, {"tokenScheme", TextToUtf8(*scheme)},
                                     {"tokenSeed", TextToUtf8(*seed)}});
        login.verifier = *opened.Find("verifier");
        login.tokens->SetTokenItem(Text(kItemSessionKey), Utf8ToText(*opened.Find("sessionKey")));
        login.tokens->SetTokenItem(Text(kItemOpaque), Utf8ToText(login.verifier));
        return login;
    }
    // A token for GetLog logID=1, and the call with it: the result, or SoapFault.
    std::string Token(Login& login)
    {
        login.tokens->SetTokenData(0, TOKEN_DATA_OWN_COPIES, u"GetLog", Text());
        login.tokens->SetTokenData(1, TOKEN_DATA_OWN_COPIES, u"logID", u"1");
        OptText token;
        login.tokens->ConstructToken(token);
        return TextToUtf8(*token);
    }
    std::string Call(const std::string& token)
    {
        return *Exchange("GetLog", {{"user", token}, {"logID", "1"}}).Find("result");
    }
    static std::string FaultOf(const std::function<void()>& f)
    {
        try {
            f();
        } catch (const SoapFault& fault) {
            return fault.faultString() + " | " + fault.detail();
        }
        return "(no fault)";
    }

    TempHome home;
    std::shared_ptr<ScriptedEnvironment> clock = std::make_shared<ScriptedEnvironment>();
    std::int64_t now = 1'767'225'600;  // 2026-01-01
    std::unique_ptr<Service> service;
    soap::ServiceDescription main;
};

}  // namespace

TEST_F(LoginState, ATicketOpensOneSessionWithinItsTimeAndItsFaultDoesNotRepeatIt)
{
    Start();
    const std::size_t empty = service->LoginBytes();
    const std::string used = Ticket();
    EXPECT_GT(service->LoginBytes(), empty);
    Open(used);
    const std::string again = FaultOf([&] { Open(used); });
    EXPECT_EQ(again.rfind("Unknown ticket | ", 0), 0u) << again;
    EXPECT_EQ(again.find(used), std::string::npos) << again;

    // Just within its time a ticket opens a session, past it not.
    const std::string early = Ticket(), late = Ticket();
    Advance(299);
    Open(early);
    Advance(2);
    const std::string expired = FaultOf([&] { Open(late); });
    EXPECT_EQ(expired.rfind("Unknown ticket | ", 0), 0u) << expired;
    EXPECT_EQ(expired.find(late), std::string::npos) << expired;

    // Tickets nobody used are dropped, and so is what they were charged.
    const std::size_t before = service->LoginBytes();
    for (int i = 0; i < 100; ++i)
        Ticket();
    EXPECT_EQ(service->LoginBytes(), before + 100 * kTicketBytes);
    Advance(301);
    EXPECT_EQ(service->LoginBytes(), before);
}

TEST_F(LoginState, ASessionIdleTooLongIsClosed)
{
    Start();
    const std::size_t empty = service->LoginBytes();
    Login kept = Open(Ticket()), idle = Open(Ticket());
    EXPECT_EQ(Call(Token(kept)).rfind("<log ", 0), 0u);
    EXPECT_EQ(Call(Token(idle)).rfind("<log ", 0), 0u);
    // Each use starts its idle time again.
    for (int i = 0; i < 3; ++i) {
        Advance(1000);
        EXPECT_EQ(Call(Token(kept)).rfind("<log ", 0), 0u);
    }
    const std::string closed = FaultOf([&] { Call(Token(idle)); });
    EXPECT_EQ(closed.rfind("Unknown session | ", 0), 0u) << closed;
    Advance(1801);
    EXPECT_EQ(FaultOf([&] { Call(Token(kept)); }).rfind("Unknown session | ", 0), 0u);
    EXPECT_EQ(service->LoginBytes(), empty);
}

TEST_F(LoginState, ASessionForgetsTheRequestsTheWindowNoLongerTakes)
{
    Start();
    Login login = Open(Ticket());
    const std::size_t opened = service->LoginBytes();
    std::string first;
    for (int i = 0; i < 50; ++i) {
        const std::string token = Token(login);
        Call(token);
        if (i == 0)
            first = token;
    }
    EXPECT_EQ(service->LoginBytes(), opened + 50 * kReplayEntryBytes);
    // A replay within the window is refused by its nonce.
    EXPECT_NE(FaultOf([&] { Call(first); }).find("already used"), std::string::npos);

    Advance(301);
    Call(Token(login));
    EXPECT_EQ(service->LoginBytes(), opened + kReplayEntryBytes);
    // What was forgotten cannot come back: its time stamp is out of the window.
    EXPECT_NE(FaultOf([&] { Call(first); }).find("from the server's clock"), std::string::npos);
}

TEST_F(LoginState, TicketsSessionsAndRequestsAreHeldToALimitOfTheirOwn)
{
    Start(1u << 20);
    Login login = Open(Ticket());
    int issued = 0;
    std::string full;
    while (full.empty() && issued < 10000) {
        try {
            Ticket();
            ++issued;
        } catch (const SoapFault& f) {
            full = f.faultString();
        }
    }
    EXPECT_EQ(full, "The service holds too many logins (--store-limit 1 MB)");
    EXPECT_LE(service->LoginBytes(), std::size_t{1} << 20);
    EXPECT_GT(issued, 3000);
    // A call needs room to remember its nonce; the store itself is not full.
    EXPECT_EQ(FaultOf([&] { Call(Token(login)); }).rfind("The service holds too many logins", 0), 0u);
    // Expired tickets make room again.
    Advance(301);
    EXPECT_EQ(Call(Token(login)).rfind("<log ", 0), 0u);
    EXPECT_EQ(Ticket().rfind("TKT-", 0), 0u);
}

// The running service refuses a request whose accessors share one large
// value, before the copies cost more than a small multiple of the request.
TEST(LoginsProcess, SharedValuesCostTheServiceAtMostASmallMultipleOfTheRequest)
{
    TempHome home;
    ServiceProcess svc;
    const auto peakMiB = [&] {
        std::ifstream status("/proc/" + std::to_string(svc.pid()) + "/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind("VmHWM:", 0) == 0)
                return std::stol(line.substr(6)) / 1024;
        return -1L;
    };
    const long before = peakMiB();
    // 900 kB: 400 accessors of one value would be 360 MB of copies.
    const std::string request = soap::samples::SharedValueMessage("GetLog", 400, 900'000);
    soap::Transport raw;
    const std::string reply = raw.PostToURI(svc.Url(kMainEndpoint), request);
    EXPECT_EQ(raw.lastStatus(), 500);
    EXPECT_NE(reply.find("the message repeats a value too often"), std::string::npos) << reply.substr(0, 2000);
    const long after = peakMiB();
    std::printf("[ memory ] service peak %ld MiB before the request, %ld MiB after\n", before, after);
    EXPECT_LT(after - before, 64);
}
