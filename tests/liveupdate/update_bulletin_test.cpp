// The update bulletin: a representative document read into the whole record
// tree, the documents the reader refuses (and leaves nothing of), the
// elements it drops without failing, address resolution and the choice of a
// complete installer.
#include "liveupdate/update_bulletin.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/input_limits.h"
#include "core/wall_clock.h"
#include "data/feature.h"
#include "support/diag_capture.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

constexpr const char16_t* kBase = u"http://127.0.0.1:8080/p/bulletin.xml";

std::string utf8(const SharedString& text)
{
    return SharedStringA::fromWide(text.c_str(), 65001).c_str();
}

std::string dumpFeature(const Feature& feature)
{
    std::string line = "feature " + utf8(feature.getNameRef()) + " ver=" + utf8(feature.getVersion()) +
                       " locale=" + std::to_string(feature.getLocaleId()) +
                       " platforms=" + std::to_string(feature.getPlatforms()) + " url=" + utf8(feature.getUrl());
    for (const SharedString& name : feature.componentFeatures())
        line += " needs=" + utf8(name);
    return line + "\n";
}

std::string dumpVariable(const InstallerVariable& variable)
{
    std::string line = "variable " + utf8(variable.getName()) + (variable.isPersistent() ? " persistent" : "");
    for (const auto& [key, value] : variable.values())
        line += " [" + std::to_string(key.platform) + "/" + std::to_string(key.user) + "]=" + utf8(value);
    return line + "\n";
}

// Every record of the bulletin, one line each, in the bulletin's order.
std::string dump(const UpdateBulletin& bulletin)
{
    std::string out = "status " + std::to_string(bulletin.getStatus()) + "\n";
    out += "installer " + utf8(bulletin.getInstallerVersionText()) + "\n";
    for (int i = 0; i < bulletin.getEmptyInstallerCount(); ++i) {
        const EmptyInstallerEntry& entry = *bulletin.getEmptyInstaller(i);
        out += "empty platform=" + std::to_string(entry.platform) + " rev=" + std::to_string(entry.revision) +
               " size=" + std::to_string(entry.size) + " digest=" + utf8(entry.digest) +
               " time=" + std::to_string(entry.timeStamp.seconds) + " mask=" + std::to_string(entry.updateMask) +
               " url=" + utf8(entry.url) + "\n";
    }
    for (int i = 0; i < bulletin.getInstallerLanguageCount(); ++i) {
        const InstallerLanguageEntry& entry = *bulletin.getInstallerLanguage(i);
        out += "language " + std::to_string(entry.localeId) + " digest=" + utf8(entry.digest) +
               " url=" + utf8(entry.url) + "\n";
    }
    for (int v = 0; v < bulletin.getVersionCount(); ++v) {
        const BulletinVersion& version = *bulletin.getVersion(v);
        out += "version " + utf8(version.getVer().toText()) + " rev=" + utf8(version.getRevNum().toText()) +
               " notes=" + utf8(version.getReleaseNotes()) + "\n";
        for (int i = 0; i < version.getFullInstallerCount(); ++i) {
            const FullInstallerEntry& entry = version.getFullInstaller(i);
            out += " full mask=" + std::to_string(entry.getTargetPlatformMask()) +
                   " platform=" + std::to_string(entry.getInstallerPlatform()) +
                   " type=" + std::to_string(entry.getInstallerType()) + " size=" + std::to_string(entry.size) +
                   " url=" + utf8(entry.url) + "\n";
        }
        for (int i = 0; i < version.getFeatureCount(); ++i)
            out += " " + dumpFeature(*version.getFeature(i));
        out += " locales";
        for (int i = 0; i < version.getLocaleIdCount(); ++i)
            out += " " + std::to_string(version.getLocaleId(i));
        out += "\n";
        for (int i = 0; i < version.getVariables().count(); ++i)
            out += " " + dumpVariable(*version.getVariables().at(i));
        for (int m = 0; m < version.getMergeProjectCount(); ++m) {
            const MergeProject& project = *version.getMergeProject(m);
            out += " merge " + utf8(project.name) + "\n";
            for (const FeaturePtr& feature : project.features)
                out += "  " + dumpFeature(*feature);
        }
    }
    return out;
}

