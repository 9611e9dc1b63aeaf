#include "data/previous_settings.h"

#include "text/char_class.h"
#include "core/app_log.h"
#include "core/byte_stream.h"
#include "text/numbers.h"
#include "core/xml_reader.h"
#include "core/xml_writer.h"
#include "data/install_data_xml.h"
#include "data/xml_attributes.h"
#include "data/xml_values.h"
#include "fileutil/file_util.h"
#include "hal/hal_access.h"

namespace druvex {
namespace {

// Destination's flags are set by "Yes" exactly; Misc and FullBackup take it in
// any case.
bool exactYes(const XmlAttributeList& attributes, std::string_view name)
{
    return xmlAttributeValue(attributes, name) == u"Yes";
}

bool yesIgnoringCase(const XmlAttributeList& attributes, std::string_view name, bool absent)
{
    const XmlAttribute* attribute = findXmlAttribute(attributes, name);
    return attribute ? equalsNoCase(attribute->value.view(), u"Yes") : absent;
}

}  // namespace

class PreviousSettingsHandler final : public XmlHandler {
public:
    explicit PreviousSettingsHandler(PreviousSettings& settings) : settings_(settings) {}

    bool startElement(const XmlNameSpan& name, const XmlAttributeList& attributes, const SharedString& text) override
    {
        sawElement_ = true;
        if (xmlNameEquals(name, "Language")) {
            unsigned language = 0;
            parseUInt(text.c_str(), language);
            settings_.language_ = language;
            return true;
        }
        if (xmlNameEquals(name, "Feature")) {
            settings_.featuresToInstall_.push_back(text);
            return true;
        }
        if (xmlNameEquals(name, "Destination"))
            return readDestination(attributes);
        if (xmlNameEquals(name, "Misc")) {
            settings_.useOnlineFeature_ = yesIgnoringCase(attributes, "UseOnlineFeature", true);
            settings_.revertToPreviousRevision_ = yesIgnoringCase(attributes, "RevertToPreviousRevision", false);
            settings_.updateCheckDone_ = yesIgnoringCase(attributes, "UpdateCheckDone", false);
            return true;
        }
        if (xmlNameEquals(name, "FullBackup")) {
            settings_.restoreFullBackup_ = yesIgnoringCase(attributes, "Restore", false);
            settings_.fullBackupPath_ = xmlAttributeValue(attributes, "Path");
            return true;
        }
        if (xmlNameEquals(name, "RebootInfo"))
            return readRebootInfo(attributes);
        if (xmlNameEquals(name, "InstallerVariable"))
            return openVariable(attributes);
        if (xmlNameEquals(name, "Definition"))
            return variable_ && variable_->readDefinition(attributes, text);
        return true;
    }

    bool endElement(const XmlNameSpan& name) override
    {
        if (xmlNameEquals(name, "InstallerVariable") && variable_) {
            settings_.append(std::move(variable_));
            variable_.reset();
        }
        return true;
    }

    bool sawElement() const { return sawElement_; }

private:
    bool readDestination(const XmlAttributeList& attributes)
    {
        if (attributes.size() < 3)
            return false;
        settings_.targetDir_ = xmlAttributeValue(attributes, "TargetDir");
        settings_.wipeOldInst_ = exactYes(attributes, "WipeOldInst");
        settings_.isForAnyone_ = exactYes(attributes, "IsForAnyone");
        settings_.isTethered_ = exactYes(attributes, "IsTethered");
        const XmlAttribute* platform = findXmlAttribute(attributes, "TargetPlatform");
        settings_.targetPlatform_ = platform ? parsePlatform(platform->value.view()) : kPlatformUnknown;
        return true;
    }

    bool readRebootInfo(const XmlAttributeList& attributes)
    {
        if (attributes.empty())
            return false;
        if (intAttribute(attributes, "Revision", 0) != kPreviousSettingsRevision)
            return false;
        settings_.wizardMode_ = intAttribute(attributes, "WizardMode", 1);
        settings_.startingPage_ = intAttribute(attributes, "StartingPage", 2);
        // Older files kept the platform here; "Destination" has the say.
        const XmlAttribute* platform = findXmlAttribute(attributes, "TargetPlatform");
        if (platform && settings_.targetPlatform_ == kPlatformUnknown)
            settings_.targetPlatform_ = parsePlatform(platform->value.view());
        return true;
    }

