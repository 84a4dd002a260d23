#include "Crypt.h"

#include <openssl/core_names.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/provider.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "KeyContainer.h"
#include "Md2.h"

namespace tessel {

// ---------------------------------------------------------------------------
// OpenSSL plumbing: a private library context, so the host process's own
// OpenSSL set-up is left alone, with the default and legacy providers.

namespace {

struct EvpCipherFree {
    void operator()(EVP_CIPHER* c) const noexcept { EVP_CIPHER_free(c); }
};
struct EvpMdFree {
    void operator()(EVP_MD* m) const noexcept { EVP_MD_free(m); }
};
struct EvpMdCtxFree {
    void operator()(EVP_MD_CTX* c) const noexcept { EVP_MD_CTX_free(c); }
};
struct EvpCipherCtxFree {
    void operator()(EVP_CIPHER_CTX* c) const noexcept { EVP_CIPHER_CTX_free(c); }
};
struct EvpPkeyFree {
    void operator()(EVP_PKEY* k) const noexcept { EVP_PKEY_free(k); }
};
struct EvpPkeyCtxFree {
    void operator()(EVP_PKEY_CTX* c) const noexcept { EVP_PKEY_CTX_free(c); }
};
struct BnFree {
    void operator()(BIGNUM* b) const noexcept { BN_clear_free(b); }
};
struct ParamBldFree {
    void operator()(OSSL_PARAM_BLD* b) const noexcept { OSSL_PARAM_BLD_free(b); }
};
struct ParamFree {
    void operator()(OSSL_PARAM* p) const noexcept { OSSL_PARAM_free(p); }
};
using CipherPtr = std::unique_ptr<EVP_CIPHER, EvpCipherFree>;
using MdPtr = std::unique_ptr<EVP_MD, EvpMdFree>;
using MdCtxPtr = std::unique_ptr<EVP_MD_CTX, EvpMdCtxFree>;
using CipherCtxPtr = std::unique_ptr<EVP_CIPHER_CTX, EvpCipherCtxFree>;
using PkeyPtr = std::unique_ptr<EVP_PKEY, EvpPkeyFree>;
using PkeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, EvpPkeyCtxFree>;
using BnPtr = std::unique_ptr<BIGNUM, BnFree>;

class Ossl {
public:
    // Made at the first use and never destroyed: keys and hashes kept in
    // objects with static storage (a service's sessions, the library's
    // handles) may outlive any other static object, and freeing their cipher
    // contexts needs the providers this owns. The system takes it back at exit.
    static const Ossl& Get()
    {
        static const Ossl& instance = *std::make_unique<const Ossl>(Made{}).release();
        if (!instance.ok_)
            RaiseHResult(static_cast<std::uint32_t>(kNTE_FAIL), "CryptAcquireContext");
        return instance;
    }
    OSSL_LIB_CTX* ctx() const noexcept { return ctx_; }
    const EVP_CIPHER* Cipher(ALG_ID alg) const noexcept
    {
        switch (alg) {
        case CALG_RC2: return rc2_.get();
        case CALG_RC4: return rc4_.get();
        case CALG_DES: return des_.get();
        case CALG_3DES_112: return des2_.get();
        case CALG_3DES: return des3_.get();
        default: return nullptr;
        }
    }
    const EVP_MD* Md(ALG_ID alg) const noexcept
    {
        switch (alg) {
        case CALG_MD4: return md4_.get();
        case CALG_MD5: return md5_.get();
        case CALG_SHA1: return sha1_.get();
        default: return nullptr;
        }
    }

