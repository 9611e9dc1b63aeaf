// Where the product keeps its data on the target (the installed log, the
// cached bulletin, the installed copy of the installer) and what the run
// keeps beside it (packages, rollback copies, saved wizard state).
#include "controller/installer_controller.h"

#include "fileutil/file_util.h"
#include "hal/hal_access.h"

namespace druvex {

SharedString InstallerController::getProductDataRoot(HalAccess& host, bool merge, const SharedString& name) const
{
    SharedString root;
    if (!host.getInstallerPath(root))
        logHostFailure(host, u"Finding the installer folder for", name);
    if (merge)
        root = joinPath(root, SharedString(u"merge projects"));
    return joinPath(root, name);
}

SharedString InstallerController::getProductDataFolder() const
{
    const InstallerSettings& settings = installData_->settings();
    return getProductDataRoot(*targetHost_, settings.getMergeProject(), settings.getProgramUuid());
}

SharedString InstallerController::getLocalProductDataFolder() const
{
    if (!isRemoteDeviceTarget())
        return getProductDataFolder();
    SharedString root;
    const SharedString name = installData_->settings().getProgramUuid() + u"-forMobile";
    if (!sourceHost_->getInstallerPath(root))
        logHostFailure(*sourceHost_, u"Finding the installer folder for", name);
    return joinPath(root, name);
}

SharedString InstallerController::getPackagesFolder() const
{
    return joinPath(getLocalProductDataFolder(), SharedString(u"Packages"));
}

SharedString InstallerController::getRollbackFolder() const
{
    return joinPath(getProductDataFolder(), SharedString(u"Rollback"));
}

SharedString InstallerController::getLocalRollbackFolder() const
{
    return joinPath(getLocalProductDataFolder(), SharedString(u"Rollback"));
}

SharedString InstallerController::getPreviousSettingsPath() const
{
    return joinPath(getLocalProductDataFolder(), SharedString(u"PreviousSettings.xml"));
}

}  // namespace druvex
