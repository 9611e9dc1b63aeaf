// RateEstimator: the transfer rate of the last 40 seconds, from samples of
// bytes moved between two tick counts, rounded so that a shown rate does not
// flicker in its last digits.
#pragma once

#include <cstdint>
#include <deque>

namespace druvex {

class RateEstimator {
public:
    // Samples older than this (by their end, against the newest end) leave the window.
    static constexpr std::uint64_t kWindowMs = 40000;
    // No rate until the samples span this long.
    static constexpr std::uint64_t kMinimumSpanMs = 5000;

    void reset();
    // Drops the samples that ended kWindowMs or more before `endMs`, then adds
    // this one. Times are milliseconds of one steady clock.
    void addSample(std::uint64_t startMs, std::uint64_t endMs, std::uint64_t bytes);
    // Bytes per second over the window (newest end minus oldest start),
    // rounded down to a multiple of 1,000 from 1,001 on and of 10,000 from
    // 10,001 on. False, with 0, while there is no sample or the span is
    // shorter than kMinimumSpanMs.
    bool getRate(std::uint64_t& rate) const;

private:
    struct Sample {
        std::uint64_t startMs;
        std::uint64_t endMs;
        std::uint64_t bytes;
    };

    std::deque<Sample> samples_;
    std::uint64_t total_ = 0;
};

}  // namespace druvex
