// What the engine takes from its surroundings: random bytes, a pseudo-random
// integer for lengths, the calendar time and the UTC clock. Tests replace it
// to reproduce exact seeds and tokens.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string_view>

#include "ByteBuffer.h"
#include "Crypt.h"
#include "TokenCodecs.h"

namespace tessel {

class EngineEnvironment {
public:
    virtual ~EngineEnvironment() = default;
    // Random bytes from the provider's generator.
    virtual ByteBuffer RandomBytes(const CryptProvider& provider, std::uint32_t length) = 0;
    // A pseudo-random integer that picks the seed and nonce lengths.
    virtual std::uint32_t PseudoRandom() = 0;
    // The calendar time in seconds.
    virtual std::int64_t CalendarSeconds() = 0;
    virtual UtcTime NowUtc() = 0;
};

// Replays given random blocks and a given clock, so that seeds and tokens are
// reproducible. Each random request takes the next block; the pseudo-random
// integer is that block's length and the calendar time 1, so the engine picks
// exactly the block's length. With no block queued it falls back to the
// provider's generator.
class ScriptedEnvironment final : public EngineEnvironment {
public:
    void QueueRandom(ByteBuffer block) { blocks_.push_back(std::move(block)); }
    void SetTime(const UtcTime& t) { now_ = t; }
    ByteBuffer RandomBytes(const CryptProvider& provider, std::uint32_t length) override;
    std::uint32_t PseudoRandom() override;
    std::int64_t CalendarSeconds() override { return 1; }
    UtcTime NowUtc() override { return now_; }

private:
    std::deque<ByteBuffer> blocks_;
    UtcTime now_{2001, 6, 28, 8, 41, 51, 7};
};

// Reads a 17-digit time stamp back into its parts; nullopt when malformed.
std::optional<UtcTime> ParseTimestamp(std::u16string_view text);

// The provider's generator, a per-thread pseudo-random generator and the
// system clock.
std::shared_ptr<EngineEnvironment> SystemEnvironment();

}  // namespace tessel
