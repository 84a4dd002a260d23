#include "ClientMACImpl.h"

#include <zlib.h>

#include <bit>
#include <chrono>
#include <cstring>
#include <random>

namespace tessel {

namespace {

[[noreturn]] void Fail(HRESULT code)
{
    throw HResultError(code);
}

class SystemEnv final : public EngineEnvironment {
public:
    ByteBuffer RandomBytes(const CryptProvider& provider, std::uint32_t length) override
    {
        return provider.GenerateRandom(length);
    }
    std::uint32_t PseudoRandom() override
    {
        thread_local std::minstd_rand generator{std::random_device{}()};
        return static_cast<std::uint32_t>(generator());
    }
    std::int64_t CalendarSeconds() override
    {
        return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    }
    UtcTime NowUtc() override { return CurrentUtcTime(); }
};

bool IsEmpty(const OptText& t)
{
    return !t || t->empty();
}

using OptView = std::optional<std::u16string_view>;

bool IsEmpty(const OptView& t)
{
    return !t || t->empty();
}

// Equal texts, compared as memory rather than unit by unit.
bool Same(std::u16string_view a, std::u16string_view b)
{
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(char16_t)) == 0);
}

// SplitAtFirst over views into a text the caller keeps.
std::pair<OptView, OptView> SplitViewAtFirst(const OptView& text, char16_t separator)
{
    if (!text)
        return {std::nullopt, std::nullopt};
    const std::size_t pos = text->find(separator);
    if (pos == std::u16string_view::npos)
        return {text, std::nullopt};
    return {text->substr(0, pos), text->substr(pos + 1)};
}

