// Watches the sizes that the calling thread asks of operator new, so that a
// test can show that a length read from hostile input never became an
// allocation. The controller tests replace the global allocation functions
// (allocation_probe.cpp) to see them.
#pragma once

#include <cstddef>

namespace druvex::test {

class AllocationProbe {
public:
    AllocationProbe();
    ~AllocationProbe();
    AllocationProbe(const AllocationProbe&) = delete;
    AllocationProbe& operator=(const AllocationProbe&) = delete;

    // The largest single request since the probe was made.
    std::size_t largest() const { return largest_; }

private:
    std::size_t largest_ = 0;
    std::size_t* previous_;
};

}  // namespace druvex::test
