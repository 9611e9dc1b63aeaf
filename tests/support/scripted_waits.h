// Process waits that take no real time: a wait lasts as long as the process
// runs (the test programs end at once), or, when told, times out at once so
// that a program that never ends is given up on. Keeps what was asked for.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "platform/manual_reset_event.h"
#include "platform/process.h"

namespace druvex::test {

class ScriptedWaits final : public WaitTimeouts {
public:
    std::chrono::milliseconds effectiveTimeout(std::uint32_t requestedMs) override
    {
        requested.push_back(requestedMs);
        return timeOutAtOnce ? std::chrono::milliseconds(0) : std::chrono::milliseconds(std::chrono::minutes(5));
    }
    bool timeOutAtOnce = false;
    std::vector<std::uint32_t> requested;
};

// Installs the waits for the life of the object.
class ScopedProcessWaits {
public:
    explicit ScopedProcessWaits(WaitTimeouts& waits) : previous_(setProcessWaitTimeouts(&waits)) {}
    ~ScopedProcessWaits() { setProcessWaitTimeouts(previous_); }
    ScopedProcessWaits(const ScopedProcessWaits&) = delete;
    ScopedProcessWaits& operator=(const ScopedProcessWaits&) = delete;

private:
    WaitTimeouts* previous_;
};

}  // namespace druvex::test
