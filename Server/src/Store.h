// The local service's in-memory store and what each operation does with it.
#pragma once

#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace tessel::server {

// A failure an operation reports to the caller as a SOAP fault.
class OperationFault : public std::runtime_error {
public:
    OperationFault(std::string string, std::string detail, std::string code = "Client")
        : std::runtime_error(string), code_(std::move(code)), detail_(std::move(detail))
    {
    }
    const std::string& code() const noexcept { return code_; }
    const std::string& detail() const noexcept { return detail_; }

private:
    std::string code_, detail_;
};

struct CallContext {
    std::string user;        // the session's principal
    std::string baseUrl;     // http://host:port of the request
    std::size_t compressThreshold = 1024;
};

using Args = std::map<std::string, std::string>;

class Store {
public:
    explicit Store(std::vector<std::string> users);

    // Runs one operation; raises OperationFault. Safe from several threads.
    std::string Execute(const std::string& operation, const Args& args, const CallContext& ctx);

private:
    struct Vo {
        std::string name, uri, owner, content, lockedBy;
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
        std::string modulename, creator, version, type, id, description;
    };
    using Acl = std::vector<std::pair<std::string, std::string>>;  // user, access in order

    std::string Dispatch(const std::string& op, const Args& a, const CallContext& ctx);
    Vo& VoByName(const std::string& name);
    Vo& VoByUri(const std::string& uri);
    std::string VoXml(const Vo& vo) const;
    std::string LogXml(const LogEntry& e) const;
    std::string ResourceXml(const Resource& r) const;
    Resource& ResourceByName(const std::string& name);
    static Acl ParseAcl(const std::string& text);
    static std::string AclXml(const Acl& acl);
    static std::string AclEntry(const Acl& acl, const std::string& user, const std::string& what);
    static void PutAclEntry(Acl& acl, const std::string& user, const std::string& rights, bool mustBeNew);
    static void RemoveAclEntry(Acl& acl, const std::string& user, const std::string& what);
    std::string NewVoUri(const std::string& owner, const std::string& name) const;

    std::mutex mutex_;
    std::vector<std::string> users_;
    std::map<std::string, Vo> vos_;  // by name
    std::vector<LogEntry> logs_;
    long nextLogId_ = 1;
    std::map<std::string, std::vector<std::string>> resumable_;  // process name -> resume IDs
    std::map<std::string, Acl> resourceAcls_, uriAcls_;
    std::map<std::string, std::string> messages_;
    std::map<std::string, Share> shares_;
    std::map<std::string, ShareField> shareFields_;  // by uri
    std::map<std::string, std::set<std::string>> groups_;
    std::map<std::string, Resource> resources_;
    std::map<std::string, int> reloads_;
};

// Escapes text for an XML fragment of a result.
std::string XmlEscape(const std::string& s);

}  // namespace tessel::server
