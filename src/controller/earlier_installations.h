// EarlierInstallations: what the installation engine knows of installations
// that left no installed log on the device, as the installer controller asks
// it: the two finders of such an installation and the two kinds of device
// uninstaller, each for its group of target platforms (the application
// manager's for platform 0, the application remover's for platforms 1, 2, 3,
// 6, 7 and 8). The engine implements it; until it sets its own, the
// controller holds one that finds and makes nothing.
#pragma once

#include <cstdint>
#include <memory>

#include "text/shared_string.h"

namespace druvex {

class HalAccess;
class RunController;
class UninstallLauncher;

class EarlierInstallations {
public:
    virtual ~EarlierInstallations() = default;

    // True, with a remover in `launcher`, when an installation without an
    // installed log exists on the target. `flag` is 0 while the mode is chosen
    // for an empty installed log, 1 when an older installation is replaced.
    virtual bool findAppMgrInstallation(const std::shared_ptr<HalAccess>& targetHost, RunController& controller,
                                        std::int32_t flag, std::shared_ptr<UninstallLauncher>& launcher) = 0;
    virtual bool findUnloadInstallation(const std::shared_ptr<HalAccess>& targetHost, RunController& controller,
                                        std::int32_t flag, std::shared_ptr<UninstallLauncher>& launcher) = 0;

    // The device uninstaller of the application `cabProgramName` of
    // `cabProvider`; null when there is none.
    virtual std::shared_ptr<UninstallLauncher> makeAppMgrUninstaller(const std::shared_ptr<HalAccess>& targetHost,
                                                                     RunController& controller,
                                                                     const SharedString& cabProvider,
                                                                     const SharedString& cabProgramName) = 0;
    virtual std::shared_ptr<UninstallLauncher> makeUnloadUninstaller(const std::shared_ptr<HalAccess>& targetHost,
                                                                     RunController& controller,
                                                                     const SharedString& cabProvider,
                                                                     const SharedString& cabProgramName) = 0;
};

// Finds no earlier installation and makes no uninstaller.
std::shared_ptr<EarlierInstallations> makeNoEarlierInstallations();

}  // namespace druvex
