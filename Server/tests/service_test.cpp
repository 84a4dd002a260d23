// TesselServiceLocal end to end: the real program on a free port, reached
// through the SOAP toolkit and the token library loaded by name.
#include <gtest/gtest.h>
#include <iconv.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "Descriptions.h"
#include "RequestLog.h"
#include "ServiceProcess.h"
#include "Soap/Soap2Client.h"
#include "Soap/SoapError.h"
#include "TempHome.h"
#include "TestText.h"
#include "TesselClient.h"

using tessel::soap::SoapFault;

namespace {

class Service : public ::testing::Test {
protected:
    TempHome home;
    std::string log = home.dir() + "/requests.log";
};

}  // namespace

TEST_F(Service, StartsOnAFreePortAndStopsOnSignals)
{
    for (const int sig : {SIGTERM, SIGINT}) {
        ServiceProcess svc;
        EXPECT_EQ(svc.firstLine(), "listening on http://127.0.0.1:" + std::to_string(svc.port()) + "/\n");
        EXPECT_EQ(svc.Stop(sig), 0);
    }
}

TEST_F(Service, ASecondInstanceOnABusyPortFails)
{
    ServiceProcess first;
    const std::string cmd = std::string(TESSEL_SERVICE_EXE) + " --port " + std::to_string(first.port()) + " 2>&1";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(cmd.c_str(), "r"), pclose);
    char line[256] = {};
    ASSERT_NE(fgets(line, sizeof line, pipe.get()), nullptr);
    EXPECT_NE(std::string(line).find("cannot listen"), std::string::npos) << line;
    EXPECT_NE(pclose(pipe.release()), 0);
}

TEST_F(Service, DescriptionsNameTheHostTheClientUsed)
{
    ServiceProcess svc;
    for (const char* host : {"127.0.0.1", "localhost"}) {
        const std::string base = std::string("http://") + host + ":" + std::to_string(svc.port());
        for (const char* path : {"/TesselService/TesselServiceCore.xml", "/TesselService/TesselServiceCore.wsdl",
                                 "/TesselService/TesselServiceCoreAdmin.xml", "/TesselService2/TesselServiceCore.wsdl"}) {
            tessel::soap::Packager p;
            ASSERT_TRUE(p.LoadServicesDescription(1, base + path)) << path << ": " << p.LastError();
            const auto loc = std::get<tessel::soap::ServiceLocation>(p.GetCatalog(0).locations.at(0)).URI;
            EXPECT_EQ(loc.rfind(base + "/", 0), 0u) << loc;
        }
    }
    tessel::soap::Packager main, admin;
    main.LoadServicesDescription(1, svc.MainDescription());
    admin.LoadServicesDescription(1, svc.AdminDescription());
    EXPECT_TRUE(main.HasMethod("CreateTicket"));
    EXPECT_TRUE(main.HasMethod("GetResourceACL"));
    EXPECT_FALSE(main.HasMethod("ReLoadConfig"));
    EXPECT_TRUE(admin.HasMethod("ReLoadConfig"));
    // Every operation has "user" first and "reskey" last in its parameter order.
    for (const auto& m : main.GetCatalog(1).methods) {
        if (m.Name == "CreateTicket" || m.Name == "OpenSession" || m.Name == "CloseSession")
            continue;
        ASSERT_GE(m.lists[2].size(), 2u) << m.Name;
        EXPECT_EQ(m.lists[2].front().Name, "user");
        EXPECT_EQ(m.lists[2].back().Name, "reskey");
        EXPECT_EQ(m.kind, 1);
    }
    // An unknown path is an HTML 404 page.
    const auto page = tessel::soap::HttpGet(svc.Url("/nothing/here"));
    EXPECT_EQ(page.status, 404);
    EXPECT_EQ(page.body.rfind("<html>", 0), 0u);
}

