// The installation process's own machinery: its thread and run state, what
// the feature node writer asks of the run, the packages the downloads hand
// over, progress and the remaining time, and the end of a run with its
// rollback. The steps of each mode are in installation_steps.cpp.
#include "engine/installation_process.h"

#include <algorithm>
#include <chrono>
#include <exception>

#include "controller/redistributables_manager.h"
#include "controller/run_controller.h"
#include "data/installed_log.h"
#include "engine/journaling_hal.h"
#include "engine/rollback_journal.h"
#include "fileutil/file_util.h"
#include "fileutil/installation_process_listener.h"
#include "fileutil/operation_log.h"
#include "hal/hal_access.h"
#include "payload/install_destination.h"
#include "payload/lzma_decode_ahead.h"
#include "text/mutex.h"

namespace druvex {

namespace {

std::uint64_t steadyMilliseconds()
{
    using namespace std::chrono;
    return static_cast<std::uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

enum class RunWork { Install, Uninstall, DownloadInstaller };

RunWork workOfMode(WizardMode mode)
{
    switch (mode) {
    case kModeUninstall:
        return RunWork::Uninstall;
    case kModeDownload:
        return RunWork::DownloadInstaller;
    case kModeNone:
    case kModeStart:
    case kModeInstall:
    case kModeUpdate:
    case kModeAddRemove:
    case kModeMaintenance:
    case kModeMaintenanceWithoutLog:
    case kModeRepairBroken:
    case kModeRepair:
    case kModeBackup:
        return RunWork::Install;
    }
    // A stored number outside the set installs, as the modes without a run
    // of their own do.
    return RunWork::Install;
}

}  // namespace

InstallationProcess::InstallationProcess(RunController& controller, PayloadArchive& payload,
                                         InstallationProcessListener* listener,
                                         std::shared_ptr<BackupRestoreSteps> backupRestore)
    : controller_(controller),
      payload_(payload),
      listener_(listener),
      backupRestore_(std::move(backupRestore))
{
}

InstallationProcess::~InstallationProcess()
{
    // Whoever destroys a running process cannot answer its questions any
    // more: the run is canceled and undone.
    abandoned_.store(true);
    cancel();
    if (worker_.joinable())
        worker_.join();
    MutexLock lock(installerMutex_);
    packageInstaller_.reset();
}

// --- Run state ---------------------------------------------------------------

void InstallationProcess::start()
{
    {
        MutexLock lock(runMutex_);
        if (runState_ != kRunStateIdle)
            return;
        runState_ = kRunStateRunning;
        fastState_.store(kRunStateRunning);
    }
    // The installation page's logic, and this process with it, is made when
    // a page list is first reset, before the mode of a backup or an
    // uninstallation is built on it: the run is of the mode it starts in.
    mode_ = controller_.getWizardMode();
    logInfo(SharedString().format(u"The installation process runs wizard mode %d", mode_));
    WorkerThread worker([this] { run(); });
    worker_ = std::move(worker);
}

void InstallationProcess::pause()
{
    MutexLock lock(runMutex_);
    if (runState_ != kRunStateRunning)
        return;
    runState_ = kRunStatePaused;
    fastState_.store(kRunStatePaused);
    MutexLock aheadLock(aheadMutex_);
    if (decodeAhead_)
        decodeAhead_->pause();
}

void InstallationProcess::resume()
{
    MutexLock lock(runMutex_);
    if (runState_ != kRunStatePaused)
        return;
    runState_ = kRunStateRunning;
    fastState_.store(kRunStateRunning);
    runChanged_.notify_all();
    MutexLock aheadLock(aheadMutex_);
    if (decodeAhead_)
        decodeAhead_->resume();
}

void InstallationProcess::cancel()
{
    {
        MutexLock lock(runMutex_);
        if (runState_ != kRunStateIdle && runState_ != kRunStateRunning && runState_ != kRunStatePaused)
            return;
        runState_ = kRunStateCanceled;
        fastState_.store(kRunStateCanceled);
        runChanged_.notify_all();
    }
    controller_.getRedistributables().cancelInstall();
    {
        MutexLock lock(aheadMutex_);
        if (decodeAhead_)
            decodeAhead_->stop();
    }
    {
        MutexLock lock(installerMutex_);
        if (packageInstaller_)
            packageInstaller_->cancel();
    }
    MutexLock lock(queueMutex_);
    queueChanged_.notify_all();
}

RunState InstallationProcess::getRunState() const
{
    MutexLock lock(runMutex_);
    return runState_;
}

bool InstallationProcess::hasPendingPackages() const
{
    return pendingPackages_.load() > 0;
}

SharedString InstallationProcess::getFailedFeatureName() const
{
    MutexLock lock(nameMutex_);
    return failedFeatureName_;
}

void InstallationProcess::setFailedFeatureName(const SharedString& name)
{
    MutexLock lock(nameMutex_);
    failedFeatureName_ = name;
}

void InstallationProcess::waitIfPausedAndCheckCanceled(bool& canceled)
{
    // Every write of every file passes here: the common case reads one word.
    if (fastState_.load(std::memory_order_relaxed) == kRunStateRunning && !controller_.isCancelRequested()) {
        canceled = false;
        return;
    }
    MutexLock lock(runMutex_);
    runChanged_.wait(runMutex_, [&]() REQUIRES(runMutex_) { return runState_ != kRunStatePaused; });
    canceled = runState_ == kRunStateCanceled || controller_.isCancelRequested();
}

bool InstallationProcess::isCanceled()
{
    bool canceled = false;
    waitIfPausedAndCheckCanceled(canceled);
    return canceled;
}

void InstallationProcess::waitMilliseconds(std::uint32_t milliseconds)
{
    MutexLock lock(runMutex_);
    runChanged_.wait_for(runMutex_, std::chrono::milliseconds(milliseconds),
                         [&]() REQUIRES(runMutex_) { return runState_ == kRunStateCanceled; });
}

// --- The run -------------------------------------------------------------------

void InstallationProcess::run()
{
    runStartMs_ = steadyMilliseconds();
    if (mode_ == kModeBackup) {
        const std::int32_t code = runBackup();
        {
            MutexLock lock(runMutex_);
            runState_ = kRunStateFinished;
        }
        if (listener_)
            listener_->onBackupFinished(code);
        return;
    }

    bool succeeded = false;
    try {
        switch (workOfMode(mode_)) {
        case RunWork::Uninstall:
            succeeded = runUninstallation();
            break;
        case RunWork::DownloadInstaller:
            succeeded = runNewInstallerDownload();
            break;
        case RunWork::Install:
            succeeded = runInstallation();
            break;
        }
    } catch (const std::exception& error) {
        succeeded = failRun(controller_, u"The installation stopped: " + fromUtf8(error.what()));
    }
    {
        MutexLock lock(installerMutex_);
        if (packageInstaller_)
            packageInstaller_->cancel();
        packageInstaller_.reset();
    }
    discardArrivedPackages();
    pendingPackages_.store(0);

    if (succeeded) {
        if (journal_)
            journal_->commit();
        controller_.setHasMadeChanges(controller_.hasMadeChanges() || changedSomething_);
        // The bulletin this run knew stays beside the installed log for a
        // later run that finds no update server.
        if (mode_ != kModeUninstall && mode_ != kModeDownload)
            controller_.saveLastBulletin();
        saveStateForReboot();
    } else {
        endFailed(isCanceled());
    }
    {
        MutexLock lock(runMutex_);
        runState_ = kRunStateFinished;
    }
    if (!listener_)
        return;
    if (succeeded)
        listener_->onSucceeded();
    else
        listener_->onFailed();
}

std::int32_t InstallationProcess::runBackup()
{
    if (!backupRestore_) {
        failRun(controller_, SharedString(u"Full backups are not available in this installer"));
        controller_.setResult(kResultFailed);
        return kBackupFailed;
    }
    return backupRestore_->runBackup(*this);
}

void InstallationProcess::endFailed(bool canceled)
{
    // The outcome is the controller's before anyone is asked anything: a run
    // that failed never reads as completed, whoever listens.
    if (canceled) {
        controller_.setResult(kResultCanceled);
        controller_.setFailureReason(SharedString(u"The run was canceled"));
    }
    else if (controller_.getResult() == kResultCompleted || controller_.getResult() == kResultCompletedUnchanged)
        controller_.setResult(kResultFailed);
    // What the redistributables' own installers did is theirs: no rollback
    // reaches it, and the log says so rather than promise a device as before.
    SharedString notUndone;
    for (const SharedString& name : redistributablesRun_)
        notUndone += (notUndone.isEmpty() ? u"" : u", ") + name;
    // Said as information: the reason the run failed is the step's that failed.
    if (!journal_ || !journal_->hasChanges()) {
        if (!notUndone.isEmpty())
            logInfo((u"What the installers of the redistributables " + notUndone + u" changed stays").view());
        return;
    }

    bool rollBack = true;
    if (!abandoned_.load() && listener_)
        rollBack = listener_->askRollback(0, 0) != 0;
    if (!rollBack) {
        // The program stays as far as the run took it; the installed log
        // says so, and the kept files go.
        writeInstalledLogOfWhatStands();
        journal_->commit();
        controller_.setHasMadeChanges(true);
        return;
    }
    if (listener_)
        listener_->onRollbackBegin(0, 0);
    logInfo(u"Rolling back the installation");
    const bool complete = journal_->undo();
    controller_.setResult(complete && notUndone.isEmpty() ? kResultRolledBack : kResultRollbackIncomplete);
    if (complete && notUndone.isEmpty())
        logInfo(u"Rollback done: the target is as it was before the installation");
    else if (complete)
        logError((u"Rollback done, except for what the installers of the redistributables " + notUndone +
                  u" changed: no rollback undoes that")
                     .view());
    else if (notUndone.isEmpty())
        logError(u"Rollback incomplete: some changes could not be undone");
    else
        logError((u"Rollback incomplete: some changes could not be undone, nor what the installers of the "
                  u"redistributables " + notUndone + u" changed")
                     .view());
}

void InstallationProcess::discardArrivedPackages()
{
    std::deque<QueuedPackage> left;
    {
        MutexLock lock(queueMutex_);
        left.swap(queue_);
    }
    // The downloads wrote past the journal, so a rollback would not know them.
    const std::shared_ptr<HalAccess> host = controller_.getHalOut();
    for (const QueuedPackage& package : left) {
        logInfo((u"The downloaded package " + package.path + u" was not unpacked and is deleted").view());
        deleteFileOrLog(*host, package.path);
    }
    if (!packagesFolder_.isEmpty())
        removeDirectoryOrLog(*host, packagesFolder_);
}

// --- What the feature node writer asks ------------------------------------------

bool InstallationProcess::processQueuedRequests()
{
    for (;;) {
        QueuedPackage request;
        {
            // Taken from the queue under its lock, handled outside it: an
            // unpacking may take long, and pause, cancel and the downloads
            // must get through meanwhile.
            MutexLock lock(queueMutex_);
            if (queue_.empty())
                return true;
            request = std::move(queue_.front());
            queue_.pop_front();
        }
        const FeatureOutcome outcome = installFeature(request.feature, true, request.path);
        deleteFileOrLog(halOut_->inner(), request.path);
        pendingPackages_.fetch_sub(1);
        if (outcome == FeatureOutcome::Failed)
            return false;
    }
}

void InstallationProcess::reportDownloadProgress(const SharedString& path, std::uint64_t bytes)
{
    doneBytes_ += bytes;
    const std::uint64_t total = totalBytes_.load();
    if (!listener_ || doneBytes_ - lastReportedBytes_ <= total / 100)
        return;
    lastReportedBytes_ = doneBytes_;
    listener_->onProgressBytes(path, doneBytes_);
}

void InstallationProcess::addEstimateSample(std::uint64_t bytes)
{
    const std::uint64_t now = steadyMilliseconds() - runStartMs_;
    estimator_.addSample(now, now, bytes);
    std::uint64_t rate = 0;
    if (!listener_ || !estimator_.getRate(rate) || rate == 0)
        return;
    const std::uint64_t total = totalBytes_.load();
    const std::uint64_t left = total > doneBytes_ ? total - doneBytes_ : 0;
    const auto seconds = static_cast<std::uint32_t>(std::min<std::uint64_t>(left / rate, UINT32_MAX));
    if (seconds == lastRemainingSeconds_)
        return;
    lastRemainingSeconds_ = seconds;
    listener_->onRemainingTime(seconds, 0);
}

bool InstallationProcess::closeLockingProcesses(const std::vector<LockingProcess>& processes)
{
    if (!hostEndsProcesses_)
        return false;
    std::uint32_t closed = 0;
    if (!getHalOut()->closeLockingProcesses(processes, closed)) {
        hostEndsProcesses_ = false;
        return false;
    }
    return closed == processes.size();
}

bool InstallationProcess::hasAdministratorRights() const
{
    return controller_.hasAdministratorRights();
}

std::shared_ptr<HalAccess> InstallationProcess::getHalIn() const
{
    return controller_.getHalIn();
}

std::shared_ptr<HalAccess> InstallationProcess::getHalOut() const
{
    if (halOut_)
        return halOut_;
    return controller_.getHalOut();
}

std::shared_ptr<HalAccess> InstallationProcess::getHalOutElevated() const
{
    if (halOutElevated_)
        return halOutElevated_;
    return controller_.getHalOutElevated();
}

bool InstallationProcess::isDesktopTarget() const
{
    return controller_.isDesktopTarget();
}

bool InstallationProcess::isRebootRequired() const
{
    return controller_.isRebootRequired();
}

void InstallationProcess::setRebootRequired()
{
    if (!controller_.isRebootRequired())
        logInfo(u"A file in use was replaced: the installation needs a reboot to complete");
    controller_.setRebootRequired(true);
}

std::shared_ptr<InstallerUiCallback> InstallationProcess::getUiCallback() const
{
    return controller_.getUiCallback();
}

std::shared_ptr<InstalledLog> InstallationProcess::getInstalledLog() const
{
    return controller_.getInstalledLog();
}

std::shared_ptr<LanguageTemplate> InstallationProcess::findLanguageTemplate(const Feature& feature) const
{
    return controller_.findLanguageTemplate(&feature);
}

SharedString InstallationProcess::getDestinationFolder() const
{
    return controller_.getDestinationFolder();
}

SharedString InstallationProcess::resolveHostPath(const SharedString& folder, const SharedString& name)
{
    InstallDestination* destination = controller_.getDestination();
    return destination ? destination->resolveHostPath(folder, name) : SharedString();
}

// --- What the downloads hand over -------------------------------------------------

void InstallationProcess::onPackageStarted(const FeaturePtr& feature, PackageJob&)
{
    if (feature)
        logInfo((u"Downloading the package of " + feature->getName()).view());
}

void InstallationProcess::onPackageRate(std::uint64_t rate, std::uint64_t missing)
{
    if (!listener_)
        return;
    const auto kilobytes = [](std::uint64_t bytes) {
        return static_cast<std::uint32_t>(std::min<std::uint64_t>(bytes >> 10, UINT32_MAX));
    };
    listener_->onWaitingForDownload(kilobytes(rate), kilobytes(missing));
}

void InstallationProcess::onPackageReady(const FeaturePtr& feature, const SharedString& path)
{
    MutexLock lock(queueMutex_);
    queue_.push_back({feature, path});
    if (downloadsOutstanding_ > 0)
        --downloadsOutstanding_;
    queueChanged_.notify_all();
}

void InstallationProcess::onPackageSkipped(const FeaturePtr& feature)
{
    if (feature) {
        feature->setFailed(true);
        logInfo((u"The package of " + feature->getName() + u" was skipped").view());
        controller_.addSkippedFeature(feature->getDisplayName());
    }
    pendingPackages_.fetch_sub(1);
    MutexLock lock(queueMutex_);
    if (downloadsOutstanding_ > 0)
        --downloadsOutstanding_;
    queueChanged_.notify_all();
}

void InstallationProcess::onAllPackagesHandled()
{
    MutexLock lock(queueMutex_);
    downloadsOutstanding_ = 0;
    queueChanged_.notify_all();
}

void InstallationProcess::onPackagesFailed()
{
    MutexLock lock(queueMutex_);
    downloadsFailed_ = true;
    queueChanged_.notify_all();
}

// --- The factory -------------------------------------------------------------------

std::unique_ptr<InstallationRun> EngineProcessFactory::makeProcess(RunController& controller,
                                                                   PayloadArchive& payload,
                                                                   InstallationProcessListener* listener)
{
    return std::make_unique<InstallationProcess>(controller, payload, listener, backupRestore_);
}

}  // namespace druvex
