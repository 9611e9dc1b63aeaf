#include "core/memory_report.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/memory_status.h"

namespace druvex {
namespace {

std::uint32_t clampToU32(std::uint64_t value)
{
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(value, 0xFFFFFFFFu));
}

// The figure of "<name>:   <n> kB" in bytes; 0 when the line is missing.
std::uint64_t meminfoBytes(const char* text, const char* name)
{
    const std::size_t nameLength = std::strlen(name);
    for (const char* line = text; *line;) {
        if (std::strncmp(line, name, nameLength) == 0 && line[nameLength] == ':') {
            const char* digit = line + nameLength + 1;
            while (*digit == ' ' || *digit == '\t')
                ++digit;
            std::uint64_t kibibytes = 0;
            while (*digit >= '0' && *digit <= '9')
                kibibytes = kibibytes * 10 + static_cast<std::uint64_t>(*digit++ - '0');
            return kibibytes * 1024;
        }
        const char* next = std::strchr(line, '\n');
        if (!next)
            break;
        line = next + 1;
    }
    return 0;
}

}  // namespace

MemoryReport readMemoryReport()
{
    MemoryReport report;
    report.freePhysical = clampToU32(getFreePhysicalMemory());
    char text[8192];
    std::size_t length = 0;
    const int fd = ::open("/proc/meminfo", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return report;
    while (length + 1 < sizeof text) {
        const ssize_t got = ::read(fd, text + length, sizeof text - 1 - length);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        length += static_cast<std::size_t>(got);
    }
    ::close(fd);
    text[length] = '\0';
    report.totalPhysical = clampToU32(meminfoBytes(text, "MemTotal"));
    const std::uint64_t commitLimit = meminfoBytes(text, "CommitLimit");
    const std::uint64_t committed = meminfoBytes(text, "Committed_AS");
    report.totalVirtual = clampToU32(commitLimit);
    report.freeVirtual = clampToU32(commitLimit > committed ? commitLimit - committed : 0);
    return report;
}

}  // namespace druvex
