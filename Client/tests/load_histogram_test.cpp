// The load's latency histogram: percentiles at one value, at many, at huge
// values and past its range, its precision, and the merge of per-client
// histograms; the error classes of a load's failed calls.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "Histogram.h"
#include "Load.h"

namespace {

using tessel::call::Histogram;

// Whether `got` is `want` within the histogram's relative precision.
bool Near(std::uint64_t got, std::uint64_t want, double precision = 1e-3)
{
    const double d = static_cast<double>(got) - static_cast<double>(want);
    return (d < 0 ? -d : d) <= precision * static_cast<double>(want) + 1;
}

TEST(LoadHistogram, OneValueIsEveryPercentileMinAndMax)
{
    Histogram h;
    h.Record(1234);
    EXPECT_EQ(h.count(), 1u);
    EXPECT_EQ(h.min(), 1234u);
    EXPECT_EQ(h.max(), 1234u);
    for (const double p : {0.001, 50.0, 99.0, 99.9, 100.0})
        EXPECT_EQ(h.Percentile(p), 1234u) << p;
    Histogram empty;
    EXPECT_EQ(empty.Percentile(50), 0u);
    EXPECT_EQ(empty.min(), 0u);
    EXPECT_TRUE(empty.Buckets().empty());
}

TEST(LoadHistogram, PercentilesOfAMillionValuesKeepThreeDigits)
{
    Histogram h;
    // 1..1,000,000 µs once each: the p-th percentile is p * 10,000 µs.
    for (std::uint64_t v = 1; v <= 1'000'000; ++v)
        h.Record(v);
    EXPECT_EQ(h.count(), 1'000'000u);
    for (const double p : {1.0, 50.0, 90.0, 99.0, 99.9})
        EXPECT_TRUE(Near(h.Percentile(p), static_cast<std::uint64_t>(p * 10'000))) << p << ": " << h.Percentile(p);
    EXPECT_EQ(h.Percentile(100), 1'000'000u);
    EXPECT_EQ(h.min(), 1u);
    // Below 2,048 µs every microsecond has its own counter.
    Histogram small;
    for (std::uint64_t v = 0; v < 2000; ++v)
        small.Record(v);
    EXPECT_EQ(small.Percentile(50), 999u);
}

TEST(LoadHistogram, CountsBeyondFourBillionAtOneValueStayExact)
{
    Histogram h;
    h.Record(500, 5'000'000'000ull);
    h.Record(90'000, 50'000'000ull);
    EXPECT_EQ(h.count(), 5'050'000'000ull);
    EXPECT_EQ(h.Percentile(50), 500u);
    EXPECT_TRUE(Near(h.Percentile(99.5), 90'000));
}

TEST(LoadHistogram, HugeValuesKeepTheirPrecisionAndThePastRangeCountsAsAnHour)
{
    Histogram h;
    std::mt19937_64 random(7);
    std::uniform_int_distribution<std::uint64_t> any(1, Histogram::kHighest);
    for (int i = 0; i < 20'000; ++i) {
        const std::uint64_t v = any(random);
        Histogram one;
        one.Record(v);
        ASSERT_TRUE(Near(one.Percentile(50), v)) << v;
        h.Record(v);
    }
    h.Record(Histogram::kHighest * 10);
    EXPECT_EQ(h.max(), Histogram::kHighest);
    EXPECT_EQ(h.Percentile(100), Histogram::kHighest);
    // Each bucket stands for values within 0.1 % of each other.
    for (const Histogram::Bucket& b : h.Buckets())
        EXPECT_LE(static_cast<double>(b.high - b.low), 1e-3 * static_cast<double>(b.low) + 1) << b.low;
}

TEST(LoadHistogram, PerClientHistogramsMergeIntoTheSameAsOne)
{
    Histogram all, merged;
    std::mt19937_64 random(11);
    std::lognormal_distribution<double> latency(6.0, 1.0);  // around 400 µs, a long tail
    std::vector<Histogram> clients(8);
    for (int i = 0; i < 80'000; ++i) {
        const auto v = static_cast<std::uint64_t>(latency(random));
        all.Record(v);
        clients[static_cast<std::size_t>(i % 8)].Record(v);
    }
    for (const Histogram& c : clients)
        merged.Merge(c);
    merged.Merge(Histogram());  // an idle client adds nothing
    EXPECT_EQ(merged.count(), all.count());
    EXPECT_EQ(merged.min(), all.min());
    EXPECT_EQ(merged.max(), all.max());
    for (const double p : {50.0, 90.0, 99.0, 99.9})
        EXPECT_EQ(merged.Percentile(p), all.Percentile(p)) << p;
    Histogram coarse(2);
    EXPECT_THROW(merged.Merge(coarse), std::invalid_argument);
    EXPECT_THROW(Histogram(0), std::invalid_argument);
    merged.Reset();
    EXPECT_EQ(merged.count(), 0u);
    EXPECT_EQ(merged.Percentile(99), 0u);
}

TEST(LoadErrorClasses, NameWhatFailed)
{
    using tessel::call::CaseResult;
    using tessel::call::ClassOf;
    using tessel::call::ErrorClass;
    using tessel::call::Outcome;
    CaseResult c;
    c.error = true;
    EXPECT_EQ(ClassOf(c), ErrorClass::Transport);
    c.error = false;
    c.report.outcome = Outcome::Fault;
    EXPECT_EQ(ClassOf(c), ErrorClass::Fault);
    c.report.outcome = Outcome::Result;
    c.report.verdict = static_cast<std::int32_t>(0x80090005);
    EXPECT_EQ(ClassOf(c), ErrorClass::TokenRejected);
    c.report.verdict = 0;
    EXPECT_EQ(ClassOf(c), ErrorClass::Expectation);
    EXPECT_EQ(std::string(tessel::call::ErrorClassName(ErrorClass::TokenRejected)), "token");
}

TEST(LoadWarnings, SayWhenTheClientsOutnumberTheServiceOrTheDescriptors)
{
    using tessel::call::ClientsWarning;
    EXPECT_EQ(ClientsWarning(8, 2, 1024), "");
    EXPECT_NE(ClientsWarning(9, 2, 1024).find("max(8, processors) = 8"), std::string::npos);
    EXPECT_EQ(ClientsWarning(16, 16, 1024), "");
    EXPECT_NE(ClientsWarning(1000, 2000, 1024).find("ulimit -n"), std::string::npos);
}

}  // namespace
