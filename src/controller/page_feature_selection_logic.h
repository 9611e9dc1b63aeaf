// PageFeatureSelectionLogic: the logic of the feature-selection page (id 9).
// It builds the feature tree the page shows, applies the preselection, carries
// a selection change down to the children (and to the features shown under a
// required parent), tells which features can be had at all, which come from
// the update server and which need administrator rights, and finds what a
// feature needs or is needed by. Custom actions run at "FEATSEL-ENTER" (when
// the logic is made), "FEATSEL-CHANGE" (after each selection change) and
// "FEATSEL-EXIT" (when the wizard leaves the page).
#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "controller/page_feature_logic_base.h"
#include "data/feature.h"
#include "text/shared_string.h"

namespace druvex {

// Implemented by the feature-selection page: the tree as the logic walks it.
class FeatureSelectionPageSink {
public:
    virtual ~FeatureSelectionPageSink() = default;
    // The tree is about to be filled anew.
    virtual void onTreeBegin() = 0;
    // `feature` is shown below `parent` (null: at the top), selected or not.
    virtual void onFeatureAdded(const FeaturePtr& parent, const FeaturePtr& feature, bool selected) = 0;
    // The feature's children are in; it is shown expanded or collapsed.
    virtual void onFeatureDone(const FeaturePtr& feature, bool expanded) = 0;
    virtual void onTreeEnd() = 0;
};

class PageFeatureSelectionLogic final : public PageFeatureLogicBase {
public:
    // Lets scripts allow Next again and runs "FEATSEL-ENTER".
    explicit PageFeatureSelectionLogic(WizardController& controller);
    // A logic that only evaluates the selection: it runs no custom action,
    // reports to no page and does not ask whether there is anything to choose.
    static std::unique_ptr<PageFeatureSelectionLogic> makeScratch(WizardController& controller);

    // Null stops the reports.
    void setSink(FeatureSelectionPageSink* sink) { sink_ = sink; }

    // The controller's install-on-feature-selection flag (scripts may clear it).
    bool onNext() override;
    bool onBack() override { return true; }
    // "FEATSEL-EXIT" on every move to another page (not when the controller goes).
    void onLeave(WizardPageId nextPage) override;
    // Evaluates the selection, deselects the feature that "uninstall_feature"
    // names, and works out the redistributables again.
    bool runUnattended() override;

    // The bytes the selection takes, net of what it removes.
    std::uint64_t getRequiredSpace() const;
    // The feature installs as administrator and the run has no such rights.
    bool isBlockedByAdminRights(const Feature& feature) const;
    // Features an earlier run failed or skipped are offered again.
    bool hasReselectedFeatures() const;
    // A feature with a package can be had when its package has a source; one
    // without when one of its children can be had, or when it has none.
    bool isFeatureAvailable(const Feature& feature) const;
    // What the page shows of a feature: its display name; online when it or
    // a feature below it comes from the update server; locked when it cannot
    // be had; blocked by missing administrator rights.
    void getFeatureDisplayState(const Feature& feature, SharedString& name, bool& online, bool& locked,
                                bool& adminBlocked) const;
    // Selects or deselects the feature with the features shown under it as a
    // required parent's and its children (not the current language's
    // sub-feature, and when selecting none that cannot be had), then runs
    // "FEATSEL-CHANGE".
    void setFeatureSelected(const FeaturePtr& feature, bool select);
    // The features the feature needs (selecting) or that need it
    // (deselecting), directly or through others, each once: those whose
    // selection differs from `select`, for the page to confirm.
    void toggleFeatureWithDependencies(const FeaturePtr& feature, bool select, std::vector<FeaturePtr>& out) const;
    // Walks the installer data's features into the page's tree and applies
    // the preselection.
    void evaluateSelection();

private:
    struct ScratchTag {};
    PageFeatureSelectionLogic(WizardController& controller, ScratchTag);

    void evaluateFeature(const FeaturePtr& feature, const FeaturePtr& parent);
    void applySelection(const FeaturePtr& feature, bool select);
    bool isAcceptedFeature(const FeaturePtr& feature) const;
    bool comesFromServer(const Feature& feature) const;
    void runHook(const char16_t* hook);

    const bool runsHooks_ = true;
    FeatureSelectionPageSink* sink_ = nullptr;
    // Features with a platform mask shown under a required parent: they
    // follow that parent's selection.
    std::vector<FeaturePtr> parentRequired_;
    // (feature, the feature it needs).
    std::vector<std::pair<FeaturePtr, FeaturePtr>> dependencies_;
    FeaturePtr languageSubFeature_;
};

}  // namespace druvex
