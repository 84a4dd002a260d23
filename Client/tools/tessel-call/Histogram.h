// A latency histogram that keeps its precision at any count: log-linear
// buckets, each power of two split into equal steps, so that every value it
// holds is known to a relative error of at most 10^-digits (3 digits: 0.1 %),
// from 1 µs to one hour, in a fixed, small table (for 3 digits, 23,552
// counters). Values above the range count as the range's top.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tessel::call {

class Histogram {
public:
    // The largest value it holds apart: one hour, in microseconds.
    static constexpr std::uint64_t kHighest = 3'600'000'000ull;

    // `digits` significant decimal digits, 1 to 4.
    explicit Histogram(int digits = 3);

    // One value (microseconds); `times` of it.
    void Record(std::uint64_t micros, std::uint64_t times = 1);
    // Adds every count of `other`, which must have the same digits.
    void Merge(const Histogram& other);
    // Forgets every value.
    void Reset();

    std::uint64_t count() const noexcept { return total_; }
    // The least and most values recorded, exactly (clamped to kHighest); 0 when empty.
    std::uint64_t min() const noexcept { return total_ ? min_ : 0; }
    std::uint64_t max() const noexcept { return max_; }
    // The value that `percentile` percent of the values are at or below (0 <
    // percentile <= 100): the top of its bucket, within the precision, never
    // above max() nor below min(). 0 when empty.
    std::uint64_t Percentile(double percentile) const;

    // The buckets that hold something, in order: each with the least and the
    // most value it stands for and its count.
    struct Bucket {
        std::uint64_t low, high, count;
    };
    std::vector<Bucket> Buckets() const;

private:
    std::size_t IndexOf(std::uint64_t value) const;
    std::uint64_t LowestAt(std::size_t index) const;
    std::uint64_t HighestAt(std::size_t index) const;

    int digits_;
    int halfMagnitude_ = 0;     // log2 of half the steps of a power of two
    std::uint64_t subMask_ = 0;  // the values of the first, linear bucket
    std::vector<std::uint64_t> counts_;
    std::uint64_t total_ = 0, min_ = 0, max_ = 0;
};

}  // namespace tessel::call
