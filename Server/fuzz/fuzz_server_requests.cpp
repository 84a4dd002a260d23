// libFuzzer target: the local service's handling of a request, from the raw
// body through the token's validation to the store's dispatch.
//
// A Service is built in-process, and a client logs in through Service::Post
// as a tool does: CreateTicket, then OpenSession with the scheme and seed of a
// client engine, whose handler takes the session key and verifier. Each input
// is then one request; its first line says which kind:
//
//   "get"           line 1 is a path to GET
//   "raw ENDPOINT"  the rest of the input is a body, posted as it is
//   "open ENDPOINT" a login with a new ticket: line 1 is the scheme, line 2
//                   the seed R:E;P, where a part that is "*" (or the whole
//                   line "*") comes from a fresh seed of a client engine
//   "call ENDPOINT" a request whose token the client engine makes:
//     line 1   the operation's name, or "#k" for the description's k-th
//     line 2   the token's inner text N:T:H:D as the client engine made it,
//              but for each field given here that is not "*" (an empty line
//              changes nothing)
//     line 3.. parameters, "name=value", in the order sent; the operation's
//              own parameters not given follow, with their name as value. A
//              value "z:text", "e:text" or "y:text" is put in its slot
//              compressed, encrypted or both (kinds 1, 2, 3) and sent as the
//              engine converted it; "#n" is Base64 of a stored zlib stream of
//              n zero bytes, sent in a plain slot.
//   where ENDPOINT is "main", "admin" or "soap2".
//
// The service keeps what the requests do to its store, as a running service
// does, and starts over every 2,000 inputs. Its state grows from one input to
// the next, so this target runs with -detect_leaks=0: leaks are then reported
// when the run ends instead of after each input. An exception out of
// Service::Get or Service::Post is a finding. The seeds in
// corpus/fuzz_server_requests are written by fuzz_corpus_server.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Crypt.h"
#include "FuzzSupport.h"
#include "Service.h"
#include "Soap/Packager.h"
#include "Soap/SoapError.h"
#include "TesselMAC.h"

using namespace tessel;
using namespace tessel::server;

namespace {

constexpr char kBaseUrl[] = "http://127.0.0.1:8080";
constexpr std::size_t kMaxParameters = 32;
constexpr int kInputsPerService = 2000;

using Params = std::vector<std::pair<std::string, std::string>>;

struct Endpoint {
    const char* path;
    soap::ServiceDescription description;
};
using Endpoints = std::map<std::string, Endpoint, std::less<>>;

ServiceOptions Options()
{
    ServiceOptions options;
    options.compressThreshold = 64;  // replies of more than 64 characters go out compressed
    options.noteCalls = true;        // what the request log would note of each call is made too
    return options;
}

// The service's endpoints with their descriptions as a client reads them.
const Endpoints& TheEndpoints()
{
    static const Endpoints endpoints = [] {
        Service service(Options());
        const auto describe = [&](const std::string& path) {
            return soap::ParseServiceDescription(service.Get(path, kBaseUrl).body);
        };
        Endpoints e;
        e.emplace("main", Endpoint{kMainEndpoint, describe(std::string(kMainDescriptionPath) + ".xml")});
        e.emplace("admin", Endpoint{kAdminEndpoint, describe(std::string(kAdminDescriptionPath) + ".xml")});
        e.emplace("soap2", Endpoint{kSoap2Endpoint, describe(std::string(kSoap2DescriptionPath) + ".wsdl")});
        return e;
    }();
    return endpoints;
}

// A service and a client logged in to it.
class ServiceBench {
public:
    ServiceBench() : service_(std::make_unique<Service>(Options())), endpoints_(TheEndpoints()) { Login(); }

    void Run(const std::uint8_t* data, std::size_t size)
    {
        const auto lines = fuzz::Lines(data, size, kMaxParameters + 3);
        const std::string_view mode = lines[0];
        if (mode == "get") {
            service_->Get(lines.size() > 1 ? std::string(lines[1]) : "/", kBaseUrl);
            return;
        }
        const auto space = mode.find(' ');
        const auto endpoint = endpoints_.find(mode.substr(space == std::string_view::npos ? mode.size() : space + 1));
        const char* path = endpoint == endpoints_.end() ? "/TesselService/Nowhere.asmx" : endpoint->second.path;
        if (mode.starts_with("raw")) {
            const std::size_t skip = lines.size() > 1 ? lines[0].size() + 1 : size;
            service_->Post(path, std::string(reinterpret_cast<const char*>(data) + skip, size - skip), kBaseUrl);
        } else if (mode.starts_with("call") && endpoint != endpoints_.end() && lines.size() > 1) {
            Call(endpoint->second, lines);
        } else if (mode.starts_with("open") && endpoint != endpoints_.end() && lines.size() > 2) {
            Open(endpoint->second, lines[1], lines[2]);
        }
    }

private:
    // A plain exchange of a session message (as the main description has
    // it, wherever it is posted); the reply's values, or SoapFault.
    soap::ResponseValues Exchange(const std::string& operation, const std::map<std::string, std::string>& values,
                                  const Endpoint* endpoint = nullptr)
    {
        const Endpoint& to = endpoint ? *endpoint : endpoints_.at("main");
        const soap::OperationDescription* described = to.description.Find(operation);
        const soap::OperationDescription& op =
            described ? *described : *endpoints_.at("main").description.Find(operation);
        Params params;
        for (const soap::MessagePart& part : op.inputParts)
            params.emplace_back(part.name, values.count(part.name) ? values.at(part.name) : "");
        const std::string body = soap::BuildRequest(to.description, op, params);
        return soap::ReadResponse(service_->Post(to.path, body, kBaseUrl).body);
    }

