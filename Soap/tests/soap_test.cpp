#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "Soap/Packager.h"
#include "Soap/Soap2Client.h"
#include "Soap/SoapError.h"
#include "Soap/Transport.h"
#include "SoapFixture.h"
#include "TestHttpServer.h"
#include "TestText.h"

using namespace tessel::soap;

namespace {

const char kListing[] =
    "1. Function CreateTicket(byval authority as string, byval realm as string, byval principal as string, byval "
    "credential as string, byref fullPrincipal as string) as string\r\n"
    "      Input:  authority, realm, principal, credential, fullPrincipal\r\n"
    "      Output: result, fullPrincipal\r\n"
    "2. Function GetLogs(byval user as string, byval logID as long, byval count as integer, byref reskey as string) as "
    "string\r\n"
    "      Input:  user, logID, count, reskey\r\n"
    "      Output: result, reskey\r\n"
    "3. Sub Touch(byval flag as <? 11 ?>, byref state as string)\r\n"
    "      Input:  flag, state\r\n"
    "      Output: state\r\n"
    "4. Function Ping() as string\r\n"
    "      Input:  token\r\n"
    "      Output: result\r\n"
    "5. Function Now() as <? 12 ?>\r\n"
    "      Input:  \r\n"
    "      Output: result\r\n";

std::string Response(const std::string& method, const std::string& params, const std::string& prefix = "ns1")
{
    return "<?xml version=\"1.0\"?><soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
           "xmlns:" + prefix + "=\"urn:test-logs\"><soap:Body><" + prefix + ":" + method + "Response>" + params +
           "</" + prefix + ":" + method + "Response></soap:Body></soap:Envelope>";
}

using Soap = SoapTest;

}  // namespace

TEST_F(Soap, CatalogAndListingOfAnRpcDescription)
{
    Packager p = Loaded("rpc_encoded.wsdl");
    const Catalog locations = p.GetCatalog(0);
    ASSERT_EQ(locations.locations.size(), 1u);
    EXPECT_EQ(std::get<ServiceLocation>(locations.locations[0]).URI, server.Url("/soap"));
    const Catalog methods = p.GetCatalog(1);
    ASSERT_EQ(methods.methods.size(), 5u);
    EXPECT_EQ(methods.methods[1].Name, "GetLogs");
    EXPECT_EQ(methods.methods[1].kind, 1);
    EXPECT_EQ(methods.methods[2].kind, 0);
    EXPECT_TRUE(methods.methods[1].lists[2][3].byRef);
    const MethodListing listing = BuildMethodListing(methods.methods);
    EXPECT_EQ(listing.text, kListing);
    EXPECT_EQ(listing.title, "Available methods - LogService");
    EXPECT_TRUE(p.HasMethod("GetLogs"));
    EXPECT_FALSE(p.HasMethod("getlogs"));
    EXPECT_EQ(p.SoapAction("GetLogs"), "urn:test-logs#GetLogs");
    EXPECT_NE(p.GetDescriptionText().find("LogBinding"), std::string::npos);
}

TEST_F(Soap, DocumentLiteralWrappedAndEmptyDescriptions)
{
    Packager doc = Loaded("doc_literal.wsdl");
    const Catalog c = doc.GetCatalog(1);
    ASSERT_EQ(c.methods.size(), 1u);
    const MethodInfo& m = c.methods[0];
    EXPECT_EQ(m.kind, 1);  // OpenSessionResult is outside the parameter order
    ASSERT_EQ(m.lists[2].size(), 3u);
    EXPECT_FALSE(m.lists[2][0].byRef);
    EXPECT_TRUE(m.lists[2][1].byRef);
    EXPECT_EQ(m.lists[2][0].typeCode, 8);  // the 1999 schema namespace is read too
    // The request is the wrapper element with qualified children.
    doc.SetMethodPayload(0, "", "OpenSession", doc.GetMethodTemplate("OpenSession", 0));
    doc.SetParameter(0, "service", "tsc");
    const std::string request = doc.GetPayload(0);
    EXPECT_NE(request.find("<m:OpenSession xmlns:m=\"urn:test-doc\">"), std::string::npos) << request;
    EXPECT_NE(request.find("<m:service>tsc</m:service>"), std::string::npos) << request;
    EXPECT_EQ(request.find("encodingStyle"), std::string::npos);

    Packager empty = Loaded("no_methods.wsdl");
    const MethodListing listing = BuildMethodListing(empty.GetCatalog(1).methods);
    EXPECT_EQ(listing.text, "");
    EXPECT_EQ(listing.title, "Available methods - ");

    // An operation that is not in the wrapped form is listed, and refused when called.
    Packager bare = Loaded("bare_document.wsdl");
    EXPECT_TRUE(bare.HasMethod("Op"));
    EXPECT_NE(ErrorOf([&] { bare.GetMethodTemplate("Op", 0); }).find("not in the wrapped form"), std::string::npos);
}

