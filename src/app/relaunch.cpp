#include "app/relaunch.h"

#include "app_base/target_platform.h"
#include "controller/installer_controller.h"
#include "core/app_paths.h"
#include "fileutil/operation_log.h"
#include "hal/hal_access.h"
#include "platform/process.h"

namespace druvex {

bool RelaunchElevated(InstallerController& controller)
{
    if (controller.getOptions().rebootAsAdmin && !controller.hasAdministratorRights()) {
        logError(u"The relaunched installer has no administrator rights either");
        return false;
    }
    if (!controller.saveSettingsForRelaunch()) {
        logError(u"The settings for the relaunch cannot be saved");
        return false;
    }
    const SharedString& programFile = AppPaths::instance().getModulePath();
    // The relaunched run reads one platform back, never a group of them.
    const SharedString platform = platformName(controller.getTargetPlatform(), true);
    if (programFile.isEmpty() || platform.isEmpty()) {
        logError(u"The installer cannot be relaunched: no program file or target platform");
        return false;
    }
    const SharedString commandLine = controller.buildRelaunchCommandLine(SharedString(u"reboot_as_admin ") + platform);
    // The device knows no other account: "runas" starts the program as it is.
    HalAccess& host = *controller.getHalIn();
    ProcessInformation process;
    if (!host.createProcess(programFile, commandLine, 0, process)) {
        logInvokeError(programFile.view(), host.getLastError());
        return false;
    }
    logInfo(SharedString(u"Relaunched as administrator: ") + programFile + u" " + commandLine);
    closeProcessHandle(process.process);
    closeProcessHandle(process.thread);
    return true;
}

}  // namespace druvex
