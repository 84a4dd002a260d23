// The server side of the message authentication scheme: what a TesselService
// must produce and accept so that the client engine interoperates with it
// exactly as with a CryptoAPI server.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "Crypt.h"
#include "EngineEnvironment.h"
#include "TesselMAC.h"

namespace tessel {

// A token or seed the server refuses, with a reason a person can read.
class TokenRejected : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The compressed form of the long results a server sends again and again (a
// stored content that many calls read): the zlib form of a text's UTF-16LE
// bytes and terminator, exactly as CompressBytes makes it, kept for the texts
// compressed last. A text is found by its whole value, so a changed text is
// compressed anew; texts shorter than `minUnits` are not kept (they cost little
// to compress), and the oldest go once the kept texts pass
// `maxBytes` together. Safe to use from several threads.
class CompressedResults {
public:
    explicit CompressedResults(std::size_t maxBytes = 32u << 20, std::size_t minUnits = 16384)
        : maxBytes_(maxBytes), minUnits_(minUnits)
    {
    }
    CompressedResults(const CompressedResults&) = delete;
    CompressedResults& operator=(const CompressedResults&) = delete;

    // CompressBytes(Utf16Bytes(text, true)), compressed now or kept from before.
    std::shared_ptr<const ByteBuffer> Compressed(const Text& text);
    // How many texts are kept.
    std::size_t Kept();

private:
    struct Entry {
        Text text;
        std::shared_ptr<const ByteBuffer> packed;
    };
    const std::size_t maxBytes_, minUnits_;
    std::mutex mutex_;
    std::list<Entry> entries_;  // the one used last first
    std::size_t bytes_ = 0;     // the texts' bytes and their compressed bytes
};

struct ServerOptions {
    // How far a client's time stamp may be from the server's clock.
    std::int64_t timestampWindowSeconds = 300;
    // The most bytes the compressed items of one request may inflate to, together.
    std::uint64_t maxInflatedBytes = 32u << 20;
    std::shared_ptr<EngineEnvironment> env;  // null: the system's
    // Where the compressed forms of long results are kept across the sessions
    // that share it; null: each result is compressed when it is sent.
    std::shared_ptr<CompressedResults> compressedResults;
};

// One request parameter as it travels: name and value on the wire.
struct WireSlot {
    Text name;
    OptText value;
};

// What a validated request token said.
struct RequestStamp {
    Text nonce;
    Text timestamp;
};

struct ReplySlot {
    Text name;
    OptText value;  // the plain value
    std::uint32_t kind = TOKEN_DATA_PLAIN;
};

struct ReplyToken {
    Text token;
    std::vector<OptText> wireValues;  // each slot's value as it must be sent
};

// The server's state of one login. Safe to use from several threads.
class ServerSession {
public:
    // Takes the client's scheme and seed text: derives the seed key from R,
    // decrypts and checks the seed's time stamp, imports the client's public
    // key, and makes a session key wrapped for that key.
    ServerSession(const OptText& scheme, const OptText& seed, Text opaque, ServerOptions options = {});
    ~ServerSession();
    ServerSession(const ServerSession&) = delete;
    ServerSession& operator=(const ServerSession&) = delete;

    // Base64 of the session key's SIMPLEBLOB, for "sessionKey".
    const Text& WrappedSessionKey() const noexcept { return wrappedKey_; }
    // The opaque value ("verifier"), which every request token ends with.
    const Text& Opaque() const noexcept { return opaque_; }

    // Checks a request token against the request's slots (slot 0 the method
    // name, then the parameters as sent): first the token's own fields (opaque
    // value, nonce, time stamp, records) and its hash over the slots as sent,
    // and only then, within maxInflatedBytes, decodes the slots. Returns the
    // plain value of every slot. Raises TokenRejected.
    RequestStamp ValidateRequest(const OptText& token, const std::vector<WireSlot>& slots,
                                 std::vector<OptText>* plainValues = nullptr);

    // The reply token for a request: nonce proof, the request's time stamp,
    // the hash over the reply's slots as sent, and their records.
    ReplyToken BuildReply(const RequestStamp& request, const std::vector<ReplySlot>& slots);

    // How many requests the session remembers against replay: those whose
    // time stamp the window would still take.
    std::size_t RememberedRequests();

private:
    ServerOptions options_;
    std::mutex mutex_;
    CryptProvider provider_;
    ALG_ID cipherAlg_ = 0;
    ALG_ID hashAlg_ = 0;
    CryptKey seedKey_;
    CryptKey peerKey_;
    CryptKey sessionKey_;
    Text wrappedKey_;
    Text opaque_;
    // The nonces of the requests taken, kept while a request with the same
    // time stamp would still be within the window: by nonce, and oldest first.
    std::set<Text> usedNonces_;
    std::set<std::pair<std::int64_t, Text>> noncesByStamp_;
    void ForgetOutdated();  // under mutex_
};

// A UTC time in seconds since 1970.
std::int64_t UtcSeconds(const UtcTime& t);


}  // namespace tessel