TEST_F(Service, LoginCallsAndLogout)
{
    ServiceProcess svc({"--user", "alice:wonder", "--user", "bob:builder", "--log", log});
    TesselClient wrong(svc.MainDescription());
    EXPECT_FALSE(wrong.Login("alice", "nope"));
    EXPECT_FALSE(wrong.Login("tester", "tester"));  // not a user of this instance

    TesselClient alice(svc.MainDescription());
    ASSERT_TRUE(alice.Login("alice", "wonder"));
    const CallResult put = alice.Call("PutVOContent", {{"name", "Report"}, {"content", "<content>Gr\xC3\xBC\xC3\x9F" "e</content>"}});
    EXPECT_EQ(put.validation, 0);
    EXPECT_EQ(put.decoded, "tessel://alice/Report");
    const CallResult got = alice.Call("GetVOContent", {{"name", "Report"}});
    EXPECT_EQ(got.validation, 0);
    EXPECT_EQ(got.decoded, "<content>Gr\xC3\xBC\xC3\x9F" "e</content>");
    EXPECT_EQ(got.kind, 0);
    EXPECT_NE(alice.Call("GetVOList", {}).decoded.find("Report"), std::string::npos);

    // Faults say what is wrong.
    EXPECT_NE(FaultOf([&] { alice.Call("GetVOContent", {{"name", "Missing"}}); }).find("Missing"), std::string::npos);
    EXPECT_NE(FaultOf([&] { alice.Call("GetLog", {{"logID", "logID"}}); }).find("not a number"), std::string::npos);
    tessel::soap::Transport raw;
    const auto post = [&](const std::string& body) {
        return raw.PostToURI(alice.endpoint(), "<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\"><e:Body>" +
                                                   body + "</e:Body></e:Envelope>");
    };
    EXPECT_NE(FaultOf([&] { TesselClient::Param(post("<m:GetLog xmlns:m=\"urn:x\"><user>x</user></m:GetLog>"), "result"); })
                  .find("Missing parameter logID"),
              std::string::npos);
    // A misspelt parameter is named with the one it stands for, and the connection serves the next call; one
    // the operation does not take beside those it does is left aside.
    const auto faultOfGetLog = [&](const std::string& params) {
        return FaultOf([&] {
            TesselClient::Param(post("<m:GetLog xmlns:m=\"urn:x\"><user>x</user>" + params + "</m:GetLog>"), "result");
        });
    };
    EXPECT_EQ(faultOfGetLog("<logid>1</logid><reskey/>"),
              "Missing parameter logID | The request of GetLog has no parameter \"logID\"; it has \"logid\", "
              "which GetLog does not take.");
    // Taken like any call: only its token is wrong here.
    EXPECT_EQ(faultOfGetLog("<logID>1</logID><reskey/><colour>red</colour>").rfind("Unknown session | ", 0), 0u);
    EXPECT_EQ(alice.Call("GetLogCount", {}).validation, 0);
    EXPECT_NE(FaultOf([&] {
                  TesselClient::Param(alice.Exchange("GetLog", {{"user", ""}, {"logID", "1"}, {"reskey", ""}}), "result");
              }).find("Missing token"),
              std::string::npos);
    EXPECT_NE(FaultOf([&] { TesselClient::Param(raw.PostToURI(alice.endpoint(), "<not-soap"), "result"); })
                  .find("not a SOAP message"),
              std::string::npos);
    EXPECT_NE(FaultOf([&] {
                  TesselClient::Param(raw.PostToURI(alice.endpoint(),
                                                    "<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\">"
                                                    "<e:Body><m:NoSuchThing xmlns:m=\"urn:x\"/></e:Body></e:Envelope>"),
                                      "result");
              }).find("Unknown operation NoSuchThing"),
              std::string::npos);
    EXPECT_NE(FaultOf([&] {
                  TesselClient::Param(alice.Exchange("OpenSession", {{"service", "tsc"}, {"ticket", "TKT-forged"},
                                                                     {"tokenScheme", ""}, {"tokenSeed", ""},
                                                                     {"sessionKey", ""}, {"verifier", ""}}),
                                      "result");
              }).find("Unknown ticket"),
              std::string::npos);

    // A second user sees her VO among all, not among his own.
    TesselClient bob(svc.MainDescription());
    ASSERT_TRUE(bob.Login("bob", "builder"));
    EXPECT_EQ(bob.Call("GetVOList", {}).decoded.find("Report"), std::string::npos);
    EXPECT_NE(bob.Call("GetAllVOList", {}).decoded.find("Report"), std::string::npos);

    EXPECT_EQ(TesselClient::Param(alice.Logout(), "result"), "OK");
    EXPECT_NE(FaultOf([&] { alice.Call("GetVOList", {}); }).find("Unknown session"), std::string::npos);
    EXPECT_NE(FaultOf([&] { TesselClient::Param(alice.Logout(), "result"); }).find("Unknown session"), std::string::npos);
    EXPECT_EQ(bob.Call("GetVOList", {}).validation, 0);  // other sessions go on
}

