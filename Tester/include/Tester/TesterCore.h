// The shared core of the SOAP 1.0 tools: connect and method listing, login
// and logout, the authenticated call of every operation row, and the rules
// that enable and disable buttons.
#pragma once

#include <memory>
#include <string>

#include "Soap/Packager.h"
#include "Tester/TokenLibrary.h"
#include "Tester/ToolDefinition.h"
#include "Tester/ToolUi.h"

namespace tessel::tester {

struct ClientSession {
    std::string descriptionURI;
    std::string serviceURI;
    std::string descriptionText;
    std::unique_ptr<soap::Packager> catalogPackager;
    std::string ticket;
    std::int32_t tokenHandler = 0;
    std::string tokenScheme, tokenSeed;
    std::string sessionKey, verifier;
    std::string tokenText;
};

// The state an operation's special handling works on.
class CallContext {
public:
    CallContext(ToolUi& ui, TokenLibrary& lib, ClientSession& session, const OperationRow& row)
        : ui(ui), library(lib), session(session), row(row)
    {
    }
    ToolUi& ui;
    TokenLibrary& library;
    ClientSession& session;
    const OperationRow& row;
    // Values sent for the parameters; filled from the boxes, may be replaced by a hook.
    std::vector<std::string> values;
};

// Whether a reply is an error page: longer than six characters and
// beginning with exactly "<html>".
bool IsErrorPage(const std::string& reply);

class TesterCore {
public:
    TesterCore(const ToolDefinition& tool, ToolUi& ui, TokenLibrary& library);

    // The window's initial state: captions, default texts, disabled buttons.
    void Start();
    // Button handlers. None of them lets an error escape: an error is shown
    // in an "Error on ..." box and the tool keeps its state.
    void Connect();
    void ListMethods();
    void CreateTicket();
    void CloseSession();
    void Send(const std::string& button);
    void Exit();

    void EnableOperations();
    const ClientSession& session() const noexcept { return session_; }
    const ToolDefinition& tool() const noexcept { return tool_; }

private:
    struct Exchange;
    void Trap(const std::string& what, const std::function<void()>& step);
    void AuthenticatedCall(const OperationRow& row);
    std::string PlainExchange(const std::string& method,
                              const std::vector<std::pair<std::string, std::string>>& params, bool show);
    void ShowListing(const soap::Packager& packager);
    const OperationRow* RowOf(const std::string& button) const;

    const ToolDefinition& tool_;
    ToolUi& ui_;
    TokenLibrary& library_;
    ClientSession session_;
};

}  // namespace tessel::tester
