// Descriptions and envelopes written the way other SOAP stacks write them:
// document/literal descriptions with parameterOrder naming parts, empty
// SOAPActions, descriptions split across imports, a bare operation among
// wrapped ones, wrapper children by reference, and other encodings.
#include <gtest/gtest.h>

#include <map>

#include "Soap/Packager.h"
#include "Soap/Soap2Client.h"
#include "Soap/SoapError.h"
#include "Soap/Transport.h"
#include "SoapFixture.h"
#include "TestText.h"

using namespace tessel::soap;

namespace {

class Interop : public SoapTest {
protected:
    // A test description's text with its endpoint filled in.
    std::string DataText(const std::string& file) const { return server.DataText(file).value_or(""); }
    // The request the packager builds for a method with parameters set by name.
    static std::string Request(Packager& p, const std::string& method,
                               const std::vector<std::pair<std::string, std::string>>& params)
    {
        p.SetMethodPayload(0, "", method, p.GetMethodTemplate(method, 0));
        for (const auto& [n, v] : params)
            p.SetParameter(0, n, v);
        return p.GetPayload(0);
    }
};

std::vector<std::string> Names(const std::vector<ParameterInfo>& list)
{
    std::vector<std::string> out;
    for (const ParameterInfo& p : list)
        out.push_back(p.Name + (p.byRef ? "&" : ""));
    return out;
}

using Strings = std::vector<std::string>;

}  // namespace

TEST_F(Interop, ParameterOrderNamesTheMessagesParts)
{
    // A document/literal description whose operations name their one part,
    // "parameters", in parameterOrder; a SOAP 1.2 binding and port come first.
    Packager p = Loaded("common_document.wsdl");
    EXPECT_EQ(std::get<ServiceLocation>(p.GetCatalog(0).locations.at(0)).URI, server.Url("/soap"));
    const Catalog c = p.GetCatalog(1);
    ASSERT_EQ(c.methods.size(), 3u);
    const MethodListing listing = BuildMethodListing({c.methods[0]});
    EXPECT_EQ(listing.text,
              "1. Function CreateTicket(byval authority as string, byval realm as string, byval principal as string, "
              "byval credential as string, byref fullPrincipal as string) as string\r\n"
              "      Input:  authority, realm, principal, credential, fullPrincipal\r\n"
              "      Output: CreateTicketResult, fullPrincipal\r\n");
    EXPECT_EQ(Names(c.methods[1].lists[2]),
              (Strings{"service", "ticket&", "tokenScheme&", "tokenSeed&", "sessionKey&", "verifier&"}));
    EXPECT_EQ(c.methods[2].returnType, 3);  // GetLogCountResult is an int

    // The SOAP 2.0 client maps the tools' positional arguments onto the
    // wrapper's children: inputs in order, by reference those also returned.
    Soap2Client client;
    client.Initialize(server.Wsdl("common_document.wsdl"));
    server.ReplyEnvelope("<OpenSessionResponse xmlns=\"http://tessel.example.test/TesselService/\">"
                         "<OpenSessionResult>OK</OpenSessionResult><sessionKey>KEY</sessionKey>"
                         "<verifier>V-1</verifier></OpenSessionResponse>");
    std::vector<Soap2Arg> open = {{"tsc"},         {"TKT", true}, {"scheme", true},
                                  {"seed", true}, {"", true},    {"", true}};
    EXPECT_EQ(client.Call("OpenSession", open), "OK");
    EXPECT_EQ(open[1].value, "TKT");  // not in the reply: left as it was
    EXPECT_EQ(open[4].value, "KEY");
    EXPECT_EQ(open[5].value, "V-1");
    const std::string sent = server.lastBody();
    EXPECT_NE(sent.find("<m:OpenSession xmlns:m=\"http://tessel.example.test/TesselService/\"><m:service>tsc"
                        "</m:service><m:ticket>TKT</m:ticket><m:tokenScheme>scheme</m:tokenScheme>"
                        "<m:tokenSeed>seed</m:tokenSeed><m:sessionKey></m:sessionKey><m:verifier></m:verifier>"),
              std::string::npos)
        << sent;

    // A parameterOrder that names the wrapper's children instead of parts
    // makes that operation, and only that one, unusable.
    std::string misnamed = DataText("common_document.wsdl");
    misnamed.replace(misnamed.find("parameterOrder=\"parameters\""), 27, "parameterOrder=\"authority realm\"");
    Packager other;
    ASSERT_TRUE(other.LoadServicesDescription(2, misnamed)) << other.LastError();
    EXPECT_EQ(ErrorOf([&] { other.GetMethodTemplate("CreateTicket", 0); }),
              "the method CreateTicket cannot be called: its parameterOrder names authority, which is no part of its "
              "messages");
    EXPECT_NO_THROW(other.GetMethodTemplate("OpenSession", 0));
}