    std::string Ticket()
    {
        return *Exchange("CreateTicket", {{"authority", "LDAP://ldap.example.test"}, {"realm", "example.test"},
                                          {"principal", "tester"}, {"credential", "tester"}})
                    .Find("result");
    }

    void Login()
    {
        const std::string ticket = Ticket();
        client_ = CreateTokenHandler(std::nullopt);
        seeder_ = CreateTokenHandler(std::nullopt);
        OptText scheme, seed;
        client_->GetTokenScheme(scheme);
        client_->GetTokenSeed(seed);
        client_->SetTokenSeed(seed);
        const soap::ResponseValues session =
            Exchange("OpenSession", {{"service", "tsc"}, {"ticket", ticket},
                                     {"tokenScheme", TextToUtf8(*scheme)}, {"tokenSeed", TextToUtf8(*seed)}});
        opaque_ = *session.Find("verifier");
        client_->SetTokenItem(Text(kItemSessionKey), Utf8ToText(*session.Find("sessionKey")));
        client_->SetTokenItem(Text(kItemOpaque), Utf8ToText(opaque_));
        // The session key, which the client hands out wrapped for its own pair.
        OptText wrapped;
        client_->GetTokenItem(Text(kItemSessionKey), wrapped);
        const CryptProvider provider =
            CryptProvider::AcquireProviderContext(std::nullopt, std::u16string(kBaseProviderName), PROV_RSA_FULL, 0);
        sessionKey_ = provider.ImportKey(Base64Decode(wrapped), 0, nullptr);
    }

    // OpenSession with a scheme and seed of the input's, parts of a fresh seed where it says "*".
    void Open(const Endpoint& endpoint, std::string_view scheme, std::string_view seed)
    {
        OptText fresh;
        seeder_->GetTokenSeed(fresh);
        const std::string made = TextToUtf8(*fresh);
        std::string sent;
        if (seed == "*") {
            sent = made;
        } else {
            // R:E;P, cut as the server cuts it: at the first ';', then at the first ':'.
            const auto cut = [](std::string_view s, char at) {
                const auto i = s.find(at);
                return std::pair{s.substr(0, i), i == std::string_view::npos ? std::string_view() : s.substr(i + 1)};
            };
            const auto [ra, p] = cut(seed, ';');
            const auto [r, e] = cut(ra, ':');
            const auto [mra, mp] = cut(made, ';');
            const auto [mr, me] = cut(mra, ':');
            const auto pick = [](std::string_view mine, std::string_view fresh) {
                return std::string(mine == "*" ? fresh : mine);
            };
            sent = pick(r, mr) + ":" + pick(e, me) + ";" + pick(p, mp);
        }
        OptText ownScheme;
        seeder_->GetTokenScheme(ownScheme);
        try {
            Exchange("OpenSession",
                     {{"service", "tsc"}, {"ticket", Ticket()},
                      {"tokenScheme", scheme == "*" ? TextToUtf8(*ownScheme) : std::string(scheme)},
                      {"tokenSeed", sent}},
                     &endpoint);
        } catch (const soap::SoapError&) {
            // a fault, or values XML cannot carry
        }
    }

