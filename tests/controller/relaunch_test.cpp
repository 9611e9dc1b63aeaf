// Continuing a run in another process: the child command lines read back by
// the option parser, the administrative rights, the wizard state carried
// from one controller to the next (a relaunch, a configuration file), the
// cached bulletin, the installed installer's answer and the launcher's
// message on a test socket.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "../payload/payload_test_support.h"
#include "app_base/command_line.h"
#include "controller/installed_state_fixture.h"
#include "core/app_paths.h"
#include "data/installed_log.h"
#include "data/installer_configuration.h"
#include "data/package_sources.h"
#include "data/previous_settings.h"
#include "fileutil/file_util.h"
#include "liveupdate/update_bulletin.h"
#include "liveupdate/update_patcher.h"
#include "platform/window_message.h"
#include "support/diag_capture.h"
#include "support/recorded_start.h"
#include "support/scripted_waits.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

const std::string kRecorder = DRUVEX_RECORD_START_PROGRAM;
constexpr char16_t kProgramFile[] = u"\\Program Files\\Druvex\\install.exe";

std::string utf8(const SharedString& text)
{
    return toUtf8(text).c_str();
}

class Relaunch : public test::InstalledStateFixture {
protected:
    void configure(DeviceConfig& config) const override { config.programs.push_back({u"setup.exe", kRecorder}); }
    void SetUp() override
    {
        InstalledStateFixture::SetUp();
        device().makeFolder("Program Files/Druvex");
        AppPaths::setInstance(SharedString(kProgramFile));
    }
    void TearDown() override
    {
        InstalledStateFixture::TearDown();
        AppPaths::resetInstance();
    }

};

// ---- Command lines --------------------------------------------------------

TEST_F(Relaunch, ChildCommandLinesNameThePiecesInTheirOrder)
{
    const struct {
        const char* what;
        void (*set)(InstallerOptions&);
        const char16_t* leading;
        const char16_t* line;
    } rows[] = {
        {"nothing", [](InstallerOptions&) {}, u"", u""},
        {"leading text", [](InstallerOptions& o) { o.silent = true; }, u"reboot_as_admin Qm40",
         u"reboot_as_admin Qm40 silent_mode"},
        {"new version", [](InstallerOptions& o) { o.updateMode = kUpdateModeNewVersion; }, u"",
         u"update_mode newversion"},
        {"backup texts quoted", [](InstallerOptions& o) {
             o.createBackup = true;
             o.createBackupText1 = u"a";
             o.createBackupText2 = u"\\My Documents\\b c";
         }, u"", u"create_backup \"a\" \"\\My Documents\\b c\""},
        {"configuration written as it stands", [](InstallerOptions& o) {
             o.configMode = kConfigModeMake;
             o.configFile = u"/r/cfg.xml";
         }, u"", u"make_config /r/cfg.xml"},
        {"every flag", [](InstallerOptions& o) {
             o.updateMode = kUpdateModeFeatures;
             o.forMobile = true;
             o.uninstallMode = true;
             o.liveUpdateUrl = u"http://127.0.0.1/b.xml";
             o.configMode = kConfigModeUse;
             o.configFile = u"\\Temp\\c.xml";
             o.silent = true;
             o.checkForUpdates = true;
             o.dontRemoveOrigInstaller = true;
             o.purgeSharedData = true;
             o.showMessageForDebug = true;
             // Not handed on.
             o.noWelcome = true;
             o.uninstallFeature = u"Feature/Maps";
         }, u"x",
         u"x update_mode features formobile uninstall_mode override_live_update_url \"http://127.0.0.1/b.xml\" "
         u"use_config \\Temp\\c.xml silent_mode check_for_updates dont_remove_orig_installer purge_shared_data "
         u"show_message_for_debug"},
    };
    for (const auto& row : rows) {
        options_ = {};
        row.set(options_);
        EXPECT_EQ(makeProduct().buildRelaunchCommandLine(SharedString(row.leading)), SharedString(row.line))
            << row.what;
    }
}

