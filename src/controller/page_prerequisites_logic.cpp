// The prerequisites logic without the network: the payload check on its own
// thread, the device and platform check with the requirements' scripts, the
// end of the page (the update-server rule and the mode), the silent run,
// earlier installations and the language offer.
#include "controller/page_prerequisites_logic.h"

#include <algorithm>
#include <exception>

#include "controller/installation_run.h"
#include "controller/installer_controller.h"
#include "controller/language_file_manager.h"
#include "controller/page_logic.h"
#include "controller/prerequisites_process_state.h"
#include "controller/uninstall_launcher.h"
#include "controller/unattended_prerequisites.h"
#include "core/app_log.h"
#include "core/translate_text.h"
#include "fileutil/operation_log.h"
#include "data/culture_table.h"
#include "data/font_coverage.h"
#include "data/install_data.h"
#include "data/installed_log.h"
#include "data/installer_configuration.h"
#include "data/scriptable.h"
#include "data/version_number.h"
#include "hal/hal_access.h"
#include "hal/os_version.h"
#include "host/installer_script_runner.h"
#include "liveupdate/download_list.h"
#include "liveupdate/update_bulletin.h"
#include "liveupdate/update_patcher.h"
#include "liveupdate/web_downloader.h"
#include "payload/payload_archive.h"
#include "platform/manual_reset_event.h"
#include "text/mutex.h"
#include "text/numbers.h"

