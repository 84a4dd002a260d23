#include "Tester/TesterCore.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <optional>
#include <variant>

#include "Catalog/Catalog.h"
#include "Client/SessionMessages.h"
#include "Client/TextRules.h"
#include "Soap/SoapError.h"
#include "Soap/Xml.h"

namespace tessel::tester {

namespace {

constexpr char kClientToServer[] = "SOAP XML Payload - Client to Server(";
constexpr char kServerToClient[] = "SOAP XML Payload -  Server To Client(";
constexpr char kErrorPage[] = "SOAP XML Payload - Error";
constexpr char kLoadFailedTitle[] = "LoadServicesDescription  FAILED";
constexpr char kLoadFailedText[] = "LoadServicesDescription = False";
constexpr char kUnavailable[] = "Service is unavailable.";

// What went wrong, in a person's words.
std::string Describe(const std::exception& e)
{
    if (const auto* fault = dynamic_cast<const soap::SoapFault*>(&e)) {
        std::string text = "The server answered with a fault: " + fault->faultString();
        if (!fault->faultCode().empty())
            text += " (" + fault->faultCode() + ")";
        if (!fault->detail().empty())
            text += "\n\n" + fault->detail();
        return text;
    }
    std::string text = e.what();
    if (!text.empty())
        text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    if (!text.empty() && text.back() != '.')
        text += '.';
    return text;
}

bool IsAdmin(const Row& row)
{
    const catalog::Operation* op = catalog::Find(row.method);
    return op && op->iface == catalog::Interface::Admin;
}

// A session reply's named value; an absent one reads as empty text. A fault raises.
std::string ReplyValue(const soap::Packager& packager, const std::string& name)
{
    return packager.GetParameter(soap::kResponsePayload, name);
}

}  // namespace

bool IsErrorPage(const std::string& reply)
{
    return reply.size() > 6 && reply.compare(0, 6, "<html>") == 0;
}

bool IsLoginErrorPage(LoginErrorPage rule, const std::string& reply)
{
    if (rule == LoginErrorPage::LowerCaseHtml)
        return IsErrorPage(reply);
    return reply.size() > 6 && (reply.compare(0, 5, "<html") == 0 || reply.compare(0, 5, "<!DOC") == 0);
}

TesterCore::TesterCore(const ToolDefinition& tool, ToolUi& ui, client::TokenLibrary& library)
    : tool_(tool), ui_(ui), pipeline_(library, session_), http_(soap::HttpOptions::FromEnvironment())
{
    http_.cancel = &cancel_;
    http_.connections = std::make_shared<soap::ConnectionPool>();  // the session's exchanges share connections
}

void TesterCore::Start()
{
    ui_.SetCaption(tool_.windowTitle);
    ui_.SetText("txtURI", tool_.defaultDescriptionUri);
    ui_.SetText(tool_.authorityBox, tool_.defaultAuthority);
    ui_.SetText(tool_.realmBox, tool_.defaultRealm);
    ui_.SetText("Service", "tsc");
    ui_.SetText("UserKey", "");
    ui_.SetText(tool_.passwordBox, "");
    ui_.SetText(tool_.requestBox, "Request");
    ui_.SetText(tool_.responseBox, "Response");
    ui_.SetText(tool_.resultBox, "Result");
    for (const Box& box : tool_.boxes)
        ui_.SetText(box.name, box.text);
    for (const Row& row : tool_.rows)
        ui_.SetEnabled(row.button, false);
    for (const char* b : {"btnListWSDataMethods", "CreateTicket", "CloseSession"})
        ui_.SetEnabled(b, false);
    ui_.SetEnabled("btnConnect", true);
    ui_.SetEnabled("btnExit", true);
    for (const Button& b : tool_.buttons)
        ui_.SetEnabled(b.name, true);
}

void TesterCore::ReportErrorsOn(const std::string& what, bool operation, const std::function<void()>& step)
{
    try {
        step();
    } catch (const std::exception& e) {
        ui_.SetWaitCursor(false);
        const auto* fault = dynamic_cast<const soap::SoapFault*>(&e);
        const std::string line = fault ? client::FirstLine(client::FaultLine(fault->faultString(), fault->faultCode()))
                                       : client::FailureLine(what, e.what());
        ui_.SetStatus(line + (operation ? client::kPreviousResult : ""));
        ui_.ShowMessage("Error on " + what, Describe(e), Icon::Exclamation);
    }
}

bool TesterCore::LoadDescription(soap::Packager& packager, const std::string& url, std::string& cause)
{
    packager.SetHttpOptions(http_);
    cancel_ = false;
    bool loaded = false;
    ui_.Wait(client::HostOf(url), [&] { loaded = packager.LoadServicesDescription(1, url); }, cancel_);
    if (!loaded)
        cause = packager.LastError();
    return loaded;
}

std::string TesterCore::Post(const std::string& method, const std::string& url, const std::string& request,
                             soap::Transport& transport, long long& elapsedMs)
{
    // The view shows the login's password masked.
    const std::string password = ui_.Text(tool_.passwordBox);
    last_ = client::Recorded(method, url, request, nullptr, {}, password);
    client::AddPrettyForms(last_);
    cancel_ = false;
    std::string reply;
    const auto started = std::chrono::steady_clock::now();
    try {
        ui_.Wait(client::HostOf(url), [&] { reply = transport.PostToURI(url, request); }, cancel_);
    } catch (...) {
        ui_.ShowExchange(last_);
        throw;
    }
    elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started)
                    .count();
    last_ = client::Recorded(method, url, request, &transport.lastReply(), reply, password);
    client::AddPrettyForms(last_);
    if (catalog::Find(method))
        last_.tokens = pipeline_.trace();  // the view decodes the request's token also when a fault came
    ui_.ShowExchange(last_);
    return reply;
}

