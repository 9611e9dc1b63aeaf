// The wizard's moves: the current page's logic is asked, the page sequence
// moves, and the logic of the page it lands on replaces the old one.
#include "controller/installer_controller.h"

#include <utility>

#include "controller/page_logic.h"
#include "fileutil/operation_log.h"
#include "text/assertion_sites.h"
#include "text/diag.h"

namespace druvex {

bool InstallerController::next()
{
    if (!pageLogic_) {
        reportDbgChk(kCheckNextWithoutPageLogic);
        return false;
    }
    if (!pageLogic_->onNext())
        return false;
    pageSequence_->next();
    return true;
}

bool InstallerController::back()
{
    if (!pageLogic_) {
        reportDbgChk(kCheckBackWithoutPageLogic);
        return false;
    }
    if (!pageLogic_->onBack())
        return false;
    pageSequence_->back();
    return true;
}

void InstallerController::createPageLogic(WizardPageId id)
{
    if (!isWizardPageId(id)) {
        reportDbgChk(kCheckUnknownPageId);
        return;
    }
    if (pageLogic_)
        pageLogic_->onLeave(id);

    PageLogicArguments arguments;
    switch (id) {
    case kPagePrerequisites:
        arguments.downloader = webDownloader_.get();
        break;
    case kPageWelcome:
        arguments.mode = pageSequence_->getMode();
        break;
    case kPageUsers:
    case kPageEndInstall:
        arguments.host = sourceHost_;
        break;
    case kPageDestination:
    case kPageDestination2:
        arguments.host = targetHost_;
        break;
    case kPageNone:
    case kPageTethering:
    case kPageNewVersion:
    case kPageLicense:
    case kPageFeatureSelection:
    case kPageRedistributables:
    case kPageInstallation:
    case kPageCustomFirst:
    case kPageCustomLast:
        break;
    }
    // Custom pages take every number from the first to the last.
    if (isCustomPageId(id))
        arguments.customPage = pageSequence_->findCustomPage(id);
    std::unique_ptr<PageLogic> logic;
    if (pageLogicFactory_)
        logic = pageLogicFactory_->makePageLogic(*this, id, arguments);
    if (!logic)
        logInfo(SharedString().format(u"No page logic for page %d", id));

    // The old logic goes only once the new one is made.
    std::unique_ptr<PageLogic> old = std::exchange(pageLogic_, std::move(logic));
    old.reset();
}

}  // namespace druvex
