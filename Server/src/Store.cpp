#include "Store.h"

#include <algorithm>

#include "Catalog/Catalog.h"
#include "StoreState.h"

namespace tessel::server {

std::string XmlEscape(const std::string& s)
{
    std::string out;
    out.reserve(s.size());
    for (const char c : s) {
        switch (c) {
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '&': out += "&amp;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string Join(const std::vector<std::string>& items)
{
    std::string s;
    for (const std::string& i : items)
        s += (s.empty() ? "" : ";") + i;
    return s;
}

void NotFound(const std::string& what, const std::string& key)
{
    throw OperationFault("No " + what + " " + key, "The store holds no " + what + " named \"" + key + "\".");
}

long Number(const Args& a, const std::string& name)
{
    const std::string& v = a.at(name);
    std::size_t used = 0;
    long n = 0;
    try {
        n = std::stol(v, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != v.size())
        throw OperationFault("Parameter " + name + " is not a number",
                             "\"" + name + "\" must be a whole number; it was \"" + v + "\".");
    return n;
}

StoreState::StoreState(std::vector<std::string> userNames) : users(std::move(userNames))
{
    const std::string owner = users.empty() ? "tester" : users.front();
    for (int i = 1; i <= 4; ++i) {
        const std::string name = "Name" + std::to_string(i);
        vos[name] = Vo{.name = name,
                       .uri = "URI" + std::to_string(i),
                       .owner = owner,
                       .content = "<content>sample " + std::to_string(i) + "</content>"};
    }
    // What the SOAP 2.0 tools' default texts name: the VO "name" of "vouser"
    // at "uri", and the share field "name" of "author" at "uri".
    vos["name"] = Vo{.name = "name", .uri = "uri", .owner = "vouser", .content = "<content>xxx</content>"};
    shareFields["uri"] = ShareField{"uri", "author", "name", "field"};
    logs.push_back({nextLogId++, owner, "general", "", "<log>service started</log>"});
    resumable["name"] = {"resume-1", "resume-2"};
    resumable["indexer"] = {"resume-3"};
    resourceAcls["name"] = {{"xxx", "rwdarawad"}};
    uriAcls["uri"] = {{"user", "acc"}};
    messages["URI"] = "Message";
    groups["group"] = std::set<std::string>(users.begin(), users.end());
    groups["admins"] = {owner};
    resources["name"] = Resource{"name", "urlleaf", "props", true, "modulename", "creator", "version", "type", "id",
                                 "description"};
}

StoreState::Vo& StoreState::VoByName(const std::string& name)
{
    const auto it = vos.find(name);
    if (it == vos.end())
        NotFound("VO content", name);
    return it->second;
}

StoreState::Vo& StoreState::VoByUri(const std::string& uri)
{
    for (auto& [name, vo] : vos)
        if (vo.uri == uri)
            return vo;
    NotFound("VO with the URI", uri);
}

StoreState::Resource& StoreState::ResourceByName(const std::string& name)
{
    const auto it = resources.find(name);
    if (it == resources.end())
        NotFound("Folio resource", name);
    return it->second;
}

Store::Store(std::vector<std::string> users) : state_(std::make_unique<StoreState>(std::move(users)))
{
    for (const auto add : {AddLogHandlers, AddAclHandlers, AddMessageHandlers, AddContentHandlers,
                           AddCollaborationHandlers, AddSettingsHandlers, AddResourceHandlers})
        add(handlers_);
    for (const catalog::Operation& op : catalog::Operations())
        if (!handlers_.count(op.name))
            throw std::logic_error("the store has no handler for " + op.name);
    for (const auto& [name, handler] : handlers_)
        if (!catalog::Find(name))
            throw std::logic_error("the store handles " + name + ", which the catalog does not list");
}

Store::~Store() = default;

std::string Store::Execute(const std::string& operation, const Args& args, const CallContext& ctx)
{
    const auto it = handlers_.find(operation);
    if (it == handlers_.end())
        throw OperationFault("Unknown operation " + operation,
                             "The service has no operation named \"" + operation + "\".");
    const std::lock_guard<std::mutex> lock(mutex_);
    return it->second(*state_, args, ctx);
}

}  // namespace tessel::server
