// What the prerequisites logic keeps for the whole process, so that it
// survives the logic being made anew as the wizard moves: the payload passed
// its check, the newer installer was looked for, the proxy question was
// asked. Shared by the logic's source files only.
#pragma once

#include <atomic>

namespace druvex::prerequisites {

struct ProcessState {
    std::atomic<bool> payloadChecked{false};
    std::atomic<bool> newInstallerChecked{false};
    std::atomic<bool> proxyAsked{false};
};

ProcessState& processState();

}  // namespace druvex::prerequisites
