// Free physical memory, and the check made before large allocations.
#pragma once

#include <cstdint>

namespace druvex {

// Bytes of physical memory available now (the host's MemAvailable).
std::uint64_t getFreePhysicalMemory();

// True when getFreePhysicalMemory() is at least `neededBytes`; otherwise logs
// "free mem: %u, needed: %u" (available, needed) and gives false. Nothing is
// freed or retried.
bool checkFreeMemory(std::uint64_t neededBytes);

// Replaces the memory query (null: the host's again) and returns the previous
// one (null for the host's). For tests.
using FreeMemoryQuery = std::uint64_t (*)();
FreeMemoryQuery setFreeMemoryQuery(FreeMemoryQuery query);

}  // namespace druvex
