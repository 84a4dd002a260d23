// The store's count of what it holds, and the limit it keeps to.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "Catalog/Catalog.h"
#include "Store.h"

using namespace tessel::server;

namespace {

const CallContext kContext{"tester", "V-session", "http://127.0.0.1:8080", 1024};

std::string FaultOf(Store& store, const std::string& operation, const Values& args)
{
    try {
        store.Execute(operation, args, kContext);
    } catch (const OperationFault& f) {
        return std::string(f.what()) + " | " + f.detail();
    }
    return "(no fault)";
}

const std::string kAcl = "<VOACL><control><user>ann</user><access>rw</access></control></VOACL>";
const std::string kLongerAcl = "<VOACL><control><user>ann</user><access>rwda</access></control>"
                               "<control><user>bob</user><access>r</access></control></VOACL>";
const Values kAttributes = {{"name", "Guide"}, {"modulename", "docs"}, {"creator", "gil"}, {"version", "2"},
                            {"type", "pdf"},   {"id", "G-1"},         {"description", "A guide"}};

Values With(Values args, const Values& more)
{
    args.insert(more.begin(), more.end());
    return args;
}

}  // namespace

TEST(StoreCount, EveryChangeIsChargedAsARecountFindsIt)
{
    Store store({"tester"});
    EXPECT_EQ(store.Used(), store.Recount());
    EXPECT_GT(store.Used(), 0u);  // the seed data
    const std::vector<std::pair<std::string, Values>> steps = {
        {"PutVOContent", {{"name", "Doc"}, {"content", "one"}}},
        {"UpdateVOContent", {{"name", "Doc"}, {"content", "a good deal longer than one"}}},
        {"LockVO", {{"uri", "tessel://tester/Doc"}}},
        {"UpdateVOContentbyURIwithUnlock", {{"uri", "tessel://tester/Doc"}, {"content", "two"}}},
        {"GetVOContentwithLock", {{"name", "Doc"}}},
        {"UpdateVOContentwithUnlock", {{"name", "Doc"}, {"content", "three"}}},
        {"UpdateVOContentbyURI", {{"uri", "URI1"}, {"content", ""}}},
        {"PutVOURI", {{"vouser", "carol"}, {"name", "Plan"}}},
        {"RemoveVOURI", {{"uri", "tessel://carol/Plan"}}},
        {"RemoveVOContent", {{"name", "Doc"}}},
        {"RemoveVOContentbyURI", {{"uri", "URI2"}}},
        {"PutResourceACL", {{"name", "res"}, {"acl", kAcl}}},
        {"PutResourceACLEntry", {{"name", "res"}, {"acluser", "ben"}, {"accright", "r"}}},
        {"PutResourceACLEntry", {{"name", "fresh"}, {"acluser", "ben"}, {"accright", "r"}}},
        {"UpdateResourceACLEntry", {{"name", "res"}, {"acluser", "ben"}, {"accright", "rwd"}}},
        {"DeleteResourceACLEntry", {{"name", "res"}, {"acluser", "ann"}}},
        {"UpdateResourceACL", {{"name", "res"}, {"acl", kLongerAcl}}},
        {"DeleteResourceACL", {{"name", "res"}}},
        {"PutACL", {{"uri", "item://1"}, {"acl", kAcl}}},
        {"PutACLEntry", {{"uri", "item://1"}, {"acluser", "cy"}, {"accright", "a"}}},
        {"UpdateACLEntry", {{"uri", "item://1"}, {"acluser", "cy"}, {"accright", "ab"}}},
        {"DeleteACLEntry", {{"uri", "item://1"}, {"acluser", "cy"}}},
        {"UpdateACL", {{"uri", "item://1"}, {"acl", kLongerAcl}}},
        {"DeleteACL", {{"uri", "uri"}}},
        {"PutMessage", {{"uri", "item://2"}, {"message", "hello"}}},
        {"UpdateMessage", {{"uri", "item://2"}, {"message", "hello again"}}},
        {"RemoveMessage", {{"uri", "URI"}}},
        {"PutLog", {{"log", "first entry"}}},
        {"PutCollabLog", {{"uri", "item://3"}, {"log", "shared entry"}}},
        {"ResumeServiceProcess", {{"resumeID", "resume-1"}, {"flag", "1"}}},
        {"StartSharing", {{"ipaddress", "10.0.0.1"}, {"uri", "share://1"}}},
        {"AddAttendee", {{"uri", "share://1"}, {"attendee", "dan"}}},
        {"AddAttendee", {{"uri", "share://1"}, {"attendee", "eve"}}},
        {"DeleteAttendee", {{"uri", "share://1"}, {"attendee", "dan"}}},
        {"ChangeOwner", {{"uri", "share://1"}, {"newowner", "eve-the-second"}}},
        {"SaveSharing", {{"uri", "share://1"}, {"field", "saved"}}},
        {"StartSharing", {{"ipaddress", "10.0.0.222"}, {"uri", "share://1"}}},
        {"EndSharing", {{"uri", "share://1"}}},
        {"PutShareField", {{"author", "fay"}, {"name", "Notes"}, {"field", "line1"}}},
        {"UpdateShareField", {{"uri", "sharefield://fay/Notes"}, {"field", "line1 and line2"}}},
        {"RemoveShareField", {{"uri", "sharefield://fay/Notes"}}},
        {"PutVOResourcewithAttribute", With(kAttributes, {{"urlleaf", "guide.pdf"}, {"props", "public"}})},
        {"UpdateVOResourceURL", {{"name", "Guide"}, {"urlleaf", "guide-2.pdf"}}},
        {"UpdateVOResourceProps", {{"name", "Guide"}, {"props", "private"}}},
        {"UpdateVOResourceAttribute", With(kAttributes, {{"description", "A longer guide"}})},
        {"RemoveVOResourceAttribute", {{"name", "Guide"}}},
        {"RemoveVOResource", {{"name", "name"}}},
        {"ReLoadConfig", {}},
        {"GetAdminUserList", {}},
    };
    for (const auto& [operation, args] : steps) {
        EXPECT_EQ(FaultOf(store, operation, args), "(no fault)") << operation;
        EXPECT_EQ(store.Used(), store.Recount()) << "after " << operation;
    }
}

