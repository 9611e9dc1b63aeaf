// The controller's state and lifecycle: the work folder made and removed, the
// initial values, the derived answers, the title, variable expansion, the
// page moves through the page-logic factory, and the controller standing in
// for the interfaces lower libraries declared.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

#include "controller/controller_fixture.h"
#include "controller/log_only_ui_callback.h"
#include "data/install_data.h"
#include "data/installed_log.h"
#include "data/installer_configuration.h"
#include "data/installer_variable.h"
#include "data/previous_settings.h"
#include "fileutil/file_util.h"
#include "liveupdate/package_cache.h"
#include "support/diag_capture.h"
#include "support/shared_string_print.h"
#include "text/numbers.h"

namespace druvex {
namespace {

using test::ControllerFixture;
using test::DiagCapture;
using test::PageLogicJournal;
using test::RecordingPageLogicFactory;

std::string workFolderName()
{
    return "Temp/DRUVEXInstaller" + std::to_string(::getpid());
}

FeaturePtr addFeature(InstallData& data, const char16_t* name, FeaturePreselection presel = FeaturePreselection::Default,
                      FeatureMode mode = FeatureMode::Collapsed)
{
    FeaturePtr feature = makeFeaturePtr();
    feature->setName(SharedString(name));
    feature->setPresel(presel);
    feature->setMode(mode);
    data.featureRoot()->addSubFeature(feature);
    return feature;
}

class ControllerCore : public ControllerFixture {};

TEST_F(ControllerCore, TheWorkFolderIsMadeAndItsFilesGoWithTheController)
{
    InstallerController& controller = makeController();
    EXPECT_EQ(controller.getWorkFolder(), SharedString(u"\\Temp\\DRUVEXInstaller") + intToText(::getpid()));
    ASSERT_TRUE(device().exists(workFolderName()));
    device().writeFile(workFolderName() + "/CurrentLang.lng", "x");
    device().writeFile(workFolderName() + "/theme.bmp", "y");

    destroyController();
    EXPECT_FALSE(device().exists(workFolderName()));
}

TEST_F(ControllerCore, OfTheWorkFolderOnlyTheFolderOfAHandedOverInstallerStays)
{
    // What the run unpacked goes with the rest; a handed-over installer still
    // runs from its folder, which stays with the work folder around it.
    makeController();
    device().writeFile(workFolderName() + "/license.txt", "x");
    device().writeFile(workFolderName() + "/CustomActions/Stamp/data/stamp.txt", "x");
    device().writeFile(workFolderName() + "/Redist/Runtime/setup.lua", "x");
    device().writeFile(workFolderName() + "/dq_empty_inst/setup.exe", "running");
    destroyController();
    EXPECT_FALSE(device().exists(workFolderName()));

    InstallerController& handingOver = makeController();
    device().writeFile(workFolderName() + "/Redist/Runtime/setup.lua", "x");
    device().writeFile(workFolderName() + "/dq_empty_inst/setup.exe", "running");
    handingOver.keepInWorkFolder(handingOver.getWorkFolder() + u"/DQ_EMPTY_INST/");
    destroyController();
    EXPECT_FALSE(device().exists(workFolderName() + "/Redist"));
    EXPECT_EQ(device().readFile(workFolderName() + "/dq_empty_inst/setup.exe"), "running");
}

TEST_F(ControllerCore, StartsWithTheInitialValues)
{
    InstallerController& controller = makeController(true);
    EXPECT_EQ(controller.getHalIn(), controller.getHalInAdmin());
    EXPECT_EQ(controller.getHalOut(), controller.getHalOutElevated());
    EXPECT_NE(controller.getHalIn(), controller.getHalOut());
    // Until the application sets its own: log-only answers, no
    // redistributables, hooks that run nothing.
    const std::shared_ptr<InstallerUiCallback> logOnly = controller.getUiCallback();
    EXPECT_NE(dynamic_cast<LogOnlyUiCallback*>(logOnly.get()), nullptr);
    controller.setUiCallback(std::make_shared<LogOnlyUiCallback>(nullptr));
    controller.setUiCallback(nullptr);
    EXPECT_NE(dynamic_cast<LogOnlyUiCallback*>(controller.getUiCallback().get()), nullptr);
    EXPECT_FALSE(controller.needsRedistributables());
    EXPECT_TRUE(controller.runHook(SharedString(u"PREREQ-ENTER")));

    // Before a target is chosen the mask is the build's, cut to AvailablePlatforms.
    controller.getBuildConfiguration().setTargetPlatformMask(0x1F);
    controller.getInstallData().settings().setAvailablePlatforms(0x34);
    EXPECT_EQ(controller.getTargetPlatformMask(), 0x14);
    controller.setTargetPlatform(kPlatformQm40);
    EXPECT_EQ(controller.getTargetPlatformMask(), 4);
}

TEST_F(ControllerCore, ARestoreThatFailedStaysFailed)
{
    InstallerController& controller = makeController();
    controller.setRestoreFailed();
    controller.setRestoreDone();
    EXPECT_EQ(controller.getRestoreResult(), kRestoreFailed);

    makeController().setRestoreDone();
    EXPECT_EQ(controller_->getRestoreResult(), kRestoreDone);
    controller_->setRestoreFailed();
    EXPECT_EQ(controller_->getRestoreResult(), kRestoreFailed);
}

TEST(ControllerCoreSelection, FeaturesKeepTheOrderTheyWereChosenInEachOnce)
{
    // Not the order of their addresses: the install order and the saved list
    // of features must not change from run to run.
    FeaturePtr a = makeFeaturePtr();
    FeaturePtr b = makeFeaturePtr();
    FeaturePtr c = makeFeaturePtr();
    FeatureSelection selection;
    EXPECT_TRUE(selection.insert(c));
    EXPECT_TRUE(selection.insert(a));
    EXPECT_FALSE(selection.insert(c));
    EXPECT_FALSE(selection.insert(nullptr));
    EXPECT_TRUE(selection.insert(b));
    EXPECT_EQ(selection.features(), (std::vector<FeaturePtr>{c, a, b}));
    EXPECT_TRUE(selection.erase(a.get()));
    EXPECT_FALSE(selection.erase(a.get()));
    EXPECT_FALSE(selection.contains(a.get()));
    EXPECT_TRUE(selection.insert(a));
    EXPECT_EQ(selection.features(), (std::vector<FeaturePtr>{c, b, a}));
}

TEST_F(ControllerCore, TheHostPlatformComesFromTheSourceHostOnADevice)
{
    struct Row {
        std::int32_t installerPlatform;
        DeviceType type;
        bool found;
        TargetPlatform expected;
    };
    const Row rows[] = {
        {kInstallerPlatformPC, DeviceType::KT_11, true, kPlatformWin32},
        {kInstallerPlatformController, static_cast<DeviceType>(17), true, kPlatformQm40},
        {kInstallerPlatformController, DeviceType::KT_11, true, kPlatformWm6},
        {kInstallerPlatformController, static_cast<DeviceType>(17), false, kPlatformUnknown},
    };
    for (const Row& row : rows) {
        source_->deviceType = row.type;
        source_->deviceFound = row.found;
        InstallerController& controller = makeController(true);
        controller.getBuildConfiguration().setInstallerPlatform(row.installerPlatform);
        EXPECT_EQ(controller.getHostPlatform(), row.expected) << static_cast<int>(row.type) << " " << row.found;
        EXPECT_EQ(controller.isRunningOnDevice(), row.installerPlatform == kInstallerPlatformController);
    }
}

TEST_F(ControllerCore, ARemoteDeviceIsTheTargetOfADesktopBuildOrOfTheMobileOption)
{
    struct Row {
        bool forMobile;
        std::int32_t installerPlatform;
        TargetPlatform target;
        bool remote;
    };
    const Row rows[] = {
        {false, kInstallerPlatformController, kPlatformQm40, false},
        {true, kInstallerPlatformController, kPlatformQm40, true},
        {false, kInstallerPlatformPC, kPlatformQm40, true},
        {false, kInstallerPlatformPC, kPlatformWin64, false},
        {false, kInstallerPlatformPC, kPlatformCount, true},
    };
    for (const Row& row : rows) {
        options_.forMobile = row.forMobile;
        InstallerController& controller = makeController();
        controller.getBuildConfiguration().setInstallerPlatform(row.installerPlatform);
        controller.setTargetPlatform(row.target);
        EXPECT_EQ(controller.isRemoteDeviceTarget(), row.remote) << row.forMobile << " " << row.target;
        EXPECT_EQ(controller.isDesktopTarget(), row.target == kPlatformWin32 || row.target == kPlatformWin64);
    }
}

TEST_F(ControllerCore, AFeatureToInstallIsNeitherRequiredNorHidden)
{
    InstallerController& controller = makeController();
    InstallData& data = controller.getInstallData();
    EXPECT_FALSE(controller.hasFeatureToInstall());
    addFeature(data, u"Core", FeaturePreselection::Required);
    addFeature(data, u"Hidden", FeaturePreselection::Default, FeatureMode::NotVisible);
    EXPECT_FALSE(controller.hasFeatureToInstall());
    // Only the features right under the root count.
    FeaturePtr help = makeFeaturePtr();
    help->setName(SharedString(u"Help"));
    data.findItemByPath(u"Feature/Core")->addSubFeature(help);
    EXPECT_FALSE(controller.hasFeatureToInstall());
    addFeature(data, u"Maps", FeaturePreselection::NotPreselected, FeatureMode::Expanded);
    EXPECT_TRUE(controller.hasFeatureToInstall());
}

TEST_F(ControllerCore, LiveUpdateNeedsTheOptionAnAddressAndNoCheckDoneInAUsedConfiguration)
{
    struct Row {
        bool updatesAllowed;
        const char16_t* url;
        ConfigMode configMode;
        bool checkDone;
        bool available;
    };
    const Row rows[] = {
        {true, u"http://127.0.0.1/b.xml", kConfigModeNone, false, true},
        {false, u"http://127.0.0.1/b.xml", kConfigModeNone, false, false},
        {true, u"", kConfigModeNone, false, false},
        {true, u"http://127.0.0.1/b.xml", kConfigModeUse, true, false},
        {true, u"http://127.0.0.1/b.xml", kConfigModeUse, false, true},
        {true, u"http://127.0.0.1/b.xml", kConfigModeMake, true, true},
    };
    for (const Row& row : rows) {
        options_.updatesAllowed = row.updatesAllowed;
        options_.configMode = row.configMode;
        InstallerController& controller = makeController();
        controller.getInstallData().settings().setLiveUpdateUrl(SharedString(row.url));
        controller.getPreviousSettings().setUpdateCheckDone(row.checkDone);
        EXPECT_EQ(controller.isLiveUpdateAvailable(), row.available)
            << row.updatesAllowed << " " << testing::PrintToString(SharedString(row.url)) << " " << static_cast<int>(row.configMode) << " "
            << row.checkDone;
        // A proxy counts only where live update is available; the profile names none.
        EXPECT_FALSE(controller.isProxyConnection());
    }
}

TEST_F(ControllerCore, TheTitlePrefersTheShortNameOnlyOnTheLargeScreen)
{
    struct Row {
        int screenWidth;
        const char16_t* shortName;
        bool preferShort;
        const char16_t* title;
    };
    const Row rows[] = {
        {480, u"Pro", true, u"Pro Installer"},
        {480, u"Pro", false, u"Survey Pro Installer"},
        {480, u"", true, u"Survey Pro Installer"},
        {320, u"Pro", true, u"Survey Pro Installer"},
        {640, u"Pro", true, u"Survey Pro Installer"},
    };
    for (const Row& row : rows) {
        DeviceConfig config = device().config();
        config.screenWidth = row.screenWidth;
        device().reconfigure(config);
        InstallerController& controller = makeController();
        InstallerSettings& settings = controller.getInstallData().settings();
        settings.setProgramName(SharedString(u"Survey Pro"));
        settings.set(InstallerSettingKey::ProgramShortName, SharedString(row.shortName));
        EXPECT_EQ(controller.getInstallerTitle(row.preferShort), SharedString(row.title)) << row.screenWidth;
    }
}

TEST_F(ControllerCore, FolderTextsExpandForTheChosenHostsPlatformAndTheDestination)
{
    source_->deviceType = static_cast<DeviceType>(17);  // Qm40
    target_->deviceType = DeviceType::KT_11;            // Wm6
    InstallerController& controller = makeController(true);
    auto data = InstallerVariable::create(SharedString(u"DATA"));
    data->setValue(kPlatformQm40, kVariableAllUsers, SharedString(u"\\Qm40Data"));
    data->setValue(kPlatformWm6, kVariableAllUsers, SharedString(u"\\Wm6Data"));
    controller.getInstallData().append(data);
    controller.setDestinationFolder(SharedString(u"\\Program Files\\Survey"));

    EXPECT_EQ(controller.solveHalFolder(true, SharedString(u"<DATA>\\jobs")), SharedString(u"\\Qm40Data\\jobs"));
    EXPECT_EQ(controller.solveHalFolder(false, SharedString(u"<DATA>\\jobs")), SharedString(u"\\Wm6Data\\jobs"));
    EXPECT_EQ(controller.expandVariables(SharedString(u"<TARGETDIR>\\bin")), SharedString(u"\\Program Files\\Survey\\bin"));
    EXPECT_EQ(controller.expandVariablesFor(SharedString(u"<TARGETDIR>\\bin"), SharedString(u"\\Other")),
              SharedString(u"\\Other\\bin"));
    EXPECT_EQ(controller.solveHalFolder(false, SharedString(u"<NO_SUCH_FOLDER>\\x")), SharedString());
    EXPECT_EQ(controller.expandVariables(SharedString(u"<NO_SUCH_FOLDER>\\x")), SharedString());
}

TEST_F(ControllerCore, EachPageLogicGetsItsArguments)
{
    InstallerController& controller = makeController(true);
    PageLogicJournal& journal = journal_;
    controller.setPageLogicFactory(std::make_shared<RecordingPageLogicFactory>(journal));
    auto custom = std::make_shared<CustomPage>();
    custom->name = u"Extra";
    custom->supportedModes = 255;
    controller.getInstallData().addCustomPage(custom);
    controller.getInstallData().setCustomPagesSequence(SharedString(u"[Welcome page]Extra;"));
    controller.getPageSequence().buildForMode(kModeUninstall);  // 4 13 11 12

    const WizardPageId ids[] = {kPagePrerequisites, kPageWelcome,    kPageUsers,       kPageDestination,
                                kPageDestination2,  kPageEndInstall, kPageCustomFirst, kPageFeatureSelection};
    for (WizardPageId id : ids)
        controller.createPageLogic(id);
    ASSERT_EQ(journal.arguments.size(), std::size(ids));
    const auto& args = journal.arguments;
    EXPECT_EQ(args[0].downloader, &controller.getWebDownloader());
    EXPECT_EQ(args[1].mode, kModeUninstall);
    EXPECT_EQ(args[2].host, controller.getHalIn());
    EXPECT_EQ(args[3].host, controller.getHalOut());
    EXPECT_EQ(args[4].host, controller.getHalOut());
    EXPECT_EQ(args[5].host, controller.getHalIn());
    EXPECT_EQ(args[6].customPage, custom);
    EXPECT_EQ(args[7].downloader, nullptr);
    EXPECT_EQ(args[7].host, nullptr);
    EXPECT_EQ(args[7].customPage, nullptr);
    EXPECT_EQ(args[7].mode, kModeNone);
}

TEST_F(ControllerCore, TheOldLogicLeavesForTheNewPageAndGoesOnceTheNewOneIsMade)
{
    InstallerController& controller = makeController();
    PageLogicJournal& journal = journal_;
    controller.setPageLogicFactory(std::make_shared<RecordingPageLogicFactory>(journal));
    controller.createPageLogic(kPagePrerequisites);
    controller.createPageLogic(kPageWelcome);
    EXPECT_EQ(journal.events, (std::vector<std::string>{"make 2", "leave 2 for 4", "make 4", "delete 2"}));

    // No logic for an id outside the wizard: reported, and the old one stays.
    DiagCapture log;
    journal.events.clear();
    controller.createPageLogic(wizardPageFromNumber(23));
    controller.createPageLogic(kPageNone);
    EXPECT_TRUE(journal.events.empty());
    EXPECT_TRUE(log.contains(u"DBGCHK  source/dq/instlogic/InstallerController:1251"));
    EXPECT_EQ(log.dbgChkCount(), 2);
    ASSERT_NE(controller.getPageLogic(), nullptr);
    controller.getPageLogic()->onNext();
    EXPECT_EQ(journal.events, std::vector<std::string>{"next 4"});
}

TEST_F(ControllerCore, NextAndBackAskTheLogicBeforeTheyMove)
{
    InstallerController& controller = makeController();
    PageLogicJournal& journal = journal_;
    controller.setPageLogicFactory(std::make_shared<RecordingPageLogicFactory>(journal));
    controller.getPageSequence().buildForMode(kModeUninstall);  // 4 11 12
    controller.getPageSequence().goToPage(kPageWelcome);

    journal.answerNext = false;
    EXPECT_FALSE(controller.next());
    EXPECT_EQ(controller.getPageSequence().getCurrentPageId(), kPageWelcome);
    journal.answerNext = true;
    EXPECT_TRUE(controller.next());
    EXPECT_EQ(controller.getPageSequence().getCurrentPageId(), kPageInstallation);
    journal.answerBack = false;
    EXPECT_FALSE(controller.back());
    journal.answerBack = true;
    EXPECT_TRUE(controller.back());
    EXPECT_EQ(controller.getPageSequence().getCurrentPageId(), kPageWelcome);
    // Back at the first page the logic agrees and nothing moves.
    EXPECT_TRUE(controller.back());
    EXPECT_EQ(controller.getPageSequence().getCurrentPageId(), kPageWelcome);
    controller.getPageSequence().goToPage(kPageEndInstall);
    EXPECT_TRUE(controller.next());
    EXPECT_EQ(controller.getPageSequence().getCurrentPageId(), kPageEndInstall);
}

TEST_F(ControllerCore, WithoutAPageLogicTheMovesAreReportedAndRefused)
{
    InstallerController& controller = makeController();
    controller.getPageSequence().buildForMode(kModeUninstall);
    DiagCapture log;
    EXPECT_FALSE(controller.next());
    EXPECT_FALSE(controller.back());
    EXPECT_TRUE(log.contains(u"DBGCHK  source/dq/instlogic/InstallerController:1174"));
    EXPECT_TRUE(log.contains(u"DBGCHK  source/dq/instlogic/InstallerController:1186"));
    EXPECT_EQ(controller.getPageSequence().getCurrentIndex(), 0u);

    // A factory without a logic for the page leaves none current.
    controller.setPageLogicFactory(std::make_shared<PageLogicRegistry>());
    controller.createPageLogic(kPageWelcome);
    EXPECT_EQ(controller.getPageLogic(), nullptr);
    EXPECT_TRUE(log.contains(u"No page logic for page 4"));

    // A maker registered for a range of ids serves each of them, and only them.
    auto registry = std::make_shared<PageLogicRegistry>();
    registry->registerMaker(kPageCustomFirst, kPageCustomLast, [this](InstallerController&, const PageLogicArguments&) {
        return std::make_unique<test::RecordingPageLogic>(journal_, kPageCustomFirst);
    });
    controller.setPageLogicFactory(registry);
    controller.createPageLogic(kPageCustomLast);
    EXPECT_NE(controller.getPageLogic(), nullptr);
    controller.createPageLogic(kPageWelcome);
    EXPECT_EQ(controller.getPageLogic(), nullptr);
}

TEST_F(ControllerCore, TheControllerAnswersThePageSequencesQuestions)
{
    // A desktop target with a licence for the language: the licence page and
    // the second destination page; AskForWhichUsers "For Current" clears the
    // for-anyone flag.
    InstallerController& controller = makeController();
    InstallData& data = controller.getInstallData();
    addFeature(data, u"Maps");
    FeaturePtr eula = makeFeaturePtr();
    eula->setName(SharedString(u"English"));
    eula->setLocaleId(1033);
    data.eulaItem()->addSubFeature(eula);
    data.settings().set(InstallerSettingKey::AskForWhichUsers, SharedString(u"For Current"));
    controller.setTargetPlatform(kPlatformWin32);
    controller.getPageSequence().buildForMode(kModeInstall);
    EXPECT_EQ(controller.getPageSequence().getPages(),
              (std::vector<WizardPageId>{kPageTethering, kPagePrerequisites, kPageWelcome, kPageLicense,
                                         kPageDestination2, kPageFeatureSelection, kPageInstallation,
                                         kPageEndInstall}));
    EXPECT_FALSE(controller.isForAnyone());
}

TEST_F(ControllerCore, OtherProductsAreOpenedUnderTheirDataRootWithoutTheMergeFolder)
{
    target_->installerPath = SharedString(u"\\Target\\Installer");
    InstallerController& controller = makeController(true);
    controller.getInstallData().settings().set(InstallerSettingKey::MergeProject, SharedString(u"Yes"));
    InstalledLog other;
    other.setProgramName(SharedString(u"Other"));
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(other.serialize(bytes));
    device().writeFile("Target/Installer/Other/InstalledLog.xml", std::string(bytes.begin(), bytes.end()));

    const int handle = controller.getInstalledProducts().load(SharedString(u"Other"));
    ASSERT_EQ(handle, 1);
    ASSERT_NE(controller.getInstalledProducts().getLog(handle), nullptr);
    EXPECT_EQ(controller.getInstalledProducts().getLog(handle)->getProgramName(), SharedString(u"Other"));
}

TEST_F(ControllerCore, ThePackageCacheDownloadsIntoThePackagesFolder)
{
    InstallerController& controller = makeController();
    controller.getInstallData().settings().setProgramUuid(SharedString(u"{6F9619FF-8B86-D011-B42D-00C04FC964FF}"));
    DiagCapture log;
    SharedString folder;
    controller.packageCache().downloadFolder(folder);
    EXPECT_EQ(folder, controller.getPackagesFolder());
    EXPECT_TRUE(log.contains(u"Cache type: No cache"));
    EXPECT_TRUE(log.contains(u"Cache download folder: " + std::u16string(folder.view())));
}

}  // namespace
}  // namespace druvex
