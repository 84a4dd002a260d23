// Settings queries of the main interface, and the reload commands of the
// admin interface.
#include "StoreState.h"

namespace tessel::server {

namespace {

// The parameters these handlers read.
const Param kGroup{"group"};

std::string Members(const std::set<std::string>& members)
{
    return Join(std::vector<std::string>(members.begin(), members.end()));
}

}  // namespace

void AddSettingsHandlers(HandlerTable& t)
{
    t["GetCompressThreshold"] = [](StoreState&, const Args&, const CallContext& c) {
        return std::to_string(c.compressThreshold);
    };
    t["GetAdminUserList"] = [](StoreState& s, const Args&, const CallContext&) {
        const auto it = s.groups.find("admins");
        return it == s.groups.end() ? std::string() : Members(it->second);
    };
    t["GetGroupList"] = [](StoreState& s, const Args&, const CallContext&) {
        std::vector<std::string> names;
        for (const auto& [g, members] : s.groups)
            names.push_back(g);
        return Join(names);
    };
    t["GetGroupUserList"] = [](StoreState& s, const Args& a, const CallContext&) {
        const auto it = s.groups.find(a[kGroup]);
        if (it == s.groups.end())
            NotFound("group named", a[kGroup]);
        return Members(it->second);
    };
    t["GetOwnGroupList"] = [](StoreState& s, const Args&, const CallContext& c) {
        std::vector<std::string> names;
        for (const auto& [g, members] : s.groups)
            if (members.count(c.user))
                names.push_back(g);
        return Join(names);
    };
    t["GetConferenceManagerURL"] = [](StoreState&, const Args&, const CallContext& c) {
        return c.baseUrl + "/ConferenceManager/";
    };
    for (const char* what : {"Config", "Transform", "UnifyTable"}) {
        const std::string op = std::string("ReLoad") + what;
        t[op] = [op, what = std::string(what)](StoreState& s, const Args&, const CallContext&) {
            return "OK: " + what + " reloaded (" + std::to_string(++s.reloads[op]) + ")";
        };
    }
}

}  // namespace tessel::server
