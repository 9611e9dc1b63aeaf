#include "text/terminal_text.h"

#include <cstdint>

namespace druvex {
namespace {

constexpr char kHex[] = "0123456789abcdef";

void appendEscape(std::string& out, const char* prefix, std::uint32_t value)
{
    out += prefix;
    out += kHex[(value >> 4) & 15];
    out += kHex[value & 15];
}

// The length of the whole UTF-8 sequence at `at` and its code point; 0 when
// no valid sequence starts there (overlong forms and surrogates included,
// which a terminal may take apart byte by byte).
std::size_t sequenceAt(std::string_view text, std::size_t at, char32_t& cp)
{
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 0;
    char32_t least = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        cp = lead & 0x1F;
        least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        cp = lead & 0x0F;
        least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        cp = lead & 0x07;
        least = 0x10000;
    } else {
        return 0;
    }
    if (text.size() - at < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0) != 0x80)
            return 0;
        cp = cp << 6 | (next & 0x3F);
    }
    if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return length;
}

}  // namespace

std::string terminalText(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t at = 0; at < utf8.size();) {
        const auto byte = static_cast<unsigned char>(utf8[at]);
        if (byte < 0x80) {
            if (byte < 0x20 || byte == 0x7F)
                appendEscape(out, "\\x", byte);
            else
                out += static_cast<char>(byte);
            ++at;
            continue;
        }
        char32_t cp = 0;
        const std::size_t length = sequenceAt(utf8, at, cp);
        if (length == 0) {
            appendEscape(out, "\\x", byte);
            ++at;
            continue;
        }
        if (cp <= 0x9F)
            appendEscape(out, "\\u00", cp);
        else
            out.append(utf8.substr(at, length));
        at += length;
    }
    return out;
}

}  // namespace druvex
