#include "core/memory_status.h"

#include <sys/sysinfo.h>

#include <algorithm>
#include <atomic>
#include <cstdio>

#include "text/diag.h"

namespace druvex {
namespace {

// MemAvailable counts reclaimable caches, as the device's figure does; kernels
// without it fall back to the free pages alone.
std::uint64_t hostFreePhysicalMemory()
{
    if (std::FILE* file = std::fopen("/proc/meminfo", "r")) {
        char line[256];
        unsigned long long kibibytes = 0;
        bool found = false;
        while (!found && std::fgets(line, sizeof line, file))
            found = std::sscanf(line, "MemAvailable: %llu kB", &kibibytes) == 1;
        std::fclose(file);
        if (found)
            return kibibytes * 1024;
    }
    struct sysinfo info {};
    if (sysinfo(&info) != 0)
        return 0;
    return static_cast<std::uint64_t>(info.freeram) * info.mem_unit;
}

std::atomic<FreeMemoryQuery> g_query{nullptr};

unsigned clampToU32(std::uint64_t value)
{
    return static_cast<unsigned>(std::min<std::uint64_t>(value, 0xFFFFFFFFu));
}

}  // namespace

std::uint64_t getFreePhysicalMemory()
{
    const FreeMemoryQuery query = g_query.load(std::memory_order_acquire);
    return query ? query() : hostFreePhysicalMemory();
}

bool checkFreeMemory(std::uint64_t neededBytes)
{
    const std::uint64_t available = getFreePhysicalMemory();
    if (available >= neededBytes)
        return true;
    // The line has 32-bit fields; larger figures show as 4294967295.
    logPrintf(u"free mem: %u, needed: %u", clampToU32(available), clampToU32(neededBytes));
    return false;
}

FreeMemoryQuery setFreeMemoryQuery(FreeMemoryQuery query)
{
    return g_query.exchange(query, std::memory_order_acq_rel);
}

}  // namespace druvex
