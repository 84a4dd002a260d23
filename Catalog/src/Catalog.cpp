#include "Catalog/Catalog.h"

namespace tessel::catalog {

namespace {

using P = std::vector<std::string>;

std::vector<Operation> Table()
{
    const P attribute7 = {"name", "modulename", "creator", "version", "type", "id", "description"};
    P attribute9 = attribute7;
    attribute9.insert(attribute9.end(), {"urlleaf", "props"});

    std::vector<Operation> ops;
    const auto group = [&](Interface iface, std::vector<std::pair<std::string, P>> entries) {
        for (auto& [name, params] : entries)
            ops.push_back({std::move(name), iface, std::move(params)});
    };
    // log database and resumable processes
    group(Interface::Main,
          {{"GetLogIDList", {}},
           {"GetLog", {"logID"}},
           {"GetLogs", {"logID", "count"}},
           {"PutLog", {"log"}},
           {"GetLogCount", {}},
           {"PutCollabLog", {"uri", "log"}},
           {"GetCategoryLogIDList", {"category"}},
           {"GetResumeIDList", {"name"}},
           {"ResumeServiceProcess", {"resumeID", "flag"}},
           {"GetLogbyUser", {"opuser"}},
           {"GetCategoryLogbyUser", {"opuser", "category"}}});
    // access control lists of resources (by name) and of items (by URI)
    group(Interface::Main,
          {{"GetResourceACL", {"name"}},
           {"GetResourceACLEntry", {"name", "acluser"}},
           {"PutResourceACL", {"name", "acl"}},
           {"PutResourceACLEntry", {"name", "acluser", "accright"}},
           {"UpdateResourceACL", {"name", "acl"}},
           {"UpdateResourceACLEntry", {"name", "acluser", "accright"}},
           {"DeleteResourceACL", {"name"}},
           {"DeleteResourceACLEntry", {"name", "acluser"}},
           {"GetACL", {"uri"}},
           {"PutACL", {"uri", "acl"}},
           {"UpdateACL", {"uri", "acl"}},
           {"DeleteACL", {"uri"}},
           {"GetACLEntry", {"uri", "acluser"}},
           {"PutACLEntry", {"uri", "acluser", "accright"}},
           {"UpdateACLEntry", {"uri", "acluser", "accright"}},
           {"DeleteACLEntry", {"uri", "acluser"}}});
    // messages attached to items
    group(Interface::Main,
          {{"PutMessage", {"uri", "message"}},
           {"GetMessage", {"uri"}},
           {"UpdateMessage", {"uri", "message"}},
           {"RemoveMessage", {"uri"}}});
    // queries, Folio content and its locks
    group(Interface::Main,
          {{"Query", {"sqlstmt"}},
           {"GetVOContent", {"name"}},
           {"GetVOList", {}},
           {"PutVOContent", {"name", "content"}},
           {"RemoveVOContent", {"name"}},
           {"UpdateVOContent", {"name", "content"}},
           {"GetVOContentbyURI", {"uri"}},
           {"GetVOURIList", {}},
           {"UpdateVOContentbyURI", {"uri", "content"}},
           {"RemoveVOContentbyURI", {"uri"}},
           {"LockVO", {"uri"}},
           {"UnlockVO", {"uri"}},
           {"GetVOContentwithLock", {"name"}},
           {"GetVOContentbyURIwithLock", {"uri"}},
           {"UpdateVOContentwithUnlock", {"name", "content"}},
           {"UpdateVOContentbyURIwithUnlock", {"uri", "content"}}});
    // collaboration: sharing, attendees, share fields
    group(Interface::Main,
          {{"GetAttendeesList", {"uri"}},
           {"StartSharing", {"ipaddress", "uri"}},
           {"EndSharing", {"uri"}},
           {"AddAttendee", {"uri", "attendee"}},
           {"GetShareField", {"uri"}},
           {"DeleteAttendee", {"uri", "attendee"}},
           {"GetShareFieldList", {}},
           {"GetShareFieldURIList", {}},
           {"ChangeOwner", {"uri", "newowner"}},
           {"PutShareField", {"author", "name", "field"}},
           {"UpdateShareField", {"uri", "field"}},
           {"SaveSharing", {"uri", "field"}},
           {"RemoveShareField", {"uri"}}});
    // settings
    group(Interface::Main,
          {{"GetCompressThreshold", {}},
           {"GetAdminUserList", {}},
           {"GetGroupList", {}},
           {"GetGroupUserList", {"group"}},
           {"GetOwnGroupList", {}},
           {"GetConferenceManagerURL", {}}});
    // VO lists, URIs and attributes; share-field URIs and attributes
    group(Interface::Main,
          {{"GetAllVOList", {}},
           {"GetAllVOURIList", {}},
           {"GetAllVOUserList", {}},
           {"GetVOURI", {"vouser", "name"}},
           {"GetVOAttribute", {"uri"}},
           {"GetShareFieldURI", {"author", "name"}},
           {"GetShareFieldAttribute", {"uri"}},
           {"PutVOURI", {"vouser", "name"}},
           {"RemoveVOURI", {"uri"}}});
    // Folio resources
    group(Interface::Main,
          {{"GetVOResourceURL", {"name"}},
           {"RemoveVOResource", {"name"}},
           {"GetVOResourceAttribute", {"name"}},
           {"GetVOResourceAttributeList", {"modulename"}},
           {"GetAllVOResourceAttributeList", {}},
           {"GetVOResourceModuleNameList", {}},
           {"UpdateVOResourceURL", {"name", "urlleaf"}},
           {"UpdateVOResourceProps", {"name", "props"}},
           {"PutVOResourcewithAttribute", attribute9},
           {"UpdateVOResourceAttribute", attribute7},
           {"RemoveVOResourceAttribute", attribute7}});
    // administration, on the admin interface
    group(Interface::Admin, {{"ReLoadConfig", {}}, {"ReLoadTransform", {}}, {"ReLoadUnifyTable", {}}});
    return ops;
}

}  // namespace

const std::vector<Operation>& Operations()
{
    static const std::vector<Operation> ops = Table();
    return ops;
}

const Operation* Find(std::string_view name)
{
    for (const Operation& op : Operations())
        if (op.name == name)
            return &op;
    return nullptr;
}

const std::vector<SessionMessage>& SessionMessages()
{
    static const std::vector<SessionMessage> messages = {
        {"CreateTicket", {"authority", "realm", "principal", "credential", "fullPrincipal"}, {"result", "fullPrincipal"}},
        {"OpenSession",
         {"service", "ticket", "tokenScheme", "tokenSeed", "sessionKey", "verifier"},
         {"result", "sessionKey", "verifier"}},
        {"CloseSession", {"sessionKey", "verifier"}, {"result"}},
    };
    return messages;
}

const SessionMessage* FindSessionMessage(std::string_view name)
{
    for (const SessionMessage& m : SessionMessages())
        if (m.name == name)
            return &m;
    return nullptr;
}

}  // namespace tessel::catalog
