#include "data/config_file.h"

#include "app_base/theme_names.h"
#include "core/byte_stream.h"
#include "core/xml_reader.h"
#include "core/xml_writer.h"
#include "data/culture_table.h"

namespace druvex {
namespace {

class ConfigFileHandler final : public XmlHandler {
public:
    ConfigFileHandler(std::uint32_t& language, std::int32_t& theme) : language_(language), theme_(theme) {}

    bool startElement(const XmlNameSpan& name, const XmlAttributeList&, const SharedString& text) override
    {
        sawElement_ = true;
        if (xmlNameEquals(name, "Lang")) {
            std::uint16_t lcid = 0;
            if (!languageNameOrCustom(text.view(), lcid))
                return false;
            language_ = lcid;
            return true;
        }
        if (xmlNameEquals(name, "Theme")) {
            const std::int32_t theme = themeFromName(text.view());
            if (theme == kThemeNone)
                return false;
            theme_ = theme;
        }
        return true;
    }
    bool endElement(const XmlNameSpan&) override { return true; }

    bool sawElement() const { return sawElement_; }

private:
    std::uint32_t& language_;
    std::int32_t& theme_;
    bool sawElement_ = false;
};

}  // namespace

bool ConfigFile::write(std::vector<std::uint8_t>& out) const
{
    if (language_ == 0 || language_ > 0xFFFF || theme_ == kThemeNone)
        return false;
    SharedString culture;
    if (!cultureNameOrCustom(static_cast<std::uint16_t>(language_), culture))
        return false;

    std::vector<std::uint8_t> bytes;
    MemoryStream stream(bytes);
    XmlWriter writer(stream, true);
    writer.startElement("data");
    writer.textElement("Lang", culture.view());
    writer.textElement("Theme", themeName(theme_).view());
    writer.endElement("data");
    if (!writer.flush())
        return false;
    out = std::move(bytes);
    return true;
}

bool ConfigFile::parse(const void* data, std::size_t bytes)
{
    if (!data || bytes == 0)
        return false;
    XmlReader reader;
    if (!reader.setInput(data, bytes))
        return false;
    ConfigFileHandler handler(language_, theme_);
    // A file of nothing but a declaration is no configuration.
    return reader.parse(handler) && handler.sawElement();
}

}  // namespace druvex
