#include "Service.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <optional>
#include <random>

#include "Soap/Packager.h"
#include "Soap/SoapError.h"

namespace tessel::server {

namespace {

std::string RandomHex(std::size_t bytes)
{
    static thread_local std::random_device device;
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string s;
    for (std::size_t i = 0; i < bytes; ++i) {
        const unsigned v = device() & 0xFF;
        s += digits[v >> 4];
        s += digits[v & 15];
    }
    return s;
}

HttpAnswer Fault(const std::string& code, const std::string& string, const std::string& detail)
{
    return HttpAnswer{500, "text/xml; charset=utf-8", soap::BuildFault(code, string, detail)};
}

// How many of a request's parameters the log lists.
constexpr std::size_t kLoggedParameters = 64;

std::string Encoding(std::uint32_t kind)
{
    return kind == TOKEN_DATA_COMPRESSED ? "compressed" : kind == TOKEN_DATA_ENCRYPTED ? "encrypted" : "plain";
}

}  // namespace

std::pair<std::string, std::size_t> CutText(const std::string& text, std::size_t max)
{
    std::size_t characters = 0, end = text.size();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80)
            continue;  // inside a character
        if (characters++ == max)
            end = i;
    }
    return {text.substr(0, end), characters};
}

bool IsSecretParameter(const std::string& name)
{
    std::string lower;
    for (const char c : name)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower.find("credential") != std::string::npos || lower.find("password") != std::string::npos;
}

std::string HtmlPage(int status, const std::string& title, const std::string& text)
{
    return "<html><head><title>" + std::to_string(status) + " " + title + "</title></head><body><h1>" +
           std::to_string(status) + " " + title + "</h1><p>" + XmlEscape(text) + "</p></body></html>";
}

Service::Service(ServiceOptions options)
    : options_(std::move(options)), store_([&] {
          std::vector<std::string> names;
          for (const auto& [user, password] : options_.users)
              names.push_back(user);
          return names;
      }(), options_.storeLimit),
      logins_({options_.ticketTtlSeconds, options_.sessionIdleSeconds, options_.storeLimit, options_.env})
{
    for (const Interface iface : {Interface::Main, Interface::Admin})
        for (const DescriptionStyle style : {DescriptionStyle::RpcEncoded, DescriptionStyle::DocumentLiteral})
            parsed_.emplace(std::pair{static_cast<int>(iface), static_cast<int>(style)},
                            soap::ParseServiceDescription(Description(iface, style, "http://localhost/")));
}

const soap::ServiceDescription& Service::Parsed(Interface iface, DescriptionStyle style) const
{
    return parsed_.at({static_cast<int>(iface), static_cast<int>(style)});
}

HttpAnswer Service::Get(const std::string& path, const std::string& baseUrl)
{
    const auto description = [&](Interface iface, DescriptionStyle style, const char* endpoint) {
        return HttpAnswer{200, "text/xml; charset=utf-8", Description(iface, style, baseUrl + endpoint), {}, true, true};
    };
    const std::string main = kMainDescriptionPath, admin = kAdminDescriptionPath, soap2 = kSoap2DescriptionPath;
    if (path == main + ".xml" || path == main + ".wsdl")
        return description(Interface::Main, DescriptionStyle::RpcEncoded, kMainEndpoint);
    if (path == admin + ".xml" || path == admin + ".wsdl")
        return description(Interface::Admin, DescriptionStyle::RpcEncoded, kAdminEndpoint);
    if (path == soap2 + ".wsdl" || path == soap2 + ".xml")
        return description(Interface::Main, DescriptionStyle::DocumentLiteral, kSoap2Endpoint);
    if (path == kMainEndpoint || path == kAdminEndpoint || path == kSoap2Endpoint)
        return HttpAnswer{405, "text/html; charset=utf-8",
                          HtmlPage(405, "Method Not Allowed", "A SOAP endpoint takes requests by POST."),
                          {{"Allow", "POST"}}};
    if (path == "/")
        return HttpAnswer{200, "text/html; charset=utf-8",
                          "<html><head><title>TesselServiceLocal</title></head><body><h1>TesselServiceLocal</h1><ul>"
                          "<li><a href=\"" + main + ".xml\">" + main + ".xml</a></li>"
                          "<li><a href=\"" + admin + ".xml\">" + admin + ".xml</a></li>"
                          "<li><a href=\"" + soap2 + ".wsdl\">" + soap2 + ".wsdl</a></li></ul></body></html>"};
    return HttpAnswer{404, "text/html; charset=utf-8", HtmlPage(404, "Not Found", "There is nothing at " + path + ".")};
}

