#include "text/byte_order_mark.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace druvex {
namespace {

struct MarkEntry {
    ByteOrderMarkKind kind;
    int length;
    std::uint8_t bytes[4];
};

// Searched in this order: FF FE 00 00 must be taken as UTF-32LE before its
// first two bytes are taken as UTF-16LE.
constexpr std::array<MarkEntry, 9> kMarks = {{
    {kBomUtf32LE, 4, {0xFF, 0xFE, 0x00, 0x00}},
    {kBomUtf16LE, 2, {0xFF, 0xFE}},
    {kBomUtf8, 3, {0xEF, 0xBB, 0xBF}},
    {kBomUtf7, 3, {0x2B, 0x2F, 0x76}},
    {kBomUtf16BE, 2, {0xFE, 0xFF}},
    {kBomUtf32BE, 4, {0x00, 0x00, 0xFE, 0xFF}},
    {kBomBocu1, 3, {0xFB, 0xEE, 0x28}},
    {kBomScsu, 3, {0x0E, 0xFE, 0xFF}},
    {kBomUtfEbcdic, 4, {0xDD, 0x73, 0x66, 0x73}},
}};

// "+/v" starts a UTF-7 mark only when the next character is one of these;
// otherwise it is ordinary text.
bool isUtf7MarkEnd(std::uint8_t byte)
{
    return byte == '8' || byte == '9' || byte == '+' || byte == '/';
}

void setLength(int* markLength, int value)
{
    if (markLength)
        *markLength = value;
}

}  // namespace

ByteOrderMarkKind findByteOrderMark(const std::uint8_t* bytes, std::size_t size, int* markLength)
{
    setLength(markLength, 0);
    if (!bytes)
        return kBomNone;
    for (const MarkEntry& entry : kMarks) {
        const auto length = static_cast<std::size_t>(entry.length);
        if (length > size || std::memcmp(bytes, entry.bytes, length) != 0)
            continue;
        if (entry.kind == kBomUtf7 && (size < 4 || !isUtf7MarkEnd(bytes[3])))
            continue;
        setLength(markLength, entry.length);
        return entry.kind;
    }
    return kBomNone;
}

TextFileEncoding detectTextEncoding(const std::uint8_t* bytes, std::size_t size, int* markLength)
{
    setLength(markLength, 0);
    if (!bytes || size < 2)
        return kEncodingUnsupported;
    switch (findByteOrderMark(bytes, size, markLength)) {
    case kBomNone:
        break;
    case kBomUtf8:
        return kEncodingUtf8;
    case kBomUtf16LE:
        return kEncodingUtf16LE;
    default:
        return kEncodingUnsupported;
    }
    // Without a mark, ASCII-range text in UTF-16LE has zeros at the odd offsets.
    if (size < 9 || bytes[1] || bytes[3] || bytes[5] || bytes[7])
        return kEncodingAnsi;
    if (bytes[0] || bytes[2] || bytes[4])
        return kEncodingUtf16LE;
    return bytes[6] ? kEncodingUtf16LE : kEncodingAnsi;
}

bool getByteOrderMark(int kind, std::uint8_t* out, int& length)
{
    const auto entry = std::find_if(kMarks.begin(), kMarks.end(), [kind](const MarkEntry& e) { return e.kind == kind; });
    if (entry == kMarks.end())
        return false;
    std::copy_n(entry->bytes, entry->length, out);
    length = entry->length;
    return true;
}

}  // namespace druvex
