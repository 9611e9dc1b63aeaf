#include "text/text_convert.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <string>

#include "text/code_pages.h"
#include "text/diag.h"

namespace druvex {
namespace {

constexpr unsigned kDefaultAnsiCodePage = 1252;
std::atomic<unsigned> g_ansiCodePage{kDefaultAnsiCodePage};

bool isHighSurrogate(std::uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(std::uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void reportTooSmall()
{
    DRUVEX_DBGCHK("text_traits: destination too small");
}

// A source cut at its first zero (or at its given length).
struct SourceSpan {
    int length = 0;
    bool stoppedAtZero = false;
};

// Where a bounded or zero-terminated source ends, and whether a zero ended it.
template <typename Char>
SourceSpan measureSource(const Char* source, int length)
{
    SourceSpan span;
    if (length < 0) {
        span.length = static_cast<int>(std::char_traits<Char>::length(source));
        span.stoppedAtZero = true;
        return span;
    }
    const Char* zero = std::char_traits<Char>::find(source, static_cast<std::size_t>(length), Char{});
    span.length = zero ? static_cast<int>(zero - source) : length;
    span.stoppedAtZero = zero != nullptr;
    return span;
}

// Four units of ASCII other than zero (a zero ends the text, so the unit loop
// must see it), packed as the four bytes they convert to.
bool fourAsciiUnits(const char16_t* units, std::uint32_t& bytes)
{
    std::uint64_t v;
    std::memcpy(&v, units, sizeof v);
    if ((v & 0xFF80FF80FF80FF80ull) != 0 || ((v - 0x0001000100010001ull) & ~v & 0x8000800080008000ull) != 0)
        return false;
    bytes = static_cast<std::uint32_t>((v & 0xFF) | ((v >> 8) & 0xFF00) | ((v >> 16) & 0xFF0000) |
                                       ((v >> 24) & 0xFF000000));
    return true;
}

// Eight bytes of ASCII other than zero.
bool eightAsciiBytes(const unsigned char* bytes)
{
    std::uint64_t v;
    std::memcpy(&v, bytes, sizeof v);
    return (v & 0x8080808080808080ull) == 0 && ((v - 0x0101010101010101ull) & ~v & 0x8080808080808080ull) == 0;
}

}  // namespace

unsigned ansiCodePage()
{
    return g_ansiCodePage.load(std::memory_order_relaxed);
}

void setAnsiCodePage(unsigned codePage)
{
    g_ansiCodePage.store(codePage == kCodePageAnsi ? kDefaultAnsiCodePage : codePage, std::memory_order_relaxed);
}

int encodeUtf8(Utf16DecodeState& state, char* out)
{
    const std::uint32_t cp = state.bits;
    state = {};
    if (cp < 0x80) {
        if (out)
            out[0] = static_cast<char>(cp);
        return 1;
    }
    if (cp < 0x800) {
        if (out) {
            out[0] = static_cast<char>(0xC0 | (cp >> 6));
            out[1] = static_cast<char>(0x80 | (cp & 0x3F));
        }
        return 2;
    }
    if (cp < 0x10000) {
        if (out) {
            out[0] = static_cast<char>(0xE0 | (cp >> 12));
            out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out[2] = static_cast<char>(0x80 | (cp & 0x3F));
        }
        return 3;
    }
    if (cp < 0x110000) {
        if (out) {
            out[0] = static_cast<char>(0xF0 | (cp >> 18));
            out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out[3] = static_cast<char>(0x80 | (cp & 0x3F));
        }
        return 4;
    }
    return -1;
}

int encodeUtf16(Utf8DecodeState& state, char16_t* out)
{
    const std::uint32_t cp = state.codePoint;
    state = {};
    if (cp >= 0x110000 || (cp >= 0xD800 && cp <= 0xDFFF))
        return -1;
    if (cp < 0x10000) {
        if (out)
            out[0] = static_cast<char16_t>(cp);
        return 1;
    }
    if (out) {
        const std::uint32_t v = cp - 0x10000;
        out[0] = static_cast<char16_t>(0xD800 | (v >> 10));
        out[1] = static_cast<char16_t>(0xDC00 | (v & 0x3FF));
    }
    return 2;
}

int decodeUtf16Unit(Utf16DecodeState& state, char* out, char16_t unit)
{
    if (isHighSurrogate(unit)) {
        if (state.pendingHighSurrogates)
            return -1;
        state.bits = unit;
        state.pendingHighSurrogates = 1;
        return 0;
    }
    if (isLowSurrogate(unit)) {
        if (!state.pendingHighSurrogates)
            return -1;
        state.bits = (((state.bits & 0x3FF) << 10) | (unit & 0x3FFu)) + 0x10000;
        state.pendingHighSurrogates = 0;
        return encodeUtf8(state, out);
    }
    if (state.pendingHighSurrogates)
        return -1;
    state.bits = unit;
    return encodeUtf8(state, out);
}

int decodeUtf8Byte(Utf8DecodeState& state, char16_t* out, unsigned char byte)
{
    if (byte >= 0x80 && byte <= 0xBF) {
        if (state.continuationBytes == 0)
            return -1;
        state.codePoint = (state.codePoint << 6) | (byte & 0x3Fu);
        if (--state.continuationBytes > 0)
            return 0;
        return encodeUtf16(state, out);
    }
    if (state.continuationBytes != 0)
        return -1;
    if (byte < 0x80) {
        state.codePoint = byte;
        return encodeUtf16(state, out);
    }
    if (byte <= 0xDF) {
        state.codePoint = byte & 0x1Fu;
        state.continuationBytes = 1;
        return 0;
    }
    if (byte <= 0xEF) {
        state.codePoint = byte & 0x0Fu;
        state.continuationBytes = 2;
        return 0;
    }
    if (byte <= 0xF7) {
        state.codePoint = byte & 0x07u;
        state.continuationBytes = 3;
        return 0;
    }
    return -1;
}

int utf16ToUtf8(const char16_t* source, int units, char* dest, int bytes)
{
    if (!source) {
        if (dest && bytes >= 1)
            dest[0] = 0;
        return 0;
    }
    const bool bounded = units >= 0;
    Utf16DecodeState state;
    if (!dest) {
        long long total = 0;
        for (int i = 0; (!bounded || i < units) && source[i] != 0; ++i) {
            const int n = decodeUtf16Unit(state, nullptr, source[i]);
            if (n < 0)
                return -1;
            total += n;
            if (total > INT_MAX)
                return -1;
        }
        return state.pendingHighSurrogates ? -1 : static_cast<int>(total);
    }

    const int room = std::max(bytes, 0);
    int pos = 0;
    bool stoppedAtZero = false;
    for (int i = 0; !bounded || i < units; ++i) {
        // ASCII runs four units at a time; only where the source is bounded,
        // since a zero-terminated one must not be read past its end.
        std::uint32_t packed;
        while (bounded && units - i >= 4 && room - pos >= 4 && !state.pendingHighSurrogates &&
               fourAsciiUnits(source + i, packed)) {
            std::memcpy(dest + pos, &packed, 4);
            pos += 4;
            i += 4;
        }
        if (bounded && i >= units)
            break;
        const char16_t unit = source[i];
        if (unit == 0) {
            stoppedAtZero = true;
            break;
        }
        if (unit < 0x80 && !state.pendingHighSurrogates && pos < room) {
            dest[pos++] = static_cast<char>(unit);
            continue;
        }
        if (room - pos >= 4) {
            const int n = decodeUtf16Unit(state, dest + pos, unit);
            if (n < 0)
                return -1;
            pos += n;
            continue;
        }
        // Near the end a code point goes through a scratch area, so that one
        // which does not fit leaves no partial sequence behind.
        char scratch[4];
        const int n = decodeUtf16Unit(state, scratch, unit);
        if (n < 0)
            return -1;
        if (n > room - pos) {
            reportTooSmall();
            return pos;
        }
        std::memcpy(dest + pos, scratch, static_cast<std::size_t>(n));
        pos += n;
    }
    if (state.pendingHighSurrogates)
        return -1;
    if (stoppedAtZero && pos < room)
        dest[pos] = 0;
    return pos;
}

int utf8ToUtf16(const char* source, int bytes, char16_t* dest, int units)
{
    if (!source) {
        if (dest && units >= 1)
            dest[0] = 0;
        return 0;
    }
    const bool bounded = bytes >= 0;
    const auto* in = reinterpret_cast<const unsigned char*>(source);
    Utf8DecodeState state;
    if (!dest) {
        long long total = 0;
        for (int i = 0; (!bounded || i < bytes) && in[i] != 0; ++i) {
            const int n = decodeUtf8Byte(state, nullptr, in[i]);
            if (n < 0)
                return -1;
            total += n;
            if (total > INT_MAX)
                return -1;
        }
        return state.continuationBytes ? -1 : static_cast<int>(total);
    }

    const int room = std::max(units, 0);
    int pos = 0;
    bool stoppedAtZero = false;
    for (int i = 0; !bounded || i < bytes; ++i) {
        while (bounded && bytes - i >= 8 && room - pos >= 8 && !state.continuationBytes && eightAsciiBytes(in + i)) {
            for (int k = 0; k < 8; ++k)
                dest[pos + k] = in[i + k];
            pos += 8;
            i += 8;
        }
        if (bounded && i >= bytes)
            break;
        const unsigned char byte = in[i];
        if (byte == 0) {
            stoppedAtZero = true;
            break;
        }
        if (byte < 0x80 && !state.continuationBytes && pos < room) {
            dest[pos++] = byte;
            continue;
        }
        if (room - pos >= 2) {
            const int n = decodeUtf8Byte(state, dest + pos, byte);
            if (n < 0)
                return -1;
            pos += n;
            continue;
        }
        char16_t scratch[2];
        const int n = decodeUtf8Byte(state, scratch, byte);
        if (n < 0)
            return -1;
        if (n > room - pos) {
            reportTooSmall();
            return pos;
        }
        std::copy_n(scratch, n, dest + pos);
        pos += n;
    }
    if (state.continuationBytes)
        return -1;
    if (stoppedAtZero && pos < room)
        dest[pos] = 0;
    return pos;
}

int countWideChars(const char* narrow, int bytes, unsigned codePage)
{
    return narrowToWide(nullptr, 0, narrow, bytes, codePage);
}

int countNarrowChars(const char16_t* wide, int units, unsigned codePage)
{
    return wideToNarrow(nullptr, 0, wide, units, codePage);
}

namespace {

// The two directions differ only in their UTF-8 codec and their code page
// table, both of which overloads on the character types pick.
int convertUtf8(const char* source, int length, char16_t* dest, int room)
{
    return utf8ToUtf16(source, length, dest, room);
}

int convertUtf8(const char16_t* source, int length, char* dest, int room)
{
    return utf16ToUtf8(source, length, dest, room);
}

int convertCodePage(unsigned codePage, const char* source, int length, char16_t* dest, int room, bool& complete)
{
    return codePageToWide(codePage, source, length, dest, room, complete);
}

int convertCodePage(unsigned codePage, const char16_t* source, int length, char* dest, int room, bool& complete)
{
    return wideToCodePage(codePage, source, length, dest, room, complete);
}

template <typename To, typename From>
int convertText(To* dest, int room, const From* source, int length, unsigned codePage)
{
    if (length == 0)
        return 0;
    if (codePage == kCodePageAnsi)
        codePage = ansiCodePage();
    if (codePage == kCodePageUtf8)
        return convertUtf8(source, length, dest, room);
    if (!source) {
        if (dest && room >= 1)
            dest[0] = 0;
        return 0;
    }
    const SourceSpan span = measureSource(source, length);
    room = std::max(room, 0);
    bool complete = true;
    const int n = convertCodePage(codePage, source, span.length, dest, room, complete);
    if (n < 0)
        return -1;
    if (!complete)
        reportTooSmall();
    else if (dest && span.stoppedAtZero && n < room)
        dest[n] = 0;
    return n;
}

}  // namespace

int narrowToWide(char16_t* dest, int units, const char* narrow, int bytes, unsigned codePage)
{
    return convertText(dest, units, narrow, bytes, codePage);
}

int wideToNarrow(char* dest, int bytes, const char16_t* wide, int units, unsigned codePage)
{
    return convertText(dest, bytes, wide, units, codePage);
}

}  // namespace druvex
