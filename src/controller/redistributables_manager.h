// RedistributablesManager: what the installer controller, its page logics and
// the installation engine ask of the redistributables manager, which keeps
// the installer's redistributable definitions, their check results and the
// ones the selection requires, and installs those missing. The controller
// holds one for the run (a RedistributableInstaller); a test may put one of
// its own in its place.
#pragma once

#include <memory>
#include <vector>

#include "text/shared_string.h"

namespace druvex {

// What the redistributables step of an installation hears while it installs.
class RedistributableInstallObserver {
public:
    virtual ~RedistributableInstallObserver() = default;
    // Before each package: the redistributable's display name, its position
    // (from 0) and the count of those to install.
    virtual void onRedistributableStart(const SharedString& displayName, int index, int count) = 0;
    // The redistributable's own installer runs now: what it changes on the
    // device is its own doing, which no rollback of the run can undo.
    virtual void onRedistributableInstallerRun(const SharedString& displayName) { (void)displayName; }
};

class RedistributablesManager {
public:
    virtual ~RedistributablesManager() = default;

    // Takes the payload's redistributable definitions and registers their
    // archive entries as package sources (at initialisation).
    virtual void loadDefinitions() = 0;
    // Registers the packages the redistributables list names as downloads
    // (when a mode is prepared with the bulletin applied).
    virtual void registerDownloads() = 0;
    // Runs every definition's check script and keeps its answer.
    virtual void runChecks() = 0;
    // Works out again which redistributables the features to install need.
    virtual void evaluateRequired() = 0;
    // A required redistributable is not present.
    virtual bool needsInstall() const = 0;

    // True when no required redistributable's check failed (answered below
    // 0); otherwise false with the message of the lowest answer.
    virtual bool getWorstResult(SharedString& message) const
    {
        (void)message;
        return true;
    }
    // A required redistributable that is not present has no package in the
    // installer archive, so it must be downloaded.
    virtual bool isPackageMissing() const { return false; }
    // The required redistributables that are not present, in install order.
    virtual std::vector<SharedString> getRedistributablesToInstall() const { return {}; }
    // Installs those, in order (the installation's redistributables step).
    // False at the first that fails, with its name in `failedName` (the
    // controller's redistributable error then holds its code), or when
    // cancelled (the name empty).
    virtual bool installRequired(RedistributableInstallObserver* observer, SharedString& failedName)
    {
        (void)observer;
        failedName = SharedString();
        return true;
    }
    // Makes a running installRequired stop before its next package; any thread.
    virtual void cancelInstall() {}
};

// The manager of an installer without redistributables: nothing to load,
// check or install.
std::shared_ptr<RedistributablesManager> makeNoRedistributables();

}  // namespace druvex