TEST_F(Soap, AKeptTextReadAgainSharesWhatItsFirstReadingGave)
{
    const std::string text = *server.DataText("rpc_encoded.wsdl");
    Packager first, again, changed, located;
    ASSERT_TRUE(first.LoadServicesDescription(2, text));
    ASSERT_TRUE(again.LoadServicesDescription(2, text));
    EXPECT_EQ(again.description(), first.description());  // not read again
    EXPECT_EQ(again.GetMethodTemplate("GetLogs", 0), first.GetMethodTemplate("GetLogs", 0));
    // Another text, or one that may fetch imports relative to where it came
    // from, is read anew.
    std::string other = text;
    for (std::size_t at = other.find("GetLogs"); at != std::string::npos; at = other.find("GetLogs", at))
        other.replace(at, 7, "GetLogz");
    ASSERT_TRUE(changed.LoadServicesDescription(2, other));
    EXPECT_NE(changed.description(), first.description());
    EXPECT_TRUE(changed.HasMethod("GetLogz"));
    EXPECT_FALSE(changed.HasMethod("GetLogs"));
    ASSERT_TRUE(located.LoadServicesDescription(2, text, "http://h.test/rpc_encoded.wsdl"));
    EXPECT_NE(located.description(), first.description());
    // A text that does not read fails each time, with its reason.
    Packager broken;
    EXPECT_FALSE(broken.LoadServicesDescription(2, "<definitions"));
    const std::string why = broken.LastError();
    EXPECT_FALSE(broken.LoadServicesDescription(2, "<definitions"));
    EXPECT_EQ(broken.LastError(), why);
    EXPECT_FALSE(why.empty());
}

TEST_F(Soap, TemplatesKeepParameterOrderAndEscapeValues)
{
    Packager p = Loaded("rpc_encoded.wsdl");
    const std::string tmpl = p.GetMethodTemplate("GetLogs", 0);
    p.SetMethodPayload(0, "", "GetLogs", tmpl);
    p.SetParameter(0, "user", "tok:en=");
    p.SetParameter(0, "logID", "<1> & \"2\" 'x'");
    p.SetParameter(0, "count", "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC");
    p.SetParameter(0, "reskey", "");
    const std::string request = p.GetPayload(0);
    const auto at = [&](const char* s) { return request.find(s); };
    EXPECT_LT(at("<user"), at("<logID"));
    EXPECT_LT(at("<logID"), at("<count"));
    EXPECT_LT(at("<count"), at("<reskey"));
    EXPECT_NE(at("xsi:type=\"xsd:int\""), std::string::npos);
    EXPECT_NE(at("SOAP-ENV:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\""), std::string::npos);
    EXPECT_NE(at("&lt;1&gt; &amp; \"2\" 'x'"), std::string::npos) << request;
    // The values read back exactly, non-ASCII included.
    Packager back = Loaded("rpc_encoded.wsdl");
    back.SetPayload(0, request);
    EXPECT_EQ(back.GetParameter(0, "logID"), "<1> & \"2\" 'x'");
    EXPECT_EQ(back.GetParameter(0, "count"), "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC");
    // Characters XML cannot carry are refused, not sent broken.
    EXPECT_THROW(p.SetParameter(0, "user", std::string("a\x01", 2)), SoapError);
    EXPECT_THROW(p.SetParameter(0, "user", "\xC3"), SoapError);
    // A literal operation has no type attributes; a header part stays out of the body.
    p.SetMethodPayload(0, "", "Ping", p.GetMethodTemplate("Ping", 0));
    EXPECT_EQ(p.GetPayload(0).find("xsi:type"), std::string::npos);
    EXPECT_EQ(p.GetMethodTemplate("Touch", 0).find("<trace"), std::string::npos);
    EXPECT_THROW(p.GetMethodTemplate("NoSuchMethod", 0), SoapError);
}

