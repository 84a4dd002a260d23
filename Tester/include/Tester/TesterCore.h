// The shared core of the SOAP 1.0 tools: connect and method listing (and the
// admin connection of a tool that has one), login and logout, the
// authenticated call of every operation row, and the rules that enable and
// disable buttons. It talks to its window through client::ToolUi only.
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
#include "Client/StatusLines.h"
#include "Client/TokenSession.h"
#include "Client/ToolUi.h"
#include "Soap/Packager.h"
#include "Soap/SoapError.h"
#include "Soap/Transport.h"
#include "Tester/ToolDefinition.h"

namespace tessel::tester {

using client::Icon;
using client::ToolUi;

// The session (ticket, token handler, session items, the current token) and
// the connections it runs over.
struct ClientSession : client::SessionState {
    std::string descriptionURI;
    std::string serviceURI;
    std::string descriptionText;
    std::unique_ptr<soap::Packager> catalogPackager;
    // The admin connection, made by a tool that has one.
    std::string adminDescriptionURI;
    std::unique_ptr<soap::Packager> adminCatalogPackager;
    std::string adminServiceURI;
    std::string adminDescriptionText;
};

// What a row's hook works on during one authenticated call.
class CallContext {
public:
    CallContext(ToolUi& ui, client::TokenSession& tokens, ClientSession& session, const Row& row)
        : ui(ui), tokens(tokens), session(session), row(row)
    {
    }
    ToolUi& ui;
    client::TokenSession& tokens;
    ClientSession& session;
    const Row& row;
    // The parameters' values as their take rules gave them, in the row's
    // order; the token's slots are built from them.
    std::vector<std::string> values;
};

// Whether a reply is an error page: longer than six characters and beginning
// with exactly "<html>" (case-sensitive).
bool IsErrorPage(const std::string& reply);
// The error page test of a tool's CreateTicket reply.
bool IsLoginErrorPage(LoginErrorPage rule, const std::string& reply);

class TesterCore {
public:
    // `tool` must outlive the core.
    TesterCore(const ToolDefinition& tool, ToolUi& ui, client::TokenLibrary& library);

    // The window's initial state: caption, default texts, disabled buttons.
    void Start();

    // Button handlers. None lets an error escape. Connect and ConnectAdmin
    // report a failure as "Service is unavailable." (titled with the program's
    // name) or as the failed load; the others through the error policy below.
    void Connect();
    void ConnectAdmin();
    void ListMethods();
    void CreateTicket();
    void CloseSession();
    // The authenticated call of the row whose button this is; nothing for an
    // unknown button.
    void Send(const std::string& button);
    void Run(Action action);
    void Exit();

    // Each row's button disabled, then enabled when the main description
    // declares its method, in the tool's enabling order. Admin rows are left
    // to the admin connection.
    void EnableOperations();

    const ClientSession& session() const noexcept { return session_; }
    const ToolDefinition& tool() const noexcept { return tool_; }

private:
    // The error policy of every handler but Connect: an error ends the step, a
    // message box titled "Error on " + `what` with an exclamation icon says
    // what went wrong, the status line says it in one line (for an operation,
    // adding that the result box still holds the previous result), and the
    // tool keeps the state the step had reached.
    void ReportErrorsOn(const std::string& what, bool operation, const std::function<void()>& step);
    // Loads a description from its URL while the window waits (Connect and
    // the admin connection); false with the cause when it does not load.
    bool LoadDescription(soap::Packager& packager, const std::string& url, std::string& cause);
    // A connection (the main one, or the admin one): the description at the
    // URI in `uriBox` loaded and kept with its endpoint and text, `enable`
    // run over it, the listing button enabled and the status line set; a
    // failure reported as Connect reports it.
    void ConnectTo(const std::string& uriBox, std::string& uri, std::unique_ptr<soap::Packager>& kept,
                   std::string& endpoint, std::string& text, const std::function<void(const soap::Packager&)>& enable);
    // A Connect or admin connection given up with Cancel: the status line and
    // a box titled with the program's name say it was cancelled and that the
    // tool is not connected to `uri`; the buttons stay as they were.
    void ReportCancelledConnect(const std::string& uri, const soap::Cancelled& e);
    // Posts a request while the window waits, and records the exchange for
    // the window's view; the elapsed time goes to `elapsedMs`.
    std::string Post(const std::string& method, const std::string& url, const std::string& request,
                     soap::Transport& transport, long long& elapsedMs);
    void AuthenticatedCall(const Row& row);
    std::string PlainExchange(const std::string& method, const std::vector<client::Slot>& params, bool show);
    // How this family puts a session message on the wire (the pipeline's
    // carrier): the description's template posted as it stands; an error page
    // shown and the step ended; a reply's values read, an empty reply keeping
    // the session's values.
    std::optional<std::vector<std::string>> SessionMessage(const std::string& message,
                                                           const std::vector<client::Slot>& params,
                                                           const std::vector<std::string>& wanted);
    client::SessionCarrier Carrier();
    void ShowListing(const soap::Packager& packager);
    void ShowResult(const std::string& method, const std::string& text);

    const ToolDefinition& tool_;
    ToolUi& ui_;
    ClientSession session_;
    client::CallPipeline pipeline_;
    std::atomic<bool> cancel_{false};  // set by the window's Cancel during an exchange
    soap::HttpOptions http_;
    client::Exchange last_;
};

}  // namespace tessel::tester