TEST_F(Interop, AnEmptyOrAbsentSoapActionIsSentAsEmptyQuotes)
{
    Packager p = Loaded("common_document.wsdl");
    const auto post = [&](const std::string& method) {
        const std::string request = Request(p, method, {});
        Transport t;
        t.AddStandardHeaders(server.Url("/soap"), method, request.size(), p.SoapAction(method));
        t.PostToURI(server.Url("/soap"), request);
        return server.lastAction();
    };
    server.ReplyEnvelope("<r/>");
    EXPECT_EQ(post("CreateTicket"), "\"http://tessel.example.test/TesselService/CreateTicket\"");
    EXPECT_EQ(post("OpenSession"), "\"\"");  // soapAction=""
    EXPECT_EQ(post("GetLogCount"), "\"\"");  // no soap:operation at all
    Transport plain;
    plain.AddStandardHeaders(server.Url("/soap"), "GetLogCount", 3);
    plain.PostToURI(server.Url("/soap"), "<x/>");
    EXPECT_EQ(server.lastAction(), "\"\"");

    Soap2Client client;
    client.Initialize(server.Wsdl("common_document.wsdl"));
    server.ReplyEnvelope("<GetLogCountResponse xmlns=\"http://tessel.example.test/TesselService/\">"
                         "<GetLogCountResult>3</GetLogCountResult><reskey>R</reskey></GetLogCountResponse>");
    std::vector<Soap2Arg> args = {{"token"}, {"", true}};
    EXPECT_EQ(client.Call("GetLogCount", args), "3");
    EXPECT_EQ(args[1].value, "R");
    EXPECT_EQ(server.lastAction(), "\"\"");
}