// ---------------------------------------------------------------------------
// Connect, the admin connection and the method listing

void TesterCore::ConnectTo(const std::string& uriBox, std::string& uri, std::unique_ptr<soap::Packager>& kept,
                           std::string& endpoint, std::string& text,
                           const std::function<void(const soap::Packager&)>& enable)
{
    client::WaitCursor wait(ui_);
    try {
        uri = ui_.Text(uriBox);
        kept = std::make_unique<soap::Packager>();
        soap::Packager& packager = *kept;
        std::string cause;
        if (!LoadDescription(packager, uri, cause)) {
            ui_.SetStatus(client::NotConnectedLine(uri, cause));
            ui_.ShowMessage(kLoadFailedTitle, kLoadFailedText, Icon::None);
            return;
        }
        endpoint = soap::ServiceEndpoint(packager);
        enable(packager);
        ui_.SetEnabled("btnListWSDataMethods", true);
        text = packager.GetDescriptionText();
        ui_.SetStatus(client::ConnectedLine(endpoint, packager.GetCatalog(1).methods.size()));
        if (ui_.Checked("chkShowMethods"))
            ShowListing(packager);
    } catch (const soap::Cancelled& e) {
        ReportCancelledConnect(uri, e);
    } catch (const std::exception& e) {
        ui_.SetStatus(client::UnavailableLine(uri, e.what()));
        ui_.ShowMessage(tool_.program, kUnavailable, Icon::None);
    }
}

