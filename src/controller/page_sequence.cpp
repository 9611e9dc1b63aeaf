#include "controller/page_sequence.h"

#include <algorithm>

#include "app_base/installer_options.h"
#include "data/install_data.h"

namespace druvex {

PageSequence::PageSequence(PageSequenceController& controller) : controller_(controller) {}

WizardPageId PageSequence::getCurrentPageId() const
{
    return index_ < pages_.size() ? pages_[index_] : kPageNone;
}

WizardPageId PageSequence::getNextPageId() const
{
    if (pages_.empty())
        return kPageNone;
    return index_ + 1 < pages_.size() ? pages_[index_ + 1] : pages_.back();
}

void PageSequence::next()
{
    // Also guards the empty list, where "below count - 1" would wrap around.
    if (index_ + 1 >= pages_.size())
        return;
    ++index_;
    controller_.createPageLogic(pages_[index_]);
}

void PageSequence::back()
{
    if (index_ == 0 || index_ > pages_.size())
        return;
    --index_;
    controller_.createPageLogic(pages_[index_]);
}

void PageSequence::goToPage(WizardPageId id)
{
    const auto found = std::find(pages_.begin(), pages_.end(), id);
    if (found == pages_.end())
        return;
    index_ = static_cast<std::size_t>(found - pages_.begin());
    controller_.createPageLogic(id);
}

void PageSequence::reset(WizardPageId id)
{
    pages_.assign(1, id);
    // Callers reset in the middle of a run too (an uninstallation, a backup),
    // where the old position would lie outside the new list.
    index_ = 0;
    controller_.createPageLogic(id);
}

void PageSequence::insertAfterCurrent(WizardPageId id)
{
    if (contains(id))
        return;
    if (!pages_.empty() && index_ < pages_.size())
        pages_.insert(pages_.begin() + static_cast<std::ptrdiff_t>(index_ + 1), id);
    else
        pages_.push_back(id);
}

void PageSequence::removePage(WizardPageId id)
{
    const auto found = std::find(pages_.begin(), pages_.end(), id);
    if (found == pages_.end())
        return;
    pages_.erase(found);
    if (index_ >= pages_.size() && !pages_.empty())
        index_ = pages_.size() - 1;
}

void PageSequence::buildForMode(WizardMode mode)
{
    if (mode == mode_)
        return;
    const bool hadCurrent = index_ < pages_.size();
    const WizardPageId current = hadCurrent ? pages_[index_] : kPageNone;
    pages_.clear();
    mode_ = mode;
    appendModePages(mode);
    insertCustomPages();
    if (hadCurrent) {
        const auto found = std::find(pages_.begin(), pages_.end(), current);
        index_ = found == pages_.end() ? 0 : static_cast<std::size_t>(found - pages_.begin());
    } else if (index_ >= pages_.size()) {
        // Without a current page the position stays, but never outside the list.
        index_ = 0;
    }
}

void PageSequence::appendModePages(WizardMode mode)
{
    const InstallerOptions& options = controller_.getOptions();
    const bool useConfig = options.configMode == kConfigModeUse;
    const bool newerInstaller =
        controller_.hasNewInstallerEntry() && controller_.getInstalledVersionComparison() == 0;
    const bool licence = controller_.hasEulaInPayload();
    const bool licenceAccepted = controller_.isEulaAlreadyAccepted();
    const bool desktop = controller_.isDesktopTarget();
    const bool features = controller_.hasFeatureToInstall();
    const bool redistributables = controller_.needsRedistributables();

    auto add = [this](WizardPageId id) { pages_.push_back(id); };
    auto addIf = [this](bool condition, WizardPageId id) {
        if (condition)
            pages_.push_back(id);
    };
    auto addEnd = [this] {
        pages_.push_back(kPageInstallation);
        pages_.push_back(kPageEndInstall);
    };

    switch (mode) {
    case kModeStart:
        addIf(!useConfig, kPageTethering);
        add(kPagePrerequisites);
        return;
    case kModeInstall:
        if (useConfig) {
            add(kPagePrerequisites);
            addEnd();
            return;
        }
        add(kPageTethering);
        add(kPagePrerequisites);
        addIf(newerInstaller, kPageNewVersion);
        add(kPageWelcome);
        addIf(licence, kPageLicense);
        if (desktop) {
            const int users = controller_.getInstallData().settings().getAskForWhichUsers();
            if (users == kInstallForPrompt)
                add(kPageUsers);
            else
                controller_.setForAnyone(users == kInstallForEveryone);
            add(kPageDestination2);
        } else {
            add(kPageDestination);
        }
        addIf(features, kPageFeatureSelection);
        addEnd();
        return;
    case kModeUpdate:
        add(kPagePrerequisites);
        add(kPageWelcome);
        addIf(licence && !licenceAccepted, kPageLicense);
        addEnd();
        return;
    case kModeAddRemove:
        add(kPageWelcome);
        addIf(licence, kPageLicense);
        add(kPageFeatureSelection);
        addEnd();
        return;
    case kModeUninstall:
        add(kPageWelcome);
        addEnd();
        return;
    case kModeMaintenance:
    case kModeMaintenanceWithoutLog:
        if (useConfig) {
            add(kPagePrerequisites);
            addEnd();
            return;
        }
        // The welcome page stands before the new-version page in these modes.
        add(kPageTethering);
        add(kPagePrerequisites);
        add(kPageWelcome);
        addIf(newerInstaller, kPageNewVersion);
        addIf(licence, kPageLicense);
        if (mode == kModeMaintenanceWithoutLog)
            add(desktop ? kPageDestination2 : kPageDestination);
        if (features)
            add(kPageFeatureSelection);
        else
            addIf(redistributables, kPageRedistributables);
        addEnd();
        return;
    case kModeDownload:
        add(options.updateMode == kUpdateModeNewVersion ? kPagePrerequisites : kPageNewVersion);
        addEnd();
        return;
    case kModeRepairBroken:
    case kModeRepair:
        add(kPagePrerequisites);
        add(kPageWelcome);
        addIf(redistributables, kPageRedistributables);
        addEnd();
        return;
    case kModeBackup:
        addEnd();
        return;
    case kModeNone:
        return;
    }
    // A stored mode outside the set has no pages.
}

void PageSequence::insertCustomPages()
{
    customPages_.clear();
    const std::int32_t modeBit = customPageModeBit(mode_);
    if (modeBit == 0)
        return;
    const TargetPlatform hostPlatform = controller_.getHostPlatform();
    const InstallData& data = controller_.getInstallData();
    WizardPageId nextId = kPageCustomFirst;
    std::vector<SharedString> names;
    for (WizardPageId anchor = kPageNone; anchor <= kPageEndInstall; ++anchor) {
        // The two destination pages share one name; the second one places it.
        if (anchor == kPageDestination)
            continue;
        data.customPagesAfter(wizardPageName(anchor).view(), names);
        for (const SharedString& name : names) {
            CustomPagePtr page = data.findCustomPage(name.view());
            if (!page || (page->supportedModes & modeBit) == 0 || !page->matchesPlatform(hostPlatform))
                continue;
            if (nextId > kPageCustomLast)
                return;
            const auto before = std::find_if(pages_.begin(), pages_.end(), [anchor](WizardPageId id) {
                return id < kPageCustomFirst && id > anchor;
            });
            pages_.insert(before, nextId);
            customPages_[nextId] = std::move(page);
            ++nextId;
        }
    }
}

CustomPagePtr PageSequence::findCustomPage(WizardPageId id) const
{
    const auto found = customPages_.find(id);
    return found == customPages_.end() ? nullptr : found->second;
}

SharedString PageSequence::getPageCounterText() const
{
    const WizardPageId current = getCurrentPageId();
    if (current == kPageNone || current == kPageTethering || current == kPagePrerequisites)
        return {};
    if (mode_ == kModeDownload)
        return {};
    const int position = static_cast<int>(index_);
    SharedString text;
    if (mode_ == kModeInstall)
        return text.format(u"%d/%d", position, static_cast<int>(pages_.size()) - 1);
    return text.format(u"%d", position);
}

bool PageSequence::contains(WizardPageId id) const
{
    return std::find(pages_.begin(), pages_.end(), id) != pages_.end();
}

}  // namespace druvex
