// PageInstallationDlg: the installation page. It starts the run of its logic
// and shows it: the phase, the item in work with the progress bar, the bytes
// done and the downloads. The run reports on its own thread: each report is
// stored under the page's mutex and at most one message is posted to the UI
// thread until it has been handled, so a flood of reports never waits on the
// terminal and the page shows the latest state. Cancel pauses the run while
// the person is asked, then cancels or resumes it. When the run ends the
// wizard moves on to the end page by itself.
//
// Below, the installer's banners take turns at the banner interval. A
// terminal cannot draw a banner's picture: it shows what the banner leads to
// (its link, which a person can type into a browser), or, for a banner
// without a link, the name of its picture, so that one tells them apart.
#pragma once

#include <cstdint>
#include <vector>

#include "app/wizard_page.h"
#include "controller/installation_page_sink.h"
#include "text/mutex.h"
#include "ui_base/tic_timer.h"

namespace druvex {

class Label;
class PageInstallationLogic;
class ProgressBar;

class PageInstallationDlg final : public WizardPage, public InstallationPageSink {
public:
    PageInstallationDlg(TerminalSession& session, WizardController& controller, PageInstallationLogic& logic);
    void leaveLogic() override;

    // How many update messages were posted to the UI thread (tests).
    std::uint64_t postedUpdates() const;

    // --- InstallationPageSink: any thread ------------------------------------
    void setProgressRange(std::uint64_t total) override;
    void setProgressPosition(const SharedString& item, std::uint64_t position) override;
    void setProgressValue(const SharedString& item, std::uint64_t value) override;
    void onRunFinished(bool finishedOk, bool changesMade, bool noEndPage) override;
    void onPaused() override;
    void onPhase(std::uint32_t code, std::uint32_t word) override;
    void onDownloadBegin(std::uint64_t totalBytes) override;
    void onDownloadProgress(const SharedString& item, std::uint64_t bytes) override;
    void onDownloadFinished(bool ok, std::uint32_t reserved) override;
    void onWaitingForDownload(std::uint32_t a, std::uint32_t b) override;
    void setBackupRange(std::uint64_t total) override;
    void setBackupPosition(std::uint32_t a, std::uint32_t b, std::uint32_t c) override;
    void onBackupFinished(bool ok, std::uint32_t reserved) override;

protected:
    void onInitDialog() override;
    bool canGoNext() const override { return false; }
    bool canGoBack() const override { return false; }
    // Pauses the run, asks whether to leave, then cancels or resumes it.
    void onCancel() override;

private:
    // What the reports left for the UI thread: the latest of each.
    struct Reported {
        std::uint64_t range = 0;
        std::uint64_t position = 0;  // a part of `range`
        int percent = 0;
        bool havePercent = false;
        SharedString item;
        bool phaseChanged = false;
        std::uint32_t phase = 0;
        bool paused = false;
        bool downloading = false;
        std::uint64_t downloadTotal = 0;
        std::uint64_t downloadBytes = 0;
        SharedString downloadItem;
        bool waitingForDownload = false;
        bool finished = false;
        bool finishedOk = false;
        bool noEndPage = false;
    };

    // Stores a report and posts the update unless one is on its way.
    template <class Change>
    void report(Change&& change);
    // UI thread: shows what was reported since the last update.
    void applyReports();
    void showPhase(std::uint32_t phase);
    // The banners for the device's screen; the first is shown, the others
    // follow at the interval.
    void startBanners();
    void showNextBanner();

    PageInstallationLogic& logic_;
    Label* phase_ = nullptr;
    ProgressBar* bar_ = nullptr;
    Label* detail_ = nullptr;
    Label* download_ = nullptr;
    Label* banner_ = nullptr;

    mutable Mutex mutex_;
    Reported reported_ GUARDED_BY(mutex_);
    bool updatePosted_ GUARDED_BY(mutex_) = false;
    std::uint64_t postedUpdates_ GUARDED_BY(mutex_) = 0;

    // UI thread only.
    bool canceled_ = false;
    bool ended_ = false;
    std::vector<SharedString> banners_;
    std::size_t bannerIndex_ = 0;
    // Last, so that it stops before anything its ticks use goes.
    TicTimer bannerTimer_;
};

}  // namespace druvex
