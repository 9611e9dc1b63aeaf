// Font coverage: the format-4 character map read from font files in the
// device's Windows folder, checked against fontconfig for a real font, with
// fonts linked through the device registry and with damaged fonts.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "data/font_coverage.h"
#include "data/font_device_context.h"
#include "host/wince_hal_access.h"
#include "platform/registry.h"
#include "support/device_fixture.h"
#include "support/external_tool.h"
#include "support/font_files.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::Segment;
using test::cmapTable;
using test::fontFile;
using test::format4;
using test::nameTable;
using test::put16;
using test::put32;

const char* const kDejaVuSans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

// The cmap bytes as the font-data query would give them.
class MemoryFontSource final : public FontDataSource {
public:
    explicit MemoryFontSource(Bytes cmap) : cmap_(std::move(cmap)) {}
    std::int64_t getFontData(std::uint32_t tag, std::uint32_t offset, void* buffer, std::size_t size) override
    {
        if (tag != kCmapTableTag || offset > cmap_.size())
            return -1;
        const std::size_t count = std::min(size, cmap_.size() - offset);
        if (count > 0)
            std::memcpy(buffer, cmap_.data() + offset, count);
        return static_cast<std::int64_t>(count);
    }

private:
    Bytes cmap_;
};

// ASCII 0x20-0x7E by delta; 0x400-0x403 through the glyph array, where 0x402
// has glyph 0; 0x500 maps to glyph 0 by its delta.
Bytes sampleCmap(std::uint16_t platform = 3, std::uint16_t encoding = 1)
{
    return cmapTable({{platform, encoding,
                       format4({{0x20, 0x7E, static_cast<std::uint16_t>(3 - 0x20), {}},
                                {0x400, 0x403, 5, {10, 11, 0, 12}},
                                {0x500, 0x500, static_cast<std::uint16_t>(0x10000 - 0x500), {}}})}});
}

TEST(FontCoverageCmap, Format4Lookups)
{
    MemoryFontSource source(sampleCmap());
    EXPECT_TRUE(isTextCoveredByCmap(source, u"Hello, World ~"));
    EXPECT_TRUE(isTextCoveredByCmap(source, u""));
    EXPECT_TRUE(isTextCoveredByCmap(source, u"\u0400\u0401\u0403"));
    EXPECT_FALSE(isTextCoveredByCmap(source, u"\u0402"));  // a stored 0 stays 0
    EXPECT_FALSE(isTextCoveredByCmap(source, u"\u0500"));  // delta + code is 0
    EXPECT_FALSE(isTextCoveredByCmap(source, u"a\u00E9"));
    EXPECT_FALSE(isTextCoveredByCmap(source, u"\t"));
    EXPECT_FALSE(isTextCoveredByCmap(source, u"\U0001F600"));  // surrogates are units of their own
}

TEST(FontCoverageCmap, RecordChoice)
{
    // The last platform-3 record with encoding 1 or 0 is the one read.
    MemoryFontSource lastWins(cmapTable({{3, 1, format4({{0x41, 0x41, 1, {}}})},
                                         {3, 0, format4({{0x42, 0x42, 1, {}}})},
                                         {3, 10, format4({{0x41, 0x42, 1, {}}})}}));
    EXPECT_FALSE(isTextCoveredByCmap(lastWins, u"A"));
    EXPECT_TRUE(isTextCoveredByCmap(lastWins, u"B"));

    MemoryFontSource macOnly(sampleCmap(1, 0));
    EXPECT_FALSE(isTextCoveredByCmap(macOnly, u"A"));

    Bytes format12;
    put16(format12, {12, 0});
    put32(format12, {28, 0, 1, 0x20, 0x7E, 3});
    MemoryFontSource only12(cmapTable({{3, 10, format12}, {3, 1, format12}}));
    EXPECT_FALSE(isTextCoveredByCmap(only12, u"A"));

    MemoryFontSource none(Bytes{});
    EXPECT_FALSE(isTextCoveredByCmap(none, u""));
}

