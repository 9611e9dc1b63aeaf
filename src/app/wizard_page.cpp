#include "app/wizard_page.h"

#include <atomic>

#include "controller/installer_ui_callback.h"
#include "controller/page_logic.h"
#include "controller/page_sequence.h"
#include "controller/wizard_controller.h"
#include "core/translate_text.h"
#include "ui/terminal_session.h"

namespace druvex {
namespace {

std::atomic<PageEventObserver> g_pageObserver{nullptr};

void tellObserver(WizardPageId page, PageEvent event)
{
    if (const PageEventObserver observer = g_pageObserver.load())
        observer(page, event);
}

}  // namespace

void setPageEventObserver(PageEventObserver observer)
{
    g_pageObserver.store(observer);
}

WizardPage::WizardPage(TerminalSession& session, WizardController& controller, WizardPageId id,
                       SharedString title)
    : PageFrame(session, SharedString()), controller_(controller), id_(id), pageTitle_(std::move(title))
{
    setTitle(frameTitle());
}

SharedString WizardPage::frameTitle() const
{
    const SharedString installer = controller_.getInstallerTitle(true);
    if (pageTitle_.isEmpty())
        return installer;
    return installer + u" - " + pageTitle_;
}

void WizardPage::retranslateFrame()
{
    setTitle(frameTitle());
    backButton().setText(translateText("< Back"));
    nextButton().setText(translateText("Next >"));
    cancelButton().setText(translateText("Cancel"));
    layout(session().rows(), session().columns());
}

bool WizardPage::canGoNext() const
{
    PageLogic* logic = controller_.getPageLogic();
    return logic != nullptr && logic->onNext();
}

bool WizardPage::canGoBack() const
{
    PageLogic* logic = controller_.getPageLogic();
    return logic != nullptr && controller_.getPageSequence().getCurrentIndex() > 0 && logic->onBack();
}

void WizardPage::updateButtons()
{
    nextButton().setEnabled(canGoNext());
    backButton().setEnabled(canGoBack());
    relayout();
}

void WizardPage::relayout()
{
    layout(session().rows(), session().columns());
    invalidate();
}

void WizardPage::postUpdate(std::function<void()> update)
{
    postMessage([this, update = std::move(update)] {
        update();
        relayout();
    });
}

void WizardPage::onInitDialog()
{
    setCounter(controller_.getPageSequence().getPageCounterText());
    tellObserver(id_, PageEvent::Open);
    updateButtons();
    PageFrame::onInitDialog();
}

void WizardPage::onNext()
{
    if (!nextButton().isEnabled())
        return;
    tellObserver(id_, PageEvent::Next);
    if (!canGoNext() || !confirmNext()) {
        updateButtons();
        return;
    }
    endDialog(kPageCommandNext);
}

void WizardPage::onBack()
{
    if (!backButton().isEnabled())
        return;
    if (!canGoBack() || !confirmBack()) {
        updateButtons();
        return;
    }
    endDialog(kPageCommandBack);
}

void WizardPage::onCancel()
{
    if (!cancelButton().isEnabled())
        return;
    if (controller_.getUiCallback()->askExit() != 0)
        endDialog(kPageCommandCancel);
}

}  // namespace druvex
