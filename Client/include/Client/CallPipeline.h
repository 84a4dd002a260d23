// The call pipeline every tool and tessel-call go through: the session with
// the service from login (CreateTicket, a token handler with its scheme and
// seed, OpenSession, the session items) to logout; and the steps of one
// authenticated call: the values taken by the row's rules, the slots filled
// under the catalog's names, the token built, what the request carries, and
// the reply's token validated and its slot 1 read back by the row's rule.
// What differs between the families (how a message goes on the wire, what a
// window shows between the steps, what a failure does) stays with them: a
// family puts its session messages on the wire through a SessionCarrier.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Catalog/Catalog.h"
#include "Client/CallRules.h"
#include "Client/Exchange.h"
#include "Client/StatusLines.h"
#include "Client/TokenSession.h"
#include "Soap/Packager.h"

namespace tessel::client {

// The login values a tool shows at start.
inline constexpr char kDefaultAuthority[] = "LDAP://ldap.example.test";
inline constexpr char kDefaultRealm[] = "example.test";
inline constexpr char kDefaultService[] = "tsc";

// One session with the service.
struct SessionState {
    std::string ticket;
    std::int32_t tokenHandler = 0;
    std::string tokenScheme, tokenSeed;
    std::string sessionKey, verifier;
    // The token of the current call: the one the handler built, then the
    // server's token that came back with the reply.
    std::string tokenText;
    // Between a login that set the session items and the next logout.
    bool loggedIn = false;
    // From the login that set up `tokenHandler` until a logout releases it.
    bool handlerHeld = false;
};

struct LoginValues {
    std::string authority = kDefaultAuthority;
    std::string realm = kDefaultRealm;
    std::string user;
    std::string password;
    std::string service = kDefaultService;
};

// How a family puts a session message on the wire and reads its reply: it
// sends `message` with `params` (the catalog's names, in its order) and
// returns the reply's values named `wanted`, in that order; nullopt when the
// family ended the step here and has said why. It may raise.
using SessionCarrier = std::function<std::optional<std::vector<std::string>>(
    const std::string& message, const std::vector<Slot>& params, const std::vector<std::string>& wanted)>;

// What a login does with an empty ticket.
enum class EmptyTicket {
    EndsLogin,  // no token handler, no OpenSession
    GoesOn,     // the ticket is not tested: an empty one goes to OpenSession like any other
};
enum class LoginEnd {
    LoggedIn,      // the session items are set
    Stopped,       // the carrier ended a step
    NoTicket,      // CreateTicket gave an empty ticket (EmptyTicket::EndsLogin)
    NoSessionKey,  // OpenSession gave an empty session key
};
// What a logout does with the session's token handler.
enum class AtLogout { ReleaseHandler, KeepHandler };

// What a reply's read-back gave.
struct ReplyRead {
    // AtLeastOneMiBUnlessNoReplyToken with an empty reply token: nothing was
    // validated or read back.
    bool ended = false;
    // Whether the rule shows `shown` (the read-back or, for RawAfterFirstKiB,
    // the raw result).
    bool show = false;
    std::string shown;
    // The decoded result, whole; empty when it did not decode.
    std::string whole;
};

class CallPipeline {
public:
    // `state` must outlive the pipeline.
    CallPipeline(TokenLibrary& library, SessionState& state) : tokens_(library), state_(state) {}

    TokenSession& tokens() noexcept { return tokens_; }
    SessionState& state() noexcept { return state_; }

    // CreateTicket with the login values; a new token handler, its scheme and
    // a fresh seed; OpenSession; the session items. The state keeps what each
    // step gave.
    LoginEnd LogIn(const SessionCarrier& carrier, const LoginValues& login, EmptyTicket rule);
    // CloseSession with the session's key and verifier (its reply is not
    // read); the session ends.
    void LogOut(const SessionCarrier& carrier, AtLogout rule);

    // The catalog's operation `method` with `params` parameters; raises
    // std::logic_error when the catalog lists no such operation.
    static const catalog::Operation& OperationOf(const std::string& method, std::size_t params);
    // The parameters' values as their take rules give them, in order; a box
    // whose trailing CR LF is cut gets its new text.
    static std::vector<std::string> TakeValues(const std::vector<Param>& params, Boxes& boxes);
    // Slots 1..n: the values under the operation's parameter names.
    static std::vector<Slot> SlotsOf(const catalog::Operation& op, const std::vector<std::string>& values);
    // The request token over slot 0 (the method) and `slots`; it becomes the
    // state's token text.
    const std::string& BuildToken(const std::string& method, const std::vector<Slot>& slots);
    // What the request carries for each parameter, after the token: by the
    // send rule, the value as taken, the box read again, or the slot read back.
    std::vector<Slot> Sent(const std::vector<Param>& params, const std::vector<Slot>& slots, Boxes& boxes);
    // The reply's token (the state's token text) validated over slot 1 =
    // `result` and slot 1 read back by `rule`; `outcome` gets the verdict,
    // the decoding and the lengths.
    // A rejected reply's outcome also names the check that failed.
    ReplyRead ReadReply(Reply rule, const std::string& method, const std::string& result, CallOutcome& outcome);

    // The tokens of the last call, for the token inspector.
    const TokenTrace& trace() const noexcept { return trace_; }

private:
    TokenSession tokens_;
    SessionState& state_;
    TokenTrace trace_;
};

// The SOAP 1.0 request of an authenticated call, from the description's
// template of the method: "user" the token, the parameters as sent, "reskey"
// empty. Raises soap::SoapError when it cannot be built.
soap::ComposedRequest ComposeCall(const std::string& descriptionText, const std::string& method,
                                  const std::string& token, const std::vector<Slot>& sent);

// What a SOAP 1.0 reply to an authenticated call carries.
struct CallReply {
    std::string result, token;  // "result" and "reskey"; an absent one reads as empty
};
// Raises soap::SoapFault for a fault and soap::SoapError for a reply that
// cannot be read.
CallReply ReadCallReply(const std::string& reply);

}  // namespace tessel::client