TEST_F(Soap, ResponseParametersUnderAnyPrefixAndFaults)
{
    Packager p = Loaded("rpc_encoded.wsdl");
    p.SetPayload(1, Response("GetLogs", "<result>a &amp; b</result><reskey>TOKEN</reskey>", "q"));
    EXPECT_EQ(p.GetParameter(1, "result"), "a & b");
    EXPECT_EQ(p.GetParameter(1, "reskey"), "TOKEN");
    p.SetPayload(1, Response("GetLogs", "<x:result xmlns:x=\"urn:other\">v</x:result>"));
    EXPECT_EQ(p.GetParameter(1, "result"), "v");
    EXPECT_EQ(p.GetParameter(1, "reskey"), "");  // a value the reply does not carry reads as empty
    // Nil values and values referred to by href.
    p.SetPayload(1, Response("GetLogs", "<result xsi:nil=\"true\" xmlns:xsi=\"http://www.w3.org/1999/XMLSchema-instance\">x</result>"));
    EXPECT_EQ(p.GetParameter(1, "result"), "");

    p.SetPayload(1,
                 "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body><soap:Fault>"
                 "<faultcode>soap:Server</faultcode><faultstring>Token rejected</faultstring>"
                 "<detail><reason>the nonce was used</reason></detail></soap:Fault></soap:Body></soap:Envelope>");
    try {
        p.GetParameter(1, "result");
        FAIL();
    } catch (const SoapFault& f) {
        EXPECT_EQ(f.faultCode(), "soap:Server");
        EXPECT_EQ(f.faultString(), "Token rejected");
        EXPECT_EQ(f.detail(), "the nonce was used");  // the text of the detail entries
        EXPECT_EQ(f.detailXml(), "<reason>the nonce was used</reason>");
    }
    p.SetPayload(1,
                 "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body><soap:Fault>"
                 "<faultcode>soap:Client</faultcode><faultstring>Bad</faultstring></soap:Fault></soap:Body></soap:Envelope>");
    try {
        p.GetParameter(1, "result");
        FAIL();
    } catch (const SoapFault& f) {
        EXPECT_EQ(f.detail(), "");
        EXPECT_EQ(std::string(f.what()), "SOAP fault soap:Client: Bad");
    }
}

TEST_F(Soap, RepliesThatAreNoSoapMessages)
{
    Packager p = Loaded("rpc_encoded.wsdl");
    const auto error = [&](const std::string& reply) {
        p.SetPayload(1, reply);  // taking the text never fails
        return ErrorOf([&] { p.GetParameter(1, "result"); });
    };
    EXPECT_NE(error("<html><head><title>500 Internal Error</title></head><body>boom</body></html>").find("HTML page"),
              std::string::npos);
    EXPECT_NE(error("  <!DOCTYPE html><HTML><body>x</body></HTML>").find("HTML page"), std::string::npos);
    EXPECT_NE(error("<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body>")
                  .find("not well-formed"),
              std::string::npos);
    EXPECT_NE(error("").find("empty"), std::string::npos);
    EXPECT_NE(error("<other/>").find("not a SOAP envelope"), std::string::npos);
    // No entity expansion, no document type at all.
    EXPECT_NE(error("<?xml version=\"1.0\"?><!DOCTYPE e [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;\">]>"
                    "<e>&b;</e>")
                  .find("document type"),
              std::string::npos);
    std::string deep;
    for (int i = 0; i < 200; ++i)
        deep += "<d>";
    EXPECT_NE(error("<?xml version=\"1.0\"?>" + deep).find("XML"), std::string::npos);
    std::string nested;
    for (int i = 0; i < 100; ++i)
        nested += "<d>";
    for (int i = 0; i < 100; ++i)
        nested += "</d>";
    EXPECT_NE(error(nested).find("deeper"), std::string::npos);
}

