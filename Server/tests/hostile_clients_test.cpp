// The local service against clients that are slow, idle, many, or send
// hostile data: the others are still answered and nothing grows without bound.
#include <gtest/gtest.h>

#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <thread>
#include <vector>

#include "RawConnection.h"
#include "RequestLog.h"
#include "ServiceProcess.h"
#include "TempHome.h"
#include "TesselClient.h"

namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The start of a request that a slow client sends a byte at a time.
const std::string kSlowRequest =
    "POST /TesselService/TesselServiceCore.asmx HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: text/xml\r\n"
    "Content-Length: 100000\r\n\r\n<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\"><e:Body>";

// Sends one more byte of kSlowRequest on each connection every `every`,
// for `lasting` or until it goes out of scope.
class Drip {
public:
    Drip(std::vector<std::unique_ptr<RawConnection>>& connections, std::chrono::milliseconds every,
         std::chrono::seconds lasting)
        : thread_([&connections, every, end = Clock::now() + lasting, this] {
              for (std::size_t at = 0; at < kSlowRequest.size() && Clock::now() < end && !stop_; ++at) {
                  for (const auto& c : connections)
                      c->Send(kSlowRequest.substr(at, 1));
                  for (auto slept = std::chrono::milliseconds(0); slept < every && !stop_; slept += every / 10)
                      std::this_thread::sleep_for(every / 10);
              }
              finished_ = true;
          })
    {
    }
    ~Drip()
    {
        stop_ = true;
        thread_.join();
    }
    // Whether it has sent its last byte.
    bool Finished() const { return finished_; }

private:
    std::atomic<bool> stop_{false}, finished_{false};
    std::thread thread_;
};

// A request parameter as the client's token slot holds it.
struct Slot {
    std::string name, value;
    int32_t kind = TESSEL_TOKEN_DATA_PLAIN;
};

// An authenticated call whose parameters go into the token with their own
// kinds and are sent as the token library converted them, or as `sent` says.
std::string CallWithKinds(TesselClient& c, const std::string& method, const std::vector<Slot>& params,
                          const std::map<std::string, std::string>& sent = {})
{
    Lib& lib = Lib::Get();
    lib.SetData(c.handle(), 0, 0, method.c_str(), "");
    for (std::size_t i = 0; i < params.size(); ++i)
        lib.SetData(c.handle(), static_cast<int32_t>(i + 1), params[i].kind, params[i].name.c_str(),
                    params[i].value.c_str());
    const auto text = [&](const std::function<TesselHResult(int32_t*, char**)>& f, std::size_t capacity) {
        std::vector<char> buf(capacity + 1);
        char* ptr = buf.data();
        auto length = static_cast<int32_t>(capacity);
        if (f(&length, &ptr) != 0)
            throw std::runtime_error("token library call failed");
        return std::string(buf.data(), static_cast<std::size_t>(length));
    };
    std::vector<std::pair<std::string, std::string>> all = {
        {"user", text([&](int32_t* n, char** b) { return lib.Construct(c.handle(), n, b); }, 1024)}};
    for (std::size_t i = 0; i < params.size(); ++i) {
        const auto given = sent.find(params[i].name);
        all.emplace_back(params[i].name, given != sent.end() ? given->second : text([&](int32_t* n, char** b) {
            return lib.GetData(c.handle(), static_cast<int32_t>(i + 1), nullptr, n, b);
        }, 2 * params[i].value.size() + 1024));
    }
    all.emplace_back("reskey", "");
    return c.Exchange(method, all);
}

// Resumes a stopped process when it goes out of scope.
struct Resume {
    pid_t pid;
    ~Resume() { kill(pid, SIGCONT); }
};

class HostileClients : public ::testing::Test {
protected:
    TempHome home;
};

}  // namespace