TEST_F(Interop, DescriptionsSplitAcrossImportsLoad)
{
    Packager p = Loaded("split/TesselService.wsdl");
    // Each document was fetched once, though the two schemas include each other.
    for (const char* file : {"split/TesselService.wsdl", "split/abstract/TesselServicePort.wsdl",
                             "split/schemas/TesselTypes.xsd", "split/schemas/TesselCommon.xsd"})
        EXPECT_EQ(server.Fetches(file), 1) << file;
    const Catalog c = p.GetCatalog(1);
    ASSERT_EQ(c.methods.size(), 2u);
    EXPECT_EQ(c.methods[0].ownerName, "TesselServiceCore");
    EXPECT_EQ(Names(c.methods[1].lists[2]), (Strings{"user", "logID", "reskey&"}));
    EXPECT_EQ(c.methods[1].lists[2][1].typeCode, 3);
    const std::string request = Request(p, "GetLog", {{"user", "tok"}, {"logID", "7"}});
    EXPECT_NE(request.find("<m:GetLog xmlns:m=\"http://tessel.example.test/ws/types\"><user>tok</user>"
                           "<logID>7</logID><reskey/></m:GetLog>"),
              std::string::npos)
        << request;

    // The text the tools keep holds the imports in place and loads again
    // without fetching anything.
    const std::string kept = p.GetDescriptionText();
    EXPECT_EQ(kept.find("schemaLocation"), std::string::npos);
    EXPECT_EQ(kept.find("location=\"abstract/"), std::string::npos);
    Packager again;
    ASSERT_TRUE(again.LoadServicesDescription(2, kept)) << again.LastError();
    EXPECT_EQ(BuildMethodListing(again.GetCatalog(1).methods).text, BuildMethodListing(c.methods).text);
    EXPECT_EQ(Request(again, "GetLog", {{"user", "tok"}, {"logID", "7"}}), request);
    EXPECT_EQ(server.Fetches("split/TesselService.wsdl"), 1);

    // The original text alone cannot say where its imports are, unless told.
    const std::string original = DataText("split/TesselService.wsdl");
    Packager unplaced;
    EXPECT_FALSE(unplaced.LoadServicesDescription(2, original));
    EXPECT_NE(unplaced.LastError().find("imports abstract/TesselServicePort.wsdl by a relative location"),
              std::string::npos)
        << unplaced.LastError();
    EXPECT_TRUE(unplaced.LoadServicesDescription(2, original, server.Wsdl("split/TesselService.wsdl")))
        << unplaced.LastError();

    // An import that cannot be fetched names itself.
    std::string broken = original;
    broken.replace(broken.find("abstract/TesselServicePort.wsdl"), 31, "abstract/Missing.wsdl");
    EXPECT_FALSE(unplaced.LoadServicesDescription(2, broken, server.Wsdl("split/TesselService.wsdl")));
    EXPECT_NE(unplaced.LastError().find("cannot fetch " + server.Wsdl("split/abstract/Missing.wsdl")),
              std::string::npos)
        << unplaced.LastError();
    EXPECT_NE(unplaced.LastError().find("HTTP status 404"), std::string::npos);

    // The SOAP 2.0 client reads it the same way.
    Soap2Client client;
    client.Initialize(server.Wsdl("split/TesselService.wsdl"));
    server.ReplyEnvelope("<ns2:GetLogResponse xmlns:ns2=\"http://tessel.example.test/ws/types\">"
                         "<return>&lt;log/&gt;</return><reskey>R</reskey></ns2:GetLogResponse>");
    std::vector<Soap2Arg> args = {{"tok"}, {"7"}, {"", true}};
    EXPECT_EQ(client.Call("GetLog", args), "<log/>");
    EXPECT_EQ(args[2].value, "R");
}

