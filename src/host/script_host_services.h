// ScriptHostServices: what the installer's scripts reach of the installer
// controller. The controller sits above the scripting and implements it; the
// light userdata "InstallerController" that scripts see holds this interface.
#pragma once

#include <memory>

namespace druvex {

class HalAccess;
class InstallerScriptServices;

class ScriptHostServices {
public:
    virtual ~ScriptHostServices() = default;

    // The host of the machine that runs the installer ("HalIn").
    virtual std::shared_ptr<HalAccess> getHalIn() = 0;
    // The same machine with administrator rights ("HalInAdmin", and "HalIn"
    // of an elevated runner).
    virtual std::shared_ptr<HalAccess> getHalInAdmin() = 0;
    // The host of the machine being installed ("HalOut", "HalOutBase" and
    // "HalOutAdmin").
    virtual std::shared_ptr<HalAccess> getHalOut() = 0;
    // The installer state that the installer functions reach; null for a
    // host of scripts that has none.
    virtual InstallerScriptServices* getInstallerScriptServices() { return nullptr; }
};

}  // namespace druvex
