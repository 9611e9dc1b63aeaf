// BackupInfo: the backup information "info.xml" that every full backup
// carries beside the field program's settings: which program and version the
// data belong to, the data folder they came from and when the backup was
// made. Written and read here; what the archive holds around it is the full
// backup's (full_backup_restore.h).
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "text/shared_string.h"

namespace druvex {

// The one format of the backup information this installer writes and reads.
constexpr std::int32_t kBackupInfoFormat = 1;

struct BackupInfo {
    SharedString programName;
    // Empty when the installer data had none.
    SharedString programUuid;
    // The version of the program whose data were backed up.
    SharedString programVersion;
    // As the backup was asked for: relative to the program's destination
    // folder, or a device path from the root.
    SharedString dataFolder;
    // UTC, "2024-05-17T09:41:07Z".
    SharedString created;
};

enum class BackupInfoRead {
    Read,
    // Not one XML document the system's reader accepts.
    DoesNotParse,
    // Another root element, or another format than kBackupInfoFormat.
    OtherFormat,
    // The program's name or version, or the data folder, missing or unusable.
    Incomplete,
};

// The document, UTF-8 with a byte-order mark. False when the writer failed.
bool writeBackupInfoXml(const BackupInfo& info, std::vector<std::uint8_t>& out);
BackupInfoRead readBackupInfoXml(const std::vector<std::uint8_t>& bytes, BackupInfo& info);

// Whether the bytes are one XML document with a root element, as the
// system's reader takes it (the settings file is checked no further).
bool isXmlDocument(const std::vector<std::uint8_t>& bytes);

// Whether a data folder may be named in a backup: not empty, no drive, and
// no "." or ".." component, so that it stands for one folder whatever folder
// a relative one is resolved against.
bool isPlainFolderPath(std::u16string_view path);

// The current UTC time as BackupInfo::created has it.
SharedString backupCreationTime();

}  // namespace druvex