TEST_F(Relaunch, AConfigurationPathWithABlankReachesTheChildWhole)
{
    for (const char16_t* path : {u"/r/my cfg.xml", u"\\My Documents\\tab\there.xml", u"\\Temp\\plain.xml"}) {
        for (const ConfigMode mode : {kConfigModeUse, kConfigModeMake}) {
            options_ = {};
            options_.configMode = mode;
            options_.configFile = path;
            const SharedString line = makeProduct().buildRelaunchCommandLine(SharedString(u"reboot_as_admin Qm40"));
            InstallerOptions child;
            SharedString fullInstaller;
            ASSERT_TRUE(ParseOptions(splitCommandLine(line.view()), child, fullInstaller)) << utf8(line);
            EXPECT_EQ(child.configMode, mode) << utf8(line);
            EXPECT_EQ(child.configFile, SharedString(path)) << utf8(line);
            EXPECT_TRUE(child.rebootAsAdmin);
            EXPECT_EQ(child.platform, kPlatformQm40);
        }
    }
}

TEST_F(Relaunch, ASeparatePayloadAndTheEmptyInstallerAreNamed)
{
    const test::Bytes archive = test::buildArchive({test::codedEntry(u"Data", kPayloadMethodStored, {'x'})});
    test::writeFileBytes(device().hostPath("Program Files/Druvex/setup.dqres"), archive);

    options_.updateMode = kUpdateModeFeatures;
    options_.silent = true;
    InstallerController& controller = makeProduct();
    int error = -1;
    ASSERT_TRUE(controller.getPayloadArchive().open(SharedString(u"\\Program Files\\Druvex\\setup.dqres"), error));
    EXPECT_EQ(controller.buildRelaunchCommandLine(SharedString()),
              SharedString(u"update_mode features silent_mode use_full_installer "
                           u"\"\\Program Files\\Druvex\\setup.dqres\""));

    SharedString line;
    ASSERT_TRUE(controller.buildEmptyInstallerCommandLine(0x4D2, line));
    EXPECT_EQ(line, SharedString(u"empty_installer 000004D2 \"\\Program Files\\Druvex/install.exe\" update_mode "
                                 u"features silent_mode use_full_installer \"\\Program Files\\Druvex\\setup.dqres\""));
    InstallerOptions child;
    SharedString fullInstaller;
    ASSERT_TRUE(ParseOptions(splitCommandLine(line.view()), child, fullInstaller));
    EXPECT_TRUE(child.emptyInstaller);
    EXPECT_EQ(child.emptyInstallerHandle, 0x4D2u);
    EXPECT_EQ(child.emptyInstallerPath, SharedString(u"\\Program Files\\Druvex/install.exe"));
    EXPECT_EQ(fullInstaller, SharedString(u"\\Program Files\\Druvex\\setup.dqres"));

    // The archive in the program file itself is not named.
    test::writeFileBytes(device().hostPath("Program Files/Druvex/install.exe"), archive);
    InstallerController& fromProgram = makeProduct();
    ASSERT_TRUE(fromProgram.getPayloadArchive().open(SharedString(u"\\PROGRAM FILES/druvex/Install.exe"), error));
    EXPECT_EQ(fromProgram.buildRelaunchCommandLine(SharedString()), SharedString(u"update_mode features silent_mode"));
}

// ---- Administrative rights ------------------------------------------------

