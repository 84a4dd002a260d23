// The token inspector: both tokens of one exchange decoded by the engine that
// validates them, and the reply's verdict explained by the check that failed.
// It sets up a handler of its own in this process from the session's values
// (the session key is unwrapped with the user's exchange pair from the key
// container the token library uses) and shows nothing the user did not
// already hold. Texts are UTF-8. It raises nothing: what cannot be decoded is
// said in `problem`.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tessel::inspect {

// What the client holds after its login.
struct Session {
    std::string scheme, seed;     // as the handler gave them
    std::string sessionKey, opaque;  // the items "SessionKey" and "Opaque"
};

// A token slot as the client set it: slot 0 is the method, with an empty value.
struct Slot {
    std::string name, value;
};

struct Record {
    std::size_t index = 0;
    std::string name;
    std::uint32_t kind = 0;
    std::uint32_t plainLength = 0;   // as the record claims it, in bytes of UTF-16
    std::size_t valueLength = 0;     // characters of the slot's value as sent or received
    std::size_t convertedLength = 0; // characters of what it converted or decoded to
    std::string converted;           // the first kShownCharacters of it
};
inline constexpr std::size_t kShownCharacters = 64;

// The steps of a check, in order.
enum class Check { Token, Fields, TimeStamp, NonceProof, RecordCount, Records, Hash, Done };

struct RequestToken {
    Check reached = Check::Token;  // Done: decoded and it re-validates against the slots as sent
    std::int32_t hr = 0;           // the engine's HRESULT where it stopped
    std::string problem;           // empty when Done
    std::string nonce, timestamp, date, hash, opaque;
    std::string computedHash;      // over the slots as sent
    std::string recordDigits;      // the records field as the token carries it
    std::vector<Record> records;
};

struct ReplyToken {
    Check reached = Check::Token;  // Done: valid
    std::int32_t hr = 0;           // what ValidateToken returned
    std::string failedCheck;       // "hash differs", …; empty when valid
    std::string problem;           // the failed check with both sides; empty when valid
    std::string nonceProof, expectedProof;
    std::string timestamp, expectedTimestamp;
    std::string hash, computedHash;
    std::string recordDigits;  // the records field as the token carries it
    std::vector<Record> records;
};

struct Inspection {
    std::string problem;  // the session's values cannot be used: nothing could be decoded
    RequestToken request;
    ReplyToken reply;
    bool replyInspected = false;
};

// The request token with the slots it was built over and, when given, the
// reply's token with the reply's slots (slot 0 the method, slot 1 "result").
Inspection Inspect(const Session& session, const std::string& requestToken, const std::vector<Slot>& requestSlots,
                   const std::string& replyToken, const std::vector<Slot>& replySlots, bool withReply = true);

// The inspection for a person, one fact a line.
std::string Describe(const Inspection& inspection);

}  // namespace tessel::inspect