bool parse(UpdateBulletin& bulletin, std::string_view xml, bool acceptOldName = false)
{
    return bulletin.parse(xml.data(), xml.size(), kBase, true, acceptOldName);
}

// The system time at 2023-11-14 22:13:20 UTC (1,700,000,000 seconds).
class FixedClock final : public ClockSource {
public:
    FixedClock() : previous_(setClockSource(this)) {}
    ~FixedClock() override { setClockSource(previous_); }
    std::uint64_t systemTime100ns() override { return kUnixEpochIn100ns + 1'700'000'000ull * 10'000'000; }
    std::uint32_t tickMs() override { return 0; }

private:
    ClockSource* previous_;
};

TEST(UpdateBulletin, RepresentativeBulletinReadsIntoItsRecords)
{
    constexpr std::string_view xml = R"(<?xml version="1.0" encoding="utf-8"?>
<UpdateBulletin>
 <BulletinStatus>onlyplatformindependent</BulletinStatus>
 <Installer InstallerVersion="5.1"/>
 <EmptyInstaller platform="Qm40" revision="812" size="1048576" digest="AB12" timestamp="1650000000" url="empty\setup_qm40.exe" updateMask="6"/>
 <InstallerLanguage localeID="1031" digest="CD34" url="lng/lng_5.1_1031_Deutsch.lng"/>
 <Version Ver="4.2" RevNum="4.2.1234">
  <ReleaseNotes>Roads &amp; rails</ReleaseNotes>
  <FullInstaller prog-platform-mask="Wm6,Qm40" inst-platform="Controller" inst-type="Web" url="https://downloads.invalid/setup42.exe" size="20000000"/>
  <Feature Name="Feature/Survey/Roads" Prompt="Roads" Version="4.2" url="pkg\roads.lzma" Platforms="Qm40"/>
  <Feature Name="Feature/Help/English" Prompt="English" Version="4.2" LocaleId="1033" url="http://127.0.0.1:8080/other/help_en.lzma">
   <ComponentFeature>Feature/Survey</ComponentFeature>
  </Feature>
  <MergeProject name="Tools">
   <Feature Name="Feature/Tools/Calc" Prompt="Calc" Version="1.0" LocaleId="1036" url="../tools/calc.lzma"/>
  </MergeProject>
  <Feature Name="Feature/Help/Deutsch" Prompt="Deutsch" Version="4.2" LocaleId="1031" url="pkg/help_de.lzma"/>
  <UserFolder name="JOBS" defWindows="C:\Jobs" defController="\My Documents\Jobs"/>
  <InstallerVariable name="DATADIR" persistent="yes">
   <Definition platform="Qm40">\Data</Definition>
   <Definition platform="Windows" user="current">C:\Data</Definition>
  </InstallerVariable>
 </Version>
 <Version Ver="4.1" RevNum="4.1.1000">
  <FullInstaller prog-platform-mask="All" inst-platform="PC" inst-type="Full" url="full/setup41.exe" size="18000000"/>
  <Feature Name="Feature/Survey/Roads" Prompt="Roads" Version="4.1" url="pkg/roads41.lzma"/>
 </Version>
</UpdateBulletin>
)";
    UpdateBulletin bulletin;
    ASSERT_TRUE(parse(bulletin, xml));
    EXPECT_EQ(dump(bulletin),
              "status 1\n"
              "installer 5.1\n"
              "empty platform=2 rev=812 size=1048576 digest=AB12 time=1650000000 mask=6"
              " url=http://127.0.0.1:8080/p/empty/setup_qm40.exe\n"
              "language 1031 digest=CD34 url=http://127.0.0.1:8080/p/lng/lng_5.1_1031_Deutsch.lng\n"
              "version 4.2 rev=4.2.1234 notes=Roads & rails\n"
              " full mask=5 platform=1 type=1 size=20000000 url=https://downloads.invalid/setup42.exe\n"
              " feature Feature/Help/Deutsch ver=4.2 locale=1031 platforms=-1"
              " url=http://127.0.0.1:8080/p/pkg/help_de.lzma\n"
              " feature Feature/Help/English ver=4.2 locale=1033 platforms=-1"
              " url=http://127.0.0.1:8080/other/help_en.lzma needs=Feature/Survey\n"
              " feature Feature/Survey/Roads ver=4.2 locale=0 platforms=4 url=http://127.0.0.1:8080/p/pkg/roads.lzma\n"
              " locales 1031 1033 1036\n"
              " variable JOBS [1100/0]=C:\\Jobs [1200/0]=\\My Documents\\Jobs\n"
              " variable DATADIR persistent [2/0]=\\Data [1100/1]=C:\\Data\n"
              " merge Tools\n"
              "  feature Feature/Tools/Calc ver=1.0 locale=1036 platforms=-1 url=http://127.0.0.1:8080/tools/calc.lzma\n"
              "version 4.1 rev=4.1.1000 notes=\n"
              " full mask=-1 platform=0 type=0 size=18000000 url=http://127.0.0.1:8080/p/full/setup41.exe\n"
              " feature Feature/Survey/Roads ver=4.1 locale=0 platforms=-1"
              " url=http://127.0.0.1:8080/p/pkg/roads41.lzma\n"
              " locales\n");
    EXPECT_EQ(bulletin.getLatestVersion(), bulletin.getVersion(0));
    EXPECT_TRUE(bulletin.hasSeveralVersions());
    EXPECT_EQ(bulletin.findEmptyInstaller(kPlatformQm40), bulletin.getEmptyInstaller(0));
    EXPECT_EQ(bulletin.findEmptyInstaller(kPlatformWm6), nullptr);
    EXPECT_EQ(bulletin.getInstallerLanguageUrl(1031), u"http://127.0.0.1:8080/p/lng/lng_5.1_1031_Deutsch.lng");
    EXPECT_EQ(bulletin.getInstallerLanguageUrl(1036), u"");
}

