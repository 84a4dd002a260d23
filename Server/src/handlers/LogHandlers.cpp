// The log database and the resumable service processes.
#include "StoreState.h"

#include <algorithm>

namespace tessel::server {

namespace {

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
        const long id = Number(a, "logID");
        for (const StoreState::LogEntry& e : s.logs)
            if (e.id == id)
                return LogXml(e);
        NotFound("log with the ID", a.at("logID"));
    };
    t["GetLogs"] = [](StoreState& s, const Args& a, const CallContext&) {
        const long from = Number(a, "logID");
        const long count = Number(a, "count");
        std::string out = "<logs>";
        long n = 0;
        for (const StoreState::LogEntry& e : s.logs)
            if (e.id >= from && n < count)
                out += LogXml(e), ++n;
        return out + "</logs>";
    };
    t["PutLog"] = [](StoreState& s, const Args& a, const CallContext& c) {
        return PutLog(s, c, "general", "", a.at("log"));
    };
    t["PutCollabLog"] = [](StoreState& s, const Args& a, const CallContext& c) {
        return PutLog(s, c, "collab", a.at("uri"), a.at("log"));
    };
    t["GetLogCount"] = [](StoreState& s, const Args&, const CallContext&) { return std::to_string(s.logs.size()); };
    t["GetCategoryLogIDList"] = [](StoreState& s, const Args& a, const CallContext&) {
        std::vector<std::string> ids;
        for (const StoreState::LogEntry& e : s.logs)
            if (e.category == a.at("category"))
                ids.push_back(std::to_string(e.id));
        return Join(ids);
    };
    t["GetLogbyUser"] = [](StoreState& s, const Args& a, const CallContext&) {
        return LogsOf(s, a.at("opuser"), nullptr);
    };
    t["GetCategoryLogbyUser"] = [](StoreState& s, const Args& a, const CallContext&) {
        return LogsOf(s, a.at("opuser"), &a.at("category"));
    };
    t["GetResumeIDList"] = [](StoreState& s, const Args& a, const CallContext&) {
        const auto it = s.resumable.find(a.at("name"));
        return it == s.resumable.end() ? std::string() : Join(it->second);
    };
    t["ResumeServiceProcess"] = [](StoreState& s, const Args& a, const CallContext&) {
        const std::string& id = a.at("resumeID");
        for (auto& [name, ids] : s.resumable) {
            const auto it = std::find(ids.begin(), ids.end(), id);
            if (it != ids.end()) {
                std::vector<std::string> left = ids;
                left.erase(left.begin() + (it - ids.begin()));
                s.Set(s.resumable, name, std::move(left));
                return "<resumed id=\"" + XmlEscape(id) + "\" process=\"" + XmlEscape(name) + "\" flag=\"" +
                       XmlEscape(a.at("flag")) + "\"/>";
            }
        }
        NotFound("resumable process with the ID", id);
    };
}

}  // namespace tessel::server
