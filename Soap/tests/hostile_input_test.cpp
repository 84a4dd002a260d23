// Messages built to make the parser work hard: many multi-reference values,
// reference chains and cycles, very large text, documents in other encodings.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "MultiRefMessages.h"
#include "Soap/Packager.h"
#include "Soap/SoapError.h"
#include "Soap/Xml.h"
#include "TestText.h"

using namespace tessel::soap;
using namespace tessel::soap::samples;

// How fast they resolve is measured by soap_bench.
TEST(HostileInput, FiftyThousandReferencesResolve)
{
    const int kRefs = 50000, kValues = 6000;
    const std::string reply = MultiRefMessage("GetLogsResponse", kRefs, kValues);
    const std::string request = MultiRefMessage("GetLogs", kRefs, kValues);
    ASSERT_GT(reply.size(), 1000000u);
    ResponseValues values;
    IncomingRequest incoming;
    values = ReadResponse(reply);
    incoming = ReadRequest(request);
    ASSERT_EQ(values.values.size(), static_cast<std::size_t>(kRefs));
    EXPECT_EQ(values.values[0].second, "0");
    EXPECT_EQ(values.values[kRefs - 1].second, std::to_string((kRefs - 1) % kValues));
    ASSERT_EQ(incoming.parameters.size(), static_cast<std::size_t>(kRefs));
    EXPECT_EQ(incoming.parameters[12345].second, "345");
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
    // Many accessors into one long cycle still end.
    EXPECT_NE(ErrorOf([&] { ReadResponse(LongCycleReply(20000)); }).find("comes back"), std::string::npos);
}

