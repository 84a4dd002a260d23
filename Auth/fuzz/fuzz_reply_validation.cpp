// libFuzzer target: a client's validation of a reply, past the decryption.
//
// One session is set up once, as a tool's login does it: a key container in
// a temporary folder, a fixed clock and fixed random blocks, the server side
// of the scheme for the session key, and one request token built. Each input
// is then one reply to that request, encrypted with the session key so that
// the client reaches the records, the decompression, the decryption of slot
// values and the hash. The input is lines separated by '\n':
//
//   line 0    the reply token's inner text F1:F2:F3:F4, cut at its first four
//             ':' (the rest is kept as it is); a field that is exactly "*"
//             becomes the right value: the nonce proof, the request's time
//             stamp, the hash over the slots, or records that describe the
//             slots as made below. A line 0 that starts with "!" is the token
//             itself, sent without encryption.
//   line 1..  one reply slot each (slot 0 named after the method, slot 1
//             "result", then "p2", "p3", ...); no such line: one slot, the
//             method's, empty. A slot holds
//               "z:" bytes   Base64 of the bytes compressed (kind 1)
//               "e:" bytes   Base64 of the bytes encrypted with the session key (kind 2)
//               "#n"         Base64 of a stored zlib stream of n zero bytes (kind 1)
//               "~"          an absent value
//               other text   the text itself (kind 0)
//
// Each reply is validated as the library does it, with the engine's report
// of what it checked, and then explained by the token inspector, which sets
// a handler of its own up from the session's values.
//
// The seeds in corpus/fuzz_reply_validation are written by fuzz_corpus_auth.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ClientMACImpl.h"
#include "FuzzSupport.h"
#include "ServerMACImpl.h"
#include "TesselInspect.h"

using namespace tessel;

namespace {

constexpr std::size_t kMaxSlots = 32;
constexpr char16_t kMethod[] = u"GetVOContent";

struct Slot {
    OptText value;
    std::uint32_t kind = TOKEN_DATA_PLAIN;
    std::uint32_t plainLength = 0;
};

Text SlotName(std::size_t i)
{
    return i == 0 ? Text(kMethod) : i == 1 ? Text(u"result") : u"p" + Utf8ToText(std::to_string(i));
}

ByteBuffer Bytes(std::string_view s)
{
    return ByteBuffer(s.data(), static_cast<std::uint32_t>(s.size()));
}

class ReplyBench {
public:
    ReplyBench()
    {
        fuzz::UseTemporaryKeyHome("tessel-fuzz-reply");
        provider_ =
            CryptProvider::AcquireProviderContext(std::nullopt, std::u16string(kBaseProviderName), PROV_RSA_FULL, 0);
        env_->SetTime(UtcTime{2001, 6, 28, 8, 41, 51, 7});
        client_ = CreateTokenHandler(std::nullopt, env_);
        OptText scheme, seed;
        client_->GetTokenScheme(scheme);
        const ByteBuffer r = ByteBuffer::FromString("0123456789abcdef0123456789abcdef");
        env_->QueueRandom(r.Copy());
        client_->GetTokenSeed(seed);
        client_->SetTokenSeed(seed);
        ServerOptions options;
        options.env = env_;
        const ServerSession server(scheme, seed, u"OPAQUE", options);
        client_->SetTokenItem(Text(kItemSessionKey), server.WrappedSessionKey());
        session_ = {TextToUtf8(*scheme), TextToUtf8(*seed), TextToUtf8(server.WrappedSessionKey()), "OPAQUE"};
        client_->SetTokenItem(Text(kItemOpaque), Text(u"OPAQUE"));

        // One request, with a fixed nonce and time stamp.
        const ByteBuffer nonce = ByteBuffer::FromString("\x11\x22\x33\x44\x55\x66\x77\x88");
        env_->QueueRandom(nonce.Copy());
        client_->SetTokenData(0, TOKEN_DATA_OWN_COPIES, Text(kMethod), Text());
        OptText token;
        client_->ConstructToken(token);
        requestToken_ = TextToUtf8(*token);
        stamp_ = ToSingleByte(FormatTimestamp(env_->NowUtc()));

        // What the server knows: the session key (which the client hands out
        // wrapped for its own pair) and the seed key that proves the nonce.
        OptText wrapped;
        client_->GetTokenItem(Text(kItemSessionKey), wrapped);
        sessionKey_ = provider_.ImportKey(Base64Decode(wrapped), 0, nullptr);
        CryptHash seedHash = provider_.CreateHash(CALG_SHA1);
        seedHash.HashData(r);
        CryptKey seedKey = provider_.DeriveKey(CALG_RC2, seedHash, 0);
        proof_ = ToSingleByte(HexEncode(seedKey.Encrypt(SingleByteBytes(HexEncode(nonce), false))));
    }