TEST(UpdateBulletin, DamagedOrHostileDocumentsAreRefusedWhole)
{
    const std::string manyComponents = [] {
        std::string xml = R"(<B><Version Ver="1"><Feature Name="Feature/A" Prompt="A" Version="1">)";
        for (std::uint32_t i = 0; i <= kMaxBulletinRecords; ++i)
            xml += "<ComponentFeature>Feature/B</ComponentFeature>";
        return xml + "</Feature></Version></B>";
    }();
    const std::string deep = [] {
        std::string xml;
        for (std::uint32_t i = 0; i <= kMaxBulletinNesting; ++i)
            xml += "<Wrap>";
        xml += R"(<Version Ver="1"/>)";
        for (std::uint32_t i = 0; i <= kMaxBulletinNesting; ++i)
            xml += "</Wrap>";
        return xml;
    }();
    const struct {
        const char* what;
        std::string xml;
        const char16_t* logged;
    } cases[] = {
        {"feature outside a version", R"(<B><Feature Name="Feature/A" Prompt="A" Version="1"/><Version Ver="1"/></B>)",
         u"the \"Feature\" element is refused"},
        {"old installer-version name", R"(<B><Installer InstallerVer="5.1"/><Version Ver="1"/></B>)",
         u"the \"Installer\" element is refused"},
        {"installer version not first",
         R"(<B><Installer Build="7" InstallerVersion="5.1"/><Version Ver="1"/></B>)", u"\"Installer\""},
        {"empty installer without revision",
         R"(<B><EmptyInstaller platform="Qm40" size="10" url="e.exe"/><Version Ver="1"/></B>)",
         u"\"EmptyInstaller\""},
        {"component feature without feature",
         R"(<B><Version Ver="1"><ComponentFeature>Feature/A</ComponentFeature></Version></B>)",
         u"\"ComponentFeature\""},
        {"version without Ver", R"(<B><Version RevNum="1"/></B>)", u"a \"Version\" has no \"Ver\""},
        {"version inside a version", R"(<B><Version Ver="2"><Version Ver="1"/></Version></B>)", u"\"Version\""},
        {"merge project without name", R"(<B><Version Ver="1"><MergeProject id="x"/></Version></B>)",
         u"\"MergeProject\""},
        {"feature with too few attributes", R"(<B><Version Ver="1"><Feature Name="Feature/A" Version="1"/></Version></B>)",
         u"\"Feature\""},
        {"no version", R"(<B><Installer InstallerVersion="5.1"/></B>)", u"it holds no version"},
        {"not well-formed", R"(<B><Version Ver="1"></B>)", u"Update bulletin refused at byte 20: an end tag does not match the open element"},
        {"a file address",
         R"(<B><Version Ver="1"><Feature Name="Feature/A" Prompt="A" url="file:///etc/passwd"/></Version></B>)",
         u"the address \"file:///etc/passwd\""},
        {"an address above the server",
         R"(<B><Version Ver="1"><FullInstaller prog-platform-mask="All" url="../../../elsewhere/x.exe" size="1"/></Version></B>)",
         u"the address \"../../../elsewhere/x.exe\""},
        {"an ftp language", R"(<B><InstallerLanguage localeID="1031" digest="" url="ftp://h/l.lng"/><Version Ver="1"/></B>)",
         u"the address \"ftp://h/l.lng\""},
        {"a feature name that climbs",
         R"(<B><Version Ver="1"><Feature Name="Feature/../../Windows" Prompt="A" Version="1"/></Version></B>)",
         u"the feature name \"Feature/../../Windows\" is not a safe path"},
        {"a line break in an address",
         "<B><Version Ver=\"1\"><Feature Name=\"Feature/A\" Prompt=\"A\" url=\"http://h/a\r\nforged\"/></Version></B>",
         u"the address \"http://h/a??forged\" is not"},
        {"a feature name with a backslash",
         R"(<B><Version Ver="1"><Feature Name="Feature/A\..\B" Prompt="A" Version="1"/></Version></B>)",
         u"is not a safe path"},
        {"too many records", manyComponents, u"it holds more than 50000 records"},
        {"nested too deep", deep, u"elements are nested deeper than 32"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        UpdateBulletin bulletin;
        // What a refused document may have read before the refusal is gone.
        ASSERT_TRUE(parse(bulletin, R"(<B><Installer InstallerVersion="4.0"/><Version Ver="9"/></B>)"));
        test::DiagCapture log;
        EXPECT_FALSE(parse(bulletin, c.xml));
        EXPECT_EQ(dump(bulletin), "status 0\ninstaller \n");
        EXPECT_TRUE(log.contains(u"Update bulletin refused")) << ::testing::PrintToString(log.lines());
        EXPECT_TRUE(log.contains(c.logged)) << ::testing::PrintToString(log.lines());
    }
}

TEST(UpdateBulletin, DocumentLargerThanAnXmlFragmentIsNotRead)
{
    constexpr std::string_view start = R"(<B><Version Ver="1"/>)";
    std::string xml(kMaxXmlFragmentSize + 1, ' ');
    xml.replace(0, start.size(), start);
    UpdateBulletin bulletin;
    test::DiagCapture log;
    EXPECT_FALSE(parse(bulletin, xml));
    EXPECT_TRUE(log.contains(u"Update bulletin refused: 16777217 bytes exceed the limit of 16777216"))
        << ::testing::PrintToString(log.lines());
}

TEST(UpdateBulletin, ElementsWithoutEffectAreDroppedWithoutFailing)
{
    FixedClock clock;
    constexpr std::string_view xml = R"(<B>
 <EmptyInstaller platform="Wm6" revision="5" size="0" url="zero.exe"/>
 <EmptyInstaller platform="Wm6" revision="6" size="100" url=""/>
 <EmptyInstaller platform="Rv1Wn1" revision="7" size="100" url="now.exe"/>
 <InstallerLanguage localeID="0" digest="" url="none.lng"/>
 <Version Ver="3">
  <FullInstaller prog-platform-mask="" inst-platform="PC" inst-type="Full" url="x.exe" size="1"/>
  <Unknown anything="at all"><Nested/></Unknown>
 </Version>
</B>)";
    UpdateBulletin bulletin;
    ASSERT_TRUE(parse(bulletin, xml));
    EXPECT_EQ(dump(bulletin), "status 0\ninstaller \n"
                              "empty platform=1 rev=7 size=100 digest= time=1700000000 mask=0"
                              " url=http://127.0.0.1:8080/p/now.exe\n"
                              "version 3 rev= notes=\n locales\n");
}