TEST(Imports, StayWithinTheirLimits)
{
    // Documents served from memory by URL.
    std::map<std::string, std::string> files;
    std::vector<std::size_t> asked;
    const DocumentFetcher fetch = [&](const std::string& url, std::size_t maxBytes) {
        asked.push_back(maxBytes);
        const auto it = files.find(url);
        if (it == files.end())
            throw SoapError("no document at " + url);
        return it->second;
    };
    const auto wsdl = [](const std::string& inside) {
        return "<definitions xmlns=\"http://schemas.xmlsoap.org/wsdl/\" xmlns:soap=\"http://schemas.xmlsoap.org/wsdl/"
               "soap/\" xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" xmlns:tns=\"urn:t\" targetNamespace=\"urn:t\">" +
               inside +
               "<portType name=\"P\"/><binding name=\"B\" type=\"tns:P\"><soap:binding style=\"rpc\"/></binding>"
               "</definitions>";
    };
    const auto schema = [](const std::string& inside) {
        return "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" targetNamespace=\"urn:t\">" + inside +
               "</xs:schema>";
    };
    const auto includes = [](std::initializer_list<const char*> names) {
        std::string s;
        for (const char* n : names)
            s += std::string("<xs:include schemaLocation=\"") + n + "\"/>";
        return s;
    };
    const std::string base = "http://h.test/dir/main.wsdl";
    const std::string main = wsdl("<types>" + schema(includes({"a.xsd", "b.xsd", "c.xsd"})) + "</types>");
    files["http://h.test/dir/a.xsd"] = schema(includes({"sub/d.xsd"}));
    files["http://h.test/dir/b.xsd"] = schema("");
    files["http://h.test/dir/c.xsd"] = schema("");
    files["http://h.test/dir/sub/d.xsd"] = schema(includes({"../e.xsd"}));
    files["http://h.test/dir/e.xsd"] = schema("<xs:element name=\"deepest\" type=\"xs:string\"/>");

    EXPECT_NO_THROW(ParseServiceDescription(main, base, fetch));
    EXPECT_EQ(asked.size(), 5u);
    EXPECT_EQ(ErrorOf([&] { ParseServiceDescription(main, base, fetch, {.maxDocuments = 4}); }),
              "the description imports more than 4 documents");
    EXPECT_NE(ErrorOf([&] { ParseServiceDescription(main, base, fetch, {.maxDepth = 2}); })
                  .find("imports http://h.test/dir/e.xsd: imports nest deeper than 2 levels"),
              std::string::npos);
    // The fetcher is told how much is left, and a document past it is refused.
    asked.clear();
    EXPECT_NE(ErrorOf([&] { ParseServiceDescription(main, base, fetch, {.maxTotalBytes = main.size() + 200}); })
                  .find("larger than"),
              std::string::npos);
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked[0], 200u);

    // A remote description may not import a local file; a local one may.
    const std::string local = wsdl("<types>" + schema(includes({"file:///etc/hostname"})) + "</types>");
    EXPECT_NE(ErrorOf([&] { ParseServiceDescription(local, base, fetch); })
                  .find("imports the local file file:///etc/hostname, which only a local description may"),
              std::string::npos);
    EXPECT_NE(ErrorOf([&] { ParseServiceDescription(local, "file:///srv/main.wsdl", fetch); })
                  .find("no document at file:///etc/hostname"),
              std::string::npos);
    EXPECT_NE(ErrorOf([&] {
                  ParseServiceDescription(wsdl("<import location=\"ftp://h.test/x.wsdl\"/>"), base, fetch);
              }).find("only http, https and file URLs"),
              std::string::npos);
    // Without a fetcher nothing is fetched.
    EXPECT_NE(ErrorOf([&] { ParseServiceDescription(main, base); }).find("can only be fetched"), std::string::npos);
    // What is imported must be what the import says.
    files["http://h.test/dir/page.xsd"] = "<html><body>moved</body></html>";
    EXPECT_NE(ErrorOf([&] {
                  ParseServiceDescription(wsdl("<types>" + schema(includes({"page.xsd"})) + "</types>"), base, fetch);
              }).find("is not an XML schema (its root element is <html>)"),
              std::string::npos);

    // An imported description with many namespace declarations does not
    // multiply them onto each definition it brings in.
    std::string decls, messages;
    for (int i = 0; i < 200; ++i)
        decls += " xmlns:n" + std::to_string(i) + "=\"urn:n" + std::to_string(i) + "\"";
    for (int i = 0; i < 300; ++i)
        messages += "<message name=\"m" + std::to_string(i) + "\"><part name=\"p\" type=\"xs:string\"/></message>";
    files["http://h.test/dir/port.wsdl"] = "<definitions xmlns=\"http://schemas.xmlsoap.org/wsdl/\" xmlns:xs=\"http://"
                                           "www.w3.org/2001/XMLSchema\"" + decls + ">" + messages + "</definitions>";
    const ServiceDescription merged =
        ParseServiceDescription(wsdl("<import location=\"port.wsdl\"/>"), base, fetch);
    EXPECT_LT(merged.text.size(), 2 * files["http://h.test/dir/port.wsdl"].size());
    EXPECT_NE(merged.text.find("<message xmlns=\"http://schemas.xmlsoap.org/wsdl/\" xmlns:xs="), std::string::npos);
}

