#include "platform/exit_status.h"

#include "text/diag.h"

namespace druvex {

namespace {
constexpr std::uint32_t kUpdateCheckBits = 1u | 2u | kExitCodeUpdateInfoNotWritten;
}  // namespace

int exitStatusFromCode(std::uint32_t code) noexcept
{
    if (code == kExitCodeCrash)
        return 222;
    if (code == kExitCodeCrashInCrash)
        return 238;
    if (code == kExitCodeNoConnection)
        return 128;
    // The update check's "update_info.xml not written" bit lies above the 8
    // bits, so the mask is folded into 1, 2 and 4.
    if ((code & kExitCodeUpdateInfoNotWritten) != 0 && (code & ~kUpdateCheckBits) == 0)
        return static_cast<int>((code & 3u) | 4u);
    const std::uint32_t low = code & 0xFFu;
    if (low == 0 && code != 0)
        return 1;
    return static_cast<int>(low);
}

int logExitStatus(std::uint32_t code)
{
    const int status = exitStatusFromCode(code);
    logPrintf(u"Exit code %u (0x%08X), process status %d", code, code, status);
    return status;
}

}  // namespace druvex
