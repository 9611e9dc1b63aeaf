#include "text/code_pages.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <iconv.h>
#include <string>

namespace druvex {
namespace {

static_assert(std::endian::native == std::endian::little, "UTF-16LE is the in-memory form of char16_t text");

constexpr unsigned kCodePageWestern = 1252;
constexpr char kNoMapping = '?';

// Bytes 0x80-0x9F of code page 1252. The five bytes the code page leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of the same
// value, as the device's converter does, so that every byte survives a round
// trip.
constexpr std::array<char16_t, 32> kWestern80 = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char16_t westernToWide(unsigned char byte)
{
    if (byte >= 0x80 && byte <= 0x9F)
        return kWestern80[byte - 0x80];
    return byte;
}

// The 1252 byte of a BMP character, or '?' when it has none.
char wideToWestern(char16_t unit)
{
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF))
        return static_cast<char>(unit);
    for (std::size_t i = 0; i < kWestern80.size(); ++i)
        if (kWestern80[i] == unit)
            return static_cast<char>(0x80 + i);
    return kNoMapping;
}

bool isHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Units of the code point starting at `wide[i]`: 2 for a valid pair, else 1
// (a lone surrogate counts as one code point).
int codePointUnits(const char16_t* wide, int i, int length)
{
    return isHighSurrogate(wide[i]) && i + 1 < length && isLowSurrogate(wide[i + 1]) ? 2 : 1;
}

int westernToWideBuffer(const char* narrow, int length, char16_t* dest, int room, bool& complete)
{
    if (!dest)
        return length;
    const int n = std::min(length, room);
    for (int i = 0; i < n; ++i)
        dest[i] = westernToWide(static_cast<unsigned char>(narrow[i]));
    complete = n == length;
    return n;
}

int wideToWesternBuffer(const char16_t* wide, int length, char* dest, int room, bool& complete)
{
    int pos = 0;
    for (int i = 0; i < length;) {
        const int units = codePointUnits(wide, i, length);
        if (dest) {
            if (pos >= room) {
                complete = false;
                return pos;
            }
            dest[pos] = units == 2 ? kNoMapping : wideToWestern(wide[i]);
        }
        ++pos;
        i += units;
    }
    return pos;
}

// One conversion descriptor for one call: descriptors carry shift state and
// must not be shared between threads.
class IconvHandle {
public:
    IconvHandle(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~IconvHandle()
    {
        if (valid())
            iconv_close(cd_);
    }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;

    bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    std::size_t convert(char** in, std::size_t* inLeft, char** out, std::size_t* outLeft)
    {
        return iconv(cd_, in, inLeft, out, outLeft);
    }
    // Writes what returns a stateful encoding to its initial shift state.
    std::size_t reset(char** out, std::size_t* outLeft) { return iconv(cd_, nullptr, nullptr, out, outLeft); }

private:
    iconv_t cd_;
};

constexpr std::size_t kConversionFailed = static_cast<std::size_t>(-1);

std::string iconvName(unsigned codePage)
{
    return "CP" + std::to_string(codePage);
}

// The output side of an iconv conversion. iconv goes through a scratch area
// whose window never exceeds the room left in the caller's buffer: some of its
// converters write the first bytes of a character that does not fit before
// they report E2BIG, and the caller's bytes behind the result must stay as
// they were. Only whole characters are copied out.
class IconvOutput {
public:
    // A null `dest` measures: the room is then unbounded.
    IconvOutput(char* dest, std::size_t room) : dest_(dest), roomLeft_(room) { openWindow(); }

    char** out() { return &out_; }
    std::size_t* left() { return &left_; }

    // Copies what the scratch area holds and opens it again; false when the
    // caller's buffer is what limited it, so the next character cannot fit.
    bool drain()
    {
        const bool limitedByDest = dest_ && window_ == roomLeft_;
        flush();
        openWindow();
        return !limitedByDest;
    }

    bool put(char byte)
    {
        if (left_ == 0 && !drain())
            return false;
        *out_++ = byte;
        --left_;
        return true;
    }

