// Imports of a description: the merge's work grows with what is imported and
// no faster, a raised cancel flag stops a load at its next step, and imports
// (and their redirects) stay within the description's origin unless more
// origins are allowed.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <map>
#include <mutex>
#include <new>
#include <thread>

#include "ImportSamples.h"
#include "Soap/Packager.h"
#include "Soap/ServiceDescription.h"
#include "Soap/Soap2Client.h"
#include "Soap/SoapError.h"
#include "Soap/Transport.h"
#include "TestHttpServer.h"
#include "TestText.h"

using namespace tessel::soap;
using namespace tessel::soap::samples;

// The bytes this test program's own C++ code asks for, on the thread that
// counts them: a measure of the merge's work that no clock enters.
namespace {
thread_local std::size_t* allocated = nullptr;
}

void* operator new(std::size_t n)
{
    if (allocated)
        *allocated += n;
    if (void* p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}
// What the operator new above took from malloc goes back to free.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace {

std::size_t BytesAllocatedToMerge(int messages)
{
    const std::string imported = ManyMessages(messages);
    const DocumentFetcher fetch = [&](const std::string&, std::size_t) { return imported; };
    std::size_t bytes = 0;
    allocated = &bytes;
    const ServiceDescription d = ParseServiceDescription(MainImportingMessages(), kImportBase, fetch);
    allocated = nullptr;
    EXPECT_NE(d.text.find("<message xmlns=\"http://schemas.xmlsoap.org/wsdl/\" xmlns:xs=\"http://www.w3.org/2001/"
                          "XMLSchema\" name=\"m" + std::to_string(messages - 1) + "\">"),
              std::string::npos);
    return bytes;
}

}  // namespace

TEST(ImportMerge, ItsWorkGrowsAsTheImportedMessagesDo)
{
    // Twice the messages cost twice the work, not four times, and a small
    // multiple of the imported text's size.
    const std::size_t twenty = BytesAllocatedToMerge(20000), forty = BytesAllocatedToMerge(40000);
    EXPECT_LT(forty, twenty * 5 / 2) << twenty << " and " << forty << " bytes";
    EXPECT_LT(twenty, 32 * ManyMessages(20000).size()) << twenty << " bytes";
}

TEST(ImportCancel, ARaisedFlagStopsTheLoadAtItsNextStep)
{
    std::atomic<bool> flag{false};
    std::vector<std::string> fetched;
    std::string raiseAfter;
    const DocumentFetcher fetch = [&](const std::string& url, std::size_t) {
        fetched.push_back(url);
        if (url == raiseAfter)
            flag = true;  // as the window's Cancel does while the document comes in
        return url == kImportedUrl ? ManyMessages(2000) : ManyMessages(1);
    };
    const CancelCheck cancel(&flag);
    // Raised while the messages came in: the merge of them stops.
    raiseAfter = kImportedUrl;
    try {
        ParseServiceDescription(MainImportingMessages(), kImportBase, fetch, {}, cancel);
        ADD_FAILURE() << "the load went on";
    } catch (const Cancelled& e) {
        EXPECT_EQ(std::string(e.what()).rfind("cancelled after 0 s, while the service description and its imports "
                                              "were read", 0),
                  0u)
            << e.what();
    }
    // Raised during the first of two imports: the second is never fetched.
    flag = false;
    fetched.clear();
    raiseAfter = "http://h.test/dir/a.wsdl";
    std::string twoImports = MainImportingMessages();
    twoImports.replace(twoImports.find("<import"), 0,
                       "<import namespace=\"urn:t\" location=\"a.wsdl\"/><import namespace=\"urn:t\" "
                       "location=\"b.wsdl\"/>");
    EXPECT_THROW(ParseServiceDescription(twoImports, kImportBase, fetch, {}, cancel), Cancelled);
    EXPECT_EQ(fetched, std::vector<std::string>{"http://h.test/dir/a.wsdl"});

    // The packager passes the cancellation on rather than calling it an unusable description.
    flag = true;
    HttpOptions options;
    options.cancel = &flag;
    Packager p;
    p.SetHttpOptions(options);
    EXPECT_THROW(p.LoadServicesDescription(2, MainImportingMessages(), kImportBase), Cancelled);
}

namespace {

// A loopback server of documents by path, and of redirects.
class DocumentServer {
public:
    DocumentServer() : server_([this](httplib::Server& s) { Routes(s); }) {}

    void Serve(const std::string& path, std::string text)
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        documents_[path] = std::move(text);
    }
    void Redirect(const std::string& path, std::string to)
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        redirects_[path] = std::move(to);
    }
    int Asked()
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        return asked_;
    }
    std::string Url(const std::string& path) const { return server_.Url(path); }
    std::string Origin() const { return server_.Origin(); }

private:
    void Routes(httplib::Server& s)
    {
        s.Get(R"(/(.*))", [this](const httplib::Request& req, httplib::Response& res) {
            const std::lock_guard<std::mutex> lock(mutex_);
            ++asked_;
            const std::string path = "/" + req.matches[1].str();
            if (const auto r = redirects_.find(path); r != redirects_.end())
                return res.set_redirect(r->second);
            if (const auto d = documents_.find(path); d != documents_.end())
                return res.set_content(d->second, "text/xml");
            res.status = 404;
        });
    }

    std::mutex mutex_;
    std::map<std::string, std::string> documents_, redirects_;
    int asked_ = 0;
    // Last: it stops before the state its routes use goes.
    TestHttpServer server_;
};

