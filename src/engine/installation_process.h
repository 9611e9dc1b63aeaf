// InstallationProcess: one run of the current wizard mode on a worker thread
// of its own: an installation, update, repair or change of features, an
// uninstallation, or the download of a newer installer. It removes older
// installations, installs the redistributables, unpacks each feature's
// package (from the archive, a local file or a download) through the host
// node writer and the feature node writer, removes the features that go,
// writes shortcuts, file types and registry trees, and ends with "data.xml",
// "InstalledLog.xml" (last of all) and "_config.xml". Every change on the
// target goes through a journaling host, so a run that fails or is canceled
// can be rolled back when the listener agrees. Pause, resume and cancel may
// come from any thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "controller/installation_run.h"
#include "controller/redistributables_manager.h"
#include "controller/uninstall_launcher.h"
#include "controller/wizard_pages.h"
#include "core/thread_utils.h"
#include "engine/feature_install_run.h"
#include "engine/install_plan.h"
#include "fileutil/rate_estimator.h"
#include "liveupdate/package_installer.h"
#include "text/mutex.h"

namespace druvex {

class ContentFolder;
class InstallationProcess;
class InstallationProcessListener;
class InstalledLog;
class RunController;
class JournalingHal;
class LzmaDecodeAhead;
class PackageNodeWriter;
class PayloadSink;
class PackageUnpacker;
class PayloadArchive;
class RollbackJournal;
struct PackageSource;

// The end codes of a backup run.
constexpr std::int32_t kBackupDone = 0;
constexpr std::int32_t kBackupFailed = 1;
constexpr std::int32_t kBackupCanceled = 5;

// The full backup and its restore, which come with an engine part of their
// own: a backup run and the restore after an installation from a full
// backup. Without it a backup ends failed and a restore counts as failed:
// neither may pass for done.
class BackupRestoreSteps {
public:
    virtual ~BackupRestoreSteps() = default;
    // The backup; its end code (kBackupDone, kBackupCanceled, any other failed).
    virtual std::int32_t runBackup(InstallationProcess& process) = 0;
    // The restore after the installation; true when done.
    virtual bool runRestore(InstallationProcess& process) = 0;
};

class InstallationProcess final : public InstallationRun,
                                  public FeatureInstallRun,
                                  public PackageInstallerListener,
                                  public RedistributableInstallObserver,
                                  public UninstallCancelCallback {
public:
    // Takes the run's mode from the controller, and again when the run
    // starts. `listener` (may be null)
    // hears every report; `backupRestore` (may be null) runs backups and
    // restores. Each must outlive the process.
    InstallationProcess(RunController& controller, PayloadArchive& payload,
                        InstallationProcessListener* listener,
                        std::shared_ptr<BackupRestoreSteps> backupRestore = nullptr);
    // A run still going is canceled and rolled back without a question
    // (nobody is left to answer it), then its thread is joined.
    ~InstallationProcess() override;
    InstallationProcess(const InstallationProcess&) = delete;
    InstallationProcess& operator=(const InstallationProcess&) = delete;

    // --- InstallationRun -----------------------------------------------------
    void start() override;
    void pause() override;
    void resume() override;
    void cancel() override;
    RunState getRunState() const override;
    bool hasPendingPackages() const override;
    std::uint64_t getTotalBytes() const override { return totalBytes_.load(); }
    SharedString getFailedFeatureName() const override;

    // Runs the controller's uninstall launchers in list order, telling the
    // listener before and after; false when one of them stops the removals.
    // The prerequisites page calls it through a process it does not start.
    bool removeOldInstallations() override;

    // The run's listener, controller and payload, for the backup steps.
    InstallationProcessListener* listener() const { return listener_; }
    RunController& controller() const { return controller_; }
    PayloadArchive& payload() const { return payload_; }
    const InstallPlan& plan() const { return plan_; }

    // --- FeatureInstallRun (the installation thread) ------------------------
    void waitIfPausedAndCheckCanceled(bool& canceled) override;
    bool processQueuedRequests() override;
    void reportDownloadProgress(const SharedString& path, std::uint64_t bytes) override;
    void addEstimateSample(std::uint64_t bytes) override;
    // The device's host cannot end other processes; once it has said so it
    // is not asked again.
    bool closeLockingProcesses(const std::vector<LockingProcess>& processes) override;
    void waitMilliseconds(std::uint32_t milliseconds) override;
    bool hasAdministratorRights() const override;
    std::shared_ptr<HalAccess> getHalIn() const override;
    // The journaling hosts of the run once it has begun; the controller's before.
    std::shared_ptr<HalAccess> getHalOut() const override;
    std::shared_ptr<HalAccess> getHalOutElevated() const override;
    bool isDesktopTarget() const override;
    bool isRebootRequired() const override;
    void setRebootRequired() override;
    std::shared_ptr<InstallerUiCallback> getUiCallback() const override;
    std::shared_ptr<InstalledLog> getInstalledLog() const override;
    std::shared_ptr<LanguageTemplate> findLanguageTemplate(const Feature& feature) const override;
    SharedString getDestinationFolder() const override;
    SharedString resolveHostPath(const SharedString& folder, const SharedString& name) override;

    // --- The redistributables step and the removers' waits ----------------
    void onRedistributableStart(const SharedString& displayName, int index, int count) override;
    void onRedistributableInstallerRun(const SharedString& displayName) override;
    // The run was canceled: a remover is left to itself.
    bool shouldStopWaiting() override;

    // --- PackageInstallerListener (the downloader's thread) ----------------
    void onPackageStarted(const FeaturePtr& feature, PackageJob& job) override;
    void onPackageRate(std::uint64_t rate, std::uint64_t missing) override;
    void onPackageReady(const FeaturePtr& feature, const SharedString& path) override;
    void onPackageSkipped(const FeaturePtr& feature) override;
    void onAllPackagesHandled() override;
    void onPackagesFailed() override;

private:
    // A package that arrived, for the installation thread.
    struct QueuedPackage {
        FeaturePtr feature;
        SharedString path;
    };
    // How a feature's installation ended.
    enum class FeatureOutcome { Installed, Skipped, Failed };

    void run();
    // The run of each kind of mode; false when it failed or was canceled.
    bool runInstallation();
    bool runUninstallation();
    bool runNewInstallerDownload();
    std::int32_t runBackup();

    // Steps of the installation.
    void beginJournal();
    bool hook(const char16_t* name);
    bool installRedistributables();
    bool checkPackages(const std::vector<FeaturePtr>& features);
    // Whether the feature's package is where its first source says; false
    // with `location` the place looked at (empty when it has no source).
    bool findPackage(const Feature& feature, SharedString& location) const;
    // Why the feature's package is nowhere to be had, naming the places it
    // may come from and was looked for in.
    SharedString packageNotHadReason(const Feature& feature) const;
    // A feature that only groups others, without content of its own and
    // with no package anywhere: nothing to unpack.
    bool needsNoPackage(const Feature& feature) const;
    bool removeFeatures(const std::vector<FeaturePtr>& records);
    bool removeInstalledFeature(const Feature& record);
    bool installFeatures(const std::vector<FeaturePtr>& features);
    bool waitForDownloads();
    // The LZMA decoding of the features' packages, in the order given, on
    // the other cores while this thread writes (nothing with one core).
    void startDecodingAhead(const std::vector<FeaturePtr>& features);
    void endDecodingAhead();
    // The feature's package from its decoder ahead, as extractPackage would
    // have decoded it; empty when it has none (any more).
    std::optional<bool> takeDecodedAhead(const Feature& feature, PayloadSink& sink);
    FeatureOutcome installFeature(const FeaturePtr& feature, bool fromQueue, const SharedString& downloadedPath);
    bool extractPackage(const Feature& feature, const SharedString& downloadedPath, PackageUnpacker& unpacker,
                        PackageNodeWriter& writer);
    // Writes a local file's content tree (folders, then each file, which the
    // writer copies from its OrigPath).
    bool writeLocalContent(const ContentFolder& folder, PackageNodeWriter& writer);
    bool writeFeatureRecords();
    bool runFeatureScripts(const Feature& feature, std::int32_t time);
    // When the run installs another version over an installed one, the
    // installer's copy in the product data folder: the program as
    // "setup.exe", every entry of its archive as "setup.dqres".
    bool copyInstallerIfUpgrading();
    bool copyInstallerProgram(const SharedString& setupExe);
    bool copyInstallerArchive(const SharedString& archivePath);
    bool writeProductFiles();
    void setAsideUnreadableInstalledLog();
    std::shared_ptr<InstalledLog> buildInstalledLog() const;
    // A run that needs a reboot to complete leaves the wizard's state where
    // the installer started again after it takes it back.
    void saveStateForReboot();
    // A run whose rollback was declined: the installed log then tells what
    // stands (the features removed are gone, those installed are there).
    void writeInstalledLogOfWhatStands();
    // The packages that downloads handed over and no feature took (the run
    // ended first) are deleted, and the packages folder goes when empty.
    void discardArrivedPackages();
    // After a failure or a cancel: asks whether to roll back and does it.
    void endFailed(bool canceled);
    bool isCanceled();
    void setFailedFeatureName(const SharedString& name);
    std::uint64_t packageSize(const Feature& feature) const;

    RunController& controller_;
    PayloadArchive& payload_;
    InstallationProcessListener* listener_;
    std::shared_ptr<BackupRestoreSteps> backupRestore_;
    // The page list's mode when the run starts (see start).
    WizardMode mode_;

    mutable Mutex runMutex_;
    ConditionVariable runChanged_;
    RunState runState_ GUARDED_BY(runMutex_) = kRunStateIdle;
    // The same word for the checks made at every write, read without the lock.
    std::atomic<RunState> fastState_{kRunStateIdle};
    std::atomic<bool> abandoned_{false};
    WorkerThread worker_;

    std::unique_ptr<RollbackJournal> journal_;
    std::shared_ptr<JournalingHal> halOut_;
    std::shared_ptr<HalAccess> halOutElevated_;
    InstallPlan plan_;
    ItemObserver observer_;
    // The feature being unpacked; a package that arrives meanwhile is
    // unpacked in between, and the plan goes back to this one's record after.
    FeaturePtr currentFeature_;
    // What the run installed, one installed-log record per feature.
    std::vector<FeaturePtr> installedRecords_;
    // The installed features the run removed.
    std::vector<FeaturePtr> removedRecords_;
    // The redistributables whose own installers ran: a rollback cannot undo them.
    std::vector<SharedString> redistributablesRun_;
    bool changedSomething_ = false;

    std::atomic<std::uint64_t> totalBytes_{0};
    std::uint64_t doneBytes_ = 0;
    std::uint64_t lastReportedBytes_ = 0;
    RateEstimator estimator_;
    std::uint64_t runStartMs_ = 0;
    std::uint32_t lastRemainingSeconds_ = 0;
    bool hostEndsProcesses_ = true;

    // Set and reset on the installation thread; the lock lets pause, resume
    // and cancel reach it.
    Mutex aheadMutex_;
    std::unique_ptr<LzmaDecodeAhead> decodeAhead_ GUARDED_BY(aheadMutex_);
    std::unordered_map<const Feature*, std::size_t> aheadStreams_ GUARDED_BY(aheadMutex_);

    // Set and reset on the installation thread; the lock lets cancel reach it.
    Mutex installerMutex_;
    std::unique_ptr<PackageInstaller> packageInstaller_ GUARDED_BY(installerMutex_);
    SharedString packagesFolder_;
    // What the downloads hand over; guarded by queueMutex_.
    mutable Mutex queueMutex_;
    ConditionVariable queueChanged_;
    std::deque<QueuedPackage> queue_ GUARDED_BY(queueMutex_);
    std::size_t downloadsOutstanding_ GUARDED_BY(queueMutex_) = 0;
    bool downloadsFailed_ GUARDED_BY(queueMutex_) = false;
    std::atomic<std::size_t> pendingPackages_{0};

    mutable Mutex nameMutex_;
    SharedString failedFeatureName_ GUARDED_BY(nameMutex_);
};

// The pool the decoders ahead share, in bytes and in chunks of bytes, for
// the runs that start afterwards; 0 and 0 restore the bound a run keeps to.
// Lets one test process fill the pool with a small product. Tests only: the
// program never calls it.
void setDecodeAheadPoolForTests(std::size_t bufferBytes, std::size_t chunkBytes);

// The engine's maker of installation runs, which the application hands to
// the controller.
class EngineProcessFactory final : public InstallationProcessFactory {
public:
    explicit EngineProcessFactory(std::shared_ptr<BackupRestoreSteps> backupRestore = nullptr)
        : backupRestore_(std::move(backupRestore))
    {
    }
    std::unique_ptr<InstallationRun> makeProcess(RunController& controller, PayloadArchive& payload,
                                                 InstallationProcessListener* listener) override;

private:
    std::shared_ptr<BackupRestoreSteps> backupRestore_;
};

}  // namespace druvex