    bool openVariable(const XmlAttributeList& attributes)
    {
        if (variable_ || attributes.empty())
            return false;
        const SharedString variableName = xmlAttributeValue(attributes, "name");
        if (variableName.isEmpty())
            return false;
        variable_ = InstallerVariable::create(variableName);
        variable_->setPersistent(xmlAttributeValue(attributes, "persistent") == u"yes");
        return true;
    }

    PreviousSettings& settings_;
    InstallerVariablePtr variable_;
    bool sawElement_ = false;
};

PreviousSettings::PreviousSettings(HalAccess& host) : host_(host) {}

bool PreviousSettings::writeXml(std::vector<std::uint8_t>& out) const
{
    std::vector<std::uint8_t> bytes;
    MemoryStream stream(bytes);
    XmlWriter writer(stream, true);
    writer.startElement("AdministrativeData");

    writer.textElement("Language", uintToText(language_).view());

    writer.startElement("Destination");
    writer.attribute("IsTethered", yesNo(isTethered_));
    writer.attribute("TargetPlatform", platformName(targetPlatform_, false).view());
    writer.attribute("TargetDir", targetDir_.view());
    writer.attribute("WipeOldInst", yesNo(wipeOldInst_));
    writer.attribute("IsForAnyone", yesNo(isForAnyone_));
    writer.endElement("Destination");

    writer.startElement("Misc");
    writer.attribute("UseOnlineFeature", yesNo(useOnlineFeature_));
    writer.attribute("RevertToPreviousRevision", yesNo(revertToPreviousRevision_));
    writer.attribute("UpdateCheckDone", yesNo(updateCheckDone_));
    writer.endElement("Misc");

    writer.startElement("FeaturesToInstall");
    for (const SharedString& feature : featuresToInstall_) {
        writer.textElement("Feature", feature.view());
    }
    writer.endElement("FeaturesToInstall");

    writeInstallerVariables(writer, *this);

    writer.startElement("FullBackup");
    writer.attribute("Restore", yesNo(restoreFullBackup_));
    writer.attribute("Path", fullBackupPath_.view());
    writer.endElement("FullBackup");

    writer.startElement("RebootInfo");
    writer.attribute("Revision", intToText(kPreviousSettingsRevision).view());
    writer.attribute("WizardMode", intToText(wizardMode_).view());
    writer.attribute("StartingPage", intToText(startingPage_).view());
    writer.endElement("RebootInfo");

    writer.endElement("AdministrativeData");
    if (!writer.flush())
        return false;
    out = std::move(bytes);
    return true;
}

bool PreviousSettings::readXml(const void* data, std::size_t bytes)
{
    if (!data || bytes == 0)
        return false;
    XmlReader reader;
    if (!reader.setInput(data, bytes))
        return false;
    PreviousSettingsHandler handler(*this);
    // A file of nothing but a declaration holds no state to go on with.
    return reader.parse(handler) && handler.sawElement();
}

bool PreviousSettings::saveToFile(const SharedString& path) const
{
    std::vector<std::uint8_t> bytes;
    if (!writeXml(bytes)) {
        logPrintf(u"Saved settings for %s could not be put together", path);
        return false;
    }
    if (!replaceFileWithBuffer(host_, bytes, path, u"Saved settings"))
        return false;
    // Another account may run the relaunched installer; the answer changes
    // nothing about the file having been written.
    if (!host_.setFileForEveryone(path))
        logHostFailure(host_, u"Opening to every user", path);
    return true;
}

bool PreviousSettings::loadFromFile(const SharedString& path, bool& corrupt)
{
    corrupt = false;
    std::vector<std::uint8_t> bytes;
    if (!readFileToBuffer(host_, bytes, path))
        return false;
    if (readXml(bytes.data(), bytes.size()))
        return true;
    corrupt = true;
    return false;
}

}  // namespace druvex
