// The service's request log: a line for every answer, passwords masked, and
// the file let go and begun again on SIGHUP (for log rotation).
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "RawConnection.h"
#include "RequestLog.h"
#include "ServiceProcess.h"
#include "Soap/Transport.h"
#include "TempHome.h"
#include "TesselClient.h"

namespace {

std::string FileText(const std::string& path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The answer lines with the given status.
std::vector<nlohmann::json> WithStatus(const std::vector<nlohmann::json>& lines, int status)
{
    std::vector<nlohmann::json> found;
    for (const auto& line : lines)
        if (line["status"] == status)
            found.push_back(line);
    return found;
}

class RequestLog : public ::testing::Test {
protected:
    TempHome home;
    const std::string log = home.dir() + "/requests.log";
};

}  // namespace

TEST_F(RequestLog, ShowsNoPasswordOfALoginRightOrWrong)
{
    ServiceProcess svc({"--user", "alice:Pa55-w0rd!", "--log", log});
    TesselClient wrong(svc.MainDescription());
    EXPECT_FALSE(wrong.Login("alice", "Pa55-w0rd?"));
    TesselClient alice(svc.MainDescription());
    ASSERT_TRUE(alice.Login("alice", "Pa55-w0rd!"));
    EXPECT_EQ(alice.Call("GetLogCount", {}).validation, 0);

    const std::string text = FileText(log);
    EXPECT_EQ(text.find("Pa55-w0rd"), std::string::npos) << text;
    int tickets = 0;
    for (const auto& line : ReadLog(log)) {
        if (line["operation"] != "CreateTicket")
            continue;
        ++tickets;
        EXPECT_EQ(line["parameters"][2], LoggedParameter("principal", "alice"));  // the user name stays
        EXPECT_EQ(line["parameters"][3], LoggedParameter("credential", "********"));
        EXPECT_EQ(line["status"], 200);
        EXPECT_EQ(line["method"], "POST");
        EXPECT_EQ(line["path"], "/TesselService/TesselServiceCore.asmx");
    }
    EXPECT_EQ(tickets, 2);
}

TEST_F(RequestLog, HasALineForEveryAnswerThePagesOfTheServiceToo)
{
    ServiceProcess svc({"--log", log, "--request-timeout", "1"});
    EXPECT_EQ(tessel::soap::HttpGet(svc.Url("/TesselService/TesselServiceCore.xml")).status, 200);
    EXPECT_EQ(tessel::soap::HttpGet(svc.Url("/nothing/here")).status, 404);
    EXPECT_EQ(tessel::soap::HttpGet(svc.Url("/TesselService/TesselServiceCore.asmx")).status, 405);
    {
        const RawConnection c(svc.port());
        c.Send("DELETE /TesselService/TesselServiceCore.asmx HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
        EXPECT_EQ(c.Receive(5000).rfind("HTTP/1.1 405", 0), 0u);
    }
    {
        const RawConnection c(svc.port());
        c.Send("POST /elsewhere HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\nContent-Length: 2\r\n\r\nhi");
        EXPECT_EQ(c.Receive(5000).rfind("HTTP/1.1 404", 0), 0u);
    }
    {
        const RawConnection c(svc.port());
        c.Send("POST /TesselService/TesselServiceCore.asmx HTTP/1.1\r\nHost: 127.0.0.1\r\n"
               "Content-Length: 999999999999\r\n\r\n");
        EXPECT_EQ(c.Receive(5000).rfind("HTTP/1.1 413", 0), 0u);
    }
    {
        const RawConnection c(svc.port());
        c.Send("POST /TesselService/TesselServiceCore.asmx HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 50\r\n\r\n<");
        EXPECT_EQ(c.Receive(10000).rfind("HTTP/1.1 408", 0), 0u);
    }
    TesselClient c(svc.MainDescription());  // one more description
    ASSERT_TRUE(c.Login("tester", "tester"));

    const auto lines = ReadAnswers(log);
    const auto got = [&](int status, const std::string& method, const std::string& path) {
        for (const auto& line : WithStatus(lines, status))
            if (line["method"] == method && line["path"] == path)
                return true;
        return false;
    };
    EXPECT_TRUE(got(200, "GET", "/TesselService/TesselServiceCore.xml"));
    EXPECT_TRUE(got(404, "GET", "/nothing/here"));
    EXPECT_TRUE(got(405, "GET", "/TesselService/TesselServiceCore.asmx"));
    EXPECT_TRUE(got(405, "DELETE", "/TesselService/TesselServiceCore.asmx"));
    EXPECT_TRUE(got(404, "POST", "/elsewhere"));
    EXPECT_TRUE(got(413, "POST", "/TesselService/TesselServiceCore.asmx"));
    EXPECT_TRUE(got(408, "POST", "/TesselService/TesselServiceCore.asmx"));
    // A page of the service's own names no operation; a SOAP call does.
    for (const auto& line : lines) {
        EXPECT_TRUE(line.contains("time"));
        EXPECT_EQ(line.contains("operation"), line["status"] == 200 && line["method"] == "POST") << line;
    }
    EXPECT_EQ(ReadLog(log).size(), 2u);  // CreateTicket, OpenSession
}

TEST_F(RequestLog, SighupBeginsTheFileAgainAndTheServiceGoesOn)
{
    ServiceProcess svc({"--log", log});
    EXPECT_EQ(tessel::soap::HttpGet(svc.Url("/before")).status, 404);
    std::filesystem::rename(log, log + ".1");  // as a log rotation does
    ASSERT_EQ(kill(svc.pid(), SIGHUP), 0);
    // The signal is taken soon; until then the lines go to the renamed file.
    for (int i = 0; i < 100 && !std::filesystem::exists(log); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(std::filesystem::exists(log));
    EXPECT_EQ(tessel::soap::HttpGet(svc.Url("/after")).status, 404);

    const auto rotated = ReadAnswers(log + ".1"), fresh = ReadAnswers(log);
    ASSERT_EQ(rotated.size(), 1u);
    EXPECT_EQ(rotated[0]["path"], "/before");
    ASSERT_EQ(fresh.size(), 1u);
    EXPECT_EQ(fresh[0]["path"], "/after");

    // Without a log, SIGHUP changes nothing either.
    ServiceProcess quiet;
    ASSERT_EQ(kill(quiet.pid(), SIGHUP), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(tessel::soap::HttpGet(quiet.Url("/")).status, 200);
    EXPECT_EQ(quiet.Stop(), 0);
    EXPECT_EQ(svc.Stop(), 0);
}
