// The service's logins: tickets waiting for their OpenSession, and open
// sessions with the server side of the token scheme. Both expire, and
// together with the calls each session remembers against replay they are
// held to a limit of bytes of their own.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "EngineEnvironment.h"
#include "ServerMACImpl.h"

namespace tessel::server {

struct LoginLimits {
    std::int64_t ticketSeconds = 300;    // a ticket not used by then is gone
    std::int64_t idleSeconds = 1800;     // a session not used for longer is closed
    std::size_t bytes = 256u << 20;      // what tickets, sessions and their replay entries may hold
    std::shared_ptr<EngineEnvironment> env;  // the clock; null: the system's
};

// What each thing is charged: a ticket, a session (its keys and provider
// contexts), and one call a session remembers.
inline constexpr std::size_t kTicketBytes = 256;
inline constexpr std::size_t kSessionBytes = 4096;
inline constexpr std::size_t kReplayEntryBytes = 256;

struct Session {
    std::string user;
    std::string verifier;
    std::unique_ptr<ServerSession> tokens;
    std::string sessionKey;
    std::int64_t lastUse = 0;  // seconds on the clock; guarded by the logins' lock
    std::size_t charged = 0;   // bytes; guarded by the logins' lock
};

class Logins {
public:
    explicit Logins(LoginLimits limits);

    // A new ticket for the user; raises OperationFault when the logins are full.
    std::string IssueTicket(const std::string& user, const std::string& ticket);
    // The user of a ticket that is neither used nor expired, which is then used.
    std::optional<std::string> TakeTicket(const std::string& ticket);
    // Keeps an open session; raises OperationFault when the logins are full.
    void Open(std::shared_ptr<Session> session);
    // The open session with that verifier, now used; null when there is none
    // or it was idle too long.
    std::shared_ptr<Session> Find(const std::string& verifier);
    // Closes the session with that verifier and key; false when there is none.
    bool Close(const std::string& verifier, const std::string& sessionKey);

    // Room for the call a session is about to remember; raises OperationFault
    // when the logins are full. Settle after the call's token was checked.
    void ReserveCall(Session& session);
    void Settle(Session& session);

    // Bytes charged for what is kept now.
    std::size_t Used();

private:
    using Deadlines = std::set<std::pair<std::int64_t, std::string>>;  // (time, key), oldest first

    std::int64_t Now() const;
    void Expire(std::int64_t now);  // under the lock
    void Charge(std::size_t before, std::size_t after);  // under the lock
    bool Kept(const Session& session) const;              // under the lock

    LoginLimits limits_;
    std::mutex mutex_;
    std::map<std::string, std::pair<std::string, std::int64_t>> tickets_;  // ticket -> user, issued
    Deadlines ticketsByAge_;
    std::map<std::string, std::shared_ptr<Session>> sessions_;  // verifier -> session
    Deadlines sessionsByUse_;
    std::size_t used_ = 0;
};

}  // namespace tessel::server