TEST(UpdateBulletin, OldInstallerVersionNameOnlyWhenAccepted)
{
    constexpr std::string_view xml = R"(<B><Installer InstallerVer="5.1"/><Version Ver="1"/></B>)";
    UpdateBulletin bulletin;
    EXPECT_TRUE(parse(bulletin, xml, true));
    EXPECT_EQ(bulletin.getInstallerVersionText(), u"5.1");
    EXPECT_FALSE(parse(bulletin, xml, false));
    EXPECT_EQ(bulletin.getInstallerVersionText(), u"");
}

TEST(UpdateBulletin, AddressResolution)
{
    const struct {
        const char16_t* base;
        const char16_t* url;
        const char16_t* expected;  // null: refused
    } cases[] = {
        {kBase, u"pkg\\a.lzma", u"http://127.0.0.1:8080/p/pkg/a.lzma"},
        {kBase, u"/pkg/a.lzma", u"http://127.0.0.1:8080/p/pkg/a.lzma"},
        {kBase, u"../a.lzma", u"http://127.0.0.1:8080/a.lzma"},
        {kBase, u"..\\..\\a.lzma", nullptr},
        {kBase, u"//elsewhere.invalid/a", u"http://127.0.0.1:8080/p//elsewhere.invalid/a"},
        {kBase, u"http://other.invalid/a.lzma", u"http://other.invalid/a.lzma"},
        {kBase, u"HTTP://Other.invalid/a.lzma", u"HTTP://Other.invalid/a.lzma"},
        {kBase, u"https://other.invalid/a.lzma", u"https://other.invalid/a.lzma"},
        {kBase, u"Https://other.invalid/a", u"Https://other.invalid/a"},
        {u"https://h.invalid/b/bulletin.xml?v=1/2", u"a.lzma", u"https://h.invalid/b/a.lzma"},
        {u"http://h.invalid", u"a.lzma", u"http://h.invalid/a.lzma"},
        {u"http://h.invalid/bulletin.xml", u"a.lzma", u"http://h.invalid/a.lzma"},
        {kBase, u"", u""},
        {kBase, u"file:///etc/passwd", nullptr},
        {kBase, u"ftp://other.invalid/a", nullptr},
        {kBase, u"C:\\Windows\\a.exe", nullptr},
        {kBase, u"a b.lzma", nullptr},
        {kBase, u"http://", nullptr},
        {kBase, u"http://user@other.invalid/a", nullptr},
        {kBase, u"https://h.invalid/a\tb", nullptr},
        {u"file:///srv/bulletin.xml", u"a.lzma", nullptr},
        {u"", u"a.lzma", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(SharedString(c.url)));
        SharedString out = u"stale";
        EXPECT_EQ(resolveBulletinUrl(SharedString(c.base), SharedString(c.url), out), c.expected != nullptr);
        EXPECT_EQ(out, SharedString(c.expected ? c.expected : u""));
    }
}

