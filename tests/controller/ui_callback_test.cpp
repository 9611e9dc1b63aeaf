// The UI callback: the log-only answers and log lines of every slot, and the
// fixed message texts with their severities, as they stand and translated.
#include "controller/installer_ui_callback.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "controller/log_only_ui_callback.h"
#include "controller/recording_ui_callback.h"
#include "controller/wizard_pages.h"
#include "core/translate_text.h"
#include "hal/hal_access.h"
#include "support/device_fixture.h"
#include "support/diag_capture.h"
#include "support/shared_string_print.h"
#include "support/xlate_file.h"

namespace druvex {
namespace {

using Lines = std::vector<std::u16string>;

class FakeUiController final : public UiCallbackController {
public:
    SharedString getProgramName() const override { return SharedString(u"Field Survey"); }
    SharedString getInstallerTitle(bool preferShortName) const override
    {
        return SharedString(preferShortName ? u"Survey Setup" : u"Field Survey Setup");
    }
    WizardMode getWizardMode() override { return mode; }
    WizardMode mode = kModeNone;
};

using test::RecordingUiCallback;

TEST(UiCallback, LogOnlyAnswersAndLinesOfEverySlot)
{
    const SharedString feature(u"Maps");
    const std::vector<LockingProcess> processes(1);
    struct Slot {
        const char* name;
        std::function<int(InstallerUiCallback&)> call;
        int answer;
        Lines lines;
    } slots[] = {
        {"askExit", [](InstallerUiCallback& ui) { return ui.askExit(); }, 1, {}},
        {"reportRapiSettingsProblem", [](InstallerUiCallback& ui) { return ui.reportRapiSettingsProblem(); }, 0, {}},
        {"reportNewerVersionInstalled",
         [](InstallerUiCallback& ui) { return ui.reportNewerVersionInstalled(SharedString(u"2.0")); }, 1, {}},
        {"reportAlreadyInstalled",
         [](InstallerUiCallback& ui) { return ui.reportAlreadyInstalled(SharedString(u"Field Survey")); }, 1,
         {u"Field Survey has already been installed. Continuing with the installation will remove it."}},
        {"askUseProxy", [](InstallerUiCallback& ui) { return ui.askUseProxy(); }, 0,
         {u"Proxy settings set for this device. Ignored."}},
        {"askStopUpdateSearch", [](InstallerUiCallback& ui) { return ui.askStopUpdateSearch(); }, 1, {}},
        {"reportNoUpdateServer", [](InstallerUiCallback& ui) { return ui.reportNoUpdateServer(nullptr); }, 1, {}},
        {"askInstallRevision",
         [](InstallerUiCallback& ui) { return ui.askInstallRevision(SharedString(u"1234")); }, 0, {}},
        {"reportNewerRevisionInstalled",
         [](InstallerUiCallback& ui) { return ui.reportNewerRevisionInstalled(SharedString(u"1234")); }, 0, {}},
        {"reportNewInstallerReleased", [](InstallerUiCallback& ui) { return ui.reportNewInstallerReleased(); }, 1,
         {}},
        {"askFileExists",
         [](InstallerUiCallback& ui) {
             bool applyToAll = false;
             const FileExistsAnswer answer = ui.askFileExists(SharedString(u"\\a.txt"), applyToAll);
             return applyToAll ? static_cast<int>(answer) : -1;
         },
         static_cast<int>(kFileExistsSkip), {}},
        {"askStopEulaDownload", [](InstallerUiCallback& ui) { return ui.askStopEulaDownload(); }, 1, {}},
        {"askRetryFeatureDownload", [&](InstallerUiCallback& ui) { return ui.askRetryFeatureDownload(feature, 0); },
         0, {u"********** An error occurred while trying to download the feature: Maps **********"}},
        {"reportInstallToDestinationError",
         [&](InstallerUiCallback& ui) { return ui.reportInstallToDestinationError(feature, SharedString()); }, 0,
         {u"********** An error occurred while trying to installing program's features **********"}},
        {"askSkipFeatureDownload", [&](InstallerUiCallback& ui) { return ui.askSkipFeatureDownload(feature, 0); }, 0,
         {}},
        {"askSkipFeatureInstall",
         [&](InstallerUiCallback& ui) { return ui.askSkipFeatureInstall(feature, SharedString(u"the store is full")); },
         0, {}},
        {"reportUninstallFeaturesError", [](InstallerUiCallback& ui) { return ui.reportUninstallFeaturesError(); }, 0,
         {u"********** An error occurred while trying to uninstall program's features **********"}},
        {"reportUninstallError", [](InstallerUiCallback& ui) { return ui.reportUninstallError(); }, 0,
         {u"********** An error occurred while trying to uninstall the program. **********"}},
        {"reportUninstallDeviceError", [](InstallerUiCallback& ui) { return ui.reportUninstallDeviceError(); }, 0,
         {u"********** An error occurred while trying to uninstall the program. Device not connected. **********"}},
        {"askRollback", [](InstallerUiCallback& ui) { return ui.askRollback(); }, 1,
         {u"********** An error occurred while upgrading the program. Rolling back... **********"}},
        {"showLockedFiles", [&](InstallerUiCallback& ui) { return static_cast<int>(ui.showLockedFiles(processes, 0)); },
         static_cast<int>(kLockedFilesIgnore), {u"System reboot is required to finalize the installation."}},
        {"reportRebootNeeded", [](InstallerUiCallback& ui) { return ui.reportRebootNeeded(); }, 0,
         {u"System reboot is required to finalize the installation"}},
        {"showMessage",
         [](InstallerUiCallback& ui) {
             ui.showMessage(SharedString(u"note\nsecond line"), kMessageInformation, 1);
             ui.showMessage(SharedString(u"careful"), kMessageWarning, 0);
             ui.showMessage(SharedString(u"broken"), kMessageError, 1);
             return 0;
         },
         0, {u"note\nsecond line", u"careful", u"********** broken **********"}},
        {"askInstallPcVersion", [](InstallerUiCallback& ui) { return ui.askInstallPcVersion(); }, 1, {}},
    };
    FakeUiController controller;
    LogOnlyUiCallback ui(&controller);
    EXPECT_EQ(ui.getController(), &controller);
    for (const Slot& slot : slots) {
        test::DiagCapture capture;
        EXPECT_EQ(slot.call(ui), slot.answer) << slot.name;
        EXPECT_EQ(capture.lines(), slot.lines) << slot.name;
    }
}

// A failed run is called what it was: an installation is no upgrade.
TEST(UiCallback, TheRollbackLineNamesWhatTheRunWasDoing)
{
    const std::pair<WizardMode, const char16_t*> cases[] = {
        {kModeInstall, u"********** An error occurred while installing the program. Rolling back... **********"},
        {kModeUninstall, u"********** An error occurred while uninstalling the program. Rolling back... **********"},
        {kModeRepair, u"********** An error occurred while repairing the program. Rolling back... **********"},
        {kModeRepairBroken, u"********** An error occurred while repairing the program. Rolling back... **********"},
        {kModeMaintenance, u"********** An error occurred while upgrading the program. Rolling back... **********"},
        {kModeUpdate, u"********** An error occurred while upgrading the program. Rolling back... **********"},
    };
    FakeUiController controller;
    LogOnlyUiCallback ui(&controller);
    for (const auto& [mode, line] : cases) {
        controller.mode = mode;
        test::DiagCapture capture;
        EXPECT_EQ(ui.askRollback(), 1);
        EXPECT_EQ(capture.lines(), Lines{line}) << mode;
    }
}

TEST(UiCallback, ShowErrorReachesAReplacedShowMessage)
{
    RecordingUiCallback ui;
    test::DiagCapture capture;
    ui.showError(SharedString(u"boom"));
    using Shown = std::vector<std::tuple<std::u16string, MessageSeverity, int>>;
    EXPECT_EQ(ui.shown, (Shown{{u"boom", kMessageError, 1}}));
    EXPECT_TRUE(capture.lines().empty());
}

TEST(MessageTexts, EachMessageWithItsTextAndSeverity)
{
    struct Message {
        const char* name;
        std::function<void(InstallerUiCallback&)> show;
        std::u16string text;
        MessageSeverity severity;
    } messages[] = {
        {"mustUninstallProgramMessage", [](InstallerUiCallback& ui) { ui.mustUninstallProgramMessage(); },
         u"You must uninstall the program before continuing.", kMessageInformation},
        {"noUpdateServerMessage", [](InstallerUiCallback& ui) { ui.noUpdateServerMessage(); },
         u"Failed estabilishing a connection to the update server.\nThe installation cannot continue.",
         kMessageError},
        {"backupInvalidMessage", [](InstallerUiCallback& ui) { ui.backupInvalidMessage(); },
         u"The selected full backup is not valid.", kMessageError},
        {"backupMissingFilesMessage", [](InstallerUiCallback& ui) { ui.backupMissingFilesMessage(); },
         u"The selected full backup doesn't contain required configuration files.\nPlease regenerate the backup.",
         kMessageError},
        {"backupInvalidFilesMessage", [](InstallerUiCallback& ui) { ui.backupInvalidFilesMessage(); },
         u"The selected full backup contains invalid configuration files.\nPlease regenerate the backup.",
         kMessageError},
        {"backupIncompatibleMessage", [](InstallerUiCallback& ui) { ui.backupIncompatibleMessage(); },
         u"The selected full backup is not compatible with this installer version.\nPlease regenerate the backup.",
         kMessageError},
        {"backupFutureVersionMessage", [](InstallerUiCallback& ui) { ui.backupFutureVersionMessage(); },
         u"The selected full backup is made for a future program version. It cannot be used for this program "
         u"version.",
         kMessageError},
        {"postInstallErrorMessage", [](InstallerUiCallback& ui) { ui.postInstallErrorMessage(); },
         u"Error executing post installation routines.", kMessageError},
        {"customActionErrorMessage",
         [](InstallerUiCallback& ui) {
             ui.customActionErrorMessage(SharedString(u"Setup.lua"), -5, SharedString(u"boom"));
         },
         u"An error occurred while executing Setup.lua.\n\nError (-5): boom", kMessageError},
        {"uninstallErrorMessage", [](InstallerUiCallback& ui) { ui.uninstallErrorMessage(SharedString(u"Maps")); },
         u"An error occurred while uninstalling Maps.\nThe installation cannot continue.", kMessageError},
        {"mustUninstallMessage", [](InstallerUiCallback& ui) { ui.mustUninstallMessage(SharedString(u"Maps")); },
         u"You must uninstall Maps before continuing.", kMessageInformation},
        {"installErrorMessage",
         [](InstallerUiCallback& ui) { ui.installErrorMessage(SharedString(u"Maps"), SharedString(u"disk full")); },
         u"An error occurred while installing Maps.\nThe installation cannot continue\n\n\nThe error reported was "
         u"disk full",
         kMessageError},
        {"installNoWriteRightsMessage", [](InstallerUiCallback& ui) { ui.installNoWriteRightsMessage(); },
         u"An error occurred while installing Field Survey.\nYou have no write rights to complete the "
         u"installation. Try to install the program as an administrator.",
         kMessageError},
        {"registrationErrorMessage",
         [](InstallerUiCallback& ui) { ui.registrationErrorMessage(SharedString(u"gps.dll"), true); },
         u"An error occured while registering gps.dll.\n\nThe program may not work properly without registering "
         u"it.",
         kMessageWarning},
        {"notEnoughSpaceMessage",
         [](InstallerUiCallback& ui) { ui.notEnoughSpaceMessage(1536, SharedString(u"\\Storage Card")); },
         u"Cannot install Field Survey. There is not enough free disk space.\n\nPlease free at least an "
         u"additional 1.5 kB of disk space on \\Storage Card to continue.",
         kMessageError},
        {"notEnoughSpaceMessage in GB",
         [](InstallerUiCallback& ui) { ui.notEnoughSpaceMessage(5ull << 30, SharedString(u"Flash")); },
         u"Cannot install Field Survey. There is not enough free disk space.\n\nPlease free at least an "
         u"additional 5.0 GB of disk space on Flash to continue.",
         kMessageError},
    };
    FakeUiController controller;
    for (const Message& message : messages) {
        RecordingUiCallback ui;
        ui.setController(&controller);
        message.show(ui);
        using Shown = std::vector<std::tuple<std::u16string, MessageSeverity, int>>;
        EXPECT_EQ(ui.shown, (Shown{{message.text, message.severity, 1}})) << message.name;
    }
}

TEST(MessageTexts, UnregistrationFailureIsOnlyLogged)
{
    RecordingUiCallback ui;
    test::DiagCapture capture;
    ui.registrationErrorMessage(SharedString(u"gps.dll"), false);
    EXPECT_TRUE(ui.shown.empty());
    EXPECT_EQ(capture.lines(), Lines{u"An error occured while unregistering gps.dll."});
}

TEST(MessageTexts, NamesWithAndWithoutController)
{
    RecordingUiCallback ui;
    EXPECT_EQ(ui.getController(), nullptr);
    EXPECT_EQ(ui.getProgramName(), u"Program");
    EXPECT_EQ(ui.installerTitle(), u"Druvex Installer");
    ui.installNoWriteRightsMessage();
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_TRUE(std::get<0>(ui.shown[0]).starts_with(u"An error occurred while installing Program.\n"));

    FakeUiController controller;
    ui.setController(&controller);
    EXPECT_EQ(ui.getProgramName(), u"Field Survey");
    EXPECT_EQ(ui.installerTitle(), u"Survey Setup");
}

class MessageTextsTranslated : public test::DeviceFixture {
protected:
    void SetUp() override
    {
        DeviceFixture::SetUp();
        device().writeFile("de.lng", test::utf16leFromUtf8("[Program][Programm]\r\n"
                                                           "[{1} Installer][Installation von {1}]\r\n"
                                                           "[You must uninstall {1} before continuing.]"
                                                           "[Bitte zuerst {1} deinstallieren.]\r\n"
                                                           "[Cannot install {1}. There is not enough free disk "
                                                           "space.\\n\\n][{1}: zu wenig Platz.\\n]\r\n"
                                                           "[Please free at least an additional {1} of disk space "
                                                           "on {2} to continue.][Auf {2} fehlen {1}.]\r\n"));
        ASSERT_TRUE(selectTranslationFile(u"\\de.lng"));
    }
    void TearDown() override
    {
        clearTranslationTable();
        DeviceFixture::TearDown();
    }
};

TEST_F(MessageTextsTranslated, TemplatesAreTranslatedThenFilled)
{
    RecordingUiCallback ui;
    EXPECT_EQ(ui.getProgramName(), u"Programm");
    EXPECT_EQ(ui.installerTitle(), u"Installation von Druvex");
    ui.mustUninstallMessage(SharedString(u"Maps"));
    // Each half of the space message is translated and filled on its own.
    ui.notEnoughSpaceMessage(3u << 20, SharedString(u"Flash"));
    using Shown = std::vector<std::tuple<std::u16string, MessageSeverity, int>>;
    EXPECT_EQ(ui.shown, (Shown{{u"Bitte zuerst Maps deinstallieren.", kMessageInformation, 1},
                               {u"Programm: zu wenig Platz.\nAuf Flash fehlen 3.0 MB.", kMessageError, 1}}));
}

}  // namespace
}  // namespace druvex
