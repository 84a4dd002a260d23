// The token steps both tool families take around their SOAP exchanges: the
// set-up of a handler at login, the two session items, a request token over
// the call's slots, the validation of the server's token on the reply, and a
// slot read back. Every call goes through the token library bound by name;
// the HRESULTs are returned, and the tools do not act on them.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "Client/TokenLibrary.h"

namespace tessel::client {

// Capacities of the tool buffers.
inline constexpr std::int32_t kSchemeCapacity = 255;  // scheme and seed
inline constexpr std::int32_t kTokenCapacity = 1024;
inline constexpr std::int32_t kReplyBufferMin = 1048576;
inline constexpr std::int32_t kReadWholeMax = 1 << 28;

// A capacity for reading back a reply's slot 1 that is at least 1,048,576
// characters: the larger of the result's length + 1 and 1,048,576.
std::int32_t AtLeastOneMiB(std::size_t resultLength);
// A text's length as a capacity (cut at the largest 32-bit capacity).
std::int32_t CapacityOf(std::size_t length);

// One slot of a request: its name and text.
using Slot = std::pair<std::string, std::string>;

class TokenSession {
public:
    explicit TokenSession(TokenLibrary& library) : library_(library) {}

    // What login reads from a new handler.
    struct Setup {
        std::int32_t handle = 0;
        std::string scheme, seed;
    };
    // A new handler (AcquireTokenHandler with an empty scheme), its scheme and
    // a fresh seed, each read into a 255-character buffer; the seed just read
    // is set back on the handler. A handler of an earlier login is not released.
    Setup Acquire();
    // "SessionKey", then "Opaque".
    void SetSessionItems(std::int32_t handle, const std::string& sessionKey, const std::string& verifier);
    // Slot 0 the method with an empty value, slots 1 to n the parameters
    // (kind 0); then the token, read into a 1,024-character buffer.
    TextOut RequestToken(std::int32_t handle, const std::string& method, const std::vector<Slot>& slots);
    // Slot 0 the method, slot 1 "result" with the reply's result; then
    // ValidateToken with the server's token. Returns its HRESULT.
    std::int32_t ValidateReply(std::int32_t handle, const std::string& method, const std::string& result,
                               const std::string& token);
    // A slot's converted value, read back into a buffer of `capacity`.
    SlotOut ReadSlot(std::int32_t handle, std::int32_t index, std::int32_t capacity);
    // A reply's slot read back whole: first into AtLeastOneMiB(resultLength)
    // characters, as the content readers do; while the text fills the buffer,
    // again into one twice as large, up to kReadWholeMax characters (a
    // compressed result can decode to more than 1,048,576 characters).
    SlotOut ReadWhole(std::int32_t handle, std::int32_t index, std::size_t resultLength);
    void Release(std::int32_t handle);

    TokenLibrary& library() noexcept { return library_; }

private:
    TokenLibrary& library_;
};

}  // namespace tessel::client
