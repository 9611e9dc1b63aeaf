#include "platform/manual_reset_event.h"

#include "text/mutex.h"

namespace druvex {

ManualResetEvent::ManualResetEvent(bool initiallySet, WaitTimeouts* timeouts)
    : set_(initiallySet), timeouts_(timeouts)
{
}

void ManualResetEvent::set()
{
    {
        MutexLock lock(mutex_);
        set_ = true;
    }
    changed_.notify_all();
}

void ManualResetEvent::reset()
{
    MutexLock lock(mutex_);
    set_ = false;
}

bool ManualResetEvent::isSet() const
{
    MutexLock lock(mutex_);
    return set_;
}

bool ManualResetEvent::wait(std::uint32_t timeoutMs)
{
    const bool timed = timeoutMs != 0 && timeoutMs != kInfiniteWait;
    // Asked outside the lock, so that the hook may set the event itself.
    const std::chrono::milliseconds timeout = !timed ? std::chrono::milliseconds(0)
                                              : timeouts_ ? timeouts_->effectiveTimeout(timeoutMs)
                                                          : std::chrono::milliseconds(timeoutMs);
    MutexLock lock(mutex_);
    if (timeoutMs == kInfiniteWait) {
        changed_.wait(mutex_, [this]() REQUIRES(mutex_) { return set_; });
        return true;
    }
    return changed_.wait_for(mutex_, timeout, [this]() REQUIRES(mutex_) { return set_; });
}

}  // namespace druvex