TEST_F(Service, EveryOperationGroupRoundTrips)
{
    ServiceProcess svc;
    TesselClient c(svc.MainDescription());
    ASSERT_TRUE(c.Login("tester", "tester"));
    const auto ok = [&](const std::string& op, std::vector<std::pair<std::string, std::string>> params) {
        const CallResult r = c.Call(op, params);
        EXPECT_EQ(r.validation, 0) << op;
        return r.decoded;
    };
    // VO content by name and by URI, VO URIs, locks
    const std::string uri = ok("PutVOContent", {{"name", "Doc"}, {"content", "one"}});
    ok("UpdateVOContent", {{"name", "Doc"}, {"content", "two"}});
    EXPECT_EQ(ok("GetVOContentbyURI", {{"uri", uri}}), "two");
    ok("UpdateVOContentbyURI", {{"uri", uri}, {"content", "three"}});
    EXPECT_EQ(ok("GetVOContent", {{"name", "Doc"}}), "three");
    EXPECT_NE(ok("GetVOURIList", {}).find(uri), std::string::npos);
    EXPECT_EQ(ok("GetVOURI", {{"vouser", "tester"}, {"name", "Doc"}}), uri);
    ok("LockVO", {{"uri", uri}});
    EXPECT_NE(ok("GetVOAttribute", {{"uri", uri}}).find("locked=\"yes\""), std::string::npos);
    ok("UpdateVOContentbyURIwithUnlock", {{"uri", uri}, {"content", "four"}});
    EXPECT_NE(ok("GetVOAttribute", {{"uri", uri}}).find("locked=\"no\""), std::string::npos);
    EXPECT_EQ(ok("GetVOContentwithLock", {{"name", "Doc"}}), "four");
    ok("UpdateVOContentwithUnlock", {{"name", "Doc"}, {"content", "five"}});
    ok("RemoveVOContentbyURI", {{"uri", uri}});
    EXPECT_NE(FaultOf([&] { c.Call("GetVOContent", {{"name", "Doc"}}); }), "(no fault)");
    const std::string voUri = ok("PutVOURI", {{"vouser", "carol"}, {"name", "Plan"}});
    EXPECT_NE(ok("GetAllVOUserList", {}).find("carol"), std::string::npos);
    ok("RemoveVOURI", {{"uri", voUri}});
    EXPECT_EQ(ok("GetAllVOURIList", {}).find(voUri), std::string::npos);

    // resource ACLs by name, ACLs and entries by URI
    const std::string acl = "<VOACL><control><user>ann</user><access>rw</access></control></VOACL>";
    ok("PutResourceACL", {{"name", "res"}, {"acl", acl}});
    EXPECT_EQ(ok("GetResourceACL", {{"name", "res"}}), acl);
    ok("PutResourceACLEntry", {{"name", "res"}, {"acluser", "ben"}, {"accright", "r"}});
    ok("UpdateResourceACLEntry", {{"name", "res"}, {"acluser", "ben"}, {"accright", "rwd"}});
    EXPECT_EQ(ok("GetResourceACLEntry", {{"name", "res"}, {"acluser", "ben"}}), "rwd");
    ok("DeleteResourceACLEntry", {{"name", "res"}, {"acluser", "ann"}});
    ok("UpdateResourceACL", {{"name", "res"}, {"acl", acl}});
    ok("DeleteResourceACL", {{"name", "res"}});
    EXPECT_NE(FaultOf([&] { c.Call("GetResourceACL", {{"name", "res"}}); }), "(no fault)");
    EXPECT_NE(FaultOf([&] { c.Call("PutResourceACL", {{"name", "r2"}, {"acl", "acl"}}); }).find("VOACL"),
              std::string::npos);
    ok("PutACL", {{"uri", "item://1"}, {"acl", acl}});
    ok("PutACLEntry", {{"uri", "item://1"}, {"acluser", "cy"}, {"accright", "a"}});
    ok("UpdateACLEntry", {{"uri", "item://1"}, {"acluser", "cy"}, {"accright", "ab"}});
    EXPECT_EQ(ok("GetACLEntry", {{"uri", "item://1"}, {"acluser", "cy"}}), "ab");
    ok("DeleteACLEntry", {{"uri", "item://1"}, {"acluser", "cy"}});
    ok("UpdateACL", {{"uri", "item://1"}, {"acl", acl}});
    EXPECT_EQ(ok("GetACL", {{"uri", "item://1"}}), acl);
    ok("DeleteACL", {{"uri", "item://1"}});

    // messages
    ok("PutMessage", {{"uri", "item://2"}, {"message", "hello"}});
    ok("UpdateMessage", {{"uri", "item://2"}, {"message", "hello again"}});
    EXPECT_EQ(ok("GetMessage", {{"uri", "item://2"}}), "hello again");
    ok("RemoveMessage", {{"uri", "item://2"}});

    // logs with IDs, categories and per-user views, resumable processes
    const std::string id = ok("PutLog", {{"log", "first entry"}});
    const std::string collab = ok("PutCollabLog", {{"uri", "item://3"}, {"log", "shared entry"}});
    EXPECT_NE(ok("GetLog", {{"logID", id}}).find("first entry"), std::string::npos);
    EXPECT_NE(ok("GetLogs", {{"logID", id}, {"count", "2"}}).find("shared entry"), std::string::npos);
    EXPECT_NE(ok("GetLogIDList", {}).find(collab), std::string::npos);
    EXPECT_EQ(ok("GetCategoryLogIDList", {{"category", "collab"}}), collab);
    EXPECT_NE(ok("GetLogbyUser", {{"opuser", "tester"}}).find("first entry"), std::string::npos);
    EXPECT_EQ(ok("GetCategoryLogbyUser", {{"opuser", "tester"}, {"category", "collab"}}).find("first entry"),
              std::string::npos);
    EXPECT_EQ(ok("GetLogCount", {}), "3");
    EXPECT_EQ(ok("GetResumeIDList", {{"name", "name"}}), "resume-1;resume-2");
    EXPECT_NE(ok("ResumeServiceProcess", {{"resumeID", "resume-1"}, {"flag", "1"}}).find("resume-1"), std::string::npos);
    EXPECT_EQ(ok("GetResumeIDList", {{"name", "name"}}), "resume-2");

    // sharing, attendees, owners, share fields
    EXPECT_NE(ok("StartSharing", {{"ipaddress", "10.0.0.1"}, {"uri", "share://1"}}).find("owner=\"tester\""),
              std::string::npos);
    ok("AddAttendee", {{"uri", "share://1"}, {"attendee", "dan"}});
    ok("AddAttendee", {{"uri", "share://1"}, {"attendee", "eve"}});
    ok("DeleteAttendee", {{"uri", "share://1"}, {"attendee", "dan"}});
    EXPECT_EQ(ok("GetAttendeesList", {{"uri", "share://1"}}), "eve");
    ok("ChangeOwner", {{"uri", "share://1"}, {"newowner", "eve"}});
    EXPECT_NE(ok("StartSharing", {{"ipaddress", "10.0.0.2"}, {"uri", "share://1"}}).find("owner=\"eve\""),
              std::string::npos);
    ok("SaveSharing", {{"uri", "share://1"}, {"field", "saved"}});
    ok("EndSharing", {{"uri", "share://1"}});
    const std::string field = ok("PutShareField", {{"author", "fay"}, {"name", "Notes"}, {"field", "line1\r\nline2"}});
    EXPECT_EQ(ok("GetShareFieldURI", {{"author", "fay"}, {"name", "Notes"}}), field);
    EXPECT_EQ(ok("GetShareField", {{"uri", field}}), "line1\r\nline2");
    ok("UpdateShareField", {{"uri", field}, {"field", "changed"}});
    EXPECT_NE(ok("GetShareFieldAttribute", {{"uri", field}}).find("size=\"7\""), std::string::npos);
    EXPECT_NE(ok("GetShareFieldList", {}).find("Notes"), std::string::npos);
    EXPECT_NE(ok("GetShareFieldURIList", {}).find(field), std::string::npos);
    ok("RemoveShareField", {{"uri", field}});
    EXPECT_EQ(ok("GetShareFieldList", {}).find("Notes"), std::string::npos);

    // Folio resources with URLs, properties and attributes
    const std::vector<std::pair<std::string, std::string>> attrs = {
        {"name", "Guide"}, {"modulename", "docs"}, {"creator", "gil"}, {"version", "2"},
        {"type", "pdf"},   {"id", "G-1"},         {"description", "A guide"}};
    auto put = attrs;
    put.emplace_back("urlleaf", "guide.pdf");
    put.emplace_back("props", "public");
    EXPECT_EQ(ok("PutVOResourcewithAttribute", put), svc.Url("/Folio/guide.pdf"));
    ok("UpdateVOResourceURL", {{"name", "Guide"}, {"urlleaf", "guide-2.pdf"}});
    EXPECT_EQ(ok("GetVOResourceURL", {{"name", "Guide"}}), svc.Url("/Folio/guide-2.pdf"));
    ok("UpdateVOResourceProps", {{"name", "Guide"}, {"props", "private"}});
    EXPECT_NE(ok("GetVOResourceAttribute", {{"name", "Guide"}}).find("props=\"private\""), std::string::npos);
    EXPECT_NE(ok("GetVOResourceAttributeList", {{"modulename", "docs"}}).find("Guide"), std::string::npos);
    EXPECT_NE(ok("GetVOResourceModuleNameList", {}).find("docs"), std::string::npos);
    auto changed = attrs;
    changed[1].second = "manuals";
    ok("UpdateVOResourceAttribute", changed);
    EXPECT_EQ(ok("GetVOResourceAttributeList", {{"modulename", "docs"}}).find("Guide"), std::string::npos);
    ok("RemoveVOResourceAttribute", changed);
    EXPECT_EQ(ok("GetVOResourceAttribute", {{"name", "Guide"}}).find("modulename"), std::string::npos);
    EXPECT_NE(ok("GetAllVOResourceAttributeList", {}).find("Guide"), std::string::npos);
    ok("RemoveVOResource", {{"name", "Guide"}});

    // settings, groups and users, the query
    EXPECT_EQ(ok("GetCompressThreshold", {}), "1024");
    EXPECT_EQ(ok("GetAdminUserList", {}), "tester");
    EXPECT_EQ(ok("GetGroupList", {}), "admins;group");
    EXPECT_EQ(ok("GetGroupUserList", {{"group", "group"}}), "tester");
    EXPECT_EQ(ok("GetOwnGroupList", {}), "admins;group");
    EXPECT_EQ(ok("GetConferenceManagerURL", {}), svc.Url("/ConferenceManager/"));
    EXPECT_NE(ok("Query", {{"sqlstmt", "<query>select</query>"}}).find("ALFKI"), std::string::npos);

    // the admin interface shares the main interface's sessions
    c.UseDescription(svc.AdminDescription());
    EXPECT_EQ(ok("ReLoadConfig", {}), "OK: Config reloaded (1)");
    EXPECT_EQ(ok("ReLoadTransform", {}), "OK: Transform reloaded (1)");
    EXPECT_EQ(ok("ReLoadUnifyTable", {}), "OK: UnifyTable reloaded (1)");
}

