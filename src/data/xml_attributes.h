// Attribute lookup for the install data model's XML readers: names match
// without regard to ASCII case, as every reader of the model matches them.
#pragma once

#include <string_view>

#include "core/xml_reader.h"

namespace druvex {

// The first attribute of that name; null when absent.
inline const XmlAttribute* findXmlAttribute(const XmlAttributeList& attributes, std::string_view name)
{
    for (const XmlAttribute& attribute : attributes) {
        if (xmlNameEquals(attribute.name, name))
            return &attribute;
    }
    return nullptr;
}

// The attribute's value; empty text when absent.
inline SharedString xmlAttributeValue(const XmlAttributeList& attributes, std::string_view name)
{
    const XmlAttribute* attribute = findXmlAttribute(attributes, name);
    return attribute ? attribute->value : SharedString();
}

}  // namespace druvex