TEST_F(Interop, OneBareOperationLeavesTheRestUsable)
{
    Packager p = Loaded("mixed_bare.wsdl");
    const Catalog c = p.GetCatalog(1);
    ASSERT_EQ(c.methods.size(), 3u);
    EXPECT_EQ(c.methods[0].unusable, "");
    EXPECT_EQ(c.methods[1].unusable,
              "document style but not in the wrapped form: the type of its element {urn:tessel:mixed}EchoText is "
              "{http://www.w3.org/2001/XMLSchema}string, not a sequence of elements the description declares");
    EXPECT_EQ(Names(c.methods[2].lists[0]), (Strings{"when", "who"}));
    EXPECT_NE(BuildMethodListing(c.methods).text.find(
                  "3. Sub Stamp(byval when as <? 12 ?>, byval who as string)\r\n"
                  "      Input:  when, who\r\n"
                  "      Output: \r\n"
                  "      Not callable: document style but not in the wrapped form: its input message has 2 parts, "
                  "and the wrapped form has one\r\n"),
              std::string::npos);

    EXPECT_TRUE(p.HasMethod("EchoText"));
    EXPECT_NE(Request(p, "GetMessage", {{"uri", "item://1"}}).find("<m:uri>item://1</m:uri>"), std::string::npos);
    EXPECT_NE(ErrorOf([&] { p.GetMethodTemplate("EchoText", 0); }).find("the method EchoText cannot be called: "),
              std::string::npos);
    EXPECT_THROW(p.SetMethodPayload(0, "", "Stamp", "<x/>"), SoapError);

    Soap2Client client;
    client.Initialize(server.Wsdl("mixed_bare.wsdl"));
    std::vector<Soap2Arg> args = {{"hello"}};
    EXPECT_THROW(client.Call("EchoText", args), SoapError);
    EXPECT_EQ(client.FaultString(), "Client: the operation cannot be called");
    EXPECT_NE(client.FaultDetail().find("declares EchoText, but it cannot be called: document style"),
              std::string::npos);
    EXPECT_EQ(server.lastBody(), "");  // nothing was sent
}

TEST_F(Interop, AReferencedWrapperChildGoesInItsElementsNamespace)
{
    Packager p = Loaded("ref_children.wsdl");
    const MethodInfo m = p.GetCatalog(1).methods.at(0);
    EXPECT_EQ(Names(m.lists[2]), (Strings{"user", "stamp", "log", "reskey&"}));
    EXPECT_EQ(m.lists[2][1].typeCode, 8);  // the referenced element's type
    const std::string request = Request(p, "PutLog", {{"user", "u"}, {"stamp", "s"}, {"log", "l"}});
    EXPECT_NE(request.find("<m:PutLog xmlns:m=\"urn:tessel:logs\"><user>u</user>"
                           "<q:stamp xmlns:q=\"urn:tessel:stamps\">s</q:stamp><m:log>l</m:log>"
                           "<q:reskey xmlns:q=\"urn:tessel:stamps\"/></m:PutLog>"),
              std::string::npos)
        << request;

    Soap2Client client;
    client.Initialize(server.Wsdl("ref_children.wsdl"));
    server.ReplyEnvelope("<l:PutLogResponse xmlns:l=\"urn:tessel:logs\" xmlns:st=\"urn:tessel:stamps\">"
                         "<result>OK</result><st:reskey>R</st:reskey></l:PutLogResponse>");
    std::vector<Soap2Arg> args = {{"u"}, {"s"}, {"l"}, {"", true}};
    EXPECT_EQ(client.Call("PutLog", args), "OK");
    EXPECT_EQ(args[3].value, "R");
    EXPECT_NE(server.lastBody().find("<q:stamp xmlns:q=\"urn:tessel:stamps\">s</q:stamp>"), std::string::npos);
}