TEST_F(Service, RepliesOfEachEncodingDecode)
{
    ServiceProcess svc({"--compress-threshold", "40", "--log", log});
    TesselClient c(svc.MainDescription());
    ASSERT_TRUE(c.Login("tester", "tester"));
    const std::string big(5000, 'x');
    c.Call("PutVOContent", {{"name", "Big"}, {"content", big}});
    const CallResult r = c.Call("GetVOContent", {{"name", "Big"}});
    EXPECT_EQ(r.validation, 0);
    EXPECT_EQ(r.kind, 1);
    EXPECT_EQ(r.decoded, big);
    EXPECT_LT(r.result.size(), 200u);  // sent compressed
    EXPECT_EQ(c.Call("GetCompressThreshold", {}).decoded, "40");

    ServiceProcess enc({"--encrypt-results"});
    TesselClient e(enc.MainDescription());
    ASSERT_TRUE(e.Login("tester", "tester"));
    const CallResult er = e.Call("GetVOList", {});
    EXPECT_EQ(er.validation, 0);
    EXPECT_EQ(er.kind, 2);
    EXPECT_EQ(er.decoded, "ByURI;Name1;Name3;Name4");
    EXPECT_NE(er.result, er.decoded);

    const auto lines = ReadLog(log);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back()["operation"], "GetCompressThreshold");
    bool sawCompressed = false;
    for (const auto& l : lines)
        sawCompressed |= l["operation"] == "GetVOContent" && l["encoding"] == "compressed";
    EXPECT_TRUE(sawCompressed);
}

