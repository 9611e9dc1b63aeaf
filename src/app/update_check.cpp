#include "app/update_check.h"

#include <memory>

#include "controller/installer_controller.h"
#include "controller/page_prerequisites_logic.h"
#include "controller/unattended_prerequisites.h"
#include "controller/update_info.h"
#include "core/app_log.h"
#include "fileutil/operation_log.h"
#include "liveupdate/update_patcher.h"
#include "platform/exit_status.h"

namespace druvex {

std::uint32_t runUpdateCheck(InstallerController& controller, const SharedString& folder, WaitTimeouts* timeouts)
{
    std::unique_ptr<PagePrerequisitesLogic> own;
    auto* logic = dynamic_cast<PagePrerequisitesLogic*>(controller.getPageLogic());
    if (!logic) {
        own = std::make_unique<PagePrerequisitesLogic>(controller, controller.getWebDownloader());
        logic = own.get();
    }
    logic->setWaitTimeouts(timeouts);
    if (!logic->probeConnection()) {
        logInfo(u"Update check: no connection to the update server");
        return kExitCodeNoConnection;
    }

    UnattendedPrerequisites waiter(*logic, timeouts);
    if (!waiter.run()) {
        logPrintf(u"Update check: the update bulletin could not be had (result %d)", waiter.getResult());
        return static_cast<std::uint32_t>(waiter.getResult());
    }
    controller.getUpdatePatcher().applyBulletin(true);

    std::uint32_t code = 0;
    if (hasNewerInstaller(controller))
        code |= kUpdateCheckNewerInstaller;
    SharedString newerVersion;
    VersionWords words{};
    const bool newerProgram = logic->getResultInfo(newerVersion, words);
    // Called before the file is written in any case: it unmarks the features
    // that the installed program already has as the bulletin has them.
    const bool featureUpdates = hasFeatureUpdates(controller);
    if (featureUpdates || (newerProgram && !waiter.getResultFlag()))
        code |= kUpdateCheckFeatureUpdates;
    if (!writeUpdateInfoXml(controller, newerProgram, folder))
        code |= kUpdateCheckInfoNotWritten;
    logPrintf(u"Update check: exit code %u", code);
    return code;
}

}  // namespace druvex