TEST_F(Relaunch, AdministrativeRightsStandInTheWayOfSilentRunsOnly)
{
    DeviceConfig config = device().config();
    config.administrator = false;
    device().reconfigure(config);
    const struct {
        const char* what;
        bool silent;
        bool requireRights;
        int installed;  // 0 no log, 1 for all users, 2 for "surveyor", 3 for nobody named
        RightsCheck answer;
    } rows[] = {
        {"nothing required", true, false, 0, kRightsNoObstacle},
        {"rights required", true, true, 0, kRightsAdministratorNeeded},
        {"rights required, not silent, on a device", false, true, 0, kRightsNoObstacle},
        {"installed for all users", true, false, 1, kRightsAdministratorNeeded},
        {"installed for another user", true, false, 2, kRightsOtherOwner},
        {"installed for nobody named", true, false, 3, kRightsNoObstacle},
    };
    for (const auto& row : rows) {
        options_ = {};
        options_.silent = row.silent;
        makeProduct();
        controller().getBuildConfiguration().setTargetPlatformMask(platformMask(kPlatformQm40));
        if (row.requireRights)
            setSetting(InstallerSettingKey::RequireAdminRights, u"Yes");
        std::filesystem::remove(device().hostPath(productFolder() + "/InstalledLog.xml"));
        if (row.installed != 0) {
            InstalledLog log;
            log.setProgramName(SharedString(u"Survey Pro"));
            log.setInstalledForAllUsers(row.installed == 1);
            log.setOwner(SharedString(row.installed == 2 ? u"surveyor" : u""));
            writeInstalledLog(log);
        }
        SharedString owner;
        EXPECT_EQ(controller().checkAdministrativeRights(owner), row.answer) << row.what;
        EXPECT_EQ(owner, SharedString(row.answer == kRightsOtherOwner ? u"surveyor" : u"")) << row.what;
    }
    // A configuration run is made without rights.
    options_ = {};
    options_.silent = true;
    options_.configMode = kConfigModeMake;
    options_.configFile = u"\\Temp\\c.xml";
    makeProduct();
    setSetting(InstallerSettingKey::RequireAdminRights, u"Yes");
    SharedString owner;
    EXPECT_EQ(controller().checkAdministrativeRights(owner), kRightsNoObstacle);
}

// ---- Saved state ----------------------------------------------------------

class RelaunchSavedState : public Relaunch {
protected:
    // The product with the features Core (required) and Help, and a licence.
    InstallerController& makeProductWithFeatures()
    {
        InstallerController& controller = makeProduct();
        // An installer on the device keeps its saved state in the product's folder.
        controller.getBuildConfiguration().setInstallerPlatform(kInstallerPlatformController);
        addFeature(u"Core")->setPresel(FeaturePreselection::Required);
        addFeature(u"Help");
        FeaturePtr licence = makeFeaturePtr();
        licence->setName(SharedString(u"English"));
        licence->setPrompt(SharedString(u"License"));
        licence->setLocaleId(1033);
        controller.getInstallData().eulaItem()->addSubFeature(licence);
        return controller;
    }
    // A first run that stood on `page` of the installation's pages with a
    // destination, Help and German chosen, saves its state.
    void saveFirstRun(WizardPageId page)
    {
        options_ = {};
        InstallerController& first = makeProductWithFeatures();
        first.setLanguage(1031, SharedString(u"Deutsch"));
        first.setDestinationFolder(SharedString(u"\\Storage Card\\Survey"));
        first.selectFeature(first.getInstallData().findItemByPath(u"Feature/Help"));
        first.selectFeature(first.getInstallData().findItemByPath(u"Feature/Core"));
        first.setForAnyone(false);
        first.setUseOnlineFeature(false);
        first.getPageSequence().reset(kPagePrerequisites);
        first.getPageSequence().buildForMode(kModeInstall);
        first.getPageSequence().goToPage(page);
        ASSERT_EQ(first.getPageSequence().getCurrentPageId(), page);
        ASSERT_TRUE(first.saveSettingsForRelaunch());
    }
    // The second run, started as the relaunch of the first.
    InstallerController& relaunched()
    {
        options_ = {};
        options_.rebootAsAdmin = true;
        options_.platform = kPlatformQm40;
        return makeProductWithFeatures();
    }
    bool helpSelected()
    {
        return controller().isFeatureSelected(controller().getInstallData().findItemByPath(u"Feature/Help").get());
    }
    std::string savedSettingsFile() const { return productFolder() + "/PreviousSettings.xml"; }
};

