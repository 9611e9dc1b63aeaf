#include "platform/manual_reset_event.h"

namespace druvex {

ManualResetEvent::ManualResetEvent(bool initiallySet, WaitTimeouts* timeouts)
    : set_(initiallySet), timeouts_(timeouts)
{
}

void ManualResetEvent::set()
{
    {
        std::lock_guard lock(mutex_);
        set_ = true;
    }
    changed_.notify_all();
}

void ManualResetEvent::reset()
{
    std::lock_guard lock(mutex_);
    set_ = false;
}

bool ManualResetEvent::isSet() const
{
    std::lock_guard lock(mutex_);
    return set_;
}

bool ManualResetEvent::wait(std::uint32_t timeoutMs)
{
    const bool timed = timeoutMs != 0 && timeoutMs != kInfiniteWait;
    // Asked outside the lock, so that the hook may set the event itself.
    const std::chrono::milliseconds timeout = !timed ? std::chrono::milliseconds(0)
                                              : timeouts_ ? timeouts_->effectiveTimeout(timeoutMs)
                                                          : std::chrono::milliseconds(timeoutMs);
    std::unique_lock lock(mutex_);
    if (timeoutMs == kInfiniteWait) {
        changed_.wait(lock, [this] { return set_; });
        return true;
    }
    return changed_.wait_for(lock, timeout, [this] { return set_; });
}

}  // namespace druvex