void TesterCore::Connect()
{
    ConnectTo("txtURI", session_.descriptionURI, session_.catalogPackager, session_.serviceURI,
              session_.descriptionText, [&](const soap::Packager& packager) {
                  ui_.SetCaption(tool_.connectedPrefix + session_.descriptionURI);
                  const bool hasLogin = packager.HasMethod("CreateTicket");
                  switch (tool_.connectRule) {
                  case ConnectRule::EnableLoginDisableLogout:
                      ui_.SetEnabled("CreateTicket", false);
                      if (hasLogin) {
                          ui_.SetEnabled("CreateTicket", true);
                          ui_.SetEnabled("CloseSession", false);
                      }
                      break;
                  case ConnectRule::EnableLogin:
                      ui_.SetEnabled("CreateTicket", false);
                      if (hasLogin)
                          ui_.SetEnabled("CreateTicket", true);
                      break;
                  case ConnectRule::EnableLoginWhileDisabled:
                      if (!ui_.Enabled("CreateTicket") && hasLogin)
                          ui_.SetEnabled("CreateTicket", true);
                      break;
                  }
              });
}

void TesterCore::ConnectAdmin()
{
    if (!tool_.admin)
        return;
    ConnectTo(tool_.admin->uriBox, session_.adminDescriptionURI, session_.adminCatalogPackager,
              session_.adminServiceURI, session_.adminDescriptionText, [&](const soap::Packager& packager) {
                  for (const std::string& method : tool_.admin->enableOrder) {
                      if (const Row* row = tool_.RowOfMethod(method)) {
                          ui_.SetEnabled(row->button, false);
                          if (packager.HasMethod(method))
                              ui_.SetEnabled(row->button, true);
                      }
                  }
              });
}

void TesterCore::ReportCancelledConnect(const std::string& uri, const soap::Cancelled& e)
{
    ui_.SetStatus(client::NotConnectedLine(uri, e.what()));
    ui_.ShowMessage(tool_.program, Describe(e) + "\n\nNot connected to " + uri + ".", Icon::None);
}

void TesterCore::ShowListing(const soap::Packager& packager)
{
    const soap::MethodListing listing = soap::BuildMethodListing(packager.GetCatalog(1).methods);
    ui_.ShowMessage(listing.title, listing.text, Icon::None);
}

void TesterCore::ListMethods()
{
    ReportErrorsOn("List", false, [&] {
        if (!session_.catalogPackager || !session_.catalogPackager->description())
            throw soap::SoapError("no service description is loaded; connect to the service first");
        ShowListing(*session_.catalogPackager);
    });
}

void TesterCore::Run(Action action)
{
    switch (action) {
    case Action::ConnectAdmin: ConnectAdmin(); break;
    }
}

// ---------------------------------------------------------------------------
// Login and logout

std::string TesterCore::PlainExchange(const std::string& method, const std::vector<client::Slot>& params, bool show)
{
    const soap::ComposedRequest request = soap::ComposeRequest(session_.descriptionText, method, params);
    if (show)
        ui_.ShowMessage(kClientToServer + method + ")", request.payload, Icon::None);
    client::WaitCursor wait(ui_);
    soap::Transport transport(http_);
    transport.AddStandardHeaders(session_.serviceURI, method, request.payload.size(), request.soapAction);
    long long elapsedMs = 0;
    return Post(method, session_.serviceURI, request.payload, transport, elapsedMs);
}

std::optional<std::vector<std::string>> TesterCore::SessionMessage(const std::string& message,
                                                                   const std::vector<client::Slot>& params,
                                                                   const std::vector<std::string>& wanted)
{
    const bool show = message != "OpenSession" && ui_.Checked("chkShowPackets");
    const std::string reply = PlainExchange(message, params, show);
    if (message == "CloseSession")
        return std::vector<std::string>{};  // its reply is not read
    const bool errorPage =
        message == "CreateTicket" ? IsLoginErrorPage(tool_.loginErrorPage, reply) : IsErrorPage(reply);
    if (errorPage) {
        ui_.ShowMessage(kErrorPage, reply, Icon::None);
        return std::nullopt;
    }
    soap::Packager response;
    response.SetPayload(soap::kResponsePayload, reply);
    if (show) {
        const std::string shown = soap::XmlTextForDisplay(reply);
        ui_.ShowMessage(kServerToClient + message + ")", shown, Icon::None);
        ui_.SetText(tool_.responseBox, shown);
    }
    // An empty reply leaves the session's values as they were.
    const auto kept = [&](const std::string& name) {
        return name == catalog::kResult ? session_.ticket : name == "sessionKey" ? session_.sessionKey : session_.verifier;
    };
    std::vector<std::string> values;
    for (const std::string& name : wanted)
        values.push_back(reply.empty() ? kept(name) : ReplyValue(response, name));
    return values;
}