TEST_F(RelaunchSavedState, ARelaunchAfterTheDestinationResumesOnTheFeaturesWithTheChoices)
{
    saveFirstRun(kPageDestination);
    ASSERT_TRUE(device().exists(savedSettingsFile()));

    InstallerController& second = relaunched();
    ASSERT_TRUE(second.applyPreviousSettings());
    EXPECT_TRUE(second.hasPreviousSettings());
    EXPECT_FALSE(device().exists(savedSettingsFile()));  // taken once
    EXPECT_EQ(second.getPageSequence().getMode(), kModeInstall);
    EXPECT_EQ(second.getPageSequence().getCurrentPageId(), kPageFeatureSelection);
    EXPECT_EQ(second.getDestinationFolder(), SharedString(u"\\Storage Card\\Survey"));
    EXPECT_TRUE(helpSelected());
    EXPECT_FALSE(second.isForAnyone());
    EXPECT_FALSE(second.getUseOnlineFeature());
    EXPECT_EQ(second.getLanguage(), 1031);
    EXPECT_EQ(second.getTargetPlatform(), kPlatformQm40);
    // The licence page lies behind: its licence counts as accepted.
    ASSERT_NE(second.getEula(), nullptr);
    EXPECT_EQ(second.getEula()->name, SharedString(u"License"));
}

TEST_F(RelaunchSavedState, ARelaunchFromThePrerequisitesKeepsTheDataOfTheInstaller)
{
    saveFirstRun(kPagePrerequisites);
    InstallerController& second = relaunched();
    ASSERT_TRUE(second.applyPreviousSettings());
    EXPECT_EQ(second.getPageSequence().getCurrentPageId(), kPageWelcome);
    EXPECT_EQ(second.getLanguage(), 1031);
    EXPECT_NE(second.getDestinationFolder(), SharedString(u"\\Storage Card\\Survey"));
    EXPECT_FALSE(helpSelected());
    EXPECT_EQ(second.getEula(), nullptr);
}

TEST_F(RelaunchSavedState, AConfigurationFileGivesItsDataButNotItsPage)
{
    saveFirstRun(kPageDestination);
    const std::filesystem::path saved = device().hostPath(savedSettingsFile());
    std::filesystem::rename(saved, device().hostPath("Program Files/Druvex/survey config.xml"));

    options_ = {};
    options_.configMode = kConfigModeUse;
    options_.configFile = u"\\Program Files\\Druvex\\survey config.xml";
    InstallerController& run = makeProductWithFeatures();
    ASSERT_TRUE(run.applyPreviousSettings());
    EXPECT_TRUE(device().exists("Program Files/Druvex/survey config.xml"));
    EXPECT_EQ(run.getPageSequence().getMode(), kModeNone);
    run.getPageSequence().reset(kPagePrerequisites);
    run.prepareForMode(false);
    EXPECT_EQ(run.getPageSequence().getCurrentPageId(), kPagePrerequisites);
    EXPECT_EQ(run.getDestinationFolder(), SharedString(u"\\Storage Card\\Survey"));
    EXPECT_TRUE(helpSelected());
    EXPECT_NE(run.getEula(), nullptr);

    // Without its file such a run cannot go on; a relaunch without its saved
    // state goes on as a fresh run.
    options_.configFile = u"\\Program Files\\Druvex\\missing.xml";
    EXPECT_FALSE(makeProductWithFeatures().applyPreviousSettings());
    EXPECT_FALSE(controller().hasPreviousSettings());
    EXPECT_TRUE(relaunched().applyPreviousSettings());
    EXPECT_FALSE(controller().hasPreviousSettings());
    EXPECT_EQ(controller().getPageSequence().getMode(), kModeNone);
}

// A quoted empty path names no file: the run cannot go on, as with a file
// that cannot be read, rather than go on with the defaults of a configuration
// (everyone's installation given up, the licence taken as accepted).
TEST_F(RelaunchSavedState, AnEmptyConfigurationPathIsRefused)
{
    options_ = {};
    options_.configMode = kConfigModeUse;
    options_.configFile = SharedString();
    InstallerController& run = makeProductWithFeatures();
    test::DiagCapture diag;
    EXPECT_FALSE(run.applyPreviousSettings());
    EXPECT_FALSE(run.hasPreviousSettings());
    EXPECT_TRUE(diag.contains(u"use_config names no configuration file"));
}

