#include "controller/page_installation_logic.h"

#include <iostream>
#include <stdexcept>
#include <utility>

#include "controller/event_task.h"
#include "controller/installation_run.h"
#include "controller/installer_controller.h"
#include "controller/redistributables_manager.h"
#include "core/app_log.h"
#include "data/install_data.h"
#include "fileutil/file_util.h"
#include "fileutil/operation_log.h"
#include "liveupdate/new_installer.h"

namespace druvex {

// Empty bodies: a sink implements what it shows.
void InstallationPageSink::setProgressRange(std::uint64_t) {}
void InstallationPageSink::setProgressPosition(const SharedString&, std::uint64_t) {}
void InstallationPageSink::onRunFinished(bool, bool, bool) {}
void InstallationPageSink::onPaused() {}
void InstallationPageSink::onWaitingForDownload(std::uint32_t, std::uint32_t) {}
void InstallationPageSink::onDownloadProgress(const SharedString&, std::uint64_t) {}
void InstallationPageSink::onDownloadBegin(std::uint64_t) {}
void InstallationPageSink::onDownloadFinished(bool, std::uint32_t) {}
void InstallationPageSink::onRemainingTime(std::uint32_t, std::uint32_t) {}
void InstallationPageSink::onValidationBegin(std::uint32_t, std::uint32_t) {}
void InstallationPageSink::onStepsBegin(std::uint32_t, std::uint32_t) {}
void InstallationPageSink::onStep(std::uint32_t, std::uint32_t) {}
void InstallationPageSink::onStepDone(std::uint32_t, std::uint32_t) {}
void InstallationPageSink::onStepsEnd(std::uint32_t, std::uint32_t) {}
void InstallationPageSink::onValidationEnd(std::uint32_t, std::uint32_t) {}
void InstallationPageSink::onPhase(std::uint32_t, std::uint32_t) {}
void InstallationPageSink::onOldInstallationsRemoved(std::uint32_t, std::uint32_t) {}
void InstallationPageSink::setProgressValue(const SharedString&, std::uint64_t) {}
void InstallationPageSink::setBackupRange(std::uint64_t) {}
void InstallationPageSink::setBackupPosition(std::uint32_t, std::uint32_t, std::uint32_t) {}
void InstallationPageSink::onBackupFinished(bool, std::uint32_t) {}

PageInstallationLogic::PageInstallationLogic(InstallerController& controller) : controller_(controller)
{
    const std::shared_ptr<InstallationProcessFactory>& factory = controller_.getInstallationProcessFactory();
    if (!factory)
        throw std::logic_error("the installation page needs the installation engine");
    process_ = factory->makeProcess(controller_, controller_.getPayloadArchive(), this);
    if (!process_)
        throw std::runtime_error("the installation run could not be made");
    run_ = process_.get();
}

PageInstallationLogic::~PageInstallationLogic()
{
    // The run's thread may report until its destructor has joined it.
    process_.reset();
}

void PageInstallationLogic::setSink(InstallationPageSink* sink)
{
    sink_.set(sink);
}

void PageInstallationLogic::setCompletionEvent(std::unique_ptr<CompletionEvent> event)
{
    nextEvent_ = std::move(event);
}

bool PageInstallationLogic::runUnattended()
{
    std::unique_ptr<CompletionEvent> event = nextEvent_ ? std::move(nextEvent_) : makeCompletionEvent();
    bool finishedOk = false;
    {
        EventTask task(*this, statusOutput_ ? *statusOutput_ : std::cout, std::move(event));
        finishedOk = task.wait();
    }
    return finishedOk ? PageLogic::runUnattended() : false;
}

void PageInstallationLogic::startProcess()
{
    if (controller_.getOptions().configMode == kConfigModeMake) {
        onSucceeded();
        return;
    }
    if (isNewVersionDownload() && !chooseNewInstallerTarget()) {
        onFailed();
        return;
    }
    process_->start();
}

bool PageInstallationLogic::chooseNewInstallerTarget()
{
    SharedString url;
    std::uint64_t size = 0;
    SharedString target;
    controller_.getNewVersionDownload(url, size, target);
    if (!target.isEmpty())
        return true;
    // A run that was a download from its start (update_mode newversion)
    // has had no page to choose the place: the first with room is taken.
    const SaveSpace room = findNewInstallerTarget(controller_, target);
    if (room < kSaveSpaceTight || !getNewVersionInfo(controller_, url, size)) {
        logError(SharedString().format(u"No folder has room for the new installer (answer %d)", room).view());
        return false;
    }
    controller_.setNewVersionDownload(url, static_cast<std::uint32_t>(size), target);
    logPrintf(u"The new installer is saved as %s", target);
    return true;
}

void PageInstallationLogic::pause()
{
    process_->pause();
    sink_.report([](InstallationPageSink& sink) { sink.onPaused(); });
}

void PageInstallationLogic::resume()
{
    process_->resume();
}

void PageInstallationLogic::abort()
{
    process_->cancel();
}

bool PageInstallationLogic::hasPackages() const
{
    return process_->hasPendingPackages();
}

bool PageInstallationLogic::hasRedistributables() const
{
    return controller_.getRedistributables().isPackageMissing();
}

std::uint32_t PageInstallationLogic::getBannerCount() const
{
    const InstallerOptions& options = controller_.getOptions();
    if (options.createBackup && options.updateMode != kUpdateModeNewVersion)
        return 0;
    return static_cast<std::uint32_t>(controller_.getInstallData().bannerCount());
}

std::uint32_t PageInstallationLogic::getBannerInterval() const
{
    return static_cast<std::uint32_t>(controller_.getInstallData().bannerInterval());
}

SharedString PageInstallationLogic::getBanner(std::uint32_t index, int variant, SharedString& link) const
{
    link.clear();
    if (index >= getBannerCount())
        return {};
    const BannerElementPtr& banner = controller_.getInstallData().bannerAt(static_cast<int>(index));
    if (!banner || !banner->screenAvailable(variant))
        return {};
    link = banner->link;
    return joinPath(controller_.getWorkFolder(), banner->fileName(variant, true));
}

bool PageInstallationLogic::isNewVersionDownload() const
{
    return controller_.getPageSequence().getMode() == kModeDownload;
}

bool PageInstallationLogic::noEndPage() const
{
    const InstallerOptions& options = controller_.getOptions();
    return options.configMode == kConfigModeUse || options.noWelcome;
}

std::uint64_t PageInstallationLogic::totalKilobytes() const
{
    return run_->getTotalBytes() >> 10;
}

void PageInstallationLogic::onProgressRange(std::uint64_t total)
{
    sink_.report([&](InstallationPageSink& sink) { sink.setProgressRange(total); });
}

void PageInstallationLogic::onProgressPosition(const SharedString& name, std::uint64_t position)
{
    sink_.report([&](InstallationPageSink& sink) { sink.setProgressPosition(name, position); });
}

void PageInstallationLogic::onRemoveOldInstallation(std::uint32_t, std::uint32_t b)
{
    sink_.report([&](InstallationPageSink& sink) { sink.onPhase(kPhaseRemovingOldInstallation, b); });
}

void PageInstallationLogic::onRemoveOldInstallationDone(std::uint32_t a, std::uint32_t b)
{
    sink_.report([&](InstallationPageSink& sink) { sink.onOldInstallationsRemoved(a, b); });
}

void PageInstallationLogic::onProgressValue(const SharedString& name, std::uint64_t value)
{
    sink_.report([&](InstallationPageSink& sink) { sink.setProgressValue(name, value); });
}

void PageInstallationLogic::onCheckPackages(std::uint32_t, std::uint32_t b)
{
    sink_.report([&](InstallationPageSink& sink) { sink.onPhase(kPhaseCheckingPackages, b); });
}

void PageInstallationLogic::onUninstallBegin(std::uint32_t, std::uint32_t b)
{
    sink_.report([&](InstallationPageSink& sink) { sink.onPhase(kPhaseUninstalling, b); });
}

void PageInstallationLogic::onCleanFolders(std::uint32_t, std::uint32_t b)
{
    sink_.report([&](InstallationPageSink& sink) { sink.onPhase(kPhaseCleaningFolders, b); });
}

void PageInstallationLogic::onRemoveFiles(std::uint32_t, std::uint32_t b)
{
    sink_.report([&](InstallationPageSink& sink) { sink.onPhase(kPhaseRemovingFiles, b); });
}

void PageInstallationLogic::onDownloadNewInstaller(std::uint32_t, std::uint32_t b)
{
    sink_.report([&](InstallationPageSink& sink) { sink.onPhase(kPhaseDownloadingInstaller, b); });
}

void PageInstallationLogic::onPhase3(std::uint32_t, std::uint32_t b)
{
    sink_.report([&](InstallationPageSink& sink) { sink.onPhase(kPhaseUntitled, b); });
}

void PageInstallationLogic::onInstallBegin(std::uint32_t, std::uint32_t b)
{
    const std::uint64_t total = totalKilobytes();
    sink_.report([&](InstallationPageSink& sink) {
        sink.onPhase(kPhaseInstalling, b);
        sink.setProgressRange(total);
    });
}

void PageInstallationLogic::onRollbackBegin(std::uint32_t, std::uint32_t b)
{
    const std::uint64_t total = totalKilobytes();
    sink_.report([&](InstallationPageSink& sink) {
        sink.onPhase(kPhaseRollingBack, b);
        sink.setProgressRange(total);
    });
}

void PageInstallationLogic::onValidating(std::uint32_t a, std::uint32_t b)
{
    sink_.report([&](InstallationPageSink& sink) { sink.onValidationBegin(a, b); });
}

void PageInstallationLogic::onValidatingEnd(std::uint32_t a, std::uint32_t b)
{
    sink_.report([&](InstallationPageSink& sink) { sink.onValidationEnd(a, b); });
}

void PageInstallationLogic::onDownloadBegin(std::uint64_t total)
{
    downloadStep_ = total / 1000;
    sink_.report([&](InstallationPageSink& sink) { sink.onDownloadBegin(total); });
}

void PageInstallationLogic::onDownloadProgress(const SharedString& name, std::uint64_t position)
{
    const bool inWindow = position >= lastDownloadPosition_ && position - lastDownloadPosition_ <= downloadStep_;
    if (inWindow && name == lastDownloadName_)
        return;
    lastDownloadPosition_ = position;
    lastDownloadName_ = name;
    sink_.report([&](InstallationPageSink& sink) { sink.onDownloadProgress(name, position); });
}

void PageInstallationLogic::onDownloadFinished(std::int32_t status)
{
    if (isNewVersionDownload())
        return;
    sink_.report([&](InstallationPageSink& sink) { sink.onDownloadFinished(status == 0, 0); });
}

bool PageInstallationLogic::askRetryDownload(const SharedString& name, std::int32_t)
{
    if (isNewVersionDownload())
        return false;
    return controller_.getUiCallback()->askRetryFeatureDownload(name, 0) != 0;
}

bool PageInstallationLogic::askSkipDownload(const SharedString& name)
{
    if (isNewVersionDownload())
        return false;
    return controller_.getUiCallback()->askSkipFeatureDownload(name, 0) != 0;
}

void PageInstallationLogic::onProgressBytes(const SharedString& name, std::uint64_t bytes)
{
    sink_.report([&](InstallationPageSink& sink) { sink.setProgressPosition(name, bytes >> 10); });
}

void PageInstallationLogic::onSucceeded()
{
    const bool changesMade = controller_.hasMadeChanges();
    if (controller_.getOptions().configMode != kConfigModeMake)
        controller_.setResult(changesMade ? kResultCompleted : kResultCompletedUnchanged);
    const bool noEnd = noEndPage();
    sink_.report([&](InstallationPageSink& sink) { sink.onRunFinished(true, changesMade, noEnd); });
}

void PageInstallationLogic::onFailed()
{
    // An outcome the run set already (canceled, rolled back) is kept.
    if (controller_.getResult() == kResultCompleted)
        controller_.setResult(kResultFailed);
    const bool noEnd = noEndPage();
    sink_.report([&](InstallationPageSink& sink) { sink.onRunFinished(false, false, noEnd); });
}

void PageInstallationLogic::onWaitingForDownload(std::uint32_t a, std::uint32_t b)
{
    sink_.report([&](InstallationPageSink& sink) { sink.onWaitingForDownload(a, b); });
}

int PageInstallationLogic::askOnError(const FeatureFailure& failure)
{
    return controller_.getUiCallback()->reportInstallToDestinationError(failure.featureName, failure.reason);
}

int PageInstallationLogic::askSkipFailedFeature(const FeatureFailure& failure)
{
    // A feature the program cannot do without is never left out, whoever answers.
    if (!failure.skippable)
        return 0;
    return controller_.getUiCallback()->askSkipFeatureInstall(failure.featureName, failure.reason);
}

int PageInstallationLogic::reportUninstallFeaturesError(std::uint32_t, std::uint32_t)
{
    return controller_.getUiCallback()->reportUninstallFeaturesError();
}

int PageInstallationLogic::reportUninstallError(std::uint32_t, std::uint32_t)
{
    return controller_.getUiCallback()->reportUninstallError();
}

int PageInstallationLogic::reportUninstallDeviceError(std::uint32_t, std::uint32_t)
{
    return controller_.getUiCallback()->reportUninstallDeviceError();
}

int PageInstallationLogic::askRollback(std::uint32_t, std::uint32_t)
{
    return controller_.getUiCallback()->askRollback();
}

void PageInstallationLogic::onBackupBegin(bool isBackup, std::uint32_t a, std::uint32_t b)
{
    const std::uint64_t range = (static_cast<std::uint64_t>(b) << 32) | a;
    sink_.report([&](InstallationPageSink& sink) {
        sink.onPhase(isBackup ? kPhaseBackup : kPhaseRestore, a);
        sink.setBackupRange(range);
    });
}

void PageInstallationLogic::onBackupProgress(std::uint32_t a, std::uint32_t b, std::uint32_t c)
{
    sink_.report([&](InstallationPageSink& sink) { sink.setBackupPosition(a, b, c); });
}

void PageInstallationLogic::onBackupFinished(std::int32_t code)
{
    constexpr std::int32_t kBackupCanceled = 5;
    controller_.setResult(code == 0 ? kResultCompleted : code == kBackupCanceled ? kResultCanceled : kResultFailed);
    sink_.report([&](InstallationPageSink& sink) { sink.onBackupFinished(code == 0, 0); });
}

void PageInstallationLogic::onStepsBegin(std::uint32_t a, std::uint32_t b)
{
    sink_.report([&](InstallationPageSink& sink) { sink.onStepsBegin(a, b); });
}

void PageInstallationLogic::onStep(std::uint32_t a, std::uint32_t b)
{
    sink_.report([&](InstallationPageSink& sink) { sink.onStep(a, b); });
}

void PageInstallationLogic::onStepDone(std::uint32_t a, std::uint32_t b)
{
    sink_.report([&](InstallationPageSink& sink) { sink.onStepDone(a, b); });
}

void PageInstallationLogic::onStepsEnd(std::uint32_t a, std::uint32_t b)
{
    sink_.report([&](InstallationPageSink& sink) { sink.onStepsEnd(a, b); });
}

void PageInstallationLogic::reportRedistributableError(const SharedString& name)
{
    SharedString error;
    error.format(u"%d", controller_.getRedistLastError());
    controller_.getUiCallback()->installErrorMessage(name, error);
}

void PageInstallationLogic::onRemainingTime(std::uint32_t a, std::uint32_t b)
{
    sink_.report([&](InstallationPageSink& sink) { sink.onRemainingTime(a, b); });
}

void PageInstallationLogic::reportRegistrationError(const SharedString& name, bool registering)
{
    controller_.getUiCallback()->registrationErrorMessage(name, registering);
}

}  // namespace druvex
