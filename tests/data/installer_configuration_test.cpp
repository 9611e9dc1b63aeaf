// Installer and build configurations: the compact and XML forms of
// "InstallerInfo" and the "BuildConfiguration" element.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "core/byte_stream.h"
#include "core/xml_writer.h"
#include "data/installer_configuration.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

// The compact form: three little-endian words.
std::string words(std::uint32_t a, std::uint32_t b, std::uint32_t c)
{
    std::string bytes;
    for (const std::uint32_t word : {a, b, c}) {
        for (int shift = 0; shift < 32; shift += 8)
            bytes.push_back(static_cast<char>(word >> shift));
    }
    return bytes;
}

// Reads one element's attributes through the XML reader.
class AttributeGrabber final : public XmlHandler {
public:
    bool startElement(const XmlNameSpan&, const XmlAttributeList& attributes, const SharedString&) override
    {
        build.emplace();
        ok = build->readXml(attributes);
        return true;
    }
    bool endElement(const XmlNameSpan&) override { return true; }

    std::optional<BuildConfiguration> build;
    bool ok = false;
};

AttributeGrabber readBuild(const std::string& xml)
{
    AttributeGrabber grabber;
    XmlReader reader;
    reader.setInput(xml.data(), xml.size());
    EXPECT_TRUE(reader.parse(grabber));
    return grabber;
}

std::string writeBuild(const BuildConfiguration& build)
{
    std::vector<std::uint8_t> bytes;
    MemoryStream stream(bytes);
    XmlWriter writer(stream, false);
    build.writeXml(writer);
    writer.flush();
    return std::string(bytes.begin(), bytes.end());
}

TEST(BuildConfigInstallerInfo, CompactAndXmlForms)
{
    struct Case {
        std::string input;
        bool ok;
        std::int32_t mask;
    };
    const Case cases[] = {
        {words(0, 0, 4), true, 16},
        {words(0, 0, 9), true, 0},  // an index that names no platform gives no mask, without failing
        {words(1, 1, 0).substr(0, 11), false, 0},
        {words(1, 1, 0) + '\0', false, 0},
        {"", false, 0},
        {"<InstallerConfiguration InstallerType=\"Full\" InstallerPlat=\"PC\" TargetPlatMask=\"Windows\"/>", false, 0},
        {"<InstallerConfiguration InstallerType=\"Full\" InstallerPlat=\"PC\"/>", false, 0},
        {"<installerconfiguration installertype=\"web\" installerplat=\"controller\" targetplat=\"Qm40\"/>", true, 4},
        {"<InstallerConfiguration TargetPlat=\"Qm40\" InstallerType=\"Web\" TargetPlatMask=\"Wm6,LQ5\"/>", true, 129},
        {"<InstallerConfiguration InstallerType=\"Web\" InstallerPlat=\"All\" Other=\"x\"/>", true, -1},
        {"<Other A=\"1\"/>", false, 0},  // a document without the element describes no installer
        {"<InstallerConfiguration", false, 0},
    };
    for (const Case& c : cases) {
        InstallerConfiguration configuration;
        EXPECT_EQ(configuration.load(c.input.data(), c.input.size()), c.ok) << c.input;
        if (c.ok) {
            EXPECT_EQ(configuration.getTargetPlatformMask(), c.mask) << c.input;
        }
    }

    InstallerConfiguration configuration;
    const std::string compact = words(1, 1, 0);
    ASSERT_TRUE(configuration.load(compact.data(), compact.size()));
    EXPECT_EQ(configuration.getInstallerType(), kInstallerTypeWeb);
    EXPECT_EQ(configuration.getInstallerPlatform(), kInstallerPlatformController);
    EXPECT_EQ(configuration.getTargetPlatformMask(), 1);
    const std::string xml = "<InstallerConfiguration InstallerType=\"Both\" InstallerPlat=\"PC\" "
                            "TargetPlatMask=\"Win32,Win64\"/>";
    ASSERT_TRUE(configuration.load(xml.data(), xml.size()));
    EXPECT_EQ(configuration.getInstallerType(), kInstallerTypeBoth);
    EXPECT_EQ(configuration.getInstallerPlatform(), kInstallerPlatformPC);
    EXPECT_EQ(configuration.getTargetPlatformMask(), 48);
}