    Ossl(const Ossl&) = delete;
    Ossl& operator=(const Ossl&) = delete;
    ~Ossl()
    {
        rc2_.reset(), rc4_.reset(), des_.reset(), des2_.reset(), des3_.reset();
        md4_.reset(), md5_.reset(), sha1_.reset();
        if (legacy_)
            OSSL_PROVIDER_unload(legacy_);
        if (default_)
            OSSL_PROVIDER_unload(default_);
        OSSL_LIB_CTX_free(ctx_);
    }

private:
    struct Made {
        explicit Made() = default;
    };

public:
    explicit Ossl(Made)  // by Get() alone
        : ctx_(OSSL_LIB_CTX_new())
    {
        if (!ctx_)
            return;
        default_ = OSSL_PROVIDER_load(ctx_, "default");
        legacy_ = OSSL_PROVIDER_load(ctx_, "legacy");
        rc2_.reset(EVP_CIPHER_fetch(ctx_, "RC2-CBC", nullptr));
        rc4_.reset(EVP_CIPHER_fetch(ctx_, "RC4", nullptr));
        des_.reset(EVP_CIPHER_fetch(ctx_, "DES-CBC", nullptr));
        des2_.reset(EVP_CIPHER_fetch(ctx_, "DES-EDE-CBC", nullptr));
        des3_.reset(EVP_CIPHER_fetch(ctx_, "DES-EDE3-CBC", nullptr));
        md4_.reset(EVP_MD_fetch(ctx_, "MD4", nullptr));
        md5_.reset(EVP_MD_fetch(ctx_, "MD5", nullptr));
        sha1_.reset(EVP_MD_fetch(ctx_, "SHA1", nullptr));
        ok_ = default_ && legacy_ && rc2_ && rc4_ && des_ && des2_ && des3_ && md4_ && md5_ && sha1_;
        ERR_clear_error();
    }

private:
    OSSL_LIB_CTX* ctx_ = nullptr;
    OSSL_PROVIDER* default_ = nullptr;
    OSSL_PROVIDER* legacy_ = nullptr;
    CipherPtr rc2_, rc4_, des_, des2_, des3_;
    MdPtr md4_, md5_, sha1_;
    bool ok_ = false;
};

[[noreturn]] void Raise(HRESULT code, const char* op)
{
    ERR_clear_error();
    RaiseHResult(static_cast<std::uint32_t>(code), op);
}

bool IsHashAlg(ALG_ID alg)
{
    return alg == CALG_MD2 || alg == CALG_MD4 || alg == CALG_MD5 || alg == CALG_SHA1;
}

bool IsCipherAlg(ALG_ID alg)
{
    return alg == CALG_RC2 || alg == CALG_RC4 || alg == CALG_DES || alg == CALG_3DES_112 || alg == CALG_3DES;
}

std::uint32_t ReadLe32(const std::uint8_t* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void WriteLe32(std::uint8_t* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

char16_t Lower(char16_t c)
{
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

bool EqualsNoCase(std::u16string_view a, std::u16string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) {
               return Lower(x) == Lower(y);
           });
}

enum class ProviderKind { Base, Enhanced, Strong };

constexpr std::uint32_t kRsaMagicPublic = 0x31415352;   // "RSA1"
constexpr std::uint32_t kRsaMagicPrivate = 0x32415352;  // "RSA2"
constexpr std::uint8_t kCurBlobVersion = 2;

}  // namespace

// ---------------------------------------------------------------------------
// Name tables

std::uint32_t ProviderTypeFromName(std::u16string_view name)
{
    static constexpr struct {
        const char16_t* name;
        std::uint32_t type;
    } kTable[] = {
        {u"PROV_RSA_FULL", 1},      {u"PROV_RSA_SIG", 2},       {u"PROV_DSS", 3},
        {u"PROV_MS_EXCHANGE", 5},   {u"PROV_SSL", 6},           {u"PROV_RSA_SCHANNEL", 12},
        {u"PROV_DSS_DH", 13},       {u"PROV_EC_ECDSA_SIG", 14}, {u"PROV_EC_ECNRA_SIG", 15},
        {u"PROV_EC_ECDSA_FULL", 16}, {u"PROV_EC_ECNRA_FULL", 17}, {u"PROV_DH_SCHANNEL", 18},
        {u"PROV_SPYRUS_LYNKS", 20}, {u"PROV_INTEL_SEC", 22},
    };
    for (const auto& e : kTable)
        if (EqualsNoCase(name, e.name))
            return e.type;
    return 0;
}

ALG_ID AlgorithmIdFromName(std::u16string_view name)
{
    static constexpr struct {
        const char16_t* name;
        ALG_ID id;
    } kTable[] = {
        {u"CALG_MD2", 0x8001},
        {u"CALG_MD4", 0x8002},
        {u"CALG_MD5", 0x8003},
        {u"CALG_SHA", 0x8004},
        {u"CALG_SHA1", 0x8004},
        {u"CALG_MAC", 0x8005},
        {u"CALG_RSA_SIGN", 0x2400},
        {u"CALG_DSS_SIGN", 0x2200},
        {u"CALG_RSA_KEYX", 0xA400},
        {u"CALG_DES", 0x6601},
        {u"CALG_3DES_112", 0x6609},
        {u"CALG_3DES", 0x6603},
        {u"CALG_DESX", 0x6604},
        {u"CALG_RC2", 0x6602},
        {u"CALG_RC4", 0x6801},
        {u"CALG_SEAL", 0x6802},
        {u"CALG_DH_SF", 0xAA01},
        {u"CALG_DH_EPHEM", 0xAA02},
        {u"CALG_AGREEDKEY_ANY", 0xAA03},
        {u"CALG_KEA_KEYX", 0xAA04},
        {u"CALG_HUGHES_MD5", 0xA003},
        {u"CALG_SKIPJACK", 0x660A},
        {u"CALG_TEK", 0x660B},
        {u"CALG_CYLINK_MEK", 0x660C},
        {u"ALG_SID_SSL3SHAMD5", 8},
        {u"CALG_SSL3_SHAMD5", 0x8008},
        {u"CALG_SSL3_MASTER", 0x4C01},
        {u"CALG_SCHANNEL_MASTER_HASH", 0x4C02},
        {u"CALG_SCHANNEL_MAC_KEY", 0x4C03},
        {u"CALG_SCHANNEL_ENC_KEY", 0x4C07},
        {u"CALG_PCT1_MASTER", 0x4C04},
        {u"CALG_SSL2_MASTER", 0x4C05},
        {u"CALG_TLS1_MASTER", 0x4C06},
        {u"CALG_RC5", 0x660D},
        {u"CALG_HMAC", 0x8009},
        {u"CALG_TLS1PRF", 0x800A},
    };
    for (const auto& e : kTable)
        if (EqualsNoCase(name, e.name))
            return e.id;
    return 0;
}

// ---------------------------------------------------------------------------
// State behind the wrappers

struct ProviderState {
    std::u16string name;
    ProviderKind kind = ProviderKind::Base;
    std::optional<KeyContainer> container;  // absent for CRYPT_VERIFYCONTEXT
    mutable std::mutex ephemeralMutex;      // guards the verify-context pair
    mutable std::optional<ByteBuffer> ephemeralPair;
};

struct HashState {
    ALG_ID alg = 0;
    MdCtxPtr md;
    std::optional<Md2> md2;
    std::optional<ByteBuffer> value;  // set once the hash is finished
};

struct KeyState {
    ALG_ID alg = 0;
    bool exportable = false;
    // Symmetric keys.
    std::vector<std::uint8_t> key;
    std::optional<std::vector<std::uint8_t>> salt;
    std::uint32_t effectiveBits = 0;
    // One context a direction, keyed at its first use and kept for the key's
    // life: a message after a final call starts again from the key's initial
    // state instead of keying a new context.
    struct CipherStream {
        CipherCtxPtr ctx;
        bool midMessage = false;  // between a non-final call and the final one
    };
    CipherStream encrypt, decrypt;
    // RSA keys.
    PkeyPtr rsa;
    bool hasPrivate = false;
    std::uint32_t rsaBits = 0;

