#include "ServerMACImpl.h"

#include <algorithm>
#include <cstring>
#include <ctime>

namespace tessel {

namespace {

}  // namespace

std::int64_t UtcSeconds(const UtcTime& t)
{
    std::tm tm{};
    tm.tm_year = static_cast<int>(t.year) - 1900;
    tm.tm_mon = static_cast<int>(t.month) - 1;
    tm.tm_mday = static_cast<int>(t.day);
    tm.tm_hour = static_cast<int>(t.hour);
    tm.tm_min = static_cast<int>(t.minute);
    tm.tm_sec = static_cast<int>(t.second);
    return static_cast<std::int64_t>(timegm(&tm));
}

namespace {

// The time stamp's seconds, when it is within the window of the server's clock.
std::int64_t CheckTime(const Text& stamp, EngineEnvironment& env, std::int64_t window, const char* what)
{
    const auto t = ParseTimestamp(stamp);
    if (!t)
        throw TokenRejected(std::string(what) + " has no valid time stamp");
    const std::int64_t seconds = UtcSeconds(*t);
    const std::int64_t delta = seconds - UtcSeconds(env.NowUtc());
    if (delta > window || -delta > window)
        throw TokenRejected(std::string(what) + " time stamp " + TextToUtf8(stamp) + " is " +
                            std::to_string(delta < 0 ? -delta : delta) + " s from the server's clock (window " +
                            std::to_string(window) + " s)");
    return seconds;
}

// A digit of the upper-case hexadecimal that the client engine writes.
bool IsUpperHex(char16_t c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F');
}

std::uint32_t Le32(const std::uint8_t* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace

namespace {
// Texts compared as bytes: a whole content compares at memory speed.
bool SameText(const Text& a, const Text& b)
{
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(char16_t)) == 0);
}
}  // namespace

std::shared_ptr<const ByteBuffer> CompressedResults::Compressed(const Text& text)
{
    if (text.size() < minUnits_)
        return std::make_shared<const ByteBuffer>(CompressBytes(Utf16Bytes(text, true)));
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        for (auto e = entries_.begin(); e != entries_.end(); ++e)
            if (SameText(e->text, text)) {
                entries_.splice(entries_.begin(), entries_, e);
                return e->packed;
            }
    }
    // Compressed outside the lock: other calls go on meanwhile.
    auto packed = std::make_shared<const ByteBuffer>(CompressBytes(Utf16Bytes(text, true)));
    const std::size_t bytes = text.size() * 2 + packed->size();
    if (bytes > maxBytes_)
        return packed;
    const std::lock_guard<std::mutex> lock(mutex_);
    for (const Entry& e : entries_)
        if (SameText(e.text, text))  // another call kept it meanwhile
            return e.packed;
    entries_.push_front(Entry{text, packed});
    bytes_ += bytes;
    while (bytes_ > maxBytes_) {
        bytes_ -= entries_.back().text.size() * 2 + entries_.back().packed->size();
        entries_.pop_back();
    }
    return packed;
}

std::size_t CompressedResults::Kept()
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return entries_.size();
}

