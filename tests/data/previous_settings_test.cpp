// Saved wizard state: the "PreviousSettings.xml" document byte for byte, the
// reading rules and their refusals, and saving over an existing file through a
// device host that fails at each step.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "data/previous_settings.h"
#include "host/wince_hal_access.h"
#include "platform/win_error.h"
#include "support/device_fixture.h"
#include "support/diag_capture.h"
#include "support/fault_injecting_hal.h"
#include "support/shared_string_print.h"
#include "test_data_files.h"

namespace druvex {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::string fixture(const char* name)
{
    return test::testDataText(std::string("statefiles/") + name);
}

std::string written(const PreviousSettings& settings)
{
    Bytes bytes;
    EXPECT_TRUE(settings.writeXml(bytes));
    return std::string(bytes.begin(), bytes.end());
}

bool read(PreviousSettings& settings, const std::string& xml)
{
    return settings.readXml(xml.data(), xml.size());
}

// A document with the given body under the root.
std::string document(const std::string& body)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<AdministrativeData>\n" + body + "</AdministrativeData>\n";
}

// What the filled fixture holds.
void fill(PreviousSettings& settings)
{
    settings.setLanguage(1031);
    settings.setIsTethered(true);
    settings.setTargetPlatform(kPlatformQm40);
    settings.setTargetDir(u"\\Program Files\\Field & Office");
    settings.setWipeOldInst(true);
    settings.setIsForAnyone(false);
    settings.setUseOnlineFeature(false);
    settings.setRevertToPreviousRevision(true);
    settings.setUpdateCheckDone(true);
    settings.addFeatureToInstall(u"Core");
    settings.addFeatureToInstall(u"Languages/Deutsch");
    settings.addFeatureToInstall(u"Tools <Beta>");
    auto jobs = InstallerVariable::create(u"JOBFOLDER");
    jobs->setPersistent(true);
    // Set out of the written order: the writer orders the definitions.
    jobs->setValue(kPlatformAll, kVariableAllUsers, u"\\Jobs");
    jobs->setValue(kPlatformWindows, kVariableCurrentUser, u"<APPDATA>\\Jobs");
    jobs->setValue(kPlatformControllers, kVariableAllUsers, u"<MY_DOCUMENTS>\\Jobs");
    jobs->setValue(kPlatformQm40, kVariableAllUsers, u"\\Storage Card\\Jobs");
    settings.append(jobs);
    auto units = InstallerVariable::create(u"UNITS");
    units->setValue(kPlatformWindows, kVariableAllUsers, u"Imperial");
    units->setValue(kPlatformWin32, kVariableAllUsers, u"Metric");
    settings.append(units);
    settings.setFullBackup(true, u"\\Storage Card\\Backup\\2024-05-17.7z");
    settings.setWizardMode(kModeMaintenance);
    settings.setStartingPage(kPageFeatureSelection);
}

// The document layer needs a host only to exist.
class PreviousSettingsXml : public ::testing::Test {
protected:
    HalAccessWinCE host_;
};

// Both files are written byte for byte and read back whole, which only a
// reader that took every field (and reset the ones the file leaves out) can do.
TEST_F(PreviousSettingsXml, DefaultAndFilledStatesWriteTheirFilesAndReadBackWhole)
{
    for (const bool filled : {false, true}) {
        SCOPED_TRACE(filled);
        const std::string expected = fixture(filled ? "PreviousSettings-filled.xml" : "PreviousSettings-default.xml");
        PreviousSettings settings(host_);
        if (filled)
            fill(settings);
        EXPECT_EQ(written(settings), expected);

        PreviousSettings reread(host_);
        reread.setLanguage(1);
        reread.setUseOnlineFeature(false);
        ASSERT_TRUE(read(reread, expected));
        EXPECT_EQ(written(reread), expected);
    }
}