TEST_F(Soap, TransportPostsWithTheStandardHeaders)
{
    Packager p = Loaded("rpc_encoded.wsdl");
    p.SetMethodPayload(0, "", "Ping", p.GetMethodTemplate("Ping", 0));
    p.SetParameter(0, "token", "\xE2\x82\xAC");
    const std::string request = p.GetPayload(0);
    server.ReplyEnvelope("<m:PingResponse xmlns:m=\"urn:test-logs\"><result>pong</result></m:PingResponse>");
    Transport t;
    t.AddStandardHeaders(server.Url("/soap"), "Ping", request.size(), p.SoapAction("Ping"));
    const std::string reply = t.PostToURI(server.Url("/soap"), request);
    EXPECT_EQ(server.lastAction(), "\"urn:test-logs#Ping\"");
    EXPECT_EQ(server.lastContentType(), "text/xml; charset=utf-8");
    EXPECT_EQ(server.lastLength(), std::to_string(request.size()));
    EXPECT_EQ(server.lastBody(), request);
    p.SetPayload(1, reply);
    EXPECT_EQ(p.GetParameter(1, "result"), "pong");

    // A non-2xx reply comes back as its text, an HTML page as well as a fault.
    server.Reply({500, "<html><body>Internal Server Error</body></html>", "text/html"});
    EXPECT_EQ(t.PostToURI(server.Url("/soap"), request), "<html><body>Internal Server Error</body></html>");
    EXPECT_EQ(t.lastStatus(), 500);
    server.ReplyEnvelope("<e:Fault><faultcode>e:Server</faultcode><faultstring>no</faultstring></e:Fault>", 500);
    p.SetPayload(1, t.PostToURI(server.Url("/soap"), request));
    EXPECT_THROW(p.GetParameter(1, "result"), SoapFault);
    EXPECT_EQ(t.PostToURI(server.Url("/nowhere"), request), "");
    EXPECT_EQ(t.lastStatus(), 404);
}

TEST_F(Soap, TransportFailuresReadLikeSentences)
{
    // A port nobody listens on.
    int closedPort = 0;
    {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
        closedPort = ntohs(addr.sin_port);
        close(fd);  // bound, never listening, now closed
    }
    Transport t;
    const std::string refused = "http://127.0.0.1:" + std::to_string(closedPort) + "/soap";
    EXPECT_EQ(ErrorOf([&] { t.PostToURI(refused, "<x/>"); }), "Could not connect to " + refused + ": Connection refused");
    EXPECT_NE(ErrorOf([&] { t.PostToURI("http://no-such-host.invalid/soap", "<x/>"); }).find("host name is not known"),
              std::string::npos);
    EXPECT_NE(ErrorOf([&] { t.PostToURI("not a url", "<x/>"); }).find("Not a valid URL: not a url"),
              std::string::npos);
    EXPECT_NE(ErrorOf([&] { t.PostToURI("gopher://127.0.0.1/", "<x/>"); }).find("Not a valid URL"), std::string::npos);

    server.Reply({200, "<late/>", "text/xml", 2500});
    Transport quick(HttpOptions{1, 1, 1 << 20});
    // Connected, then no answer in time.
    EXPECT_EQ(ErrorOf([&] { quick.PostToURI(server.Url("/soap"), "<x/>"); }),
              "The server did not answer within 1 s (" + server.Url("/soap") + ")");

    // Too big a reply.
    server.Reply({200, std::string(2 << 20, 'x'), "text/xml"});
    EXPECT_NE(ErrorOf([&] { quick.PostToURI(server.Url("/soap"), "<x/>"); }).find("larger than"), std::string::npos);
}

