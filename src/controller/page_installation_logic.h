// PageInstallationLogic: the logic of the installation page, on the main road
// of every run that changes something. It makes the run through the
// controller's installation process factory, starts, pauses, resumes and
// cancels it, and as the run's listener turns each report into the
// controller's result, a question to the user or a call of the page's sink.
#pragma once

#include <atomic>
#include <cstdint>
#include <iosfwd>
#include <memory>

#include "controller/installation_page_sink.h"
#include "controller/page_logic.h"
#include "controller/page_sink_slot.h"
#include "fileutil/installation_process_listener.h"
#include "text/shared_string.h"

namespace druvex {

class CompletionEvent;
class InstallationRun;
class InstallerController;

class PageInstallationLogic final : public PageLogic, public InstallationProcessListener {
public:
    // Makes the run of the controller's current mode. Throws when the
    // controller has no installation process factory or the run cannot be made.
    explicit PageInstallationLogic(InstallerController& controller);
    // Destroys the run first, which ends its thread while this listener stands.
    ~PageInstallationLogic() override;
    PageInstallationLogic(const PageInstallationLogic&) = delete;
    PageInstallationLogic& operator=(const PageInstallationLogic&) = delete;

    // The page decides itself when Next is offered; there is no way back.
    bool onNext() override { return true; }
    bool onBack() override { return false; }
    // The silent run: waits for the run's end (EventTask), printing each new
    // item name on its own line; true when the run succeeded.
    bool runUnattended() override;

    // The sink the page (or the silent waiter) registers; null drops reports.
    void setSink(InstallationPageSink* sink);
    void clearSink() { setSink(nullptr); }

    // A "make_config" run only writes the configuration: it succeeds at once.
    void startProcess();
    void pause();
    void resume();
    void abort();
    bool hasPackages() const;
    // A redistributable still to be installed has to be downloaded first.
    bool hasRedistributables() const;
    // 0 in a backup run that is not a new-version update; else the install
    // data's banner count.
    std::uint32_t getBannerCount() const;
    std::uint32_t getBannerInterval() const;
    // The image of banner `index` for the screen variant, in the work folder,
    // and its link; both empty when the banner has none for the variant.
    SharedString getBanner(std::uint32_t index, int variant, SharedString& link) const;
    void setCurrentPhase(std::uint32_t code) { currentPhase_.store(code); }
    std::uint32_t getCurrentPhase() const { return currentPhase_.load(); }

    // Where a silent run writes its item names (null: the standard output)
    // and the event the next waiter sleeps on (null: a manual-reset event);
    // for tests. Set before runUnattended.
    void setStatusOutput(std::ostream* out) { statusOutput_ = out; }
    void setCompletionEvent(std::unique_ptr<CompletionEvent> event);

    // --- InstallationProcessListener ---------------------------------------
    void onProgressRange(std::uint64_t total) override;
    void onProgressPosition(const SharedString& name, std::uint64_t position) override;
    void onProgressEnd() override {}
    void onRemoveOldInstallation(std::uint32_t a, std::uint32_t b) override;
    void onRemoveOldInstallationDone(std::uint32_t a, std::uint32_t b) override;
    void onProgressValue(const SharedString& name, std::uint64_t value) override;
    void onCheckPackages(std::uint32_t a, std::uint32_t b) override;
    void onUninstallBegin(std::uint32_t a, std::uint32_t b) override;
    void onCleanFolders(std::uint32_t a, std::uint32_t b) override;
    void onRemoveFiles(std::uint32_t a, std::uint32_t b) override;
    void onDownloadNewInstaller(std::uint32_t a, std::uint32_t b) override;
    void onPhase3(std::uint32_t a, std::uint32_t b) override;
    void onInstallBegin(std::uint32_t a, std::uint32_t b) override;
    void onRollbackBegin(std::uint32_t a, std::uint32_t b) override;
    void onValidating(std::uint32_t a, std::uint32_t b) override;
    void onValidatingEnd(std::uint32_t a, std::uint32_t b) override;
    void onDownloadBegin(std::uint64_t total) override;
    // Passed on only when it leaves the window of the position last passed on
    // (a thousandth of the download) or names another item.
    void onDownloadProgress(const SharedString& name, std::uint64_t position) override;
    void onDownloadFinished(std::int32_t status) override;
    bool askRetryDownload(const SharedString& name, std::int32_t status) override;
    bool askSkipDownload(const SharedString& name) override;
    void onProgressBytes(const SharedString& name, std::uint64_t bytes) override;
    // The run's end sets the controller's result whether or not a sink is
    // registered: a failed run must never stay reported as completed.
    void onSucceeded() override;
    void onFailed() override;
    void onWaitingForDownload(std::uint32_t a, std::uint32_t b) override;
    int askOnError(const FeatureFailure& failure) override;
    int askSkipFailedFeature(const FeatureFailure& failure) override;
    int reportUninstallFeaturesError(std::uint32_t a, std::uint32_t b) override;
    int reportUninstallError(std::uint32_t a, std::uint32_t b) override;
    int reportUninstallDeviceError(std::uint32_t a, std::uint32_t b) override;
    int askRollback(std::uint32_t a, std::uint32_t b) override;
    void onBackupBegin(bool isBackup, std::uint32_t a, std::uint32_t b) override;
    void onBackupProgress(std::uint32_t a, std::uint32_t b, std::uint32_t c) override;
    void onBackupFinished(std::int32_t code) override;
    void onStepsBegin(std::uint32_t a, std::uint32_t b) override;
    void onStep(std::uint32_t a, std::uint32_t b) override;
    void onStepDone(std::uint32_t a, std::uint32_t b) override;
    void onStepsEnd(std::uint32_t a, std::uint32_t b) override;
    void reportRedistributableError(const SharedString& name) override;
    void onRemainingTime(std::uint32_t a, std::uint32_t b) override;
    void reportRegistrationError(const SharedString& name, bool registering) override;

private:
    // In a download of the new installer without a place chosen for it:
    // the save folder with room enough; false when there is none.
    bool chooseNewInstallerTarget();
    bool isNewVersionDownload() const;
    bool noEndPage() const;
    std::uint64_t totalKilobytes() const;

    InstallerController& controller_;
    // Cleared only between two reports, so a waiter that goes never receives
    // a report after its end.
    PageSinkSlot<InstallationPageSink> sink_;
    std::unique_ptr<InstallationRun> process_;
    // The same run, for the reports of its own thread: set once, before the
    // run starts, and never changed.
    InstallationRun* run_ = nullptr;
    // Touched by the reporting thread only.
    std::uint64_t downloadStep_ = 0;
    SharedString lastDownloadName_;
    std::uint64_t lastDownloadPosition_ = 0;
    std::atomic<std::uint32_t> currentPhase_{0};
    std::ostream* statusOutput_ = nullptr;
    std::unique_ptr<CompletionEvent> nextEvent_;
};

}  // namespace druvex
