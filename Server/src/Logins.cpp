#include "Logins.h"

#include <functional>

#include "Store.h"

namespace tessel::server {

namespace {

// Drops from `map` every key of `deadlines` whose time is before `oldest`.
template <class Map>
void DropBefore(std::set<std::pair<std::int64_t, std::string>>& deadlines, Map& map, std::int64_t oldest,
                const std::function<void(typename Map::mapped_type&)>& dropping)
{
    while (!deadlines.empty() && deadlines.begin()->first < oldest) {
        const auto it = map.find(deadlines.begin()->second);
        if (it != map.end()) {
            dropping(it->second);
            map.erase(it);
        }
        deadlines.erase(deadlines.begin());
    }
}

std::size_t CallBytes(Session& session)
{
    return kSessionBytes + session.tokens->RememberedRequests() * kReplayEntryBytes;
}

}  // namespace

Logins::Logins(LoginLimits limits) : limits_(std::move(limits))
{
    if (!limits_.env)
        limits_.env = SystemEnvironment();
}

std::int64_t Logins::Now() const
{
    return UtcSeconds(limits_.env->NowUtc());
}

void Logins::Expire(std::int64_t now)
{
    DropBefore(ticketsByAge_, tickets_, now - limits_.ticketSeconds,
               [&](auto&) { Charge(kTicketBytes, 0); });
    DropBefore(sessionsByUse_, sessions_, now - limits_.idleSeconds,
               [&](std::shared_ptr<Session>& s) { Charge(s->charged, 0); });
}

void Logins::Charge(std::size_t before, std::size_t after)
{
    const std::size_t next = used_ - std::min(used_, before) + after;
    if (after > before && next > limits_.bytes)
        throw OperationFault("The service holds too many logins (--store-limit " +
                                 std::to_string(limits_.bytes >> 20) + " MB)",
                             "Tickets, sessions and the calls they remember would take " + std::to_string(next) +
                                 " bytes, past the limit of " + std::to_string(limits_.bytes) +
                                 " bytes. Close sessions that are no longer needed, or wait for idle ones to expire.",
                             "Server");
    used_ = next;
}

std::string Logins::IssueTicket(const std::string& user, const std::string& ticket)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    const std::int64_t now = Now();
    Expire(now);
    Charge(0, kTicketBytes);
    tickets_[ticket] = {user, now};
    ticketsByAge_.emplace(now, ticket);
    return ticket;
}

std::optional<std::string> Logins::TakeTicket(const std::string& ticket)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    Expire(Now());
    const auto it = tickets_.find(ticket);
    if (it == tickets_.end())
        return std::nullopt;
    std::string user = std::move(it->second.first);
    ticketsByAge_.erase({it->second.second, ticket});
    tickets_.erase(it);
    Charge(kTicketBytes, 0);
    return user;
}

void Logins::Open(std::shared_ptr<Session> session)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    const std::int64_t now = Now();
    Expire(now);
    Charge(0, kSessionBytes);
    session->charged = kSessionBytes;
    session->lastUse = now;
    sessionsByUse_.emplace(now, session->verifier);
    sessions_[session->verifier] = std::move(session);
}

std::shared_ptr<Session> Logins::Find(const std::string& verifier)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    const std::int64_t now = Now();
    Expire(now);
    const auto it = sessions_.find(verifier);
    if (it == sessions_.end())
        return nullptr;
    Session& s = *it->second;
    sessionsByUse_.erase({s.lastUse, verifier});
    s.lastUse = std::max(s.lastUse, now);
    sessionsByUse_.emplace(s.lastUse, verifier);
    return it->second;
}

bool Logins::Close(const std::string& verifier, const std::string& sessionKey)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    Expire(Now());
    const auto it = sessions_.find(verifier);
    if (it == sessions_.end() || it->second->sessionKey != sessionKey)
        return false;
    sessionsByUse_.erase({it->second->lastUse, verifier});
    Charge(it->second->charged, 0);
    sessions_.erase(it);
    return true;
}

bool Logins::Kept(const Session& session) const
{
    const auto it = sessions_.find(session.verifier);
    return it != sessions_.end() && it->second.get() == &session;
}

void Logins::ReserveCall(Session& session)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!Kept(session))
        return;  // closed or expired since it was found: charged nothing any more
    Charge(session.charged, session.charged + kReplayEntryBytes);
    session.charged += kReplayEntryBytes;
}

void Logins::Settle(Session& session)
{
    const std::size_t bytes = CallBytes(session);
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!Kept(session))
        return;
    // What the session holds now, reserved or not: it was taken, so it is
    // charged even past the limit (by at most one entry per call at once).
    used_ = used_ - std::min(used_, session.charged) + bytes;
    session.charged = bytes;
}

std::size_t Logins::Used()
{
    const std::lock_guard<std::mutex> lock(mutex_);
    Expire(Now());
    return used_;
}

}  // namespace tessel::server