TEST_F(Service, TamperedAndReplayedTokensAreRefused)
{
    ServiceProcess svc({"--log", log});
    TesselClient c(svc.MainDescription());
    ASSERT_TRUE(c.Login("tester", "tester"));
    Lib& lib = Lib::Get();
    const auto request = [&](const std::string& token) {
        return c.Exchange("GetLog", {{"user", token}, {"logID", "1"}, {"reskey", ""}});
    };
    const auto token = [&] {
        lib.SetData(c.handle(), 0, 0, "GetLog", "");
        lib.SetData(c.handle(), 1, 0, "logID", "1");
        std::vector<char> buf(1025);
        char* p = buf.data();
        int32_t len = 1024;
        lib.Construct(c.handle(), &len, &p);
        return std::string(buf.data(), static_cast<std::size_t>(len));
    };
    // A character altered anywhere in the cipher text.
    for (const std::size_t at : {0u, 5u, 12u, 30u, 60u, 100u}) {
        std::string tampered = token();
        tampered[at] = tampered[at] == 'A' ? 'B' : 'A';
        const std::string refused = FaultOf([&] { TesselClient::Param(request(tampered), "result"); });
        EXPECT_NE(refused.find("Invalid token"), std::string::npos) << at << ": " << refused;
    }
    const std::string good = token();
    EXPECT_EQ(c.Finish("GetLog", request(good)).validation, 0);
    EXPECT_NE(FaultOf([&] { TesselClient::Param(request(good), "result"); }).find("already used"), std::string::npos);
    // A token for other data than was sent.
    const std::string other = token();
    EXPECT_NE(FaultOf([&] {
                  TesselClient::Param(c.Exchange("GetLog", {{"user", other}, {"logID", "2"}, {"reskey", ""}}), "result");
              }).find("hash"),
              std::string::npos);

    const auto lines = ReadLog(log);
    int rejected = 0;
    for (const auto& l : lines)
        rejected += l["token"].get<std::string>().rfind("rejected: ", 0) == 0;
    EXPECT_EQ(rejected, 8);
}

