#include "engine/backup_info.h"

#include "core/byte_stream.h"
#include "core/wall_clock.h"
#include "core/xml_reader.h"
#include "core/xml_writer.h"
#include "data/version_number.h"
#include "data/xml_attributes.h"
#include "platform/path_components.h"

namespace druvex {
namespace {

// Every element is taken as it comes; the parse only has to succeed and see
// a root.
class AnyDocumentHandler final : public XmlHandler {
public:
    bool startElement(const XmlNameSpan&, const XmlAttributeList&, const SharedString&) override
    {
        sawElement = true;
        return true;
    }
    bool endElement(const XmlNameSpan&) override { return true; }

    bool sawElement = false;
};

class BackupInfoHandler final : public XmlHandler {
public:
    explicit BackupInfoHandler(BackupInfo& info) : info_(info) {}

    bool startElement(const XmlNameSpan& name, const XmlAttributeList& attributes, const SharedString& text) override
    {
        ++elements_;
        if (elements_ == 1) {
            isBackupInfo_ = xmlNameEquals(name, "BackupInfo") &&
                            xmlAttributeValue(attributes, "Format") == intToFormat(kBackupInfoFormat);
            // Nothing further is read of another format.
            return isBackupInfo_;
        }
        if (xmlNameEquals(name, "Program")) {
            info_.programName = xmlAttributeValue(attributes, "Name");
            info_.programUuid = xmlAttributeValue(attributes, "Uuid");
            info_.programVersion = xmlAttributeValue(attributes, "Version");
        } else if (xmlNameEquals(name, "DataFolder")) {
            info_.dataFolder = xmlAttributeValue(attributes, "Path");
        } else if (xmlNameEquals(name, "Created")) {
            info_.created = text;
        }
        // Elements a later build of this format may add are passed over.
        return true;
    }
    bool endElement(const XmlNameSpan&) override { return true; }

    bool isBackupInfo() const { return isBackupInfo_; }

private:
    static SharedString intToFormat(std::int32_t format) { return SharedString().format(u"%d", format); }

    BackupInfo& info_;
    int elements_ = 0;
    bool isBackupInfo_ = false;
};

}  // namespace

bool writeBackupInfoXml(const BackupInfo& info, std::vector<std::uint8_t>& out)
{
    std::vector<std::uint8_t> bytes;
    MemoryStream stream(bytes);
    XmlWriter writer(stream, true);
    writer.startElement("BackupInfo");
    writer.attribute("Format", SharedString().format(u"%d", kBackupInfoFormat).view());
    writer.startElement("Program");
    writer.attribute("Name", info.programName.view());
    writer.attribute("Uuid", info.programUuid.view());
    writer.attribute("Version", info.programVersion.view());
    writer.endElement("Program");
    writer.startElement("DataFolder");
    writer.attribute("Path", info.dataFolder.view());
    writer.endElement("DataFolder");
    writer.textElement("Created", info.created.view());
    writer.endElement("BackupInfo");
    if (!writer.flush())
        return false;
    out = std::move(bytes);
    return true;
}

BackupInfoRead readBackupInfoXml(const std::vector<std::uint8_t>& bytes, BackupInfo& info)
{
    info = BackupInfo();
    // A damaged document is told apart from one of another format first.
    if (!isXmlDocument(bytes))
        return BackupInfoRead::DoesNotParse;
    XmlReader reader;
    reader.setInput(bytes.data(), bytes.size());
    BackupInfoHandler handler(info);
    if (!reader.parse(handler) || !handler.isBackupInfo())
        return BackupInfoRead::OtherFormat;
    VersionNumber version;
    if (info.programName.isEmpty() || !version.parse(info.programVersion.view()) ||
        !isPlainFolderPath(info.dataFolder.view()))
        return BackupInfoRead::Incomplete;
    return BackupInfoRead::Read;
}

bool isXmlDocument(const std::vector<std::uint8_t>& bytes)
{
    XmlReader reader;
    if (bytes.empty() || !reader.setInput(bytes.data(), bytes.size()))
        return false;
    AnyDocumentHandler handler;
    return reader.parse(handler) && handler.sawElement;
}

bool isPlainFolderPath(std::u16string_view path)
{
    if (path.empty() || path.find(u':') != std::u16string_view::npos)
        return false;
    bool component = false;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= path.size(); ++i) {
        if (i < path.size() && !isPathSeparator(path[i]))
            continue;
        const std::u16string_view part = path.substr(start, i - start);
        if (part == u"." || part == u"..")
            return false;
        component = component || !part.empty();
        start = i + 1;
    }
    return component;
}

SharedString backupCreationTime()
{
    WallClockFields now{};
    getWallClockFields(now);
    return SharedString().format(u"%04d-%02d-%02dT%02d:%02d:%02dZ", now.yearsSince1900 + 1900, now.month + 1,
                                 now.dayOfMonth, now.hours, now.minutes, now.seconds);
}

}  // namespace druvex
