// The package stream's header: the size and version words and the tree of
// folder, file and data records that describes a feature's package, parsed
// from bytes that hold the whole header. The data of the records follows the
// header in record order; the unpacker distributes it.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "text/shared_string.h"

namespace druvex {

// Record types. Any type not named here is a data record with a size.
constexpr std::uint32_t kPackageRecordEnd = 0;
constexpr std::uint32_t kPackageRecordFile = 1;
constexpr std::uint32_t kPackageRecordFolder = 2;
constexpr std::uint32_t kPackageRecordRegistry = 3;
constexpr std::uint32_t kPackageRecordEnvironmentVars = 4;
constexpr std::uint32_t kPackageRecordFileAssociations = 5;
constexpr std::uint32_t kPackageRecordFeatureScripts = 6;
constexpr std::uint32_t kPackageRecordEndOfTree = 7;  // what the archive's packages end with
constexpr std::uint32_t kPackageRecordShortcuts = 8;
constexpr std::uint32_t kPackageRecordIis = 9;
// Types from here on carry data that is passed over.
constexpr std::uint32_t kPackageRecordFirstSkipped = 10;

constexpr std::uint32_t kPackageMaxVersion = 5;
// u64 header size and u32 version; the end record needs four more bytes.
constexpr std::uint64_t kPackageHeaderFixedSize = 12;

inline bool isPackageFragmentType(std::uint32_t type)
{
    return type >= kPackageRecordRegistry && type < kPackageRecordFirstSkipped && type != kPackageRecordEndOfTree;
}

// One record of the tree in stream order: a folder comes before its children.
struct PackageRecord {
    std::uint32_t type = kPackageRecordEnd;
    SharedString name;             // folders and files
    std::uint32_t flags = 0;       // folders and files
    std::uint64_t dataSize = 0;    // files and data records: bytes in the data part
    std::uint64_t timeStamp = 0;   // files: a Windows file time (100 ns since 1601)
    std::uint64_t version = 0;     // files: four 16-bit parts, the first in the highest
    std::int32_t parent = -1;      // index of the enclosing folder record; -1 at the top level
};

struct PackageHeader {
    std::uint64_t headerSize = 0;
    std::uint32_t version = 0;
    std::vector<PackageRecord> records;
    std::uint64_t fileBytes = 0;  // the data sizes of the file records added up
    std::uint64_t dataBytes = 0;  // the data sizes of every record added up
};

// The header size that the first 8 bytes of a stream announce.
std::uint64_t readPackageHeaderSize(const std::uint8_t* first8);

// Parses a whole header (its own size word first). Every read is bounded by
// the bytes given; the tree ends at the first end record (0 or 7), also inside
// a child list. Refused, with the reason: a size word that differs from the
// bytes given, a version above 5, a record or text that runs past the header,
// more than kMaxPackageRecords records, folders nested deeper than
// kMaxFolderNesting, a name that could leave its folder (isSafePackageName),
// sizes whose sum overflows. `refusedRecord`,
// when given, receives the index of the record refused, or -1 when the fixed
// words were.
bool parsePackageHeader(std::span<const std::uint8_t> header, PackageHeader& parsed, std::string& reason,
                        std::int64_t* refusedRecord = nullptr);

// Whether the records handed over carry their names; a pass that only
// counts or sizes records leaves them empty and allocates nothing for them.
enum class PackageRecordNames { kKept, kSkipped };

// The same parse, handing each record to `take` in stream order instead of
// keeping it (parsed.records stays empty), for a reader that keeps records of
// its own and must not hold both lists. `take` answering false ends the parse
// with false, that record refused.
bool forEachPackageRecord(std::span<const std::uint8_t> header, PackageHeader& parsed, std::string& reason,
                          const std::function<bool(PackageRecord&&)>& take, std::int64_t* refusedRecord = nullptr,
                          PackageRecordNames names = PackageRecordNames::kKept);

// Whether a folder or file name may stand in a package. Below the top level a
// name is one component on the device: not empty, not "." or "..", and free of
// control characters and of / \ : * ? " < > |, so that it can neither climb out
// of its folder nor bring an installer variable into the expanded path. A
// top-level name is a root such as "<TARGETDIR>" that the resolver expands:
// separators and brackets are allowed, but it must not be empty, and no
// component may be "." or ".." or hold a control character.
bool isSafePackageName(std::u16string_view name, bool topLevel);

}  // namespace druvex