TEST_F(Service, HtmlErrorModeAndTheRequestLog)
{
    ServiceProcess svc({"--html-error", "GetLogs", "--log", log});
    TesselClient c(svc.MainDescription());
    ASSERT_TRUE(c.Login("tester", "tester"));
    const std::string page = c.Exchange("GetLogs", {{"user", "x"}, {"logID", "1"}, {"count", "2"}, {"reskey", ""}});
    EXPECT_EQ(page.rfind("<html>", 0), 0u) << page;
    EXPECT_GT(page.size(), 6u);
    c.Call("GetResourceACLEntry", {{"name", "name"}, {"acluser", "xxx"}});

    const auto lines = ReadLog(log);
    ASSERT_EQ(lines.size(), 4u);  // CreateTicket, OpenSession, GetLogs, GetResourceACLEntry
    EXPECT_EQ(lines[0]["operation"], "CreateTicket");
    EXPECT_EQ(lines[2]["encoding"], "html-error");
    const auto& last = lines[3];
    EXPECT_EQ(last["operation"], "GetResourceACLEntry");
    EXPECT_EQ(last["token"], "valid");
    EXPECT_EQ(last["encoding"], "plain");
    ASSERT_EQ(last["parameters"].size(), 4u);
    EXPECT_EQ(last["parameterCount"], 4);
    EXPECT_EQ(last["parameters"][0][0], "user");
    EXPECT_EQ(last["parameters"][1], LoggedParameter("name", "name"));
    EXPECT_EQ(last["parameters"][2], LoggedParameter("acluser", "xxx"));
    EXPECT_EQ(last["parameters"][3], nlohmann::json({"reskey", "", 0}));
}

TEST_F(Service, ManySessionsAtOnceLoseNothing)
{
    ServiceProcess svc;
    // As many local clients as a busy test run has, each on a connection of
    // its own from 127.0.0.1; TESSEL_LOAD_CALLS=100 makes the full load.
    constexpr int kSessions = 96;
    const char* const calls = std::getenv("TESSEL_LOAD_CALLS");
    const int kCalls = calls ? std::max(2, std::atoi(calls)) / 2 * 2 : 20;
    std::atomic<int> failures{0};
    std::atomic<long long> latencyMicros{0};
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (int s = 0; s < kSessions; ++s) {
        threads.emplace_back([&, s] {
            try {
                TesselClient c(svc.MainDescription());
                if (!c.Login("tester", "tester")) {
                    ++failures;
                    return;
                }
                for (int i = 0; i < kCalls; ++i) {
                    const auto t0 = std::chrono::steady_clock::now();
                    const std::string name = "S" + std::to_string(s) + "-" + std::to_string(i);
                    const CallResult r = i % 2 == 0
                                             ? c.Call("PutVOContent", {{"name", name}, {"content", "c" + name}})
                                             : c.Call("GetVOContent", {{"name", "S" + std::to_string(s) + "-" +
                                                                                    std::to_string(i - 1)}});
                    latencyMicros += std::chrono::duration_cast<std::chrono::microseconds>(
                                         std::chrono::steady_clock::now() - t0)
                                         .count();
                    if (r.validation != 0 || (i % 2 == 1 && r.decoded != "cS" + std::to_string(s) + "-" +
                                                                            std::to_string(i - 1)))
                        ++failures;
                }
            } catch (const std::exception& e) {
                ADD_FAILURE() << e.what();
                ++failures;
            }
        });
    }
    for (auto& t : threads)
        t.join();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(failures.load(), 0);
    // Every put is readable afterwards.
    TesselClient check(svc.MainDescription());
    ASSERT_TRUE(check.Login("tester", "tester"));
    const std::string all = check.Call("GetAllVOList", {}).decoded;
    int exact = 0;
    std::string item;
    for (std::size_t p = 0; p <= all.size(); ++p) {
        if (p == all.size() || all[p] == ';') {
            exact += item.rfind("S", 0) == 0;
            item.clear();
        } else {
            item += all[p];
        }
    }
    EXPECT_EQ(exact, kSessions * kCalls / 2);
    std::printf("[ load ] %d sessions x %d calls in %.2f s: %.0f calls/s, mean latency %.2f ms\n", kSessions, kCalls,
                seconds, kSessions * kCalls / seconds, latencyMicros.load() / 1000.0 / (kSessions * kCalls));
}

