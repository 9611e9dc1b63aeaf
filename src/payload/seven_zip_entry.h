// The entries of a 7z backup archive: SevenZipEntry, what the writer records
// for each file or folder it adds, and SevenZipReaderEntry, what the reader
// found in an archive's header; and the rule for names that an archive may
// carry.
#pragma once

#include <cstdint>
#include <string_view>

#include "text/shared_string.h"

namespace druvex {

// Attributes stored for every entry.
constexpr std::uint32_t kSevenZipDirectoryAttribute = 0x10;
constexpr std::uint32_t kSevenZipFileAttribute = 0x20;

struct SevenZipEntry {
    // "/" between folders.
    SharedString name;
    // Empty for a folder added because a name lies below it.
    SharedString sourcePath;
    bool isDirectory = false;
    // The size when the file was added; the archive holds exactly this many
    // bytes of it or is not written.
    std::uint64_t size = 0;
    // Filled while the data is compressed.
    std::uint32_t crc = 0;
    // 100-ns units since 1601-01-01 UTC.
    std::uint64_t modificationTime = 0;

    bool hasData() const { return !isDirectory && size != 0; }
};

struct SevenZipReaderEntry {
    std::uint64_t size = 0;
    std::uint64_t modificationTime = 0;
    SharedString name;
    std::uint32_t crc = 0;
    bool isDirectory = false;
    // A folder or an empty file: nothing of it lies in the packed stream.
    bool hasNoData = false;
};

// Whether an entry name stays inside the folder it is extracted into: not
// empty, relative, '/' between non-empty components, none of them "." or
// "..", and no '\' or ':' (which the device would take as a separator or a
// drive).
bool isSafeArchiveName(std::u16string_view name);

}  // namespace druvex