client::SessionCarrier TesterCore::Carrier()
{
    return [this](const std::string& m, const std::vector<client::Slot>& p, const std::vector<std::string>& w) {
        return SessionMessage(m, p, w);
    };
}

void TesterCore::CreateTicket()
{
    ReportErrorsOn("CreateTicket", false, [&] {
        const client::LoginValues login{.authority = ui_.Text(tool_.authorityBox),
                                        .realm = ui_.Text(tool_.realmBox),
                                        .user = ui_.Text("UserKey"),
                                        .password = ui_.Text(tool_.passwordBox),
                                        .service = ui_.Text("Service")};
        switch (pipeline_.LogIn(Carrier(), login, client::EmptyTicket::EndsLogin)) {
        case client::LoginEnd::Stopped: return;
        case client::LoginEnd::NoTicket: ui_.SetStatus(client::kLoginRefused); return;    // without a message
        case client::LoginEnd::NoSessionKey: ui_.SetStatus(client::kLoginEnded); return;  // without a message
        case client::LoginEnd::LoggedIn: break;
        }
        ui_.SetEnabled("CreateTicket", false);
        ui_.SetEnabled("CloseSession", true);
        EnableOperations();
        ui_.SetStatus(client::LoggedInLine(login.user));
    });
}

void TesterCore::CloseSession()
{
    ReportErrorsOn("CloseSession", false, [&] {
        pipeline_.LogOut(Carrier(), client::AtLogout::ReleaseHandler);
        ui_.SetEnabled("CloseSession", false);
        ui_.SetText("UserKey", "");
        ui_.SetText(tool_.passwordBox, "");
        if (tool_.closeOrder.empty()) {
            for (const Row& row : tool_.rows)
                ui_.SetEnabled(row.button, false);
        } else {
            for (const std::string& button : tool_.closeOrder)
                ui_.SetEnabled(button, false);
        }
        ui_.SetEnabled("CreateTicket", false);
        ui_.SetStatus(client::kLoggedOut);
    });
}

void TesterCore::EnableOperations()
{
    const auto enable = [&](const Row& row) {
        if (IsAdmin(row))
            return;
        ui_.SetEnabled(row.button, false);
        if (session_.catalogPackager && session_.catalogPackager->HasMethod(row.method))
            ui_.SetEnabled(row.button, true);
    };
    if (tool_.enableOrder.empty()) {
        for (const Row& row : tool_.rows)
            enable(row);
    } else {
        for (const std::string& method : tool_.enableOrder)
            if (const Row* row = tool_.RowOfMethod(method))
                enable(*row);
    }
}

void TesterCore::Send(const std::string& button)
{
    if (const Row* row = tool_.RowOfButton(button))
        ReportErrorsOn(row->method, true, [&] { AuthenticatedCall(*row); });
}

void TesterCore::Exit()
{
    ui_.Exit();
}

// ---------------------------------------------------------------------------
// The authenticated call

void TesterCore::ShowResult(const std::string& method, const std::string& text)
{
    ui_.ShowMessage(tool_.resultTitlePrefix + method, text, Icon::None);
    ui_.SetText(tool_.resultBox, text);
}