void PutLe32(std::uint8_t* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t GetLe32(const std::uint8_t* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace

ByteBuffer ScriptedEnvironment::RandomBytes(const CryptProvider& provider, std::uint32_t length)
{
    if (blocks_.empty() || blocks_.front().size() != length)
        return provider.GenerateRandom(length);
    ByteBuffer block = std::move(blocks_.front());
    blocks_.pop_front();
    return block;
}

std::uint32_t ScriptedEnvironment::PseudoRandom()
{
    return blocks_.empty() ? 0 : blocks_.front().size();
}

std::optional<UtcTime> ParseTimestamp(std::u16string_view text)
{
    if (text.size() != 17)
        return std::nullopt;
    unsigned v[17];
    for (std::size_t i = 0; i < 17; ++i) {
        if (text[i] < u'0' || text[i] > u'9')
            return std::nullopt;
        v[i] = text[i] - u'0';
    }
    const auto num = [&](std::size_t at, std::size_t n) {
        unsigned x = 0;
        for (std::size_t i = 0; i < n; ++i)
            x = x * 10 + v[at + i];
        return x;
    };
    return UtcTime{num(0, 4), num(4, 2), num(6, 2), num(8, 2), num(10, 2), num(12, 2), num(14, 3)};
}

std::shared_ptr<EngineEnvironment> SystemEnvironment()
{
    static const std::shared_ptr<EngineEnvironment> env = std::make_shared<SystemEnv>();
    return env;
}

void HashTextBytes(CryptHash& hash, const OptText& text)
{
    if (!text || text->empty())
        return;
    if constexpr (std::endian::native == std::endian::little) {
        // The string's own storage already is its UTF-16LE bytes; fed in
        // pieces whose length fits the hash's 32-bit count.
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(text->data());
        std::size_t left = text->size() * 2;
        constexpr std::size_t kPiece = std::size_t{1} << 30;
        for (; left > kPiece; left -= kPiece, bytes += kPiece)
            hash.HashData(bytes, static_cast<std::uint32_t>(kPiece));
        hash.HashData(bytes, static_cast<std::uint32_t>(left));
    } else {
        hash.HashData(Utf16Bytes(*text, false));
    }
}

HRESULT HResultFromZlib(int code) noexcept
{
    return code == Z_MEM_ERROR || code == Z_BUF_ERROR ? kE_OUTOFMEMORY : kE_INVALIDARG;
}

HRESULT TokenHandler::Release()
{
    const std::unique_ptr<TokenHandler> self(this);
    return 0;
}

std::unique_ptr<TokenHandler> CreateTokenHandler(const OptText& scheme, std::shared_ptr<EngineEnvironment> env)
{
    const OptText text = IsEmpty(scheme) ? OptText(kDefaultScheme) : scheme;
    auto handler = std::make_unique<ClientMACImpl>(env ? std::move(env) : SystemEnvironment());
    if (handler->Initialize(text) != 0)
        Fail(kE_FAIL);
    return handler;
}

std::unique_ptr<TokenHandler> CreateTokenHandler(const OptText& scheme)
{
    return CreateTokenHandler(scheme, SystemEnvironment());
}

ClientMACImpl::ClientMACImpl(std::shared_ptr<EngineEnvironment> env) : env_(std::move(env)) {}

ClientMACImpl::~ClientMACImpl()
{
    slots_.clear();
    sessionHash_ = CryptHash();
    peerKey_ = CryptKey();
    seedKey_ = CryptKey();
    sessionKey_ = CryptKey();
    provider_ = CryptProvider();
}

Text ClientMACImpl::Timestamp()
{
    return FormatTimestamp(env_->NowUtc());
}

CryptHash& ClientMACImpl::SessionHash()
{
    if (sessionHash_.empty())
        sessionHash_ = provider_.CreateHash(sessionHashAlg_);
    else
        sessionHash_.Restart();
    return sessionHash_;
}

std::uint32_t ClientMACImpl::RandomLength(std::uint32_t mask, std::uint32_t base)
{
    const auto t = static_cast<std::uint64_t>(env_->CalendarSeconds());
    return static_cast<std::uint32_t>((t * env_->PseudoRandom()) & mask) + base;
}

SchemeParts ParseScheme(const OptText& scheme)
{
    Text parts[4];
    OptText rest = scheme ? scheme : OptText(Text());
    for (Text& part : parts) {
        auto [head, tail] = SplitAtFirst(rest, u',');
        part = head.value_or(Text());
        rest = tail;
    }
    static const char16_t* const kDefaults[4] = {kBaseProviderName, u"PROV_RSA_FULL", u"CALG_RC2", u"CALG_SHA1"};
    for (int i = 0; i < 4; ++i)
        if (parts[i].empty())
            parts[i] = kDefaults[i];
    return SchemeParts{parts[0], parts[1], parts[2], parts[3]};
}

HRESULT ClientMACImpl::Initialize(const OptText& scheme)
{
    const SchemeParts parts = ParseScheme(scheme);
    CryptProvider provider =
        CryptProvider::AcquireProviderContext(std::nullopt, parts.provider, ProviderTypeFromName(parts.type), 0);
    schemeText_ = parts.Joined();
    provider_ = std::move(provider);
    sessionHash_ = CryptHash();
    seedCipherAlg_ = AlgorithmIdFromName(parts.cipher);
    sessionHashAlg_ = seedHashAlg_ = AlgorithmIdFromName(parts.hash);
    return 0;
}

HRESULT ClientMACImpl::GetTokenScheme(OptText& scheme)
{
    scheme = schemeText_;
    return 0;
}

HRESULT ClientMACImpl::GetTokenSeed(OptText& seed)
{
    const Text t = Timestamp();
    CryptHash hash = provider_.CreateHash(seedHashAlg_);
    const std::uint32_t n = RandomLength(0x1F, 32);
    const ByteBuffer r = env_->RandomBytes(provider_, n);
    hash.HashData(r);
    CryptKey key = provider_.DeriveKey(seedCipherAlg_, hash, 0);
    const ByteBuffer p = provider_.GetExchangeKey().Export(PUBLICKEYBLOB, nullptr);
    const ByteBuffer e = key.Encrypt(SingleByteBytes(t, true));
    seed = Base64Encode(r) + u":" + Base64Encode(e) + u";" + Base64Encode(p);
    seedKey_ = std::move(key);
    return 0;
}

HRESULT ClientMACImpl::SetTokenSeed(const OptText& seed)
{
    if (IsEmpty(seed))
        Fail(kE_INVALIDARG);
    const auto [a, k] = SplitAtFirst(seed, u';');
    const auto [r, e] = SplitAtFirst(a, u':');
    if (IsEmpty(r) || IsEmpty(e) || IsEmpty(k))
        Fail(kE_INVALIDARG);
    CryptHash hash = provider_.CreateHash(seedHashAlg_);
    hash.HashData(Base64Decode(r));
    CryptKey key = provider_.DeriveKey(seedCipherAlg_, hash, 0);
    const ByteBuffer stamp = key.Decrypt(Base64Decode(e));
    CryptKey peer = provider_.ImportKey(Base64Decode(k), 0, nullptr);
    // Nothing changes unless the whole seed was taken.
    seedKey_ = std::move(key);
    lastTimestamp_ = FromSingleByte(stamp.data(), stamp.size());
    peerKey_ = std::move(peer);
    return 0;
}

HRESULT ClientMACImpl::SetTokenItem(const OptText& name, const OptText& value)
{
    if (name == kItemOpaque) {
        opaque_ = value;
        return 0;
    }
    if (name == kItemSessionKey) {
        sessionKey_ = provider_.ImportKey(Base64Decode(value), CRYPT_EXPORTABLE, peerKey_.empty() ? nullptr : &peerKey_);
        return 0;
    }
    Fail(kE_UNEXPECTED);
}

HRESULT ClientMACImpl::GetTokenItem(const OptText& name, OptText& value)
{
    if (name == kItemOpaque) {
        value = opaque_;
        return 0;
    }
    if (name == kItemSessionKey) {
        const CryptKey exchange = provider_.GetExchangeKey();
        value = Base64Encode(sessionKey_.Export(SIMPLEBLOB, &exchange));
        return 0;
    }
    Fail(kE_UNEXPECTED);
}

HRESULT ClientMACImpl::SetTokenData(std::uint32_t index, std::uint32_t flags, const OptText& name,
                                    const OptText& value)
{
    if (index == 0)
        slots_.clear();
    if (index != slots_.size())
        Fail(kE_INVALIDARG);
    slots_.push_back(TokenDataSlot{flags, name, value, std::nullopt});
    return 0;
}

HRESULT ClientMACImpl::GetTokenData(std::uint32_t index, std::uint32_t* kind, OptText* value, OptText* converted)
{
    if (!converted)
        Fail(kE_POINTER);
    if (index >= slots_.size())
        Fail(kE_INVALIDARG);
    const TokenDataSlot& slot = slots_[index];
    if (kind)
        *kind = slot.Kind();
    if (value)
        *value = slot.value;
    *converted = slot.converted;
    return 0;
}

const OptText& ClientMACImpl::ConvertedData(std::uint32_t index, std::uint32_t* kind)
{
    if (index >= slots_.size())
        Fail(kE_INVALIDARG);
    const TokenDataSlot& slot = slots_[index];
    if (kind)
        *kind = slot.Kind();
    return slot.converted;
}

ByteBuffer ClientMACImpl::ConvertSlots(CryptHash& hash)
{
    hash.HashSessionKey(sessionKey_);
    ByteBuffer records(static_cast<std::uint32_t>(8 * slots_.size()));
    try {
        for (std::size_t i = 0; i < slots_.size(); ++i) {
            TokenDataSlot& slot = slots_[i];
            std::uint32_t plainLength = 0;
            switch (slot.Kind()) {
            case TOKEN_DATA_PLAIN: slot.converted = slot.value; break;
            case TOKEN_DATA_COMPRESSED:
                if (!slot.value) {
                    slot.converted.reset();
                } else {
                    const ByteBuffer bytes = Utf16Bytes(*slot.value, true);
                    plainLength = bytes.size();
                    slot.converted = Base64Encode(CompressBytes(bytes));
                }
                break;
            case TOKEN_DATA_ENCRYPTED:
                if (!slot.value)
                    slot.converted.reset();
                else
                    slot.converted = Base64Encode(sessionKey_.Encrypt(Utf16Bytes(*slot.value, true)));
                break;
            case TOKEN_DATA_COMPRESSED_ENCRYPTED:
                if (!slot.value) {
                    slot.converted.reset();
                } else {
                    const ByteBuffer bytes = Utf16Bytes(*slot.value, true);
                    plainLength = bytes.size();
                    slot.converted = Base64Encode(sessionKey_.Encrypt(CompressBytes(bytes)));
                }
                break;
            default: break;  // no conversion
            }
            PutLe32(records.data() + 8 * i, slot.Kind());
            PutLe32(records.data() + 8 * i + 4, plainLength);
            HashTextBytes(hash, slot.name);
            HashTextBytes(hash, slot.converted);
        }
    } catch (const ZlibError& e) {
        Fail(HResultFromZlib(e.code));
    }

    return records;
}

HRESULT ClientMACImpl::ConstructToken(OptText& token)
{
    CryptHash& hash = SessionHash();
    const ByteBuffer records = ConvertSlots(hash);
    const std::uint32_t k = RandomLength(7, 8);
    Text n = HexEncode(env_->RandomBytes(provider_, k));
    Text t = Timestamp();
    const ByteBuffer h = hash.HashValue();
    // The inner text n:t:h:d, built in one piece.
    Text inner;
    inner.reserve(n.size() + t.size() + 2 * (h.size() + records.size()) + 3);
    inner.append(n).append(1, u':').append(t).append(1, u':');
    AppendHex(inner, h.data(), h.size());
    inner.append(1, u':');
    AppendHex(inner, records.data(), records.size());
    const ByteBuffer cipher = sessionKey_.Encrypt(SingleByteBytes(inner, true));
    Text result;
    result.reserve(Base64EncodedLength(cipher.size()) + 1 + (opaque_ ? opaque_->size() : 0));
    AppendBase64(result, cipher.data(), cipher.size());
    result.append(1, u':');
    if (opaque_)
        result.append(*opaque_);
    token = std::move(result);
    lastTimestamp_ = std::move(t);
    lastNonce_ = std::move(n);
    return 0;
}

HRESULT ClientMACImpl::Validate(const OptText& token, TokenReport* report)
{
    const auto step = [report](TokenCheck c) {
        if (report)
            report->step = c;
    };
    step(TokenCheck::Token);
    if (IsEmpty(token))
        Fail(kE_INVALIDARG);
    const std::u16string_view whole = *token;
    const ByteBuffer plain = sessionKey_.Decrypt(Base64Decode(whole.substr(0, whole.find(u':'))));
    const Text inner = FromSingleByte(plain.data(), plain.size());

    // The fields are views into the inner text.
    step(TokenCheck::Fields);
    const auto [f1, rest1] = SplitViewAtFirst(std::u16string_view(inner), u':');
    const auto [f2, rest2] = SplitViewAtFirst(rest1, u':');
    const auto [f3, rest3] = SplitViewAtFirst(rest2, u':');
    const OptView f4 = SplitViewAtFirst(rest3, u':').first;
    if (report) {
        const auto text = [](const OptView& v) { return v ? OptText(Text(*v)) : OptText(); };
        report->first = text(f1);
        report->timestamp = text(f2);
        report->hash = text(f3);
        report->records = text(f4);
        report->expectedTimestamp = lastTimestamp_;
    }
    if (IsEmpty(f1) || IsEmpty(f2) || IsEmpty(f3))
        Fail(kE_INVALIDARG);
    step(TokenCheck::TimeStamp);
    if (!lastTimestamp_ || !Same(*f2, *lastTimestamp_))
        Fail(kE_FAIL);

    step(TokenCheck::NonceProof);
    const Text x = HexEncode(seedKey_.Encrypt(lastNonce_ ? SingleByteBytes(*lastNonce_, false) : ByteBuffer()));
    if (report)
        report->expectedProof = x;
    if (x.empty())
        Fail(kE_UNEXPECTED);
    if (!Same(*f1, x))
        Fail(kE_FAIL);

    // 16 hexadecimal digits per slot, checked before anything is decoded.
    step(TokenCheck::RecordCount);
    if ((f4 ? f4->size() : 0) / 2 != 8 * slots_.size())
        Fail(kE_FAIL);
    const ByteBuffer records = f4 ? HexDecode(*f4) : ByteBuffer();

    step(TokenCheck::Records);
    CryptHash& hash = SessionHash();
    hash.HashSessionKey(sessionKey_);
    try {
        for (std::size_t i = 0; i < slots_.size(); ++i) {
            TokenDataSlot& slot = slots_[i];
            HashTextBytes(hash, slot.name);
            HashTextBytes(hash, slot.value);
            const std::uint32_t kind = GetLe32(records.data() + 8 * i);
            const std::uint32_t plainLength = GetLe32(records.data() + 8 * i + 4);
            if (report)
                report->slots.push_back({kind, plainLength, slot.value ? slot.value->size() : 0, std::nullopt});
            slot.flags = (slot.flags & 0xFFFF0000u) | (kind & 0xFFFFu);
            switch (kind) {
            case TOKEN_DATA_PLAIN: slot.converted = slot.value; break;
            case TOKEN_DATA_COMPRESSED:
                if (!slot.value) {
                    slot.converted.reset();
                } else {
                    // A plain length the data cannot hold is refused before anything is decoded.
                    CheckInflatedLength(Base64DecodedLength(slot.value), plainLength);
                    slot.converted = DecompressText(Base64Decode(slot.value), plainLength);
                }
                break;
            case TOKEN_DATA_ENCRYPTED: {
                const ByteBuffer bytes = sessionKey_.Decrypt(Base64Decode(slot.value));
                slot.converted = TextFromUtf16Bytes(bytes.data(), bytes.size());
                break;
            }
            case TOKEN_DATA_COMPRESSED_ENCRYPTED: Fail(kE_NOTIMPL);
            default: break;
            }
            if (report)
                report->slots.back().converted = slot.converted;
        }
    } catch (const ZlibError& e) {
        Fail(HResultFromZlib(e.code));
    }
    step(TokenCheck::Hash);
    const Text computed = HexEncode(hash.HashValue());
    if (report)
        report->computedHash = computed;
    if (!Same(*f3, computed))
        Fail(kE_FAIL);
    step(TokenCheck::Done);
    return 0;
}

void ClientMACImpl::DecodeRequest(const OptText& token, TokenReport& report)
{
    report.step = TokenCheck::Token;
    if (IsEmpty(token))
        Fail(kE_INVALIDARG);
    const std::u16string_view whole = *token;
    const std::size_t colon = whole.find(u':');
    if (colon != std::u16string_view::npos)
        report.opaque = Text(whole.substr(colon + 1));
    const ByteBuffer plain = sessionKey_.Decrypt(Base64Decode(whole.substr(0, colon)));
    const Text inner = FromSingleByte(plain.data(), plain.size());

    report.step = TokenCheck::Fields;
    const auto [n, rest1] = SplitAtFirst(OptText(inner), u':');
    const auto [t, rest2] = SplitAtFirst(rest1, u':');
    const auto [h, rest3] = SplitAtFirst(rest2, u':');
    report.first = n;
    report.timestamp = t;
    report.hash = h;
    report.records = SplitAtFirst(rest3, u':').first;
    if (IsEmpty(n) || IsEmpty(t) || IsEmpty(h))
        Fail(kE_INVALIDARG);

    report.step = TokenCheck::RecordCount;
    const std::size_t digits = report.records ? report.records->size() : 0;
    if (digits % 16 != 0 || digits / 16 != slots_.size())
        Fail(kE_FAIL);
    const ByteBuffer records = HexDecode(report.records);
    if (records.size() != 8 * slots_.size())
        Fail(kE_FAIL);
    // Each slot converted by the kind its record names, as it was when the token was built.
    for (std::size_t i = 0; i < slots_.size(); ++i)
        slots_[i].flags = (slots_[i].flags & 0xFFFF0000u) | (GetLe32(records.data() + 8 * i) & 0xFFFFu);

    report.step = TokenCheck::Hash;
    CryptHash& hash = SessionHash();
    const ByteBuffer again = ConvertSlots(hash);
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        const TokenDataSlot& slot = slots_[i];
        report.slots.push_back({GetLe32(records.data() + 8 * i), GetLe32(records.data() + 8 * i + 4),
                                slot.value ? slot.value->size() : 0, slot.converted});
    }
    report.recordsMatch = again.size() == records.size() &&
                          (records.empty() || std::memcmp(again.data(), records.data(), records.size()) == 0);
    report.computedHash = HexEncode(hash.HashValue());
    if (!Same(*report.hash, *report.computedHash) || !report.recordsMatch)
        Fail(kE_FAIL);
    report.step = TokenCheck::Done;
}

void ClientMACImpl::ExpectReplyTo(const OptText& nonce, const OptText& timestamp)
{
    lastNonce_ = nonce;
    lastTimestamp_ = timestamp;
}

}  // namespace tessel
