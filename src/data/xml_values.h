// Number attributes of the install data model's XML: decimal with the
// device's scan rules (leading blanks skipped, trailing text ignored); a text
// that holds no number in range reads as 0, an absent attribute as the default.
// Written as plain decimal ("%d", "%I64d").
#pragma once

#include <charconv>
#include <cstdint>
#include <string_view>

#include "text/numbers.h"
#include "core/xml_writer.h"
#include "data/xml_attributes.h"

namespace druvex {

inline std::int32_t intValue(const SharedString& text)
{
    int value = 0;
    parseInt(text.c_str(), value);
    return value;
}

inline std::int64_t int64Value(const SharedString& text)
{
    std::int64_t value = 0;
    parseInt64(text.c_str(), value);
    return value;
}

inline std::int32_t intAttribute(const XmlAttributeList& attributes, std::string_view name, std::int32_t fallback)
{
    const XmlAttribute* attribute = findXmlAttribute(attributes, name);
    return attribute ? intValue(attribute->value) : fallback;
}

inline std::int64_t int64Attribute(const XmlAttributeList& attributes, std::string_view name, std::int64_t fallback)
{
    const XmlAttribute* attribute = findXmlAttribute(attributes, name);
    return attribute ? int64Value(attribute->value) : fallback;
}

// A decimal number as the attribute's value, without a text allocation (the
// writer of a large document writes one per file).
inline void writeNumberAttribute(XmlWriter& writer, std::string_view name, std::int64_t value)
{
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    char16_t wide[24];
    std::size_t length = 0;
    for (const char* at = digits; at != result.ptr; ++at)
        wide[length++] = static_cast<char16_t>(*at);
    writer.attribute(name, std::u16string_view(wide, length));
}

inline const char16_t* yesNo(bool value)
{
    return value ? u"Yes" : u"No";
}

inline const char16_t* lowerYesNo(bool value)
{
    return value ? u"yes" : u"no";
}

}  // namespace druvex