// The file holds the mode and the page by their numbers, which a relaunched
// or later installer reads back: each keeps its own number, and a number this
// installer does not know comes back unchanged.
TEST_F(PreviousSettingsXml, ModesAndPagesAreSavedByTheirNumbers)
{
    const std::pair<WizardMode, const char*> modes[] = {
        {kModeNone, "0"}, {kModeStart, "1"}, {kModeInstall, "2"}, {kModeUpdate, "3"},
        {kModeAddRemove, "4"}, {kModeUninstall, "5"}, {kModeMaintenance, "6"}, {kModeMaintenanceWithoutLog, "7"},
        {kModeDownload, "8"}, {kModeRepairBroken, "9"}, {kModeRepair, "10"}, {kModeBackup, "11"},
        {wizardModeFromNumber(42), "42"},
    };
    const std::pair<WizardPageId, const char*> pages[] = {
        {kPageNone, "0"}, {kPageTethering, "1"}, {kPagePrerequisites, "2"}, {kPageNewVersion, "3"},
        {kPageWelcome, "4"}, {kPageLicense, "5"}, {kPageUsers, "6"}, {kPageDestination, "7"},
        {kPageDestination2, "8"}, {kPageFeatureSelection, "9"}, {kPageRedistributables, "10"},
        {kPageInstallation, "11"}, {kPageEndInstall, "12"}, {kPageCustomFirst, "13"}, {kPageCustomLast, "22"},
        {wizardPageFromNumber(-3), "-3"},
    };
    for (const auto& [mode, number] : modes) {
        PreviousSettings settings(host_);
        settings.setWizardMode(mode);
        const std::string text = written(settings);
        EXPECT_NE(text.find(std::string(" WizardMode=\"") + number + "\""), std::string::npos) << number;
        PreviousSettings reread(host_);
        ASSERT_TRUE(read(reread, text));
        EXPECT_EQ(reread.getWizardMode(), mode) << number;
    }
    for (const auto& [page, number] : pages) {
        PreviousSettings settings(host_);
        settings.setStartingPage(page);
        const std::string text = written(settings);
        EXPECT_NE(text.find(std::string(" StartingPage=\"") + number + "\""), std::string::npos) << number;
        PreviousSettings reread(host_);
        ASSERT_TRUE(read(reread, text));
        EXPECT_EQ(reread.getStartingPage(), page) << number;
    }
}

TEST_F(PreviousSettingsXml, AttributeValuesFollowTheirOwnCaseRules)
{
    struct Case {
        const char* body;
        bool tethered;
        bool useOnline;
        bool revert;
        bool updateChecked;
        bool restore;
    } cases[] = {
        // Destination flags want "Yes" exactly; Misc and FullBackup any case.
        {" <Destination IsTethered=\"yes\" WipeOldInst=\"No\" IsForAnyone=\"No\"/>\n"
         " <Misc UseOnlineFeature=\"yes\" RevertToPreviousRevision=\"YES\" UpdateCheckDone=\"yEs\"/>\n"
         " <FullBackup Restore=\"yes\" Path=\"\"/>\n",
         false, true, true, true, true},
        {" <Destination IsTethered=\"Yes\" WipeOldInst=\"No\" IsForAnyone=\"No\"/>\n"
         " <Misc UseOnlineFeature=\"No\" RevertToPreviousRevision=\"No\" UpdateCheckDone=\"No\"/>\n",
         true, false, false, false, false},
        // Absent: online use stays on; a file from before UpdateCheckDone
        // reads as not checked.
        {" <Misc/>\n", false, true, false, false, false},
        {" <Misc UseOnlineFeature=\"No\" RevertToPreviousRevision=\"Yes\"/>\n", false, false, true, false, false},
        {" <Misc UseOnlineFeature=\"maybe\"/>\n", false, false, false, false, false},
    };
    for (const Case& c : cases) {
        PreviousSettings settings(host_);
        ASSERT_TRUE(read(settings, document(c.body))) << c.body;
        EXPECT_EQ(settings.getIsTethered(), c.tethered) << c.body;
        EXPECT_EQ(settings.getUseOnlineFeature(), c.useOnline) << c.body;
        EXPECT_EQ(settings.getRevertToPreviousRevision(), c.revert) << c.body;
        EXPECT_EQ(settings.getUpdateCheckDone(), c.updateChecked) << c.body;
        bool restore = false;
        SharedString path;
        settings.getFullBackup(restore, path);
        EXPECT_EQ(restore, c.restore) << c.body;
    }
}

TEST_F(PreviousSettingsXml, DestinationReplacesEveryFieldAndRebootInfoPlatformOnlyFillsAGap)
{
    struct Case {
        const char* body;
        TargetPlatform platform;
        const char16_t* targetDir;
    } cases[] = {
        // Destination without a platform: the RebootInfo one is taken.
        {" <Destination TargetDir=\"\\App\" WipeOldInst=\"No\" IsForAnyone=\"No\"/>\n"
         " <RebootInfo Revision=\"40\" TargetPlatform=\"Rv1Wn1\"/>\n",
         kPlatformRv1Wn1, u"\\App"},
        // Destination with one: the RebootInfo one is passed over.
        {" <Destination TargetPlatform=\"Wm6\" WipeOldInst=\"No\" IsForAnyone=\"No\"/>\n"
         " <RebootInfo Revision=\"40\" TargetPlatform=\"Rv1Wn1\"/>\n",
         kPlatformWm6, u""},
        // A later Destination clears what an earlier one set.
        {" <Destination TargetPlatform=\"Wm6\" TargetDir=\"\\App\" IsForAnyone=\"No\"/>\n"
         " <Destination IsTethered=\"No\" WipeOldInst=\"No\" IsForAnyone=\"No\"/>\n",
         kPlatformUnknown, u""},
    };
    for (const Case& c : cases) {
        PreviousSettings settings(host_);
        settings.setTargetDir(u"\\Before");
        ASSERT_TRUE(read(settings, document(c.body))) << c.body;
        EXPECT_EQ(settings.getTargetPlatform(), c.platform) << c.body;
        EXPECT_EQ(settings.getTargetDir(), c.targetDir) << c.body;
    }
}