    // Bytes produced, after the scratch area has gone to the caller.
    long long finish()
    {
        flush();
        openWindow();
        return produced_;
    }

private:
    void openWindow()
    {
        window_ = dest_ ? std::min(scratch_.size(), roomLeft_) : scratch_.size();
        out_ = scratch_.data();
        left_ = window_;
    }

    void flush()
    {
        const std::size_t n = static_cast<std::size_t>(out_ - scratch_.data());
        if (dest_) {
            std::copy_n(scratch_.data(), n, dest_ + produced_);
            roomLeft_ -= n;
        }
        produced_ += static_cast<long long>(n);
        out_ = scratch_.data();
    }

    std::array<char, 512> scratch_;
    char* dest_;
    std::size_t roomLeft_;
    std::size_t window_ = 0;
    char* out_ = nullptr;
    std::size_t left_ = 0;
    long long produced_ = 0;
};

int checkedCount(long long count)
{
    return count > INT_MAX ? -1 : static_cast<int>(count);
}

// Returns the encoding to its initial shift state; false when the caller's
// buffer has no room for that.
bool resetShift(IconvHandle& handle, IconvOutput& output)
{
    while (handle.reset(output.out(), output.left()) == kConversionFailed)
        if (errno != E2BIG || !output.drain())
            return false;
    return true;
}

int iconvToWide(unsigned codePage, const char* narrow, int length, char16_t* dest, int room, bool& complete)
{
    IconvHandle handle("UTF-16LE", iconvName(codePage).c_str());
    if (!handle.valid())
        return -1;
    IconvOutput output(reinterpret_cast<char*>(dest), static_cast<std::size_t>(room) * 2);
    char* in = const_cast<char*>(narrow);
    std::size_t inLeft = static_cast<std::size_t>(length);
    for (;;) {
        if (handle.convert(&in, &inLeft, output.out(), output.left()) != kConversionFailed)
            break;
        if (errno != E2BIG)
            return -1;  // no mapping, or a character cut off at the end
        if (!output.drain()) {
            complete = false;
            break;
        }
    }
    return checkedCount(output.finish() / 2);
}

int iconvToNarrow(unsigned codePage, const char16_t* wide, int length, char* dest, int room, bool& complete)
{
    IconvHandle handle(iconvName(codePage).c_str(), "UTF-16LE");
    if (!handle.valid())
        return -1;
    IconvOutput output(dest, static_cast<std::size_t>(room));
    char* in = reinterpret_cast<char*>(const_cast<char16_t*>(wide));
    std::size_t inLeft = static_cast<std::size_t>(length) * 2;
    for (;;) {
        if (handle.convert(&in, &inLeft, output.out(), output.left()) != kConversionFailed) {
            if (resetShift(handle, output))
                break;
            complete = false;
            break;
        }
        if (errno == E2BIG) {
            if (output.drain())
                continue;
            complete = false;
            break;
        }
        if (errno != EILSEQ && errno != EINVAL)
            return -1;
        // The character at `in` has no mapping (or is a lone surrogate): it
        // becomes one '?' after the encoding's shift state is back at rest.
        if (!resetShift(handle, output) || !output.put(kNoMapping)) {
            complete = false;
            break;
        }
        const int at = length - static_cast<int>(inLeft / 2);
        const std::size_t skip = static_cast<std::size_t>(codePointUnits(wide, at, length)) * 2;
        in += skip;
        inLeft -= skip;
    }
    return checkedCount(output.finish());
}

}  // namespace

int codePageToWide(unsigned codePage, const char* narrow, int length, char16_t* dest, int room, bool& complete)
{
    if (codePage == kCodePageWestern)
        return westernToWideBuffer(narrow, length, dest, room, complete);
    return iconvToWide(codePage, narrow, length, dest, room, complete);
}

int wideToCodePage(unsigned codePage, const char16_t* wide, int length, char* dest, int room, bool& complete)
{
    if (codePage == kCodePageWestern)
        return wideToWesternBuffer(wide, length, dest, room, complete);
    return iconvToNarrow(codePage, wide, length, dest, room, complete);
}

}  // namespace druvex
