#include "ui/installer_ui_prompts.h"

#include <string_view>

#include "core/path_text.h"
#include "core/translate_text.h"
#include "hal/hal_access.h"
#include "ui/choice_dialog.h"
#include "ui/terminal_session.h"

namespace druvex {
namespace {

constexpr std::uint32_t kQuestion = kMbYesNo | kMbIconQuestion;
constexpr std::uint32_t kWarningQuestion = kMbYesNo | kMbIconWarning;
constexpr std::uint32_t kErrorQuestion = kMbYesNo | kMbIconError;
constexpr std::uint32_t kErrorRetry = kMbRetryCancel | kMbIconError;

constexpr char kFileInUse[] = "File in Use";
constexpr char kFileExists[] = "The file {1} already exists.\n\nWhat do you want to do with it?";
constexpr char kLockedFiles[] =
    "The following applications are using files that need to be updated by this setup. Close these applications "
    "and then click Retry or click Ignore to continue the installation. If you select ignore a reboot will be "
    "required at the end of the installation.";

int yes(int button)
{
    return button == kIdYes || button == kIdRetry || button == kIdOk ? 1 : 0;
}

// The name a locking process shows with: its application, else its service,
// else its process id.
SharedString lockingProcessName(const LockingProcess& process)
{
    if (!process.applicationName.isEmpty())
        return process.applicationName;
    if (!process.serviceName.isEmpty())
        return process.serviceName;
    return SharedString().format(u"%u", process.processId);
}

// "The feature {1} could not be installed", with the reason when there is one.
SharedString whyFeatureFailed(const SharedString& featureName, const SharedString& reason)
{
    if (reason.isEmpty())
        return formatTranslated("The feature {1} could not be installed.", featureName);
    return translateAndFormat2("The feature {1} could not be installed: {2}.", featureName, reason);
}

}  // namespace

InstallerUiPrompts::InstallerUiPrompts(TerminalSession& session, UiCallbackController* controller)
    : session_(&session), dispatcher_(session.sharedDispatcher()), fallback_(controller)
{
    setController(controller);
}

bool InstallerUiPrompts::runOnUiThread(const std::function<void(TerminalSession&)>& dialog)
{
    if (isSilentRun())
        return false;
    TerminalSession* session = session_;
    return dispatcher_->invoke([&] { dialog(*session); });
}

std::optional<int> InstallerUiPrompts::ask(const SharedString& text, std::uint32_t flags)
{
    int answer = 0;
    const MessageBoxRequest request{owner_, text, installerTitle(), flags};
    if (!runOnUiThread([&](TerminalSession& session) { answer = runMessageBox(session, request); }))
        return std::nullopt;
    return answer;
}

int InstallerUiPrompts::askYesNo(const SharedString& text, std::uint32_t flags, const std::function<int()>& fallback)
{
    if (const std::optional<int> button = ask(text, flags))
        return yes(*button);
    return fallback();
}

int InstallerUiPrompts::askExit()
{
    return askYesNo(translateText("Are you sure you want to exit the installer?"), kQuestion,
                    [this] { return fallback_.askExit(); });
}

int InstallerUiPrompts::reportRapiSettingsProblem()
{
    return askYesNo(translateText("The device connection settings could prevent the communication with the "
                                  "device.\n\nDo you want to fix them?"),
                    kWarningQuestion, [this] { return fallback_.reportRapiSettingsProblem(); });
}

int InstallerUiPrompts::reportNewerVersionInstalled(const SharedString& version)
{
    return askYesNo(translateAndFormat2("A more recent version of {1} is already installed. Continuing will "
                                        "downgrade it to version {2}.\n\nDo you want to proceed?",
                                        getProgramName(), version),
                    kWarningQuestion, [&] { return fallback_.reportNewerVersionInstalled(version); });
}

int InstallerUiPrompts::reportAlreadyInstalled(const SharedString& name)
{
    return askYesNo(formatTranslated("{1} has already been installed. Continuing with the installation will "
                                     "remove it.\n\nDo you want to continue?",
                                     name),
                    kWarningQuestion, [&] { return fallback_.reportAlreadyInstalled(name); });
}

int InstallerUiPrompts::askUseProxy()
{
    return askYesNo(translateText("Proxy settings are set for this device.\n\nDo you want to use them?"), kQuestion,
                    [this] { return fallback_.askUseProxy(); });
}

int InstallerUiPrompts::askStopUpdateSearch()
{
    return askYesNo(translateText("Do you want to stop searching for new updates?"), kQuestion,
                    [this] { return fallback_.askStopUpdateSearch(); });
}

int InstallerUiPrompts::reportNoUpdateServer(const std::shared_ptr<InstalledLog>& installedLog)
{
    return askYesNo(translateText("The update server cannot be reached. Without it features cannot be installed "
                                  "or updated.\n\nDo you want to proceed anyway?"),
                    kWarningQuestion, [&] { return fallback_.reportNoUpdateServer(installedLog); });
}

int InstallerUiPrompts::askInstallRevision(const SharedString& revision)
{
    return askYesNo(formatTranslated("Revision {1} is available.\n\nDo you want to download it?", revision),
                    kQuestion, [&] { return fallback_.askInstallRevision(revision); });
}

int InstallerUiPrompts::reportNewerRevisionInstalled(const SharedString& revision)
{
    return askYesNo(formatTranslated("A more recent revision is installed.\n\nDo you want to revert to revision "
                                     "{1}?",
                                     revision),
                    kWarningQuestion, [&] { return fallback_.reportNewerRevisionInstalled(revision); });
}

int InstallerUiPrompts::reportNewInstallerReleased()
{
    return askYesNo(translateText("A new version of the installation manager was released.\n\nDo you want to "
                                  "update it?"),
                    kQuestion, [this] { return fallback_.reportNewInstallerReleased(); });
}

FileExistsAnswer InstallerUiPrompts::askFileExists(const SharedString& file, bool& applyToAll)
{
    FileExistsAnswer answer = kFileExistsRename;
    // An answer only ever applies to all when the person says so here.
    bool checked = false;
    const bool asked = runOnUiThread([&](TerminalSession& session) {
        ChoiceDialog dialog(session, translateText(kFileInUse), formatTranslated(kFileExists, toBackslashes(file)));
        dialog.setIcon(kMbIconQuestion);
        CheckBox& applyAll = dialog.addCheckBox(translateText("Apply to all"), checked);
        dialog.addChoice(translateText("Overwrite"), kFileExistsOverwrite);
        dialog.addChoice(translateText("Skip"), kFileExistsSkip);
        dialog.addChoice(translateText("Rename"), kFileExistsRename);
        dialog.setDefaultChoice(kFileExistsOverwrite);
        // Closing the dialog in any other way renames.
        dialog.setEscapeAnswer(kFileExistsRename);
        answer = dialog.doModalFor<FileExistsAnswer>();
        checked = applyAll.isChecked();
    });
    if (!asked)
        return fallback_.askFileExists(file, applyToAll);
    applyToAll = checked;
    return answer;
}

int InstallerUiPrompts::askStopEulaDownload()
{
    return askYesNo(translateText("The license agreement is being downloaded.\n\nDo you want to stop the "
                                  "download?"),
                    kQuestion, [this] { return fallback_.askStopEulaDownload(); });
}

int InstallerUiPrompts::askRetryFeatureDownload(const SharedString& featureName, int reserved)
{
    return askYesNo(formatTranslated("An error occurred while trying to download the feature: {1}\n\nChoose Retry "
                                     "to try again or Cancel to abort the installation.",
                                     featureName),
                    kErrorRetry, [&] { return fallback_.askRetryFeatureDownload(featureName, reserved); });
}

int InstallerUiPrompts::reportInstallToDestinationError(const SharedString& featureName, const SharedString& reason)
{
    SharedString text = translateText("An error occurred while trying to install the program's features to the "
                                      "destination folder.");
    if (!featureName.isEmpty())
        text += u"\n\n" + whyFeatureFailed(featureName, reason);
    text += u"\n\n" + translateText("Do you want to resume the installation? Choose No to abort it.");
    return askYesNo(text, kErrorQuestion,
                    [&] { return fallback_.reportInstallToDestinationError(featureName, reason); });
}

int InstallerUiPrompts::askSkipFeatureDownload(const SharedString& featureName, int reserved)
{
    return askYesNo(formatTranslated("The feature {1} could not be downloaded.\n\nDo you want to skip this feature "
                                     "and continue?",
                                     featureName),
                    kWarningQuestion, [&] { return fallback_.askSkipFeatureDownload(featureName, reserved); });
}

int InstallerUiPrompts::askSkipFeatureInstall(const SharedString& featureName, const SharedString& reason)
{
    // Skipping leaves the feature's files off the device: the answer that
    // loses nothing is the one a hurried Enter gives.
    const SharedString text =
        whyFeatureFailed(featureName, reason) + u"\n\n" +
        translateText("Do you want to skip this feature and continue without it? Choose No to stop the "
                      "installation.");
    return askYesNo(text, kWarningQuestion | kMbDefaultButton2,
                    [&] { return fallback_.askSkipFeatureInstall(featureName, reason); });
}

int InstallerUiPrompts::reportUninstallFeaturesError()
{
    return askYesNo(translateText("An error occurred while trying to uninstall the program's features. The program "
                                  "may be running, or its folder may be write-protected.\n\nChoose Retry to try "
                                  "again or Cancel to abort."),
                    kErrorRetry, [this] { return fallback_.reportUninstallFeaturesError(); });
}

int InstallerUiPrompts::reportUninstallError()
{
    return askYesNo(translateText("An error occurred while trying to uninstall the program.\n\nDo you want to "
                                  "force the uninstallation? Choose No to abort."),
                    kErrorQuestion, [this] { return fallback_.reportUninstallError(); });
}

int InstallerUiPrompts::reportUninstallDeviceError()
{
    return askYesNo(translateText("An error occurred while trying to uninstall the program. Device not "
                                  "connected.\n\nConnect the device and choose Yes to resume, or No to abort."),
                    kErrorQuestion, [this] { return fallback_.reportUninstallDeviceError(); });
}

int InstallerUiPrompts::askRollback()
{
    // The question of an upgrade is one translation key of its own; the
    // other runs name what they were doing before the same question.
    constexpr char kUpgrade[] = "An error occurred while upgrading the program.";
    constexpr char kQuestion[] = "Do you want to roll back to the previous installation? Choose No to leave the "
                                 "program at its current update state.";
    const std::string_view failed = failedRunKey();
    const SharedString text =
        failed == kUpgrade ? translateText("An error occurred while upgrading the program.\n\nDo you want to roll back "
                                           "to the previous installation? Choose No to leave the program at its "
                                           "current update state.")
                           : translateText(failedRunKey()) + u"\n\n" + translateText(kQuestion);
    return askYesNo(text, kErrorQuestion, [this] { return fallback_.askRollback(); });
}

LockedFilesAnswer InstallerUiPrompts::showLockedFiles(const std::vector<LockingProcess>& processes, int reserved)
{
    LockedFilesAnswer answer = kLockedFilesExit;
    const bool asked = runOnUiThread([&](TerminalSession& session) {
        ChoiceDialog dialog(session, translateText(kFileInUse), translateText(kLockedFiles));
        dialog.setIcon(kMbIconWarning);
        std::vector<SharedString> names;
        for (const LockingProcess& process : processes)
            names.push_back(lockingProcessName(process));
        dialog.addList(std::move(names)).setReadOnly(true);
        dialog.addChoice(translateText("Exit"), kLockedFilesExit);
        dialog.addChoice(translateText("Ignore"), kLockedFilesIgnore);
        dialog.addChoice(translateText("Retry"), kLockedFilesRetry);
        dialog.setDefaultChoice(kLockedFilesRetry);
        // Closing the dialog in any other way exits.
        dialog.setEscapeAnswer(kLockedFilesExit);
        answer = dialog.doModalFor<LockedFilesAnswer>();
    });
    if (!asked)
        return fallback_.showLockedFiles(processes, reserved);
    return answer;
}

int InstallerUiPrompts::reportRebootNeeded()
{
    const bool uninstalling = isUninstalling_ && isUninstalling_();
    const SharedString text =
        uninstalling ? translateText("A reboot is needed to complete the uninstallation.\n\nDo you want to reboot now?")
                     : translateText("A reboot is needed to complete the installation.\n\nDo you want to reboot now?");
    return askYesNo(text, kQuestion, [this] { return fallback_.reportRebootNeeded(); });
}

void InstallerUiPrompts::showMessage(const SharedString& text, MessageSeverity severity, int flag)
{
    InstallerUiCallback::showMessage(text, severity, flag);
    std::uint32_t icon = kMbIconInformation;
    if (severity == kMessageWarning)
        icon = kMbIconWarning;
    else if (severity == kMessageError)
        icon = kMbIconError;
    ask(text, kMbOk | icon);
}

int InstallerUiPrompts::askInstallPcVersion()
{
    return askYesNo(translateText("No device was found.\n\nDo you want to install the desktop version?"), kQuestion,
                    [this] { return fallback_.askInstallPcVersion(); });
}

}  // namespace druvex