namespace druvex {

namespace prerequisites {

ProcessState& processState()
{
    static ProcessState state;
    return state;
}

}  // namespace prerequisites

using prerequisites::processState;

namespace {

// The requirement's script says yes with a first result that is exactly the
// number 1 ("1", "1.0", "1e0"); anything else ("1.9", "0.5", "1abc", a
// number out of every range), or nothing, is no. Compared as a double, never
// converted to an integer, so that no text is out of range.
bool readsAsOne(const SharedString& result)
{
    double value = 0;
    return parseDouble(result.c_str(), value) && value == 1.0;
}

// Whether the host's system version reaches the minimum one (an OSVersion id;
// no minimum for an unknown one).
bool reachesOsVersion(HalAccess& host, std::int32_t minimum)
{
    const SharedString key = OSVersion::toVersionKey(minimum);
    VersionNumber required;
    if (key.isEmpty() || !required.parse(key.view()))
        return true;
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t servicePack = 0;
    bool isServer = false;
    if (!host.getOSVersion(major, minor, servicePack, isServer))
        return false;
    const VersionNumber actual = VersionNumber::fromParts(static_cast<std::int32_t>(major),
                                                          static_cast<std::int32_t>(minor),
                                                          static_cast<std::int32_t>(servicePack), 0);
    return VersionNumber::compare(actual, required) >= 0;
}

// Runs the requirement's "check" with its parameter in a script state of its
// own; false with the script's message when it refuses (a missing script or
// a failed call refuses without one). `reason` receives why it refused, for
// the log and for a person who has no page to read the message on: the
// message, else what went wrong with the script or what it answered.
bool runRequirement(InstallerController& controller, const SharedString& name, const SharedString& parameter,
                    SharedString& message, SharedString& reason)
{
    const auto refuse = [&](SharedString why) {
        logPrintf(u"%s", why);
        reason = std::move(why);
        return false;
    };
    const auto& checks = controller.getPrerequisiteChecks();
    const auto found = checks.find(name);
    if (found == checks.end() || !found->second || found->second->getScript().isEmpty())
        return refuse(SharedString().format(u"The requirement %s has no check script", name));
    InstallerScriptRunner runner(&controller);
    if (runner.loadScriptText(found->second->getScript()) != 1)
        return refuse(SharedString().format(u"The check script of the requirement %s does not load: %s", name,
                                            runner.errorText()));
    SharedString results[2];
    if (!runner.callFunction(u"check", 1, &parameter, 2, results))
        return refuse(SharedString().format(u"The check of the requirement %s failed: %s", name, runner.errorText()));
    if (readsAsOne(results[0]))
        return true;
    message = results[1];
    if (message.isEmpty())
        return refuse(SharedString().format(u"The requirement %s is not met: its check answered \"%s\" and no "
                                            u"message",
                                            name, results[0]));
    return refuse(SharedString().format(u"The requirement %s is not met: %s", name, message));
}

// The old installations go at once through an installation run made for
// this and never started.
bool removeThroughInstallationRun(InstallerController& controller)
{
    const std::shared_ptr<InstallationProcessFactory>& factory = controller.getInstallationProcessFactory();
    if (!factory) {
        logError(u"No installation process can remove the older installations");
        return false;
    }
    try {
        const std::unique_ptr<InstallationRun> run =
            factory->makeProcess(controller, controller.getPayloadArchive(), nullptr);
        return run && run->removeOldInstallations();
    } catch (const std::exception& error) {
        logPrintf(u"The older installations cannot be removed: %hs", error.what());
        return false;
    }
}

}  // namespace

PreviousInstallation evaluateInstalledState(const InstalledStateFacts& facts)
{
    if (facts.oldProduct)
        return facts.removableHere && facts.relation == 1 ? kPreviousInstallationRemovable
                                                          : kPreviousInstallationOtherProgram;
    if ((facts.mode == kModeMaintenance || facts.mode == kModeMaintenanceWithoutLog) && facts.previousKind != 0) {
        if (facts.relation == 3)
            return kPreviousInstallationUninstallFirst;
        if (facts.previousKind == 1)
            return kPreviousInstallationNewer;
    }
    return kPreviousInstallationNone;
}

PagePrerequisitesLogic::PagePrerequisitesLogic(InstallerController& controller, WebDownloader& downloader)
    : controller_(controller),
      downloader_(downloader),
      bulletinListener_(std::make_unique<RequestListener>(*this, RequestKind::Bulletin)),
      newInstallerListener_(std::make_unique<RequestListener>(*this, RequestKind::NewInstaller)),
      languageListener_(std::make_unique<RequestListener>(*this, RequestKind::LanguageFiles))
{
    if (processState().payloadChecked.load())
        checkState_ = kPayloadCheckPassedEarlier;
    controller_.getPageSequence().buildForMode(kModeStart);
    controller_.runHook(SharedString(u"PREREQ-ENTER"));
}

PagePrerequisitesLogic::~PagePrerequisitesLogic()
{
    // Nobody is left to hear the ends that the cancels below report.
    setSink(nullptr);
    closing_.store(true);
    std::shared_ptr<DownloadRequest> bulletin;
    std::shared_ptr<DownloadRequest> newInstaller;
    std::shared_ptr<DownloadList> languages;
    {
        MutexLock lock(stateMutex_);
        bulletin = bulletinRequest_;
        newInstaller = newInstallerRequest_;
        languages = std::move(languageDownloads_);
    }
    downloader_.cancel(bulletin);
    downloader_.cancel(newInstaller);
    // The list cancels its files and waits for an end report it cannot stop.
    languages.reset();
    // A request's end, or any report, that the worker was making when the
    // cancels came must be over before the members it uses go.
    {
        MutexLock lock(pendingMutex_);
        pendingEnded_.wait(pendingMutex_, [this]() REQUIRES(pendingMutex_) {
            return pendingRequests_ == 0 && reportsUnderWay_ == 0;
        });
    }
    stopChecks();
}

void PagePrerequisitesLogic::requestStarted()
{
    MutexLock lock(pendingMutex_);
    ++pendingRequests_;
}

void PagePrerequisitesLogic::requestEnded()
{
    MutexLock lock(pendingMutex_);
    --pendingRequests_;
    pendingEnded_.notify_all();
}

void PagePrerequisitesLogic::reportBegins()
{
    MutexLock lock(pendingMutex_);
    ++reportsUnderWay_;
}

void PagePrerequisitesLogic::reportEnds()
{
    MutexLock lock(pendingMutex_);
    --reportsUnderWay_;
    pendingEnded_.notify_all();
}

bool PagePrerequisitesLogic::onNext()
{
    if (isNewVersionRun()) {
        const std::shared_ptr<UpdateBulletin>& bulletin = controller_.getUpdatePatcher().getBulletin();
        if (!bulletin || !bulletin->hasSeveralVersions())
            return false;
    }
    const std::uint32_t state = getCheckState();
    return (state == kPayloadCheckPassed || state == kPayloadCheckPassedEarlier) && onlineFinished_.load() &&
           platformAccepted_.load();
}

void PagePrerequisitesLogic::onLeave(WizardPageId)
{
    controller_.runHook(SharedString(u"PREREQ-EXIT"));
}

void PagePrerequisitesLogic::setSink(PrerequisitesSink* sink)
{
    sink_.set(sink);
}

bool PagePrerequisitesLogic::hasSink() const
{
    return sink_.isSet();
}

void PagePrerequisitesLogic::pauseFor(std::uint32_t milliseconds)
{
    // A wait on an event that nobody sets is a sleep whose length the
    // timeouts decide.
    ManualResetEvent never(false, timeouts_);
    never.wait(milliseconds);
}

// --- Payload check ----------------------------------------------------------------

bool PagePrerequisitesLogic::payloadCheckNeeded() const
{
    const InstallerOptions& options = controller_.getOptions();
    return options.configMode != kConfigModeMake && options.updateMode == kUpdateModeNone &&
           !options.checkForUpdates && !options.uninstallMode && !options.rebootAsAdmin;
}

std::uint32_t PagePrerequisitesLogic::getCheckState() const
{
    MutexLock lock(checkMutex_);
    return checkState_;
}

void PagePrerequisitesLogic::startChecks()
{
    std::uint32_t passed = 0;
    {
        MutexLock lock(checkMutex_);
        if (checkState_ == kPayloadCheckPassed || checkState_ == kPayloadCheckPassedEarlier) {
            passed = checkState_;
        } else if (!payloadCheckNeeded()) {
            checkState_ = kPayloadCheckPassed;
            passed = checkState_;
        }
    }
    if (passed != 0) {
        report([passed](PrerequisitesSink& sink) { sink.payloadCheckFinished(true, passed); });
        return;
    }
    // A check still running (or paused) must end before its thread object
    // is replaced: it would otherwise go on reporting into a logic that
    // thinks it gone.
    stopChecks();
    {
        MutexLock lock(checkMutex_);
        // Running before the thread starts, so that a pause asked right away
        // is not lost.
        checkState_ = kPayloadCheckRunning;
    }
    checksThread_ = WorkerThread([this] { runPayloadCheck(); });
}

void PagePrerequisitesLogic::retryChecks()
{
    onlineFinished_.store(false);
    offline_.store(false);
    report([](PrerequisitesSink& sink) { sink.checksRestarted(); });
    startChecks();
}

void PagePrerequisitesLogic::pauseChecks()
{
    {
        MutexLock lock(checkMutex_);
        if (checkState_ == kPayloadCheckRunning)
            checkState_ = kPayloadCheckPaused;
    }
    checkChanged_.notify_all();
}

void PagePrerequisitesLogic::resumeChecks()
{
    {
        MutexLock lock(checkMutex_);
        if (checkState_ == kPayloadCheckPaused)
            checkState_ = kPayloadCheckRunning;
    }
    checkChanged_.notify_all();
}

void PagePrerequisitesLogic::stopChecks()
{
    {
        // Set under the mutex: a check that has just found itself paused and
        // is about to wait cannot miss it.
        MutexLock lock(checkMutex_);
        stopRequested_ = true;
    }
    checkChanged_.notify_all();
    joinThread(checksThread_, kJoinThreadTimeoutMs, "PagePrerequisitesLogic::stopChecks");
    checksThread_ = WorkerThread();
    MutexLock lock(checkMutex_);
    stopRequested_ = false;
}

void PagePrerequisitesLogic::runPayloadCheck()
{
    PayloadArchive& archive = controller_.getPayloadArchive();
    const std::uint32_t count = archive.entryCount();
    std::uint64_t total = 0;
    for (std::uint32_t i = 0; i < count; ++i)
        total += archive.entryAt(static_cast<std::int32_t>(i)).packedSize;

    std::uint64_t done = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        {
            MutexLock lock(checkMutex_);
            checkChanged_.wait(checkMutex_, [this]() REQUIRES(checkMutex_) { return checkState_ != kPayloadCheckPaused || stopRequested_; });
            if (stopRequested_)
                return;
        }
        const PayloadEntry& entry = archive.entryAt(static_cast<std::int32_t>(i));
        int error = 0;
        if (!archive.verifyEntry(entry.name, error)) {
            logPrintf(u"The installer's entry %s is damaged (error %d)", entry.name, error);
            {
                MutexLock lock(checkMutex_);
                checkState_ = kPayloadCheckDamaged;
            }
            report([](PrerequisitesSink& sink) { sink.payloadCheckFinished(false, kPayloadCheckDamaged); });
            return;
        }
        done += entry.packedSize;
        // An archive of empty entries is wholly checked all the same.
        const std::uint64_t percent = total == 0 ? 100 : done * 100 / total;
        report([percent](PrerequisitesSink& sink) { sink.payloadCheckProgress(percent); });
    }
    processState().payloadChecked.store(true);
    {
        MutexLock lock(checkMutex_);
        checkState_ = kPayloadCheckPassed;
    }
    report([](PrerequisitesSink& sink) { sink.payloadCheckFinished(true, kPayloadCheckPassed); });
}