TEST_F(PreviousSettingsXml, FeaturesAndVariablesAreTakenWhereverTheyStand)
{
    PreviousSettings settings(host_);
    ASSERT_TRUE(read(settings, document(" <Feature>A</Feature>\n"
                                        " <FeaturesToInstall>\n  <Feature>B</Feature>\n </FeaturesToInstall>\n"
                                        " <FullBackup Restore=\"No\" Path=\"\">\n"
                                        "  <INSTALLERVARIABLE NAME=\"X\" Persistent=\"yes\">\n"
                                        "   <definition PLATFORM=\"all\">1</definition>\n"
                                        "  </INSTALLERVARIABLE>\n"
                                        " </FullBackup>\n"
                                        " <Unknown Any=\"thing\"/>\n"
                                        " <REBOOTINFO revision=\"40\" wizardmode=\"3\"/>\n")));
    EXPECT_EQ(settings.getFeaturesToInstall(), (std::vector<SharedString>{u"A", u"B"}));
    ASSERT_EQ(settings.count(), 1);
    EXPECT_TRUE(settings.at(0)->isPersistent());
    EXPECT_EQ(settings.at(0)->getExactValue(kPlatformAll, kVariableAllUsers), u"1");
    EXPECT_EQ(settings.getWizardMode(), kModeUpdate);
    EXPECT_EQ(settings.getStartingPage(), kPagePrerequisites);
}

TEST_F(PreviousSettingsXml, RefusedDocumentsKeepWhatWasReadBeforeTheRefusal)
{
    const std::string language = " <Language>1036</Language>\n";
    const char* refused[] = {
        " <RebootInfo Revision=\"39\" WizardMode=\"6\" StartingPage=\"9\"/>\n",
        " <RebootInfo WizardMode=\"6\" StartingPage=\"9\"/>\n",  // no Revision
        " <RebootInfo/>\n",
        " <Destination TargetDir=\"\\App\" TargetPlatform=\"Qm40\"/>\n",  // two attributes
        " <Definition platform=\"All\">1</Definition>\n",  // no open variable
        " <InstallerVariable name=\"\" persistent=\"yes\"/>\n",
        " <InstallerVariable persistent=\"yes\"/>\n",
        " <InstallerVariable name=\"A\">\n  <InstallerVariable name=\"B\"/>\n </InstallerVariable>\n",
        " <InstallerVariable name=\"A\">\n  <Definition platform=\"Unknown\">1</Definition>\n </InstallerVariable>\n",
        " <Misc UseOnlineFeature=\"No\">\n",  // cut off
    };
    for (const char* body : refused) {
        PreviousSettings settings(host_);
        EXPECT_FALSE(read(settings, document(language + body))) << body;
        EXPECT_EQ(settings.getLanguage(), 1036u) << body;
        EXPECT_EQ(settings.getWizardMode(), kModeStart) << body;
        EXPECT_EQ(settings.getTargetPlatform(), kPlatformUnknown) << body;
        EXPECT_EQ(settings.count(), 0) << body;
    }
    PreviousSettings settings(host_);
    EXPECT_FALSE(settings.readXml(nullptr, 0));
    EXPECT_FALSE(read(settings, ""));
    EXPECT_FALSE(read(settings, "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"));
}

// Files on a device through its host.
class PreviousSettingsFile : public test::DeviceFixture {
protected:
    void SetUp() override
    {
        DeviceFixture::SetUp();
        device().makeFolder("Settings");
        host_ = std::make_shared<HalAccessWinCE>();
    }

    SharedString path() const { return SharedString(u"\\Settings\\PreviousSettings.xml"); }

    std::shared_ptr<HalAccessWinCE> host_;
};

