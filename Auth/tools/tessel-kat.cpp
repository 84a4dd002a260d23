// tessel-kat: checks CryptoAPI known-answer vector files against the token
// library's provider and engine. One line per case, then "N passed, M failed".
#include <nlohmann/json.hpp>

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "Crypt.h"
#include "EngineEnvironment.h"
#include "TesselMAC.h"
#include "TesselKitVersion.h"
#include "TokenCodecs.h"

using nlohmann::json;
using namespace tessel;

namespace {

struct Tally {
    int passed = 0;
    int failed = 0;
    int skipped = 0;
};

std::string Hex(const ByteBuffer& b)
{
    return TextToUtf8(HexEncode(b));
}

ByteBuffer FromHex(const std::string& s)
{
    return HexDecode(Utf8ToText(s));
}

ByteBuffer FromBase64(const std::string& s)
{
    return Base64Decode(Utf8ToText(s));
}

std::string Code(HRESULT hr)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(hr));
    return buf;
}

// Parses a recorded code: a platform error number or an HRESULT, as raised.
HRESULT RecordedCode(const std::string& s)
{
    return HResultFromError(static_cast<std::uint32_t>(std::stoul(s, nullptr, 16)));
}

// Runs one case: the check returns an empty string on success, else what differed.
void Run(Tally& tally, const std::string& name, const std::function<std::string()>& check)
{
    std::string problem;
    try {
        problem = check();
    } catch (const HResultError& e) {
        problem = "raised " + Code(e.code()) + " in " + LastRaisingOperation();
    } catch (const std::exception& e) {
        problem = std::string("malformed case: ") + e.what();
    }
    if (problem.empty()) {
        ++tally.passed;
        std::cout << "ok     " << name << "\n";
    } else {
        ++tally.failed;
        std::cout << "FAILED " << name << ": " << problem << "\n";
    }
}

std::string Expect(const std::string& what, const std::string& got, const std::string& want)
{
    return got == want ? std::string() : what + " is " + got + ", expected " + want;
}

CryptProvider Acquire(const std::string& provider)
{
    return CryptProvider::AcquireProviderContext(std::nullopt, Utf8ToText(provider), PROV_RSA_FULL, 0);
}

ALG_ID Alg(const std::string& name)
{
    return AlgorithmIdFromName(Utf8ToText(name));
}

// Encryptions and their decryptions, and the session-key hashes, of one key.
std::string CheckKeyUse(const CryptProvider& prov, CryptKey& key, const json& c)
{
    int i = 0;
    for (const auto& e : c.at("encrypt")) {
        const ByteBuffer plain = FromHex(e.at("plain_hex"));
        const std::string want = e.at("cipher_hex");
        const ByteBuffer cipher = key.Encrypt(plain);
        if (auto p = Expect("encryption " + std::to_string(i), Hex(cipher), want); !p.empty())
            return p;
        const ByteBuffer back = key.Decrypt(cipher);
        if (auto p = Expect("decryption " + std::to_string(i), Hex(back), Hex(plain)); !p.empty())
            return p;
        ++i;
    }
    if (c.contains("hash_session_key")) {
        for (const auto& [alg, want] : c.at("hash_session_key").items()) {
            CryptHash h = prov.CreateHash(Alg(alg));
            h.HashSessionKey(key);
            if (auto p = Expect("session-key hash " + alg, Hex(h.HashValue()), want.get<std::string>()); !p.empty())
                return p;
        }
    }
    return {};
}

// The key pair and session key of the vector file, shared by its sections.
struct KatKeys {
    explicit KatKeys(CryptProvider p) : provider(std::move(p)) {}
    CryptProvider provider;
    CryptKey exchange;
    CryptKey session;
};

