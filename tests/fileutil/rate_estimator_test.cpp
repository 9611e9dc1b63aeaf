// The transfer rate of the last 40 seconds: no rate before a span of 5
// seconds, samples leaving the window by their end time, and the rounding to
// thousands and tens of thousands.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "fileutil/rate_estimator.h"

namespace druvex {
namespace {

struct Sample {
    std::uint64_t start;
    std::uint64_t end;
    std::uint64_t bytes;
};

struct Case {
    const char* what;
    std::vector<Sample> samples;
    bool known;
    std::uint64_t rate;
};

TEST(RateEstimator, RatesOfSampleSeries)
{
    const Case cases[] = {
        {"no sample", {}, false, 0},
        {"a span of 4,999 ms", {{1000, 1000, 5000}, {5999, 5999, 5000}}, false, 0},
        {"a span of 5,000 ms", {{1000, 1000, 5000}, {6000, 6000, 0}}, true, 1000},
        {"the span runs from the oldest start", {{0, 3000, 5000}, {5000, 5000, 0}}, true, 1000},
        {"below 1,001 as it is", {{0, 0, 4995}, {5000, 5000, 0}}, true, 999},
        {"1,001 to thousands", {{0, 0, 5005}, {5000, 5000, 0}}, true, 1000},
        {"27,495 bytes in 5 s", {{0, 0, 27495}, {5000, 5000, 0}}, true, 5000},
        {"exactly 10,000", {{0, 0, 50000}, {5000, 5000, 0}}, true, 10000},
        {"10,001 to tens of thousands", {{0, 0, 50005}, {5000, 5000, 0}}, true, 10000},
        {"52,000 bytes in 5 s", {{0, 0, 52000}, {5000, 5000, 0}}, true, 10000},
        {"199,999 per second", {{0, 0, 999995}, {5000, 5000, 0}}, true, 190000},
        // A sample that ended 40,000 ms before the newest leaves with its bytes.
        {"40,000 ms old", {{0, 0, 1000000}, {35000, 35000, 100000}, {40000, 40000, 100000}}, true, 40000},
        {"39,999 ms old", {{1, 1, 1000000}, {35000, 35000, 100000}, {40000, 40000, 100000}}, true, 30000},
        {"every sample left but the newest", {{0, 0, 1000}, {50000, 50000, 1000}}, false, 0},
        // A clock that stepped back drops nothing and gives no negative span.
        {"a later sample before an earlier one", {{9000, 9000, 1000}, {2000, 2000, 1000}}, false, 0},
        {"4 GiB in 5 s", {{0, 0, 4ull << 30}, {5000, 5000, 0}}, true, 858990000},
    };
    for (const Case& c : cases) {
        RateEstimator estimator;
        for (const Sample& sample : c.samples)
            estimator.addSample(sample.start, sample.end, sample.bytes);
        std::uint64_t rate = 12345;
        EXPECT_EQ(estimator.getRate(rate), c.known) << c.what;
        EXPECT_EQ(rate, c.rate) << c.what;
    }
}

TEST(RateEstimator, ResetForgetsEverySample)
{
    RateEstimator estimator;
    estimator.addSample(0, 0, 50000);
    estimator.addSample(10000, 10000, 50000);
    std::uint64_t rate = 0;
    ASSERT_TRUE(estimator.getRate(rate));
    EXPECT_EQ(rate, 10000u);
    estimator.reset();
    EXPECT_FALSE(estimator.getRate(rate));
    EXPECT_EQ(rate, 0u);
    estimator.addSample(20000, 20000, 1000);
    estimator.addSample(25000, 25000, 0);
    ASSERT_TRUE(estimator.getRate(rate));
    EXPECT_EQ(rate, 200u);  // the bytes before the reset are gone
}

}  // namespace
}  // namespace druvex
