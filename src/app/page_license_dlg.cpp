#include "app/page_license_dlg.h"

#include "controller/wizard_controller.h"
#include "core/app_log.h"
#include "core/translate_text.h"
#include "ui/terminal_session.h"
#include "ui/widgets.h"

namespace druvex {

PageLicenseDlg::PageLicenseDlg(TerminalSession& session, WizardController& controller, PageLicenseLogic& logic)
    : WizardPage(session, controller, kPageLicense, translateText("License Agreement")), logic_(logic)
{
    addContent<Label>(false, 0, translateText("Please read the following license agreement carefully."));
    text_ = &addContent<ScrollText>(true, 1);
    status_ = &addContent<Label>(false, 0);
    accept_ = &addContent<CheckBox>(false, 1, translateText("I accept the terms of the license agreement"));
    accept_->onChange([this](bool) { updateButtons(); });
}

void PageLicenseDlg::leaveLogic()
{
    logic_.setSink(nullptr);
    logic_.stopEulaDownload(true);
}

void PageLicenseDlg::onInitDialog()
{
    WizardPage::onInitDialog();
    logic_.setSink(this);
    logic_.loadLocalEula();
    // What the person has not read cannot be accepted: the box waits for the text.
    accept_->setEnabled(false);
    SharedString text;
    const EulaRecordPtr& eula = controller().getEula();
    if (logic_.loadEulaText(text)) {
        showText(text);
    } else if (eula && eula->path.view().starts_with(u"http")) {
        status_->setText(translateText("Downloading the license agreement..."));
        logic_.startEulaDownload(eula->path);
    } else {
        refuse(translateText("The license agreement cannot be shown."));
    }
    updateButtons();
    setFocus(accept_->isEnabled() ? static_cast<Widget*>(accept_) : &cancelButton());
}

void PageLicenseDlg::showText(const SharedString& text)
{
    text_->setText(text);
    status_->setText(SharedString());
    accept_->setEnabled(true);
}

void PageLicenseDlg::refuse(const SharedString& reason)
{
    // Without a licence held the logic refuses Next: the run cannot record
    // the acceptance of a licence no one saw.
    logic_.clearEula();
    logPrintf(u"The license agreement is not shown: it cannot be accepted");
    status_->setText(reason + u" " + translateText("The installation cannot continue without it."));
}

bool PageLicenseDlg::canGoNext() const
{
    return accept_->isChecked() && WizardPage::canGoNext();
}

bool PageLicenseDlg::confirmNext()
{
    logPrintf(u"The license agreement is accepted");
    return true;
}

bool PageLicenseDlg::confirmBack()
{
    return logic_.stopEulaDownload(false);
}

void PageLicenseDlg::onDownloadProgress(std::uint64_t received, std::uint64_t total)
{
    postUpdate([this, received, total] {
        status_->setText(total > 0 ? translateAndFormat2("Downloading the license agreement... {1} of {2} bytes",
                                                         SharedString().format(u"%llu", received),
                                                         SharedString().format(u"%llu", total))
                                   : translateText("Downloading the license agreement..."));
    });
}

void PageLicenseDlg::onDownloadFinished(int)
{
    postUpdate([this] {
        if (logic_.isTextReady())
            showText(logic_.getEulaText());
        else
            refuse(translateText("The license agreement could not be downloaded."));
        updateButtons();
        if (!accept_->isEnabled() && focusedWidget() == accept_)
            setFocus(&cancelButton());
    });
}

}  // namespace druvex