TEST(FontCoverageCmap, DamagedTablesAreNotCovered)
{
    const Bytes good = sampleCmap();
    // Cut anywhere: never covered, never a read outside the bytes.
    for (std::size_t size = 0; size < good.size(); ++size) {
        MemoryFontSource cut(Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(size)));
        EXPECT_FALSE(isTextCoveredByCmap(cut, u"A")) << size;
    }
    // A glyph array offset pointing past the subtable.
    Bytes wild = good;
    const std::size_t subtable = 12;
    const std::size_t segments = 4;
    const std::size_t rangeOffset1 = subtable + 16 + 6 * segments + 2;
    wild[rangeOffset1] = 0xFF;
    MemoryFontSource wildSource(wild);
    EXPECT_FALSE(isTextCoveredByCmap(wildSource, u"\u0401"));
    EXPECT_TRUE(isTextCoveredByCmap(wildSource, u"A"));

    // Random damage: the answer may be anything, but the read stays inside.
    std::mt19937 random(1234);
    for (int round = 0; round < 20000; ++round) {
        Bytes damaged = good;
        const int flips = 1 + static_cast<int>(random() % 4);
        for (int i = 0; i < flips; ++i)
            damaged[random() % damaged.size()] = static_cast<std::uint8_t>(random());
        MemoryFontSource source(damaged);
        isTextCoveredByCmap(source, u"Az\u0401\u0500\uFFFF");
    }
}

// A device whose Windows folder holds DejaVu Sans and the test's own fonts,
// with an empty registry.
class FontCoverage : public ::testing::Test {
protected:
    void SetUp() override
    {
        deviceRegistry().configure("");
        resetFontLinkCacheForTests();
        device_.emplace();
        device_->makeStandardFolders();
        host_ = std::make_shared<HalAccessWinCE>();
    }
    void TearDown() override
    {
        resetFontLinkCacheForTests();
        host_.reset();
        device_.reset();
        deviceRegistry().configure("");
    }

    void addFont(const std::string& name, const Bytes& bytes)
    {
        device_->writeFile("Windows/" + name, std::string(bytes.begin(), bytes.end()));
    }
    // The font comes from fonts-dejavu-core, which scripts/test installs.
    ::testing::AssertionResult addDejaVu()
    {
        const Bytes bytes = test::readFileBytes(kDejaVuSans);
        if (bytes.empty())
            return ::testing::AssertionFailure() << kDejaVuSans << " is missing (scripts/test installs it)";
        addFont("DejaVuSans.ttf", bytes);
        return ::testing::AssertionSuccess();
    }
    void linkFaces(const std::u16string& face, const std::vector<std::u16string>& entries)
    {
        std::u16string multi;
        for (const std::u16string& entry : entries) {
            multi += entry;
            multi += u'\0';
        }
        multi += u'\0';
        RegistryKey key = 0;
        ASSERT_TRUE(host_->regCreateKey(kRegistryLocalMachine, SharedString(u"SOFTWARE\\Microsoft\\FontLink\\SystemLink"),
                                        kRegistryViewDefault, key));
        ASSERT_TRUE(host_->regSetValue(key, SharedString(std::u16string_view(face)), kRegMultiString, multi.data(),
                                       static_cast<std::uint32_t>(multi.size() * 2)));
        host_->regCloseKey(key);
    }

    std::optional<test::TestDevice> device_;
    std::shared_ptr<HalAccessWinCE> host_;
};

// The code points fontconfig lists for the font.
std::vector<bool> fontconfigCharset(const char* path)
{
    std::vector<bool> covered(0x10000, false);
    const test::ToolResult result = test::runTool(std::string("fc-query --format='%{charset}' ") + path);
    if (result.exitCode != 0)
        return {};
    std::istringstream ranges(std::string(result.output.begin(), result.output.end()));
    std::string range;
    while (ranges >> range) {
        const std::size_t dash = range.find('-');
        const unsigned long first = std::stoul(range.substr(0, dash), nullptr, 16);
        const unsigned long last = dash == std::string::npos ? first : std::stoul(range.substr(dash + 1), nullptr, 16);
        for (unsigned long c = first; c <= last && c < covered.size(); ++c)
            covered[c] = true;
    }
    return covered;
}

TEST_F(FontCoverage, DejaVuSansAgreesWithFontconfig)
{
    ASSERT_TRUE(addDejaVu());
    ASSERT_TRUE(test::toolInstalled("fc-query"));
    FontDeviceContext context(host_);
    ASSERT_TRUE(context.selectFace(SharedString(u"dejavu sans")));
    EXPECT_EQ(context.faceName(), u"dejavu sans");

    EXPECT_TRUE(isTextCoveredByFont(context, u"Deutsch Dansk Español"));
    EXPECT_TRUE(isTextCoveredByFont(context, u"Русский Српски Українська"));
    EXPECT_FALSE(isTextCoveredByFont(context, u"中文"));
    EXPECT_FALSE(isTextCoveredByFont(context, u"日本語"));

    const std::vector<bool> expected = fontconfigCharset(kDejaVuSans);
    ASSERT_FALSE(expected.empty());
    CmapFormat4 map;
    ASSERT_TRUE(map.load(context));
    for (std::uint32_t c = 0x20; c < 0x10000; ++c) {
        if (c < 0xD800 || c > 0xDFFF) {
            EXPECT_EQ(map.covers(static_cast<char16_t>(c)), expected[c]) << std::hex << c;
        }
    }
}

