// The silent run: the page list walked from the current page to the end page
// without windows, each page logic doing its page's work alone.
#include "controller/installer_controller.h"

#include <cstdio>

#include "controller/page_logic.h"
#include "data/culture_table.h"
#include "data/installed_log.h"
#include "fileutil/operation_log.h"
#include "liveupdate/new_installer.h"

namespace druvex {
namespace {

// Every silent run is made in this language when the culture table names it.
constexpr std::uint16_t kSilentRunLanguage = 0x406;
// No page list comes near this: a run that visits more pages goes round in
// a circle that the page logics make between them.
constexpr int kMaxUnattendedPages = 256;

}  // namespace

bool InstallerController::runUnattended()
{
    SharedString owner;
    const int rights = checkAdministrativeRights(owner);
    if (rights == 1 || rights == 2) {
        std::fputs("Error - The installation requires administrative rights\n", stdout);
        std::fflush(stdout);
        if (rights == 1)
            logError(SharedString(u"The program is installed for the user ") + owner);
        else
            logError(u"The installation requires administrative rights");
        return false;
    }

    useOnlineFeature_ = options_.updateMode != kUpdateModeNone;
    updateCheckDone_ = options_.updateMode == kUpdateModeNone;
    // An installed program keeps its language: made current here, another
    // language would take the installed language features out of the run.
    SharedString languageName;
    if (installedLog_->getFeatureCount() == 0 && languageDisplayName(kSilentRunLanguage, languageName))
        setLanguage(kSilentRunLanguage, languageName);

    for (int visited = 0; visited < kMaxUnattendedPages; ++visited) {
        const WizardPageId page = pageSequence_->getCurrentPageId();
        if (!pageLogic_) {
            logError(SharedString().format(u"The silent run stops: page %d has no logic", page));
            return false;
        }
        if (!pageLogic_->runUnattended()) {
            logInfo(SharedString().format(u"The silent run stops: page %d did not complete", page));
            return false;
        }
        if (page == kPageEndInstall) {
            const InstallResult result = getResult();
            const bool completed = result == kResultCompleted || result == kResultCompletedUnchanged;
            if (completed && pageSequence_->getMode() == kModeDownload)
                return launchNewInstaller(*this);
            return completed;
        }

        // A page list that does not end on the end page leaves the last page
        // where it is: running its logic again would never end.
        const WizardPageId before = pageSequence_->getCurrentPageId();
        const std::size_t index = pageSequence_->getCurrentIndex();
        if (!next())
            return false;
        if (pageSequence_->getCurrentPageId() == before && pageSequence_->getCurrentIndex() == index) {
            logError(SharedString().format(u"The silent run stops: the page list does not go on after page %d",
                                           before));
            return false;
        }
    }
    logError(SharedString().format(u"The silent run stops: more than %d pages visited", kMaxUnattendedPages));
    return false;
}

}  // namespace druvex
