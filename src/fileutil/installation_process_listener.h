// InstallationProcessListener: the notifications and questions of a running
// installation, in the order the installation page's logic implements them.
// The installation engine calls them on its own thread, and the package
// installer on the downloader's worker, so an implementation hands what it
// shows to its own thread. Declared this low because the package installer,
// the controller and the engine all meet here. Two words "as received" are
// passed on unchanged; their meaning is the engine's and the page's.
#pragma once

#include <cstdint>

#include "text/shared_string.h"

namespace druvex {

// What the questions about a feature whose installation failed tell the
// person: the feature, why it failed, and whether the run may go on without it.
struct FeatureFailure {
    // The feature's display name.
    SharedString featureName;
    // Why it failed, as a person reads it ("the store is full"); empty when
    // nothing more is known.
    SharedString reason;
    // False for a feature the program cannot do without: the run cannot go on
    // without it, so skipping it is not offered.
    bool skippable = true;
};

class InstallationProcessListener {
public:
    virtual ~InstallationProcessListener() = default;

    // A counted progress run: its total, its positions, its end.
    virtual void onProgressRange(std::uint64_t total) = 0;
    virtual void onProgressPosition(const SharedString& name, std::uint64_t position) = 0;
    virtual void onProgressEnd() = 0;
    virtual void onRemoveOldInstallation(std::uint32_t a, std::uint32_t b) = 0;
    virtual void onRemoveOldInstallationDone(std::uint32_t a, std::uint32_t b) = 0;
    virtual void onProgressValue(const SharedString& name, std::uint64_t value) = 0;
    // The phases of a run.
    virtual void onCheckPackages(std::uint32_t a, std::uint32_t b) = 0;
    virtual void onUninstallBegin(std::uint32_t a, std::uint32_t b) = 0;
    virtual void onCleanFolders(std::uint32_t a, std::uint32_t b) = 0;
    virtual void onRemoveFiles(std::uint32_t a, std::uint32_t b) = 0;
    virtual void onDownloadNewInstaller(std::uint32_t a, std::uint32_t b) = 0;
    virtual void onPhase3(std::uint32_t a, std::uint32_t b) = 0;
    virtual void onInstallBegin(std::uint32_t a, std::uint32_t b) = 0;
    virtual void onRollbackBegin(std::uint32_t a, std::uint32_t b) = 0;
    virtual void onValidating(std::uint32_t a, std::uint32_t b) = 0;
    virtual void onValidatingEnd(std::uint32_t a, std::uint32_t b) = 0;

    // The downloads of online packages begin, with the bytes of all of them.
    virtual void onDownloadBegin(std::uint64_t total) = 0;
    // A package's display name and the bytes done of all packages.
    virtual void onDownloadProgress(const SharedString& name, std::uint64_t position) = 0;
    // Every package has been handled; `status` is that of the last one (a
    // download status: 0 when it arrived, and also when it was skipped).
    virtual void onDownloadFinished(std::int32_t status) = 0;
    // A package's download failed with a download status: try it again?
    virtual bool askRetryDownload(const SharedString& name, std::int32_t status) = 0;
    // A package's download failed again: skip its feature and go on?
    virtual bool askSkipDownload(const SharedString& name) = 0;

    virtual void onProgressBytes(const SharedString& name, std::uint64_t bytes) = 0;
    // The run's end.
    virtual void onSucceeded() = 0;
    virtual void onFailed() = 0;
    virtual void onWaitingForDownload(std::uint32_t a, std::uint32_t b) = 0;

    // Questions about failures; the answer decides what the run does next.
    // Installing a feature to the destination failed: try it again (non-zero)
    // or stop the run?
    virtual int askOnError(const FeatureFailure& failure) = 0;
    // A feature's installation failed: skip it (non-zero) and go on without it?
    // Asked only of a skippable feature.
    virtual int askSkipFailedFeature(const FeatureFailure& failure) = 0;
    // Uninstalling the program's features failed: retry?
    virtual int reportUninstallFeaturesError(std::uint32_t a, std::uint32_t b) = 0;
    // Uninstalling the program failed: force it?
    virtual int reportUninstallError(std::uint32_t a, std::uint32_t b) = 0;
    // Uninstalling failed, the device is not connected: resume?
    virtual int reportUninstallDeviceError(std::uint32_t a, std::uint32_t b) = 0;
    // Roll back to the previous installation?
    virtual int askRollback(std::uint32_t a, std::uint32_t b) = 0;

    // A full backup (or, without `isBackup`, a restore) and its end code.
    virtual void onBackupBegin(bool isBackup, std::uint32_t a, std::uint32_t b) = 0;
    virtual void onBackupProgress(std::uint32_t a, std::uint32_t b, std::uint32_t c) = 0;
    virtual void onBackupFinished(std::int32_t code) = 0;
    // A run of counted steps.
    virtual void onStepsBegin(std::uint32_t a, std::uint32_t b) = 0;
    virtual void onStep(std::uint32_t a, std::uint32_t b) = 0;
    virtual void onStepDone(std::uint32_t a, std::uint32_t b) = 0;
    virtual void onStepsEnd(std::uint32_t a, std::uint32_t b) = 0;
    virtual void reportRedistributableError(const SharedString& name) = 0;
    virtual void onRemainingTime(std::uint32_t a, std::uint32_t b) = 0;
    virtual void reportRegistrationError(const SharedString& name, bool registering) = 0;
};

}  // namespace druvex
