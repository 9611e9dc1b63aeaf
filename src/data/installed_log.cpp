#include "data/installed_log.h"

#include <stdexcept>

#include "core/app_log.h"
#include "core/byte_stream.h"
#include "core/xml_reader.h"
#include "core/xml_writer.h"
#include "data/content_tree.h"
#include "data/install_data_xml.h"
#include "data/item_xml.h"
#include "data/xml_attributes.h"
#include "data/xml_values.h"
#include "fileutil/file_util.h"
#include "text/char_class.h"

namespace druvex {
namespace {

bool exactYes(const XmlAttributeList& attributes, std::string_view name)
{
    return xmlAttributeValue(attributes, name) == u"Yes";
}

// A version attribute; an absent or unreadable text is the empty version.
VersionNumber versionAttribute(const XmlAttributeList& attributes, std::string_view name)
{
    return VersionNumber::fromText(xmlAttributeValue(attributes, name).view());
}

void writeVersion(XmlWriter& writer, std::string_view name, const VersionNumber& version)
{
    writer.attribute(name, version.toText().view());
}

// The installed feature: the feature's attributes and records as the installer
// data writes them, and its files in place of its content tree.
void writeFeature(XmlWriter& writer, const Feature& feature)
{
    writer.startElement("Feature");
    writeFeatureAttributes(writer, feature);
    if (feature.componentFeatureCount() > 0) {
        writer.startElement("ComponentFeatures");
        for (const SharedString& name : feature.componentFeatures()) {
            writer.textElement("ComponentFeature", name.view());
        }
        writer.endElement("ComponentFeatures");
    }
    writer.startElement("InstalledFiles");
    const ContentFolder& files = *feature.contentFolder();
    for (const auto& item : files.children()) {
        // The record lists files only; a folder node has no place in it.
        if (!item->isFile())
            continue;
        writer.startElement("File");
        writer.attribute("Name", item->getName().view());
        writeNumberAttribute(writer, "Flags", item->getFlags());
        writer.endElement("File");
    }
    writer.endElement("InstalledFiles");
    writeShortcutsXml(writer, feature);
    writeEnvironmentVarsXml(writer, feature);
    writeFileAssociationsXml(writer, feature);
    feature.getRegistry().writeXml(writer);
    writeFeatureScriptsXml(writer, feature);
    writeWebServerXml(writer, feature);
    writer.endElement("Feature");
}

}  // namespace

// Reads the document into a log that starts empty. The feature records and
// registry elements of a feature go to the data model's own readers.
class InstalledLogHandler final : public XmlHandler {
public:
    explicit InstalledLogHandler(InstalledLog& log) : log_(log) {}

    bool sawRoot() const { return sawRoot_; }

    bool startElement(const XmlNameSpan& name, const XmlAttributeList& attributes, const SharedString& text) override
    {
        if (!sawRoot_) {
            sawRoot_ = true;
            return xmlNameEquals(name, "InstalledLog");
        }
        if (xmlNameEquals(name, "Program"))
            return readProgram(attributes);
        if (xmlNameEquals(name, "Versions")) {
            log_.installerVersion_ = versionAttribute(attributes, "Installer");
            log_.minAutoVersion_ = versionAttribute(attributes, "MinAuto");
            return true;
        }
        if (xmlNameEquals(name, "Language")) {
            const std::int32_t id = intAttribute(attributes, "Id", 0);
            log_.languageId_ = id >= 0 && id <= 0xFFFF ? static_cast<std::uint16_t>(id) : 0;
            log_.languageName_ = xmlAttributeValue(attributes, "Name");
            return true;
        }
        if (xmlNameEquals(name, "Eula"))
            return readEula(attributes);
        if (xmlNameEquals(name, "Registration")) {
            log_.registrations_.push_back(text);
            return true;
        }
        if (xmlNameEquals(name, "InstallerVariable"))
            return openVariable(attributes);
        if (xmlNameEquals(name, "Definition"))
            return variable_ && variable_->readDefinition(attributes, text);
        if (xmlNameEquals(name, "Feature"))
            return openFeature(attributes);
        if (xmlNameEquals(name, "ComponentFeature")) {
            if (!feature_ || text.isEmpty())
                return false;
            feature_->addComponentFeature(text);
            return true;
        }
        if (xmlNameEquals(name, "File"))
            return readFile(attributes);
        // Shortcuts, file associations and the other records, and the
        // registry; each reader passes over the other's elements.
        return records_.startElement(name, attributes) && registry_.startElement(name, attributes);
    }

