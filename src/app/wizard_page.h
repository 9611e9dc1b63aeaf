// WizardPage: the base of the wizard's pages on the terminal. The frame shows
// the installer's title with the page's own and the page counter; Next and
// Back are offered as the page's logic allows; leaving the installer is asked
// first. A page ends with the command that moves the wizard: Next, Back,
// Cancel (the person chose to leave), or the end of the wizard.
#pragma once

#include <functional>

#include "controller/wizard_pages.h"
#include "ui/page_frame.h"

namespace druvex {

class WizardController;

// The wizard ends after this page: its last page, or the run cannot go on.
constexpr int kPageCommandEndWizard = 103;

// What a page reports to the page observer.
enum class PageEvent {
    Open,  // the page opens
    Next,  // Next was chosen, before the page checks anything
};
// Told of every page event, inside the page's handler; null: nobody. Set
// before the wizard runs (programs that test the wizard's crash handling).
using PageEventObserver = void (*)(WizardPageId page, PageEvent event);
void setPageEventObserver(PageEventObserver observer);

class WizardPage : public PageFrame {
public:
    // `title`: the page's own title, shown after the installer's.
    WizardPage(TerminalSession& session, WizardController& controller, WizardPageId id, SharedString title);

    WizardPageId pageId() const { return id_; }
    // Stops every report of the page's logic to the page and ends the work
    // the page started for it. The wizard calls it before the logic goes,
    // and destroys the page only after: a report on its way still finds it.
    virtual void leaveLogic() {}

protected:
    WizardController& controller() const { return controller_; }

    // Whether Next and Back may be chosen now; by default the logic's answer.
    virtual bool canGoNext() const;
    virtual bool canGoBack() const;
    // The page's own work when Next or Back is chosen (checks, questions,
    // choices handed to the logic); false stays on the page.
    virtual bool confirmNext() { return true; }
    virtual bool confirmBack() { return true; }
    // Enables Next and Back as canGoNext and canGoBack say now.
    void updateButtons();
    // Places the controls again (after their texts changed).
    void relayout();
    // From any thread: runs `update` on the UI thread, then places the
    // controls again; nothing when the page is gone by then.
    void postUpdate(std::function<void()> update);
    // The page's own title, shown after the installer's (a page gives it
    // again in the new language after a change of language).
    void setPageTitle(SharedString title) { pageTitle_ = std::move(title); }
    // The frame's texts in the current language (after a change of language).
    void retranslateFrame();

    void onInitDialog() override;
    void onNext() override;
    void onBack() override;
    // Asks whether to leave the installer.
    void onCancel() override;

private:
    SharedString frameTitle() const;

    WizardController& controller_;
    WizardPageId id_;
    SharedString pageTitle_;
};

}  // namespace druvex