namespace {

// Takes one connection, reads the request's head, writes `reply` and closes.
class ClosingListener {
public:
    explicit ClosingListener(std::string reply) : reply_(std::move(reply))
    {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        listen(fd_, 4);
        getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] {
            const int c = accept(fd_, nullptr, nullptr);
            char buffer[4096];
            std::string head;
            while (head.find("\r\n\r\n") == std::string::npos) {
                const ssize_t n = read(c, buffer, sizeof buffer);
                if (n <= 0)
                    break;
                head.append(buffer, static_cast<std::size_t>(n));
            }
            if (!reply_.empty() && write(c, reply_.data(), reply_.size()) < 0)
                head.clear();
            close(c);
        });
    }
    ~ClosingListener()
    {
        thread_.join();
        close(fd_);
    }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/soap"; }

private:
    std::string reply_;
    int fd_ = -1;
    int port_ = 0;
    std::thread thread_;
};

}  // namespace

TEST_F(Soap, AConnectionClosedBeforeTheWholeReplyIsSaidToBeSo)
{
    Transport t;
    for (const std::string& reply : {std::string(), std::string("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n<x")}) {
        const ClosingListener closing(reply);
        EXPECT_EQ(ErrorOf([&] { t.PostToURI(closing.Url(), "<x/>"); }),
                  "The connection was closed before the reply was complete (" + closing.Url() + ")");
    }
}

TEST_F(Soap, DescriptionsThatCannotBeUsed)
{
    Packager p;
    // Redirects are followed.
    EXPECT_TRUE(p.LoadServicesDescription(1, server.Url("/moved")));
    EXPECT_FALSE(p.LoadServicesDescription(1, server.Wsdl("missing.wsdl")));
    EXPECT_NE(p.LastError().find("404"), std::string::npos);
    server.ServeText("<html><body>not a description</body></html>");
    EXPECT_FALSE(p.LoadServicesDescription(1, server.Url("/text")));
    EXPECT_NE(p.LastError().find("not a WSDL"), std::string::npos) << p.LastError();
    EXPECT_FALSE(p.LoadServicesDescription(2, "<definitions"));
    EXPECT_NE(p.LastError().find("not well-formed"), std::string::npos);
    EXPECT_FALSE(p.LoadServicesDescription(2, "<wsdl:definitions xmlns:wsdl=\"http://schemas.xmlsoap.org/wsdl/\"/>"));
    EXPECT_NE(p.LastError().find("no SOAP 1.1 binding"), std::string::npos);
    EXPECT_THROW(p.LoadServicesDescription(1, "http://127.0.0.1:1/x.wsdl"), SoapError);
    EXPECT_THROW(p.LoadServicesDescription(3, "x"), SoapError);
}

