#include "Tester2/Soap2Core.h"

#include <algorithm>
#include <stdexcept>

#include "Catalog/Catalog.h"
#include "Client/StatusLines.h"
#include "Client/TextRules.h"
#include "Soap/SoapError.h"
#include "Soap/Xml.h"

#include <chrono>

namespace tessel::tester2 {

namespace {

constexpr char kConnectionTitle[] = "Error on Connection";
constexpr char kLoginTitle[] = "Error on CreateTicket";
constexpr char kTicketTitle[] = "AuthResult";
// CreateTicket's fifth argument, by reference: what comes back is not used.
constexpr std::size_t kFullPrincipalLength = 50;

// Whether a session message's argument goes by reference: all but the first
// (the service, or the authority and what follows it up to the password).
bool ByReference(const std::string& message, std::size_t index)
{
    if (message == "CreateTicket")
        return index == 4;
    if (message == "OpenSession")
        return index >= 1;
    return true;
}

// The three test servers: the local service first.
constexpr char kFirstHost[] = "localhost";
constexpr char kSecondHost[] = "tessel2.example.test";
constexpr char kThirdHost[] = "tessel3.example.test";

// What the failure boxes say when no client object could be made.
std::string NoClientText(const std::string& reason)
{
    return "No SOAP client object could be made (" + reason + ").";
}

}  // namespace

const std::vector<std::string>& DefaultDescriptionUrls()
{
    static const std::vector<std::string> urls = [] {
        const auto url = [](const char* host, bool port8080, const char* path) {
            return std::string("http://") + host + (port8080 ? ":8080" : "") + path;
        };
        constexpr char core[] = "/TesselService/TesselServiceCore.wsdl";
        constexpr char admin[] = "/TesselService/TesselServiceCoreAdmin.wsdl";
        constexpr char core2[] = "/TesselService2/TesselServiceCore.wsdl";
        return std::vector<std::string>{
            url(kFirstHost, false, core),   url(kFirstHost, true, core),   url(kFirstHost, false, admin),
            url(kFirstHost, true, admin),   url(kFirstHost, false, core2), url(kFirstHost, true, core2),
            url(kSecondHost, false, core),  url(kSecondHost, true, core),  url(kThirdHost, false, core),
            url(kThirdHost, true, core),    url(kThirdHost, false, admin), url(kThirdHost, true, admin),
        };
    }();
    return urls;
}

Soap2Core::Soap2Core(const Soap2ToolDefinition& tool, ToolUi& ui, client::TokenLibrary& library,
                     ClientFactory makeClient)
    : tool_(tool), ui_(ui), makeClient_(std::move(makeClient)), pipeline_(library, session_),
      http_(soap::HttpOptions::FromEnvironment())
{
    http_.cancel = &cancel_;
    http_.connections = std::make_shared<soap::ConnectionPool>();  // the session's exchanges share connections
    if (!makeClient_)
        makeClient_ = [this] { return std::make_unique<soap::Soap2Client>(http_); };
}

void Soap2Core::Start()
{
    session_.lastDescriptionURL.clear();
    ui_.SetCaption(tool_.caption);
    ui_.SetText(kWsdlBox, DefaultDescriptionUrls().front());
    ui_.SetText(kUserNameBox, "");
    ui_.SetText(kPasswordBox, "");
    ui_.SetText(kAuthorityBox, kDefaultAuthority);
    ui_.SetText(kRealmBox, kDefaultRealm);
    ui_.SetText(kServiceBox, kDefaultService);
    ui_.SetText(kResultBox, kDefaultResult);
    for (const Box& box : tool_.boxes)
        ui_.SetText(box.name, box.text);
    ui_.SetEnabled(kCreateTicketButton, false);
    ui_.SetEnabled(kCloseSessionButton, false);
    SetOperationsEnabled(false);
    ui_.SetEnabled(kConnectButton, true);
}

void Soap2Core::SetOperationsEnabled(bool enabled)
{
    for (const Row& row : tool_.rows)
        ui_.SetEnabled(row.button, enabled);
}

// ---------------------------------------------------------------------------
// The failure policy

Outcome Soap2Core::Trapped(const FailureBox& box, client::WaitCursor& wait, const std::function<void()>& step)
{
    Outcome outcome = Outcome::Failed;
    std::string text;
    try {
        step();
        return Outcome::Completed;
    } catch (const soap::SoapError& e) {
        // The client object's failures: it keeps their fault string and detail.
        if (const auto* fault = dynamic_cast<const soap::SoapFault*>(&e)) {
            outcome = Outcome::Fault;
            ui_.SetStatus(client::FaultLine(fault->faultString(), fault->faultCode()));
        }
        // A server's fault is shown as it came, an empty detail too (its fault
        // string is on the status line); the client's own failures always say something.
        if (const soap::Soap2Client* client = session_.soapClient.get()) {
            text = box.text == Shown::FaultDetail ? client->FaultDetail() : client->FaultString();
            if (text.empty() && outcome != Outcome::Fault)
                text = client->FaultString();
        }
        if (text.empty() && outcome != Outcome::Fault)
            text = e.what();
    } catch (const std::exception& e) {
        text = e.what();  // the token library, a text rule, or no client object at all
    } catch (...) {
        text = "The step failed for a reason nobody reported.";
    }
    if (outcome != Outcome::Fault) {
        const soap::Soap2Client* made = session_.soapClient.get();
        const bool unreached = box.hintWhenUnreached && made && made->unreached();
        ui_.SetStatus(client::FailureLine(box.title, text) + (unreached ? client::kLocalServiceHint : ""));
    }
    if (!box.pointerAfterBox)
        wait.Restore();
    ui_.ShowMessage(box.title, text, Icon::Exclamation);
    if (box.intoResultBox)
        ui_.SetText(kResultBox, text);
    wait.Restore();
    return outcome;
}

Soap2Core::FailureBox Soap2Core::SessionFailure(std::string title, Shown text, bool intoResultBox) const
{
    return {std::move(title), text, intoResultBox, tool_.sessionFailurePointer == SessionFailurePointer::AfterBox};
}

// ---------------------------------------------------------------------------
// The connection

bool Soap2Core::EnsureClient(client::WaitCursor& wait)
{
    const std::string url = ui_.Text(kWsdlBox);
    // The same URL: nothing is done, also when a failed check left an
    // uninitialised client behind (the next call on it fails and says so) or
    // none was made yet (an empty box at start).
    if (url == session_.lastDescriptionURL)
        return true;
    FailureBox box{kConnectionTitle};
    box.hintWhenUnreached = true;
    return Trapped(box, wait, [&] {
        session_.soapClient.reset();
        noClientReason_.clear();
        try {
            session_.soapClient = makeClient_();
        } catch (const std::exception& e) {
            noClientReason_ = e.what();
        }
        if (!session_.soapClient) {
            if (noClientReason_.empty())
                noClientReason_ = "no SOAP client is available";
            throw std::runtime_error(NoClientText(noClientReason_));
        }
        soap::Soap2Client& client = *session_.soapClient;
        cancel_ = false;
        ui_.Wait(client::HostOf(url), [&] { client.Initialize(url, "", "", ""); }, cancel_);
        session_.lastDescriptionURL = url;
        ui_.SetStatus(client::ConnectedLine(client.Endpoint(), client.description()->operations.size()));
    }) == Outcome::Completed;
}

soap::Soap2Client& Soap2Core::Client()
{
    if (!session_.soapClient)
        throw std::runtime_error(noClientReason_.empty()
                                     ? "There is no SOAP client object: connect to a service description first."
                                     : NoClientText(noClientReason_));
    return *session_.soapClient;
}

void Soap2Core::Connect()
{
    client::WaitCursor wait(ui_);
    if (EnsureClient(wait))
        ui_.SetEnabled(kCreateTicketButton, true);
}

// ---------------------------------------------------------------------------
// Login and logout

std::optional<std::vector<std::string>> Soap2Core::SessionMessage(const std::string& message,
                                                                  const std::vector<client::Slot>& params,
                                                                  const std::vector<std::string>& wanted)
{
    soap::Soap2Client& client = Client();
    std::vector<soap::Soap2Arg> args;
    for (std::size_t i = 0; i < params.size(); ++i)
        args.push_back({params[i].second, ByReference(message, i)});
    if (message == "CreateTicket")
        args.back().value.assign(kFullPrincipalLength, '\0');
    if (message == "OpenSession") {
        // The variables passed by reference still hold the previous login's key and verifier.
        args.at(4).value = session_.sessionKey;
        args.at(5).value = session_.verifier;
    }
    std::string result;
    Exchange(message, [&] { result = client.Call(message, args); });
    std::vector<std::string> values;
    for (const std::string& name : wanted) {
        if (name == catalog::kResult) {
            values.push_back(result);
            continue;
        }
        const auto at = std::find_if(params.begin(), params.end(), [&](const client::Slot& p) { return p.first == name; });
        if (at == params.end())
            throw std::logic_error("the session message " + message + " has no parameter " + name);
        values.push_back(args.at(static_cast<std::size_t>(at - params.begin())).value);
    }
    if (message == "CreateTicket")
        ui_.ShowMessage(kTicketTitle, result, Icon::None);
    return values;
}

client::SessionCarrier Soap2Core::Carrier()
{
    return [this](const std::string& m, const std::vector<client::Slot>& p, const std::vector<std::string>& w) {
        return SessionMessage(m, p, w);
    };
}

void Soap2Core::CreateTicket()
{
    client::WaitCursor wait(ui_);
    EnsureClient(wait);
    Trapped(SessionFailure(kLoginTitle, Shown::FaultDetail, true), wait, [&] {
        const client::LoginValues login{.authority = ui_.Text(kAuthorityBox),
                                        .realm = ui_.Text(kRealmBox),
                                        .user = ui_.Text(kUserNameBox),
                                        .password = ui_.Text(kPasswordBox),
                                        .service = ui_.Text(kServiceBox)};
        // The ticket is not tested: an empty one goes to OpenSession like any other.
        if (pipeline_.LogIn(Carrier(), login, client::EmptyTicket::GoesOn) == client::LoginEnd::NoSessionKey) {
            ui_.SetStatus(client::kLoginEnded);
            return;  // no session: the buttons keep their state
        }
        ui_.SetEnabled(kCreateTicketButton, false);
        ui_.SetEnabled(kCloseSessionButton, true);
        SetOperationsEnabled(true);
        ui_.SetStatus(client::LoggedInLine(login.user));
    });
}

void Soap2Core::CloseSession()
{
    client::WaitCursor wait(ui_);
    EnsureClient(wait);
    Trapped(SessionFailure(tool_.program, Shown::FaultString, false), wait, [&] {
        pipeline_.LogOut(Carrier(), client::AtLogout::KeepHandler);
        ui_.SetEnabled(kCreateTicketButton, false);
        ui_.SetEnabled(kCloseSessionButton, false);
        SetOperationsEnabled(false);
        session_.lastDescriptionURL.clear();
        ui_.SetText(kUserNameBox, "");
        ui_.SetText(kPasswordBox, "");
        ui_.SetStatus(client::kLoggedOut);
    });
}

// ---------------------------------------------------------------------------
// The authenticated call

Outcome Soap2Core::Send(const std::string& button)
{
    const Row* row = tool_.RowOfButton(button);
    if (!row)
        return Outcome::Failed;
    client::WaitCursor wait(ui_);
    EnsureClient(wait);
    return Trapped({row->titles.error}, wait, [&] { AuthenticatedCall(*row, wait); });
}

void Soap2Core::AuthenticatedCall(const Row& row, client::WaitCursor& wait)
{
    const std::string& m = row.method;
    const catalog::Operation& op = client::CallPipeline::OperationOf(m, row.params.size());
    const std::vector<client::Slot> slots =
        client::CallPipeline::SlotsOf(op, client::CallPipeline::TakeValues(row.params, ui_));
    pipeline_.BuildToken(m, slots);

    // The token first, by reference; the parameters by value; last the
    // argument the server's token is written back into.
    std::vector<soap::Soap2Arg> args{{session_.tokenText, true}};
    for (client::Slot& sent : pipeline_.Sent(row.params, slots, ui_))
        args.push_back({std::move(sent.second)});
    args.push_back({"", true});
    soap::Soap2Client& client = Client();
    client::CallOutcome outcome{.method = m};
    outcome.elapsedMs = Exchange(m, [&] { session_.resultText = client.Call(m, args); });
    outcome.httpStatus = client.LastReply().status;
    outcome.resultCharacters = client::Characters(session_.resultText);

    wait.Restore();
    ui_.ShowMessage(row.titles.result, session_.resultText, Icon::None);
    session_.tokenText = args.back().value;
    const client::ReplyRead read = pipeline_.ReadReply(client::Reply::AtLeastOneMiB, m, session_.resultText, outcome);
    ui_.ShowMessage(row.titles.reply, read.shown, Icon::None);
    ui_.SetText(kResultBox, read.shown);

    // What the tool does not show (the verdict, the decoding, a cut) goes to
    // the status line, and the whole decoded result to the view.
    last_.result = read.whole;
    last_.tokens = pipeline_.trace();
    ui_.ShowExchange(last_);
    ui_.SetStatus(client::CallLine(outcome));
}

long long Soap2Core::Exchange(const std::string& method, const std::function<void()>& call)
{
    soap::Soap2Client& client = Client();
    cancel_ = false;
    const auto started = std::chrono::steady_clock::now();
    const auto record = [&] {
        // the view shows the login's password masked
        last_ = client::Recorded(method, client.Endpoint(), client.LastRequest(), &client.LastReply(),
                                 client.LastReply().body, ui_.Text(kPasswordBox));
        client::AddPrettyForms(last_);
        if (catalog::Find(method))
            last_.tokens = pipeline_.trace();  // the view decodes the request's token also when a fault came
        ui_.ShowExchange(last_);
    };
    try {
        ui_.Wait(client::HostOf(client.Endpoint()), call, cancel_);
    } catch (...) {
        record();
        throw;
    }
    record();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count();
}

}  // namespace tessel::tester2
