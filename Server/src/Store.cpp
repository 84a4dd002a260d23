#include "Store.h"

#include <libxml/entities.h>

#include <algorithm>
#include <functional>

#include "Soap/SoapError.h"
#include "Soap/Xml.h"

namespace tessel::server {

namespace {

std::string Join(const std::vector<std::string>& items)
{
    std::string s;
    for (const std::string& i : items)
        s += (s.empty() ? "" : ";") + i;
    return s;
}

[[noreturn]] void NotFound(const std::string& what, const std::string& key)
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

const std::string kOk = "OK";

}  // namespace

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

Store::Store(std::vector<std::string> users) : users_(std::move(users))
{
    // A little of everything, so that every row of every tool finds something.
    const std::string owner = users_.empty() ? "tester" : users_.front();
    for (int i = 1; i <= 4; ++i) {
        const std::string name = "Name" + std::to_string(i);
        vos_[name] = Vo{name, "URI" + std::to_string(i), owner, "<content>sample " + std::to_string(i) + "</content>", ""};
    }
    logs_.push_back({nextLogId_++, owner, "general", "", "<log>service started</log>"});
    resumable_["name"] = {"resume-1", "resume-2"};
    resumable_["indexer"] = {"resume-3"};
    resourceAcls_["name"] = {{"xxx", "rwdarawad"}};
    uriAcls_["uri"] = {{"user", "acc"}};
    messages_["URI"] = "Message";
    groups_["group"] = std::set<std::string>(users_.begin(), users_.end());
    groups_["admins"] = {owner};
    resources_["name"] = Resource{"name", "urlleaf", "props", true, "modulename", "creator", "version", "type", "id",
                                  "description"};
}

std::string Store::NewVoUri(const std::string& owner, const std::string& name) const
{
    return "tessel://" + owner + "/" + name;
}

Store::Vo& Store::VoByName(const std::string& name)
{
    const auto it = vos_.find(name);
    if (it == vos_.end())
        NotFound("VO content", name);
    return it->second;
}

Store::Vo& Store::VoByUri(const std::string& uri)
{
    for (auto& [name, vo] : vos_)
        if (vo.uri == uri)
            return vo;
    NotFound("VO with the URI", uri);
}

std::string Store::VoXml(const Vo& vo) const
{
    return "<vo name=\"" + XmlEscape(vo.name) + "\" uri=\"" + XmlEscape(vo.uri) + "\" owner=\"" + XmlEscape(vo.owner) +
           "\" size=\"" + std::to_string(vo.content.size()) + "\" locked=\"" + (vo.lockedBy.empty() ? "no" : "yes") +
           "\"" + (vo.lockedBy.empty() ? "" : " lockedby=\"" + XmlEscape(vo.lockedBy) + "\"") + "/>";
}

std::string Store::LogXml(const LogEntry& e) const
{
    return "<log id=\"" + std::to_string(e.id) + "\" user=\"" + XmlEscape(e.user) + "\" category=\"" +
           XmlEscape(e.category) + "\"" + (e.uri.empty() ? "" : " uri=\"" + XmlEscape(e.uri) + "\"") + ">" +
           XmlEscape(e.text) + "</log>";
}

std::string Store::ResourceXml(const Resource& r) const
{
    std::string s = "<resource name=\"" + XmlEscape(r.name) + "\" urlleaf=\"" + XmlEscape(r.urlleaf) + "\" props=\"" +
                    XmlEscape(r.props) + "\"";
    if (r.hasAttributes)
        s += " modulename=\"" + XmlEscape(r.modulename) + "\" creator=\"" + XmlEscape(r.creator) + "\" version=\"" +
             XmlEscape(r.version) + "\" type=\"" + XmlEscape(r.type) + "\" id=\"" + XmlEscape(r.id) +
             "\" description=\"" + XmlEscape(r.description) + "\"";
    return s + "/>";
}

Store::Resource& Store::ResourceByName(const std::string& name)
{
    const auto it = resources_.find(name);
    if (it == resources_.end())
        NotFound("Folio resource", name);
    return it->second;
}

Store::Acl Store::ParseAcl(const std::string& text)
{
    using namespace tessel::soap;
    Acl acl;
    try {
        const XmlDocPtr doc = ParseXml(text, "the ACL");
        xmlNode* root = xmlDocGetRootElement(doc.get());
        if (LocalName(root) != "VOACL")
            throw SoapError("its root element is <" + LocalName(root) + ">, not <VOACL>");
        for (xmlNode* control : Children(root)) {
            if (LocalName(control) != "control")
                continue;
            std::string user, access;
            for (xmlNode* c : Children(control)) {
                if (LocalName(c) == "user")
                    user = Text(c);
                else if (LocalName(c) == "access")
                    access = Text(c);
            }
            if (user.empty())
                throw SoapError("a <control> has no <user>");
            acl.emplace_back(user, access);
        }
    } catch (const SoapError& e) {
        throw OperationFault("The ACL is not a VOACL document",
                             std::string(e.what()) + ". Expected <VOACL><control><user>name</user><access>rights</access>"
                                                     "</control>...</VOACL>.");
    }
    return acl;
}

std::string Store::AclXml(const Acl& acl)
{
    std::string s = "<VOACL>";
    for (const auto& [user, access] : acl)
        s += "<control><user>" + XmlEscape(user) + "</user><access>" + XmlEscape(access) + "</access></control>";
    return s + "</VOACL>";
}

std::string Store::AclEntry(const Acl& acl, const std::string& user, const std::string& what)
{
    for (const auto& [u, access] : acl)
        if (u == user)
            return access;
    throw OperationFault("No ACL entry for " + user, "The ACL of " + what + " has no entry for \"" + user + "\".");
}

void Store::PutAclEntry(Acl& acl, const std::string& user, const std::string& rights, bool mustBeNew)
{
    for (auto& [u, access] : acl) {
        if (u == user) {
            if (mustBeNew)
                throw OperationFault("The ACL entry exists", "An entry for \"" + user +
                                                                 "\" is already there; update it instead.");
            access = rights;
            return;
        }
    }
    if (!mustBeNew)
        throw OperationFault("No ACL entry for " + user, "There is no entry for \"" + user + "\" to update.");
    acl.emplace_back(user, rights);
}

void Store::RemoveAclEntry(Acl& acl, const std::string& user, const std::string& what)
{
    const auto it = std::find_if(acl.begin(), acl.end(), [&](const auto& e) { return e.first == user; });
    if (it == acl.end())
        throw OperationFault("No ACL entry for " + user, "The ACL of " + what + " has no entry for \"" + user + "\".");
    acl.erase(it);
}

std::string Store::Execute(const std::string& operation, const Args& args, const CallContext& ctx)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return Dispatch(operation, args, ctx);
}