TEST_F(Soap, Soap2ClientMapsPositionsAndWritesBackByReference)
{
    Soap2Client client;
    client.Initialize(server.Wsdl("rpc_encoded.wsdl"), "", "", "");
    EXPECT_EQ(client.Endpoint(), server.Url("/soap"));
    server.ReplyEnvelope("<m:CreateTicketResponse xmlns:m=\"urn:test-logs\"><result>TICKET-1</result>"
                         "<fullPrincipal>tester@example.test</fullPrincipal></m:CreateTicketResponse>");
    std::vector<Soap2Arg> args = {{"LDAP://ldap.example.test"}, {"example.test"}, {"tester"}, {"secret"},
                                  {std::string(50, '\0'), true}};
    EXPECT_EQ(client.Call("CreateTicket", args), "TICKET-1");
    EXPECT_EQ(args[4].value, "tester@example.test");
    EXPECT_EQ(args[2].value, "tester");
    const std::string sent = server.lastBody();
    EXPECT_LT(sent.find("<authority"), sent.find("<realm"));
    EXPECT_NE(sent.find(">tester</principal>"), std::string::npos);
    EXPECT_EQ(server.lastAction(), "\"urn:test-logs#CreateTicket\"");

    // A procedure with a by-reference part; by-value arguments are left alone.
    server.ReplyEnvelope("<m:TouchResponse xmlns:m=\"urn:test-logs\"><state>after</state></m:TouchResponse>");
    std::vector<Soap2Arg> touch = {{"true"}, {"before", true}};
    EXPECT_EQ(client.Call("Touch", touch), "");
    EXPECT_EQ(touch[1].value, "after");

    // Faults keep their string and detail.
    server.ReplyEnvelope("<e:Fault><faultcode>e:Server</faultcode><faultstring>Token rejected</faultstring>"
                         "<detail><why>replayed</why></detail></e:Fault>", 500);
    std::vector<Soap2Arg> logs = {{"tok", true}, {"1"}, {"2"}, {"", true}};
    EXPECT_THROW(client.Call("GetLogs", logs), SoapFault);
    EXPECT_EQ(client.FaultString(), "Token rejected");
    EXPECT_EQ(client.FaultDetail(), "replayed");
    // Other failures say what went wrong in the detail.
    server.Reply({500, "<html><body>down</body></html>", "text/html"});
    EXPECT_THROW(client.Call("GetLogs", logs), SoapError);
    EXPECT_NE(client.FaultDetail().find("HTML page"), std::string::npos);
    EXPECT_THROW(client.Call("NoSuchOperation", logs), SoapError);
    EXPECT_NE(client.FaultDetail().find("no operation NoSuchOperation"), std::string::npos);

    // Document/literal wrapped.
    Soap2Client doc;
    doc.Initialize(server.Wsdl("doc_literal.wsdl"));
    server.ReplyEnvelope("<OpenSessionResponse xmlns=\"urn:test-doc\"><OpenSessionResult>ok</OpenSessionResult>"
                         "<ticket>T</ticket><sessionKey>KEY</sessionKey></OpenSessionResponse>");
    std::vector<Soap2Arg> open = {{"tsc"}, {"T", true}, {"", true}};
    EXPECT_EQ(doc.Call("OpenSession", open), "ok");
    EXPECT_EQ(open[2].value, "KEY");
}

TEST_F(Soap, Soap2ClientInitialisationFailures)
{
    Soap2Client client;
    EXPECT_THROW(client.Initialize("http://127.0.0.1:1/none.wsdl"), SoapError);
    EXPECT_NE(client.FaultDetail().find("Could not connect to http://127.0.0.1:1/none.wsdl"), std::string::npos);
    EXPECT_FALSE(client.initialized());
    server.ServeText("<html><body>hello</body></html>");
    EXPECT_THROW(client.Initialize(server.Url("/text")), SoapError);
    EXPECT_NE(client.FaultDetail().find("not a WSDL"), std::string::npos) << client.FaultDetail();
    EXPECT_THROW(client.Initialize(server.Wsdl("missing.wsdl")), SoapError);
    EXPECT_NE(client.FaultDetail().find("HTTP status 404"), std::string::npos);
    std::vector<Soap2Arg> none;
    EXPECT_THROW(client.Call("Ping", none), SoapError);
    EXPECT_NE(client.FaultDetail().find("No service description"), std::string::npos);
}

