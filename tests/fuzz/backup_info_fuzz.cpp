// A full backup's information, "info.xml": read, written again, and the
// written document read once more to the same fields.
// fuzz-links: druvex_engine
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/backup_info.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace druvex;
    const std::vector<std::uint8_t> bytes(data, data + size);
    BackupInfo info;
    if (readBackupInfoXml(bytes, info) != BackupInfoRead::Read)
        return 0;
    std::vector<std::uint8_t> written;
    if (!writeBackupInfoXml(info, written))
        __builtin_trap();
    BackupInfo again;
    if (readBackupInfoXml(written, again) != BackupInfoRead::Read || again.programName != info.programName ||
        again.programUuid != info.programUuid || again.programVersion != info.programVersion ||
        again.dataFolder != info.dataFolder)
        __builtin_trap();
    return 0;
}
