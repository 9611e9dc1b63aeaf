#include "controller/page_new_version_logic.h"

#include "liveupdate/live_update_context.h"
#include "controller/page_logic_state.h"
#include "liveupdate/new_installer.h"
#include "liveupdate/update_bulletin.h"
#include "text/assertion_sites.h"
#include "text/diag.h"

namespace druvex {

PageNewVersionLogic::PageNewVersionLogic(LiveUpdateContext& controller) : controller_(controller)
{
    int index = 0;
    bool platformMatched = false;
    if (!getNewInstallerEntry(controller_, record_, index, platformMatched)) {
        reportDbgChk(kCheckNoNewerInstaller);
        record_ = nullptr;
    }
    flag_ = platformMatched ? 1 : 0;
    choice_ = pageLogicProcessState().lastNewVersionChoice;
    if (flag_ == 0)
        choice_ = 1;
}

void PageNewVersionLogic::setChoice(std::uint8_t choice)
{
    choice_ = choice;
    pageLogicProcessState().lastNewVersionChoice = choice;
}

SharedString PageNewVersionLogic::getReleaseNotes() const
{
    return record_ ? record_->getReleaseNotes() : SharedString();
}

bool PageNewVersionLogic::hasReleaseNotes() const
{
    return record_ && !record_->getReleaseNotes().isEmpty();
}

SharedString PageNewVersionLogic::getNewVersionText() const
{
    return record_ ? record_->getVer().toText() : SharedString();
}

}  // namespace druvex