TEST_F(Soap, CommandLineListsAndCalls)
{
    const auto run = [](const std::string& cmd, int* status) {
        std::string out;
        std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen((cmd + " 2>&1").c_str(), "r"), pclose);
        char buf[4096];
        while (std::size_t n = fread(buf, 1, sizeof buf, pipe.get()))
            out.append(buf, n);
        *status = pclose(pipe.release());
        return out;
    };
    int status = 0;
    const std::string exe = TESSEL_SOAP_CLI;
    EXPECT_EQ(run(exe + " list " + server.Wsdl("rpc_encoded.wsdl"), &status),
              std::string(kListing) + "Available methods - LogService\n");
    EXPECT_EQ(status, 0);
    server.ReplyEnvelope("<m:PingResponse xmlns:m=\"urn:test-logs\"><result>pong</result></m:PingResponse>");
    EXPECT_EQ(run(exe + " call " + server.Wsdl("rpc_encoded.wsdl") + " Ping token=abc", &status), "result = pong\n");
    EXPECT_EQ(status, 0);
    EXPECT_NE(server.lastBody().find(">abc</token>"), std::string::npos);
    server.ReplyEnvelope("<e:Fault><faultcode>e:Server</faultcode><faultstring>nope</faultstring></e:Fault>", 500);
    EXPECT_NE(run(exe + " call " + server.Wsdl("rpc_encoded.wsdl") + " Ping token=abc", &status).find("nope"),
              std::string::npos);
    EXPECT_NE(status, 0);
    EXPECT_NE(run(exe + " list http://127.0.0.1:1/x.wsdl", &status).find("Could not connect"), std::string::npos);
    EXPECT_NE(status, 0);
    run(exe + " call " + server.Wsdl("rpc_encoded.wsdl") + " Ping noequals", &status);
    EXPECT_NE(status, 0);
}

TEST_F(Soap, EveryHeaderEntryIsCheckedForMustUnderstand)
{
    const auto request = [](const std::string& headers) {
        return "<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\">" + headers +
               "<e:Body><m:Ping xmlns:m=\"urn:test\"/></e:Body></e:Envelope>";
    };
    const auto entry = [](const std::string& name, const std::string& must) {
        return "<h:" + name + " xmlns:h=\"urn:h\" e:mustUnderstand=\"" + must + "\">x</h:" + name + ">";
    };
    const auto code = [&](const std::string& headers) {
        try {
            ReadRequest(request(headers), {QName{"urn:h", "Known"}});
        } catch (const SoapFault& f) {
            return f.faultCode() + ": " + f.faultString();
        }
        return std::string("read");
    };
    // The marked entry not understood is found after others, and in a second Header.
    EXPECT_EQ(code("<e:Header>" + entry("Known", "1") + entry("Other", "0") + entry("Trace", "1") + "</e:Header>"),
              "MustUnderstand: Header entry Trace was not understood");
    EXPECT_EQ(code("<e:Header>" + entry("Known", "1") + "</e:Header><e:Header>" + entry("Trace", "1") + "</e:Header>"),
              "MustUnderstand: Header entry Trace was not understood");
    EXPECT_EQ(code("<e:Header>" + entry("Known", "1") + entry("Trace", "0") + "</e:Header>"), "read");
    // Its values are "0" and "1".
    for (const char* value : {"true", "false", "yes", "", "2"})
        EXPECT_EQ(code("<e:Header>" + entry("Trace", value) + "</e:Header>"),
                  "Client: Header entry Trace has an invalid mustUnderstand value")
            << value;
}

TEST(Connections, ExchangesSharingAPoolGoOverOneConnection)
{
    std::mutex mutex;
    std::vector<int> ports;  // the client's port of each request
    const TestHttpServer server([&](httplib::Server& s) {
        s.Post("/soap", [&](const httplib::Request& req, httplib::Response& res) {
            const std::lock_guard<std::mutex> lock(mutex);
            ports.push_back(req.remote_port);
            res.set_content("<ok/>", "text/xml");
        });
    });
    const auto posts = [&](const HttpOptions& options) {
        ports.clear();
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(HttpPost(server.Url("/soap"), "<x/>", "urn:a", options).body, "<ok/>");
        const std::lock_guard<std::mutex> lock(mutex);
        return std::set<int>(ports.begin(), ports.end()).size();
    };
    EXPECT_EQ(posts(HttpOptions{}), 3u);  // a connection each
    HttpOptions pooled;
    pooled.connections = std::make_shared<ConnectionPool>();
    EXPECT_EQ(posts(pooled), 1u);
    // From several threads at once too.
    ports.clear();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 5; ++i)
                HttpPost(server.Url("/soap"), "<x/>", "urn:a", pooled);
        });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(ports.size(), 20u);
}
