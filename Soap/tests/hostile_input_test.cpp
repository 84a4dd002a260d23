// Messages built to make the parser work hard: many multi-reference values,
// reference chains and cycles, very large text, documents in other encodings.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "Soap/Packager.h"
#include "Soap/SoapError.h"
#include "Soap/Xml.h"

using namespace tessel::soap;

namespace {

const char kEnvelopeOpen[] =
    "<?xml version=\"1.0\"?><soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "xmlns:soapenc=\"http://schemas.xmlsoap.org/soap/encoding/\"><soap:Body>";
const char kEnvelopeClose[] = "</soap:Body></soap:Envelope>";

// An encoded message whose wrapper holds `count` accessors, each referring by
// href to one of `values` multi-reference values after the wrapper.
std::string MultiRefMessage(const std::string& wrapper, int count, int values)
{
    std::string s = kEnvelopeOpen;
    s += "<m:" + wrapper + " xmlns:m=\"urn:test\">";
    for (int i = 0; i < count; ++i)
        s += "<a href=\"#v" + std::to_string(i % values) + "\"/>";
    s += "</m:" + wrapper + ">";
    for (int i = 0; i < values; ++i)
        s += "<v id=\"v" + std::to_string(i) + "\">" + std::to_string(i) + "</v>";
    return s + kEnvelopeClose;
}

std::string ErrorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no error)";
}

double SecondsOf(const std::function<void()>& f)
{
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

TEST(HostileInput, FiftyThousandReferencesResolveQuickly)
{
    const int kRefs = 50000, kValues = 6000;
    const std::string reply = MultiRefMessage("GetLogsResponse", kRefs, kValues);
    const std::string request = MultiRefMessage("GetLogs", kRefs, kValues);
    ASSERT_GT(reply.size(), 1000000u);
    ResponseValues values;
    IncomingRequest incoming;
    const double replySeconds = SecondsOf([&] { values = ReadResponse(reply); });
    const double requestSeconds = SecondsOf([&] { incoming = ReadRequest(request); });
    ASSERT_EQ(values.values.size(), static_cast<std::size_t>(kRefs));
    EXPECT_EQ(values.values[0].second, "0");
    EXPECT_EQ(values.values[kRefs - 1].second, std::to_string((kRefs - 1) % kValues));
    ASSERT_EQ(incoming.parameters.size(), static_cast<std::size_t>(kRefs));
    EXPECT_EQ(incoming.parameters[12345].second, "345");
    std::printf("[ time ] %zu bytes, %d references: reply %.3f s, request %.3f s\n", reply.size(), kRefs,
                replySeconds, requestSeconds);
    EXPECT_LT(replySeconds + requestSeconds, 5.0);  // catches a hang only
}

TEST(HostileInput, ReferenceChainsResolveAndCyclesAndDanglingReferencesAreRefused)
{
    const auto reply = [](const std::string& accessors, const std::string& values) {
        return std::string(kEnvelopeOpen) + "<m:PingResponse xmlns:m=\"urn:test\">" + accessors +
               "</m:PingResponse>" + values + kEnvelopeClose;
    };
    // A chain of three, and two accessors sharing its middle.
    const ResponseValues chain = ReadResponse(reply("<result href=\"#a\"/><reskey href=\"#b\"/>",
                                                    "<v id=\"a\" href=\"#b\"/><v id=\"b\" href=\"#c\"/>"
                                                    "<v id=\"c\">end &amp; more</v>"));
    EXPECT_EQ(*chain.Find("result"), "end & more");
    EXPECT_EQ(*chain.Find("reskey"), "end & more");
    // The first of a repeated id counts; a reference to no value is an error.
    EXPECT_EQ(*ReadResponse(reply("<result href=\"#a\"/>", "<v id=\"a\">one</v><v id=\"a\">two</v>")).Find("result"),
              "one");
    EXPECT_NE(ErrorOf([&] { ReadResponse(reply("<result href=\"#gone\"/>", "<v id=\"a\">x</v>")); })
                  .find("refers to #gone, which the message does not hold"),
              std::string::npos);
    // A cycle, and a value that names itself, end with an error instead of looping.
    EXPECT_NE(ErrorOf([&] {
                  ReadResponse(reply("<result href=\"#a\"/>",
                                     "<v id=\"a\" href=\"#b\"/><v id=\"b\" href=\"#c\"/><v id=\"c\" href=\"#a\"/>"));
              }).find("comes back to #a"),
              std::string::npos);
    EXPECT_NE(ErrorOf([&] { ReadRequest(reply("<result href=\"#s\"/>", "<v id=\"s\" href=\"#s\"/>")); })
                  .find("comes back"),
              std::string::npos);
    // Many accessors into one long cycle still end quickly.
    std::string accessors, values;
    for (int i = 0; i < 20000; ++i) {
        accessors += "<a href=\"#c" + std::to_string(i) + "\"/>";
        values += "<v id=\"c" + std::to_string(i) + "\" href=\"#c" + std::to_string((i + 1) % 20000) + "\"/>";
    }
    const std::string cycle = reply(accessors, values);
    EXPECT_LT(SecondsOf([&] { EXPECT_NE(ErrorOf([&] { ReadResponse(cycle); }), "(no error)"); }), 5.0);
}