HttpAnswer Service::Post(const std::string& path, const std::string& body, const std::string& baseUrl)
{
    const auto handled = [&](Interface iface, DescriptionStyle style) {
        nlohmann::json noted;
        HttpAnswer answer = Handle(iface, style, body, baseUrl, noted);
        answer.logged = std::move(noted);
        return answer;
    };
    if (path == kMainEndpoint)
        return handled(Interface::Main, DescriptionStyle::RpcEncoded);
    if (path == kAdminEndpoint)
        return handled(Interface::Admin, DescriptionStyle::RpcEncoded);
    if (path == kSoap2Endpoint)
        return handled(Interface::Main, DescriptionStyle::DocumentLiteral);
    return HttpAnswer{404, "text/html; charset=utf-8",
                      HtmlPage(404, "Not Found", "No SOAP endpoint at " + path + ".")};
}

void Service::Note(nlohmann::json& noted, const std::string& operation, const Params& params,
                   const std::string& token, const std::string& encoding) const
{
    if (!options_.noteCalls)
        return;
    noted["operation"] = CutText(operation, kLoggedCharacters).first;
    noted["parameters"] = nlohmann::json::array();
    for (std::size_t i = 0; i < params.size() && i < kLoggedParameters; ++i) {
        const std::string name = CutText(params[i].first, kLoggedCharacters).first;
        if (IsSecretParameter(params[i].first)) {
            noted["parameters"].push_back({name, kMasked, std::string(kMasked).size()});
            continue;
        }
        const auto [value, length] = CutText(params[i].second, kLoggedCharacters);
        noted["parameters"].push_back({name, value, length});
    }
    noted["parameterCount"] = params.size();
    noted["token"] = CutText(token, kLoggedCharacters).first;
    noted["encoding"] = encoding;
}

Service::Params Service::SessionReply(const std::string& name, const std::map<std::string, std::string>& a)
{
    if (name == "CreateTicket") {
        for (const auto& [user, password] : options_.users) {
            if (user == a.at("principal") && password == a.at("credential")) {
                const std::string ticket = logins_.IssueTicket(user, "TKT-" + RandomHex(16));
                return {{"result", ticket}, {"fullPrincipal", user + "@" + a.at("realm")}};
            }
        }
        return {{"result", ""}, {"fullPrincipal", ""}};  // wrong credentials: no ticket
    }
    if (name == "OpenSession") {
        // The ticket is not repeated: the fault may be shown or logged where the ticket must not be.
        const std::optional<std::string> user = logins_.TakeTicket(a.at("ticket"));
        if (!user)
            throw OperationFault("Unknown ticket", "The ticket was not issued by CreateTicket, was already used "
                                                   "or has expired; log in again.");
        auto session = std::make_shared<Session>();
        session->user = *user;
        const std::string verifier = "V" + RandomHex(16);
        session->verifier = verifier;
        try {
            ServerOptions so;
            so.timestampWindowSeconds = options_.timestampWindowSeconds;
            so.maxInflatedBytes = options_.bodyLimit;
            so.env = options_.env;
            so.compressedResults = compressedResults_;
            session->tokens = std::make_unique<ServerSession>(Utf8ToText(a.at("tokenScheme")),
                                                              Utf8ToText(a.at("tokenSeed")), Utf8ToText(verifier), so);
        } catch (const TokenRejected& e) {
            throw OperationFault("Invalid token seed", e.what());
        }
        session->sessionKey = TextToUtf8(session->tokens->WrappedSessionKey());
        const std::string key = session->sessionKey;
        logins_.Open(std::move(session));
        return {{"result", "OK"}, {"sessionKey", key}, {"verifier", verifier}};
    }
    // CloseSession
    if (!logins_.Close(a.at("verifier"), a.at("sessionKey")))
        throw OperationFault("Unknown session", "No open session has that session key and verifier.");
    return {{"result", "OK"}};
}

