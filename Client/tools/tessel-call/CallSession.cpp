#include "CallSession.h"

#include <algorithm>
#include <chrono>
#include <set>

#include "Client/Masking.h"
#include "Client/SessionMessages.h"
#include "Client/StatusLines.h"
#include "Soap/Packager.h"
#include "Soap/SoapError.h"
#include "Soap/Transport.h"

namespace tessel::call {

namespace {

std::string Joined(const std::vector<std::string>& names)
{
    std::string s;
    for (const std::string& n : names)
        s += (s.empty() ? "" : ", ") + n;
    return s;
}

}  // namespace

int CallReport::exitStatus() const
{
    switch (outcome) {
    case Outcome::Result: return verdict == 0 ? kExitResult : kExitTokenRejected;
    case Outcome::Fault:
    case Outcome::ErrorPage: return kExitFault;
    case Outcome::Transport: return kExitTransport;
    case Outcome::NotSent: return kExitUsage;
    }
    return kExitTransport;
}

std::string CallReport::Problem() const
{
    if (outcome == Outcome::Fault || outcome == Outcome::ErrorPage) {
        std::string text = faultString;
        if (!faultDetail.empty())
            text += "\n" + faultDetail;
        return text;
    }
    return error;
}

std::string DescribeParameters(const std::string& operation, const std::vector<std::string>& names)
{
    return names.empty() ? operation + " takes no parameters" : operation + " takes " + Joined(names);
}

std::vector<client::Slot> OrderParameters(const std::string& operation, const std::vector<std::string>& names,
                                          const std::vector<std::pair<std::string, std::string>>& given)
{
    const auto fail = [&](const std::string& why) {
        throw CallError(kExitUsage, why + "; " + DescribeParameters(operation, names));
    };
    std::set<std::string> seen;
    for (const auto& [name, value] : given) {
        if (std::find(names.begin(), names.end(), name) == names.end())
            fail("\"" + name + "\" is not a parameter of " + operation);
        if (!seen.insert(name).second)
            fail(name + " is given twice");
    }
    std::vector<client::Slot> slots;
    std::vector<std::string> missing;
    for (const std::string& name : names) {
        const auto it = std::find_if(given.begin(), given.end(), [&](const auto& g) { return g.first == name; });
        if (it == given.end())
            missing.push_back(name);
        else
            slots.emplace_back(name, it->second);
    }
    if (!missing.empty())
        fail((missing.size() == 1 ? "missing parameter " : "missing parameters ") + Joined(missing));
    return slots;
}

Interface InterfaceOf(const std::string& operation, bool admin)
{
    if (admin)
        return Interface::Admin;
    const catalog::Operation* op = catalog::Find(operation);
    return op ? op->iface : Interface::Main;
}

std::string AdminUriBeside(const std::string& mainUri)
{
    const std::size_t end = std::min(mainUri.find_first_of("?#"), mainUri.size());
    const std::size_t slash = mainUri.rfind('/', end == 0 ? 0 : end - 1);
    const std::size_t segment = slash == std::string::npos ? 0 : slash + 1;
    std::size_t dot = mainUri.rfind('.', end == 0 ? 0 : end - 1);
    if (dot == std::string::npos || dot < segment)
        dot = end;
    return mainUri.substr(0, dot) + "Admin" + mainUri.substr(dot);
}

CallSession::CallSession(client::TokenLibrary& library, Tracer tracer)
    : tracer_(std::move(tracer)), pipeline_(library, state_)
{
    // The transport's defaults; the session's exchanges share their connections.
    http_.connections = std::make_shared<soap::ConnectionPool>();
}

CallSession::~CallSession()
{
    if (state_.handlerHeld) {
        try {
            pipeline_.tokens().Release(state_.tokenHandler);
        } catch (const std::exception&) {
            // the library is loaded once a handle exists; nothing is left to release otherwise
        }
    }
}

void CallSession::Load(Interface iface, const std::string& uri)
{
    soap::Packager packager;
    soap::HttpOptions options = http_;  // and the import origins allowed besides the description's
    options.importOrigins = soap::HttpOptions::FromEnvironment().importOrigins;
    options.importOrigins.insert(options.importOrigins.end(), importOrigins_.begin(), importOrigins_.end());
    packager.SetHttpOptions(options);
    try {
        if (!packager.LoadServicesDescription(1, uri))
            throw CallError(kExitTransport, "cannot use the service description " + uri + ": " + packager.LastError());
        Description d;
        d.uri = uri;
        d.text = packager.GetDescriptionText();
        d.endpoint = soap::ServiceEndpoint(packager);
        for (const soap::OperationDescription& op : packager.description()->operations) {
            const std::vector<soap::MessagePart>& in = op.inputParts;
            if (in.size() < 2 || in.front().name != catalog::kRequestToken || in.back().name != catalog::kReplyToken)
                continue;  // a session message, or an operation that carries no token
            std::vector<std::string> own;
            for (std::size_t i = 1; i + 1 < in.size(); ++i)
                own.push_back(in[i].name);
            d.operations.emplace_back(op.name, std::move(own));
        }
        descriptions_[iface] = std::move(d);
    } catch (const soap::SoapError& e) {
        throw CallError(kExitTransport, "cannot use the service description " + uri + ": " + e.what());
    }
}

const CallSession::Description& CallSession::Get(Interface iface) const
{
    const auto it = descriptions_.find(iface);
    if (it == descriptions_.end())
        throw CallError(kExitTransport, std::string("the ") + (iface == Interface::Admin ? "admin" : "main") +
                                            " service description is not loaded");
    return it->second;
}

std::vector<std::pair<std::string, std::vector<std::string>>> CallSession::Operations(Interface iface) const
{
    return Get(iface).operations;
}

std::vector<std::string> CallSession::Parameters(Interface iface, const std::string& operation) const
{
    const Description& d = Get(iface);
    for (const auto& [name, params] : d.operations)
        if (name == operation)
            return params;
    std::string why = "the service description " + d.uri + " has no operation " + operation;
    soap::Packager packager;
    if (packager.LoadServicesDescription(2, d.text) && packager.HasMethod(operation))
        why = operation + " in " + d.uri + " carries no token (its request does not begin with \"user\" and end "
                                           "with \"reskey\")";
    if (catalog::FindSessionMessage(operation))
        why += "; " + operation + " is a session message, which tessel-call sends itself";
    else if (const catalog::Operation* op = catalog::Find(operation); op && op->iface == Interface::Main &&
                                                                      iface == Interface::Admin)
        why += "; it is an operation of the main interface: leave out --admin";
    throw CallError(kExitTransport, why);
}

std::string CallSession::Masked(std::string text) const
{
    return client::Masked(std::move(text), password_);
}

std::string CallSession::Post(const Description& d, const std::string& method, const std::vector<client::Slot>& params,
                              const std::vector<client::Slot>& shown)
{
    std::string shownRequest;
    try {
        const soap::ComposedRequest request = soap::ComposeRequest(d.text, method, params);
        shownRequest = shown == params ? request.payload : soap::ComposeRequest(d.text, method, shown).payload;
        soap::Transport transport(http_);
        transport.AddStandardHeaders(d.endpoint, method, request.payload.size(), request.soapAction);
        std::string reply = transport.PostToURI(d.endpoint, request.payload);
        // A server may echo the credential in its CreateTicket reply; it is masked there too.
        if (tracer_)
            tracer_(client::Recorded(method, d.endpoint, shownRequest, &transport.lastReply(),
                                     method == "CreateTicket" ? Masked(reply) : reply));
        return reply;
    } catch (const soap::SoapError& e) {
        Exchange ex = client::Recorded(method, d.endpoint, shownRequest, nullptr, {});
        ex.error = Masked(e.what());
        if (tracer_)
            tracer_(ex);
        throw CallError(kExitTransport, method + ": " + ex.error);
    }
}

std::optional<std::vector<std::string>> CallSession::SessionMessage(const std::string& message,
                                                                    const std::vector<client::Slot>& params,
                                                                    const std::vector<std::string>& wanted)
{
    std::vector<client::Slot> shown = params;
    if (message == "CreateTicket")
        shown.at(3).second = kPasswordMask;  // the credential
    const std::string reply = Post(Get(Interface::Main), message, params, shown);
    std::vector<std::string> values;
    for (const std::string& name : wanted)
        values.push_back(SessionValue(message, reply, name));
    return values;
}

std::string CallSession::SessionValue(const std::string& method, const std::string& reply,
                                      const std::string& name) const
{
    soap::Packager packager;
    packager.SetPayload(soap::kResponsePayload, reply);
    try {
        return packager.GetParameter(soap::kResponsePayload, name);
    } catch (const soap::SoapFault& f) {
        throw CallError(kExitFault, Masked(client::LoginFault(method, f.faultString(), f.detail())));
    } catch (const soap::SoapError& e) {
        const int status = soap::LooksLikeHtml(reply) ? kExitFault : kExitTransport;
        throw CallError(status, Masked(client::LoginReplyUnreadable(method, e.what())));
    }
}

void CallSession::LogIn(const LoginValues& login)
{
    Get(Interface::Main);  // loaded, or a failure that says it is not
    password_ = login.password;
    const auto carrier = [this](const std::string& m, const std::vector<client::Slot>& p,
                                const std::vector<std::string>& w) { return SessionMessage(m, p, w); };
    client::LoginEnd end = client::LoginEnd::Stopped;
    try {
        end = pipeline_.LogIn(carrier, login, client::EmptyTicket::EndsLogin);
    } catch (const client::TokenLibraryError& e) {
        throw CallError(kExitTransport, e.what());
    }
    switch (end) {
    case client::LoginEnd::LoggedIn: return;
    case client::LoginEnd::NoTicket: throw CallError(kExitFault, client::NoTicketFor(login.user));
    case client::LoginEnd::NoSessionKey: throw CallError(kExitFault, client::kNoSessionKey);
    case client::LoginEnd::Stopped: break;
    }
    throw CallError(kExitFault, client::kNoSession);
}

CallReport CallSession::Call(Interface iface, const std::string& operation, const std::vector<client::Slot>& params)
{
    CallReport r;
    r.operation = operation;
    const auto start = std::chrono::steady_clock::now();
    bool built = false;
    const auto stop = [&] {
        r.elapsedMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        if (built) {
            r.tokens = pipeline_.trace();
            if (onCall_)
                onCall_(r);
        }
        return r;
    };
    if (!state_.loggedIn) {
        r.error = client::kNoSession;
        return stop();
    }
    const Description* d = nullptr;
    try {
        d = &Get(iface);
        pipeline_.BuildToken(operation, params);
        built = true;
        soap::ComposedRequest request;
        try {
            request = client::ComposeCall(d->text, operation, state_.tokenText, params);
        } catch (const soap::SoapError& e) {
            r.outcome = Outcome::NotSent;
            r.error = client::RequestNotBuilt(e.what());
            return stop();
        }
        r.request = std::move(request.payload);
        soap::Transport transport(http_);
        transport.AddStandardHeaders(d->endpoint, operation, r.request.size(), request.soapAction);
        r.reply = transport.PostToURI(d->endpoint, r.request);
        r.httpStatus = transport.lastStatus();
        if (tracer_)
            tracer_(client::Recorded(operation, d->endpoint, r.request, &transport.lastReply(), r.reply));
    } catch (const std::exception& e) {
        r.error = e.what();
        if (tracer_ && d) {
            Exchange ex = client::Recorded(operation, d->endpoint, r.request, nullptr, {});
            ex.error = r.error;
            tracer_(ex);
        }
        return stop();
    }

    if (r.reply.empty()) {
        r.error = client::EmptyReply(r.httpStatus);
        return stop();
    }
    client::CallReply reply;
    try {
        reply = client::ReadCallReply(r.reply);
    } catch (const soap::SoapFault& f) {
        r.outcome = Outcome::Fault;
        r.faultCode = f.faultCode();
        r.faultString = f.faultString();
        r.faultDetail = f.detail();
        return stop();
    } catch (const soap::SoapError& e) {
        if (soap::LooksLikeHtml(r.reply)) {
            r.outcome = Outcome::ErrorPage;
            r.faultString = e.what();
        } else {
            r.error = client::ReplyUnreadable(e.what());
        }
        return stop();
    }
    try {
        state_.tokenText = std::move(reply.token);
        client::CallOutcome outcome{.method = operation};
        client::ReplyRead read = pipeline_.ReadReply(client::Reply::Whole, operation, reply.result, outcome);
        r.verdict = outcome.verdict;
        r.failedCheck = outcome.failedCheck;
        r.kind = outcome.kind;
        r.result = std::move(read.shown);
    } catch (const std::exception& e) {
        r.error = e.what();
        return stop();
    }
    r.outcome = Outcome::Result;
    return stop();
}

std::string CallSession::LogOut()
{
    std::string problem;
    if (state_.loggedIn) {
        try {
            pipeline_.LogOut([this](const std::string& m, const std::vector<client::Slot>& p,
                                    const std::vector<std::string>& w) { return SessionMessage(m, p, w); },
                             client::AtLogout::KeepHandler);
        } catch (const CallError& e) {
            problem = e.what();
        }
        state_.loggedIn = false;
    }
    if (state_.handlerHeld) {
        pipeline_.tokens().Release(state_.tokenHandler);
        state_.handlerHeld = false;
    }
    return problem;
}

}  // namespace tessel::call
