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

CallSession::CallSession(client::TokenLibrary& library, Tracer tracer) : tokens_(library), tracer_(std::move(tracer))
{
    // The transport's defaults; the session's exchanges share their connections.
    http_.connections = std::make_shared<soap::ConnectionPool>();
}

CallSession::~CallSession()
{
    if (handle_) {
        try {
            tokens_.Release(*handle_);
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
    Exchange ex;
    ex.method = method;
    ex.endpoint = d.endpoint;
    try {
        const soap::ComposedRequest request = soap::ComposeRequest(d.text, method, params);
        ex.request = shown == params ? request.payload : soap::ComposeRequest(d.text, method, shown).payload;
        soap::Transport transport(http_);
        transport.AddStandardHeaders(d.endpoint, method, request.payload.size(), request.soapAction);
        ex.reply = transport.PostToURI(d.endpoint, request.payload);
        ex.status = transport.lastStatus();
    } catch (const soap::SoapError& e) {
        ex.error = Masked(e.what());
        if (tracer_)
            tracer_(ex);
        throw CallError(kExitTransport, method + ": " + ex.error);
    }
    if (tracer_) {
        // A server may echo the credential in its CreateTicket reply; it is masked there too.
        Exchange traced = ex;
        if (method == "CreateTicket")
            traced.reply = Masked(traced.reply);
        tracer_(traced);
    }
    return ex.reply;
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
    const Description& main = Get(Interface::Main);
    password_ = login.password;
    const std::vector<std::string> values = {login.authority, login.realm, login.user, login.password, ""};
    std::vector<std::string> shown = values;
    shown[3] = kPasswordMask;
    const std::string ticketReply = Post(main, "CreateTicket", client::SessionParams("CreateTicket", values),
                                         client::SessionParams("CreateTicket", shown));
    const std::string ticket = SessionValue("CreateTicket", ticketReply, catalog::kResult);
    if (ticket.empty())
        throw CallError(kExitFault, client::NoTicketFor(login.user));

    const client::TokenSession::Setup setup = [&] {
        try {
            return tokens_.Acquire();
        } catch (const client::TokenLibraryError& e) {
            throw CallError(kExitTransport, e.what());
        }
    }();
    handle_ = setup.handle;
    const std::vector<client::Slot> open =
        client::SessionParams("OpenSession", {login.service, ticket, setup.scheme, setup.seed, "", ""});
    const std::string openReply = Post(main, "OpenSession", open, open);
    sessionKey_ = SessionValue("OpenSession", openReply, "sessionKey");
    verifier_ = SessionValue("OpenSession", openReply, "verifier");
    if (sessionKey_.empty())
        throw CallError(kExitFault, client::kNoSessionKey);
    tokens_.SetSessionItems(setup.handle, sessionKey_, verifier_);
    loggedIn_ = true;
}

CallReport CallSession::Call(Interface iface, const std::string& operation, const std::vector<client::Slot>& params)
{
    CallReport r;
    r.operation = operation;
    const auto start = std::chrono::steady_clock::now();
    const auto stop = [&] {
        r.elapsedMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        return r;
    };
    if (!handle_ || !loggedIn_) {
        r.error = client::kNoSession;
        return stop();
    }
    const std::int32_t h = *handle_;
    Exchange ex;
    try {
        const Description& d = Get(iface);
        ex.method = operation;
        ex.endpoint = d.endpoint;
        const std::string token = tokens_.RequestToken(h, operation, params).text;
        std::vector<client::Slot> all = {{catalog::kRequestToken, token}};
        all.insert(all.end(), params.begin(), params.end());
        all.emplace_back(catalog::kReplyToken, "");
        soap::ComposedRequest request;
        try {
            request = soap::ComposeRequest(d.text, operation, all);
        } catch (const soap::SoapError& e) {
            r.outcome = Outcome::NotSent;
            r.error = client::RequestNotBuilt(e.what());
            return stop();
        }
        r.request = ex.request = request.payload;
        soap::Transport transport(http_);
        transport.AddStandardHeaders(d.endpoint, operation, request.payload.size(), request.soapAction);
        r.reply = ex.reply = transport.PostToURI(d.endpoint, request.payload);
        r.httpStatus = ex.status = transport.lastStatus();
    } catch (const std::exception& e) {
        r.error = ex.error = e.what();
        if (tracer_ && !ex.method.empty())
            tracer_(ex);
        return stop();
    }
    if (tracer_)
        tracer_(ex);

    if (r.reply.empty()) {
        r.error = client::EmptyReply(r.httpStatus);
        return stop();
    }
    std::string result, replyToken;
    try {
        soap::Packager packager;
        packager.SetPayload(soap::kResponsePayload, r.reply);
        result = packager.GetParameter(soap::kResponsePayload, catalog::kResult);
        replyToken = packager.GetParameter(soap::kResponsePayload, catalog::kReplyToken);
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
        r.verdict = tokens_.ValidateReply(h, operation, result, replyToken);
        const client::SlotOut slot = tokens_.ReadWhole(h, 1, result.size());
        r.result = slot.text;
        r.kind = slot.kind;
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
    if (loggedIn_) {
        try {
            Post(Get(Interface::Main), "CloseSession",
                 client::SessionParams("CloseSession", {sessionKey_, verifier_}),
                 client::SessionParams("CloseSession", {sessionKey_, verifier_}));
        } catch (const CallError& e) {
            problem = e.what();
        }
        loggedIn_ = false;
    }
    if (handle_) {
        tokens_.Release(*handle_);
        handle_.reset();
    }
    return problem;
}

}  // namespace tessel::call
