#include "controller/page_feature_selection_logic.h"

#include <algorithm>

#include "app_base/installer_options.h"
#include "controller/page_sequence.h"
#include "controller/wizard_controller.h"
#include "data/install_data.h"
#include "data/package_sources.h"

namespace druvex {
namespace {

bool contains(const std::vector<FeaturePtr>& list, const Feature* feature)
{
    return std::any_of(list.begin(), list.end(), [feature](const FeaturePtr& f) { return f.get() == feature; });
}

}  // namespace

PageFeatureSelectionLogic::PageFeatureSelectionLogic(WizardController& controller)
    : PageFeatureLogicBase(controller, ChoiceCheck::Evaluate)
{
    controller_.setInstallOnFeatureSelectionEnabled(true);
    runHook(u"FEATSEL-ENTER");
}

PageFeatureSelectionLogic::PageFeatureSelectionLogic(WizardController& controller, ScratchTag)
    : PageFeatureLogicBase(controller, ChoiceCheck::Skip), runsHooks_(false)
{
}

std::unique_ptr<PageFeatureSelectionLogic> PageFeatureSelectionLogic::makeScratch(WizardController& controller)
{
    return std::unique_ptr<PageFeatureSelectionLogic>(new PageFeatureSelectionLogic(controller, ScratchTag{}));
}

bool PageFeatureSelectionLogic::onNext()
{
    return controller_.isInstallOnFeatureSelectionEnabled();
}

void PageFeatureSelectionLogic::onLeave(WizardPageId nextPage)
{
    // The controller going away is no move to another page.
    if (nextPage != kPageFeatureSelection && nextPage != kPageNone)
        runHook(u"FEATSEL-EXIT");
}

bool PageFeatureSelectionLogic::runUnattended()
{
    evaluateSelection();
    const SharedString& named = controller_.getOptions().uninstallFeature;
    if (!named.isEmpty()) {
        if (const FeaturePtr feature = controller_.getInstallData().findItemByPath(named.view()))
            setFeatureSelected(feature, false);
        else
            controller_.addRunNotice(u"uninstall_feature \"" + named + u"\" names no feature of " +
                                     controller_.getProgramName() + u" (a feature is named by its key, such as "
                                     u"Feature/Help): nothing is removed");
    }
    refreshRedistributables();
    return true;
}

std::uint64_t PageFeatureSelectionLogic::getRequiredSpace() const
{
    return controller_.computeRequiredSpace(true);
}

bool PageFeatureSelectionLogic::isBlockedByAdminRights(const Feature& feature) const
{
    return feature.getInstallAsAdmin() && !controller_.hasAdministratorRights();
}

bool PageFeatureSelectionLogic::hasReselectedFeatures() const
{
    return controller_.getReselectedFeatureCount() != 0;
}

bool PageFeatureSelectionLogic::isFeatureAvailable(const Feature& feature) const
{
    if (feature.getCompressedSize() != 0)
        return controller_.getPackageSources().contains(feature);
    if (feature.subFeatureCount() == 0)
        return true;
    for (int index = 0; index < feature.subFeatureCount(); ++index) {
        if (isFeatureAvailable(*feature.subFeatureAt(index)))
            return true;
    }
    return false;
}

bool PageFeatureSelectionLogic::comesFromServer(const Feature& feature) const
{
    if (feature.getCompressedSize() != 0) {
        std::vector<PackageSource> sources;
        controller_.getPackageSources().equalRange(feature, sources);
        if (std::any_of(sources.begin(), sources.end(),
                        [](const PackageSource& source) { return source.sourceKind == kSourceDownload; }))
            return true;
    }
    for (int index = 0; index < feature.subFeatureCount(); ++index) {
        if (comesFromServer(*feature.subFeatureAt(index)))
            return true;
    }
    return false;
}

void PageFeatureSelectionLogic::getFeatureDisplayState(const Feature& feature, SharedString& name, bool& online,
                                                       bool& locked, bool& adminBlocked) const
{
    name = feature.getDisplayName();
    online = comesFromServer(feature);
    locked = !isFeatureAvailable(feature);
    adminBlocked = isBlockedByAdminRights(feature);
}

void PageFeatureSelectionLogic::setFeatureSelected(const FeaturePtr& feature, bool select)
{
    if (!feature)
        return;
    applySelection(feature, select);
    runHook(u"FEATSEL-CHANGE");
}

void PageFeatureSelectionLogic::applySelection(const FeaturePtr& feature, bool select)
{
    if (select)
        controller_.selectFeature(feature);
    else
        controller_.deselectFeature(feature);
    for (const FeaturePtr& follower : parentRequired_) {
        if (follower->parent() == feature.get())
            applySelection(follower, select);
    }
    for (int index = 0; index < feature->subFeatureCount(); ++index) {
        const FeaturePtr& child = feature->subFeatureAt(index);
        if (child == languageSubFeature_ || (select && !isFeatureAvailable(*child)))
            continue;
        applySelection(child, select);
    }
}

void PageFeatureSelectionLogic::toggleFeatureWithDependencies(const FeaturePtr& feature, bool select,
                                                              std::vector<FeaturePtr>& out) const
{
    out.clear();
    // Each feature is looked at once, so that features needing each other end the walk.
    std::vector<FeaturePtr> seen{feature};
    for (std::size_t next = 0; next < seen.size(); ++next) {
        const Feature* current = seen[next].get();
        for (const auto& [dependent, needed] : dependencies_) {
            const FeaturePtr& reached = select ? needed : dependent;
            const Feature* from = select ? dependent.get() : needed.get();
            if (from != current || contains(seen, reached.get()))
                continue;
            seen.push_back(reached);
            if (controller_.isFeatureSelected(reached.get()) != select)
                out.push_back(reached);
        }
    }
}

void PageFeatureSelectionLogic::evaluateSelection()
{
    if (sink_)
        sink_->onTreeBegin();
    dependencies_.clear();
    parentRequired_.clear();

    InstallData& data = controller_.getInstallData();
    languageSubFeature_ = nullptr;
    if (const FeaturePtr languages = data.mainLanguageFeature())
        languageSubFeature_ = languages->findSubFeatureForLanguage(controller_.getLanguage());

    if (const FeaturePtr root = data.featureRoot()) {
        for (int index = 0; index < root->subFeatureCount(); ++index)
            evaluateFeature(root->subFeatureAt(index), nullptr);
    }
    if (sink_)
        sink_->onTreeEnd();
}

void PageFeatureSelectionLogic::evaluateFeature(const FeaturePtr& feature, const FeaturePtr& parent)
{
    if (feature == languageSubFeature_)
        return;
    // Not shown, and nothing below it either; a required one is installed all the same.
    if (feature->getMode() == FeatureMode::NotVisible) {
        if (feature->getPresel() == FeaturePreselection::Required)
            applySelection(feature, true);
        return;
    }
    if (feature->getPlatforms() != kPlatformMaskAll) {
        if (parent && parent->getPresel() == FeaturePreselection::Required) {
            parentRequired_.push_back(feature);
            if (controller_.isFeatureSelected(parent.get()))
                applySelection(feature, true);
            return;
        }
        if ((feature->getPlatforms() & controller_.getTargetPlatformMask()) == 0)
            return;
    }

    const WizardMode mode = controller_.getPageSequence().getMode();
    const bool preselected = feature->getPresel() == FeaturePreselection::Required ||
                             (feature->getPresel() == FeaturePreselection::Default &&
                              (mode == kModeInstall || mode == kModeMaintenanceWithoutLog));
    if (preselected)
        setFeatureSelected(feature, true);
    const bool selected = preselected || controller_.isFeatureSelected(feature.get());
    if (sink_)
        sink_->onFeatureAdded(parent, feature, selected);

    for (const SharedString& name : feature->componentFeatures()) {
        const FeaturePtr needed = controller_.getInstallData().findItemByPath(name.view());
        if (isAcceptedFeature(needed) && needed != feature)
            dependencies_.emplace_back(feature, needed);
    }

    for (int index = 0; index < feature->subFeatureCount(); ++index)
        evaluateFeature(feature->subFeatureAt(index), feature);
    if (sink_)
        sink_->onFeatureDone(feature, feature->getMode() != FeatureMode::Collapsed);
}

bool PageFeatureSelectionLogic::isAcceptedFeature(const FeaturePtr& feature) const
{
    if (!feature)
        return false;
    // A feature of the tree, not of the data packages beside it.
    const Feature* featureRoot = controller_.getInstallData().featureRoot().get();
    const Feature* node = feature->parent();
    while (node && node != featureRoot)
        node = node->parent();
    if (!node)
        return false;
    const std::int32_t mask = controller_.getTargetPlatformMask();
    return mask == 0 || (feature->getPlatforms() & mask) != 0;
}

void PageFeatureSelectionLogic::runHook(const char16_t* hook)
{
    if (runsHooks_)
        controller_.runHook(SharedString(hook));
}

}  // namespace druvex