// The main description with its import of messages at `location`.
std::string ImportingFrom(const std::string& location)
{
    std::string text = MainImportingMessages();
    text.replace(text.find("messages.wsdl"), 13, location);
    return text;
}

}  // namespace

TEST(ImportOrigins, AreNamedByScheme_Host_AndPort)
{
    EXPECT_EQ(OriginOf("HTTP://H.Test/dir/x.wsdl"), "http://h.test:80");
    EXPECT_EQ(OriginOf("https://h.test:8443"), "https://h.test:8443");
    EXPECT_EQ(OriginOf("http://[::1]:8080/x"), "http://[::1]:8080");
    EXPECT_EQ(OriginOf("file:///srv/x.wsdl"), "file://");
    EXPECT_EQ(OriginOf("ftp://h.test/x"), "");
    EXPECT_EQ(OriginOf("x.wsdl"), "");
    std::vector<std::string> invalid;
    EXPECT_EQ(OriginList(" http://a.test:81/x, https://b.test  http://a.test:81 ,,nothing file:///x", &invalid),
              (std::vector<std::string>{"http://a.test:81", "https://b.test:443"}));
    EXPECT_EQ(invalid, (std::vector<std::string>{"nothing", "file:///x"}));
}

TEST(ImportOrigins, ComeFromTheDescriptionsOriginUnlessMoreAreAllowed)
{
    DocumentServer home, other;
    other.Serve("/messages.wsdl", ManyMessages(2));
    home.Serve("/same.wsdl", ImportingFrom("messages.wsdl"));
    home.Serve("/messages.wsdl", ManyMessages(2));
    home.Serve("/port.wsdl", ImportingFrom(other.Url("/messages.wsdl")));
    home.Serve("/host.wsdl", ImportingFrom("http://localhost:" + other.Origin().substr(17) + "/messages.wsdl"));

    Packager p;
    EXPECT_TRUE(p.LoadServicesDescription(1, home.Url("/same.wsdl"))) << p.LastError();
    // Another port and another host are refused before anything is asked of them.
    EXPECT_FALSE(p.LoadServicesDescription(1, home.Url("/port.wsdl")));
    EXPECT_EQ(p.LastError(), home.Url("/port.wsdl") + " imports " + other.Url("/messages.wsdl") +
                                 ", which is outside the description's origin " + home.Origin() +
                                 "; imports come from the description's origin only, unless more are allowed "
                                 "(TESSEL_IMPORT_ORIGINS)");
    EXPECT_FALSE(p.LoadServicesDescription(1, home.Url("/host.wsdl")));
    EXPECT_NE(p.LastError().find("imports http://localhost:"), std::string::npos) << p.LastError();
    EXPECT_EQ(other.Asked(), 0);
    // An allowed origin is fetched from.
    HttpOptions options;
    options.importOrigins = OriginList(other.Url("/"));
    p.SetHttpOptions(options);
    EXPECT_TRUE(p.LoadServicesDescription(1, home.Url("/port.wsdl"))) << p.LastError();
    EXPECT_EQ(other.Asked(), 1);
    // So does the SOAP 2.0 client, with the same options.
    Soap2Client refusing, allowing(options);
    EXPECT_THROW(refusing.Initialize(home.Url("/port.wsdl")), SoapError);
    EXPECT_NE(refusing.FaultDetail().find("outside the description's origin " + home.Origin()), std::string::npos)
        << refusing.FaultDetail();
    EXPECT_NO_THROW(allowing.Initialize(home.Url("/port.wsdl")));
}

TEST(ImportOrigins, ARedirectToAnotherOriginIsRefused)
{
    DocumentServer home, other;
    other.Serve("/messages.wsdl", ManyMessages(2));
    home.Serve("/messages.wsdl", ManyMessages(2));
    home.Serve("/main.wsdl", ImportingFrom("moved.wsdl"));
    // Within the origin a redirect is followed.
    home.Redirect("/moved.wsdl", "/messages.wsdl");
    Packager p;
    EXPECT_TRUE(p.LoadServicesDescription(1, home.Url("/main.wsdl"))) << p.LastError();
    // Out of it, it is refused, and nothing reaches the other server.
    home.Redirect("/moved.wsdl", other.Url("/messages.wsdl"));
    EXPECT_FALSE(p.LoadServicesDescription(1, home.Url("/main.wsdl")));
    EXPECT_EQ(p.LastError(), "the import " + home.Url("/moved.wsdl") + " (of " + home.Url("/main.wsdl") +
                                 ") redirects to " + other.Url("/messages.wsdl") +
                                 ", which is outside the description's origin " + home.Origin() +
                                 "; imports come from the description's origin only, unless more are allowed "
                                 "(TESSEL_IMPORT_ORIGINS)");
    EXPECT_EQ(other.Asked(), 0);
    // Redirects that go round are cut off.
    home.Redirect("/moved.wsdl", "/moved.wsdl");
    EXPECT_FALSE(p.LoadServicesDescription(1, home.Url("/main.wsdl")));
    EXPECT_NE(p.LastError().find("more than 10 redirects"), std::string::npos) << p.LastError();
}