ServerSession::ServerSession(const OptText& scheme, const OptText& seed, Text opaque, ServerOptions options)
    : options_(std::move(options)), opaque_(std::move(opaque))
{
    if (!options_.env)
        options_.env = SystemEnvironment();
    const SchemeParts parts = ParseScheme(scheme);
    cipherAlg_ = AlgorithmIdFromName(parts.cipher);
    hashAlg_ = AlgorithmIdFromName(parts.hash);
    try {
        provider_ = CryptProvider::AcquireProviderContext(std::nullopt, parts.provider,
                                                          ProviderTypeFromName(parts.type), CRYPT_VERIFYCONTEXT);
    } catch (const HResultError&) {
        throw TokenRejected("the scheme names a provider the server does not have: " + TextToUtf8(parts.Joined()));
    }
    // The longest seed carries the largest public key a blob may hold (16384
    // bits): about 2,900 characters.
    constexpr std::size_t kMaxSeedChars = 16 * 1024;
    if (seed && seed->size() > kMaxSeedChars)
        throw TokenRejected("the seed is " + std::to_string(seed->size()) + " characters long, more than any seed");
    const auto [a, k] = SplitAtFirst(seed, u';');
    const auto [r, e] = SplitAtFirst(a, u':');
    if (!r || r->empty() || !e || e->empty() || !k || k->empty())
        throw TokenRejected("the seed is not R:E;P");
    try {
        CryptHash hash = provider_.CreateHash(hashAlg_);
        hash.HashData(Base64Decode(r));
        seedKey_ = provider_.DeriveKey(cipherAlg_, hash, 0);
    } catch (const HResultError&) {
        throw TokenRejected("the scheme's cipher or hash is not supported: " + TextToUtf8(parts.Joined()));
    }
    Text stamp;
    try {
        const ByteBuffer plain = seedKey_.Decrypt(Base64Decode(e));
        stamp = FromSingleByte(plain.data(), plain.size());
    } catch (const HResultError&) {
        throw TokenRejected("the seed's time stamp does not decrypt with its seed key");
    }
    CheckTime(stamp, *options_.env, options_.timestampWindowSeconds, "the seed's");
    try {
        peerKey_ = provider_.ImportKey(Base64Decode(k), 0, nullptr);
    } catch (const HResultError&) {
        throw TokenRejected("the seed's public key blob is not a public key");
    }
    sessionKey_ = provider_.GenerateKey(cipherAlg_, CRYPT_EXPORTABLE);
    try {
        wrappedKey_ = Base64Encode(sessionKey_.Export(SIMPLEBLOB, &peerKey_));
    } catch (const HResultError&) {
        // A key that imports may still be unfit to encrypt with: a modulus too
        // short for the padded session key, or one that is not a modulus.
        throw TokenRejected("the seed's public key cannot wrap a session key");
    }
}

ServerSession::~ServerSession()
{
    sessionKey_ = CryptKey();
    peerKey_ = CryptKey();
    seedKey_ = CryptKey();
}