std::string CheckDerive(const json& c)
{
    const CryptProvider prov = Acquire(c.at("provider"));
    try {
        CryptHash hash = prov.CreateHash(Alg(c.at("hash")));
        hash.HashData(FromHex(c.at("seed_hex")));
        CryptKey key = prov.DeriveKey(Alg(c.at("cipher")), hash, 0);
        if (c.contains("error"))
            return "derivation succeeded, expected " + c.at("error").get<std::string>();
        if (auto p = Expect("key length", std::to_string(key.KeyLength()), std::to_string(c.at("key_bits").get<int>()));
            !p.empty())
            return p;
        if (auto p = Expect("block length", std::to_string(key.BlockLength()),
                            std::to_string(c.at("block_bits").get<int>()));
            !p.empty())
            return p;
        if (c.contains("effective_bits")) {
            if (auto p = Expect("effective length", std::to_string(key.EffectiveKeyLength()),
                                std::to_string(c.at("effective_bits").get<int>()));
                !p.empty())
                return p;
        }
        if (c.contains("salt_hex")) {
            const auto salt = key.Salt();
            const std::string got = salt ? Hex(*salt) : "null";
            const std::string want = c.at("salt_hex").is_null() ? "null" : c.at("salt_hex").get<std::string>();
            if (auto p = Expect("salt", got, want); !p.empty())
                return p;
        }
        return CheckKeyUse(prov, key, c);
    } catch (const HResultError& e) {
        if (c.contains("error"))
            return Expect("error", Code(e.code()), Code(RecordedCode(c.at("error"))));
        throw;
    }
}

// Recognises each recorded error call by its text and makes it.
std::string CheckError(const json& c)
{
    const std::string call = c.at("call");
    const HRESULT want = RecordedCode(c.at("code"));
    const CryptProvider base = Acquire(TextToUtf8(kBaseProviderName));
    std::function<void()> make;
    if (call.find("unknown provider name") != std::string::npos) {
        make = [] { Acquire("No Such Cryptographic Provider"); };
    } else if (call.find("PROV_DSS") != std::string::npos) {
        make = [] {
            CryptProvider::AcquireProviderContext(std::nullopt, std::u16string(kBaseProviderName),
                                                  ProviderTypeFromName(u"PROV_DSS"), 0);
        };
    } else if (call.find("CryptCreateHash with algorithm 0") != std::string::npos) {
        make = [&] { base.CreateHash(0); };
    } else if (call.find("CryptDeriveKey with algorithm 0") != std::string::npos) {
        make = [&] {
            CryptHash h = base.CreateHash(CALG_SHA1);
            base.DeriveKey(0, h, 0);
        };
    } else if (call.find("valid padding") != std::string::npos) {
        make = [&] {
            CryptHash h = base.CreateHash(CALG_SHA1);
            CryptKey key = base.DeriveKey(CALG_RC2, h, 0);
            const ByteBuffer zeros(16);
            const ByteBuffer cipher = key.Encrypt(zeros.data(), zeros.size(), false, nullptr);  // no padding
            key.Decrypt(cipher);
        };
    } else if (call.find("not a whole block") != std::string::npos) {
        make = [&] {
            CryptHash h = base.CreateHash(CALG_SHA1);
            CryptKey key = base.DeriveKey(CALG_RC2, h, 0);
            key.Decrypt(ByteBuffer(5));
        };
    } else if (call.find("CryptHashSessionKey without a key") != std::string::npos) {
        make = [&] {
            CryptHash h = base.CreateHash(CALG_SHA1);
            h.HashSessionKey(CryptKey());
        };
    } else if (call.find("no key blob") != std::string::npos) {
        make = [&] { base.ImportKey(ByteBuffer::FromString("sixteen bytes!!!"), 0, nullptr); };
    } else if (call.find("empty blob") != std::string::npos) {
        make = [&] { base.ImportKey(ByteBuffer(), 0, nullptr); };
    } else {
        return "unrecognised call";
    }
    try {
        make();
    } catch (const HResultError& e) {
        return Expect("error", Code(e.code()), Code(want));
    }
    return "succeeded, expected " + Code(want);
}

OptText OptionalText(const json& v)
{
    if (v.is_null())
        return std::nullopt;
    return Utf8ToText(v.get<std::string>());
}

std::string Utf8(const OptText& t)
{
    return t ? TextToUtf8(*t) : "(absent)";
}

// The seed, request and reply sections, through a token handler whose
// randomness and clock replay the vectors.
class EngineCheck {
public:
    EngineCheck() : env_(std::make_shared<ScriptedEnvironment>()), handler_(CreateTokenHandler(std::nullopt, env_)) {}

    void Replay(const std::string& randomHex, const std::string& timestamp)
    {
        env_->QueueRandom(FromHex(randomHex));
        const auto t = ParseTimestamp(Utf8ToText(timestamp));
        if (!t)
            throw std::runtime_error("bad time stamp " + timestamp);
        env_->SetTime(*t);
    }

