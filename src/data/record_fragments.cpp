#include "data/record_fragments.h"

#include <string_view>

#include "core/xml_reader.h"
#include "data/feature.h"
#include "data/item_xml.h"

namespace druvex {
namespace {

// Hands the elements of one kind of record to the install data's record
// reader; a fragment holding other records too takes only its own kind.
class FragmentHandler final : public XmlHandler {
public:
    FragmentHandler(Feature& feature, std::span<const std::string_view> names)
        : records_(&feature, false), names_(names)
    {
    }

    bool startElement(const XmlNameSpan& name, const XmlAttributeList& attributes, const SharedString&) override
    {
        return !ownKind(name) || records_.startElement(name, attributes);
    }
    bool endElement(const XmlNameSpan& name) override { return !ownKind(name) || records_.endElement(name); }

private:
    bool ownKind(const XmlNameSpan& name) const
    {
        for (const std::string_view own : names_) {
            if (xmlNameEquals(name, own))
                return true;
        }
        return false;
    }

    FeatureRecordXmlReader records_;
    std::span<const std::string_view> names_;
};

bool parseFragment(Feature& feature, std::span<const std::uint8_t> fragment,
                   std::span<const std::string_view> names, XmlParseError* error)
{
    if (fragment.empty())
        return false;
    XmlReader reader;
    if (!reader.setInput(fragment.data(), fragment.size()))
        return false;
    FragmentHandler handler(feature, names);
    if (reader.parse(handler))
        return true;
    if (error)
        *error = reader.lastError();
    return false;
}

constexpr std::string_view kShortcutElements[] = {"Shortcut"};
constexpr std::string_view kEnvironmentVarElements[] = {"EnvironmentVar"};
constexpr std::string_view kFeatureScriptElements[] = {"FeatureScript"};
constexpr std::string_view kFileAssociationElements[] = {"FileAssociation", "FileExtension", "FileAction"};
constexpr std::string_view kWebServerElements[] = {"AppPool", "WebSite", "Application"};

}  // namespace

bool parseShortcutsXmlFragment(Feature& feature, std::span<const std::uint8_t> fragment, XmlParseError* error)
{
    return parseFragment(feature, fragment, kShortcutElements, error);
}

bool parseEnvironmentVarsXmlFragment(Feature& feature, std::span<const std::uint8_t> fragment, XmlParseError* error)
{
    return parseFragment(feature, fragment, kEnvironmentVarElements, error);
}

bool parseFeatureScriptsXmlFragment(Feature& feature, std::span<const std::uint8_t> fragment, XmlParseError* error)
{
    return parseFragment(feature, fragment, kFeatureScriptElements, error);
}

bool parseFileAssociationsXmlFragment(Feature& feature, std::span<const std::uint8_t> fragment, XmlParseError* error)
{
    return parseFragment(feature, fragment, kFileAssociationElements, error);
}

bool parseIisXmlFragment(Feature& feature, std::span<const std::uint8_t> fragment, XmlParseError* error)
{
    return parseFragment(feature, fragment, kWebServerElements, error);
}

}  // namespace druvex