TEST_F(Service, FaultsHeadersVersionsAndMethodsAsOtherStacksExpect)
{
    ServiceProcess svc;
    TesselClient c(svc.MainDescription());
    tessel::soap::Transport raw;
    const auto envelope = [](const std::string& header, const std::string& body,
                             const char* ns = "http://schemas.xmlsoap.org/soap/envelope/") {
        return std::string("<e:Envelope xmlns:e=\"") + ns + "\">" + header + "<e:Body>" + body + "</e:Body></e:Envelope>";
    };
    const std::string createTicket =
        "<m:CreateTicket xmlns:m=\"urn:tessel:TesselServiceCore\"><authority>a</authority><realm>example.test</realm>"
        "<principal>tester</principal><credential>tester</credential><fullPrincipal/></m:CreateTicket>";
    const auto fault = [](const std::string& reply) {
        try {
            TesselClient::Param(reply, "result");
        } catch (const SoapFault& f) {
            return f.faultCode() + " | " + f.faultString() + " | " + f.detail();
        }
        return std::string("(no fault)");
    };

    // A fault's detail holds one detail entry with the text; our client reads the text.
    const std::string unknown = raw.PostToURI(c.endpoint(), envelope("", "<m:NoSuchThing xmlns:m=\"urn:x\"/>"));
    EXPECT_EQ(raw.lastStatus(), 500);
    EXPECT_NE(unknown.find("<detail><t:message xmlns:t=\"urn:tessel:fault\">This interface has no operation named "
                           "\"NoSuchThing\"; see its service description.</t:message></detail>"),
              std::string::npos)
        << unknown;
    EXPECT_EQ(fault(unknown), "SOAP-ENV:Client | Unknown operation NoSuchThing | This interface has no operation "
                              "named \"NoSuchThing\"; see its service description.");

    // A header entry marked mustUnderstand is not processed anyway.
    const std::string trace = "<h:Trace xmlns:h=\"urn:other\" e:mustUnderstand=\"1\">x</h:Trace>";
    const std::string refused = raw.PostToURI(c.endpoint(), envelope("<e:Header>" + trace + "</e:Header>", createTicket));
    EXPECT_EQ(raw.lastStatus(), 500);
    EXPECT_EQ(fault(refused).rfind("SOAP-ENV:MustUnderstand | Header entry Trace was not understood | ", 0), 0u)
        << refused;
    // Not marked, or addressed to another node: the request goes on.
    for (const char* header : {"<h:Trace xmlns:h=\"urn:other\" e:mustUnderstand=\"0\">x</h:Trace>",
                               "<h:Trace xmlns:h=\"urn:other\" e:mustUnderstand=\"1\" e:actor=\"urn:elsewhere\"/>"}) {
        const std::string ok = raw.PostToURI(c.endpoint(), envelope(std::string("<e:Header>") + header + "</e:Header>",
                                                                    createTicket));
        EXPECT_EQ(TesselClient::Param(ok, "result").rfind("TKT-", 0), 0u) << ok;
    }
    // A SOAP 1.2 envelope is answered with VersionMismatch.
    const std::string soap12 =
        raw.PostToURI(c.endpoint(), envelope("", createTicket, "http://www.w3.org/2003/05/soap-envelope"));
    EXPECT_EQ(raw.lastStatus(), 500);
    EXPECT_EQ(fault(soap12).rfind("SOAP-ENV:VersionMismatch | ", 0), 0u) << soap12;

    // A GET on an endpoint is told to POST.
    for (const char* endpoint : {"/TesselService/TesselServiceCore.asmx", "/TesselService/TesselServiceCoreAdmin.asmx",
                                 "/TesselService2/TesselServiceCore.asmx"}) {
        const auto get = tessel::soap::HttpGet(svc.Url(endpoint));
        EXPECT_EQ(get.status, 405) << endpoint;
        EXPECT_EQ(get.Header("allow"), "POST") << endpoint;
    }
    EXPECT_EQ(tessel::soap::HttpGet(svc.Url("/TesselService/Other.asmx")).status, 404);

    // Requests written in UTF-16 and ISO-8859-1 are read as they declare.
    const std::string realm = "ex\xC3\xA4mple.test";
    std::string request = "<?xml version=\"1.0\" encoding=\"%\"?>" + envelope("", createTicket);
    request.replace(request.find("example.test"), 12, realm);
    const auto declared = [&](const char* encoding) {
        std::string r = request;
        return r.replace(r.find('%'), 1, encoding);
    };
    for (const std::string& body : {"\xFF\xFE" + Encode(declared("UTF-16"), "UTF-16LE"),
                                    Encode(declared("ISO-8859-1"), "ISO-8859-1")}) {
        const std::string reply = raw.PostToURI(c.endpoint(), body);
        EXPECT_EQ(TesselClient::Param(reply, "fullPrincipal"), "tester@" + realm) << reply;
    }
}