    void Run(const std::uint8_t* data, std::size_t size)
    {
        const auto lines = fuzz::Lines(data, size, kMaxSlots + 1);
        if (stored_.size() > 8)
            stored_.clear();
        std::size_t storedBudget = 2 * fuzz::kMaxStoredZeros;  // a long stream or two per input
        std::deque<Slot> made;
        std::vector<const Slot*> slots;
        for (std::size_t i = 1; i < lines.size(); ++i)
            slots.push_back(MakeSlot(lines[i], made, storedBudget));
        if (slots.empty())
            slots.push_back(&made.emplace_back(Slot{Text()}));
        for (std::size_t i = 0; i < slots.size(); ++i)
            client_->SetTokenData(static_cast<std::uint32_t>(i), TOKEN_DATA_OWN_COPIES, SlotName(i), slots[i]->value);

        OptText token;
        if (lines[0].starts_with('!'))
            token = Utf8ToText(lines[0].substr(1));
        else
            token = Base64Encode(sessionKey_.Encrypt(Bytes(Inner(lines[0], slots))));
        TokenReport report;
        try {
            static_cast<ClientMACImpl&>(*client_).Validate(token, &report);
        } catch (const HResultError&) {
        }
        std::vector<inspect::Slot> replySlots;
        for (std::size_t i = 0; i < slots.size(); ++i)
            replySlots.push_back({TextToUtf8(SlotName(i)), slots[i]->value ? TextToUtf8(*slots[i]->value) : ""});
        const inspect::Inspection seen =
            inspect::Inspect(session_, requestToken_, {{TextToUtf8(kMethod), ""}}, TextToUtf8(*token), replySlots);
        (void)inspect::Describe(seen);
        for (std::size_t i = 0; i < slots.size(); ++i) {
            std::uint32_t kind = 0;
            OptText converted;
            client_->GetTokenData(static_cast<std::uint32_t>(i), &kind, nullptr, &converted);
        }
    }

private:
    // The slot a line describes, kept in `made` or, for a long stream, among
    // those made before (they are slow to make, and few). Past the budget a
    // stream's line is plain text.
    const Slot* MakeSlot(std::string_view line, std::deque<Slot>& made, std::size_t& storedBudget)
    {
        if (line == "~")
            return &made.emplace_back(Slot{std::nullopt});
        if (line.starts_with("z:")) {
            const ByteBuffer plain = Bytes(line.substr(2));
            return &made.emplace_back(Slot{Base64Encode(CompressBytes(plain)), TOKEN_DATA_COMPRESSED, plain.size()});
        }
        if (line.starts_with("e:"))
            return &made.emplace_back(
                Slot{Base64Encode(sessionKey_.Encrypt(Bytes(line.substr(2)))), TOKEN_DATA_ENCRYPTED});
        if (const auto n = fuzz::StoredZerosCount(line); n && *n <= storedBudget) {
            storedBudget -= *n;
            const auto known = stored_.find(*n);
            if (known != stored_.end())
                return &known->second;
            const Slot slot{Base64Encode(fuzz::StoredZeros(*n)), TOKEN_DATA_COMPRESSED, *n};
            return &stored_.emplace(*n, slot).first->second;
        }
        return &made.emplace_back(Slot{Utf8ToText(line)});
    }

    // The inner text with its "*" fields filled in, and its NUL byte.
    std::string Inner(std::string_view line, const std::vector<const Slot*>& slots)
    {
        std::string out;
        for (int field = 0; field < 4; ++field) {
            const auto cut = line.find(':');
            const std::string_view text = line.substr(0, cut);
            out += text == "*" ? Right(field, slots) : std::string(text);
            if (cut == std::string_view::npos)
                break;
            out += ':';
            line.remove_prefix(cut + 1);
            if (field == 3)
                out += line;
        }
        out += '\0';
        return out;
    }

    std::string Right(int field, const std::vector<const Slot*>& slots)
    {
        if (field == 0)
            return proof_;
        if (field == 1)
            return stamp_;
        if (field == 2) {
            CryptHash hash = provider_.CreateHash(CALG_SHA1);
            hash.HashSessionKey(sessionKey_);
            for (std::size_t i = 0; i < slots.size(); ++i) {
                HashTextBytes(hash, SlotName(i));
                HashTextBytes(hash, slots[i]->value);
            }
            return ToSingleByte(HexEncode(hash.HashValue()));
        }
        ByteBuffer records(static_cast<std::uint32_t>(8 * slots.size()));
        for (std::size_t i = 0; i < slots.size(); ++i) {
            for (int b = 0; b < 4; ++b) {
                records[8 * i + b] = static_cast<std::uint8_t>(slots[i]->kind >> (8 * b));
                records[8 * i + 4 + b] = static_cast<std::uint8_t>(slots[i]->plainLength >> (8 * b));
            }
        }
        return ToSingleByte(HexEncode(records));
    }

    std::shared_ptr<ScriptedEnvironment> env_ = std::make_shared<ScriptedEnvironment>();
    CryptProvider provider_;
    std::unique_ptr<TokenHandler> client_;
    CryptKey sessionKey_;
    std::string proof_, stamp_;
    inspect::Session session_;
    std::string requestToken_;
    std::map<std::uint32_t, Slot> stored_;  // long streams by their length
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static ReplyBench bench;
    bench.Run(data, size);
    return 0;
}
