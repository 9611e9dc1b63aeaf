// FullBackupReader: what the welcome page asks of the engine's restorer when
// the user picks a full backup to restore: whether the backup at a path can
// be restored by this installer.
#pragma once

#include <cstdint>

#include "text/shared_string.h"

namespace druvex {

// The answers of readBackupInfo.
enum class BackupCheck : std::int32_t {
    kBackupValid = 0,
    kBackupNotValid = 1,       // the archive cannot be opened
    kBackupMissingFiles = 2,   // "settings.xml" or "info.xml" is missing
    kBackupInvalidFiles = 3,   // either does not parse
    kBackupIncompatible = 4,   // information in a format this installer does not take
    kBackupFutureVersion = 5,  // made for a later program version
};
using enum BackupCheck;

class FullBackupReader {
public:
    virtual ~FullBackupReader() = default;
    // Opens the backup at `path` and reads its settings and information.
    virtual BackupCheck readBackupInfo(const SharedString& path) = 0;
};

}  // namespace druvex
