// What the engine checked while it validated a reply's token or decoded a
// request token of its own session, filled on the way for the token
// inspector. The exported functions never ask for one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "TokenCodecs.h"

namespace tessel {

// The step a validation or a decoding is in; Done once every step passed.
enum class TokenCheck {
    Token,        // the token's first part decrypted with the session key
    Fields,       // the inner text split into its fields
    TimeStamp,    // the echoed time stamp against the request's
    NonceProof,   // the nonce proof against the request's nonce
    RecordCount,  // one record of 16 hexadecimal digits per slot
    Records,      // each record's slot decoded by its kind
    Hash,         // the hash over the session key and the slots
    Done,
};

struct RecordReport {
    std::uint32_t kind = 0;
    std::uint32_t plainLength = 0;  // as the record claims it, in bytes of UTF-16
    std::size_t valueLength = 0;    // characters of the slot's value as it came or went
    OptText converted;              // what the slot decoded (a reply) or converted (a request) to
};

struct TokenReport {
    TokenCheck step = TokenCheck::Token;
    // The token's fields as it carries them: nonce (a request) or nonce proof
    // (a reply), time stamp, hash, records; and the opaque tail of a request.
    OptText first, timestamp, hash, records, opaque;
    // What the engine compared them with: the request's time stamp and the
    // proof of its nonce (a reply), the hash it computed.
    OptText expectedTimestamp, expectedProof, computedHash;
    std::vector<RecordReport> slots;
    // A request: whether the records the engine computed again are the token's.
    bool recordsMatch = true;
};

}  // namespace tessel
