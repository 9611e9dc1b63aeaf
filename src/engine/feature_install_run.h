// FeatureInstallRun: what the feature node writer takes from the installation
// run that installs a feature: the run's pause and cancel checks, its queued
// requests, progress and timing, and the controller's hosts, flags,
// destination, installed log, language templates and UI callback as the run
// reaches them. The installation process implements it.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "text/shared_string.h"

namespace druvex {

class Feature;
class HalAccess;
class InstalledLog;
class InstallerUiCallback;
struct LanguageTemplate;
struct LockingProcess;

class FeatureInstallRun {
public:
    virtual ~FeatureInstallRun() = default;

    // The run.
    // Blocks while the run is paused, then tells whether it was canceled.
    virtual void waitIfPausedAndCheckCanceled(bool& canceled) = 0;
    // Handles the requests queued for the installation thread; false at the
    // first that fails.
    virtual bool processQueuedRequests() = 0;
    // `bytes` more of the file at `path` reached the target.
    virtual void reportDownloadProgress(const SharedString& path, std::uint64_t bytes) = 0;
    // The byte count of a file just closed, for the remaining-time estimate.
    virtual void addEstimateSample(std::uint64_t bytes) = 0;
    // Asks the target to end the processes; true when they ended, so that
    // the file they held may be deleted now.
    virtual bool closeLockingProcesses(const std::vector<LockingProcess>& processes) = 0;
    // The pause before a held file is tried again.
    virtual void waitMilliseconds(std::uint32_t milliseconds) = 0;

    // The controller, as the run reaches it.
    // The process runs with administrator rights.
    virtual bool hasAdministratorRights() const = 0;
    // The host of the machine that runs the installer.
    virtual std::shared_ptr<HalAccess> getHalIn() const = 0;
    // The host of the machine being installed, and the same with the rights
    // to write where the target is not writable.
    virtual std::shared_ptr<HalAccess> getHalOut() const = 0;
    virtual std::shared_ptr<HalAccess> getHalOutElevated() const = 0;
    // The target is a desktop platform.
    virtual bool isDesktopTarget() const = 0;
    // The run already needs a reboot to complete.
    virtual bool isRebootRequired() const = 0;
    // From now on the run needs a reboot to complete: a file it replaced is
    // still in use.
    virtual void setRebootRequired() = 0;
    virtual std::shared_ptr<InstallerUiCallback> getUiCallback() const = 0;
    // What an earlier run installed at the destination.
    virtual std::shared_ptr<InstalledLog> getInstalledLog() const = 0;
    // The template the language template map pairs with the feature; null
    // when it pairs none.
    virtual std::shared_ptr<LanguageTemplate> findLanguageTemplate(const Feature& feature) const = 0;
    // The destination record's folder, and `folder` joined with `name`
    // resolved against it for the target (empty when that fails).
    virtual SharedString getDestinationFolder() const = 0;
    virtual SharedString resolveHostPath(const SharedString& folder, const SharedString& name) = 0;
};

}  // namespace druvex