    ~KeyState() { std::fill(key.begin(), key.end(), std::uint8_t{0}); }
};

namespace {

// ---- RSA helpers ----------------------------------------------------------

BnPtr BnFromLe(const std::uint8_t* p, std::size_t n)
{
    BnPtr bn(BN_lebin2bn(p, static_cast<int>(n), nullptr));
    if (!bn)
        Raise(kNTE_NO_MEMORY, "CryptImportKey");
    return bn;
}

BnPtr GetBn(const EVP_PKEY* k, const char* name)
{
    BIGNUM* b = nullptr;
    if (!EVP_PKEY_get_bn_param(k, name, &b))
        return nullptr;
    return BnPtr(b);
}

void PutLe(std::vector<std::uint8_t>& out, const BIGNUM* bn, std::size_t len)
{
    const std::size_t at = out.size();
    out.resize(at + len);
    if (bn && BN_bn2lebinpad(bn, out.data() + at, static_cast<int>(len)) < 0)
        Raise(kNTE_BAD_KEY, "CryptExportKey");
}

struct RsaParts {
    std::uint32_t bits = 0;
    std::uint32_t pubexp = 0;
    BnPtr n, e, d, p, q, dp, dq, qi;
};

PkeyPtr PkeyFromParts(const RsaParts& parts, bool withPrivate, const char* op)
{
    std::unique_ptr<OSSL_PARAM_BLD, ParamBldFree> bld(OSSL_PARAM_BLD_new());
    if (!bld)
        Raise(kNTE_NO_MEMORY, op);
    bool ok = OSSL_PARAM_BLD_push_BN(bld.get(), OSSL_PKEY_PARAM_RSA_N, parts.n.get()) &&
              OSSL_PARAM_BLD_push_BN(bld.get(), OSSL_PKEY_PARAM_RSA_E, parts.e.get());
    if (withPrivate) {
        ok = ok && OSSL_PARAM_BLD_push_BN(bld.get(), OSSL_PKEY_PARAM_RSA_D, parts.d.get()) &&
             OSSL_PARAM_BLD_push_BN(bld.get(), OSSL_PKEY_PARAM_RSA_FACTOR1, parts.p.get()) &&
             OSSL_PARAM_BLD_push_BN(bld.get(), OSSL_PKEY_PARAM_RSA_FACTOR2, parts.q.get()) &&
             OSSL_PARAM_BLD_push_BN(bld.get(), OSSL_PKEY_PARAM_RSA_EXPONENT1, parts.dp.get()) &&
             OSSL_PARAM_BLD_push_BN(bld.get(), OSSL_PKEY_PARAM_RSA_EXPONENT2, parts.dq.get()) &&
             OSSL_PARAM_BLD_push_BN(bld.get(), OSSL_PKEY_PARAM_RSA_COEFFICIENT1, parts.qi.get());
    }
    if (!ok)
        Raise(kNTE_NO_MEMORY, op);
    std::unique_ptr<OSSL_PARAM, ParamFree> params(OSSL_PARAM_BLD_to_param(bld.get()));
    PkeyCtxPtr pctx(EVP_PKEY_CTX_new_from_name(Ossl::Get().ctx(), "RSA", nullptr));
    EVP_PKEY* pkey = nullptr;
    if (!params || !pctx || EVP_PKEY_fromdata_init(pctx.get()) <= 0 ||
        EVP_PKEY_fromdata(pctx.get(), &pkey, withPrivate ? EVP_PKEY_KEYPAIR : EVP_PKEY_PUBLIC_KEY, params.get()) <= 0)
        Raise(kNTE_BAD_DATA, op);
    return PkeyPtr(pkey);
}

// Parses a PUBLICKEYBLOB or PRIVATEKEYBLOB (header already checked).
RsaParts ParseRsaBlob(const std::uint8_t* blob, std::uint32_t size, bool priv, const char* op)
{
    if (size < 20)
        Raise(kNTE_BAD_DATA, op);
    RsaParts parts;
    const std::uint32_t magic = ReadLe32(blob + 8);
    parts.bits = ReadLe32(blob + 12);
    parts.pubexp = ReadLe32(blob + 16);
    if (magic != (priv ? kRsaMagicPrivate : kRsaMagicPublic) || parts.bits < 256 || parts.bits > 16384 ||
        parts.bits % 16 != 0 || parts.pubexp == 0)
        Raise(kNTE_BAD_DATA, op);
    const std::size_t n8 = parts.bits / 8;
    const std::size_t n16 = parts.bits / 16;
    const std::size_t need = 20 + n8 + (priv ? 5 * n16 + n8 : 0);
    if (size < need)
        Raise(kNTE_BAD_DATA, op);
    const std::uint8_t* p = blob + 20;
    std::uint8_t e[4];
    WriteLe32(e, parts.pubexp);
    parts.e = BnFromLe(e, 4);
    parts.n = BnFromLe(p, n8), p += n8;
    if (priv) {
        parts.p = BnFromLe(p, n16), p += n16;
        parts.q = BnFromLe(p, n16), p += n16;
        parts.dp = BnFromLe(p, n16), p += n16;
        parts.dq = BnFromLe(p, n16), p += n16;
        parts.qi = BnFromLe(p, n16), p += n16;
        parts.d = BnFromLe(p, n8);
    }
    return parts;
}

std::unique_ptr<KeyState> RsaKeyFromBlob(const std::uint8_t* blob, std::uint32_t size, bool priv, const char* op)
{
    const RsaParts parts = ParseRsaBlob(blob, size, priv, op);
    auto key = std::make_unique<KeyState>();
    key->alg = ReadLe32(blob + 4);
    key->rsa = PkeyFromParts(parts, priv, op);
    key->hasPrivate = priv;
    key->rsaBits = parts.bits;
    return key;
}

void PutBlobHeader(std::vector<std::uint8_t>& out, std::uint8_t type, ALG_ID alg)
{
    out.push_back(type);
    out.push_back(kCurBlobVersion);
    out.push_back(0);
    out.push_back(0);
    std::uint8_t a[4];
    WriteLe32(a, alg);
    out.insert(out.end(), a, a + 4);
}

std::vector<std::uint8_t> RsaBlob(const KeyState& k, bool priv)
{
    std::vector<std::uint8_t> out;
    PutBlobHeader(out, priv ? PRIVATEKEYBLOB : PUBLICKEYBLOB, k.alg);
    const BnPtr n = GetBn(k.rsa.get(), OSSL_PKEY_PARAM_RSA_N);
    const BnPtr e = GetBn(k.rsa.get(), OSSL_PKEY_PARAM_RSA_E);
    if (!n || !e)
        Raise(kNTE_BAD_KEY, "CryptExportKey");
    std::uint8_t hdr[12];
    WriteLe32(hdr, priv ? kRsaMagicPrivate : kRsaMagicPublic);
    WriteLe32(hdr + 4, k.rsaBits);
    WriteLe32(hdr + 8, static_cast<std::uint32_t>(BN_get_word(e.get())));
    out.insert(out.end(), hdr, hdr + 12);
    const std::size_t n8 = k.rsaBits / 8, n16 = k.rsaBits / 16;
    PutLe(out, n.get(), n8);
    if (priv) {
        for (const char* name : {OSSL_PKEY_PARAM_RSA_FACTOR1, OSSL_PKEY_PARAM_RSA_FACTOR2,
                                 OSSL_PKEY_PARAM_RSA_EXPONENT1, OSSL_PKEY_PARAM_RSA_EXPONENT2,
                                 OSSL_PKEY_PARAM_RSA_COEFFICIENT1}) {
            const BnPtr v = GetBn(k.rsa.get(), name);
            if (!v)
                Raise(kNTE_BAD_KEY, "CryptExportKey");
            PutLe(out, v.get(), n16);
        }
        const BnPtr d = GetBn(k.rsa.get(), OSSL_PKEY_PARAM_RSA_D);
        if (!d)
            Raise(kNTE_BAD_KEY, "CryptExportKey");
        PutLe(out, d.get(), n8);
    }
    return out;
}

bool SamePublicKey(const KeyState& a, const KeyState& b)
{
    if (!a.rsa || !b.rsa)
        return false;
    const BnPtr an = GetBn(a.rsa.get(), OSSL_PKEY_PARAM_RSA_N), bn = GetBn(b.rsa.get(), OSSL_PKEY_PARAM_RSA_N);
    const BnPtr ae = GetBn(a.rsa.get(), OSSL_PKEY_PARAM_RSA_E), be = GetBn(b.rsa.get(), OSSL_PKEY_PARAM_RSA_E);
    return an && bn && ae && be && BN_cmp(an.get(), bn.get()) == 0 && BN_cmp(ae.get(), be.get()) == 0;
}

ByteBuffer GenerateRsaPrivateBlob(std::uint32_t bits, const char* op)
{
    PkeyCtxPtr pctx(EVP_PKEY_CTX_new_from_name(Ossl::Get().ctx(), "RSA", nullptr));
    EVP_PKEY* pkey = nullptr;
    if (!pctx || EVP_PKEY_keygen_init(pctx.get()) <= 0 ||
        EVP_PKEY_CTX_set_rsa_keygen_bits(pctx.get(), static_cast<int>(bits)) <= 0 ||
        EVP_PKEY_keygen(pctx.get(), &pkey) <= 0)
        Raise(kNTE_FAIL, op);
    KeyState k;
    k.alg = CALG_RSA_KEYX;
    k.rsa.reset(pkey);
    k.hasPrivate = true;
    k.rsaBits = bits;
    const auto blob = RsaBlob(k, true);
    return ByteBuffer(blob.data(), static_cast<std::uint32_t>(blob.size()));
}

// ---- symmetric helpers ----------------------------------------------------

std::uint32_t BlockBytes(ALG_ID alg)
{
    return alg == CALG_RC4 ? 0 : 8;
}

// Key lengths in bytes: the provider's default, and the range a caller may ask
// for in the upper 16 bits of the flags.
struct KeyLengths {
    std::uint32_t def, min, max;
};

std::optional<KeyLengths> LengthsFor(ProviderKind kind, ALG_ID alg)
{
    const bool base = kind == ProviderKind::Base;
    switch (alg) {
    case CALG_RC2:
    case CALG_RC4: return base ? KeyLengths{5, 5, 7} : KeyLengths{16, 5, 16};
    case CALG_DES: return KeyLengths{8, 8, 8};
    case CALG_3DES_112:
        if (base)
            return std::nullopt;
        return KeyLengths{16, 16, 16};
    case CALG_3DES:
        if (base)
            return std::nullopt;
        return KeyLengths{24, 24, 24};
    default: return std::nullopt;
    }
}

std::unique_ptr<KeyState> MakeSymmetricKey(ProviderKind kind, ALG_ID alg, std::vector<std::uint8_t> bytes,
                                           bool exportable)
{
    auto key = std::make_unique<KeyState>();
    key->alg = alg;
    key->exportable = exportable;
    if (alg == CALG_RC2 || alg == CALG_RC4) {
        // The base provider's 40-bit keys carry eleven zero salt bytes.
        if (kind == ProviderKind::Base && bytes.size() == 5)
            key->salt = std::vector<std::uint8_t>(11, 0);
        else
            key->salt = std::vector<std::uint8_t>();
    }
    key->effectiveBits = alg == CALG_RC2 ? static_cast<std::uint32_t>(bytes.size() * 8) : 0;
    key->key = std::move(bytes);
    return key;
}

// The bytes a cipher is keyed with: key, salt, and for two-key triple DES
// the first key again.
std::vector<std::uint8_t> CipherKeyBytes(const KeyState& k)
{
    std::vector<std::uint8_t> bytes = k.key;
    if (k.salt)
        bytes.insert(bytes.end(), k.salt->begin(), k.salt->end());
    if (k.alg == CALG_3DES_112)
        bytes.insert(bytes.end(), k.key.begin(), k.key.begin() + 8);
    return bytes;
}

CipherCtxPtr OpenCipher(const KeyState& k, bool encrypt, const char* op)
{
    const EVP_CIPHER* cipher = Ossl::Get().Cipher(k.alg);
    if (!cipher)
        Raise(kNTE_BAD_KEY, op);
    CipherCtxPtr ctx(EVP_CIPHER_CTX_new());
    if (!ctx)
        Raise(kNTE_NO_MEMORY, op);
    std::vector<std::uint8_t> keyBytes = CipherKeyBytes(k);
    std::size_t keyLen = keyBytes.size();
    std::size_t rc2Bits = k.effectiveBits;
    OSSL_PARAM params[3];
    int np = 0;
    if (k.alg == CALG_RC2 || k.alg == CALG_RC4)
        params[np++] = OSSL_PARAM_construct_size_t(OSSL_CIPHER_PARAM_KEYLEN, &keyLen);
    if (k.alg == CALG_RC2)
        params[np++] = OSSL_PARAM_construct_size_t(OSSL_CIPHER_PARAM_RC2_KEYBITS, &rc2Bits);
    params[np] = OSSL_PARAM_construct_end();
    static const std::uint8_t zeroIv[8] = {};
    const bool ok = EVP_CipherInit_ex2(ctx.get(), cipher, nullptr, nullptr, encrypt ? 1 : 0, params) &&
                    EVP_CipherInit_ex2(ctx.get(), nullptr, keyBytes.data(), zeroIv, encrypt ? 1 : 0, nullptr) &&
                    EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
    std::fill(keyBytes.begin(), keyBytes.end(), std::uint8_t{0});
    if (!ok)
        Raise(kNTE_BAD_KEY, op);
    return ctx;
}

// Puts a keyed context back where OpenCipher left it: a block cipher at the
// zero IV (its key schedule is kept), a stream cipher keyed again.
bool RestartCipher(const KeyState& k, EVP_CIPHER_CTX* ctx, bool encrypt)
{
    static const std::uint8_t zeroIv[8] = {};
    if (BlockBytes(k.alg))
        return EVP_CipherInit_ex2(ctx, nullptr, nullptr, zeroIv, encrypt ? 1 : 0, nullptr);
    std::vector<std::uint8_t> keyBytes = CipherKeyBytes(k);
    const bool ok = EVP_CipherInit_ex2(ctx, nullptr, keyBytes.data(), nullptr, encrypt ? 1 : 0, nullptr);
    std::fill(keyBytes.begin(), keyBytes.end(), std::uint8_t{0});
    return ok;
}

// The context a message continues in: the one a non-final call left open, or
// the direction's context started afresh. The stream counts as between
// messages until the caller marks it otherwise after a successful call.
EVP_CIPHER_CTX* BeginMessage(const KeyState& k, KeyState::CipherStream& stream, bool encrypt, const char* op)
{
    const bool continues = stream.midMessage;
    stream.midMessage = false;
    if (!stream.ctx) {
        stream.ctx = OpenCipher(k, encrypt, op);
    } else if (!continues && !RestartCipher(k, stream.ctx.get(), encrypt)) {
        stream.ctx.reset();
        Raise(kNTE_BAD_KEY, op);
    }
    return stream.ctx.get();
}

void RunCipher(EVP_CIPHER_CTX* ctx, std::uint8_t* buf, std::uint32_t len, const char* op)
{
    int outLen = 0;
    if (len && !EVP_CipherUpdate(ctx, buf, &outLen, buf, static_cast<int>(len)))
        Raise(kNTE_FAIL, op);
}

ProviderKind KindOf(const ProviderState& s)
{
    return s.kind;
}

}  // namespace

// ---------------------------------------------------------------------------
// CryptKey

CryptKey::CryptKey() noexcept = default;
CryptKey::CryptKey(std::unique_ptr<KeyState> state) noexcept : state_(std::move(state)) {}
CryptKey::CryptKey(CryptKey&&) noexcept = default;
CryptKey& CryptKey::operator=(CryptKey&&) noexcept = default;
CryptKey::~CryptKey() = default;

ALG_ID CryptKey::Algorithm() const
{
    if (!state_)
        Raise(kNTE_BAD_KEY, "CryptGetKeyParam");
    return state_->alg;
}

std::uint32_t CryptKey::BlockLength() const
{
    if (!state_)
        RaiseHResult(kERROR_INVALID_PARAMETER, "CryptGetKeyParam");
    if (state_->rsa)
        return state_->rsaBits;
    return BlockBytes(state_->alg) * 8;
}

std::uint32_t CryptKey::KeyLength() const
{
    if (!state_)
        RaiseHResult(kERROR_INVALID_PARAMETER, "CryptGetKeyParam");
    if (state_->rsa)
        return state_->rsaBits;
    return static_cast<std::uint32_t>(state_->key.size() * 8);
}

std::uint32_t CryptKey::EffectiveKeyLength() const
{
    if (!state_)
        RaiseHResult(kERROR_INVALID_PARAMETER, "CryptGetKeyParam");
    if (state_->alg != CALG_RC2)
        Raise(kNTE_BAD_TYPE, "CryptGetKeyParam");
    return state_->effectiveBits;
}

std::optional<ByteBuffer> CryptKey::Salt() const
{
    if (!state_)
        RaiseHResult(kERROR_INVALID_PARAMETER, "CryptGetKeyParam");
    if (!state_->salt)
        return std::nullopt;
    return ByteBuffer(state_->salt->data(), static_cast<std::uint32_t>(state_->salt->size()));
}

ByteBuffer CryptKey::Export(std::uint32_t blobType, const CryptKey* exportingKey) const
{
    constexpr const char* op = "CryptExportKey";
    if (!state_)
        RaiseHResult(kERROR_INVALID_PARAMETER, op);
    const KeyState& k = *state_;
    std::vector<std::uint8_t> out;
    switch (blobType) {
    case PUBLICKEYBLOB:
        if (!k.rsa)
            Raise(kNTE_BAD_KEY, op);
        out = RsaBlob(k, false);
        break;
    case PRIVATEKEYBLOB:
        if (!k.rsa || !k.hasPrivate)
            Raise(kNTE_BAD_KEY, op);
        if (!k.exportable)
            Raise(kNTE_BAD_KEY_STATE, op);
        out = RsaBlob(k, true);
        break;
    case SIMPLEBLOB: {
        if (k.rsa)
            Raise(kNTE_BAD_KEY, op);
        if (!k.exportable)
            Raise(kNTE_BAD_KEY_STATE, op);
        if (!exportingKey || !exportingKey->state_ || !exportingKey->state_->rsa)
            Raise(kNTE_BAD_KEY, op);
        const KeyState& wrap = *exportingKey->state_;
        PkeyCtxPtr pctx(EVP_PKEY_CTX_new_from_pkey(Ossl::Get().ctx(), wrap.rsa.get(), nullptr));
        std::size_t outLen = wrap.rsaBits / 8;
        std::vector<std::uint8_t> cipher(outLen);
        if (!pctx || EVP_PKEY_encrypt_init(pctx.get()) <= 0 ||
            EVP_PKEY_CTX_set_rsa_padding(pctx.get(), RSA_PKCS1_PADDING) <= 0 ||
            EVP_PKEY_encrypt(pctx.get(), cipher.data(), &outLen, k.key.data(), k.key.size()) <= 0)
            Raise(kNTE_BAD_KEY, op);
        cipher.resize(outLen);
        std::reverse(cipher.begin(), cipher.end());
        PutBlobHeader(out, SIMPLEBLOB, k.alg);
        std::uint8_t a[4];
        WriteLe32(a, wrap.alg ? wrap.alg : CALG_RSA_KEYX);
        out.insert(out.end(), a, a + 4);
        out.insert(out.end(), cipher.begin(), cipher.end());
        break;
    }
    default: Raise(kNTE_BAD_TYPE, op);
    }
    return ByteBuffer(out.data(), static_cast<std::uint32_t>(out.size()));
}

ByteBuffer CryptKey::Encrypt(const std::uint8_t* data, std::uint32_t size, bool final, CryptHash* hash)
{
    constexpr const char* op = "CryptEncrypt";
    if (!state_)
        RaiseHResult(kERROR_INVALID_PARAMETER, op);
    KeyState& k = *state_;
    if (k.rsa)
        Raise(kNTE_BAD_KEY, op);
    const std::uint32_t b = BlockBytes(k.alg);
    std::uint32_t n = size;
    if (!final && b)
        n = (n + b - 1) / b * b;  // a non-final block is filled with zeros
    const std::uint32_t pad = final && b ? b - n % b : 0;
    if (hash)
        hash->HashData(data, size);
    ByteBuffer out(n + pad, ByteBuffer::Uninitialized{});
    if (size)
        std::memcpy(out.data(), data, size);
    if (n > size)
        std::memset(out.data() + size, 0, n - size);  // a non-final call's last block
    if (pad)
        std::memset(out.data() + n, static_cast<int>(pad), pad);
    RunCipher(BeginMessage(k, k.encrypt, true, op), out.data(), out.size(), op);
    k.encrypt.midMessage = !final;
    return out;
}

ByteBuffer CryptKey::Decrypt(const std::uint8_t* data, std::uint32_t size, bool final, CryptHash* hash)
{
    constexpr const char* op = "CryptDecrypt";
    if (!state_)
        RaiseHResult(kERROR_INVALID_PARAMETER, op);
    KeyState& k = *state_;
    if (k.rsa)
        Raise(kNTE_BAD_KEY, op);
    const std::uint32_t b = BlockBytes(k.alg);
    if (b && size % b != 0) {
        k.decrypt.midMessage = false;
        Raise(kNTE_BAD_DATA, op);
    }
    ByteBuffer out(data, size);
    RunCipher(BeginMessage(k, k.decrypt, false, op), out.data(), out.size(), op);
    k.decrypt.midMessage = !final;
    if (final) {
        if (b) {
            const std::uint32_t pad = size ? out[size - 1] : 0;
            if (pad == 0 || pad > b || pad > size)
                Raise(kNTE_BAD_DATA, op);
            for (std::uint32_t i = size - pad; i < size; ++i)
                if (out[i] != pad)
                    Raise(kNTE_BAD_DATA, op);
            out.Truncate(size - pad);
        }
    }
    if (hash)
        hash->HashData(out.data(), out.size());
    return out;
}

// ---------------------------------------------------------------------------
// CryptHash

CryptHash::CryptHash() noexcept = default;
CryptHash::CryptHash(std::unique_ptr<HashState> state) noexcept : state_(std::move(state)) {}
CryptHash::CryptHash(CryptHash&&) noexcept = default;
CryptHash& CryptHash::operator=(CryptHash&&) noexcept = default;
CryptHash::~CryptHash() = default;

void CryptHash::HashData(const std::uint8_t* data, std::uint32_t size)
{
    constexpr const char* op = "CryptHashData";
    if (!state_ || (!data && size))
        RaiseHResult(kERROR_INVALID_PARAMETER, op);
    if (state_->value)
        Raise(kNTE_BAD_HASH_STATE, op);
    if (state_->md2)
        state_->md2->Update(data, size);
    else if (size && !EVP_DigestUpdate(state_->md.get(), data, size))
        Raise(kNTE_FAIL, op);
}

void CryptHash::HashSessionKey(const CryptKey& key)
{
    constexpr const char* op = "CryptHashSessionKey";
    if (!state_ || key.empty())
        RaiseHResult(kERROR_INVALID_PARAMETER, op);
    const KeyState& k = *key.state();
    if (k.rsa)
        Raise(kNTE_BAD_KEY, op);
    if (state_->value)
        Raise(kNTE_BAD_HASH_STATE, op);
    std::vector<std::uint8_t> reversed(k.key.rbegin(), k.key.rend());
    HashData(reversed.data(), static_cast<std::uint32_t>(reversed.size()));
    std::fill(reversed.begin(), reversed.end(), std::uint8_t{0});
}

ByteBuffer CryptHash::HashValue()
{
    constexpr const char* op = "CryptGetHashParam";
    if (!state_)
        RaiseHResult(kERROR_INVALID_PARAMETER, op);
    if (!state_->value) {
        if (state_->md2) {
            const auto digest = state_->md2->Final();
            state_->value = ByteBuffer(digest.data(), static_cast<std::uint32_t>(digest.size()));
        } else {
            std::uint8_t digest[EVP_MAX_MD_SIZE];
            unsigned len = 0;
            if (!EVP_DigestFinal_ex(state_->md.get(), digest, &len))
                Raise(kNTE_FAIL, op);
            state_->value = ByteBuffer(digest, len);
        }
    }
    return state_->value->Copy();
}

void CryptHash::Restart()
{
    constexpr const char* op = "CryptCreateHash";
    if (!state_)
        RaiseHResult(kERROR_INVALID_PARAMETER, op);
    state_->value.reset();
    if (state_->md2)
        state_->md2.emplace();
    else if (!EVP_DigestInit_ex2(state_->md.get(), Ossl::Get().Md(state_->alg), nullptr))
        Raise(kNTE_FAIL, op);
}

// ---------------------------------------------------------------------------
// CryptProvider

CryptProvider::CryptProvider() noexcept = default;
CryptProvider::CryptProvider(std::shared_ptr<const ProviderState> state) noexcept : state_(std::move(state)) {}
CryptProvider::CryptProvider(CryptProvider&&) noexcept = default;
CryptProvider& CryptProvider::operator=(CryptProvider&&) noexcept = default;
CryptProvider::~CryptProvider() = default;

namespace {

// The emulated CryptAcquireContextW: returns the context, or the error code
// the platform would leave as its last error.
std::shared_ptr<ProviderState> TryAcquire(const std::optional<std::u16string>& container, const std::u16string& name,
                                          std::uint32_t type, std::uint32_t flags, std::uint32_t& error)
{
    error = 0;
    auto state = std::make_shared<ProviderState>();
    if (name == kBaseProviderName)
        state->kind = ProviderKind::Base;
    else if (name == kEnhancedProviderName)
        state->kind = ProviderKind::Enhanced;
    else if (name == kStrongProviderName)
        state->kind = ProviderKind::Strong;
    else {
        error = static_cast<std::uint32_t>(kNTE_KEYSET_NOT_DEF);
        return nullptr;
    }
    if (type != PROV_RSA_FULL) {
        error = static_cast<std::uint32_t>(kNTE_PROV_TYPE_NO_MATCH);
        return nullptr;
    }
    state->name = name;
    const std::uint32_t known = CRYPT_NEWKEYSET | CRYPT_DELETEKEYSET | CRYPT_VERIFYCONTEXT;
    if (flags & ~known) {
        error = static_cast<std::uint32_t>(kNTE_BAD_FLAGS);
        return nullptr;
    }
    if ((flags & CRYPT_VERIFYCONTEXT) == CRYPT_VERIFYCONTEXT)
        return state;
    try {
        Ossl::Get();
        KeyContainer box(name, container);
        if (flags & CRYPT_DELETEKEYSET) {
            box.Delete();
            return nullptr;
        }
        if (flags & CRYPT_NEWKEYSET)
            box.Create();
        else if (!box.Exists()) {
            error = static_cast<std::uint32_t>(kNTE_BAD_KEYSET);
            return nullptr;
        }
        state->container.emplace(std::move(box));
    } catch (const HResultError& e) {
        error = static_cast<std::uint32_t>(e.code());
        return nullptr;
    }
    return state;
}

}  // namespace

CryptProvider CryptProvider::AcquireProviderContext(const std::optional<std::u16string>& container,
                                                    const std::optional<std::u16string>& providerName,
                                                    std::uint32_t providerType, std::uint32_t flags)
{
    const std::u16string name = providerName ? *providerName : std::u16string(kBaseProviderName);
    const std::uint32_t type = providerType ? providerType : PROV_RSA_FULL;
    std::uint32_t error = 0;
    if (auto state = TryAcquire(container, name, type, flags, error))
        return CryptProvider(std::move(state));
    if (flags & CRYPT_DELETEKEYSET) {
        if (error)
            RaiseHResult(error, "CryptAcquireContext");
        return CryptProvider();
    }
    if (error == 0 || error == static_cast<std::uint32_t>(kNTE_BAD_KEYSET)) {
        if (auto state = TryAcquire(container, name, type, flags | CRYPT_NEWKEYSET, error))
            return CryptProvider(std::move(state));
        // Another process made the container in the meantime: open it.
        if (error == static_cast<std::uint32_t>(kNTE_EXISTS) && !(flags & CRYPT_NEWKEYSET))
            if (auto state = TryAcquire(container, name, type, flags, error))
                return CryptProvider(std::move(state));
        RaiseHResult(error, "CryptAcquireContext(CRYPT_NEWKEYSET)");
    }
    RaiseHResult(error, "CryptAcquireContext");
}

const std::u16string& CryptProvider::Name() const
{
    if (!state_)
        RaiseHResult(kERROR_INVALID_PARAMETER, "CryptGetProvParam");
    return state_->name;
}

ByteBuffer CryptProvider::GenerateRandom(std::uint32_t length) const
{
    constexpr const char* op = "CryptGenRandom";
    if (!state_)
        RaiseHResult(kERROR_INVALID_PARAMETER, op);
    ByteBuffer out(length, ByteBuffer::Uninitialized{});
    if (length && RAND_bytes_ex(Ossl::Get().ctx(), out.data(), length, 0) != 1)
        Raise(kNTE_FAIL, op);
    return out;
}

CryptKey CryptProvider::GenerateKey(ALG_ID algorithm, std::uint32_t flags) const
{
    constexpr const char* op = "CryptGenKey()";
    if (!state_)
        RaiseHResult(kERROR_INVALID_PARAMETER, op);
    const bool exportable = flags & CRYPT_EXPORTABLE;
    if (algorithm == AT_KEYEXCHANGE || algorithm == CALG_RSA_KEYX) {
        const std::uint32_t bits =
            (flags >> 16) ? (flags >> 16) : (state_->kind == ProviderKind::Base ? 512u : 1024u);
        if (bits < 512 || bits > 16384 || bits % 64 != 0)
            Raise(kNTE_BAD_FLAGS, op);
        ByteBuffer blob = GenerateRsaPrivateBlob(bits, op);
        if (state_->container)
            state_->container->StoreExchangePair(blob);
        else {
            const std::lock_guard<std::mutex> lock(state_->ephemeralMutex);
            state_->ephemeralPair = blob.Copy();
        }
        auto key = RsaKeyFromBlob(blob.data(), blob.size(), true, op);
        key->exportable = exportable;
        return CryptKey(std::move(key));
    }
    const auto lengths = LengthsFor(KindOf(*state_), algorithm);
    if (!lengths)
        Raise(kNTE_BAD_ALGID, op);
    std::uint32_t len = lengths->def;
    if (const std::uint32_t bits = flags >> 16) {
        if (bits % 8 || bits / 8 < lengths->min || bits / 8 > lengths->max)
            Raise(kNTE_BAD_FLAGS, op);
        len = bits / 8;
    }
    std::vector<std::uint8_t> bytes(len);
    if (RAND_bytes_ex(Ossl::Get().ctx(), bytes.data(), len, 0) != 1)
        Raise(kNTE_FAIL, op);
    return CryptKey(MakeSymmetricKey(state_->kind, algorithm, std::move(bytes), exportable));
}

CryptKey CryptProvider::DeriveKey(ALG_ID algorithm, CryptHash& hash, std::uint32_t flags) const
{
    constexpr const char* op = "CryptDeriveKey";
    if (!state_ || hash.empty())
        RaiseHResult(kERROR_INVALID_PARAMETER, op);
    const auto lengths = LengthsFor(KindOf(*state_), algorithm);
    if (!lengths)
        Raise(kNTE_BAD_ALGID, op);
    std::uint32_t len = lengths->def;
    if (const std::uint32_t bits = flags >> 16) {
        if (bits % 8 || bits / 8 < lengths->min || bits / 8 > lengths->max)
            Raise(kNTE_BAD_FLAGS, op);
        len = bits / 8;
    }
    const ALG_ID hashAlg = hash.state()->alg;
    const ByteBuffer value = hash.HashValue();
    std::vector<std::uint8_t> bytes;
    if (len <= value.size()) {
        bytes.assign(value.begin(), value.begin() + len);
    } else {
        // A key longer than the hash value: hash the value XORed into 64
        // bytes of 0x36, then into 64 bytes of 0x5C, and take the leading
        // bytes of the two results.
        bytes.reserve(2 * value.size());
        for (const std::uint8_t fill : {std::uint8_t{0x36}, std::uint8_t{0x5C}}) {
            std::array<std::uint8_t, 64> block;
            block.fill(fill);
            for (std::uint32_t i = 0; i < value.size() && i < block.size(); ++i)
                block[i] ^= value[i];
            CryptHash h = CreateHash(hashAlg);
            h.HashData(block.data(), static_cast<std::uint32_t>(block.size()));
            const ByteBuffer part = h.HashValue();
            bytes.insert(bytes.end(), part.begin(), part.end());
        }
        if (bytes.size() < len)
            Raise(kNTE_BAD_LEN, op);
        bytes.resize(len);
    }
    return CryptKey(MakeSymmetricKey(state_->kind, algorithm, std::move(bytes), flags & CRYPT_EXPORTABLE));
}

CryptKey CryptProvider::GetExchangeKey() const
{
    constexpr const char* op = "CryptGetUserKey(AT_KEYEXCHANGE)";
    if (!state_)
        RaiseHResult(kERROR_INVALID_PARAMETER, op);
    const std::uint32_t bits = state_->kind == ProviderKind::Base ? 512 : 1024;
    const auto generate = [bits] { return GenerateRsaPrivateBlob(bits, "CryptGenKey()"); };
    // A stored blob that is no key-exchange pair is a damaged container entry.
    std::unique_ptr<KeyState> pair;
    const auto parse = [&pair](const ByteBuffer& blob) {
        if (blob.size() < 8 || blob[0] != PRIVATEKEYBLOB || ReadLe32(blob.data() + 4) != CALG_RSA_KEYX)
            return false;
        try {
            pair = RsaKeyFromBlob(blob.data(), blob.size(), true, op);
        } catch (const HResultError&) {
            return false;
        }
        return true;
    };
    ByteBuffer blob;
    if (state_->container) {
        blob = state_->container->LoadOrCreateExchangePair(generate, parse);
    } else {
        const std::lock_guard<std::mutex> lock(state_->ephemeralMutex);
        if (!state_->ephemeralPair)
            state_->ephemeralPair = generate();
        blob = state_->ephemeralPair->Copy();
    }
    if (!pair && !parse(blob))
        Raise(kNTE_KEYSET_ENTRY_BAD, op);
    return CryptKey(std::move(pair));
}

CryptKey CryptProvider::ImportKey(const std::uint8_t* blob, std::uint32_t size, std::uint32_t flags,
                                  const CryptKey* unwrappingKey) const
{
    constexpr const char* op = "CryptImportKey";
    if (!state_ || !blob || size == 0)
        RaiseHResult(kERROR_INVALID_PARAMETER, op);
    if (size < 8 || blob[1] != kCurBlobVersion || blob[2] != 0 || blob[3] != 0)
        Raise(kNTE_BAD_DATA, op);
    const ALG_ID alg = ReadLe32(blob + 4);
    const bool exportable = flags & CRYPT_EXPORTABLE;
    switch (blob[0]) {
    case PUBLICKEYBLOB: {
        if (alg != CALG_RSA_KEYX && alg != CALG_RSA_SIGN)
            Raise(kNTE_BAD_DATA, op);
        auto key = RsaKeyFromBlob(blob, size, false, op);
        return CryptKey(std::move(key));
    }
    case PRIVATEKEYBLOB: {
        if (alg != CALG_RSA_KEYX && alg != CALG_RSA_SIGN)
            Raise(kNTE_BAD_DATA, op);
        auto key = RsaKeyFromBlob(blob, size, true, op);
        key->exportable = exportable;
        // A key-exchange pair imported into a context becomes its container's pair.
        if (alg == CALG_RSA_KEYX) {
            const ByteBuffer stored(blob, size);
            if (state_->container)
                state_->container->StoreExchangePair(stored);
            else {
                const std::lock_guard<std::mutex> lock(state_->ephemeralMutex);
                state_->ephemeralPair = stored.Copy();
            }
        }
        return CryptKey(std::move(key));
    }
    case SIMPLEBLOB: {
        if (!IsCipherAlg(alg) || size < 12 + 64)
            Raise(kNTE_BAD_DATA, op);
        if (ReadLe32(blob + 8) != CALG_RSA_KEYX)
            Raise(kNTE_BAD_DATA, op);
        // Unwrap with the container's private key whose public half matches
        // the key given (or the container's pair when none is given).
        CryptKey own = GetExchangeKey();
        const KeyState* priv = own.state();
        if (unwrappingKey && !unwrappingKey->empty()) {
            const KeyState& given = *unwrappingKey->state();
            if (given.rsa && given.hasPrivate)
                priv = &given;
            else if (!SamePublicKey(given, *own.state()))
                Raise(kNTE_NO_KEY, op);
        }
        if (size - 12 != priv->rsaBits / 8)
            Raise(kNTE_BAD_DATA, op);
        std::vector<std::uint8_t> cipher(blob + 12, blob + size);
        std::reverse(cipher.begin(), cipher.end());
        PkeyCtxPtr pctx(EVP_PKEY_CTX_new_from_pkey(Ossl::Get().ctx(), priv->rsa.get(), nullptr));
        std::vector<std::uint8_t> plain(cipher.size());
        std::size_t plainLen = plain.size();
        if (!pctx || EVP_PKEY_decrypt_init(pctx.get()) <= 0 ||
            EVP_PKEY_CTX_set_rsa_padding(pctx.get(), RSA_PKCS1_PADDING) <= 0 ||
            EVP_PKEY_decrypt(pctx.get(), plain.data(), &plainLen, cipher.data(), cipher.size()) <= 0)
            Raise(kNTE_BAD_DATA, op);
        plain.resize(plainLen);
        const auto lengths = LengthsFor(KindOf(*state_), alg);
        const bool fits = lengths ? (plainLen >= lengths->min && plainLen <= std::max<std::uint32_t>(lengths->max, 16))
                                  : false;
        if (!fits)
            Raise(lengths ? kNTE_BAD_DATA : kNTE_BAD_ALGID, op);
        return CryptKey(MakeSymmetricKey(state_->kind, alg, std::move(plain), exportable));
    }
    default: Raise(kNTE_BAD_DATA, op);
    }
}

CryptHash CryptProvider::CreateHash(ALG_ID algorithm) const
{
    constexpr const char* op = "CryptCreateHash";
    if (!state_)
        RaiseHResult(kERROR_INVALID_PARAMETER, op);
    if (!IsHashAlg(algorithm))
        Raise(kNTE_BAD_ALGID, op);
    auto state = std::make_unique<HashState>();
    state->alg = algorithm;
    if (algorithm == CALG_MD2) {
        state->md2.emplace();
    } else {
        state->md.reset(EVP_MD_CTX_new());
        if (!state->md || !EVP_DigestInit_ex2(state->md.get(), Ossl::Get().Md(algorithm), nullptr))
            Raise(kNTE_NO_MEMORY, op);
    }
    return CryptHash(std::move(state));
}

}  // namespace tessel
