// The silent run: the page list walked from the current page to the end page
// without windows, each page logic doing its page's work alone.
#include "controller/installer_controller.h"

#include <cstdio>

#include "controller/page_logic.h"
#include "controller/wizard_pages.h"
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

SharedString joinedNames(const std::vector<SharedString>& names)
{
    SharedString joined;
    for (const SharedString& name : names)
        joined += (joined.isEmpty() ? u"" : u", ") + name;
    return joined;
}

}  // namespace

bool failRun(RunController& controller, const SharedString& reason)
{
    logError(reason.view());
    controller.setFailureReason(reason);
    return false;
}

void InstallerController::addSkippedFeature(const SharedString& displayName)
{
    logInfo((u"The run goes on without the feature " + displayName).view());
    MutexLock lock(outcomeMutex_);
    skippedFeatures_.push_back(displayName);
}

std::vector<SharedString> InstallerController::getSkippedFeatures() const
{
    MutexLock lock(outcomeMutex_);
    return skippedFeatures_;
}

void InstallerController::setFailureReason(const SharedString& reason)
{
    MutexLock lock(outcomeMutex_);
    if (failureReason_.isEmpty())
        failureReason_ = reason;
}

SharedString InstallerController::getFailureReason() const
{
    MutexLock lock(outcomeMutex_);
    return failureReason_;
}

void InstallerController::clearFailureReason()
{
    MutexLock lock(outcomeMutex_);
    failureReason_ = SharedString();
}

void InstallerController::addRunNotice(const SharedString& text)
{
    logInfo(text.view());
    MutexLock lock(outcomeMutex_);
    runNotices_.push_back(text);
}

std::vector<SharedString> InstallerController::getRunNotices() const
{
    MutexLock lock(outcomeMutex_);
    return runNotices_;
}

bool InstallerController::runUnattended()
{
    unattendedFailure_ = SharedString();
    // Why the run stops: where, and the reason the step that stopped it gave.
    const auto fail = [this](const SharedString& where) {
        unattendedFailure_ = where;
        const SharedString reason = getFailureReason();
        if (!reason.isEmpty())
            unattendedFailure_ += u": " + reason;
        return false;
    };
    clearFailureReason();

    SharedString owner;
    const RightsCheck rights = checkAdministrativeRights(owner);
    if (rights == kRightsOtherOwner || rights == kRightsAdministratorNeeded) {
        std::fputs("Error - The installation requires administrative rights\n", stdout);
        std::fflush(stdout);
        if (rights == kRightsOtherOwner)
            logError(SharedString(u"The program is installed for the user ") + owner);
        else
            logError(u"The installation requires administrative rights");
        return fail(SharedString(u"The installation requires administrative rights"));
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
            unattendedFailure_.format(u"The silent run stops: page %d has no logic", page);
            logError(unattendedFailure_.view());
            return false;
        }
        if (!pageLogic_->runUnattended()) {
            logInfo(SharedString().format(u"The silent run stops: page %d did not complete", page));
            return fail(SharedString().format(u"The silent run stopped on the %s", wizardPageName(page)));
        }
        if (page == kPageEndInstall) {
            const InstallResult result = getResult();
            const bool completed = result == kResultCompleted || result == kResultCompletedUnchanged;
            if (!completed)
                return fail(SharedString().format(u"The run ended with the result %d (%s)", result,
                                                  result == kResultCanceled ? u"canceled" : u"failed"));
            const std::vector<SharedString> skipped = getSkippedFeatures();
            if (!skipped.empty())
                return fail(u"The run left out the features " + joinedNames(skipped));
            if (pageSequence_->getMode() == kModeDownload && !launchNewInstaller(*this))
                return fail(SharedString(u"The downloaded newer installer could not be started"));
            return true;
        }

        // A page list that does not end on the end page leaves the last page
        // where it is: running its logic again would never end.
        const WizardPageId before = pageSequence_->getCurrentPageId();
        const std::size_t index = pageSequence_->getCurrentIndex();
        // A reason given on a page that went on is no reason for a later
        // stop; but the end page reports the installation's result, whose
        // reason the installation gave.
        if (before != kPageInstallation)
            clearFailureReason();
        if (!next())
            return fail(SharedString().format(u"The silent run could not leave the %s", wizardPageName(before)));
        if (pageSequence_->getCurrentPageId() == before && pageSequence_->getCurrentIndex() == index) {
            unattendedFailure_.format(u"The silent run stops: the page list does not go on after page %d", before);
            logError(unattendedFailure_.view());
            return false;
        }
    }
    unattendedFailure_.format(u"The silent run stops: more than %d pages visited", kMaxUnattendedPages);
    logError(unattendedFailure_.view());
    return false;
}

}  // namespace druvex
