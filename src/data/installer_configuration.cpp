#include "data/installer_configuration.h"

#include "text/char_class.h"
#include "core/xml_writer.h"
#include "data/xml_attributes.h"

namespace druvex {
namespace {

std::int32_t readLittleEndianWord(const unsigned char* bytes)
{
    const std::uint32_t word = std::uint32_t{bytes[0]} | (std::uint32_t{bytes[1]} << 8) |
                               (std::uint32_t{bytes[2]} << 16) | (std::uint32_t{bytes[3]} << 24);
    return static_cast<std::int32_t>(word);
}

class ConfigurationHandler final : public XmlHandler {
public:
    explicit ConfigurationHandler(InstallerConfiguration& configuration) : configuration_(configuration) {}

    bool startElement(const XmlNameSpan& name, const XmlAttributeList& attributes, const SharedString&) override
    {
        if (!xmlNameEquals(name, "InstallerConfiguration"))
            return true;
        found_ = true;
        return configuration_.readAttributes(attributes);
    }
    bool endElement(const XmlNameSpan&) override { return true; }

    bool found() const { return found_; }

private:
    InstallerConfiguration& configuration_;
    bool found_ = false;
};

constexpr NamedValue<std::int32_t> kRedistInclModes[] = {
    {kRedistByUser, u"ByUser"},
    {kRedistAll, u"All"},
    {kRedistNone, u"None"},
};

}  // namespace

const NameTable<std::int32_t> kRedistInclModeNames{kRedistInclModes, NameCase::kIgnoreCase};

bool InstallerConfiguration::readAttributes(const XmlAttributeList& attributes)
{
    if (attributes.size() < 3)
        return false;
    std::int32_t mask = kPlatformMaskAll;
    for (const XmlAttribute& attribute : attributes) {
        if (xmlNameEquals(attribute.name, "InstallerType"))
            installerType_ = parseInstallerType(attribute.value.view());
        else if (xmlNameEquals(attribute.name, "InstallerPlat"))
            installerPlatform_ = parseInstallerPlatform(attribute.value.view());
        else if (xmlNameEquals(attribute.name, "TargetPlatMask"))
            mask = parsePlatformList(attribute.value.view());
        else if (xmlNameEquals(attribute.name, "TargetPlat"))
            mask = platformMask(parsePlatform(attribute.value.view()));
    }
    targetPlatformMask_ = mask;
    return mask != 0;
}

void InstallerConfiguration::writeAttributes(XmlWriter& writer) const
{
    writer.attribute("InstallerType", installerTypeName(installerType_).view());
    writer.attribute("InstallerPlat", installerPlatformName(installerPlatform_).view());
    writer.attribute("TargetPlatMask", platformListText(targetPlatformMask_).view());
}

bool InstallerConfiguration::load(const void* data, std::size_t bytes)
{
    if (!data || bytes == 0)
        return false;
    if (bytes == 12) {
        const auto* words = static_cast<const unsigned char*>(data);
        installerType_ = readLittleEndianWord(words);
        installerPlatform_ = readLittleEndianWord(words + 4);
        targetPlatformMask_ = platformMask(readLittleEndianWord(words + 8));
        return true;
    }
    XmlReader reader;
    if (!reader.setInput(data, bytes))
        return false;
    ConfigurationHandler handler(*this);
    // A document without the element describes no installer; taking the
    // defaults would make a full PC installer for no platform of it.
    return reader.parse(handler) && handler.found();
}

bool InstallerConfiguration::save(ByteStream& output) const
{
    XmlWriter writer(output, false);
    writer.startElement("InstallerConfiguration");
    writeAttributes(writer);
    writer.endElement("InstallerConfiguration");
    return writer.flush();
}

bool BuildConfiguration::readXml(const XmlAttributeList& attributes)
{
    if (attributes.size() < 4)
        return false;
    if (!readAttributes(attributes))
        return false;
    name_ = xmlAttributeValue(attributes, "Name");
    overriddenInstallerName_ = xmlAttributeValue(attributes, "OverriddenInstallerName");
    // Present means set; "No" is read as written, although our writer leaves
    // the attribute out instead, so that a round trip never turns it into "Yes".
    const XmlAttribute* online = findXmlAttribute(attributes, "IncludeOnlineFeatures");
    includeOnlineFeatures_ = online && !equalsNoCase(online->value.view(), u"No");
    const XmlAttribute* redist = findXmlAttribute(attributes, "RedistInclMode");
    redistInclMode_ = redist ? kRedistInclModeNames.valueOf(redist->value.view(), kRedistByUser) : kRedistByUser;
    return !name_.isEmpty();
}

void BuildConfiguration::writeXml(XmlWriter& writer) const
{
    writer.startElement("BuildConfiguration");
    writer.attribute("Name", name_.view());
    writeAttributes(writer);
    if (!overriddenInstallerName_.isEmpty())
        writer.attribute("OverriddenInstallerName", overriddenInstallerName_.view());
    if (includeOnlineFeatures_)
        writer.attribute("IncludeOnlineFeatures", u"Yes");
    writer.attribute("RedistInclMode", kRedistInclModeNames.nameOf(redistInclMode_, u"ByUser"));
    writer.endElement("BuildConfiguration");
}

}  // namespace druvex