TEST_F(Service, TheDocumentLiteralDescriptionNamesPartsAndServesTheSoap2Client)
{
    // parameterOrder, where given, names message parts; the document/literal
    // description has one part a message and gives none.
    using tessel::server::Description;
    using tessel::server::DescriptionStyle;
    using tessel::server::Interface;
    const std::string doc = Description(Interface::Main, DescriptionStyle::DocumentLiteral, "http://localhost/x");
    EXPECT_EQ(doc.find("parameterOrder"), std::string::npos);
    const auto parsed = tessel::soap::ParseServiceDescription(doc);
    EXPECT_GT(parsed.operations.size(), 80u);
    for (const auto& op : parsed.operations)
        EXPECT_EQ(op.unusable, "") << op.name;
    EXPECT_EQ(parsed.Find("OpenSession")->CallOrder(),
              (std::vector<std::string>{"service", "ticket", "tokenScheme", "tokenSeed", "sessionKey", "verifier"}));
    EXPECT_EQ(parsed.Find("GetLog")->CallOrder(), (std::vector<std::string>{"user", "logID", "reskey"}));
    for (const Interface iface : {Interface::Main, Interface::Admin})
        for (const auto& op : tessel::soap::ParseServiceDescription(
                                  Description(iface, DescriptionStyle::RpcEncoded, "http://localhost/x"))
                                  .operations)
            EXPECT_EQ(op.unusable, "") << op.name;

    // The SOAP 2.0 client logs in with the tools' positional arguments.
    ServiceProcess svc;
    tessel::soap::Soap2Client client;
    client.Initialize(svc.Soap2Description());
    std::vector<tessel::soap::Soap2Arg> ticket = {
        {"LDAP://ldap.example.test"}, {"example.test"}, {"tester"}, {"tester"}, {std::string(50, '\0'), true}};
    EXPECT_EQ(client.Call("CreateTicket", ticket).rfind("TKT-", 0), 0u);
    EXPECT_EQ(ticket[4].value, "tester@example.test");
    std::vector<tessel::soap::Soap2Arg> open = {{"tsc"}, {"TKT-forged", true}, {"", true},
                                                {"", true}, {"", true},           {"", true}};
    EXPECT_THROW(client.Call("OpenSession", open), SoapFault);
    EXPECT_EQ(client.FaultString(), "Unknown ticket");
    EXPECT_EQ(client.FaultDetail(),
              "The ticket was not issued by CreateTicket, was already used or has expired; log in again.");
}

TEST_F(Service, ValuesThatXmlCannotCarryAreRefusedInsideTokenSlotsToo)
{
    ServiceProcess svc;
    TesselClient c(svc.MainDescription());
    ASSERT_TRUE(c.Login("tester", "tester"));
    Lib& lib = Lib::Get();
    // A compressed or encrypted slot carries its value past XML; a control
    // character stored that way could never be sent back.
    for (const int32_t kind : {1, 2}) {
        lib.SetData(c.handle(), 0, 0, "UpdateVOContent", "");
        lib.SetData(c.handle(), 1, 0, "name", "Name1");
        lib.SetData(c.handle(), 2, kind, "content", "a \x01 bell");
        std::vector<char> token(1025), wire(4097);
        char* p = token.data();
        int32_t len = 1024;
        ASSERT_EQ(lib.Construct(c.handle(), &len, &p), 0);
        token.resize(static_cast<std::size_t>(len));
        char* w = wire.data();
        int32_t wireLen = 4096;
        ASSERT_EQ(lib.GetData(c.handle(), 2, nullptr, &wireLen, &w), 0);
        const std::string refused = FaultOf([&] {
            TesselClient::Param(c.Exchange("UpdateVOContent", {{"user", std::string(token.begin(), token.end())},
                                                               {"name", "Name1"},
                                                               {"content", std::string(wire.data(), wireLen)},
                                                               {"reskey", ""}}),
                                "result");
        });
        EXPECT_NE(refused.find("Invalid parameter value"), std::string::npos) << kind << ": " << refused;
    }
    // Nothing was stored: the content still reads back.
    const CallResult r = c.Call("GetVOContent", {{"name", "Name1"}});
    EXPECT_EQ(r.validation, 0);
    EXPECT_FALSE(r.decoded.empty());
}
