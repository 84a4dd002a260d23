// token_bench: the engine's cost against the raw cost of the same primitives
// called directly on OpenSSL and zlib over the same bytes.
//   (a) ConstructToken then ValidateToken for a call of three ~20-character slots
//   (a') the same against the least raw work: each key's schedule set once,
//        the engine's exact message sizes, no random bytes
//   (b) ValidateToken of a reply whose compressed result decodes to 1 MiB
#include <benchmark/benchmark.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/provider.h>
#include <openssl/rand.h>
#include <stdlib.h>
#include <zlib.h>

#include <filesystem>
#include <iostream>
#include <map>
#include <memory>

#include "ClientMACImpl.h"
#include "EngineEnvironment.h"
#include "ServerMACImpl.h"

using namespace tessel;

namespace {

// A logged-in handler with fixed nonce and clock, so one prebuilt reply
// validates after every request.
struct Fixture {
    std::shared_ptr<ScriptedEnvironment> env = std::make_shared<ScriptedEnvironment>();
    std::unique_ptr<TokenHandler> handler;
    std::unique_ptr<ServerSession> server;
    ByteBuffer nonce = ByteBuffer::FromString("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A");
    RequestStamp stamp;

    Fixture()
    {
        env->SetTime(CurrentUtcTime());
        handler = CreateTokenHandler(std::nullopt, env);
        OptText scheme, seed;
        handler->GetTokenScheme(scheme);
        handler->GetTokenSeed(seed);
        handler->SetTokenSeed(seed);
        server = std::make_unique<ServerSession>(scheme, seed, u"OPAQUE");
        handler->SetTokenItem(Text(kItemSessionKey), server->WrappedSessionKey());
        handler->SetTokenItem(Text(kItemOpaque), Text(u"OPAQUE"));
        const OptText token = Request();
        std::vector<WireSlot> wire = {{u"GetLogsForUser", Text()},
                                      {u"user", Text(u"tester@example.test12")},
                                      {u"category", Text(u"Application.Errors01")},
                                      {u"count", Text(u"00000000000000000020")}};
        stamp = server->ValidateRequest(token, wire);
    }
    OptText Request()
    {
        handler->SetTokenData(0, TOKEN_DATA_OWN_COPIES, Text(u"GetLogsForUser"), Text());
        handler->SetTokenData(1, TOKEN_DATA_OWN_COPIES, Text(u"user"), Text(u"tester@example.test12"));
        handler->SetTokenData(2, TOKEN_DATA_OWN_COPIES, Text(u"category"), Text(u"Application.Errors01"));
        handler->SetTokenData(3, TOKEN_DATA_OWN_COPIES, Text(u"count"), Text(u"00000000000000000020"));
        env->QueueRandom(nonce.Copy());
        OptText token;
        handler->ConstructToken(token);
        return token;
    }
};

Text LargeResult()
{
    Text result;
    result.reserve(1 << 20);
    for (int i = 0; result.size() < (1u << 20); ++i)
        result += u"<log id=\"" + Utf8ToText(std::to_string(i)) + u"\" level=\"" +
                  Utf8ToText(std::to_string(i * 7919 % 5)) + u"\">entry text number " +
                  Utf8ToText(std::to_string(i * 31 % 1000)) + u"</log>";
    result.resize(1 << 20);
    return result;
}

// ---- raw primitives --------------------------------------------------------

struct Raw {
    OSSL_LIB_CTX* ctx = OSSL_LIB_CTX_new();
    OSSL_PROVIDER* def = OSSL_PROVIDER_load(ctx, "default");
    OSSL_PROVIDER* leg = OSSL_PROVIDER_load(ctx, "legacy");
    EVP_CIPHER* rc2 = EVP_CIPHER_fetch(ctx, "RC2-CBC", nullptr);
    EVP_MD* sha1 = EVP_MD_fetch(ctx, "SHA1", nullptr);
    EVP_CIPHER_CTX* cctx = EVP_CIPHER_CTX_new();
    EVP_MD_CTX* mctx = EVP_MD_CTX_new();
    unsigned char key[16] = {1, 2, 3, 4, 5};
    ~Raw()
    {
        EVP_CIPHER_CTX_free(cctx);
        EVP_MD_CTX_free(mctx);
        EVP_CIPHER_free(rc2);
        EVP_MD_free(sha1);
        OSSL_PROVIDER_unload(leg);
        OSSL_PROVIDER_unload(def);
        OSSL_LIB_CTX_free(ctx);
    }
    // RC2-40 (16 key bytes, 40 effective bits) CBC with PKCS#5 padding.
    int Cipher(const unsigned char* in, int n, unsigned char* out, int enc)
    {
        size_t keyLen = 16, bits = 40;
        OSSL_PARAM p[] = {OSSL_PARAM_construct_size_t(OSSL_CIPHER_PARAM_KEYLEN, &keyLen),
                          OSSL_PARAM_construct_size_t(OSSL_CIPHER_PARAM_RC2_KEYBITS, &bits), OSSL_PARAM_END};
        static const unsigned char iv[8] = {};
        EVP_CipherInit_ex2(cctx, rc2, nullptr, nullptr, enc, p);
        EVP_CipherInit_ex2(cctx, nullptr, key, iv, enc, nullptr);
        int l1 = 0, l2 = 0;
        EVP_CipherUpdate(cctx, out, &l1, in, n);
        EVP_CipherFinal_ex(cctx, out + l1, &l2);
        return l1 + l2;
    }
    // A context keyed once, for messages that each restart it at the zero IV.
    EVP_CIPHER_CTX* Keyed(int enc)
    {
        EVP_CIPHER_CTX* c = EVP_CIPHER_CTX_new();
        size_t keyLen = 16, bits = 40;
        OSSL_PARAM p[] = {OSSL_PARAM_construct_size_t(OSSL_CIPHER_PARAM_KEYLEN, &keyLen),
                          OSSL_PARAM_construct_size_t(OSSL_CIPHER_PARAM_RC2_KEYBITS, &bits), OSSL_PARAM_END};
        static const unsigned char iv[8] = {};
        EVP_CipherInit_ex2(c, rc2, nullptr, nullptr, enc, p);
        EVP_CipherInit_ex2(c, nullptr, key, iv, enc, nullptr);
        return c;
    }
    static int Message(EVP_CIPHER_CTX* c, const unsigned char* in, int n, unsigned char* out)
    {
        static const unsigned char iv[8] = {};
        EVP_CipherInit_ex2(c, nullptr, nullptr, iv, -1, nullptr);
        int l1 = 0, l2 = 0;
        EVP_CipherUpdate(c, out, &l1, in, n);
        EVP_CipherFinal_ex(c, out + l1, &l2);
        return l1 + l2;
    }
    void Sha1(const unsigned char* a, size_t na, const unsigned char* b, size_t nb, unsigned char* out)
    {
        unsigned len = 0;
        EVP_DigestInit_ex2(mctx, sha1, nullptr);
        EVP_DigestUpdate(mctx, a, na);
        EVP_DigestUpdate(mctx, b, nb);
        EVP_DigestFinal_ex(mctx, out, &len);
    }
};

void BM_Engine_SmallCall(benchmark::State& state)
{
    Fixture f;
    const ReplyToken reply = f.server->BuildReply(
        f.stamp, {{u"GetLogsForUser", Text(), 0}, {u"result", Text(u"<logs count=\"0\"/>   "), 0}});
    for (auto _ : state) {
        OptText token = f.Request();
        f.handler->SetTokenData(0, TOKEN_DATA_OWN_COPIES, Text(u"GetLogsForUser"), Text());
        f.handler->SetTokenData(1, TOKEN_DATA_OWN_COPIES, Text(u"result"), reply.wireValues[1]);
        if (f.handler->ValidateToken(reply.token) != 0)
            state.SkipWithError("reply did not validate");
        benchmark::DoNotOptimize(token);
    }
}

void BM_Raw_SmallCall(benchmark::State& state)
{
    Raw raw;
    unsigned char slots[200], inner[128], cipher[160], digest[20], nonce[10], proof[24];
    std::memset(slots, 'x', sizeof slots);
    std::memset(inner, 'A', sizeof inner);
    for (auto _ : state) {
        // request: nonce, hash over key and slots, encrypt the inner text
        RAND_bytes_ex(raw.ctx, nonce, sizeof nonce, 0);
        raw.Sha1(raw.key, 5, slots, 2 * (14 + 4 + 21 + 8 + 20 + 5 + 20), digest);
        const int n = raw.Cipher(inner, 115, cipher, 1);
        // reply: decrypt the token, prove the nonce, hash the reply's slots
        raw.Cipher(cipher, n, inner, 0);
        raw.Cipher(nonce, 20, proof, 1);
        raw.Sha1(raw.key, 5, slots, 2 * (14 + 6 + 21), digest);
        benchmark::DoNotOptimize(digest);
    }
}

// The engine's messages for this call: a request inner text of a 20-digit
// nonce, the time stamp, the hash and four records with three colons and a
// NUL; a reply of the 24-byte nonce proof in hexadecimal, the time stamp, the
// hash and two records.
void BM_RawKeyed_SmallCall(benchmark::State& state)
{
    Raw raw;
    struct Contexts {
        EVP_CIPHER_CTX *session, *sessionDecrypt, *seed;
        ~Contexts()
        {
            for (EVP_CIPHER_CTX* c : {session, sessionDecrypt, seed})
                EVP_CIPHER_CTX_free(c);
        }
    } keyed{raw.Keyed(1), raw.Keyed(0), raw.Keyed(1)};
    constexpr int kRequest = 20 + 17 + 40 + 64 + 3 + 1, kReply = 48 + 17 + 40 + 32 + 3 + 1;
    unsigned char slots[200], inner[160], cipher[160], reply[160], digest[20], nonce[20], proof[24];
    std::memset(slots, 'x', sizeof slots);
    std::memset(inner, 'A', sizeof inner);
    std::memset(nonce, '0', sizeof nonce);
    const int replyLength = Raw::Message(keyed.session, inner, kReply, reply);
    for (auto _ : state) {
        raw.Sha1(raw.key, 5, slots, 2 * (14 + 4 + 21 + 8 + 20 + 5 + 20), digest);
        Raw::Message(keyed.session, inner, kRequest, cipher);
        Raw::Message(keyed.sessionDecrypt, reply, replyLength, inner);
        Raw::Message(keyed.seed, nonce, sizeof nonce, proof);
        raw.Sha1(raw.key, 5, slots, 2 * (14 + 6 + 21), digest);
        benchmark::DoNotOptimize(digest);
    }
}

struct LargeReply {
    Fixture f;
    Text result = LargeResult();
    ReplyToken reply = f.server->BuildReply(f.stamp, {{u"GetVOContent", Text(), 0}, {u"result", result, 1}});
};

void BM_Engine_LargeReply(benchmark::State& state)
{
    LargeReply r;
    for (auto _ : state) {
        r.f.handler->SetTokenData(0, TOKEN_DATA_OWN_COPIES, Text(u"GetVOContent"), Text());
        r.f.handler->SetTokenData(1, TOKEN_DATA_OWN_COPIES, Text(u"result"), r.reply.wireValues[1]);
        if (r.f.handler->ValidateToken(r.reply.token) != 0)
            state.SkipWithError("reply did not validate");
    }
    OptText converted;
    r.f.handler->GetTokenData(1, nullptr, nullptr, &converted);
    if (converted != r.result)
        state.SkipWithError("wrong result");
}

void BM_Raw_LargeReply(benchmark::State& state)
{
    Raw raw;
    const Text result = LargeResult();
    const ByteBuffer plain = Utf16Bytes(result, true);
    const ByteBuffer packed = CompressBytes(plain);
    const std::string b64 = TextToUtf8(Base64Encode(packed));
    const Text b64Wide = Utf8ToText(b64);
    std::vector<unsigned char> decoded(b64.size()), out(plain.size());
    unsigned char inner[128] = {}, cipher[160], digest[20], proof[24];
    const int n = raw.Cipher(inner, 115, cipher, 1);
    for (auto _ : state) {
        raw.Cipher(cipher, n, inner, 0);
        raw.Cipher(inner, 20, proof, 1);
        const int dl = EVP_DecodeBlock(decoded.data(), reinterpret_cast<const unsigned char*>(b64.data()),
                                       static_cast<int>(b64.size()));
        uLongf ol = out.size();
        uncompress(out.data(), &ol, decoded.data(), static_cast<uLong>(dl));
        raw.Sha1(raw.key, 5, reinterpret_cast<const unsigned char*>(b64Wide.data()), b64Wide.size() * 2, digest);
        benchmark::DoNotOptimize(out.data());
    }
}

BENCHMARK(BM_Engine_SmallCall);
BENCHMARK(BM_Raw_SmallCall);
BENCHMARK(BM_RawKeyed_SmallCall);
BENCHMARK(BM_Engine_LargeReply)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Raw_LargeReply)->Unit(benchmark::kMillisecond);

// Prints the usual table, then each engine/raw ratio.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs)
            times_[r.benchmark_name()] = r.GetAdjustedRealTime() / (r.time_unit == benchmark::kMillisecond ? 1 : 1e6);
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        Ratio("(a) ConstructToken + ValidateToken, three slots", "BM_Engine_SmallCall", "BM_Raw_SmallCall");
        Ratio("(a') the same against raw calls that set each key once", "BM_Engine_SmallCall",
              "BM_RawKeyed_SmallCall");
        Ratio("(b) ValidateToken, 1 MiB compressed result", "BM_Engine_LargeReply", "BM_Raw_LargeReply");
    }

private:
    void Ratio(const char* what, const std::string& engine, const std::string& raw)
    {
        if (times_.count(engine) && times_.count(raw) && times_[raw] > 0)
            std::cout << what << ": " << times_[engine] / times_[raw] << " x the raw cost\n";
    }
    std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv)
{
    // Work in a key container of its own.
    std::string tmpl = (std::filesystem::temp_directory_path() / "tessel-bench-XXXXXX").string();
    if (mkdtemp(tmpl.data()))
        setenv("XDG_DATA_HOME", tmpl.c_str(), 1);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::error_code ec;
    std::filesystem::remove_all(tmpl, ec);
}
