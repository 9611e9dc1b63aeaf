// InstallationPageSink: what the installation page's logic reports to the
// page that shows the run (or to the waiter of a silent run). The calls come
// on the installation thread; making them safe is the sink's business. Every
// operation does nothing here, so a sink implements only what it shows.
#pragma once

#include <cstdint>

#include "text/shared_string.h"

namespace druvex {

// The phases the page shows (the code of onPhase).
constexpr std::uint32_t kPhaseInstalling = 0;
constexpr std::uint32_t kPhaseCleaningFolders = 1;
constexpr std::uint32_t kPhaseDownloadingInstaller = 2;
constexpr std::uint32_t kPhaseUntitled = 3;
constexpr std::uint32_t kPhaseRemovingFiles = 4;
constexpr std::uint32_t kPhaseUninstalling = 5;
constexpr std::uint32_t kPhaseInstallingRedistributables = 6;
constexpr std::uint32_t kPhaseRemovingOldInstallation = 7;
constexpr std::uint32_t kPhaseBackup = 8;
constexpr std::uint32_t kPhaseRestore = 9;
constexpr std::uint32_t kPhaseRollingBack = 10;
constexpr std::uint32_t kPhaseCheckingPackages = 11;

class InstallationPageSink {
public:
    virtual ~InstallationPageSink() = default;

    virtual void setProgressRange(std::uint64_t total);
    virtual void setProgressPosition(const SharedString& item, std::uint64_t position);
    virtual void onRunFinished(bool finishedOk, bool changesMade, bool noEndPage);
    virtual void onPaused();
    virtual void onWaitingForDownload(std::uint32_t a, std::uint32_t b);
    virtual void onDownloadProgress(const SharedString& item, std::uint64_t bytes);
    virtual void onDownloadBegin(std::uint64_t totalBytes);
    virtual void onDownloadFinished(bool ok, std::uint32_t reserved);
    virtual void onRemainingTime(std::uint32_t a, std::uint32_t b);
    virtual void onValidationBegin(std::uint32_t a, std::uint32_t b);
    virtual void onStepsBegin(std::uint32_t a, std::uint32_t b);
    virtual void onStep(std::uint32_t a, std::uint32_t b);
    virtual void onStepDone(std::uint32_t a, std::uint32_t b);
    virtual void onStepsEnd(std::uint32_t a, std::uint32_t b);
    virtual void onValidationEnd(std::uint32_t a, std::uint32_t b);
    virtual void onPhase(std::uint32_t code, std::uint32_t word);
    virtual void onOldInstallationsRemoved(std::uint32_t a, std::uint32_t b);
    // The page sets its bar to the value as it stands (a position of
    // setProgressPosition is a part of the range instead).
    virtual void setProgressValue(const SharedString& item, std::uint64_t value);
    virtual void setBackupRange(std::uint64_t total);
    virtual void setBackupPosition(std::uint32_t a, std::uint32_t b, std::uint32_t c);
    virtual void onBackupFinished(bool ok, std::uint32_t reserved);
};

}  // namespace druvex
