#include "controller/controller_script_services.h"

#include "controller/installer_controller.h"
#include "controller/package_folder_unpacker.h"
#include "liveupdate/update_folders.h"

namespace druvex {

SharedString ControllerScriptServices::solveHalFolder(bool inHost, const SharedString& text)
{
    return controller_.solveHalFolder(inHost, text);
}

SharedString ControllerScriptServices::expandVariables(const SharedString& text)
{
    return controller_.expandVariables(text);
}

InstallData& ControllerScriptServices::getInstallData()
{
    return controller_.getInstallData();
}

bool ControllerScriptServices::isFeatureSelected(const Feature& feature)
{
    return controller_.isFeatureSelected(&feature);
}

std::int32_t ControllerScriptServices::getRedistLastError()
{
    return controller_.getRedistLastError();
}

void ControllerScriptServices::setRedistLastError(std::int32_t error)
{
    controller_.setRedistLastError(error);
}

void ControllerScriptServices::setLaunchProgramOverride(const SharedString& program, const SharedString& arguments)
{
    controller_.setLaunchProgramOverride(program, arguments);
}

void ControllerScriptServices::setInstallOnFeatureSelectionEnabled(bool enabled)
{
    controller_.setInstallOnFeatureSelectionEnabled(enabled);
}

bool ControllerScriptServices::hasMadeChanges()
{
    return controller_.hasMadeChanges();
}

std::uint16_t ControllerScriptServices::getLanguage()
{
    return controller_.getLanguage();
}

SharedString ControllerScriptServices::getCustomLanguageFileName()
{
    return druvex::getCustomLanguageFileName(controller_);
}

int ControllerScriptServices::loadInstalledProduct(const SharedString& productName)
{
    return controller_.getInstalledProducts().load(productName);
}

std::shared_ptr<InstalledLog> ControllerScriptServices::getInstalledProductLog(int handle)
{
    return controller_.getInstalledProducts().getLog(handle);
}

void ControllerScriptServices::sendInstalledProductAction(int handle, std::int32_t action,
                                                          const SharedString& featureName)
{
    controller_.getInstalledProducts().sendAction(handle, action, featureName);
}

InstallerScriptServices* InstallerController::getInstallerScriptServices()
{
    return scriptServices_.get();
}

void InstallerController::setPackageFolderUnpacker(std::shared_ptr<PackageFolderUnpacker> unpacker)
{
    packageFolderUnpacker_ = std::move(unpacker);
}

}  // namespace druvex
