#include "controller/page_destination2_logic.h"

#include "controller/wizard_controller.h"
#include "controller/page_logic_state.h"
#include "core/path_text.h"
#include "data/install_data.h"
#include "fileutil/file_util.h"

namespace druvex {

PageDestination2Logic::PageDestination2Logic(WizardController& controller, std::shared_ptr<HalAccess> targetHost)
    : PageFeatureLogicBase(controller, ChoiceCheck::Evaluate), targetHost_(std::move(targetHost))
{
    const SharedString& kept = pageLogicProcessState().secondDestinationPath;
    defaultPath_ = kept.isEmpty() ? computeDefaultPath() : kept;
    chosenPath_ = defaultPath_;
}

SharedString PageDestination2Logic::computeDefaultPath() const
{
    const InstallerSettings& settings = controller_.getInstallData().settings();
    SharedString base = settings.getInstallFolderBaseWindows();
    if (base.isEmpty())
        base = u"<USERDEP_PROGRAM_FILES>";
    SharedString folder = settings.getInstallFolderWindows();
    if (folder.isEmpty())
        folder = settings.getProgramName();
    return withTrailingBackslash(toBackslashes(joinPath(controller_.expandVariables(base), folder)));
}

bool PageDestination2Logic::onNext()
{
    pageLogicProcessState().secondDestinationPath = chosenPath_;
    return true;
}

bool PageDestination2Logic::runUnattended()
{
    const SharedString resolved = controller_.getDestinationFolder();
    if (!resolved.isEmpty())
        chosenPath_ = resolved;
    controller_.setDestinationFolder(chosenPath_);
    pageLogicProcessState().secondDestinationPath = chosenPath_;
    return true;
}

}  // namespace druvex
