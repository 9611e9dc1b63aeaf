// A clock for the HTTP layer's idle time-out that moves only when the test
// moves it, so that a time-out passes without waiting for it.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/http_request.h"

namespace druvex::test {

class FakeHttpClock final : public HttpClock {
public:
    std::uint64_t nowMs() override { return now_.load(); }
    void advance(std::uint64_t ms) { now_ += ms; }

private:
    std::atomic<std::uint64_t> now_{1000};
};

}  // namespace druvex::test
