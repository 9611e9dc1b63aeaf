#include "app/page_new_version_dlg.h"

#include "controller/wizard_controller.h"
#include "controller/page_new_version_logic.h"
#include "core/app_log.h"
#include "core/translate_text.h"
#include "core/path_text.h"
#include "data/install_data.h"
#include "fileutil/operation_log.h"
#include "liveupdate/new_installer.h"
#include "platform/window_model.h"
#include "ui/widgets.h"
#include "ui_base/message_box.h"

namespace druvex {

PageNewVersionDlg::PageNewVersionDlg(TerminalSession& session, WizardController& controller,
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
    if (choice == kNewVersionTakeNewer && !prepareDownload())
        return false;
    logic_.setChoice(choice);
    return true;
}

bool PageNewVersionDlg::prepareDownload()
{
    SharedString target;
    const int room = findNewInstallerTarget(controller(), target);
    // Shown to the person as the device writes paths.
    const SharedString folder = toBackslashes(getParentFolder(target));
    SharedString question;
    switch (room) {
    case kSaveSpaceEnough:
        break;
    case kSaveSpaceUnknown:
        question = formatTranslated("The free space in {1} cannot be determined. Save the new installer there anyway?",
                                    folder);
        break;
    case kSaveSpaceTight:
        question = formatTranslated("Little space will be left in {1} after the new installer is saved there. "
                                    "Save it there anyway?",
                                    folder);
        break;
    default: {
        const SharedString text =
            room < 0 ? translateText("The new version is no longer offered.")
            : room == kSaveSpaceNotWritable
                ? formatTranslated("The new installer cannot be saved: {1} cannot be written.", folder)
                : translateText("There is not enough free space on the device to save the new installer.");
        logError((u"The new installer has no place to be saved: " + text).view());
        showMessageBoxOwned(getForegroundWindow(), text, controller().getInstallerTitle(true), kMbOk | kMbIconError);
        return false;
    }
    }
    if (!question.isEmpty() && showMessageBoxOwned(getForegroundWindow(), question, controller().getInstallerTitle(true),
                                                   kMbYesNo | kMbIconQuestion) != kIdYes)
        return false;
    // The wizard becomes the download of the new installer: the
    // installation page downloads it and the end page starts it.
    return prepareNewVersionDownload(controller(), target);
}

}  // namespace druvex