    bool endElement(const XmlNameSpan& name) override
    {
        if (xmlNameEquals(name, "InstallerVariable")) {
            if (!variable_)
                return false;
            log_.append(std::move(variable_));
            variable_.reset();
            return true;
        }
        if (xmlNameEquals(name, "Feature")) {
            if (!feature_)
                return false;
            registry_.setTarget(nullptr);
            records_.setTarget(nullptr);
            const bool added = log_.addFeature(std::move(feature_));
            feature_.reset();
            return added;
        }
        return records_.endElement(name) && registry_.endElement(name);
    }

private:
    bool readProgram(const XmlAttributeList& attributes)
    {
        log_.programName_ = xmlAttributeValue(attributes, "Name");
        log_.programVersion_ = versionAttribute(attributes, "InstalledProgramVersion");
        log_.dailyBuild_ = exactYes(attributes, "InstalledProgramDailyBuild");
        log_.revisionNumber_ = versionAttribute(attributes, "InstalledProgramRevisionNumber");
        log_.destinationFolder_ = xmlAttributeValue(attributes, "TargetDir");
        log_.installedForAllUsers_ = exactYes(attributes, "InstalledForAllUsers");
        log_.owner_ = xmlAttributeValue(attributes, "Owner");
        log_.supportFlags_ = static_cast<std::uint32_t>(int64Attribute(attributes, "SupportFlags", 0));
        return true;
    }

    bool readEula(const XmlAttributeList& attributes)
    {
        auto eula = std::make_shared<EulaRecord>();
        eula->name = xmlAttributeValue(attributes, "Name");
        const std::int32_t localeId = intAttribute(attributes, "LocaleId", 0);
        eula->localeId = localeId >= 0 && localeId <= 0xFFFF ? static_cast<std::uint16_t>(localeId) : 0;
        eula->path = xmlAttributeValue(attributes, "Path");
        log_.eula_ = std::move(eula);
        return true;
    }

    bool openVariable(const XmlAttributeList& attributes)
    {
        if (variable_)
            return false;
        const SharedString variableName = xmlAttributeValue(attributes, "name");
        if (variableName.isEmpty())
            return false;
        variable_ = InstallerVariable::create(variableName);
        variable_->setPersistent(xmlAttributeValue(attributes, "persistent") == u"yes");
        return true;
    }

    bool openFeature(const XmlAttributeList& attributes)
    {
        if (feature_)
            return false;
        FeaturePtr feature = makeFeaturePtr();
        if (!readFeatureAttributes(*feature, attributes) || feature->getNameRef().isEmpty())
            return false;
        registry_.setTarget(&feature->getRegistry());
        records_.setTarget(feature.get());
        feature_ = std::move(feature);
        return true;
    }

    bool readFile(const XmlAttributeList& attributes)
    {
        const SharedString path = xmlAttributeValue(attributes, "Name");
        if (!feature_ || path.isEmpty())
            return false;
        auto file = std::make_shared<ContentFile>(path);
        file->setFlags(intAttribute(attributes, "Flags", 0));
        return feature_->addContent(std::move(file));
    }

