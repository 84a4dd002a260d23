// The local service's in-memory store and the dispatch of every operation to
// its handler.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

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
    std::string session;     // names the session (its verifier)
    std::string baseUrl;     // http://host:port of the request
    std::size_t compressThreshold = 1024;
};

// An operation's own parameters by name.
using Args = std::map<std::string, std::string>;

struct StoreState;

// One operation's work on the store; raises OperationFault.
using Handler = std::function<std::string(StoreState&, const Args&, const CallContext&)>;
using HandlerTable = std::map<std::string, Handler, std::less<>>;

class Store {
public:
    // Seeds the store and builds the dispatch table; raises std::logic_error
    // when an operation of the catalog has no handler or a handler no operation.
    // Operations that would take what the store holds past `limit` bytes fail
    // with the "store is full" fault; reads, deletes and shrinking updates
    // always work.
    explicit Store(std::vector<std::string> users, std::size_t limit = SIZE_MAX);
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    // Runs one operation; raises OperationFault. Safe from several threads:
    // operations run one at a time.
    std::string Execute(const std::string& operation, const Args& args, const CallContext& ctx);

    // What the store holds, in bytes: as charged by every change, and counted afresh.
    std::size_t Used();
    std::size_t Recount();

private:
    std::mutex mutex_;
    std::unique_ptr<StoreState> state_;
    HandlerTable handlers_;
};

// Escapes text for an XML fragment of a result.
std::string XmlEscape(const std::string& s);

}  // namespace tessel::server