// --- Device and platform ------------------------------------------------------------

int PagePrerequisitesLogic::checkDevice(SharedString& text, DeviceType& deviceType, TargetPlatform& platform,
                                        SharedString* reason)
{
    text.clear();
    SharedString why;
    deviceType = DeviceType::NONE;
    platform = kPlatformUnknown;
    HalAccess& target = *controller_.getHalOut();

    DeviceType probed = DeviceType::NONE;
    if (target.getDeviceType(probed, false) == ConnectionState::DEVICE_NOT_FOUND)
        return controller_.isRunningOnDevice() ? kDeviceCheckNoDeviceHere : kDeviceCheckNoDevice;
    deviceType = DeviceType::INVALID_DEVICE;
    if (target.getDeviceType(deviceType, true) == ConnectionState::ACCESS_DENIED)
        return kDeviceCheckAccessDenied;

    const auto typeId = static_cast<std::int32_t>(deviceType);
    if (isDesktopDeviceType(typeId) && controller_.getOptions().useHalWin)
        deviceType = DeviceType::EMULATED;
    // The desktop host stands for whatever the program runs on.
    if (deviceType == DeviceType::EMULATED)
        return kDeviceCheckAccepted;

    platform = platformFromDeviceType(typeId);
    const std::int32_t mask = controller_.getBuildConfiguration().getTargetPlatformMask();
    const InstallerSettings& settings = controller_.getInstallData().settings();
    // An unknown device is served by no mask, not even "All".
    bool accepted = platform >= 0 && platform < kPlatformCount && maskHasPlatform(mask, platform);
    const bool serves32 = (mask & platformMask(kPlatformWin32)) != 0;
    const bool serves64 = (mask & platformMask(kPlatformWin64)) != 0;
    if (!accepted && platform == kPlatformWin64 && serves32 && settings.getAllow32bitsOn64Os()) {
        platform = kPlatformWin32;
        accepted = true;
    }
    if (!accepted) {
        if (platform == kPlatformWin64 && serves32)
            return kDeviceCheckOnly32BitOs;
        if (platform == kPlatformWin32 && serves64)
            return kDeviceCheckOnly64BitOs;
        return isDesktopDeviceType(typeId) ? kDeviceCheckDesktopNotServed : kDeviceCheckPlatformNotServed;
    }

    if (isDesktopPlatform(platform) && !reachesOsVersion(target, settings.getMinOsVersion())) {
        text = settings.get(InstallerSettingKey::MinOSVersion);
        logPrintf(u"The system is older than %s", text);
        return kDeviceCheckDesktopNotServed;
    }
    const InstallData& data = controller_.getInstallData();
    const int index = data.findPlatformIndex(platform);
    if (index < 0)
        return kDeviceCheckAccepted;
    for (const auto& [name, parameter] : data.platformAt(index)->requirements()) {
        if (runRequirement(controller_, name, parameter, text, why))
            continue;
        if (reason)
            *reason = why;
        return kDeviceCheckRequirementFailed;
    }
    return kDeviceCheckAccepted;
}

