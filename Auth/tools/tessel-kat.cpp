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

#include "Crypt.h"
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

void CheckFile(const std::string& path, Tally& tally)
{
    std::ifstream in(path);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    const json doc = json::parse(in);
    const std::string file = std::filesystem::path(path).filename().string();

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

    for (const char* section : {"seed", "request_tokens", "reply_tokens"}) {
        if (doc.contains(section)) {
            ++tally.skipped;
            std::cout << "skip   " << section << " (checked with the token engine)\n";
        }
    }

    if (doc.contains("errors")) {
        int i = 0;
        for (const auto& c : doc.at("errors")) {
            if (c.value("call", "") == "end")
                continue;  // the list's terminator
            Run(tally, "errors " + std::to_string(i++) + " " + c.value("call", "?"), [&] { return CheckError(c); });
        }
    }
    (void)file;
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
    if (argc < 2) {
        std::cerr << "usage: tessel-kat VECTOR-FILE...\n";
        return 2;
    }
    try {
        const TemporaryKeyHome home;
        Tally tally;
        for (int i = 1; i < argc; ++i)
            CheckFile(argv[i], tally);
        if (tally.skipped)
            std::cout << tally.skipped << " skipped\n";
        std::cout << tally.passed << " passed, " << tally.failed << " failed\n";
        return tally.failed ? 1 : 0;
    } catch (const std::exception& e) {
        std::cerr << "tessel-kat: " << e.what() << "\n";
        return 2;
    }
}
