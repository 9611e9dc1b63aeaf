#include "app/page_new_version_dlg.h"

#include "controller/installer_controller.h"
#include "controller/page_new_version_logic.h"
#include "core/app_log.h"
#include "core/translate_text.h"
#include "data/install_data.h"
#include "ui/widgets.h"

namespace druvex {

PageNewVersionDlg::PageNewVersionDlg(TerminalSession& session, InstallerController& controller,
                                     PageNewVersionLogic& logic)
    : WizardPage(session, controller, kPageNewVersion, translateText("New Version")), logic_(logic)
{
    const InstallerSettings& settings = controller.getInstallData().settings();
    addContent<Label>(false, 0,
                      translateAndFormat2("Version {2} of {1} is available.", settings.getProgramName(),
                                          logic_.getNewVersionText()));
    if (logic_.hasReleaseNotes()) {
        addContent<Label>(false, 1, translateText("Release notes:"));
        addContent<ScrollText>(true, 0, logic_.getReleaseNotes());
    }
    choices_ = &addContent<RadioGroup>(
        false, 1,
        std::vector<SharedString>{
            translateText("Download the new version and install it"),
            formatTranslated("Continue with version {1}", settings.getProgramVersionText())});
    // A choice of an earlier visit that is neither stands for going on.
    choices_->setSelected(logic_.getChoice() == kNewVersionTakeNewer ? 0 : 1);
}

void PageNewVersionDlg::onInitDialog()
{
    WizardPage::onInitDialog();
    setFocus(choices_);
}

bool PageNewVersionDlg::confirmNext()
{
    const std::uint8_t choice = choices_->selected() == 0 ? kNewVersionTakeNewer : kNewVersionKeepThis;
    logPrintf(u"The new-version page: choice %d", choice);
    logic_.setChoice(choice);
    return true;
}

}  // namespace druvex