void TesterCore::AuthenticatedCall(const Row& row)
{
    const std::string& m = row.method;
    const catalog::Operation& op = client::CallPipeline::OperationOf(m, row.params.size());
    const bool admin = op.iface == catalog::Interface::Admin;
    if (admin && !session_.loggedIn)
        throw soap::SoapError("there is no session: log in with CreateTicket first (the admin operations use the "
                              "session's token)");
    const std::string& endpoint = admin ? session_.adminServiceURI : session_.serviceURI;

    // FromStartUntilPost: the hourglass from here until the points the rule
    // names, and back to normal when the call ends however it ends (an error
    // page shown with the payloads on leaves no hourglass behind).
    const bool fromStart = row.hourglass == Hourglass::FromStartUntilPost;
    std::optional<client::WaitCursor> hourglass;
    if (fromStart)
        hourglass.emplace(ui_);
    soap::Transport transport(http_);

    // The values, the slots, the token (which a row's hooks may see and
    // replace), and what the request carries.
    CallContext ctx(ui_, pipeline_.tokens(), session_, row);
    ctx.values = client::CallPipeline::TakeValues(row.params, ui_);
    if (row.beforeToken)
        row.beforeToken(ctx);
    const std::vector<client::Slot> slots = client::CallPipeline::SlotsOf(op, ctx.values);
    pipeline_.BuildToken(m, slots);
    if (row.afterToken)
        row.afterToken(ctx);
    const soap::ComposedRequest composed =
        client::ComposeCall(admin ? session_.adminDescriptionText : session_.descriptionText, m, session_.tokenText,
                            pipeline_.Sent(row.params, slots, ui_));
    const std::string& request = composed.payload;
    if (row.headers == Headers::BytesAtOnce)
        transport.AddStandardHeaders(endpoint, m, 2 * request.size(), composed.soapAction);
    const bool show = ui_.Checked("chkShowPackets");
    if (show)
        ui_.ShowMessage(kClientToServer + m + ")", request, Icon::None);
    ui_.SetText(tool_.requestBox, request);
    session_.tokenText.clear();

    if (row.headers == Headers::CharactersBeforePost)
        transport.AddStandardHeaders(endpoint, m, request.size(), composed.soapAction);
    std::string reply;
    client::CallOutcome outcome{.method = m};
    if (fromStart) {
        if (!show)
            hourglass->Restore();
        reply = Post(m, endpoint, request, transport, outcome.elapsedMs);
    } else {
        client::WaitCursor wait(ui_);
        reply = Post(m, endpoint, request, transport, outcome.elapsedMs);
    }
    outcome.httpStatus = transport.lastStatus();

    const auto errorPage = [&] {
        if (!IsErrorPage(reply))
            return false;
        ui_.SetStatus(client::ErrorPageLine(outcome, client::Characters(reply)));
        ui_.ShowMessage(kErrorPage, reply, Icon::None);
        return true;
    };
    if (tool_.replyOrder == ReplyOrder::TestFirst && errorPage())
        return;
    if (show)
        ui_.ShowMessage(kServerToClient + m + ")", soap::XmlTextForDisplay(reply), Icon::None);
    if (tool_.replyOrder == ReplyOrder::TestAfterPayload && errorPage())
        return;
    // A reply in another encoding than UTF-8 is shown as the text it is.
    ui_.SetText(tool_.responseBox, soap::XmlTextForDisplay(reply));
    if (hourglass)
        hourglass->Restore();
    if (reply.empty()) {
        ui_.SetStatus(client::EmptyReplyLine(outcome));
        return;
    }

    const client::CallReply values = client::ReadCallReply(reply);
    session_.tokenText = values.token;
    outcome.resultCharacters = client::Characters(values.result);

    // The validation and the read-back as the row's rule says; what the tool
    // does not show (the verdict, the decoding, a cut) goes to the status line.
    const client::ReplyRead read = pipeline_.ReadReply(row.reply, m, values.result, outcome);
    if (read.ended) {
        ui_.SetStatus(client::NoReplyTokenLine(outcome));
        return;
    }
    if (read.show)
        ShowResult(m, read.shown);
    last_.result = read.whole;
    last_.tokens = pipeline_.trace();
    ui_.ShowExchange(last_);
    ui_.SetStatus(client::CallLine(outcome));
}

}  // namespace tessel::tester