    // Fills the slots in order; the client passes every value as kind 0
    // unless `recordedKinds` asks for the kinds of the vectors.
    void SetSlots(const json& slots, const char* valueField, bool recordedKinds)
    {
        std::uint32_t i = 0;
        for (const auto& slot : slots) {
            const std::uint32_t kind = recordedKinds ? slot.at("kind").get<std::uint32_t>() : 0;
            handler_->SetTokenData(i++, kind | TOKEN_DATA_OWN_COPIES, OptionalText(slot.at("name")),
                                   OptionalText(slot.at(valueField)));
        }
    }

    OptText Converted(std::uint32_t index)
    {
        OptText converted;
        handler_->GetTokenData(index, nullptr, nullptr, &converted);
        return converted;
    }

    TokenHandler& handler() { return *handler_; }

private:
    std::shared_ptr<ScriptedEnvironment> env_;
    std::unique_ptr<TokenHandler> handler_;
};

// A set-up handler: seed and session key of the vectors.
std::unique_ptr<EngineCheck> SetUpHandler(const json& doc)
{
    auto check = std::make_unique<EngineCheck>();
    check->handler().SetTokenSeed(Utf8ToText(doc.at("seed").at("seed_text").get<std::string>()));
    check->handler().SetTokenItem(Text(kItemSessionKey),
                                  Utf8ToText(doc.at("session_key").at("simple_blob_b64").get<std::string>()));
    return check;
}

// The inner text of a token, decrypted with the session key.
std::string InnerText(CryptKey& session, const std::string& token)
{
    const std::string head = token.substr(0, token.find(':'));
    const ByteBuffer plain = session.Decrypt(FromBase64(head));
    return TextToUtf8(FromSingleByte(plain.data(), plain.size()));
}

std::string ReEncrypt(CryptKey& session, const std::string& inner)
{
    ByteBuffer bytes(static_cast<std::uint32_t>(inner.size() + 1));
    std::copy(inner.begin(), inner.end(), bytes.data());
    return TextToUtf8(Base64Encode(session.Encrypt(bytes)));
}

