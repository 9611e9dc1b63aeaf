// The device's global memory status as the crash and load diagnostics print
// it: physical memory and virtual memory, total and free, in bytes clamped to
// 32 bits (the log lines are "%u"). Virtual memory is the host's commit
// limit and what of it is not committed, the nearest match to the address
// space the device reports.
#pragma once

#include <cstdint>

namespace druvex {

struct MemoryReport {
    std::uint32_t totalPhysical = 0;
    std::uint32_t freePhysical = 0;  // getFreePhysicalMemory()
    std::uint32_t totalVirtual = 0;
    std::uint32_t freeVirtual = 0;
};

// Reads /proc/meminfo with plain system calls into a fixed buffer, so that a
// fault handler can call it; a figure that cannot be read is 0.
MemoryReport readMemoryReport();

}  // namespace druvex