TEST(StoreCount, AFullStoreRefusesGrowthButServesReadsDeletesAndShrinkingUpdates)
{
    const std::size_t seed = Store({"tester"}).Used();
    const std::size_t limit = seed + 20000;
    Store store({"tester"}, limit);
    const std::string content(4000, 'c');
    int stored = 0;
    std::string full;
    for (; stored < 10; ++stored) {
        full = FaultOf(store, "PutVOContent", {{"name", "C" + std::to_string(stored)}, {"content", content}});
        if (full != "(no fault)")
            break;
    }
    EXPECT_EQ(stored, 4);
    EXPECT_EQ(full.rfind("The store is full (--store-limit " + std::to_string(limit) + " bytes) | ", 0), 0u) << full;
    EXPECT_NE(full.find("past its limit of " + std::to_string(limit) + " bytes"), std::string::npos) << full;
    EXPECT_LE(store.Used(), limit);
    // Every kind of growth is refused, and the refused put changed nothing.
    EXPECT_NE(FaultOf(store, "PutLog", {{"log", content}}).find("store is full"), std::string::npos);
    EXPECT_NE(FaultOf(store, "UpdateMessage", {{"uri", "URI"}, {"message", content}}).find("store is full"),
              std::string::npos);
    EXPECT_NE(FaultOf(store, "GetVOContent", {{"name", "C4"}}).find("No VO content"), std::string::npos);
    EXPECT_EQ(store.Used(), store.Recount());

    EXPECT_EQ(store.Execute("GetVOContent", {{"name", "C0"}}, kContext), content);
    EXPECT_EQ(FaultOf(store, "UpdateVOContent", {{"name", "C0"}, {"content", "short"}}), "(no fault)");
    EXPECT_EQ(FaultOf(store, "RemoveVOContent", {{"name", "C1"}}), "(no fault)");
    EXPECT_EQ(FaultOf(store, "PutVOContent", {{"name", "Again"}, {"content", content}}), "(no fault)");
    EXPECT_EQ(store.Used(), store.Recount());
}

// Every operation's handler, called without one of the parameters the
// catalog gives it, answers with the fault that names that parameter: it
// never fails in a way that leaves the request unanswered.
TEST(StoreParameters, AHandlerMissingAParameterFaultsNamingIt)
{
    Store store({"tester"});
    for (const tessel::catalog::Operation& op : tessel::catalog::Operations()) {
        for (const std::string& left : op.params) {
            Values values;
            for (const std::string& p : op.params)
                if (p != left)
                    values[p] = p == "logID" || p == "count" ? "1" : "x";
            try {
                store.Execute(op.name, values, kContext);
            } catch (const OperationFault& f) {
                // A handler may stop at another fault before it asks for `left`.
                if (std::string(f.what()).rfind("Missing parameter ", 0) == 0) {
                    EXPECT_EQ(std::string(f.what()) + " | " + f.detail(),
                              "Missing parameter " + left + " | The request of " + op.name + " has no parameter \"" +
                                  left + "\".");
                }
            }
        }
    }
    EXPECT_EQ(FaultOf(store, "GetLog", {}),
              "Missing parameter logID | The request of GetLog has no parameter \"logID\".");
    EXPECT_EQ(FaultOf(store, "PutResourceACL", {{"name", "r"}}),
              "Missing parameter acl | The request of PutResourceACL has no parameter \"acl\".");
}

TEST(StoreParameters, AHandlerAskingForAParameterItsOperationDoesNotTakeFaultsOnTheServersSide)
{
    const Param uri("uri");  // a name of the catalog, but not one of GetLog's
    const Values values = {{"logID", "1"}, {"uri", "item://1"}};
    const Args args(*tessel::catalog::Find("GetLog"), values);
    try {
        args[uri];
        ADD_FAILURE() << "no fault";
    } catch (const OperationFault& f) {
        EXPECT_EQ(f.code(), "Server");
        EXPECT_STREQ(f.what(), "Parameter uri is not a parameter of GetLog");
        EXPECT_EQ(f.detail(), "The service's handler of GetLog reads \"uri\", which GetLog does not take.");
    }
    EXPECT_EQ(args[Param("logID")], "1");
}

TEST(StoreParameters, EveryNameTheHandlersReadIsAParameterOfTheCatalog)
{
    const std::vector<std::string> declared = DeclaredParams();
    EXPECT_GE(declared.size(), 30u);
    for (const char* name : {"logID", "acluser", "sqlstmt", "newowner", "urlleaf", "group"})
        EXPECT_NE(std::find(declared.begin(), declared.end(), name), declared.end()) << name;
    EXPECT_NO_THROW(Store({"tester"}));
}