TEST_F(HostileClients, SlowAndIdleConnectionsLeaveRoomForANewClient)
{
    ServiceProcess svc;
    // The same login and call on the idle service, for comparison.
    auto start = Clock::now();
    TesselClient quiet(svc.MainDescription());
    ASSERT_TRUE(quiet.Login("tester", "tester"));
    const double quietLogin = MillisecondsSince(start);
    start = Clock::now();
    EXPECT_EQ(quiet.Call("GetVOList", {}).decoded, "ByURI;Name1;Name3;Name4");
    const double quietCall = MillisecondsSince(start);

    // 256 connections that trickle a request and 256 that send nothing, from
    // four addresses that are not the new client's.
    constexpr int kEach = 256;
    const char* const from[] = {"127.0.0.2", "127.0.0.3", "127.0.0.4", "127.0.0.5"};
    std::vector<std::unique_ptr<RawConnection>> slow, idle;
    for (int i = 0; i < kEach; ++i) {
        slow.push_back(std::make_unique<RawConnection>(svc.port(), true, from[i % 4]));
        idle.push_back(std::make_unique<RawConnection>(svc.port(), true, from[i % 4]));
    }
    const Drip drip(slow, std::chrono::milliseconds(500), std::chrono::seconds(30));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    start = Clock::now();
    TesselClient c(svc.MainDescription());
    ASSERT_TRUE(c.Login("tester", "tester"));
    const double login = MillisecondsSince(start);
    start = Clock::now();
    EXPECT_EQ(c.Call("GetVOList", {}).decoded, "ByURI;Name1;Name3;Name4");
    const double call = MillisecondsSince(start);
    // Answered while every slow and idle connection is still open: none was
    // refused, and none had to time out to make room.
    EXPECT_FALSE(drip.Finished());
    int open = 0;
    for (const auto* all : {&slow, &idle})
        for (const auto& connection : *all)
            open += connection->Open();
    EXPECT_EQ(open, 2 * kEach);
    std::printf("[ slow ] idle service: description and login %.1f ms, a call %.1f ms; with %d trickling and %d idle "
                "connections open: %.1f ms and %.1f ms\n",
                quietLogin, quietCall, kEach, kEach, login, call);
}

TEST_F(HostileClients, ARequestMustArriveWholeWithinItsTime)
{
    ServiceProcess svc({"--request-timeout", "2"});
    std::vector<std::unique_ptr<RawConnection>> slow;
    slow.push_back(std::make_unique<RawConnection>(svc.port()));
    const auto start = Clock::now();
    const Drip drip(slow, std::chrono::milliseconds(100), std::chrono::seconds(15));
    const std::string answer = slow.front()->Receive(15000);
    const double ms = MillisecondsSince(start);
    EXPECT_EQ(answer.rfind("HTTP/1.1 408 Request Timeout\r\n", 0), 0u) << answer;
    EXPECT_NE(answer.find("within 2 s"), std::string::npos) << answer;
    EXPECT_FALSE(drip.Finished());  // answered before the request could end
    std::printf("[ slow ] a request dripping one byte every 100 ms was answered 408 after %.0f ms\n", ms);

    // So must its body.
    const RawConnection partial(svc.port());
    partial.Send(kSlowRequest);
    const std::string late = partial.Receive(15000);
    EXPECT_EQ(late.rfind("HTTP/1.1 408 Request Timeout\r\n", 0), 0u) << late;

    // A request that arrives whole in time is served on the same terms.
    TesselClient c(svc.MainDescription());
    EXPECT_TRUE(c.Login("tester", "tester"));
}

TEST_F(HostileClients, ConnectionsWaitingToBeAcceptedAreQueuedNotDropped)
{
    ServiceProcess svc;
    // While the service is stopped, nothing is accepted: every connection
    // waits in the listen queue.
    ASSERT_EQ(kill(svc.pid(), SIGSTOP), 0);
    int established = 0;
    {
        const Resume resume{svc.pid()};
        std::vector<std::unique_ptr<RawConnection>> waiting;
        for (int i = 0; i < 48; ++i)
            waiting.push_back(std::make_unique<RawConnection>(svc.port(), false));
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        for (const auto& c : waiting)
            established += c->Connected(2000);  // at once when the handshake is done
    }
    EXPECT_EQ(established, 48);

    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    TesselClient c(svc.MainDescription());
    EXPECT_TRUE(c.Login("tester", "tester"));
}

TEST_F(HostileClients, CompressedParametersAreInflatedOnlyOnceTheTokenHolds)
{
    ServiceProcess svc;
    TesselClient c(svc.MainDescription());
    ASSERT_TRUE(c.Login("tester", "tester"));
    const std::string text(100000, 'y');
    const auto put = [&](const std::string& name, const std::map<std::string, std::string>& sent) {
        return FaultOf([&] {
            TesselClient::Param(CallWithKinds(c, "PutVOContent",
                                              {{"name", name}, {"content", text, TESSEL_TOKEN_DATA_COMPRESSED}}, sent),
                                "result");
        });
    };
    // Data that is not what the token's hash covers is refused before it is
    // inflated, even when it would not inflate at all.
    EXPECT_NE(put("Altered", {{"content", "bm90IGNvbXByZXNzZWQ="}}).find("hash does not match"), std::string::npos);
    EXPECT_NE(FaultOf([&] { c.Call("GetVOContent", {{"name", "Altered"}}); }).find("No VO content"),
              std::string::npos);
    // The data the token covers is inflated and stored as it was before compression.
    EXPECT_EQ(put("Packed", {}), "(no fault)");
    EXPECT_EQ(c.Call("GetVOContent", {{"name", "Packed"}}).decoded, text);
}

