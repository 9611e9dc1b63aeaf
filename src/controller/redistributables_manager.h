// RedistributablesManager: what the installer controller asks of the
// redistributables manager, which keeps the installer's redistributable
// definitions, their check results and the ones the selection requires. The
// controller holds one for the run; until a real one is set it holds one that
// knows no redistributables.
#pragma once

#include <memory>

namespace druvex {

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
};

// The manager of an installer without redistributables: nothing to load,
// check or install.
std::shared_ptr<RedistributablesManager> makeNoRedistributables();

}  // namespace druvex