void CheckEngine(const json& doc, std::optional<KatKeys>& keys, Tally& tally)
{
    const bool haveKeys = keys && !keys->exchange.empty();
    if (doc.contains("seed")) {
        const json& c = doc.at("seed");
        Run(tally, "seed", [&]() -> std::string {
            if (!haveKeys)
                return "no key-exchange pair to build the seed with";
            EngineCheck check;
            check.Replay(c.at("random_hex"), c.at("timestamp"));
            OptText seed;
            check.handler().GetTokenSeed(seed);
            return Expect("seed text", Utf8(seed), c.at("seed_text"));
        });
    }
    if (doc.contains("request_tokens")) {
        int i = 0;
        for (const auto& c : doc.at("request_tokens")) {
            Run(tally, "request_tokens " + std::to_string(i++), [&]() -> std::string {
                if (!haveKeys || keys->session.empty())
                    return "no session key to build the token with";
                const auto check = SetUpHandler(doc);
                check->handler().SetTokenItem(Text(kItemOpaque), OptionalText(c.at("opaque")));
                check->SetSlots(c.at("slots"), "value", true);
                check->Replay(c.at("nonce"), c.at("timestamp"));
                OptText token;
                check->handler().ConstructToken(token);
                std::uint32_t s = 0;
                for (const auto& slot : c.at("slots")) {
                    if (auto p = Expect("slot " + std::to_string(s) + " on the wire", Utf8(check->Converted(s)),
                                        slot.at("value_on_wire"));
                        !p.empty())
                        return p;
                    ++s;
                }
                const std::string want = c.at("token");
                if (Utf8(token) != want)
                    return "inner text is " + InnerText(keys->session, Utf8(token)) + ", expected " +
                           c.value("inner_text", std::string("?"));
                return {};
            });
        }
    }
    if (doc.contains("reply_tokens")) {
        const json& r = doc.at("reply_tokens");
        int i = 0;
        for (const auto& c : r.at("cases")) {
            const std::string base = "reply_tokens " + std::to_string(i++);
            // The request this reply answers, then the reply's slots as the client fills them.
            const auto prepare = [&]() {
                auto check = SetUpHandler(doc);
                check->handler().SetTokenData(0, TOKEN_DATA_OWN_COPIES, Text(u"request"), Text());
                check->Replay(r.at("request_nonce"), r.at("request_timestamp"));
                OptText token;
                check->handler().ConstructToken(token);
                check->SetSlots(c.at("slots"), "value_on_wire", false);
                return check;
            };
            Run(tally, base + " validates", [&]() -> std::string {
                if (!haveKeys || keys->session.empty())
                    return "no session key";
                const auto check = prepare();
                check->handler().ValidateToken(Utf8ToText(c.at("token").get<std::string>()));
                std::uint32_t s = 0;
                for (const auto& slot : c.at("slots")) {
                    std::uint32_t kind = 0;
                    OptText converted;
                    check->handler().GetTokenData(s, &kind, nullptr, &converted);
                    if (auto p = Expect("slot " + std::to_string(s), Utf8(converted), slot.at("value")); !p.empty())
                        return p;
                    if (auto p = Expect("slot " + std::to_string(s) + " kind", std::to_string(kind),
                                        std::to_string(slot.at("kind").get<int>()));
                        !p.empty())
                        return p;
                    ++s;
                }
                return {};
            });
            // Each field of the inner text altered: the reply must not validate.
            static const char* const kFields[] = {"nonce proof", "time stamp", "hash", "record count"};
            for (int field = 0; field < 4; ++field) {
                Run(tally, base + " altered " + kFields[field], [&]() -> std::string {
                    if (!haveKeys || keys->session.empty())
                        return "no session key";
                    const std::string token = c.at("token");
                    std::string inner = InnerText(keys->session, token);
                    std::size_t at = 0;
                    for (int k = 0; k < field && k < 3; ++k)
                        at = inner.find(':', at) + 1;
                    if (field == 3)
                        inner += "0000000000000000";
                    else
                        inner[at] = inner[at] == '1' ? '2' : '1';
                    const std::string altered = ReEncrypt(keys->session, inner);
                    const auto check = prepare();
                    try {
                        check->handler().ValidateToken(Utf8ToText(altered));
                    } catch (const HResultError& e) {
                        return Expect("result", Code(e.code()), Code(kE_FAIL));
                    }
                    return "the altered reply validated";
                });
            }
        }
        if (r.contains("nonce_proof")) {
            Run(tally, "reply_tokens nonce proof", [&]() -> std::string {
                // Derived on its own from the seed's random block.
                const CryptProvider prov = Acquire(TextToUtf8(kBaseProviderName));
                CryptHash h = prov.CreateHash(CALG_SHA1);
                h.HashData(FromHex(doc.at("seed").at("random_hex")));
                CryptKey seedKey = prov.DeriveKey(CALG_RC2, h, 0);
                const std::string nonce = r.at("request_nonce");
                return Expect("nonce proof", Hex(seedKey.Encrypt(ByteBuffer::FromString(nonce))),
                              r.at("nonce_proof"));
            });
        }
    }
}

