// Continuing a run in another process: the command lines of the installers
// the run starts, the rights an installation needs, the wizard state saved
// before a relaunch and taken back by the relaunched run (or read from a
// configuration file), the cache of the last update bulletin, the question
// to the installed installer and the message to the device's launcher.
#include "controller/installer_controller.h"

#include <cstdint>

#include "app_base/command_line.h"
#include "core/app_log.h"
#include "core/app_paths.h"
#include "core/path_text.h"
#include "data/culture_table.h"
#include "data/install_data.h"
#include "data/installed_log.h"
#include "data/installer_configuration.h"
#include "data/package_sources.h"
#include "data/previous_settings.h"
#include "fileutil/file_util.h"
#include "fileutil/operation_log.h"
#include "hal/hal_access.h"
#include "liveupdate/update_bulletin.h"
#include "liveupdate/update_patcher.h"
#include "payload/payload_archive.h"
#include "platform/device_config.h"
#include "platform/process.h"
#include "platform/window_message.h"
#include "text/char_class.h"

namespace druvex {
namespace {

constexpr char16_t kInstalledLogName[] = u"InstalledLog.xml";
// The desktop platforms Win32 and Win64.
constexpr std::int32_t kDesktopPlatformsMask = 0x30;
// How long the installed installer may take to answer its version query.
constexpr std::uint32_t kInstalledInstallerQueryMs = 8000;

constexpr char16_t kLauncherWindowTitle[] = u"Application-Launcher";
// "#LTc" and a line end.
constexpr std::uint8_t kLauncherMessage[] = {0x23, 0x4C, 0x54, 0x63, 0x0D, 0x0A};

void registerPackagesOf(const UpdateBulletin& bulletin, std::int32_t installerType, WStringMultimap& sources)
{
    const BulletinVersionPtr latest = bulletin.getLatestVersion();
    for (int i = 0; latest && i < latest->getFeatureCount(); ++i) {
        const Feature& feature = *latest->getFeature(i);
        if (!acceptsItemForInstallerType(installerType, feature))
            continue;
        const auto size = static_cast<std::uint64_t>(feature.getCompressedSize());
        sources.addIfAbsent(feature, kSourceDownload, feature.getUrl(), static_cast<std::uint32_t>(size),
                            static_cast<std::uint32_t>(size >> 32));
    }
}

}  // namespace

SharedString InstallerController::buildChildCommandLine(bool emptyInstaller, std::uint32_t handle,
                                                        const SharedString& installerPath,
                                                        const SharedString& leadingText) const
{
    SharedString line = leadingText;
    auto add = [&line](const SharedString& piece) {
        if (!line.isEmpty())
            line += u' ';
        line += piece;
    };
    if (emptyInstaller && !installerPath.isEmpty())
        add(SharedString().format(u"empty_installer %08X ", handle) + quotedCommandLineWord(installerPath));
    if (options_.updateMode == kUpdateModeNewVersion)
        add(SharedString(u"update_mode newversion"));
    else if (options_.updateMode != kUpdateModeNone)
        add(SharedString(u"update_mode features"));
    if (options_.forMobile)
        add(SharedString(u"formobile"));
    if (options_.uninstallMode)
        add(SharedString(u"uninstall_mode"));
    if (options_.createBackup)
        add(SharedString(u"create_backup ") + quotedCommandLineWord(options_.createBackupText1) + u" " +
            quotedCommandLineWord(options_.createBackupText2));
    if (!options_.liveUpdateUrl.isEmpty())
        add(SharedString(u"override_live_update_url ") + quotedCommandLineWord(options_.liveUpdateUrl));
    if (options_.configMode != kConfigModeNone && !options_.configFile.isEmpty()) {
        // A path with a blank would reach the child as two words, the second
        // taken for an option or passed over: such a path goes in quotes.
        add(SharedString(options_.configMode == kConfigModeUse ? u"use_config " : u"make_config ") +
            commandLineWord(options_.configFile));
    }
    if (options_.silent)
        add(SharedString(u"silent_mode"));
    if (options_.checkForUpdates)
        add(SharedString(u"check_for_updates"));
    if (options_.dontRemoveOrigInstaller)
        add(SharedString(u"dont_remove_orig_installer"));
    if (options_.purgeSharedData)
        add(SharedString(u"purge_shared_data"));
    if (options_.showMessageForDebug)
        add(SharedString(u"show_message_for_debug"));
    const SharedString& archive = payloadArchive_->filePath();
    if (!archive.isEmpty() && !samePath(archive.view(), AppPaths::instance().getModulePath().view()))
        add(SharedString(u"use_full_installer ") + quotedCommandLineWord(archive));
    return line;
}

SharedString InstallerController::buildRelaunchCommandLine(const SharedString& leadingText) const
{
    return buildChildCommandLine(options_.emptyInstaller, 0, options_.emptyInstallerPath, leadingText);
}

bool InstallerController::buildEmptyInstallerCommandLine(std::uint32_t handle, SharedString& commandLine) const
{
    const SharedString& programFile = AppPaths::instance().getModulePath();
    if (programFile.isEmpty())
        return false;
    commandLine = buildChildCommandLine(true, handle, programFile, SharedString());
    return true;
}

RightsCheck InstallerController::checkAdministrativeRights(SharedString& owner) const
{
    if (options_.configMode == kConfigModeMake)
        return kRightsNoObstacle;
    if (options_.createBackup && options_.updateMode != kUpdateModeNewVersion)
        return kRightsNoObstacle;
    const bool silentUntethered = options_.silent && !tethered_;
    const bool desktopOnlyBuild = (buildConfiguration_->getTargetPlatformMask() & ~kDesktopPlatformsMask) == 0;
    if (!isDesktopTarget() && !desktopOnlyBuild && !silentUntethered)
        return kRightsNoObstacle;

    const bool forEveryone = installData_->settings().getRequireAdminRights() ||
                             (options_.configMode == kConfigModeUse && previousSettingsLoaded_ &&
                              previousSettings_->getIsForAnyone());
    if (forEveryone && !administratorRights_)
        return kRightsAdministratorNeeded;

    std::vector<std::uint8_t> bytes;
    InstalledLog installed;
    if (!readFileToBuffer(*targetHost_, bytes, joinPath(getProductDataFolder(), SharedString(kInstalledLogName))) ||
        !installed.loadFromBuffer(bytes.data(), bytes.size()))
        return kRightsNoObstacle;
    if (installed.isInstalledForAllUsers())
        return !administratorRights_ && silentUntethered ? kRightsAdministratorNeeded : kRightsNoObstacle;
    // A log that names no owner was written for nobody in particular: it
    // keeps no user from updating the program.
    const SharedString& installedOwner = installed.getOwner();
    if (installedOwner.isEmpty() || equalsNoCase(installedOwner.view(), activeDeviceConfig()->userName.view()))
        return kRightsNoObstacle;
    owner = installedOwner;
    return kRightsOtherOwner;
}

bool InstallerController::saveSettingsForRelaunch()
{
    collectSettings();
    const SharedString folder = getLocalProductDataFolder();
    if (!createDirectoryRecursive(*sourceHost_, folder)) {
        logError(SharedString(u"The folder for the saved settings cannot be made: ") + folder);
        return false;
    }
    if (!previousSettings_->saveToFile(getPreviousSettingsPath()))
        return false;
    return saveLastBulletin();
}

bool InstallerController::applyPreviousSettings()
{
    const bool useConfig = options_.configMode == kConfigModeUse;
    if (!useConfig && !options_.rebootAsAdmin)
        return true;

    // A relaunched run takes the state its first instance saved; a run given
    // a configuration file takes that file.
    const SharedString path = options_.rebootAsAdmin ? getPreviousSettingsPath() : options_.configFile;
    // An empty path ("use_config \"\"") names no file: such a run would
    // install with the defaults of a configuration nobody wrote.
    if (path.isEmpty()) {
        logError(u"use_config names no configuration file");
        return false;
    }
    bool corrupt = false;
    if (!previousSettings_->loadFromFile(path, corrupt)) {
        logError(SharedString(corrupt ? u"The saved settings are damaged: " : u"The saved settings cannot be read: ") +
                 path);
        // What a damaged file gave before its damage is no one's choice.
        previousSettings_ = std::make_unique<PreviousSettings>(*sourceHost_);
        // The relaunched run goes on as a fresh one; a configuration run
        // without its configuration would install what nobody asked for.
        return options_.rebootAsAdmin;
    }
    previousSettingsLoaded_ = true;
    logInfo(SharedString(u"Saved settings taken from ") + path);
    if (options_.rebootAsAdmin && !sourceHost_->deleteFile(path))
        logInfo(SharedString(u"The saved settings stay in ") + path);

    const PreviousSettings& saved = *previousSettings_;
    tethered_ = saved.getIsTethered();
    useOnlineFeature_ = saved.getUseOnlineFeature();
    updateCheckDone_ = saved.getUpdateCheckDone();
    revertToPreviousRevision_ = saved.getRevertToPreviousRevision();
    if (saved.getTargetPlatform() != kPlatformUnknown)
        targetPlatform_ = saved.getTargetPlatform();

    const auto language = static_cast<std::uint16_t>(saved.getLanguage());
    SharedString languageName;
    if (languageDisplayName(language, languageName)) {
        setLanguage(language, languageName);
        LanguageFileManager languages(*this, sourceHost_, false);
        if (!languages.loadTranslationMap())
            logInfo(u"The installer's languages are those of the language folder only");
        languages.saveCurrentLanguage(language);
    }
    saved.getFullBackup(restore_, backupPath_);

    if (options_.rebootAsAdmin) {
        prepareForMode(true);
        pageSequence_->buildForMode(saved.getWizardMode());
        pageSequence_->goToPage(saved.getStartingPage());
    }
    return true;
}

bool InstallerController::saveLastBulletin()
{
    // Without a bulletin of this run the cached one is still the newest known.
    if (lastBulletinBytes_.empty())
        return true;
    const SharedString folder = getProductDataFolder();
    if (!createDirectoryRecursive(*targetHost_, folder)) {
        logError(SharedString(u"The product data folder cannot be made: ") + folder);
        return false;
    }
    return replaceFileWithBuffer(*targetHost_, lastBulletinBytes_, joinPath(folder, SharedString(kLastBulletinName)),
                                 u"The last bulletin");
}

bool InstallerController::loadLastBulletin()
{
    const SharedString path = joinPath(getProductDataFolder(), SharedString(kLastBulletinName));
    std::vector<std::uint8_t> bytes;
    if (!readFileToBuffer(*targetHost_, bytes, path))
        return false;
    if (!updatePatcher_->loadBulletin(bytes.data(), bytes.size())) {
        logInfo(SharedString(u"The cached bulletin does not load: ") + path);
        return false;
    }
    lastBulletinBytes_ = std::move(bytes);
    updatePatcher_->applyBulletin(false);
    registerBulletinPackages();
    return true;
}

void InstallerController::registerBulletinPackages()
{
    if (const std::shared_ptr<UpdateBulletin> bulletin = updatePatcher_->getBulletin())
        registerPackagesOf(*bulletin, buildConfiguration_->getInstallerType(), *packageSources_);
}

bool InstallerController::registerLastBulletinPackages()
{
    const SharedString path = joinPath(getProductDataFolder(), SharedString(kLastBulletinName));
    bool isFolder = false;
    std::vector<std::uint8_t> bytes;
    if (!targetHost_->exists(path, &isFolder) || isFolder || !readFileToBuffer(*targetHost_, bytes, path))
        return false;
    // Read apart from the patcher: the bulletin this run holds, if any,
    // stays the one that updates the installer data.
    UpdateBulletin kept;
    if (!kept.parse(bytes.data(), bytes.size(), liveUpdateUrl(), true, false)) {
        logInfo(SharedString(u"The cached bulletin does not load: ") + path);
        return false;
    }
    registerPackagesOf(kept, buildConfiguration_->getInstallerType(), *packageSources_);
    return true;
}

bool InstallerController::deleteLastBulletin()
{
    return targetHost_->deleteFile(joinPath(getProductDataFolder(), SharedString(kLastBulletinName)));
}

void InstallerController::queryInstalledInstaller()
{
    uninstallCompatibility_ = 1;
    if (VersionNumber::compare(VersionNumber::fromText(kInstallerVersion), installedLog_->getMinAutoVersion()) >= 0)
        return;
    uninstallCompatibility_ = 3;
    const SharedString program = joinPath(getProductDataFolder(), SharedString(u"setup.exe"));
    const SharedString arguments = SharedString(u"query_min_ver_for_uninst ") + kInstallerVersion;
    ProcessInformation process;
    if (!targetHost_->createProcess(program, arguments, 0, process)) {
        logInvokeError(program.view(), targetHost_->getLastError());
        return;
    }
    std::uint32_t exitCode = 0;
    if (waitForProcess(process.process, kInstalledInstallerQueryMs) == kWaitObject0 &&
        getProcessExitCode(process.process, exitCode) && exitCode >= 1 && exitCode <= 3) {
        uninstallCompatibility_ = static_cast<std::int32_t>(exitCode);
        logPrintf(u"The installed installer answers the uninstall compatibility %u", exitCode);
    } else {
        logInfo(SharedString(u"The installed installer gave no uninstall compatibility: ") + program);
    }
    closeProcessHandle(process.process);
    closeProcessHandle(process.thread);
}

std::uint32_t InstallerController::answerUninstallQuery(const SharedString& version) const
{
    VersionNumber asking;
    if (!asking.parse(version.view())) {
        logPrintf(u"The uninstall query names no version: \"%s\" (answer 3)", version);
        return 3;
    }
    const SharedString path = joinPath(getProductDataFolder(), SharedString(kInstalledLogName));
    std::vector<std::uint8_t> bytes;
    InstalledLog installed;
    if (!targetHost_->exists(path, nullptr)) {
        logPrintf(u"No installation to guard: %s is not there (answer 1)", path);
        return 1;
    }
    // A log that cannot be read says nothing about who may remove the
    // installation: no installer is vouched for.
    if (!readFileToBuffer(*targetHost_, bytes, path) || !installed.loadFromBuffer(bytes.data(), bytes.size())) {
        logPrintf(u"%s cannot be read (answer 3)", path);
        return 3;
    }
    const VersionNumber& minimum = installed.getMinAutoVersion();
    const std::uint32_t answer = VersionNumber::compare(asking, minimum) >= 0 ? 1 : 3;
    logPrintf(u"An installer of version %s %s remove this installation, which needs %s (answer %u)", asking.toText(),
              answer == 1 ? u"may" : u"may not", minimum.toText(), answer);
    return answer;
}

bool InstallerController::needsLauncherNotification() const
{
    if (!isRunningOnDevice() || targetPlatform_ != kPlatformQm40)
        return false;
    if (targetHost_->deviceTypeOrNone() != DeviceType::TS_TSORLAN)
        return false;
    const InstallResult result = getResult();
    const bool newInstallerStarted = (result == kResultCompleted || result == kResultCompletedUnchanged) &&
                                     pageSequence_->getCurrentPageId() == kPageEndInstall &&
                                     pageSequence_->getMode() == kModeDownload && !isNewInstallerLaunchFailed();
    return !newInstallerStarted;
}

void notifyApplicationLauncher()
{
    if (sendCopyData(kLauncherWindowTitle, kLauncherMessage))
        logInfo(u"Message sent to TS-Orlan launcher");
    else
        logInfo(u"TS-Orlan launcher not found");
}

}  // namespace druvex
