// The log database and the resumable service processes.
#include "StoreState.h"

#include <algorithm>

namespace tessel::server {

namespace {

// The parameters these handlers read.
const Param kCategory{"category"};
const Param kCount{"count"};
const Param kFlag{"flag"};
const Param kLog{"log"};
const Param kLogID{"logID"};
const Param kName{"name"};
const Param kOpuser{"opuser"};
const Param kResumeID{"resumeID"};
const Param kUri{"uri"};

std::string LogXml(const StoreState::LogEntry& e)
{
    return "<log id=\"" + std::to_string(e.id) + "\" user=\"" + XmlEscape(e.user) + "\" category=\"" +
           XmlEscape(e.category) + "\"" + (e.uri.empty() ? "" : " uri=\"" + XmlEscape(e.uri) + "\"") + ">" +
           XmlEscape(e.text) + "</log>";
}

std::string PutLog(StoreState& s, const CallContext& c, const std::string& category, const std::string& uri,
                   const std::string& text)
{
    StoreState::LogEntry e{s.nextLogId, c.user, category, uri, text};
    s.Account(0, kEntryBytes + Bytes(e));
    s.logs.push_back(std::move(e));
    return std::to_string(s.nextLogId++);
}

std::string LogsOf(StoreState& s, const std::string& user, const std::string* category)
{
    std::string out = "<logs user=\"" + XmlEscape(user) + "\">";
    for (const StoreState::LogEntry& e : s.logs)
        if (e.user == user && (!category || e.category == *category))
            out += LogXml(e);
    return out + "</logs>";
}

}  // namespace

void AddLogHandlers(HandlerTable& t)
{
    t["GetLogIDList"] = [](StoreState& s, const Args&, const CallContext&) {
        std::vector<std::string> ids;
        for (const StoreState::LogEntry& e : s.logs)
            ids.push_back(std::to_string(e.id));
        return Join(ids);
    };
    t["GetLog"] = [](StoreState& s, const Args& a, const CallContext&) {
        const long id = Number(a, kLogID);
        for (const StoreState::LogEntry& e : s.logs)
            if (e.id == id)
                return LogXml(e);
        NotFound("log with the ID", a[kLogID]);
    };
    t["GetLogs"] = [](StoreState& s, const Args& a, const CallContext&) {
        const long from = Number(a, kLogID);
        const long count = Number(a, kCount);
        std::string out = "<logs>";
        long n = 0;
        for (const StoreState::LogEntry& e : s.logs)
            if (e.id >= from && n < count)
                out += LogXml(e), ++n;
        return out + "</logs>";
    };
    t["PutLog"] = [](StoreState& s, const Args& a, const CallContext& c) {
        return PutLog(s, c, "general", "", a[kLog]);
    };
    t["PutCollabLog"] = [](StoreState& s, const Args& a, const CallContext& c) {
        return PutLog(s, c, "collab", a[kUri], a[kLog]);
    };
    t["GetLogCount"] = [](StoreState& s, const Args&, const CallContext&) { return std::to_string(s.logs.size()); };
    t["GetCategoryLogIDList"] = [](StoreState& s, const Args& a, const CallContext&) {
        std::vector<std::string> ids;
        for (const StoreState::LogEntry& e : s.logs)
            if (e.category == a[kCategory])
                ids.push_back(std::to_string(e.id));
        return Join(ids);
    };
    t["GetLogbyUser"] = [](StoreState& s, const Args& a, const CallContext&) {
        return LogsOf(s, a[kOpuser], nullptr);
    };
    t["GetCategoryLogbyUser"] = [](StoreState& s, const Args& a, const CallContext&) {
        return LogsOf(s, a[kOpuser], &a[kCategory]);
    };
    t["GetResumeIDList"] = [](StoreState& s, const Args& a, const CallContext&) {
        const auto it = s.resumable.find(a[kName]);
        return it == s.resumable.end() ? std::string() : Join(it->second);
    };
    t["ResumeServiceProcess"] = [](StoreState& s, const Args& a, const CallContext&) {
        const std::string& id = a[kResumeID];
        for (auto& [name, ids] : s.resumable) {
            const auto it = std::find(ids.begin(), ids.end(), id);
            if (it != ids.end()) {
                std::vector<std::string> left = ids;
                left.erase(left.begin() + (it - ids.begin()));
                s.Set(s.resumable, name, std::move(left));
                return "<resumed id=\"" + XmlEscape(id) + "\" process=\"" + XmlEscape(name) + "\" flag=\"" +
                       XmlEscape(a[kFlag]) + "\"/>";
            }
        }
        NotFound("resumable process with the ID", id);
    };
}

}  // namespace tessel::server
