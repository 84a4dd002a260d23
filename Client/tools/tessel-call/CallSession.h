// tessel-call's session with the service: the service descriptions, the
// login the tools make (CreateTicket, a token handler, OpenSession), one
// authenticated call at a time exactly as the tools send it, and the logout.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "Catalog/Catalog.h"
#include "Client/CallPipeline.h"
#include "Client/Exchange.h"
#include "Client/Masking.h"
#include "Client/TokenSession.h"
#include "Soap/Transport.h"

namespace tessel::call {

// tessel-call's exit statuses.
enum ExitStatus : int {
    kExitResult = 0,         // a result whose reply token is valid
    kExitFault = 1,          // a fault, an error page, a refused login (run: a call failed)
    kExitTokenRejected = 2,  // a result whose reply token the library rejects
    kExitTransport = 3,      // no reply, an unreadable reply, a description or token library that cannot be used
    kExitUsage = 4,          // bad arguments or script lines; nothing was sent
};

// A failure that ends the program with `status`; the message is for a person.
class CallError : public std::runtime_error {
public:
    CallError(int status, const std::string& message) : std::runtime_error(message), status_(status) {}
    int status() const noexcept { return status_; }

private:
    int status_;
};

using catalog::Interface;

using client::LoginValues;

// Every exchange as tessel-call shows it: the request with the password
// masked, the reply, and the HTTP status (0 and `error` when no reply came).
using client::Exchange;
using Tracer = std::function<void(const Exchange&)>;

// What shows in place of the password.
using client::kPasswordMask;

enum class Outcome {
    Result,     // a reply with "result" and "reskey"; `verdict` says whether its token is valid
    Fault,      // a SOAP fault
    ErrorPage,  // an HTML page instead of a SOAP message
    Transport,  // no reply, an empty or unreadable reply, or a token library failure
    NotSent,    // a value that cannot go into the request
};

struct CallReport {
    std::string operation;
    Outcome outcome = Outcome::Transport;
    long httpStatus = 0;
    double elapsedMs = 0;
    std::string result;        // slot 1's decoded value (Result)
    std::int32_t kind = -1;    // GetTokenData's kind of slot 1 (Result)
    std::int32_t verdict = 0;  // ValidateToken's HRESULT (Result)
    std::string faultCode, faultString, faultDetail;  // Fault, ErrorPage
    std::string error;                                // Transport, NotSent
    std::string request, reply;                       // the envelopes
    std::string failedCheck;  // what a rejected reply token failed ("hash differs"), when the inspector names it
    client::TokenTrace tokens;  // for the token inspector; empty when no token was built

    int exitStatus() const;
    // The fault's string and detail, or the error, in one text.
    std::string Problem() const;
};

// The values given by name in the order of `names` (the description's).
// Raises CallError(kExitUsage) naming the unknown, missing or repeated name
// and listing the operation's parameters.
std::vector<client::Slot> OrderParameters(const std::string& operation, const std::vector<std::string>& names,
                                          const std::vector<std::pair<std::string, std::string>>& given);
// "GetLogs takes logID, count" or "GetLogCount takes no parameters".
std::string DescribeParameters(const std::string& operation, const std::vector<std::string>& names);

// The interface an operation goes to: the admin one when `admin` is set or
// the operation table lists the operation there.
Interface InterfaceOf(const std::string& operation, bool admin);
// The admin description beside a main one: "Admin" inserted before the
// extension of the URI's last segment (…/TesselServiceCore.xml becomes
// …/TesselServiceCoreAdmin.xml).
std::string AdminUriBeside(const std::string& mainUri);

class CallSession {
public:
    // `tracer`, when set, sees every exchange.
    explicit CallSession(client::TokenLibrary& library, Tracer tracer = {});
    // `inspect`, when set, sees the report of every authenticated call that built a token.
    void OnCall(std::function<void(const CallReport&)> inspect) { onCall_ = std::move(inspect); }
    // Releases a handler still held; sends nothing.
    ~CallSession();
    CallSession(const CallSession&) = delete;
    CallSession& operator=(const CallSession&) = delete;

    // Fetches the description of an interface and keeps its text and
    // endpoint. Raises CallError(kExitTransport) saying why it cannot be used.
    // Imports come from the description's origin, those of TESSEL_IMPORT_ORIGINS
    // and `origins` (as soap::OriginOf gives them); nowhere else.
    void Load(Interface iface, const std::string& uri);
    void AllowImportOrigins(std::vector<std::string> origins) { importOrigins_ = std::move(origins); }
    bool Loaded(Interface iface) const { return descriptions_.count(iface) != 0; }
    // The time limits of every later exchange, in whole seconds: to connect, and in all.
    void SetTimeouts(long connectSeconds, long totalSeconds)
    {
        http_.connectTimeoutSeconds = connectSeconds;
        http_.totalTimeoutSeconds = totalSeconds;
    }

    // The authenticated operations of a loaded description, in its order,
    // each with its own parameters (those between "user" and "reskey").
    std::vector<std::pair<std::string, std::vector<std::string>>> Operations(Interface iface) const;
    // One operation's own parameters. Raises CallError(kExitTransport) when
    // the description lacks the operation or the operation is not one that
    // carries a token, saying so.
    std::vector<std::string> Parameters(Interface iface, const std::string& operation) const;

    // CreateTicket on the main description, a new token handler with its
    // scheme and seed, OpenSession, the session items. Raises
    // CallError(kExitFault) when the service refuses the login and
    // CallError(kExitTransport) when it cannot be reached or read.
    void LogIn(const LoginValues& login);
    bool loggedIn() const noexcept { return state_.loggedIn; }

    // The authenticated call: slot 0 the operation, slots 1..n the
    // parameters; "user" the token, the parameters, "reskey" empty; the
    // reply's "result" and "reskey" validated; slot 1 read back whole. What
    // the service or the transport does is in the report; nothing raises.
    CallReport Call(Interface iface, const std::string& operation, const std::vector<client::Slot>& params);

    // CloseSession (its reply is not read) and the handler released. Returns
    // the transport's message when CloseSession could not be sent.
    std::string LogOut();

private:
    std::vector<std::string> importOrigins_;
    soap::HttpOptions http_;
    struct Description {
        std::string uri, text, endpoint;
        std::vector<std::pair<std::string, std::vector<std::string>>> operations;
    };
    const Description& Get(Interface iface) const;
    // A plain exchange; `shown` are the parameters as the tracer sees them.
    // Raises CallError(kExitTransport) when no reply comes.
    std::string Post(const Description& d, const std::string& method, const std::vector<client::Slot>& params,
                     const std::vector<client::Slot>& shown);
    // How tessel-call puts a session message on the wire (the pipeline's
    // carrier): posted with the password masked for the tracer, its values
    // read from the reply.
    std::optional<std::vector<std::string>> SessionMessage(const std::string& message,
                                                           const std::vector<client::Slot>& params,
                                                           const std::vector<std::string>& wanted);
    // A session reply's value; a fault raises CallError(kExitFault), an
    // unreadable reply CallError(kExitTransport).
    std::string SessionValue(const std::string& method, const std::string& reply, const std::string& name) const;
    std::string Masked(std::string text) const;

    Tracer tracer_;
    std::function<void(const CallReport&)> onCall_;
    std::map<Interface, Description> descriptions_;
    std::string password_;
    client::SessionState state_;
    client::CallPipeline pipeline_;
};

}  // namespace tessel::call