// ---- The last bulletin ------------------------------------------------------

TEST_F(Relaunch, TheLastBulletinIsKeptAndItsDownloadsComeBack)
{
    const std::string bulletin = R"(<B><Version Ver="4.2">
  <Feature Name="Feature/Maps" Prompt="Maps" Version="2.0" url="http://127.0.0.1/maps.lzma" compressed-size="4096"/>
  <Feature Name="Feature/Help" Prompt="Help" FullInst="No" url="http://127.0.0.1/help.lzma" compressed-size="10"/>
  <Feature Name="Feature/Docs" Prompt="Docs" url="http://127.0.0.1/docs.lzma"/>
  <Feature Name="Feature/Roads" Prompt="Roads" Version="1.0"/>
 </Version></B>)";
    InstallerController& first = makeProduct();
    // Without a bulletin of its own a run keeps the cached one.
    device().writeFile(productFolder() + "/last_bulletin.xml", bulletin);
    EXPECT_TRUE(first.saveLastBulletin());
    EXPECT_EQ(device().readFile(productFolder() + "/last_bulletin.xml"), bulletin);
    ASSERT_TRUE(first.deleteLastBulletin());
    first.getLastBulletinBytes().assign(bulletin.begin(), bulletin.end());
    ASSERT_TRUE(first.saveLastBulletin());
    EXPECT_EQ(device().readFile(productFolder() + "/last_bulletin.xml"), bulletin);

    InstallerController& second = makeProduct();
    second.getBuildConfiguration().setInstallerType(kInstallerTypeFull);
    addFeature(u"Maps", nullptr, u"1.0");
    ASSERT_TRUE(second.loadLastBulletin());
    EXPECT_EQ(second.getLastBulletinBytes(), std::vector<std::uint8_t>(bulletin.begin(), bulletin.end()));
    // Looked at, not applied: the installed Maps keeps its version.
    EXPECT_EQ(second.getInstallData().findItemByPath(u"Feature/Maps")->getVersion(), SharedString(u"1.0"));

    const std::shared_ptr<UpdateBulletin>& held = second.getUpdatePatcher().getBulletin();
    ASSERT_NE(held, nullptr);
    const BulletinVersionPtr latest = held->getLatestVersion();
    std::vector<std::string> sources;
    for (int i = 0; i < latest->getFeatureCount(); ++i) {
        std::vector<PackageSource> found;
        if (second.getPackageSources().equalRange(*latest->getFeature(i), found))
            sources.push_back(utf8(found.front().location) + " " + std::to_string(found.front().sizeLow));
    }
    EXPECT_EQ(sources, (std::vector<std::string>{"http://127.0.0.1/help.lzma 10", "http://127.0.0.1/maps.lzma 4096"}));

    ASSERT_TRUE(second.deleteLastBulletin());
    EXPECT_FALSE(makeProduct().loadLastBulletin());
}

// ---- The installed installer ------------------------------------------------