// Checks every case of one vector file. A file that cannot be read, is not
// JSON or holds no case at all is an error (thrown): a run that checked
// nothing must not read as a pass.
void CheckFile(const std::string& path, Tally& tally)
{
    std::ifstream in(path);
    if (!in)
        throw std::runtime_error(path + " cannot be read");
    json doc;
    try {
        doc = json::parse(in);
    } catch (const json::parse_error& e) {
        throw std::runtime_error(path + " is not a JSON vector file: " + e.what());
    }
    const int before = tally.passed + tally.failed;

    if (doc.contains("derive")) {
        int i = 0;
        for (const auto& c : doc.at("derive")) {
            const std::string name = "derive " + std::to_string(i++) + " " + c.value("provider", "?") + " " +
                                     c.value("cipher", "?") + " " + c.value("hash", "?");
            Run(tally, name, [&] { return CheckDerive(c); });
        }
    }

    std::optional<KatKeys> keys;
    if (doc.contains("exchange_key")) {
        const json& c = doc.at("exchange_key");
        Run(tally, "exchange_key " + c.value("provider", "?"), [&]() -> std::string {
            keys.emplace(Acquire(c.at("provider")));
            keys->exchange = keys->provider.ImportKey(FromBase64(c.at("private_key_blob_b64")), CRYPT_EXPORTABLE, nullptr);
            if (c.contains("bits")) {
                if (auto p = Expect("key length", std::to_string(keys->exchange.KeyLength()),
                                    std::to_string(c.at("bits").get<int>()));
                    !p.empty())
                    return p;
            }
            const ByteBuffer pub = keys->exchange.Export(PUBLICKEYBLOB, nullptr);
            return Expect("public key blob", TextToUtf8(Base64Encode(pub)), c.at("public_key_blob_b64"));
        });
    }

    if (doc.contains("session_key")) {
        const json& c = doc.at("session_key");
        Run(tally, "session_key", [&]() -> std::string {
            if (!keys || keys->exchange.empty())
                return "no exchange key to unwrap with";
            keys->session = keys->provider.ImportKey(FromBase64(c.at("simple_blob_b64")), CRYPT_EXPORTABLE,
                                                     &keys->exchange);
            return CheckKeyUse(keys->provider, keys->session, c);
        });
    }

    CheckEngine(doc, keys, tally);

    if (doc.contains("errors")) {
        int i = 0;
        for (const auto& c : doc.at("errors")) {
            if (c.value("call", "") == "end")
                continue;  // the list's terminator
            Run(tally, "errors " + std::to_string(i++) + " " + c.value("call", "?"), [&] { return CheckError(c); });
        }
    }
    if (tally.passed + tally.failed == before)
        throw std::runtime_error(path + " holds no case (a vector file has derive, exchange_key, session_key, seed, "
                                        "request_tokens, reply_tokens or errors)");
}

// The kit's own vector file, found from this program's folder (the build
// and an installation both keep it there, below ../share/tessel-kit/).
std::string DefaultVectorFile()
{
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        throw std::runtime_error("cannot find the program's own folder for the kit's vector file: " + ec.message());
    return (exe.parent_path() / TESSEL_KAT_DEFAULT_VECTORS).lexically_normal().string();
}

// A key container of its own, so that importing the vectors' key pair never
// replaces the user's.
class TemporaryKeyHome {
public:
    TemporaryKeyHome()
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / "tessel-kat-XXXXXX").string();
        if (!mkdtemp(tmpl.data()))
            throw std::runtime_error("cannot make a temporary folder");
        dir_ = tmpl;
        setenv("XDG_DATA_HOME", dir_.c_str(), 1);
    }
    TemporaryKeyHome(const TemporaryKeyHome&) = delete;
    TemporaryKeyHome& operator=(const TemporaryKeyHome&) = delete;
    ~TemporaryKeyHome()
    {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

private:
    std::string dir_;
};

}  // namespace

int main(int argc, char** argv)
{
    constexpr char kUsage[] =
        "usage: tessel-kat [VECTOR-FILE...]\n"
        "       tessel-kat --help | --version\n"
        "\n"
        "Checks every case of each CryptoAPI vector file (with none given, the kit's own\n"
        "cryptoapi-kat.json) against the token library's provider and engine, in a temporary key\n"
        "container: one line per case, then \"N passed, M failed\". Exit status 0 when every case\n"
        "passed, 1 when one failed, 2 for a file that cannot be read, is not JSON or holds no case.\n";
    const std::string first = argc == 2 ? argv[1] : "";
    if (first == "--help" || first == "-h") {
        std::cout << kUsage;
        return 0;
    }
    if (first == "--version") {
        std::cout << tessel::KitVersionLine("tessel-kat");
        return 0;
    }
    if (first.size() > 1 && first[0] == '-') {
        std::cerr << "tessel-kat: unknown option " << first << "\n" << kUsage;
        return 2;
    }
    try {
        std::vector<std::string> files(argv + 1, argv + argc);
        if (files.empty())
            files.push_back(DefaultVectorFile());
        const TemporaryKeyHome home;
        Tally tally;
        for (const std::string& file : files)
            CheckFile(file, tally);
        if (tally.skipped)
            std::cout << tally.skipped << " skipped\n";
        std::cout << tally.passed << " passed, " << tally.failed << " failed\n";
        return tally.failed ? 1 : 0;
    } catch (const std::exception& e) {
        std::cerr << "tessel-kat: " << e.what() << "\n";
        return 2;
    }
}
