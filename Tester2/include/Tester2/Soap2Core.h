// The shared core of the SOAP 2.0 tools: the connection check that builds a
// SOAP 2.0 client object from the WSDL box, login and logout, the
// authenticated call of every operation row, the rules that enable and
// disable buttons, and the one failure policy every handler goes through. It
// talks to its window through client::ToolUi only.
#pragma once

#include <atomic>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Client/CallPipeline.h"
#include "Client/Exchange.h"
#include "Client/TokenSession.h"
#include "Client/ToolUi.h"
#include "Soap/Soap2Client.h"
#include "Tester2/Soap2ToolDefinition.h"

namespace tessel::tester2 {

using client::Icon;
using client::ToolUi;

// Names of the controls both windows share.
inline constexpr char kWsdlBox[] = "cbWSDL";
inline constexpr char kConnectButton[] = "btnConnect";
inline constexpr char kCreateTicketButton[] = "BtnCreateTicket";
inline constexpr char kCloseSessionButton[] = "btnCloseSession";
inline constexpr char kUserNameBox[] = "UserKey";
inline constexpr char kPasswordBox[] = "Password";
inline constexpr char kAuthorityBox[] = "Authority";
inline constexpr char kRealmBox[] = "realm";
inline constexpr char kServiceBox[] = "Service";
inline constexpr char kResultBox[] = "RResult";

// Default texts of the shared boxes (the login boxes' are the pipeline's).
using client::kDefaultAuthority;
using client::kDefaultRealm;
using client::kDefaultService;
inline constexpr char kDefaultResult[] = "Result";

// The twelve service-description URLs the WSDL box offers at start, in
// order; its text starts as the first.
const std::vector<std::string>& DefaultDescriptionUrls();

// The state of one window, for the life of the program: the session
// (ticket, token handler, session items, the current token: the one the
// handler built, then the server's token written back by the call) and the
// client object it runs over.
struct Soap2Session : client::SessionState {
    // None before the first connection check; replaced whenever the check
    // finds a new URL in the WSDL box.
    std::unique_ptr<soap::Soap2Client> soapClient;
    // The URL soapClient was initialised with. Empty at start and after
    // CloseSession, so that the next check always builds a new client.
    std::string lastDescriptionURL;
    // The raw result of the last operation call.
    std::string resultText;
};

// What became of a step.
enum class Outcome {
    Completed,  // it ran to its end
    Fault,      // the server refused it with a SOAP fault, shown in its failure box
    Failed,     // anything else went wrong, shown in its failure box
};

class Soap2Core {
public:
    // Makes a new, uninitialised client object; it may raise or return null
    // when none can be made.
    using ClientFactory = std::function<std::unique_ptr<soap::Soap2Client>()>;

    // `tool` must outlive the core. Without a factory the core makes plain
    // soap::Soap2Client objects.
    Soap2Core(const Soap2ToolDefinition& tool, ToolUi& ui, client::TokenLibrary& library,
              ClientFactory makeClient = {});

    // The window's load step: lastDescriptionURL emptied, the WSDL box's text
    // set to the first default URL (the window fills its list), the default
    // texts, and every button but Connect disabled.
    void Start();

    // Button handlers. None lets a failure escape: each shows it through the
    // failure policy (see Trapped) and the tool keeps the state the step had
    // reached.
    //
    // Connect: the connection check; CreateTicket is enabled when it succeeds
    // and keeps its state when it fails.
    void Connect();
    // Login: the connection check, CreateTicket (its result shown as
    // "AuthResult"), a new token handler set up with a fresh seed, OpenSession.
    // With a session key the items are set, CreateTicket is disabled and
    // CloseSession and every operation button enabled; without one the
    // buttons keep their state. A failure is shown as "Error on CreateTicket".
    void CreateTicket();
    // Logout: the connection check, then CloseSession; on success every
    // session and operation button is disabled, lastDescriptionURL and the
    // user name and password boxes are emptied. The token handler is never
    // released. A failure shows the fault string under the program's name and
    // changes nothing.
    void CloseSession();
    // The authenticated call of the row whose button this is (Failed and
    // nothing shown for an unknown button): the connection check, the token
    // over the row's slots, the call, the raw result under the row's result
    // title, the server's token validated, the reply read back into at least
    // 1,048,576 characters and shown under the reply title and in RResult.
    // A failure is shown under the row's error title and in RResult. The
    // enabled state of the buttons never changes.
    Outcome Send(const std::string& button);

    const Soap2Session& session() const noexcept { return session_; }
    const Soap2ToolDefinition& tool() const noexcept { return tool_; }

private:
    // Which of the client's fault texts a failure box shows.
    enum class Shown { FaultDetail, FaultString };
    struct FailureBox {
        std::string title;
        Shown text = Shown::FaultDetail;
        bool intoResultBox = true;
        bool pointerAfterBox = false;
        // The connection check's: where no server answered, the status line
        // adds how to start a local service.
        bool hintWhenUnreached = false;
    };

    // The failure policy of every handler: runs `step`; any failure ends it
    // at once. The pointer returns to the default (after the box instead when
    // `pointerAfterBox`), a box with an exclamation icon shows the client's
    // fault detail or string under `title`, and RResult shows the same text
    // when `intoResultBox`. A server's fault shows its detail or string as it
    // came, also when it is empty (the status line gives its fault string and
    // code); a failure that did not come from the client object, or for which
    // the client has no text, shows its own message instead. Returns what
    // became of the step.
    Outcome Trapped(const FailureBox& box, client::WaitCursor& wait, const std::function<void()>& step);
    FailureBox SessionFailure(std::string title, Shown text, bool intoResultBox) const;
    // The connection check: nothing when the WSDL box's text is
    // lastDescriptionURL (whatever state soapClient is in: an uninitialised
    // one left by a failed check stays, and so does none at all); otherwise a
    // new client object replaces soapClient and is initialised from the box's
    // text, and only then does lastDescriptionURL become that text. A failure
    // is shown as "Error on Connection" and the caller goes on (with the new,
    // uninitialised client, or none when none could be made). Returns false
    // only when a check that ran failed.
    bool EnsureClient(client::WaitCursor& wait);
    // The client object; raises when there is none.
    soap::Soap2Client& Client();
    // Runs one exchange of the client object (`call`) while the window waits
    // (with Cancel after a second), then records it for the window's view;
    // passes on what the call raises. Returns the time it took, in ms.
    long long Exchange(const std::string& method, const std::function<void()>& call);
    void AuthenticatedCall(const Row& row, client::WaitCursor& wait);
    // How this family puts a session message on the wire (the pipeline's
    // carrier): a call of the client object, the values after the first
    // passed by reference and read back from there.
    std::optional<std::vector<std::string>> SessionMessage(const std::string& message,
                                                           const std::vector<client::Slot>& params,
                                                           const std::vector<std::string>& wanted);
    client::SessionCarrier Carrier();
    void SetOperationsEnabled(bool enabled);

    const Soap2ToolDefinition& tool_;
    ToolUi& ui_;
    ClientFactory makeClient_;
    Soap2Session session_;
    client::CallPipeline pipeline_;
    std::string noClientReason_;  // why the last connection check made no client object
    std::atomic<bool> cancel_{false};  // set by the window's Cancel during an exchange
    soap::HttpOptions http_;
    client::Exchange last_;
};

}  // namespace tessel::tester2
