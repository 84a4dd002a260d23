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
    throw OperationFault("No " + what + " " + key, "The store holds no " + what + " \"" + key + "\".");
}

namespace {

std::mutex& ParamsMutex()
{
    static std::mutex m;
    return m;
}

std::vector<std::string>& ParamNames()
{
    static std::vector<std::string> names;
    return names;
}

bool InTheCatalog(const std::string& name)
{
    for (const catalog::Operation& op : catalog::Operations())
        for (const std::string& p : op.params)
            if (p == name)
                return true;
    return false;
}

}  // namespace

Param::Param(std::string name) : name_(std::move(name))
{
    const std::lock_guard<std::mutex> lock(ParamsMutex());
    ParamNames().push_back(name_);
}

std::vector<std::string> DeclaredParams()
{
    const std::lock_guard<std::mutex> lock(ParamsMutex());
    return ParamNames();
}

const std::string& Args::at(const Param& p) const
{
    const std::string& op = operation_.name;
    if (std::find(operation_.params.begin(), operation_.params.end(), p.name()) == operation_.params.end())
        throw OperationFault("Parameter " + p.name() + " is not a parameter of " + op,
                             "The service's handler of " + op + " reads \"" + p.name() + "\", which " + op +
                                 " does not take.",
                             "Server");
    const auto it = values_.find(p.name());
    if (it == values_.end())
        throw OperationFault("Missing parameter " + p.name(),
                             "The request of " + op + " has no parameter \"" + p.name() + "\".");
    return it->second;
}

