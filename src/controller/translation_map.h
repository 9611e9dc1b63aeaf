// The installer archive's "TranslationMap": which languages the archive holds
// a translation for, as little-endian records {LCID (16 bits), name length (32
// bits, in UTF-16 units), name (UTF-16LE, no terminator)} after a 32-bit
// record count. Counts and lengths are checked against the bytes that are
// there before anything is allocated for them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "text/shared_string.h"

namespace druvex {

class ByteStream;

// Reads exactly the bytes asked for from a stream and keeps count of what is
// left of it, so that a length read from the data can be checked against it.
class BoundedStreamReader {
public:
    // From the stream's current position, which must be its start.
    explicit BoundedStreamReader(ByteStream& stream);

    // False, having consumed what was there, when fewer than `count` bytes are left.
    bool readExact(void* buffer, std::size_t count);
    std::uint64_t remaining() const { return size_ - position_; }

private:
    ByteStream& stream_;
    std::uint64_t size_ = 0;
    std::uint64_t position_ = 0;
};

// A 32-bit little-endian unit count, then that many UTF-16 units into `text`,
// cut at its first zero unit. A count of 0 answers true and leaves `text` as
// it was. False when the count cannot be read whole, or when the stream holds
// fewer units than it announces (refused before any room is made for them).
bool readLengthPrefixedWString(BoundedStreamReader& reader, SharedString& text);

struct TranslationMapRecord {
    std::uint16_t lcid = 0;
    SharedString name;
};

// Whether a language name may become part of a file name in the "lng"
// folder (lng_5.1_<LCID>_<name>.lng): it holds no '/', no backslash and no "..",
// so that the file it names can lie nowhere else. Empty is allowed.
bool isSafeLanguageName(std::u16string_view name);

// Reads the map's records into `records` (emptied first). False when the
// count is missing, when the entry cannot hold as many records as it counts
// (nothing is read then), at the first record that is cut short, or at the
// first whose name is not safe (isSafeLanguageName); the records read before
// it stay.
bool parseTranslationMap(const std::vector<std::uint8_t>& bytes, std::vector<TranslationMapRecord>& records);

}  // namespace druvex
