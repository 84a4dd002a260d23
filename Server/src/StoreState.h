// What the store holds, and the helpers its handlers share. Only the store
// and its handler files include this; every handler runs under the store's
// lock, one at a time.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "Store.h"

namespace tessel::server {

// What the store is charged for what it holds: the length of every text, and
// a fixed overhead for every entry of a map or list. Locks (a user and a
// session) and the reload counters are not counted.
inline constexpr std::size_t kEntryBytes = 64;

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

    // Charges the store for an entry that goes from `before` to `after` bytes.
    // Raises the "store is full" fault, changing nothing, when that takes the
    // store past its limit; shrinking always succeeds. Every change to what
    // the store holds goes through here, mostly by Set and Erase.
    void Account(std::size_t before, std::size_t after);
    // Puts value under key, replacing what was there, charged for the difference.
    template <class Value>
    Value& Set(std::map<std::string, Value>& map, std::string key, Value value);
    // Removes key and what it holds, if there.
    template <class Value>
    void Erase(std::map<std::string, Value>& map, std::string key);
    // Every entry counted afresh: what `used` must be.
    std::size_t Footprint() const;

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
    std::size_t used = 0;               // bytes, as charged by Account
    std::size_t limit = SIZE_MAX;       // bytes
};

std::size_t Bytes(const std::string& text);
std::size_t Bytes(const StoreState::Vo& vo);
std::size_t Bytes(const StoreState::LogEntry& entry);
std::size_t Bytes(const StoreState::Share& share);
std::size_t Bytes(const StoreState::ShareField& field);
std::size_t Bytes(const StoreState::Resource& resource);
std::size_t Bytes(const StoreState::Acl& acl);
std::size_t Bytes(const std::vector<std::string>& items);
std::size_t Bytes(const std::set<std::string>& items);

template <class Value>
std::size_t EntryBytes(const std::string& key, const Value& value)
{
    return kEntryBytes + key.size() + Bytes(value);
}

template <class Value>
Value& StoreState::Set(std::map<std::string, Value>& map, std::string key, Value value)
{
    const auto it = map.find(key);
    Account(it == map.end() ? 0 : EntryBytes(key, it->second), EntryBytes(key, value));
    if (it != map.end())
        return it->second = std::move(value);
    return map.emplace(std::move(key), std::move(value)).first->second;
}

template <class Value>
void StoreState::Erase(std::map<std::string, Value>& map, std::string key)
{
    const auto it = map.find(key);
    if (it == map.end())
        return;
    Account(EntryBytes(key, it->second), 0);
    map.erase(it);
}

// Helpers of the handler files.
inline const std::string kOk = "OK";
std::string Join(const std::vector<std::string>& items);  // joined by ";"
[[noreturn]] void NotFound(const std::string& what, const std::string& key);
long Number(const Args& a, const Param& p);  // raises the fault "Parameter P is not a number"

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