void PagePrerequisitesLogic::runDeviceAndOnlineChecks()
{
    report([](PrerequisitesSink& sink) { sink.deviceCheckBegins(); });
    connected_.store(false);
    onlineChecksMade_.store(false);
    SharedString text;
    DeviceType deviceType = DeviceType::NONE;
    TargetPlatform platform = kPlatformUnknown;
    const int result = checkDevice(text, deviceType, platform);
    const bool accepted = result == kDeviceCheckAccepted;
    platformAccepted_.store(accepted);
    if (accepted && deviceType != DeviceType::EMULATED)
        controller_.setTargetPlatform(platform);
    report([&](PrerequisitesSink& sink) { sink.deviceCheckResult(result, text, deviceType); });
    if (accepted) {
        startOnlineChecks();
        return;
    }
    offline_.store(true);
    loadLanguages(controller_.getHalIn(), false);
    finishOnlineChecks(true);
}

void PagePrerequisitesLogic::startOnlineChecks()
{
    // Identified afresh: the device may have been connected or changed
    // since the last round.
    controller_.getHalIn()->deviceTypeOrNone(true);
    controller_.getHalOut()->deviceTypeOrNone(true);
    // Without an installed log the run is a new installation.
    (void)controller_.loadInstalledState();

    auto downloads = std::make_shared<DownloadList>(controller_.getHalOut(), downloader_, languageListener_.get());
    std::shared_ptr<DownloadList> previous;
    {
        MutexLock lock(stateMutex_);
        previous = std::exchange(languageDownloads_, std::move(downloads));
    }
    // Its cancelled requests report to this logic, which must not be locked.
    previous.reset();
    loadLanguages(controller_.getHalOut(), true);
    onlineFinished_.store(false);
    onlineChecksMade_.store(true);

    if (!controller_.isLiveUpdateAvailable()) {
        finishOnlineChecks(true);
        return;
    }
    pauseFor(kSettleMs);
    checkConnection();
}