    void Call(const Endpoint& endpoint, const std::vector<std::string_view>& lines)
    {
        const auto& operations = endpoint.description.operations;
        soap::OperationDescription op = operations.front();
        const std::string name(lines[1]);
        if (name.starts_with('#') && name.size() > 1) {
            op = operations[std::strtoul(name.c_str() + 1, nullptr, 10) % operations.size()];
        } else if (const soap::OperationDescription* found = endpoint.description.Find(name)) {
            op = *found;
        } else {
            op.name = name;  // an operation the service does not have
        }

        // The parameters as given, then the operation's own that are missing.
        Params params;
        for (std::size_t i = 3; i < lines.size(); ++i) {
            const auto eq = lines[i].find('=');
            params.emplace_back(lines[i].substr(0, eq), eq == std::string_view::npos ? "" : lines[i].substr(eq + 1));
        }
        for (const soap::MessagePart& part : op.inputParts) {
            const auto named = [&](const auto& p) { return p.first == part.name; };
            if (std::none_of(params.begin(), params.end(), named) && part.name != "user" && part.name != "reskey")
                params.emplace_back(part.name, part.name);
        }

        // The token over the operation and the parameters, slot by slot.
        try {
            client_->SetTokenData(0, TOKEN_DATA_OWN_COPIES, Utf8ToText(op.name), Text());
            std::uint32_t slot = 0;
            std::vector<std::pair<std::string*, std::uint32_t>> converted;
            for (auto& [n, value] : params) {
                if (n == "user" || n == "reskey")
                    continue;  // not in the token
                std::uint32_t kind = TOKEN_DATA_PLAIN;
                if (value.size() >= 2 && value[1] == ':' && (value[0] == 'z' || value[0] == 'e' || value[0] == 'y')) {
                    kind = value[0] == 'z' ? TOKEN_DATA_COMPRESSED
                           : value[0] == 'e' ? TOKEN_DATA_ENCRYPTED
                                             : TOKEN_DATA_COMPRESSED_ENCRYPTED;
                    value.erase(0, 2);
                    converted.emplace_back(&value, slot + 1);
                } else if (const auto zeros = fuzz::StoredZerosCount(value)) {
                    value = TextToUtf8(Base64Encode(fuzz::StoredZeros(*zeros)));
                }
                client_->SetTokenData(++slot, TOKEN_DATA_OWN_COPIES | kind, Utf8ToText(n), Utf8ToText(value));
            }
            OptText token;
            client_->ConstructToken(token);
            for (auto& [value, index] : converted) {
                OptText wire;
                client_->GetTokenData(index, nullptr, nullptr, &wire);
                *value = TextToUtf8(wire.value_or(Text()));
            }
            const std::string_view overrides = lines.size() > 2 ? lines[2] : std::string_view();
            params.insert(params.begin(), {"user", Overridden(TextToUtf8(*token), overrides)});
            params.emplace_back("reskey", "");
        } catch (const HResultError&) {
            return;  // the client engine refused the values
        }

        std::string body;
        try {
            body = soap::BuildRequest(endpoint.description, op, params);
        } catch (const soap::SoapError&) {
            return;  // values that XML cannot carry
        }
        const HttpAnswer answer = service_->Post(endpoint.path, body, kBaseUrl);

        // The reply's token through the client, as a tool checks it.
        try {
            const soap::ResponseValues reply = soap::ReadResponse(answer.body);
            const std::string* result = reply.Find("result");
            const std::string* reskey = reply.Find("reskey");
            client_->SetTokenData(0, TOKEN_DATA_OWN_COPIES, Utf8ToText(op.name), Text());
            client_->SetTokenData(1, TOKEN_DATA_OWN_COPIES, Text(u"result"), Utf8ToText(result ? *result : ""));
            client_->ValidateToken(Utf8ToText(reskey ? *reskey : ""));
        } catch (const soap::SoapError&) {
        } catch (const HResultError&) {
        }
    }

    // The token with the inner text's fields replaced where `fields` says.
    std::string Overridden(const std::string& token, std::string_view fields)
    {
        if (fields.empty())
            return token;
        const auto colon = token.find(':');
        const ByteBuffer plain = sessionKey_.Decrypt(Base64Decode(Utf8ToText(token.substr(0, colon))));
        const std::string inner(reinterpret_cast<const char*>(plain.data()), plain.size() - 1);  // without its NUL
        const auto made = Fields(inner), mine = Fields(fields);
        std::string out;
        for (int i = 0; i < 4; ++i)
            out += std::string(i ? ":" : "") + std::string(mine[i] == "*" ? made[i] : mine[i]);
        out += '\0';
        const ByteBuffer cipher = sessionKey_.Encrypt(ByteBuffer(out.data(), static_cast<std::uint32_t>(out.size())));
        return TextToUtf8(Base64Encode(cipher)) + token.substr(colon);
    }

    // N:T:H:D cut at the first three ':'; missing fields are "*".
    static std::array<std::string_view, 4> Fields(std::string_view text)
    {
        std::array<std::string_view, 4> out = {"*", "*", "*", "*"};
        for (int i = 0; i < 4; ++i) {
            const auto cut = i < 3 ? text.find(':') : std::string_view::npos;
            out[i] = text.substr(0, cut);
            if (cut == std::string_view::npos)
                break;
            text.remove_prefix(cut + 1);
        }
        return out;
    }

    std::unique_ptr<Service> service_;
    const Endpoints& endpoints_;
    std::unique_ptr<TokenHandler> client_;
    std::unique_ptr<TokenHandler> seeder_;  // makes seeds for "open", so that the client's seed key stays
    CryptKey sessionKey_;
    std::string opaque_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static int inputs = 0;
    static std::unique_ptr<ServiceBench> bench;
    if (inputs++ % kInputsPerService == 0) {
        fuzz::UseTemporaryKeyHome("tessel-fuzz-server");
        bench.reset();
        bench = std::make_unique<ServiceBench>();
    }
    bench->Run(data, size);
    return 0;
}
