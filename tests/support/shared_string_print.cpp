#include "support/shared_string_print.h"

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <string>
#include <string_view>

namespace druvex {
namespace {

// Quoted, with control characters and (for invalid text) the raw units escaped.
void printQuoted(std::string_view bytes, std::ostream* os)
{
    *os << '"';
    for (char ch : bytes) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte < 0x20 || byte == '"' || byte == '\\') {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            *os << escaped;
        } else {
            *os << ch;
        }
    }
    *os << '"';
}

// Text that is not valid UTF-16 (a lone surrogate): the units in hex.
void printUnits(std::u16string_view units, std::ostream* os)
{
    *os << "u16{";
    for (std::size_t i = 0; i < units.size(); ++i) {
        char unit[8];
        std::snprintf(unit, sizeof unit, "%s%04X", i ? " " : "", static_cast<unsigned>(units[i]));
        *os << unit;
    }
    *os << '}';
}

}  // namespace

void PrintTo(const SharedString& text, std::ostream* os)
{
    // Converted piece by piece: the codec stops at a zero unit.
    std::string utf8;
    const std::u16string_view units = text.view();
    for (std::size_t start = 0; start <= units.size();) {
        const std::size_t zero = std::min(units.find(u'\0', start), units.size());
        const SharedString piece(units.substr(start, zero - start));
        const SharedStringA converted = toUtf8(piece);
        if (converted.isEmpty() && !piece.isEmpty())
            return printUnits(units, os);
        utf8.append(converted.view());
        if (zero < units.size())
            utf8.push_back('\0');
        start = zero + 1;
    }
    *os << 'u';
    printQuoted(utf8, os);
}

void PrintTo(const SharedStringA& text, std::ostream* os)
{
    printQuoted(text.view(), os);
}

}  // namespace druvex
