// The update check's report: "update_info.xml" byte for byte against golden
// files (nothing to report, and every kind of entry), checked by xmllint as
// well; the features that the installed program already has unmarked; and a
// folder that cannot take the file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "controller/installed_state_fixture.h"
#include "controller/update_info.h"
#include "core/wall_clock.h"
#include "data/install_data.h"
#include "data/installer_configuration.h"
#include "liveupdate/update_patcher.h"
#include "support/external_tool.h"

namespace druvex {
namespace {

using test::Bytes;

// 2021-03-04 05:06:07 UTC.
constexpr std::int64_t kNow = 1614834367;

class FixedClock final : public ClockSource {
public:
    std::uint64_t systemTime100ns() override { return kUnixEpochIn100ns + kNow * 10'000'000ull; }
    std::uint32_t tickMs() override { return 0; }
};

Bytes golden(const char* name)
{
    std::ifstream in(std::filesystem::path(DRUVEX_TEST_DATA_DIR) / "updateinfo" / name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Two versions; the one after the latest has a complete installer for this
// build (a full installer for controllers) and a Qm40.
constexpr char kBulletin[] = R"(<UpdateBulletin><Installer InstallerVersion="5.1"/>
<Version Ver="4.2"><Feature Name="Feature/Maps" Prompt="Maps" Version="2.0"/></Version>
<Version Ver="4.3"><ReleaseNotes>Roads &amp; rails</ReleaseNotes>
<FullInstaller prog-platform-mask="Qm40" inst-platform="Controller" inst-type="Full" url="http://updates.invalid/setup43.exe" size="1000"/>
</Version></UpdateBulletin>)";

class UpdateInfo : public test::InstalledStateFixture {
protected:
    void SetUp() override
    {
        InstalledStateFixture::SetUp();
        previousClock_ = setClockSource(&clock_);
    }
    void TearDown() override
    {
        setClockSource(previousClock_);
        InstalledStateFixture::TearDown();
    }

    FeaturePtr mark(const FeaturePtr& feature, std::int32_t state, const char16_t* digest, std::int64_t timestamp)
    {
        feature->setUpdateState(state);
        feature->setDigest(SharedString(digest));
        feature->setTimestamp(timestamp);
        feature->setDesc(SharedString(u"About ") + feature->getNameRef());
        return feature;
    }

    FixedClock clock_;
    ClockSource* previousClock_ = nullptr;
};

TEST_F(UpdateInfo, NothingToReportGivesAnEmptyDocument)
{
    makeProduct();
    addFeature(u"Maps");
    Bytes bytes;
    buildUpdateInfoXml(controller(), false, bytes);
    EXPECT_EQ(bytes, golden("update_info_empty.xml"));
}

TEST_F(UpdateInfo, EveryKindOfEntryIsWrittenInTheOrderOfTheWalk)
{
    InstallerController& controller = makeProduct();
    controller.getBuildConfiguration().setInstallerPlatform(kInstallerPlatformController);
    ASSERT_TRUE(controller.getUpdatePatcher().loadBulletin(kBulletin, sizeof kBulletin - 1));

    const FeaturePtr survey = addFeature(u"Survey");
    controller.selectFeature(mark(addFeature(u"Roads", survey), 1, u"R0AD5", 1600000000));
    const FeaturePtr help = addFeature(u"Help");
    mark(addFeature(u"English", help), 2, u"E1", 1600000001);
    mark(addFeature(u"Maps"), 1, u"MA95", -86400);
    // The extra data's children are "EULA", "Redist" and what the data adds
    // after them: the walk ends at "Redist".
    const FeaturePtr extra = controller.getInstallData().extraDataRoot();
    FeaturePtr licence = makeFeaturePtr();
    licence->setName(SharedString(u"Licence"));
    extra->findSubFeatureByName(u"EULA")->addSubFeature(mark(licence, 1, u"L1", 7));
    mark(extra->findSubFeatureByName(u"Redist"), 1, u"R", 8);
    FeaturePtr docs = makeFeaturePtr();
    docs->setName(SharedString(u"Docs"));
    extra->addSubFeature(mark(docs, 1, u"D", 9));

    Bytes bytes;
    buildUpdateInfoXml(controller, true, bytes);
    const Bytes expected = golden("update_info_full.xml");
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), std::string(expected.begin(), expected.end()));
    EXPECT_EQ(test::runTool("xmllint --noout -", bytes).exitCode, 0);
}

TEST_F(UpdateInfo, TheFileGoesIntoTheFolderOrTheCheckSaysItCannot)
{
    makeProduct();
    device().makeFolder("Temp/updates");
    EXPECT_TRUE(writeUpdateInfoXml(controller(), false, SharedString(u"\\Temp\\updates")));
    const Bytes expected = golden("update_info_empty.xml");
    EXPECT_EQ(device().readFile("Temp/updates/update_info.xml"), std::string(expected.begin(), expected.end()));
    EXPECT_FALSE(writeUpdateInfoXml(controller(), false, SharedString(u"\\Temp\\missing")));
}

TEST_F(UpdateInfo, FeaturesTheInstalledProgramHasAsOfferedAreUnmarked)
{
    makeProduct();
    // The installed record equals the offered one; the next is offered in a
    // newer version; the last is new.
    const FeaturePtr same = mark(addFeature(u"Same", nullptr, u"2.0"), 1, u"D1", 100);
    const FeaturePtr newer = mark(addFeature(u"Newer", nullptr, u"2.0"), 1, u"D2", 100);
    const FeaturePtr added = mark(addFeature(u"Added", nullptr, u"2.0"), 2, u"D3", 100);
    addInstalled(u"feature/SAME", u"2.0")->setDigest(SharedString(u"D1"));
    addInstalled(u"Feature/Newer", u"1.0")->setDigest(SharedString(u"D0"));

    EXPECT_TRUE(hasFeatureUpdates(controller()));
    EXPECT_EQ(same->getUpdateState(), 0);
    EXPECT_EQ(newer->getUpdateState(), 1);
    EXPECT_EQ(added->getUpdateState(), 2);

    newer->setUpdateState(0);
    added->setUpdateState(0);
    same->setUpdateState(1);
    EXPECT_FALSE(hasFeatureUpdates(controller()));
    EXPECT_EQ(same->getUpdateState(), 0);
}

}  // namespace
}  // namespace druvex