TEST_F(FontCoverage, LinkedFontsCoverWhatTheCurrentOneLacks)
{
    ASSERT_TRUE(addDejaVu());
    addFont("SYNCJK.TTF", fontFile({{"cmap", cmapTable({{3, 1, format4({{0x4E00, 0x9FFF, 7, {}}})}})},
                                   {"name", nameTable(u"Synthetic CJK")}}));
    FontDeviceContext context(host_);
    ASSERT_TRUE(context.selectFace(SharedString(u"DejaVu Sans")));
    linkFaces(u"DejaVu Sans", {u"\\Windows\\missing.ttf,Missing Face", u"SYNCJK.TTF,Synthetic CJK,128,96"});

    EXPECT_TRUE(isTextCoveredByFonts(*host_, context, u"Deutsch"));
    EXPECT_TRUE(isTextCoveredByFonts(*host_, context, u"中文"));
    EXPECT_FALSE(isTextCoveredByFonts(*host_, context, u"中文 Д"));  // no one font covers both
    EXPECT_EQ(context.faceName(), u"DejaVu Sans");  // the caller's font stays

    // The linked faces are read once per process.
    host_->regDeleteKey(kRegistryLocalMachine, SharedString(u"SOFTWARE\\Microsoft\\FontLink"), kRegistryViewDefault);
    EXPECT_TRUE(isTextCoveredByFonts(*host_, context, u"中文"));
    resetFontLinkCacheForTests();
    EXPECT_FALSE(isTextCoveredByFonts(*host_, context, u"中文"));
}

TEST_F(FontCoverage, FontWithoutWindowsMapTriesTheLinkedFonts)
{
    addFont("macmap.ttf", fontFile({{"cmap", sampleCmap(1, 0)}, {"name", nameTable(u"Mac Only")}}));
    addFont("latin.otf", fontFile({{"cmap", sampleCmap()}, {"name", nameTable(u"Plain Latin")}}));
    FontDeviceContext context(host_);
    ASSERT_TRUE(context.selectFace(SharedString(u"Mac Only")));
    EXPECT_FALSE(isTextCoveredByFont(context, u"abc"));
    EXPECT_FALSE(isTextCoveredByFonts(*host_, context, u"abc"));
    resetFontLinkCacheForTests();
    linkFaces(u"Mac Only", {u"latin.otf,Plain Latin"});
    EXPECT_TRUE(isTextCoveredByFonts(*host_, context, u"abc"));
}

TEST_F(FontCoverage, FacesAndDamagedFiles)
{
    const Bytes good = fontFile({{"cmap", sampleCmap()}, {"name", nameTable(u"Good Face")}});
    addFont("good.ttf", good);
    addFont("cut.ttf", Bytes(good.begin(), good.begin() + 40));
    addFont("notes.txt", nameTable(u"Good Face"));
    Bytes wild = good;
    wild[12 + 8] = 0x7F;  // the first table's offset far past the file
    addFont("wild.ttf", wild);

    FontDeviceContext context(host_);
    EXPECT_FALSE(context.hasFont());
    EXPECT_FALSE(isTextCoveredByFont(context, u"A"));
    EXPECT_FALSE(context.selectFace(SharedString(u"Nobody")));
    ASSERT_TRUE(context.selectFace(SharedString(u"GOOD FACE")));
    EXPECT_TRUE(isTextCoveredByFont(context, u"A"));

    for (const char16_t* file : {u"\\Windows\\cut.ttf", u"\\Windows\\wild.ttf"}) {
        FontDeviceContext damaged(host_);
        if (damaged.selectFontFile(SharedString(file))) {
            EXPECT_FALSE(isTextCoveredByFont(damaged, u"A")) << toUtf8(SharedString(file)).c_str();
        }
    }
    FontDeviceContext byFile(host_);
    ASSERT_TRUE(byFile.selectFontFile(SharedString(u"\\Windows\\good.ttf")));
    EXPECT_EQ(byFile.faceName(), u"Good Face");
    EXPECT_FALSE(byFile.selectFontFile(SharedString(u"\\Windows\\missing.ttf")));
    EXPECT_EQ(byFile.faceName(), u"Good Face");
}

}  // namespace
}  // namespace druvex