RequestStamp ServerSession::ValidateRequest(const OptText& token, const std::vector<WireSlot>& slots,
                                            std::vector<OptText>* plainValues)
{
    if (!token || token->empty())
        throw TokenRejected("the request carries no token");
    const auto [head, tail] = SplitAtFirst(token, u':');
    if (tail.value_or(Text()) != opaque_)
        throw TokenRejected("the token's opaque value does not name this session");

    const std::lock_guard<std::mutex> lock(mutex_);
    Text inner;
    try {
        const ByteBuffer plain = sessionKey_.Decrypt(Base64Decode(head));
        inner = FromSingleByte(plain.data(), plain.size());
        // The client sends the inner text and its NUL: whatever follows them
        // would make another token of the same request.
        if (inner.size() + 1 < plain.size())
            throw TokenRejected("the token holds " + std::to_string(plain.size() - inner.size() - 1) +
                                " bytes after its inner text (an altered token)");
    } catch (const LengthRefused&) {
        throw TokenRejected("the token is longer than any token can be (" + std::to_string(head->size()) +
                            " characters)");
    } catch (const HResultError&) {
        throw TokenRejected("the token does not decrypt with the session key");
    }
    const auto [n, rest1] = SplitAtFirst(inner, u':');
    const auto [t, rest2] = SplitAtFirst(rest1, u':');
    const auto [h, rest3] = SplitAtFirst(rest2, u':');
    const auto [d, rest4] = SplitAtFirst(rest3, u':');
    if (!n || n->empty() || !t || t->empty() || !h || h->empty() || !d || rest4)
        throw TokenRejected("the token's inner text is not nonce:time:hash:records");
    // The nonce is not covered by the hash, so a token altered there would
    // pass unnoticed: it must at least be what a client makes, 8 to 15 bytes
    // in upper-case hexadecimal.
    const bool hexNonce = n->size() >= 16 && n->size() <= 30 && n->size() % 2 == 0 &&
                          std::all_of(n->begin(), n->end(), IsUpperHex);
    if (!hexNonce)
        throw TokenRejected("the token's nonce is not 8 to 15 bytes of hexadecimal (an altered token)");
    // 16 hexadecimal digits per data item, checked before anything is decoded.
    if (d->size() != 16 * slots.size())
        throw TokenRejected("the token describes " + std::to_string(d->size() / 16) + " data items" +
                            (d->size() % 16 ? " and " + std::to_string(d->size() % 16) + " more digits" : "") +
                            ", the request has " + std::to_string(slots.size()));
    if (!std::all_of(d->begin(), d->end(), IsUpperHex))
        throw TokenRejected("the token's records are not hexadecimal (an altered token)");
    const ByteBuffer records = HexDecode(d);
    const std::int64_t stamp = CheckTime(*t, *options_.env, options_.timestampWindowSeconds, "the token's");
    ForgetOutdated();
    if (usedNonces_.count(*n))
        throw TokenRejected("the token's nonce was already used in this session (a replayed request)");

    // The hash covers the slots as sent, so it is checked before anything is
    // inflated or decrypted: an altered request costs no more than its size.
    CryptHash hash = provider_.CreateHash(hashAlg_);
    hash.HashSessionKey(sessionKey_);
    for (const WireSlot& slot : slots) {
        HashTextBytes(hash, slot.name);
        HashTextBytes(hash, slot.value);
    }
    if (*h != HexEncode(hash.HashValue()))
        throw TokenRejected("the token's hash does not match the request's data");
    std::uint64_t inflated = 0;
    for (std::size_t i = 0; i < slots.size(); ++i) {
        const std::uint32_t kind = Le32(records.data() + 8 * i);
        if (kind == TOKEN_DATA_COMPRESSED || kind == TOKEN_DATA_COMPRESSED_ENCRYPTED)
            inflated += Le32(records.data() + 8 * i + 4);
    }
    if (inflated > options_.maxInflatedBytes)
        throw TokenRejected("the request's compressed items would inflate to " + std::to_string(inflated) +
                            " bytes, more than the " + std::to_string(options_.maxInflatedBytes) + " allowed");

    std::vector<OptText> values;
    values.reserve(slots.size());
    for (std::size_t i = 0; i < slots.size(); ++i) {
        const std::uint32_t kind = Le32(records.data() + 8 * i);
        const std::uint32_t plainLength = Le32(records.data() + 8 * i + 4);
        try {
            switch (kind) {
            case TOKEN_DATA_PLAIN: values.push_back(slots[i].value); break;
            case TOKEN_DATA_COMPRESSED: {
                // A plain length the data cannot hold is refused before anything is decoded.
                CheckInflatedLength(Base64DecodedLength(slots[i].value), plainLength);
                const ByteBuffer bytes = DecompressBytes(Base64Decode(slots[i].value), plainLength);
                values.push_back(TextFromUtf16Bytes(bytes.data(), bytes.size()));
                break;
            }
            case TOKEN_DATA_ENCRYPTED: {
                const ByteBuffer bytes = sessionKey_.Decrypt(Base64Decode(slots[i].value));
                values.push_back(TextFromUtf16Bytes(bytes.data(), bytes.size()));
                break;
            }
            case TOKEN_DATA_COMPRESSED_ENCRYPTED: {
                // Decryption only shortens the data: the same check holds before it.
                CheckInflatedLength(Base64DecodedLength(slots[i].value), plainLength);
                const ByteBuffer packed = sessionKey_.Decrypt(Base64Decode(slots[i].value));
                const ByteBuffer bytes = DecompressBytes(packed, plainLength);
                values.push_back(TextFromUtf16Bytes(bytes.data(), bytes.size()));
                break;
            }
            default: values.push_back(slots[i].value); break;
            }
        } catch (const LengthRefused&) {
            throw TokenRejected("data item " + std::to_string(i) + " claims a plain length of " +
                                std::to_string(plainLength) + " bytes, more than its " +
                                std::to_string(slots[i].value ? slots[i].value->size() : 0) +
                                " characters can hold or the limit of " + std::to_string(kMaxDataBytes) + " bytes");
        } catch (const HResultError&) {
            throw TokenRejected("data item " + std::to_string(i) + " does not decrypt");
        } catch (const ZlibError&) {
            throw TokenRejected("data item " + std::to_string(i) + " does not decompress");
        }
    }
    usedNonces_.insert(*n);
    noncesByStamp_.emplace(stamp, *n);
    if (plainValues)
        *plainValues = std::move(values);
    return RequestStamp{*n, *t};
}

