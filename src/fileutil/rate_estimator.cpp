#include "fileutil/rate_estimator.h"

namespace druvex {

void RateEstimator::reset()
{
    samples_.clear();
    total_ = 0;
}

void RateEstimator::addSample(std::uint64_t startMs, std::uint64_t endMs, std::uint64_t bytes)
{
    // A sample that ends after the new one (a clock that stepped back) stays.
    while (!samples_.empty() && samples_.front().endMs <= endMs && endMs - samples_.front().endMs >= kWindowMs) {
        total_ -= samples_.front().bytes;
        samples_.pop_front();
    }
    samples_.push_back({startMs, endMs, bytes});
    total_ += bytes;
}

bool RateEstimator::getRate(std::uint64_t& rate) const
{
    rate = 0;
    if (samples_.empty())
        return false;
    const std::uint64_t first = samples_.front().startMs;
    const std::uint64_t last = samples_.back().endMs;
    if (last < first || last - first < kMinimumSpanMs)
        return false;
    // In 128 bits: a byte total times 1,000 need not fit in 64.
    const unsigned __int128 perSecond = static_cast<unsigned __int128>(total_) * 1000 / (last - first);
    rate = perSecond > UINT64_MAX ? UINT64_MAX : static_cast<std::uint64_t>(perSecond);
    if (rate >= 10001)
        rate -= rate % 10000;
    else if (rate >= 1001)
        rate -= rate % 1000;
    return true;
}

}  // namespace druvex