void PagePrerequisitesLogic::loadLanguages(const std::shared_ptr<HalAccess>& host, bool online)
{
    auto manager = std::make_shared<LanguageFileManager>(controller_, host, online);
    if (!manager->loadTranslationMap())
        logInfo(u"The installer's languages are those of the language folder only");
    std::vector<FeaturePtr> list = controller_.getLanguageFeatures();
    MutexLock lock(stateMutex_);
    languageFiles_ = std::move(manager);
    languageList_ = std::move(list);
}

// --- The end of the page and the silent run --------------------------------------

bool PagePrerequisitesLogic::isInstalledProgramRecorded() const
{
    return controller_.isInstalledProgramRecorded();
}

bool PagePrerequisitesLogic::passesUpdateServerRule()
{
    if (!isInstalledProgramRecorded())
        return true;
    if (connected_.load() && controller_.getUpdatePatcher().hasVersionRecord())
        return true;
    const std::shared_ptr<InstalledLog>& installed = controller_.getInstalledLog();
    if (installed->getFeatureCount() == 0) {
        controller_.getUiCallback()->noUpdateServerMessage();
        controller_.setFailureReason(SharedString(u"The update server cannot be reached"));
        return false;
    }
    return controller_.getUiCallback()->reportNoUpdateServer(installed) != 0;
}

bool PagePrerequisitesLogic::finishChecks()
{
    if (!platformAccepted_.load())
        return false;
    UpdatePatcher& patcher = controller_.getUpdatePatcher();
    const bool versionList = patcher.hasVersionRecord();
    if (!onlineChecksMade_.load()) {
        prepareForMode(versionList);
        return true;
    }
    if (!passesUpdateServerRule())
        return false;

    bool useOnline = true;
    if (versionList && controller_.isDailyBuild()) {
        const BulletinVersionPtr latest = patcher.getBulletin()->getLatestVersion();
        const InstallerOptions& options = controller_.getOptions();
        if (controller_.getBuildConfiguration().getInstallerType() != kInstallerTypeFull) {
            useOnline = false;
        } else if (latest && !isInstalledProgramRecorded() && options.updateMode == kUpdateModeNone) {
            useOnline = false;
            const VersionNumber& latestRevision = latest->getRevNum();
            if (latestRevision.isNonZero() &&
                VersionNumber::compare(controller_.getEffectiveRevision(false), latestRevision) < 0 &&
                options.configMode != kConfigModeUse)
                useOnline = controller_.getUiCallback()->askInstallRevision(latestRevision.toText()) != 0;
        }
    }
    controller_.setUseOnlineFeature(useOnline);
    prepareForMode(versionList);
    return true;
}

PrerequisitesNext PagePrerequisitesLogic::leaveWithNext()
{
    if (!finishChecks())
        return PrerequisitesNext::kStay;
    return confirmEarlierInstallations() ? PrerequisitesNext::kGoOn : PrerequisitesNext::kEndRun;
}

void PagePrerequisitesLogic::prepareForMode(bool apply)
{
    controller_.prepareForMode(apply);
    // A run asked for the new version downloads the newer installer on offer
    // from here (its page list goes on from this page); as an update of the
    // installed features it would end with success and never fetch it.
    if (controller_.getOptions().updateMode == kUpdateModeNewVersion && controller_.hasNewInstallerEntry() &&
        controller_.getPageSequence().getMode() == kModeUpdate)
        controller_.buildPageSequenceForMode(kModeDownload);
}

