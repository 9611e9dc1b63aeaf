// What the full backup and its restore share about files on the device: the
// data folder a backup names, path keys for comparing paths, and putting a
// file written whole under a temporary name in place of another.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "text/shared_string.h"

namespace druvex {

class HalAccess;

// A file being written goes under its final name plus this until it is
// complete; a file it replaces steps aside under its name plus the other.
inline constexpr char16_t kTemporarySuffix[] = u".new~";
inline constexpr char16_t kAsideSuffix[] = u".old~";
// The backup information waits beside the archive under the archive's name
// plus this until the archive holds it.
inline constexpr char16_t kBackupInfoSuffix[] = u".info~";

// Whether the path starts at the device's root ('\' or '/').
bool isRootedPath(std::u16string_view path);

// The data folder that `given` names: itself from the root, else below the
// program's destination folder.
SharedString dataFolderPath(const SharedString& given, const SharedString& destination);

// The path as the device's file system tells paths apart: without regard to
// case, either separator, repeated and trailing separators ignored.
std::u16string backupPathKey(std::u16string_view path);

// Puts the complete file `temporary` in place of `path`. An existing file
// steps aside first and comes back when the move fails; nothing is deleted
// that this did not make (a file already standing under the aside name fails
// it). On failure, logged, the temporary file is gone and `path` is as it
// was.
bool replaceWithTemporary(HalAccess& host, const SharedString& temporary, const SharedString& path);

// How far a backup or restore of `total` bytes is at `percent`, in KB, as
// the installation page's backup position takes it.
inline std::uint64_t kilobytesAtPercent(std::uint64_t total, std::uint32_t percent)
{
    return (total / 100 * percent + total % 100 * percent / 100) >> 10;
}

inline std::uint32_t lowWord(std::uint64_t value)
{
    return static_cast<std::uint32_t>(value);
}

inline std::uint32_t highWord(std::uint64_t value)
{
    return static_cast<std::uint32_t>(value >> 32);
}

}  // namespace druvex
