// Conversions between the program's UTF-16 text and the 8-bit forms at its
// borders: the UTF-8 codec (code page 65001, our own), the device's ANSI code
// page (0), and other code pages. All functions are re-entrant.
//
// Common rules of the buffer conversions:
// - A negative source length means "up to the zero terminator".
// - Conversion stops at the first zero unit or byte of the source. A terminating
//   zero is written only when it stopped there and room remains; it is never
//   counted.
// - A null destination measures: the result is what a conversion would write.
// - A destination too small for the next character stops the conversion before
//   that character (no partial sequence is written) with one assertion report;
//   the result is what was written.
// - -1 means invalid input (or an unknown code page).
#pragma once

#include <cstdint>

namespace druvex {

constexpr unsigned kCodePageAnsi = 0, kCodePageUtf8 = 65001;

// The device's ANSI code page, process-wide; 1252 until the device profile or a
// test sets another. Setting 0 restores 1252.
unsigned ansiCodePage();
void setAnsiCodePage(unsigned codePage);

// Code pages: 65001 is our UTF-8 codec, 0 resolves to ansiCodePage(), 1252 is
// our own table, others go through the C library's converter ("CP<n>").
// From a code page to UTF-16 nothing is replaced: a byte sequence without a
// mapping gives -1. From UTF-16 to a code page, a character without a mapping
// and a lone surrogate become '?', one per code point.
int countWideChars(const char* narrow, int bytes, unsigned codePage);  // units needed, -1 invalid
int narrowToWide(char16_t* dest, int units, const char* narrow, int bytes, unsigned codePage);
int countNarrowChars(const char16_t* wide, int units, unsigned codePage);  // bytes needed, -1 invalid
int wideToNarrow(char* dest, int bytes, const char16_t* wide, int units, unsigned codePage);

// State of a UTF-16 decoder: the pending code point (or high surrogate) and
// whether a high surrogate waits for its low half (0 or 1).
struct Utf16DecodeState {
    std::uint32_t bits = 0;
    int pendingHighSurrogates = 0;
};

// State of a UTF-8 decoder: the code point being assembled and how many
// continuation bytes are still expected.
struct Utf8DecodeState {
    std::uint32_t codePoint = 0;
    int continuationBytes = 0;
};

// The code point in `state` as 1 to 4 UTF-8 bytes (null `out`: only the
// count); -1 from 0x110000 up. Clears the state.
int encodeUtf8(Utf16DecodeState& state, char* out);

// The code point in `state` as one unit or a surrogate pair (null `out`: only
// the count); -1 for surrogates and from 0x110000 up. Clears the state.
int encodeUtf16(Utf8DecodeState& state, char16_t* out);

// Feeds one UTF-16 unit; returns the UTF-8 bytes emitted (0 after a high
// surrogate) or -1 for an unpaired surrogate.
int decodeUtf16Unit(Utf16DecodeState& state, char* out, char16_t unit);

// Feeds one UTF-8 byte; returns the UTF-16 units emitted (0 while a sequence
// is incomplete) or -1 for an invalid byte or code point. Overlong forms are
// accepted (C0 80 is U+0000).
int decodeUtf8Byte(Utf8DecodeState& state, char16_t* out, unsigned char byte);

// The UTF-8 codec over buffers (see the common rules above). A high surrogate
// or a UTF-8 sequence left incomplete at the end gives -1. A null source
// writes a zero when there is room and gives 0.
int utf16ToUtf8(const char16_t* source, int units, char* dest, int bytes);
int utf8ToUtf16(const char* source, int bytes, char16_t* dest, int units);

}  // namespace druvex
