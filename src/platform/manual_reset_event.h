// The device's manual-reset event: once set it stays set, and releases every
// waiter, until it is reset. Silent runs wait on such events with time-outs of
// minutes, so how long a timed wait really lasts is injectable (WaitTimeouts):
// a test lets the time-out pass at once instead of sleeping through it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>

#include "text/mutex.h"

namespace druvex {

// A time-out in milliseconds that never passes (the device's INFINITE).
constexpr std::uint32_t kInfiniteWait = 0xFFFFFFFF;

// Decides how long a timed wait really waits. The default waits the time asked
// for; tests substitute one that records the request and answers a short time.
// An infinite wait is never passed here.
class WaitTimeouts {
public:
    virtual ~WaitTimeouts() = default;
    virtual std::chrono::milliseconds effectiveTimeout(std::uint32_t requestedMs) = 0;
};

class ManualResetEvent {
public:
    // `timeouts` (null: real time) must outlive the event.
    explicit ManualResetEvent(bool initiallySet = false, WaitTimeouts* timeouts = nullptr);
    ManualResetEvent(const ManualResetEvent&) = delete;
    ManualResetEvent& operator=(const ManualResetEvent&) = delete;

    // Sets the event and releases every waiter.
    void set();
    void reset();
    bool isSet() const;

    // Waits until the event is set or `timeoutMs` has passed (kInfiniteWait:
    // no limit; 0: only looks). True when the event was set.
    bool wait(std::uint32_t timeoutMs);

private:
    mutable Mutex mutex_;
    ConditionVariable changed_;
    bool set_;
    WaitTimeouts* timeouts_;
};

}  // namespace druvex
