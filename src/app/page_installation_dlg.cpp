#include "app/page_installation_dlg.h"

#include <algorithm>
#include <chrono>

#include "controller/installer_ui_callback.h"
#include "controller/page_installation_logic.h"
#include "controller/wizard_controller.h"
#include "core/app_log.h"
#include "core/path_text.h"
#include "core/translate_text.h"
#include "fileutil/file_util.h"
#include "text/mutex.h"
#include "ui/terminal_session.h"
#include "ui/widgets.h"
#include "ui_base/screen_type.h"

namespace druvex {
namespace {

// The text the page shows for each phase; none for the untitled one.
const char* phaseText(std::uint32_t phase)
{
    switch (phase) {
    case kPhaseInstalling:
        return "Installing...";
    case kPhaseCleaningFolders:
        return "Cleaning installation folders...";
    case kPhaseDownloadingInstaller:
        return "Downloading installer of the new version...";
    case kPhaseRemovingFiles:
        return "Removing files...";
    case kPhaseUninstalling:
        return "Uninstalling...";
    case kPhaseInstallingRedistributables:
        return "Installing redistributables...";
    case kPhaseRemovingOldInstallation:
        return "Removing old installation...";
    case kPhaseBackup:
        return "Backup in progress...";
    case kPhaseRestore:
        return "Restoring backup in progress...";
    case kPhaseRollingBack:
        return "Rolling back...";
    case kPhaseCheckingPackages:
        return "Checking packages availability...";
    default:
        return nullptr;
    }
}

int percentOf(std::uint64_t position, std::uint64_t range)
{
    if (range == 0)
        return 0;
    return static_cast<int>(std::min<std::uint64_t>(position, range) * 100 / range);
}

}  // namespace

PageInstallationDlg::PageInstallationDlg(TerminalSession& session, WizardController& controller,
                                         PageInstallationLogic& logic)
    : WizardPage(session, controller, kPageInstallation, translateText("Installation")), logic_(logic)
{
    phase_ = &addContent<Label>(false, 0, SharedString(), kStyleBold);
    bar_ = &addContent<ProgressBar>(false, 1);
    detail_ = &addContent<Label>(false, 0);
    download_ = &addContent<Label>(false, 1);
    banner_ = &addContent<Label>(false, 1, SharedString(), kStyleBold);
}

void PageInstallationDlg::leaveLogic()
{
    bannerTimer_.stop();
    // The logic clears its sink only between two reports: none comes after.
    logic_.clearSink();
}

std::uint64_t PageInstallationDlg::postedUpdates() const
{
    MutexLock lock(mutex_);
    return postedUpdates_;
}

void PageInstallationDlg::onInitDialog()
{
    WizardPage::onInitDialog();
    setFocus(&cancelButton());
    showPhase(kPhaseInstalling);
    startBanners();
    logic_.setSink(this);
    logic_.startProcess();
}

void PageInstallationDlg::startBanners()
{
    const int variant = getScreenType();
    const std::uint32_t count = logic_.getBannerCount();
    for (std::uint32_t index = 0; index < count; ++index) {
        SharedString link;
        const SharedString picture = logic_.getBanner(index, variant, link);
        if (picture.isEmpty())
            continue;
        banners_.push_back(link.isEmpty() ? getFileName(picture) : link);
    }
    if (banners_.empty())
        return;
    banner_->setText(banners_.front());
    const std::uint32_t interval = logic_.getBannerInterval();
    if (banners_.size() < 2 || interval == 0)
        return;
    bannerTimer_.start(std::chrono::milliseconds(interval),
                       [this] { postMessage([this] { showNextBanner(); }); });
}

void PageInstallationDlg::showNextBanner()
{
    if (ended_ || banners_.empty())
        return;
    bannerIndex_ = (bannerIndex_ + 1) % banners_.size();
    banner_->setText(banners_[bannerIndex_]);
    relayout();
}

template <class Change>
void PageInstallationDlg::report(Change&& change)
{
    {
        MutexLock lock(mutex_);
        change(reported_);
        if (updatePosted_)
            return;
        updatePosted_ = true;
        ++postedUpdates_;
    }
    postMessage([this] { applyReports(); });
}

void PageInstallationDlg::setProgressRange(std::uint64_t total)
{
    report([&](Reported& state) {
        state.range = total;
        state.position = 0;
        state.percent = 0;
        state.havePercent = true;
    });
}

void PageInstallationDlg::setProgressPosition(const SharedString& item, std::uint64_t position)
{
    report([&](Reported& state) {
        state.item = item;
        state.position = position;
        state.percent = percentOf(position, state.range);
        state.havePercent = true;
    });
}

void PageInstallationDlg::setProgressValue(const SharedString& item, std::uint64_t value)
{
    report([&](Reported& state) {
        state.item = item;
        state.percent = static_cast<int>(std::min<std::uint64_t>(value, 100));
        state.havePercent = true;
    });
}

void PageInstallationDlg::onRunFinished(bool finishedOk, bool, bool noEndPage)
{
    report([&](Reported& state) {
        state.finished = true;
        state.finishedOk = finishedOk;
        state.noEndPage = noEndPage;
    });
}

void PageInstallationDlg::onPaused()
{
    report([](Reported& state) { state.paused = true; });
}

// On the device this handler drew at once, from the installation thread; here
// the phase goes the way of every other report, in order with them.
void PageInstallationDlg::onPhase(std::uint32_t code, std::uint32_t)
{
    logic_.setCurrentPhase(code);
    report([&](Reported& state) {
        state.phaseChanged = true;
        state.phase = code;
        state.percent = 0;
        state.position = 0;
        state.havePercent = true;
    });
}

void PageInstallationDlg::onDownloadBegin(std::uint64_t totalBytes)
{
    report([&](Reported& state) {
        state.downloading = true;
        state.downloadTotal = totalBytes;
        state.downloadBytes = 0;
        state.waitingForDownload = false;
    });
}

void PageInstallationDlg::onDownloadProgress(const SharedString& item, std::uint64_t bytes)
{
    report([&](Reported& state) {
        state.downloading = true;
        state.downloadItem = item;
        state.downloadBytes = bytes;
    });
}

void PageInstallationDlg::onDownloadFinished(bool, std::uint32_t)
{
    report([](Reported& state) { state.downloading = false; });
}

void PageInstallationDlg::onWaitingForDownload(std::uint32_t, std::uint32_t)
{
    report([](Reported& state) { state.waitingForDownload = true; });
}

void PageInstallationDlg::setBackupRange(std::uint64_t total)
{
    setProgressRange(total);
}

void PageInstallationDlg::setBackupPosition(std::uint32_t a, std::uint32_t, std::uint32_t)
{
    report([&](Reported& state) {
        state.position = a;
        state.percent = percentOf(a, state.range);
        state.havePercent = true;
    });
}

void PageInstallationDlg::onBackupFinished(bool ok, std::uint32_t)
{
    onRunFinished(ok, ok, false);
}

void PageInstallationDlg::showPhase(std::uint32_t phase)
{
    const char* text = phaseText(phase);
    phase_->setText(text ? translateText(text) : SharedString());
}

void PageInstallationDlg::applyReports()
{
    Reported state;
    {
        MutexLock lock(mutex_);
        state = reported_;
        reported_.phaseChanged = false;
        updatePosted_ = false;
    }
    if (ended_)
        return;
    if (state.phaseChanged) {
        bar_->setPosition(0);
        showPhase(state.phase);
    }
    if (state.paused && !canceled_)
        phase_->setText(translateText("Paused."));
    if (state.havePercent)
        bar_->setPosition(state.percent);
    // The items are mostly the files being written: paths, shown as the device writes them.
    bar_->setItemName(toBackslashes(state.item));
    detail_->setText(state.range > 0 ? translateAndFormat2("{1} of {2}", formatByteSize(state.position << 10, 1, false),
                                                           formatByteSize(state.range << 10, 1, false))
                                     : SharedString());
    if (state.downloading) {
        download_->setText(translateAndFormat2("Downloading {1}: {2}", state.downloadItem,
                                               formatByteSize(state.downloadBytes, 1, false)));
    } else if (state.waitingForDownload) {
        download_->setText(translateText("Waiting for the download..."));
    } else {
        download_->setText(SharedString());
    }
    relayout();
    if (!state.finished)
        return;
    ended_ = true;
    bannerTimer_.stop();
    cancelButton().setEnabled(false);
    logPrintf(u"The installation page ends: the run %hs", state.finishedOk ? "succeeded" : "did not succeed");
    endDialog(state.noEndPage ? kPageCommandEndWizard : kPageCommandNext);
}

void PageInstallationDlg::onCancel()
{
    if (ended_ || canceled_)
        return;
    logic_.pause();
    if (controller().getUiCallback()->askExit() == 0) {
        {
            MutexLock lock(mutex_);
            reported_.paused = false;
        }
        logic_.resume();
        const std::uint32_t phase = logic_.getCurrentPhase();
        showPhase(phase);
        return;
    }
    canceled_ = true;
    cancelButton().setEnabled(false);
    setFocus(nullptr);
    phase_->setText(translateText("Canceling..."));
    logPrintf(u"The installation is canceled by the user");
    logic_.abort();
}

}  // namespace druvex
