// Byte-order marks and the encoding of a text file judged from its first
// bytes, as the ini reader and the other text-file readers need it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace druvex {

// Kind codes of the byte-order marks (stored numbers; do not renumber).
enum ByteOrderMarkKind : int {
    kBomNone = 0,
    kBomUtf8 = 1,
    kBomUtf16BE = 2,
    kBomUtf16LE = 3,
    kBomUtf32BE = 4,
    kBomUtf32LE = 5,
    kBomScsu = 6,
    kBomUtf7 = 7,
    kBomUtfEbcdic = 8,
    kBomBocu1 = 9,
};

// Text-file encodings, the same numbers as the ini files' encodings.
enum TextFileEncoding : int {
    kEncodingUnsupported = 0,
    kEncodingAnsi = 1,
    kEncodingUtf16LE = 2,
    kEncodingUtf8 = 3,
};

// The kind of the mark the buffer starts with, kBomNone when none (or a null
// buffer); `markLength` (may be null) receives its length, 0 without a mark.
ByteOrderMarkKind findByteOrderMark(const std::uint8_t* bytes, std::size_t size, int* markLength);

// The encoding of a text file from its mark, or without one from where its
// first bytes hold zeros. `markLength` (may be null) receives the mark's length.
TextFileEncoding detectTextEncoding(const std::uint8_t* bytes, std::size_t size, int* markLength);

// Copies the mark of `kind` into `out` (room for 4 bytes) and its length into
// `length`; false for a kind without a mark.
bool getByteOrderMark(int kind, std::uint8_t* out, int& length);

}  // namespace druvex
