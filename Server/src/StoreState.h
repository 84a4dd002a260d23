// What the store holds, and the helpers its handlers share. Only the store
// and its handler files include this; every handler runs under the store's
// lock, one at a time.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "Store.h"

namespace tessel::server {

struct StoreState {
    struct Vo {
        std::string name, uri, owner, content;
        std::string lockedBy{}, lockSession{};  // the user and the session that hold its lock
    };
    struct LogEntry {
        long id;
        std::string user, category, uri, text;
    };
    struct Share {
        std::string uri, owner, ipaddress, field;
        bool active = false;
        std::vector<std::string> attendees;
    };
    struct ShareField {
        std::string uri, author, name, field;
    };
    struct Resource {
        std::string name, urlleaf, props;
        bool hasAttributes = false;
        std::string modulename{}, creator{}, version{}, type{}, id{}, description{};
    };
    using Acl = std::vector<std::pair<std::string, std::string>>;  // user, access in order

    // The seed data: a little of everything, so that every row of every tool
    // finds something with its default texts.
    explicit StoreState(std::vector<std::string> users);

    Vo& VoByName(const std::string& name);
    Vo& VoByUri(const std::string& uri);
    Resource& ResourceByName(const std::string& name);

    std::vector<std::string> users;
    std::map<std::string, Vo> vos;  // by name
    std::vector<LogEntry> logs;
    long nextLogId = 1;
    std::map<std::string, std::vector<std::string>> resumable;  // process name -> resume IDs
    std::map<std::string, Acl> resourceAcls, uriAcls;
    std::map<std::string, std::string> messages;
    std::map<std::string, Share> shares;
    std::map<std::string, ShareField> shareFields;  // by uri
    std::map<std::string, std::set<std::string>> groups;
    std::map<std::string, Resource> resources;
    std::map<std::string, int> reloads;
};

// Helpers of the handler files.
inline const std::string kOk = "OK";
std::string Join(const std::vector<std::string>& items);  // joined by ";"
[[noreturn]] void NotFound(const std::string& what, const std::string& key);
long Number(const Args& a, const std::string& name);

// One registration function per interface group; each adds its operations'
// handlers to the table.
void AddLogHandlers(HandlerTable& table);
void AddAclHandlers(HandlerTable& table);
void AddMessageHandlers(HandlerTable& table);
void AddContentHandlers(HandlerTable& table);
void AddCollaborationHandlers(HandlerTable& table);
void AddSettingsHandlers(HandlerTable& table);
void AddResourceHandlers(HandlerTable& table);

}  // namespace tessel::server
