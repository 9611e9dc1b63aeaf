// InstallerScriptRunner: the script runner of the installer. Before a script's
// chunk runs it installs "Enumerators", the class Hal with the objects
// "HalIn", "HalInAdmin", "HalOut", "HalOutBase" and "HalOutAdmin", and the
// light userdata "InstallerController" that the installer functions read,
// and the installer functions themselves.
#pragma once

#include <cstdint>

#include "host/script_runner.h"

namespace druvex {

class ScriptHostServices;

class InstallerScriptRunner : public ScriptRunner {
public:
    // `controller` (not owned) gives the hosts; it must outlive the runner.
    explicit InstallerScriptRunner(ScriptHostServices* controller);
    ~InstallerScriptRunner() override;

    // An elevated runner's "HalIn" is the administrator host ("HalInAdmin").
    void setElevated(bool elevated = true) noexcept { elevated_ = elevated; }
    bool isElevated() const noexcept { return elevated_; }

    // The integer the chunk returned last (its last value), -1 when it
    // returned none, something else, or did not run.
    std::int32_t chunkValue() const noexcept { return chunkValue_; }

protected:
    void registerFunctions(SharedString& text) override;
    void afterLoad(int status) override;

private:
    ScriptHostServices* controller_;
    std::int32_t chunkValue_ = -1;
    bool elevated_ = false;
};

}  // namespace druvex