std::string Store::Dispatch(const std::string& op, const Args& a, const CallContext& ctx)
{
    const auto arg = [&](const char* name) -> const std::string& { return a.at(name); };

    // ---- log database
    if (op == "GetLogIDList") {
        std::vector<std::string> ids;
        for (const LogEntry& e : logs_)
            ids.push_back(std::to_string(e.id));
        return Join(ids);
    }
    if (op == "GetLog") {
        const long id = Number(a, "logID");
        for (const LogEntry& e : logs_)
            if (e.id == id)
                return LogXml(e);
        NotFound("log with the ID", arg("logID"));
    }
    if (op == "GetLogs") {
        const long from = Number(a, "logID");
        const long count = Number(a, "count");
        std::string s = "<logs>";
        long n = 0;
        for (const LogEntry& e : logs_)
            if (e.id >= from && n < count)
                s += LogXml(e), ++n;
        return s + "</logs>";
    }
    if (op == "PutLog" || op == "PutCollabLog") {
        const bool collab = op == "PutCollabLog";
        logs_.push_back({nextLogId_, ctx.user, collab ? "collab" : "general", collab ? arg("uri") : "", arg("log")});
        return std::to_string(nextLogId_++);
    }
    if (op == "GetLogCount")
        return std::to_string(logs_.size());
    if (op == "GetCategoryLogIDList") {
        std::vector<std::string> ids;
        for (const LogEntry& e : logs_)
            if (e.category == arg("category"))
                ids.push_back(std::to_string(e.id));
        return Join(ids);
    }
    if (op == "GetLogbyUser" || op == "GetCategoryLogbyUser") {
        std::string s = "<logs user=\"" + XmlEscape(arg("opuser")) + "\">";
        for (const LogEntry& e : logs_)
            if (e.user == arg("opuser") && (op == "GetLogbyUser" || e.category == arg("category")))
                s += LogXml(e);
        return s + "</logs>";
    }
    if (op == "GetResumeIDList") {
        const auto it = resumable_.find(arg("name"));
        return it == resumable_.end() ? std::string() : Join(it->second);
    }
    if (op == "ResumeServiceProcess") {
        for (auto& [name, ids] : resumable_) {
            const auto it = std::find(ids.begin(), ids.end(), arg("resumeID"));
            if (it != ids.end()) {
                ids.erase(it);
                return "<resumed id=\"" + XmlEscape(arg("resumeID")) + "\" process=\"" + XmlEscape(name) +
                       "\" flag=\"" + XmlEscape(arg("flag")) + "\"/>";
            }
        }
        NotFound("resumable process with the ID", arg("resumeID"));
    }

    // ---- ACLs of resources (by name) and of items (by URI)
    const bool byName = op.find("ResourceACL") != std::string::npos;
    if (op.find("ACL") != std::string::npos) {
        auto& acls = byName ? resourceAcls_ : uriAcls_;
        const std::string key = byName ? arg("name") : arg("uri");
        const std::string what = (byName ? "resource " : "") + key;
        const bool entry = op.find("Entry") != std::string::npos;
        const auto found = acls.find(key);
        const auto existing = [&]() -> Acl& {
            if (found == acls.end())
                NotFound(byName ? "ACL of the resource" : "ACL of", key);
            return found->second;
        };
        if (op.rfind("Get", 0) == 0)
            return entry ? AclEntry(existing(), arg("acluser"), what) : AclXml(existing());
        if (op.rfind("Put", 0) == 0) {
            if (entry) {
                PutAclEntry(acls[key], arg("acluser"), arg("accright"), true);
                return kOk;
            }
            if (found != acls.end())
                throw OperationFault("The ACL exists", "The ACL of " + what + " is already there; update it instead.");
            acls[key] = ParseAcl(arg("acl"));
            return kOk;
        }
        if (op.rfind("Update", 0) == 0) {
            if (entry)
                PutAclEntry(existing(), arg("acluser"), arg("accright"), false);
            else
                existing() = ParseAcl(arg("acl"));
            return kOk;
        }
        if (op.rfind("Delete", 0) == 0) {
            if (entry)
                RemoveAclEntry(existing(), arg("acluser"), what);
            else {
                existing();
                acls.erase(found);
            }
            return kOk;
        }
    }

    // ---- messages
    if (op == "PutMessage") {
        if (messages_.count(arg("uri")))
            throw OperationFault("A message exists", "The item " + arg("uri") + " has a message; update it instead.");
        messages_[arg("uri")] = arg("message");
        return kOk;
    }
    if (op == "GetMessage" || op == "UpdateMessage" || op == "RemoveMessage") {
        const auto it = messages_.find(arg("uri"));
        if (it == messages_.end())
            NotFound("message for", arg("uri"));
        if (op == "GetMessage")
            return it->second;
        if (op == "UpdateMessage")
            it->second = arg("message");
        else
            messages_.erase(it);
        return kOk;
    }

    // ---- query
    if (op == "Query")
        return "<result><statement>" + XmlEscape(arg("sqlstmt")) +
               "</statement><rows><row><column>ALFKI</column></row><row><column>ANATR</column></row>"
               "<row><column>ANTON</column></row><row><column>AROUT</column></row></rows></result>";

    // ---- Folio content
    if (op == "GetVOContent" || op == "GetVOContentwithLock") {
        Vo& vo = VoByName(arg("name"));
        if (op == "GetVOContentwithLock") {
            if (!vo.lockedBy.empty() && vo.lockedBy != ctx.user)
                throw OperationFault("The VO is locked", vo.name + " is locked by " + vo.lockedBy + ".");
            vo.lockedBy = ctx.user;
        }
        return vo.content;
    }
    if (op == "GetVOContentbyURI" || op == "GetVOContentbyURIwithLock") {
        Vo& vo = VoByUri(arg("uri"));
        if (op == "GetVOContentbyURIwithLock") {
            if (!vo.lockedBy.empty() && vo.lockedBy != ctx.user)
                throw OperationFault("The VO is locked", vo.uri + " is locked by " + vo.lockedBy + ".");
            vo.lockedBy = ctx.user;
        }
        return vo.content;
    }
    if (op == "GetVOList" || op == "GetAllVOList" || op == "GetVOURIList" || op == "GetAllVOURIList") {
        const bool all = op.find("All") != std::string::npos;
        const bool uris = op.find("URI") != std::string::npos;
        std::vector<std::string> items;
        for (const auto& [name, vo] : vos_)
            if (all || vo.owner == ctx.user)
                items.push_back(uris ? vo.uri : name);
        return Join(items);
    }
    if (op == "GetAllVOUserList") {
        std::set<std::string> owners;
        for (const auto& [name, vo] : vos_)
            owners.insert(vo.owner);
        return Join(std::vector<std::string>(owners.begin(), owners.end()));
    }
    if (op == "PutVOContent") {
        if (vos_.count(arg("name")))
            throw OperationFault("The VO exists", "VO content named \"" + arg("name") + "\" is already there; update it.");
        vos_[arg("name")] = Vo{arg("name"), NewVoUri(ctx.user, arg("name")), ctx.user, arg("content"), ""};
        return vos_[arg("name")].uri;
    }
    if (op == "UpdateVOContent" || op == "UpdateVOContentbyURI" || op == "UpdateVOContentwithUnlock" ||
        op == "UpdateVOContentbyURIwithUnlock") {
        Vo& vo = op.find("byURI") != std::string::npos ? VoByUri(arg("uri")) : VoByName(arg("name"));
        if (!vo.lockedBy.empty() && vo.lockedBy != ctx.user)
            throw OperationFault("The VO is locked", vo.name + " is locked by " + vo.lockedBy + ".");
        vo.content = arg("content");
        if (op.find("Unlock") != std::string::npos)
            vo.lockedBy.clear();
        return kOk;
    }
    if (op == "RemoveVOContent") {
        VoByName(arg("name"));
        vos_.erase(arg("name"));
        return kOk;
    }
    if (op == "RemoveVOContentbyURI" || op == "RemoveVOURI") {
        const std::string name = VoByUri(arg("uri")).name;
        vos_.erase(name);
        return kOk;
    }
    if (op == "LockVO" || op == "UnlockVO") {
        Vo& vo = VoByUri(arg("uri"));
        if (!vo.lockedBy.empty() && vo.lockedBy != ctx.user)
            throw OperationFault("The VO is locked", vo.uri + " is locked by " + vo.lockedBy + ".");
        vo.lockedBy = op == "LockVO" ? ctx.user : "";
        return kOk;
    }
    if (op == "GetVOURI") {
        for (const auto& [name, vo] : vos_)
            if (vo.owner == arg("vouser") && name == arg("name"))
                return vo.uri;
        NotFound("VO of " + arg("vouser") + " named", arg("name"));
    }
    if (op == "PutVOURI") {
        if (vos_.count(arg("name")))
            throw OperationFault("The VO exists", "A VO named \"" + arg("name") + "\" is already there.");
        vos_[arg("name")] = Vo{arg("name"), NewVoUri(arg("vouser"), arg("name")), arg("vouser"), "", ""};
        return vos_[arg("name")].uri;
    }
    if (op == "GetVOAttribute")
        return VoXml(VoByUri(arg("uri")));

    // ---- sharing
    if (op == "StartSharing") {
        Share& s = shares_[arg("uri")];
        s.uri = arg("uri");
        if (s.owner.empty())
            s.owner = ctx.user;
        s.ipaddress = arg("ipaddress");
        s.active = true;
        return "<sharing uri=\"" + XmlEscape(s.uri) + "\" owner=\"" + XmlEscape(s.owner) + "\" ipaddress=\"" +
               XmlEscape(s.ipaddress) + "\"/>";
    }
    if (op == "EndSharing" || op == "GetAttendeesList" || op == "AddAttendee" || op == "DeleteAttendee" ||
        op == "ChangeOwner" || op == "SaveSharing") {
        const auto it = shares_.find(arg("uri"));
        if (it == shares_.end())
            NotFound("sharing of", arg("uri"));
        Share& s = it->second;
        if (op == "EndSharing")
            s.active = false;
        else if (op == "GetAttendeesList")
            return Join(s.attendees);
        else if (op == "AddAttendee") {
            if (std::find(s.attendees.begin(), s.attendees.end(), arg("attendee")) != s.attendees.end())
                throw OperationFault("Already an attendee", arg("attendee") + " already attends " + s.uri + ".");
            s.attendees.push_back(arg("attendee"));
        } else if (op == "DeleteAttendee") {
            const auto at = std::find(s.attendees.begin(), s.attendees.end(), arg("attendee"));
            if (at == s.attendees.end())
                NotFound("attendee of " + s.uri + " named", arg("attendee"));
            s.attendees.erase(at);
        } else if (op == "ChangeOwner")
            s.owner = arg("newowner");
        else
            s.field = arg("field");
        return kOk;
    }

    // ---- share fields
    if (op == "PutShareField") {
        const std::string uri = "sharefield://" + arg("author") + "/" + arg("name");
        if (shareFields_.count(uri))
            throw OperationFault("The share field exists", uri + " is already there; update it instead.");
        shareFields_[uri] = ShareField{uri, arg("author"), arg("name"), arg("field")};
        return uri;
    }
    if (op == "GetShareFieldList" || op == "GetShareFieldURIList") {
        std::vector<std::string> items;
        for (const auto& [uri, f] : shareFields_)
            items.push_back(op == "GetShareFieldList" ? f.name : uri);
        return Join(items);
    }
    if (op == "GetShareFieldURI") {
        for (const auto& [uri, f] : shareFields_)
            if (f.author == arg("author") && f.name == arg("name"))
                return uri;
        NotFound("share field of " + arg("author") + " named", arg("name"));
    }
    if (op == "GetShareField" || op == "UpdateShareField" || op == "RemoveShareField" || op == "GetShareFieldAttribute") {
        const auto it = shareFields_.find(arg("uri"));
        if (it == shareFields_.end())
            NotFound("share field", arg("uri"));
        if (op == "GetShareField")
            return it->second.field;
        if (op == "GetShareFieldAttribute")
            return "<sharefield uri=\"" + XmlEscape(it->first) + "\" author=\"" + XmlEscape(it->second.author) +
                   "\" name=\"" + XmlEscape(it->second.name) + "\" size=\"" + std::to_string(it->second.field.size()) +
                   "\"/>";
        if (op == "UpdateShareField")
            it->second.field = arg("field");
        else
            shareFields_.erase(it);
        return kOk;
    }

    // ---- settings
    if (op == "GetCompressThreshold")
        return std::to_string(ctx.compressThreshold);
    if (op == "GetAdminUserList")
        return Join(std::vector<std::string>(groups_["admins"].begin(), groups_["admins"].end()));
    if (op == "GetGroupList") {
        std::vector<std::string> names;
        for (const auto& [g, members] : groups_)
            names.push_back(g);
        return Join(names);
    }
    if (op == "GetGroupUserList") {
        const auto it = groups_.find(arg("group"));
        if (it == groups_.end())
            NotFound("group", arg("group"));
        return Join(std::vector<std::string>(it->second.begin(), it->second.end()));
    }
    if (op == "GetOwnGroupList") {
        std::vector<std::string> names;
        for (const auto& [g, members] : groups_)
            if (members.count(ctx.user))
                names.push_back(g);
        return Join(names);
    }
    if (op == "GetConferenceManagerURL")
        return ctx.baseUrl + "/ConferenceManager/";
    if (op == "ReLoadConfig" || op == "ReLoadTransform" || op == "ReLoadUnifyTable")
        return "OK: " + op.substr(6) + " reloaded (" + std::to_string(++reloads_[op]) + ")";

    // ---- Folio resources
    if (op == "PutVOResourcewithAttribute") {
        if (resources_.count(arg("name")))
            throw OperationFault("The resource exists", "A Folio resource named \"" + arg("name") + "\" is already there.");
        resources_[arg("name")] = Resource{arg("name"),    arg("urlleaf"), arg("props"),       true,
                                           arg("modulename"), arg("creator"), arg("version"), arg("type"),
                                           arg("id"),      arg("description")};
        return ctx.baseUrl + "/Folio/" + arg("urlleaf");
    }
    if (op == "GetVOResourceURL")
        return ctx.baseUrl + "/Folio/" + ResourceByName(arg("name")).urlleaf;
    if (op == "RemoveVOResource") {
        ResourceByName(arg("name"));
        resources_.erase(arg("name"));
        return kOk;
    }
    if (op == "GetVOResourceAttribute")
        return ResourceXml(ResourceByName(arg("name")));
    if (op == "GetVOResourceAttributeList" || op == "GetAllVOResourceAttributeList") {
        std::string s = "<resources>";
        for (const auto& [name, r] : resources_)
            if (op == "GetAllVOResourceAttributeList" || (r.hasAttributes && r.modulename == arg("modulename")))
                s += ResourceXml(r);
        return s + "</resources>";
    }
    if (op == "GetVOResourceModuleNameList") {
        std::set<std::string> modules;
        for (const auto& [name, r] : resources_)
            if (r.hasAttributes)
                modules.insert(r.modulename);
        return Join(std::vector<std::string>(modules.begin(), modules.end()));
    }
    if (op == "UpdateVOResourceURL" || op == "UpdateVOResourceProps") {
        Resource& r = ResourceByName(arg("name"));
        if (op == "UpdateVOResourceURL")
            r.urlleaf = arg("urlleaf");
        else
            r.props = arg("props");
        return kOk;
    }
    if (op == "UpdateVOResourceAttribute" || op == "RemoveVOResourceAttribute") {
        Resource& r = ResourceByName(arg("name"));
        if (op == "UpdateVOResourceAttribute") {
            r.hasAttributes = true;
            r.modulename = arg("modulename"), r.creator = arg("creator"), r.version = arg("version");
            r.type = arg("type"), r.id = arg("id"), r.description = arg("description");
        } else {
            if (!r.hasAttributes)
                NotFound("attributes of the resource", r.name);
            r.hasAttributes = false;
            r.modulename = r.creator = r.version = r.type = r.id = r.description = "";
        }
        return kOk;
    }
    throw OperationFault("Unknown operation " + op, "The service has no operation named \"" + op + "\".", "Client");
}

}  // namespace tessel::server