bool PagePrerequisitesLogic::runUnattended()
{
    std::uint32_t state = getCheckState();
    if (state != kPayloadCheckPassed && state != kPayloadCheckPassedEarlier) {
        const bool needed = payloadCheckNeeded();
        {
            MutexLock lock(checkMutex_);
            checkState_ = needed ? kPayloadCheckRunning : kPayloadCheckPassed;
        }
        if (needed)
            runPayloadCheck();
        state = getCheckState();
    }
    if (state != kPayloadCheckPassed && state != kPayloadCheckPassedEarlier)
        return failRun(controller_, SharedString(u"The installer is damaged: the silent run ends"));

    SharedString text;
    DeviceType deviceType = DeviceType::NONE;
    TargetPlatform platform = kPlatformUnknown;
    SharedString reason;
    const int result = checkDevice(text, deviceType, platform, &reason);
    if (result != kDeviceCheckAccepted) {
        // The page would show the script's message; nobody sees a page here,
        // so what the check said or what became of it is the reason.
        return failRun(controller_, SharedString().format(u"The device cannot take the program (check result %d): %s",
                                                          result, text.isEmpty() ? reason : text));
    }
    // The desktop host names no platform of its own: the run keeps its own.
    if (deviceType != DeviceType::EMULATED) {
        const TargetPlatform current = controller_.getTargetPlatform();
        if (current >= kPlatformCount) {
            controller_.setTargetPlatform(platform);
        } else if (current != platform) {
            return failRun(controller_, SharedString().format(u"The device is of platform %s, the run is for %s",
                                                              platformName(platform, false),
                                                              platformName(current, false)));
        }
    }
    platformAccepted_.store(true);
    unattended_.store(true);

    onlineChecksMade_.store(false);
    if (!controller_.isUpdateCheckDone() && controller_.isLiveUpdateAvailable()) {
        UnattendedPrerequisites waiter(*this, timeouts_);
        if (!waiter.run())
            return failRun(controller_, SharedString().format(u"The update bulletin could not be had (result %d)",
                                                              waiter.getResult()));
        onlineChecksMade_.store(true);
    }
    onlineFinished_.store(true);
    return leaveWithNext() == PrerequisitesNext::kGoOn && onNext();
}

// --- Earlier installations ---------------------------------------------------------

bool PagePrerequisitesLogic::checkPreviousInstallations()
{
    SharedString owner;
    if (controller_.checkAdministrativeRights(owner) != kRightsNoObstacle)
        return true;
    const std::vector<std::shared_ptr<UninstallLauncher>>& launchers = controller_.getUninstallLaunchers();
    if (launchers.empty())
        return false;
    const bool forEveryone = std::any_of(launchers.begin(), launchers.end(),
                                         [](const auto& launcher) { return launcher->isInstalledForAllUsers(); });
    controller_.setForAnyone(forEveryone);
    return forEveryone && !controller_.hasAdministratorRights();
}

void PagePrerequisitesLogic::evaluatePreviousInstallation(bool& stop, bool& removed)
{
    stop = false;
    removed = false;
    const std::shared_ptr<InstalledLog>& foreign = controller_.getForeignInstalledLog();
    InstalledStateFacts facts;
    facts.oldProduct = foreign != nullptr;
    facts.removableHere = controller_.isDesktopTarget() || controller_.isRunningOnDevice();
    facts.relation = controller_.getUninstallCompatibility();
    facts.mode = controller_.getPageSequence().getMode();
    const std::int32_t comparison = controller_.getInstalledVersionComparison();
    facts.previousKind = comparison > 0 ? 1 : comparison < 0 ? 2 : 0;
    const SharedString oldName = foreign ? foreign->getProgramName() : SharedString();

    InstallerUiCallback& ui = *controller_.getUiCallback();
    switch (evaluateInstalledState(facts)) {
    case kPreviousInstallationNewer:
        stop = ui.reportNewerVersionInstalled(controller_.getInstallData().settings().getProgramVersionText()) == 0;
        return;
    case kPreviousInstallationUninstallFirst:
        ui.mustUninstallProgramMessage();
        stop = true;
        return;
    case kPreviousInstallationRemovable:
        if (ui.reportAlreadyInstalled(oldName) == 0) {
            stop = true;
            return;
        }
        removed = removeThroughInstallationRun(controller_);
        if (!removed) {
            ui.uninstallErrorMessage(oldName);
            stop = true;
            return;
        }
        logPrintf(u"%s was removed", oldName);
        controller_.getUninstallLaunchers().clear();
        controller_.setForeignInstalledLog(nullptr);
        return;
    case kPreviousInstallationOtherProgram:
        if (unattended_.load()) {
            logPrintf(u"%s is installed: the installation removes it first", oldName);
            return;
        }
        ui.mustUninstallMessage(oldName);
        stop = true;
        return;
    default:
        return;
    }
}