TEST_F(Interop, OtherEncodingsAlongTheWholePath)
{
    const std::string mueller = "M\xC3\xBCller \xE2\x82\xAC";  // "Müller €"
    // A description in UTF-16 with a byte order mark loads like its UTF-8 self.
    std::string text = DataText("rpc_encoded.wsdl");
    text.replace(text.find("encoding=\"UTF-8\""), 16, "encoding=\"UTF-16\"");
    server.ServeText("\xFF\xFE" + Encode(text, "UTF-16LE"));
    Packager utf16;
    ASSERT_TRUE(utf16.LoadServicesDescription(1, server.Url("/text"))) << utf16.LastError();
    EXPECT_EQ(BuildMethodListing(utf16.GetCatalog(1).methods).text,
              BuildMethodListing(Loaded("rpc_encoded.wsdl").GetCatalog(1).methods).text);
    Soap2Client client;
    client.Initialize(server.Url("/text"));

    // A reply in ISO-8859-1 (€ cannot be written there; a character reference can).
    const std::string latinReply =
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/"
        "soap/envelope/\"><soap:Body><m:GetLogsResponse xmlns:m=\"urn:test-logs\"><result>M\xC3\xBCller &#8364;"
        "</result><reskey>R</reskey></m:GetLogsResponse></soap:Body></soap:Envelope>";
    server.Reply({200, Encode(latinReply, "ISO-8859-1"), "text/xml; charset=ISO-8859-1"});
    const std::string request = Request(utf16, "GetLogs", {{"user", mueller}});
    Transport t;
    t.AddStandardHeaders(server.Url("/soap"), "GetLogs", request.size(), utf16.SoapAction("GetLogs"));
    const std::string reply = t.PostToURI(server.Url("/soap"), request);
    EXPECT_EQ(reply, Encode(latinReply, "ISO-8859-1"));  // the bytes as they came
    utf16.SetPayload(1, reply);
    EXPECT_EQ(utf16.GetParameter(1, "result"), mueller);
    EXPECT_NE(XmlTextForDisplay(reply).find("<result>M\xC3\xBCller &#8364;</result>"), std::string::npos);
    // What we send is UTF-8 and says so.
    EXPECT_EQ(server.lastContentType(), "text/xml; charset=utf-8");
    EXPECT_EQ(server.lastBody().rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0), 0u);
    EXPECT_NE(server.lastBody().find(mueller), std::string::npos);

    // A reply in UTF-16 to the SOAP 2.0 client.
    server.Reply({200,
                  "\xFE\xFF" + Encode("<?xml version=\"1.0\" encoding=\"UTF-16\"?><e:Envelope xmlns:e=\"http://"
                                      "schemas.xmlsoap.org/soap/envelope/\"><e:Body><m:GetLogsResponse xmlns:m=\"urn:"
                                      "test-logs\"><result>" + mueller + "</result><reskey>K</reskey>"
                                      "</m:GetLogsResponse></e:Body></e:Envelope>",
                                      "UTF-16BE"),
                  "text/xml; charset=utf-16"});
    std::vector<Soap2Arg> args = {{"tok"}, {"1"}, {"2"}, {"", true}};
    EXPECT_EQ(client.Call("GetLogs", args), mueller);
    EXPECT_EQ(args[3].value, "K");

    // A request someone else wrote in ISO-8859-1 reads as the same values.
    Packager incoming = Loaded("rpc_encoded.wsdl");
    incoming.SetPayload(0, Encode("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><s:Envelope xmlns:s=\"http://"
                                  "schemas.xmlsoap.org/soap/envelope/\"><s:Body><m:Ping xmlns:m=\"urn:test-logs\">"
                                  "<token>M\xC3\xBCller</token></m:Ping></s:Body></s:Envelope>",
                                  "ISO-8859-1"));
    EXPECT_EQ(incoming.GetParameter(0, "token"), "M\xC3\xBCller");
}