HttpAnswer Service::Handle(Interface iface, DescriptionStyle style, const std::string& body, const std::string& baseUrl,
                           nlohmann::json& noted)
{
    soap::IncomingRequest req;
    try {
        req = soap::ReadRequest(body);  // no header entry is understood here
    } catch (const soap::SoapFault& f) {  // VersionMismatch, MustUnderstand
        Note(noted, "", {}, "none", "fault");
        return Fault(f.faultCode(), f.faultString(), f.detail());
    } catch (const soap::SoapError& e) {
        Note(noted, "", {}, "none", "fault");
        return Fault("Client", "The request is not a SOAP message", e.what());
    }
    const std::string& name = req.operation;
    if (options_.htmlErrorOperations.count(name)) {
        Note(noted, name, req.parameters, "not checked", "html-error");
        return HttpAnswer{500, "text/html; charset=utf-8",
                          HtmlPage(500, "Internal Server Error", "The server failed while running " + name + ".")};
    }
    const soap::OperationDescription* op = Parsed(iface, style).Find(name);
    if (!op) {
        Note(noted, name, req.parameters, "none", "fault");
        return Fault("Client", "Unknown operation " + name,
                     "This interface has no operation named \"" + name + "\"; see its service description.");
    }
    std::map<std::string, std::string> args;
    for (const auto& [n, v] : req.parameters)
        args.emplace(n, v);  // the first of a repeated name counts
    // A parameter the operation does not take is left aside, as before, and
    // named in the fault of the one it lacks when there is one (a misspelt
    // name is both).
    std::string unknown;
    for (const auto& parameter : req.parameters) {
        const std::string& n = parameter.first;  // a lambda may not capture a structured binding (clang)
        const auto taken = std::find_if(op->inputParts.begin(), op->inputParts.end(),
                                        [&](const soap::MessagePart& part) { return part.name == n; });
        if (taken == op->inputParts.end()) {
            unknown = n;
            break;
        }
    }
    for (const soap::MessagePart& part : op->inputParts) {
        if (!args.count(part.name)) {
            Note(noted, name, req.parameters, "none", "fault");
            return Fault("Client", "Missing parameter " + part.name,
                         "The request of " + name + " has no parameter \"" + part.name + "\"" +
                             (unknown.empty() ? "" : "; it has \"" + unknown + "\", which " + name + " does not take") +
                             ".");
        }
    }

    if (catalog::FindSessionMessage(name)) {
        try {
            const Params reply = SessionReply(name, args);
            Note(noted, name, req.parameters, "none", "plain");
            return HttpAnswer{200, "text/xml; charset=utf-8", soap::BuildResponse(*op, reply)};
        } catch (const OperationFault& f) {
            Note(noted, name, req.parameters, "none", "fault");
            return Fault(f.code(), f.what(), f.detail());
        }
    }

    // An authenticated operation: the token names the session.
    const std::string& token = args.at("user");
    const auto colon = token.find(':');
    const std::shared_ptr<Session> session =
        colon == std::string::npos ? nullptr : logins_.Find(token.substr(colon + 1));
    if (!session) {
        Note(noted, name, req.parameters, token.empty() ? "missing" : "unknown session", "fault");
        return Fault("Client", token.empty() ? "Missing token" : "Unknown session",
                     token.empty() ? "The request's \"user\" parameter carries no token; log in first."
                                   : "The token's opaque value names no open session; log in again.");
    }
    std::vector<WireSlot> slots = {{Utf8ToText(name), Text()}};
    for (const auto& [n, v] : req.parameters)
        if (n != "user" && n != "reskey")
            slots.push_back({Utf8ToText(n), Utf8ToText(v)});
    RequestStamp stamp;
    std::vector<OptText> plain;
    try {
        logins_.ReserveCall(*session);
    } catch (const OperationFault& f) {
        Note(noted, name, req.parameters, "not checked", "fault");
        return Fault(f.code(), f.what(), f.detail());
    }
    try {
        stamp = session->tokens->ValidateRequest(Utf8ToText(token), slots, &plain);
        logins_.Settle(*session);
    } catch (const TokenRejected& e) {
        logins_.Settle(*session);
        Note(noted, name, req.parameters, std::string("rejected: ") + e.what(), "fault");
        return Fault("Client", "Invalid token", e.what());
    }
    Values values;
    for (std::size_t i = 1; i < slots.size(); ++i) {
        const std::string n = TextToUtf8(slots[i].name), v = TextToUtf8(plain[i].value_or(Text()));
        // A compressed or encrypted item passes XML by: what it holds must still be text that a reply can carry.
        if (!soap::IsXmlText(v)) {
            Note(noted, name, req.parameters, "valid", "fault");
            return Fault("Client", "Invalid parameter value",
                         "The value of \"" + n + "\" is not text that XML can carry (a control character or "
                         "invalid UTF-8), so it could never be sent back.");
        }
        values.emplace(n, v);
    }

    std::string result;
    try {
        CallContext ctx{session->user, session->verifier, baseUrl, options_.compressThreshold};
        result = store_.Execute(name, values, ctx);
    } catch (const OperationFault& f) {
        Note(noted, name, req.parameters, "valid", "fault");
        return Fault(f.code(), f.what(), f.detail());
    }
    Text resultText = Utf8ToText(result);
    result = std::string();  // a long content is held once at a time
    const std::uint32_t kind = resultText.size() > options_.compressThreshold ? TOKEN_DATA_COMPRESSED
                               : options_.encryptResults                       ? TOKEN_DATA_ENCRYPTED
                                                                               : TOKEN_DATA_PLAIN;
    std::vector<ReplySlot> replySlots;
    replySlots.push_back({Utf8ToText(name), Text(), TOKEN_DATA_PLAIN});
    replySlots.push_back({u"result", std::move(resultText), kind});
    const ReplyToken reply = session->tokens->BuildReply(stamp, replySlots);
    Note(noted, name, req.parameters, "valid", Encoding(kind));
    return HttpAnswer{200, "text/xml; charset=utf-8",
                      soap::BuildResponse(*op, {{"result", TextToUtf8(reply.wireValues[1].value_or(Text()))},
                                                {"reskey", TextToUtf8(reply.token)}}),
                      {},
                      kind == TOKEN_DATA_PLAIN};
}

}  // namespace tessel::server