    InstalledLog& log_;
    bool sawRoot_ = false;
    InstallerVariablePtr variable_;
    FeaturePtr feature_;
    FeatureRecordXmlReader records_{nullptr, true};
    regmodel::RegistryXmlReader registry_;
};

void InstalledLog::clear()
{
    VariableSet::clear();
    features_.clear();
    programName_.clear();
    programVersion_ = VersionNumber();
    dailyBuild_ = false;
    revisionNumber_ = VersionNumber();
    installerVersion_ = VersionNumber();
    minAutoVersion_ = VersionNumber();
    installedForAllUsers_ = false;
    owner_.clear();
    destinationFolder_.clear();
    languageId_ = 0;
    languageName_.clear();
    eula_.reset();
    supportFlags_ = 0;
    registrations_.clear();
}

const FeaturePtr& InstalledLog::getFeature(int index) const
{
    if (index < 0 || index >= getFeatureCount())
        throw std::out_of_range("InstalledLog::getFeature: index outside the list");
    return features_[static_cast<std::size_t>(index)];
}

bool InstalledLog::addFeature(FeaturePtr feature)
{
    if (!feature || feature->parent())
        return false;
    features_.push_back(std::move(feature));
    return true;
}

FeaturePtr InstalledLog::findFeature(std::u16string_view name) const
{
    for (const FeaturePtr& feature : features_) {
        if (equalsNoCase(feature->getNameRef().view(), name))
            return feature;
    }
    return nullptr;
}

const SharedString& InstalledLog::getPendingRegistration(std::uint32_t index) const
{
    if (index >= registrations_.size())
        throw std::out_of_range("InstalledLog::getPendingRegistration: index outside the list");
    return registrations_[index];
}

bool InstalledLog::loadFromBuffer(const void* bytes, std::size_t size, XmlParseError* error)
{
    clear();
    XmlParseError reason{size, "the document holds no element"};
    XmlReader reader;
    if (bytes && size != 0 && reader.setInput(bytes, size)) {
        InstalledLogHandler handler(*this);
        const bool parsed = reader.parse(handler);
        if (parsed && handler.sawRoot())
            return true;
        if (!parsed)
            reason = reader.lastError();
    }
    // Half a log would make a later run see part of an installation.
    clear();
    if (error)
        *error = reason;
    return false;
}

bool InstalledLog::serialize(std::vector<std::uint8_t>& out) const
{
    std::vector<std::uint8_t> bytes;
    MemoryStream stream(bytes);
    XmlWriter writer(stream, true);
    writer.startElement("InstalledLog");

    writer.startElement("Program");
    writer.attribute("Name", programName_.view());
    writeVersion(writer, "InstalledProgramVersion", programVersion_);
    writer.attribute("InstalledProgramDailyBuild", yesNo(dailyBuild_));
    if (revisionNumber_.isNonZero())
        writeVersion(writer, "InstalledProgramRevisionNumber", revisionNumber_);
    writer.attribute("TargetDir", destinationFolder_.view());
    writer.attribute("InstalledForAllUsers", yesNo(installedForAllUsers_));
    writer.attribute("Owner", owner_.view());
    writeNumberAttribute(writer, "SupportFlags", supportFlags_);
    writer.endElement("Program");

    writer.startElement("Versions");
    writeVersion(writer, "Installer", installerVersion_);
    writeVersion(writer, "MinAuto", minAutoVersion_);
    writer.endElement("Versions");

    writer.startElement("Language");
    writeNumberAttribute(writer, "Id", languageId_);
    writer.attribute("Name", languageName_.view());
    writer.endElement("Language");

    if (eula_) {
        writer.startElement("Eula");
        writer.attribute("Name", eula_->name.view());
        writeNumberAttribute(writer, "LocaleId", eula_->localeId);
        writer.attribute("Path", eula_->path.view());
        writer.endElement("Eula");
    }

    writer.startElement("PendingRegistrations");
    for (const SharedString& registration : registrations_) {
        writer.textElement("Registration", registration.view());
    }
    writer.endElement("PendingRegistrations");

    writeInstallerVariables(writer, *this);

    writer.startElement("Features");
    for (const FeaturePtr& feature : features_)
        writeFeature(writer, *feature);
    writer.endElement("Features");

    writer.endElement("InstalledLog");
    if (!writer.flush())
        return false;
    out = std::move(bytes);
    return true;
}

bool InstalledLog::saveToFile(HalAccess& host, const SharedString& path) const
{
    std::vector<std::uint8_t> bytes;
    if (!serialize(bytes)) {
        logPrintf(u"The installed log for %s could not be put together", path);
        return false;
    }
    return replaceFileWithBuffer(host, bytes, path, u"The installed log");
}

}  // namespace druvex