TEST(BuildConfigInstallerInfo, SaveReadsBack)
{
    InstallerConfiguration configuration;
    configuration.setInstallerType(kInstallerTypeWeb);
    configuration.setInstallerPlatform(kInstallerPlatformOther);
    configuration.setTargetPlatformMask(-1);
    std::vector<std::uint8_t> bytes;
    MemoryStream stream(bytes);
    ASSERT_TRUE(configuration.save(stream));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()),
              "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
              "<InstallerConfiguration InstallerType=\"Web\" InstallerPlat=\"\" TargetPlatMask=\"All\"/>\n");
    InstallerConfiguration again;
    ASSERT_TRUE(again.load(bytes.data(), bytes.size()));
    EXPECT_EQ(again.getInstallerType(), kInstallerTypeWeb);
    EXPECT_EQ(again.getInstallerPlatform(), kInstallerPlatformOther);
    EXPECT_EQ(again.getTargetPlatformMask(), -1);

    std::vector<std::uint8_t> refused;
    MemoryStream readOnly(refused, true);
    EXPECT_FALSE(configuration.save(readOnly));
}

// Present means set, but a stored "No" must not come back as "Yes".
TEST(BuildConfiguration, ReadAndWriteWhereAStoredNoStaysOff)
{
    struct Case {
        const char* attributes;
        std::int32_t mode;
        bool online;
        const char* written;  // null: as read
    };
    const Case cases[] = {
        {"Name=\"PC web\" InstallerType=\"Web\" InstallerPlat=\"PC\" TargetPlatMask=\"Win32\" "
         "RedistInclMode=\"byuser\" IncludeOnlineFeatures=\"Yes\"",
         kRedistByUser, true,
         "Name=\"PC web\" InstallerType=\"Web\" InstallerPlat=\"PC\" TargetPlatMask=\"Win32\" "
         "IncludeOnlineFeatures=\"Yes\" RedistInclMode=\"ByUser\""},
        {"Name=\"C\" InstallerType=\"Full\" InstallerPlat=\"Controller\" TargetPlatMask=\"All\" "
         "OverriddenInstallerName=\"setup_c\" RedistInclMode=\"NONE\"",
         kRedistNone, false,
         "Name=\"C\" InstallerType=\"Full\" InstallerPlat=\"Controller\" TargetPlatMask=\"All\" "
         "OverriddenInstallerName=\"setup_c\" RedistInclMode=\"None\""},
        {"Name=\"A\" InstallerType=\"Full\" InstallerPlat=\"PC\" TargetPlatMask=\"Win32\" IncludeOnlineFeatures=\"No\"",
         kRedistByUser, false, nullptr},
        {"Name=\"A\" InstallerType=\"Full\" InstallerPlat=\"PC\" TargetPlatMask=\"Win32\" IncludeOnlineFeatures=\"\"",
         kRedistByUser, true, nullptr},
    };
    for (const Case& c : cases) {
        AttributeGrabber read = readBuild(std::string("<BuildConfiguration ") + c.attributes + "/>");
        ASSERT_TRUE(read.ok) << c.attributes;
        EXPECT_EQ(read.build->getRedistInclMode(), c.mode) << c.attributes;
        EXPECT_EQ(read.build->getIncludeOnlineFeatures(), c.online) << c.attributes;
        if (c.written) {
            EXPECT_EQ(writeBuild(*read.build), std::string("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                                                           "<BuildConfiguration ") + c.written + "/>\n");
        }
    }
}

TEST(BuildConfiguration, RefusedElements)
{
    const char* refused[] = {
        "<BuildConfiguration Name=\"\" InstallerType=\"Full\" InstallerPlat=\"PC\" TargetPlatMask=\"Win32\"/>",
        "<BuildConfiguration InstallerType=\"Full\" InstallerPlat=\"PC\" TargetPlatMask=\"Win32\" X=\"1\"/>",
        "<BuildConfiguration Name=\"A\" InstallerType=\"Full\" InstallerPlat=\"PC\"/>",
        "<BuildConfiguration Name=\"A\" InstallerType=\"Full\" InstallerPlat=\"PC\" TargetPlatMask=\"Windows\"/>",
    };
    for (const char* xml : refused)
        EXPECT_FALSE(readBuild(xml).ok) << xml;
}

}  // namespace
}  // namespace druvex