void ServerSession::ForgetOutdated()
{
    const std::int64_t oldest = UtcSeconds(options_.env->NowUtc()) - options_.timestampWindowSeconds;
    while (!noncesByStamp_.empty() && noncesByStamp_.begin()->first < oldest) {
        usedNonces_.erase(noncesByStamp_.begin()->second);
        noncesByStamp_.erase(noncesByStamp_.begin());
    }
}

std::size_t ServerSession::RememberedRequests()
{
    const std::lock_guard<std::mutex> lock(mutex_);
    ForgetOutdated();
    return usedNonces_.size();
}

ReplyToken ServerSession::BuildReply(const RequestStamp& request, const std::vector<ReplySlot>& slots)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    ReplyToken reply;
    CryptHash hash = provider_.CreateHash(hashAlg_);
    hash.HashSessionKey(sessionKey_);
    ByteBuffer records(static_cast<std::uint32_t>(8 * slots.size()));
    for (std::size_t i = 0; i < slots.size(); ++i) {
        const ReplySlot& slot = slots[i];
        std::uint32_t plainLength = 0;
        OptText wire;
        // The compressed UTF-16LE bytes and terminator; Utf16Bytes has refused a text too long for them.
        const auto compressed = [&](const Text& text) {
            auto packed = options_.compressedResults
                              ? options_.compressedResults->Compressed(text)
                              : std::make_shared<const ByteBuffer>(CompressBytes(Utf16Bytes(text, true)));
            plainLength = static_cast<std::uint32_t>(2 * (text.size() + 1));
            return packed;
        };
        if (slot.value && slot.kind == TOKEN_DATA_COMPRESSED)
            wire = Base64Encode(*compressed(*slot.value));
        else if (slot.value && slot.kind == TOKEN_DATA_ENCRYPTED)
            wire = Base64Encode(sessionKey_.Encrypt(Utf16Bytes(*slot.value, true)));
        else if (slot.value && slot.kind == TOKEN_DATA_COMPRESSED_ENCRYPTED)
            wire = Base64Encode(sessionKey_.Encrypt(*compressed(*slot.value)));
        else
            wire = slot.value;
        for (int b = 0; b < 4; ++b) {
            records[8 * i + b] = static_cast<std::uint8_t>(slot.kind >> (8 * b));
            records[8 * i + 4 + b] = static_cast<std::uint8_t>(plainLength >> (8 * b));
        }
        HashTextBytes(hash, slot.name);
        HashTextBytes(hash, wire);
        reply.wireValues.push_back(std::move(wire));
    }
    const Text proof = HexEncode(seedKey_.Encrypt(SingleByteBytes(request.nonce, false)));
    const Text inner = proof + u":" + request.timestamp + u":" + HexEncode(hash.HashValue()) + u":" + HexEncode(records);
    reply.token = Base64Encode(sessionKey_.Encrypt(SingleByteBytes(inner, true)));
    return reply;
}

}  // namespace tessel