TEST_F(Relaunch, TheInstalledInstallerAnswersForItsUninstallCompatibility)
{
    test::ScriptedWaits waits;
    test::ScopedProcessWaits scoped(waits);
    device().writeFile(productFolder() + "/setup.exe", "MZ device program");
    const struct {
        const char16_t* minAuto;
        const char* answer;  // what the installed installer does; null: not started
        bool timeOut;
        std::int32_t compatibility;
    } rows[] = {
        {u"5.1", nullptr, false, 1},
        {u"", nullptr, false, 1},
        {u"5.2", "2", false, 2},
        {u"6.0", "3", false, 3},
        {u"5.1.1", "7", false, 3},
        {u"5.2", "0", false, 3},
        {u"5.2", "hold", true, 3},
    };
    for (const auto& row : rows) {
        std::filesystem::remove(device().directory() / "started.bin");
        if (row.answer)
            device().writeDeviceFile("record_start.answer", row.answer);
        waits.timeOutAtOnce = row.timeOut;
        InstallerController& controller = makeProduct();
        controller.getInstalledLog()->setMinAutoVersion(VersionNumber::fromText(row.minAuto));
        controller.queryInstalledInstaller();
        EXPECT_EQ(controller.getUninstallCompatibility(), row.compatibility) << utf8(SharedString(row.minAuto));
        if (row.timeOut) {
            // Given up on while it still runs; the host reaps it once it ends.
            ASSERT_FALSE(source_->startedProcessIds.empty());
            ::kill(static_cast<pid_t>(source_->startedProcessIds.back()), SIGTERM);
            continue;
        }
        const std::vector<std::string> started = test::recordedArguments(device().directory());
        if (!row.answer) {
            EXPECT_TRUE(started.empty());
            continue;
        }
        ASSERT_EQ(started.size(), 2u);
        EXPECT_EQ(started[1], "query_min_ver_for_uninst 5.1");
    }
    EXPECT_EQ(waits.requested.back(), 8000u);
}

// ---- The launcher -----------------------------------------------------------

TEST_F(Relaunch, OnlyATotalStationsLauncherIsToldOfTheEnd)
{
    const struct {
        const char* what;
        int deviceType;
        TargetPlatform platform;
        WizardMode mode;
        bool launchFailed;
        bool notified;
    } rows[] = {
        {"installation", 17, kPlatformQm40, kModeInstall, false, true},
        {"newer installer started", 17, kPlatformQm40, kModeDownload, false, false},
        {"newer installer failed", 17, kPlatformQm40, kModeDownload, true, true},
        {"other device", 18, kPlatformQm40, kModeInstall, false, false},
        {"other platform", 17, kPlatformRNVB, kModeInstall, false, false},
    };
    for (const auto& row : rows) {
        InstallerController& controller = makeProduct();
        controller.getBuildConfiguration().setInstallerPlatform(kInstallerPlatformController);
        source_->deviceType = static_cast<DeviceType>(row.deviceType);
        controller.setTargetPlatform(row.platform);
        controller.getPageSequence().reset(kPageEndInstall);
        controller.getPageSequence().buildForMode(row.mode);
        controller.setNewInstallerLaunchFailed(row.launchFailed);
        EXPECT_EQ(controller.needsLauncherNotification(), row.notified) << row.what;
    }
    InstallerController& pc = makeProduct();
    pc.setTargetPlatform(kPlatformQm40);
    EXPECT_FALSE(pc.needsLauncherNotification());
}

TEST_F(Relaunch, TheLauncherGetsItsSixBytes)
{
    {
        test::DiagCapture log;
        notifyApplicationLauncher();
        EXPECT_TRUE(log.contains(u"TS-Orlan launcher not found"));
    }

    std::filesystem::create_directories(device().directory() / "windows");
    const std::string path = windowSocketPath(u"Application-Launcher");
    ASSERT_EQ(path, (device().directory() / "windows" / "Application-Launcher").string());
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);

    test::DiagCapture log;
    notifyApplicationLauncher();
    EXPECT_TRUE(log.contains(u"Message sent to TS-Orlan launcher"));
    std::uint8_t received[16] = {};
    const ssize_t count = ::recv(fd, received, sizeof received, MSG_DONTWAIT);
    ::close(fd);
    EXPECT_EQ(std::vector<std::uint8_t>(received, received + std::max<ssize_t>(count, 0)),
              (std::vector<std::uint8_t>{0x23, 0x4C, 0x54, 0x63, 0x0D, 0x0A}));

    // The socket stays behind its owner: nobody is there to read.
    log.clear();
    notifyApplicationLauncher();
    EXPECT_TRUE(log.contains(u"TS-Orlan launcher not found"));
}

}  // namespace
}  // namespace druvex