// A save replaces an older file and what a broken save left over.
TEST_F(PreviousSettingsFile, SavedStateReplacesTheOldFileAndRestoresWhole)
{
    device().writeFile("Settings/PreviousSettings.xml", "old");
    device().writeFile("Settings/PreviousSettings.xml.bak", "older");
    device().writeFile("Settings/PreviousSettings.xml.tmp", "half");
    PreviousSettings saved(*host_);
    fill(saved);
    ASSERT_TRUE(saved.saveToFile(path()));
    EXPECT_EQ(device().readFile("Settings/PreviousSettings.xml"), fixture("PreviousSettings-filled.xml"));
    EXPECT_FALSE(device().exists("Settings/PreviousSettings.xml.tmp"));
    EXPECT_FALSE(device().exists("Settings/PreviousSettings.xml.bak"));

    PreviousSettings restored(*host_);
    bool corrupt = true;
    ASSERT_TRUE(restored.loadFromFile(path(), corrupt));
    EXPECT_FALSE(corrupt);
    EXPECT_EQ(written(restored), fixture("PreviousSettings-filled.xml"));
}

TEST_F(PreviousSettingsFile, UnreadableFilesAreNotCorruptButMalformedOnesAre)
{
    struct Case {
        const char* content;  // null: no file
        bool corrupt;
    } cases[] = {
        {nullptr, false},
        {"", false},
        {"\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<AdministrativeData>\n <Language>10", true},
        {"\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<AdministrativeData>\n"
         " <RebootInfo Revision=\"39\" WizardMode=\"1\" StartingPage=\"2\"/>\n</AdministrativeData>\n",
         true},
    };
    for (const Case& c : cases) {
        host_->deleteFile(path());
        if (c.content)
            device().writeFile("Settings/PreviousSettings.xml", c.content);
        PreviousSettings settings(*host_);
        bool corrupt = !c.corrupt;
        EXPECT_FALSE(settings.loadFromFile(path(), corrupt)) << (c.content ? c.content : "(none)");
        EXPECT_EQ(corrupt, c.corrupt) << (c.content ? c.content : "(none)");
    }
}

// A device host whose moves fail when asked to.
class MoveFailingHost final : public HalAccessWinCE {
public:
    bool moveFile(const SharedString& source, const SharedString& target) override
    {
        if (++moves == failMove) {
            druvex::setLastError(kErrorAccessDenied);
            return false;
        }
        return HalAccessWinCE::moveFile(source, target);
    }

    int moves = 0;
    int failMove = 0;
};

// A save that fails at any step (open, write, close, moving the old file
// aside, moving the new one in) is reported, and the good file stays.
TEST_F(PreviousSettingsFile, AFailedSaveIsReportedAndLeavesTheGoodFileInPlace)
{
    const std::string good = fixture("PreviousSettings-default.xml");
    const auto expectFailedSave = [&](HalAccess& host, const char16_t* logged) {
        device().writeFile("Settings/PreviousSettings.xml", good);
        PreviousSettings settings(host);
        fill(settings);
        test::DiagCapture log;
        EXPECT_FALSE(settings.saveToFile(path()));
        EXPECT_TRUE(log.contains(logged));
        EXPECT_EQ(device().readFile("Settings/PreviousSettings.xml"), good);
        EXPECT_FALSE(device().exists("Settings/PreviousSettings.xml.tmp"));
        EXPECT_FALSE(device().exists("Settings/PreviousSettings.xml.bak"));
    };
    for (int step = 0; step < 4; ++step) {
        SCOPED_TRACE(step);
        test::HalFaultPlan plan;
        plan.failWriteNumber = step == 0 ? 1 : 0;
        plan.shortWriteNumber = step == 1 ? 1 : 0;
        plan.failEveryOpen = step == 2;
        plan.failClose = step == 3;
        test::FaultInjectingHal host(host_, plan);
        expectFailedSave(host, u"PreviousSettings.xml");
    }
    for (const int failMove : {1, 2}) {
        SCOPED_TRACE(failMove);
        MoveFailingHost host;
        host.failMove = failMove;
        expectFailedSave(host, u"error 5");
    }
}

TEST_F(PreviousSettingsFile, AFolderInThePlaceOfTheFileIsLeftAlone)
{
    device().makeFolder("Settings/PreviousSettings.xml");
    PreviousSettings settings(*host_);
    test::DiagCapture log;
    EXPECT_FALSE(settings.saveToFile(path()));
    EXPECT_TRUE(log.contains(u"folder"));
    bool isFolder = false;
    EXPECT_TRUE(host_->exists(path(), &isFolder));
    EXPECT_TRUE(isFolder);
    EXPECT_FALSE(device().exists("Settings/PreviousSettings.xml.tmp"));
}

}  // namespace
}  // namespace druvex
