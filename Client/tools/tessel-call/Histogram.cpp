#include "Histogram.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <stdexcept>

namespace tessel::call {

Histogram::Histogram(int digits) : digits_(digits)
{
    if (digits < 1 || digits > 4)
        throw std::invalid_argument("a histogram keeps 1 to 4 significant digits");
    // Enough steps per power of two that a step is at most 10^-digits of its values.
    std::uint64_t steps = 2;
    for (int i = 0; i < digits; ++i)
        steps *= 10;
    const int magnitude = static_cast<int>(std::bit_width(steps - 1));  // ceil(log2(2 * 10^digits))
    halfMagnitude_ = magnitude - 1;
    const std::uint64_t subCount = 1ull << magnitude;
    subMask_ = subCount - 1;
    // Buckets of doubling step, until the last holds kHighest.
    std::size_t buckets = 1;
    for (std::uint64_t top = subCount; top <= kHighest; top <<= 1)
        ++buckets;
    counts_.assign((buckets + 1) << halfMagnitude_, 0);
}

std::size_t Histogram::IndexOf(std::uint64_t value) const
{
    // The bucket: how many doublings above the first; the step within it.
    const int bucket = static_cast<int>(std::bit_width(value | subMask_)) - halfMagnitude_ - 1;
    const std::uint64_t sub = value >> bucket;
    return (static_cast<std::size_t>(bucket + 1) << halfMagnitude_) + (sub - (1ull << halfMagnitude_));
}

std::uint64_t Histogram::LowestAt(std::size_t index) const
{
    int bucket = static_cast<int>(index >> halfMagnitude_) - 1;
    std::uint64_t sub = (index & ((1ull << halfMagnitude_) - 1)) + (1ull << halfMagnitude_);
    if (bucket < 0) {
        sub -= 1ull << halfMagnitude_;
        bucket = 0;
    }
    return sub << bucket;
}

std::uint64_t Histogram::HighestAt(std::size_t index) const
{
    const int bucket = std::max(0, static_cast<int>(index >> halfMagnitude_) - 1);
    return LowestAt(index) + (1ull << bucket) - 1;
}

void Histogram::Record(std::uint64_t micros, std::uint64_t times)
{
    if (times == 0)
        return;
    const std::uint64_t v = std::min(micros, kHighest);
    counts_[IndexOf(v)] += times;
    min_ = total_ == 0 ? v : std::min(min_, v);
    max_ = std::max(max_, v);
    total_ += times;
}

void Histogram::Merge(const Histogram& other)
{
    if (other.digits_ != digits_)
        throw std::invalid_argument("histograms of different precision do not merge");
    if (other.total_ == 0)
        return;
    for (std::size_t i = 0; i < counts_.size(); ++i)
        counts_[i] += other.counts_[i];
    min_ = total_ == 0 ? other.min_ : std::min(min_, other.min_);
    max_ = std::max(max_, other.max_);
    total_ += other.total_;
}

void Histogram::Reset()
{
    std::fill(counts_.begin(), counts_.end(), 0);
    total_ = min_ = max_ = 0;
}

std::uint64_t Histogram::Percentile(double percentile) const
{
    if (total_ == 0)
        return 0;
    const double p = std::clamp(percentile, 0.0, 100.0);
    // The rank of the value: at least the first, at most the last.
    const auto rank = std::clamp<std::uint64_t>(
        static_cast<std::uint64_t>(std::ceil(p / 100.0 * static_cast<double>(total_))), 1, total_);
    std::uint64_t seen = 0;
    for (std::size_t i = 0; i < counts_.size(); ++i) {
        seen += counts_[i];
        if (seen >= rank)
            return std::clamp(HighestAt(i), min_, max_);
    }
    return max_;
}

std::vector<Histogram::Bucket> Histogram::Buckets() const
{
    std::vector<Bucket> out;
    for (std::size_t i = 0; i < counts_.size(); ++i)
        if (counts_[i] != 0)
            out.push_back({std::max(LowestAt(i), min_), std::min(HighestAt(i), max_), counts_[i]});
    return out;
}

}  // namespace tessel::call
