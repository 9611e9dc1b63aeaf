// ControllerScriptServices: the installer controller's state and actions as
// the installer functions of scripts reach them (InstallerScriptServices),
// over the controller's own operations.
#pragma once

#include "host/installer_script_services.h"

namespace druvex {

class InstallerController;

class ControllerScriptServices final : public InstallerScriptServices {
public:
    // `controller` must outlive the services.
    explicit ControllerScriptServices(InstallerController& controller) : controller_(controller) {}

    SharedString solveHalFolder(bool inHost, const SharedString& text) override;
    SharedString expandVariables(const SharedString& text) override;
    InstallData& getInstallData() override;
    bool isFeatureSelected(const Feature& feature) override;
    std::int32_t getRedistLastError() override;
    void setRedistLastError(std::int32_t error) override;
    void setLaunchProgramOverride(const SharedString& program, const SharedString& arguments) override;
    void setInstallOnFeatureSelectionEnabled(bool enabled) override;
    bool hasMadeChanges() override;
    std::uint16_t getLanguage() override;
    SharedString getCustomLanguageFileName() override;
    int loadInstalledProduct(const SharedString& productName) override;
    std::shared_ptr<InstalledLog> getInstalledProductLog(int handle) override;
    void sendInstalledProductAction(int handle, std::int32_t action, const SharedString& featureName) override;

private:
    InstallerController& controller_;
};

}  // namespace druvex
