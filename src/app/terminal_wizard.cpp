#include "app/terminal_wizard.h"

#include "app/custom_page_dlg.h"
#include "app/page_destination_dlg.h"
#include "app/page_end_install_dlg.h"
#include "app/page_feature_selection_dlg.h"
#include "app/page_installation_dlg.h"
#include "app/page_license_dlg.h"
#include "app/page_new_version_dlg.h"
#include "app/page_prerequisites_dlg.h"
#include "app/page_welcome_dlg.h"
#include "controller/installer_controller.h"
#include "controller/page_installation_logic.h"
#include "controller/page_license_logic.h"
#include "controller/page_new_version_logic.h"
#include "controller/page_prerequisites_logic.h"
#include "controller/page_welcome_logic.h"
#include "core/app_log.h"
#include "ui/terminal_session.h"

namespace druvex {
namespace {

// The window class of the wizard's main window.
constexpr char16_t kWizardWindowClass[] = u"DRUVEXInstallerWizard";

template <class Logic>
Logic* logicOf(InstallerController& controller)
{
    return dynamic_cast<Logic*>(controller.getPageLogic());
}

template <class Dialog, class Logic>
std::unique_ptr<WizardPage> pageOver(TerminalSession& session, InstallerController& controller)
{
    Logic* logic = logicOf<Logic>(controller);
    if (logic == nullptr)
        return nullptr;
    return std::make_unique<Dialog>(session, controller, *logic);
}

}  // namespace

std::unique_ptr<WizardPage> makeWizardPage(TerminalSession& session, InstallerController& controller,
                                           WizardPageId id)
{
    switch (id) {
    case kPagePrerequisites:
        return pageOver<PagePrerequisitesDlg, PagePrerequisitesLogic>(session, controller);
    case kPageWelcome:
        return pageOver<PageWelcomeDlg, PageWelcomeLogic>(session, controller);
    case kPageNewVersion:
        return pageOver<PageNewVersionDlg, PageNewVersionLogic>(session, controller);
    case kPageLicense:
        return pageOver<PageLicenseDlg, PageLicenseLogic>(session, controller);
    case kPageDestination:
        return pageOver<PageDestinationDlg, PageDestinationLogic>(session, controller);
    case kPageFeatureSelection:
        return pageOver<PageFeatureSelectionDlg, PageFeatureSelectionLogic>(session, controller);
    case kPageInstallation:
        return pageOver<PageInstallationDlg, PageInstallationLogic>(session, controller);
    case kPageEndInstall:
        return pageOver<PageEndInstallDlg, PageEndInstallLogic>(session, controller);
    case kPageCustomFirst:
    case kPageCustomLast:
        return createCustomPageDlg(session, controller);
    // The tethering, users, second destination and redistributables pages
    // have no window here.
    case kPageNone:
    case kPageTethering:
    case kPageUsers:
    case kPageDestination2:
    case kPageRedistributables:
        return nullptr;
    }
    // Custom pages take every number from the first to the last.
    if (isCustomPageId(id))
        return createCustomPageDlg(session, controller);
    return nullptr;
}

TerminalWizard::TerminalWizard(TerminalSession& session, InstallerController& controller)
    : session_(session), controller_(controller)
{
    mainWindow_ = createWindow(kWizardWindowClass, controller_.getInstallerTitle(true).view(), 0);
    setForegroundWindow(mainWindow_);
}

TerminalWizard::~TerminalWizard()
{
    if (mainWindow_ != 0)
        destroyWindow(mainWindow_);
}

bool TerminalWizard::passOver(WizardPageId id, int& direction)
{
    PageSequence& sequence = controller_.getPageSequence();
    const std::size_t index = sequence.getCurrentIndex();
    PageLogic* logic = controller_.getPageLogic();
    if (direction > 0) {
        if (logic->runUnattended()) {
            controller_.next();
        } else {
            logPrintf(u"The wizard goes back from page %d, whose work did not complete", id);
            direction = -1;
            controller_.back();
        }
    } else if (!controller_.back()) {
        controller_.next();
    }
    return sequence.getCurrentIndex() != index || sequence.getCurrentPageId() != id;
}

WizardEnd TerminalWizard::run()
{
    PageSequence& sequence = controller_.getPageSequence();
    int direction = 1;
    // Pages passed over one after the other: more than the list holds means
    // the list goes round without a page to show.
    std::size_t passedOver = 0;
    std::unique_ptr<WizardPage> page;
    for (;;) {
        const WizardPageId id = sequence.getCurrentPageId();
        const std::size_t index = sequence.getCurrentIndex();
        if (controller_.getPageLogic() == nullptr) {
            logPrintf(u"The wizard stops: page %d has no logic", id);
            return WizardEnd::Failed;
        }
        if (!page || page->pageId() != id)
            page = makeWizardPage(session_, controller_, id);
        if (!page) {
            if (++passedOver > 2 * sequence.getPages().size() + 2 || !passOver(id, direction)) {
                logPrintf(u"The wizard stops: it cannot move on from page %d", id);
                return WizardEnd::Failed;
            }
            continue;
        }
        passedOver = 0;
        logPrintf(u"The wizard shows page %d", id);
        const int command = page->doModal();
        page->leaveLogic();
        switch (command) {
        case kPageCommandNext:
            if (id == kPageEndInstall)
                return WizardEnd::Finished;
            controller_.next();
            direction = 1;
            break;
        case kPageCommandBack:
            controller_.back();
            direction = -1;
            break;
        case kPageCommandEndWizard:
            return WizardEnd::Finished;
        default:
            logPrintf(u"The wizard is left on page %d", id);
            return WizardEnd::Left;
        }
        // The page goes only now: its logic, replaced by the move, may have
        // reported to it until it went. A page that stays is shown again.
        if (sequence.getCurrentIndex() != index || sequence.getCurrentPageId() != id)
            page.reset();
    }
}

}  // namespace druvex
