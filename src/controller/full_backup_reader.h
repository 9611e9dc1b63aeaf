// FullBackupReader: what the welcome page asks of the engine's restorer when
// the user picks a full backup to restore: whether the backup at a path can
// be restored by this installer.
#pragma once

#include <cstdint>

#include "text/shared_string.h"

namespace druvex {

// The answers of readBackupInfo.
constexpr std::int32_t kBackupValid = 0;
constexpr std::int32_t kBackupNotValid = 1;         // the archive cannot be opened
constexpr std::int32_t kBackupMissingFiles = 2;     // "settings.xml" or "info.xml" is missing
constexpr std::int32_t kBackupInvalidFiles = 3;     // either does not parse
constexpr std::int32_t kBackupIncompatible = 4;     // information in a format this installer does not take
constexpr std::int32_t kBackupFutureVersion = 5;    // made for a later program version

class FullBackupReader {
public:
    virtual ~FullBackupReader() = default;
    // Opens the backup at `path` and reads its settings and information.
    virtual std::int32_t readBackupInfo(const SharedString& path) = 0;
};

}  // namespace druvex