long Number(const Args& a, const Param& p)
{
    const std::string& name = p.name();
    const std::string& v = a.at(p);
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

std::size_t Bytes(const std::string& text)
{
    return text.size();
}

std::size_t Bytes(const StoreState::Vo& vo)
{
    return vo.name.size() + vo.uri.size() + vo.owner.size() + vo.content.size();
}

std::size_t Bytes(const StoreState::LogEntry& e)
{
    return sizeof e.id + e.user.size() + e.category.size() + e.uri.size() + e.text.size();
}

std::size_t Bytes(const StoreState::Share& sh)
{
    return sh.uri.size() + sh.owner.size() + sh.ipaddress.size() + sh.field.size() + Bytes(sh.attendees);
}

std::size_t Bytes(const StoreState::ShareField& f)
{
    return f.uri.size() + f.author.size() + f.name.size() + f.field.size();
}

std::size_t Bytes(const StoreState::Resource& r)
{
    return r.name.size() + r.urlleaf.size() + r.props.size() + r.modulename.size() + r.creator.size() +
           r.version.size() + r.type.size() + r.id.size() + r.description.size();
}

std::size_t Bytes(const StoreState::Acl& acl)
{
    std::size_t n = 0;
    for (const auto& [user, access] : acl)
        n += kEntryBytes + user.size() + access.size();
    return n;
}

std::size_t Bytes(const std::vector<std::string>& items)
{
    std::size_t n = 0;
    for (const std::string& i : items)
        n += kEntryBytes + i.size();
    return n;
}

std::size_t Bytes(const std::set<std::string>& items)
{
    std::size_t n = 0;
    for (const std::string& i : items)
        n += kEntryBytes + i.size();
    return n;
}

namespace {

template <class Value>
std::size_t MapBytes(const std::map<std::string, Value>& map)
{
    std::size_t n = 0;
    for (const auto& [key, value] : map)
        n += EntryBytes(key, value);
    return n;
}

// Whole megabytes as the option gives them, other sizes in bytes.
std::string Size(std::size_t bytes)
{
    return bytes % (1u << 20) == 0 ? std::to_string(bytes >> 20) + " MB" : std::to_string(bytes) + " bytes";
}

}  // namespace

void StoreState::Account(std::size_t before, std::size_t after)
{
    const std::size_t next = used - std::min(used, before) + after;
    if (after > before && next > limit)
        throw OperationFault("The store is full (--store-limit " + Size(limit) + ")",
                             "Storing this would take the store to " + std::to_string(next) +
                                 " bytes, past its limit of " + std::to_string(limit) +
                                 " bytes. Reads and deletes still work: remove something, or start the service "
                                 "with a larger --store-limit.",
                             "Server");
    used = next;
}

std::size_t StoreState::Footprint() const
{
    std::size_t n = MapBytes(vos) + MapBytes(resumable) + MapBytes(resourceAcls) + MapBytes(uriAcls) +
                    MapBytes(messages) + MapBytes(shares) + MapBytes(shareFields) + MapBytes(groups) +
                    MapBytes(resources);
    for (const LogEntry& e : logs)
        n += kEntryBytes + Bytes(e);
    return n;
}

StoreState::StoreState(std::vector<std::string> userNames) : users(std::move(userNames))
{
    const std::string owner = users.empty() ? "tester" : users.front();
    // Content by name (Name1, Name3, Name4) and by URI (URI1 to URI3); no
    // Name2, so that putting it succeeds.
    const auto addVo = [&](const std::string& name, const std::string& uri, const std::string& content) {
        vos[name] = Vo{.name = name, .uri = uri, .owner = owner, .content = "<content>" + content + "</content>"};
    };
    addVo("Name1", "URI1", "sample 1");
    addVo("ByURI", "URI2", "sample by URI");
    addVo("Name3", "URI3", "sample 3");
    addVo("Name4", "URI4", "sample 4");
    // VOs of another user that the VO URI rows' default texts name: "voname"
    // at "vouri", and "name" at "uri" (also the URI removal's default).
    vos["voname"] = Vo{.name = "voname", .uri = "vouri", .owner = "vouser", .content = "<content>voname</content>"};
    vos["name"] = Vo{.name = "name", .uri = "uri", .owner = "vouser", .content = "<content>xxx</content>"};
    logs.push_back({nextLogId++, owner, "general", "", "<log>service started</log>"});
    resumable["name"] = {"resume-1", "resume-2"};
    resumable["indexer"] = {"resume-3"};
    resourceAcls["name"] = {{"xxx", "rwdarawad"}};
    uriAcls["uri"] = {{"user", "acc"}};
    messages["URI"] = "Message";
    // A sharing and a share field at "URI", the collaboration rows' default,
    // and the share field that the share-field URI and attribute rows' default
    // texts name.
    shares["URI"] = Share{
        .uri = "URI", .owner = owner, .ipaddress = "IPADDRESS", .field = "", .active = true, .attendees = {owner}};
    shareFields["URI"] = ShareField{"URI", owner, "Field1", "<content>shared</content>"};
    shareFields["uri"] = ShareField{"uri", "author", "name", "<content>xxx</content>"};
    groups["group"] = std::set<std::string>(users.begin(), users.end());
    groups["admins"] = {owner};
    resources["name"] = Resource{"name", "urlleaf", "props", true, "modulename", "creator", "version", "type", "id",
                                 "description"};
    // A second resource of the same module, so that the module's lists still
    // show something after the default name is removed.
    resources["handbook"] = Resource{"handbook",   "handbook.html", "public", true, "modulename",
                                     "tester",     "1.0",           "html",   "H-1",
                                     "The handbook of the module"};
    used = Footprint();
}

StoreState::Vo& StoreState::VoByName(const std::string& name)
{
    const auto it = vos.find(name);
    if (it == vos.end())
        NotFound("VO content named", name);
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
        NotFound("Folio resource named", name);
    return it->second;
}

Store::Store(std::vector<std::string> users, std::size_t limit)
    : state_(std::make_unique<StoreState>(std::move(users)))
{
    state_->limit = limit;
    for (const auto add : {AddLogHandlers, AddAclHandlers, AddMessageHandlers, AddContentHandlers,
                           AddCollaborationHandlers, AddSettingsHandlers, AddResourceHandlers})
        add(handlers_);
    for (const catalog::Operation& op : catalog::Operations())
        if (!handlers_.count(op.name))
            throw std::logic_error("the store has no handler for " + op.name);
    for (const auto& [name, handler] : handlers_)
        if (!catalog::Find(name))
            throw std::logic_error("the store handles " + name + ", which the catalog does not list");
    for (const std::string& name : DeclaredParams())
        if (!InTheCatalog(name))
            throw std::logic_error("a handler reads the parameter \"" + name +
                                   "\", which no operation of the catalog takes");
}

Store::~Store() = default;

std::string Store::Execute(const std::string& operation, const Values& values, const CallContext& ctx)
{
    const auto it = handlers_.find(operation);
    if (it == handlers_.end())
        throw OperationFault("Unknown operation " + operation,
                             "The service has no operation named \"" + operation + "\".");
    const Args args(*catalog::Find(operation), values);
    const std::lock_guard<std::mutex> lock(mutex_);
    return it->second(*state_, args, ctx);
}

std::size_t Store::Used()
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return state_->used;
}

std::size_t Store::Recount()
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return state_->Footprint();
}

}  // namespace tessel::server