TEST_F(HostileClients, TheCompressedParametersOfARequestInflateToAtMostTheBodyLimit)
{
    ServiceProcess svc;
    TesselClient c(svc.MainDescription());
    ASSERT_TRUE(c.Login("tester", "tester"));
    // Each inflates to 18 MB, below the 32 MB limit; together they pass it.
    const std::string big(9u << 20, 'x');
    const std::string fault = FaultOf([&] {
        TesselClient::Param(CallWithKinds(c, "PutVOContent",
                                          {{"name", big, TESSEL_TOKEN_DATA_COMPRESSED},
                                           {"content", big, TESSEL_TOKEN_DATA_COMPRESSED}}),
                            "result");
    });
    EXPECT_NE(fault.find("would inflate to 37748740 bytes, more than the 33554432 allowed"), std::string::npos)
        << fault;
    EXPECT_TRUE(c.Call("GetVOList", {}).decoded == "ByURI;Name1;Name3;Name4") << "the refused put stored something";
}

TEST_F(HostileClients, AFloodOfPutsStopsAtTheStoreLimit)
{
    ServiceProcess svc({"--store-limit", "1"});
    TesselClient c(svc.MainDescription());
    ASSERT_TRUE(c.Login("tester", "tester"));
    const std::string content(100000, 'f');
    int stored = 0;
    std::string full = "(no fault)";
    for (; stored < 50 && full == "(no fault)"; ++stored)
        full = FaultOf([&] {
            c.Call("PutVOContent", {{"name", "F" + std::to_string(stored)}, {"content", content}});
        });
    --stored;
    EXPECT_EQ(stored, 10);
    EXPECT_EQ(full.rfind("The store is full (--store-limit 1 MB) | ", 0), 0u) << full;
    EXPECT_NE(FaultOf([&] { c.Call("PutLog", {{"log", content}}); }).find("store is full"), std::string::npos);

    // Reads and deletes go on, and what a delete frees can be used again.
    EXPECT_EQ(c.Call("GetVOContent", {{"name", "F0"}}).decoded, content);
    EXPECT_EQ(c.Call("RemoveVOContent", {{"name", "F0"}}).decoded, "OK");
    EXPECT_EQ(c.Call("PutVOContent", {{"name", "Again"}, {"content", content}}).decoded, "tessel://tester/Again");
}

TEST_F(HostileClients, TheRequestLogKeepsTheStartOfEachValueAndItsLength)
{
    const std::string log = home.dir() + "/requests.log";
    ServiceProcess svc({"--log", log});
    TesselClient c(svc.MainDescription());
    // Requests of no session, each with a value of 2,000,000 characters.
    const std::string big = "\xC3\xA9" + std::string(1999999, 'v');  // starts with a two-byte character
    for (int i = 0; i < 3; ++i)
        c.Exchange("PutVOContent", {{"user", "forged:V0"}, {"name", "n"}, {"content", big}, {"reskey", ""}});
    std::vector<std::pair<std::string, std::string>> many = {{"user", "forged:V0"}};
    for (int i = 0; i < 200; ++i)
        many.emplace_back("p" + std::to_string(i), std::string(300, 'm'));
    c.Exchange("GetVOList", many);

    EXPECT_LT(std::filesystem::file_size(log), 64u * 1024);
    const auto lines = ReadLog(log);
    ASSERT_EQ(lines.size(), 4u);
    const auto& content = lines[0]["parameters"][2];
    EXPECT_EQ(content[0], "content");
    EXPECT_EQ(content[1], big.substr(0, 257));  // 256 characters, the first of two bytes
    EXPECT_EQ(content[2], 2000000);
    EXPECT_EQ(lines[0]["token"], "unknown session");
    EXPECT_EQ(lines[3]["parameters"].size(), 64u);
    EXPECT_EQ(lines[3]["parameterCount"], 202);  // with the "reskey" of the operation's template
}