TEST(UpdateBulletin, BestPackageScoring)
{
    const auto entry = [](std::int32_t mask, std::int32_t platform, std::int32_t type) {
        FullInstallerEntry full;
        full.setTargetPlatformMask(mask);
        full.setInstallerPlatform(platform);
        full.setInstallerType(type);
        return full;
    };
    constexpr std::int32_t pc = kInstallerPlatformPC;
    constexpr std::int32_t controller = kInstallerPlatformController;
    constexpr std::int32_t full = kInstallerTypeFull;
    constexpr std::int32_t web = kInstallerTypeWeb;
    const std::int32_t qm40 = platformMask(kPlatformQm40);
    const struct {
        const char* what;
        std::vector<FullInstallerEntry> entries;
        bool found;
        int index;
        bool matched;
    } cases[] = {
        {"both equal is taken at once", {entry(qm40, pc, web), entry(qm40, controller, full), entry(-1, controller, full)},
         true, 1, true},
        {"platform beats type", {entry(qm40, pc, full), entry(qm40, controller, web)}, true, 1, true},
        {"type beats neither", {entry(qm40, pc, web), entry(qm40, pc, full)}, true, 1, false},
        {"the first of equal scores", {entry(qm40, pc, web), entry(-1, pc, web)}, true, 0, false},
        {"a mask without the platform is never taken", {entry(platformMask(kPlatformWm6), controller, full)}, false,
         -1, false},
        {"no installers", {}, false, -1, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        BulletinVersion version;
        for (const FullInstallerEntry& e : c.entries)
            version.addFullInstaller(e);
        int index = -1;
        bool matched = false;
        EXPECT_EQ(version.findBestPackage(controller, full, kPlatformQm40, index, matched), c.found);
        if (c.found) {
            EXPECT_EQ(index, c.index);
            EXPECT_EQ(matched, c.matched);
        }
    }
}

}  // namespace
}  // namespace druvex