TEST(HostileInput, AccessorsSharingOneLargeValueCostAtMostASmallMultipleOfTheMessage)
{
    // 2,000 accessors of a 100 kB value would be 200 MB of copies from a
    // message of 140 kB: refused, in a request and in a reply alike.
    const std::string request = SharedValueMessage("PutVOContent", 2000, 100'000);
    const std::string reply = SharedValueMessage("GetVOContentResponse", 2000, 100'000);
    ASSERT_LT(request.size(), 150'000u);
    for (const std::string& refused : {ErrorOf([&] { ReadRequest(request); }), ErrorOf([&] { ReadResponse(reply); })})
        EXPECT_NE(refused.find("the message repeats a value too often"), std::string::npos) << refused;

    // What the bound leaves: every value referred to once, however large,
    // and a few accessors sharing one.
    const std::string once = SharedValueMessage("GetVOContentResponse", 1, 10'000'000);
    EXPECT_EQ(ReadResponse(once).values.at(0).second.size(), 10'000'000u);
    const IncomingRequest shared = ReadRequest(SharedValueMessage("PutVOContent", 10, 100'000));
    ASSERT_EQ(shared.parameters.size(), 10u);
    for (const auto& [name, value] : shared.parameters)
        EXPECT_EQ(value.size(), 100'000u);
}

TEST(HostileInput, TextUpToTheDocumentLimitIsRead)
{
    // 10.5 MB of content in a request and a reply, past the parser's own cap
    // on one text node.
    const std::string content(10'500'000, 'c');
    const IncomingRequest put = ReadRequest(std::string(kEnvelopeOpen) +
                                            "<m:PutVOContent xmlns:m=\"urn:test\"><name>big</name><content>" +
                                            content + "</content></m:PutVOContent>" + kEnvelopeClose);
    ASSERT_EQ(put.parameters.size(), 2u);
    EXPECT_EQ(put.parameters[1].second.size(), content.size());

    // The largest text a reply can carry: the document exactly at the limit.
    const std::string head = std::string(kEnvelopeOpen) + "<m:GetVOContentResponse xmlns:m=\"urn:test\"><result>";
    const std::string tail = std::string("</result></m:GetVOContentResponse>") + kEnvelopeClose;
    const std::size_t largest = kMaxDocumentBytes - head.size() - tail.size();
    const std::string at = head + std::string(largest, 'x') + tail;
    ASSERT_EQ(at.size(), kMaxDocumentBytes);
    EXPECT_EQ(ReadResponse(at).Find("result")->size(), largest);
    std::printf("[ size ] the largest text accepted in a reply: %zu bytes\n", largest);
    EXPECT_NE(ErrorOf([&] { ReadResponse(head + std::string(largest + 1, 'x') + tail); }).find("too large"),
              std::string::npos);
    // The same in an attribute value.
    const std::string attr = std::string(kEnvelopeOpen) + "<m:R xmlns:m=\"urn:test\"><result a=\"" +
                             std::string(10'500'000, 'a') + "\">v</result></m:R>" + kEnvelopeClose;
    EXPECT_EQ(*ReadResponse(attr).Find("result"), "v");
}

TEST(HostileInput, EntitiesDocumentTypesAndDepthStayRefused)
{
    // Nested entities, an external entity and an external subset are each
    // refused at the document type declaration, before anything is expanded.
    std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE e [<!ENTITY l0 \"lol\">";
    for (int i = 1; i < 12; ++i)
        laughs += "<!ENTITY l" + std::to_string(i) + " \"" + std::string() + [&] {
            std::string refs;
            for (int k = 0; k < 10; ++k)
                refs += "&l" + std::to_string(i - 1) + ";";
            return refs;
        }() + "\">";
    laughs += "]><e>&l11;</e>";
    const std::vector<std::string> refused = {
        laughs,
        "<?xml version=\"1.0\"?><!DOCTYPE e [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><e>&x;</e>",
        "<?xml version=\"1.0\"?><!DOCTYPE e SYSTEM \"http://127.0.0.1:1/e.dtd\"><e/>",
        Encode("<?xml version=\"1.0\" encoding=\"UTF-16\"?><!DOCTYPE e [<!ENTITY a \"b\">]><e>&a;</e>", "UTF-16"),
    };
    for (const std::string& doc : refused) {
        EXPECT_EQ(ErrorOf([&] { ParseXml(doc, "the reply"); }), "the reply contains a document type declaration, which is not accepted");
    }
    // A reference to an undeclared entity is not well-formed.
    EXPECT_NE(ErrorOf([&] { ParseXml("<e>&nope;</e>", "the reply"); }).find("not well-formed"), std::string::npos);

    // Depth is counted while reading: a million levels end at the 65th.
    std::string deep;
    for (int i = 0; i < 1'000'000; ++i)
        deep += "<d>";
    EXPECT_EQ(ErrorOf([&] { ParseXml(deep, "the reply"); }), "the reply's XML is nested deeper than 64 levels");
    std::string ok;
    for (int i = 0; i < kMaxDepth; ++i)
        ok = "<d>" + ok + "</d>";
    EXPECT_NO_THROW(ParseXml(ok, "the reply"));
}

TEST(HostileInput, AttributesOnAnElementAndNamespacesInScopeAreBounded)
{
    const auto attributes = [](std::size_t n, const std::string& name) {
        std::string s;
        for (std::size_t i = 0; i < n; ++i)
            s += " " + name + std::to_string(i) + "=\"v>'\"";  // quoted markup is no markup
        return s;
    };
    // At the bounds a document reads, in a 16-bit encoding too, with comments,
    // CDATA and instructions that hold markup-like text; one past them it is
    // refused before the parser's work on it grows with the square.
    const std::string atBounds =
        "<?xml version=\"1.0\"?><!-- <c" + attributes(300, "a") + "> --><r" + attributes(kMaxAttributes, "a") +
        "><?pi <x" + attributes(300, "a") + ">?><![CDATA[<x" + attributes(300, "a") + ">]]><s" +
        attributes(kMaxNamespacesInScope / 2, "xmlns:p") + "/><s" + attributes(kMaxNamespacesInScope / 2, "xmlns:p") +
        "><t" + attributes(kMaxNamespacesInScope / 2, "xmlns:q") + "/></s></r>";
    EXPECT_NO_THROW(ParseXml(atBounds, "the reply"));
    EXPECT_NO_THROW(ParseXml("\xFF\xFE" + Encode(atBounds, "UTF-16LE"), "the reply"));
    EXPECT_NO_THROW(ParseXml(Encode(atBounds, "UTF-16BE"), "the reply"));

    const std::string manyAttributes = "<r" + attributes(kMaxAttributes + 1, "a") + "/>";
    const std::string manyInScope = "<r" + attributes(kMaxNamespacesInScope / 2, "xmlns:p") + "><s xmlns=\"urn:d\"" +
                                    attributes(kMaxNamespacesInScope / 2, "xmlns:q") + "/></r>";
    EXPECT_EQ(ErrorOf([&] { ParseXml(manyAttributes, "the reply"); }),
              "the reply is not accepted: an element has more than 256 attributes");
    EXPECT_EQ(ErrorOf([&] { ParseXml(manyInScope, "the reply"); }),
              "the reply is not accepted: more than 256 namespace declarations are in scope at once");
    EXPECT_EQ(ErrorOf([&] { ParseXml("\xFE\xFF" + Encode(manyAttributes, "UTF-16BE"), "the reply"); }),
              "the reply is not accepted: an element has more than 256 attributes");
    EXPECT_EQ(ErrorOf([&] { ParseXml(Encode(manyInScope, "UTF-16LE"), "the reply"); }),
              "the reply is not accepted: more than 256 namespace declarations are in scope at once");
}

TEST(HostileInput, DeclaredEncodingsAreHonoured)
{
    // "Grüße €" and a character outside the basic plane.
    const std::string value = "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xF0\x9F\x98\x80";
    const std::string latin = "Gr\xC3\xBC\xC3\x9F" "e";
    const auto reply = [](const std::string& encoding, const std::string& v) {
        return "<?xml version=\"1.0\" encoding=\"" + encoding + "\"?>\n" + std::string(kEnvelopeOpen).substr(21) +
               "<m:GetLogResponse xmlns:m=\"urn:test\"><result>" + v + "</result></m:GetLogResponse>" + kEnvelopeClose;
    };
    EXPECT_EQ(*ReadResponse(Encode(reply("ISO-8859-1", latin), "ISO-8859-1")).Find("result"), latin);
    EXPECT_EQ(*ReadResponse(Encode(reply("iso-8859-1", latin), "ISO-8859-1")).Find("result"), latin);
    EXPECT_EQ(*ReadResponse("\xFF\xFE" + Encode(reply("UTF-16", value), "UTF-16LE")).Find("result"), value);
    EXPECT_EQ(*ReadResponse("\xFE\xFF" + Encode(reply("UTF-16", value), "UTF-16BE")).Find("result"), value);
    EXPECT_EQ(*ReadResponse("\xEF\xBB\xBF" + reply("UTF-8", value)).Find("result"), value);
    const IncomingRequest request = ReadRequest("\xFF\xFE" + Encode(reply("UTF-16", value), "UTF-16LE"));
    EXPECT_EQ(request.parameters.at(0).second, value);
    // Bytes that are not what the declaration says are an error, not guessed at.
    EXPECT_NE(ErrorOf([&] { ReadResponse(Encode(reply("UTF-8", latin), "ISO-8859-1")); }).find("not well-formed"),
              std::string::npos);
    EXPECT_NE(ErrorOf([&] { ReadResponse(reply("no-such-encoding", "x")); }).find("not well-formed"),
              std::string::npos);
}

TEST(HostileInput, DocumentBytesBecomeDisplayText)
{
    const std::string text = "<?xml version=\"1.0\" encoding=\"%\"?><r>Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC</r>";
    const auto declared = [&](const std::string& encoding) {
        std::string s = text;
        return s.replace(s.find('%'), 1, encoding);
    };
    EXPECT_EQ(XmlTextForDisplay(Encode(declared("ISO-8859-15"), "ISO-8859-15")), declared("ISO-8859-15"));
    EXPECT_EQ(XmlTextForDisplay("\xFF\xFE" + Encode(declared("UTF-16"), "UTF-16LE")), declared("UTF-16"));
    EXPECT_EQ(XmlTextForDisplay("\xFE\xFF" + Encode(declared("UTF-16"), "UTF-16BE")), declared("UTF-16"));
    EXPECT_EQ(XmlTextForDisplay(Encode(declared("UTF-16"), "UTF-16LE")), declared("UTF-16"));  // no mark
    EXPECT_EQ(XmlTextForDisplay("\xEF\xBB\xBF" + declared("UTF-8")), declared("UTF-8"));
    EXPECT_EQ(XmlTextForDisplay("<html><body>plain page</body></html>"), "<html><body>plain page</body></html>");
    EXPECT_EQ(XmlTextForDisplay(""), "");
    EXPECT_EQ(DocumentEncoding(Encode(declared("windows-1252"), "WINDOWS-1252")), "windows-1252");
    // What does not convert shows as U+FFFD and the rest still shows.
    EXPECT_EQ(XmlTextForDisplay("<r>a\xC3(b\xFF</r>"), "<r>a\xEF\xBF\xBD(b\xEF\xBF\xBD</r>");
    EXPECT_EQ(XmlTextForDisplay("\xFF\xFE" + Encode("<r>x</r>", "UTF-16LE") + "<"), "<r>x</r>\xEF\xBF\xBD");
    EXPECT_EQ(XmlTextForDisplay(declared("no-such-encoding")), declared("no-such-encoding"));
    // A long text converts across the converter's chunks.
    const std::string longText = declared("UTF-16") + std::string(200000, 'z') + "\xE2\x82\xAC";
    EXPECT_EQ(XmlTextForDisplay("\xFF\xFE" + Encode(longText, "UTF-16LE")), longText);
}