bool PagePrerequisitesLogic::confirmEarlierInstallations()
{
    bool stop = false;
    bool removed = false;
    evaluatePreviousInstallation(stop, removed);
    if (stop) {
        logInfo(u"The earlier installation keeps the run from going on");
        controller_.setResult(kResultFailed);
        return false;
    }
    if (checkPreviousInstallations()) {
        logError(u"The installation requires administrative rights, which this run does not have");
        controller_.getUiCallback()->showError(translateText("The installation requires administrative rights."));
        controller_.setResult(kResultFailed);
        return false;
    }
    return true;
}

// --- What the page reads ---------------------------------------------------------------

bool PagePrerequisitesLogic::isNewVersionRun() const
{
    return controller_.getOptions().updateMode == kUpdateModeNewVersion;
}

bool PagePrerequisitesLogic::isNotUseConfigRun() const
{
    return controller_.getOptions().configMode != kConfigModeUse;
}

bool PagePrerequisitesLogic::isLiveUpdateAvailable() const
{
    return controller_.isLiveUpdateAvailable();
}

bool PagePrerequisitesLogic::getResultInfo(SharedString& text, VersionWords& words) const
{
    MutexLock lock(stateMutex_);
    text = newerVersionText_;
    words = newerVersionWords_;
    return newerVersion_;
}

bool PagePrerequisitesLogic::hasLanguageTemplate() const
{
    if (!isNotUseConfigRun())
        return false;
    const InstallData& data = controller_.getInstallData();
    for (int i = 0; i < data.languageTemplateCount(); ++i) {
        if (data.languageTemplateAt(i)->ismain)
            return true;
    }
    return false;
}

std::uint16_t PagePrerequisitesLogic::getCurrentLanguage() const
{
    const std::uint16_t language = controller_.getLanguage();
    return language != 0 ? language : controller_.chooseLanguage();
}

std::vector<FeaturePtr> PagePrerequisitesLogic::getLanguageList() const
{
    MutexLock lock(stateMutex_);
    return languageList_;
}

bool PagePrerequisitesLogic::canShowLanguageName(FontDeviceContext& context, std::uint16_t lcid) const
{
    SharedString name;
    if (!languageNativeName(lcid, name))
        return true;
    return isTextCoveredByFonts(*controller_.getHalIn(), context, name.view());
}

void PagePrerequisitesLogic::selectLanguage(std::uint16_t lcid)
{
    SharedString text;
    for (const FeaturePtr& feature : getLanguageList()) {
        if (feature->getLocaleId() == lcid) {
            text = feature->getNameRef();
            break;
        }
    }
    if (text.isEmpty())
        languageDisplayName(lcid, text);
    controller_.setLanguage(lcid, text);
}

void PagePrerequisitesLogic::saveCurrentLanguage()
{
    std::shared_ptr<LanguageFileManager> manager;
    {
        MutexLock lock(stateMutex_);
        manager = languageFiles_;
    }
    if (!manager)
        loadLanguages(controller_.getHalIn(), false);
    {
        MutexLock lock(stateMutex_);
        manager = languageFiles_;
    }
    MutexLock use(languageMutex_);
    manager->saveCurrentLanguage(controller_.getLanguage());
}

// --- Registration ---------------------------------------------------------------------

void registerPrerequisitesPageLogic(PageLogicRegistry& registry)
{
    registry.registerMaker(kPagePrerequisites, [](InstallerController& controller, const PageLogicArguments& arguments) {
        WebDownloader& downloader = arguments.downloader ? *arguments.downloader : controller.getWebDownloader();
        return std::make_unique<PagePrerequisitesLogic>(controller, downloader);
    });
}

void resetPrerequisitesProcessStateForTests()
{
    processState().payloadChecked.store(false);
    processState().newInstallerChecked.store(false);
    processState().proxyAsked.store(false);
}

}  // namespace druvex
