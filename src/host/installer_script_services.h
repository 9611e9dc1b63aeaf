// InstallerScriptServices: the installer's state and actions that the
// installer functions of scripts (the DQ_ functions) read and change: folder
// and variable expansion, the installer data, the feature selection, the
// redistributable error, the program launched at the end, the language and
// the installed logs of other products. The installer controller implements
// it and hands it out through ScriptHostServices; a script host without
// installer state has none, and the functions then take their failure paths.
#pragma once

#include <cstdint>
#include <memory>

#include "text/shared_string.h"

namespace druvex {

class Feature;
class InstallData;
class InstalledLog;

class InstallerScriptServices {
public:
    virtual ~InstallerScriptServices() = default;

    // The text with its folder variables resolved for the In host
    // (`inHost`) or the Out host; empty when that fails.
    virtual SharedString solveHalFolder(bool inHost, const SharedString& text) = 0;
    // The text with the installer variables expanded for the Out host and
    // the destination folder; empty when that fails.
    virtual SharedString expandVariables(const SharedString& text) = 0;

    virtual InstallData& getInstallData() = 0;
    virtual bool isFeatureSelected(const Feature& feature) = 0;

    virtual std::int32_t getRedistLastError() = 0;
    virtual void setRedistLastError(std::int32_t error) = 0;
    // The program (and its arguments) started when the run ends.
    virtual void setLaunchProgramOverride(const SharedString& program, const SharedString& arguments) = 0;
    virtual void setInstallOnFeatureSelectionEnabled(bool enabled) = 0;
    virtual bool hasMadeChanges() = 0;

    // The installer's language (an LCID; 972 for the custom language).
    virtual std::uint16_t getLanguage() = 0;
    virtual SharedString getCustomLanguageFileName() = 0;

    // Other products' installed logs, by 1-based handle: load answers the
    // handle, 0 when the log reads but does not parse.
    virtual int loadInstalledProduct(const SharedString& productName) = 0;
    // Null for an unknown handle and for a product without a log.
    virtual std::shared_ptr<InstalledLog> getInstalledProductLog(int handle) = 0;
    virtual void sendInstalledProductAction(int handle, std::int32_t action, const SharedString& featureName) = 0;
};

}  // namespace druvex
