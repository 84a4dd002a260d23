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
#include <vector>

#include "Catalog/Catalog.h"

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

// A request's parameters by name, as it carried them.
using Values = std::map<std::string, std::string>;

// A parameter that handlers read, named as the catalog names it. Each is
// declared once at namespace scope in the handler file that reads it
// (`const Param kLogID{"logID"};`), and every one declared is listed: the
// store checks the list against the catalog when it is built, so a handler
// that reads a name no operation of the catalog takes stops the service at
// start-up rather than failing a request.
class Param {
public:
    explicit Param(std::string name);
    const std::string& name() const noexcept { return name_; }

private:
    std::string name_;
};
// The names of every Param declared so far, in the order they were.
std::vector<std::string> DeclaredParams();

// What one operation's handler reads: the request's values of that
// operation's parameters, asked for by Param.
class Args {
public:
    // `values` must outlive the Args.
    Args(const catalog::Operation& operation, const Values& values) : operation_(operation), values_(values) {}
    // The value the request gave p. Raises OperationFault naming p when the
    // catalog does not give the operation p (code "Server": the handler asks
    // for what its operation does not take) or when the request did not carry
    // it (code "Client"); never anything that ends the request unanswered.
    const std::string& at(const Param& p) const;
    const std::string& operator[](const Param& p) const { return at(p); }
    const catalog::Operation& operation() const noexcept { return operation_; }

private:
    const catalog::Operation& operation_;
    const Values& values_;
};

struct StoreState;

// One operation's work on the store; raises OperationFault.
using Handler = std::function<std::string(StoreState&, const Args&, const CallContext&)>;
using HandlerTable = std::map<std::string, Handler, std::less<>>;

class Store {
public:
    // Seeds the store and builds the dispatch table; raises std::logic_error
    // when an operation of the catalog has no handler or a handler no
    // operation, or when a declared Param names no parameter of the catalog.
    // Operations that would take what the store holds past `limit` bytes fail
    // with the "store is full" fault; reads, deletes and shrinking updates
    // always work.
    explicit Store(std::vector<std::string> users, std::size_t limit = SIZE_MAX);
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    // Runs one operation over the request's values of its parameters; raises
    // OperationFault, also for a parameter its handler reads that `values`
    // lacks. Safe from several threads: operations run one at a time.
    std::string Execute(const std::string& operation, const Values& values, const CallContext& ctx);

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
