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

bool loadText(InstallerConfiguration& configuration, const std::string& xml)
{
    return configuration.load(xml.data(), xml.size());
}

std::vector<std::uint8_t> words(std::uint32_t a, std::uint32_t b, std::uint32_t c)
{
    std::vector<std::uint8_t> bytes;
    for (const std::uint32_t word : {a, b, c}) {
        for (int shift = 0; shift < 32; shift += 8)
            bytes.push_back(static_cast<std::uint8_t>(word >> shift));
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

TEST(BuildConfigInstallerInfo, CompactForm)
{
    InstallerConfiguration configuration;
    std::vector<std::uint8_t> bytes = words(1, 1, 0);
    ASSERT_TRUE(configuration.load(bytes.data(), bytes.size()));
    EXPECT_EQ(configuration.getInstallerType(), kInstallerTypeWeb);
    EXPECT_EQ(configuration.getInstallerPlatform(), kInstallerPlatformController);
    EXPECT_EQ(configuration.getTargetPlatformMask(), 1);

    bytes = words(0, 0, 4);
    ASSERT_TRUE(configuration.load(bytes.data(), bytes.size()));
    EXPECT_EQ(configuration.getTargetPlatformMask(), 16);
    // An index that names no platform gives no mask, without failing.
    bytes = words(0, 0, 9);
    ASSERT_TRUE(configuration.load(bytes.data(), bytes.size()));
    EXPECT_EQ(configuration.getTargetPlatformMask(), 0);

    bytes = words(1, 1, 0);
    EXPECT_FALSE(configuration.load(bytes.data(), 11));
    bytes.push_back(0);
    EXPECT_FALSE(configuration.load(bytes.data(), bytes.size()));
    EXPECT_FALSE(configuration.load(bytes.data(), 0));
}

TEST(BuildConfigInstallerInfo, XmlForm)
{
    InstallerConfiguration configuration;
    ASSERT_TRUE(loadText(configuration, "<InstallerConfiguration InstallerType=\"Both\" InstallerPlat=\"PC\" "
                                        "TargetPlatMask=\"Win32,Win64\"/>"));
    EXPECT_EQ(configuration.getInstallerType(), kInstallerTypeBoth);
    EXPECT_EQ(configuration.getInstallerPlatform(), kInstallerPlatformPC);
    EXPECT_EQ(configuration.getTargetPlatformMask(), 48);

    EXPECT_FALSE(loadText(configuration, "<InstallerConfiguration InstallerType=\"Full\" InstallerPlat=\"PC\" "
                                         "TargetPlatMask=\"Windows\"/>"));
    EXPECT_FALSE(loadText(configuration, "<InstallerConfiguration InstallerType=\"Full\" InstallerPlat=\"PC\"/>"));
    ASSERT_TRUE(loadText(configuration, "<installerconfiguration installertype=\"web\" installerplat=\"controller\" "
                                        "targetplat=\"Qm40\"/>"));
    EXPECT_EQ(configuration.getTargetPlatformMask(), 4);
    ASSERT_TRUE(loadText(configuration, "<InstallerConfiguration TargetPlat=\"Qm40\" InstallerType=\"Web\" "
                                        "TargetPlatMask=\"Wm6,LQ5\"/>"));
    EXPECT_EQ(configuration.getTargetPlatformMask(), 129);
    ASSERT_TRUE(loadText(configuration, "<InstallerConfiguration InstallerType=\"Web\" InstallerPlat=\"All\" "
                                        "Other=\"x\"/>"));
    EXPECT_EQ(configuration.getTargetPlatformMask(), -1);
    // A document without the element describes no installer.
    EXPECT_FALSE(loadText(configuration, "<Other A=\"1\"/>"));
    EXPECT_FALSE(loadText(configuration, "<InstallerConfiguration"));
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

TEST(BuildConfiguration, ReadAndWrite)
{
    AttributeGrabber read = readBuild(
        "<BuildConfiguration Name=\"PC web\" InstallerType=\"Web\" InstallerPlat=\"PC\" TargetPlatMask=\"Win32\" "
        "RedistInclMode=\"byuser\" IncludeOnlineFeatures=\"Yes\"/>");
    ASSERT_TRUE(read.ok);
    EXPECT_EQ(read.build->getName(), u"PC web");
    EXPECT_EQ(read.build->getRedistInclMode(), kRedistByUser);
    EXPECT_TRUE(read.build->getIncludeOnlineFeatures());
    EXPECT_EQ(writeBuild(*read.build),
              "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
              "<BuildConfiguration Name=\"PC web\" InstallerType=\"Web\" InstallerPlat=\"PC\" "
              "TargetPlatMask=\"Win32\" IncludeOnlineFeatures=\"Yes\" RedistInclMode=\"ByUser\"/>\n");

    read = readBuild("<BuildConfiguration Name=\"C\" InstallerType=\"Full\" InstallerPlat=\"Controller\" "
                     "TargetPlatMask=\"All\" OverriddenInstallerName=\"setup_c\" RedistInclMode=\"NONE\"/>");
    ASSERT_TRUE(read.ok);
    EXPECT_EQ(read.build->getRedistInclMode(), kRedistNone);
    EXPECT_FALSE(read.build->getIncludeOnlineFeatures());
    EXPECT_EQ(writeBuild(*read.build),
              "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
              "<BuildConfiguration Name=\"C\" InstallerType=\"Full\" InstallerPlat=\"Controller\" "
              "TargetPlatMask=\"All\" OverriddenInstallerName=\"setup_c\" RedistInclMode=\"None\"/>\n");
}

TEST(BuildConfiguration, IncludeOnlineFeaturesNoStaysOff)
{
    // Present means set, but a stored "No" must not come back as "Yes".
    AttributeGrabber read = readBuild("<BuildConfiguration Name=\"A\" InstallerType=\"Full\" InstallerPlat=\"PC\" "
                                      "TargetPlatMask=\"Win32\" IncludeOnlineFeatures=\"No\"/>");
    ASSERT_TRUE(read.ok);
    EXPECT_FALSE(read.build->getIncludeOnlineFeatures());
    read = readBuild("<BuildConfiguration Name=\"A\" InstallerType=\"Full\" InstallerPlat=\"PC\" "
                     "TargetPlatMask=\"Win32\" IncludeOnlineFeatures=\"\"/>");
    ASSERT_TRUE(read.ok);
    EXPECT_TRUE(read.build->getIncludeOnlineFeatures());
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
