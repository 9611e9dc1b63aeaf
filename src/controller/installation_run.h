// InstallationRun: the installation page's hold on one run of the current
// wizard mode, and InstallationProcessFactory, which makes it. The process
// itself lives in the installation engine, above the controller; the
// application hands the engine's factory to the controller, and the
// installation page's logic makes its process through it.
#pragma once

#include <cstdint>
#include <memory>

#include "text/shared_string.h"

namespace druvex {

class InstallationProcessListener;
class RunController;
class PayloadArchive;

// Run states.
constexpr std::int32_t kRunStateIdle = 0;
constexpr std::int32_t kRunStateRunning = 1;
constexpr std::int32_t kRunStatePaused = 2;
constexpr std::int32_t kRunStateCanceled = 3;
constexpr std::int32_t kRunStateFinished = 4;

class InstallationRun {
public:
    virtual ~InstallationRun() = default;

    // Starts the run on its own thread; a run starts once.
    virtual void start() = 0;
    // The worker stops at its next check until resumed.
    virtual void pause() = 0;
    virtual void resume() = 0;
    // The run ends as canceled, after a rollback when the listener agrees.
    // Any thread.
    virtual void cancel() = 0;
    virtual std::int32_t getRunState() const = 0;
    // Packages still to be downloaded or unpacked.
    virtual bool hasPendingPackages() const = 0;
    // The bytes the run writes.
    virtual std::uint64_t getTotalBytes() const = 0;
    // The display name of the feature whose installation failed last, which
    // the question whether to skip it names.
    virtual SharedString getFailedFeatureName() const = 0;
    // Runs the controller's uninstall launchers at once, on the calling
    // thread, without starting the run; false when one of them stops the
    // removals.
    virtual bool removeOldInstallations() = 0;
};

class InstallationProcessFactory {
public:
    virtual ~InstallationProcessFactory() = default;
    // A run of the controller's current mode over `payload`, reporting to
    // `listener` (may be null). May throw when the run cannot be built.
    virtual std::unique_ptr<InstallationRun> makeProcess(RunController& controller, PayloadArchive& payload,
                                                         InstallationProcessListener* listener) = 0;
};

}  // namespace druvex
