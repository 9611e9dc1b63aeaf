// PageFeatureSelectionDlg: the feature page. The tree of features with check
// boxes is the one the logic walks; a required feature, and one that cannot
// be had, cannot be toggled. A toggle goes through the logic, which carries
// it to the children and to the features that need or are needed by it; the
// page then shows every node's selection as the controller holds it.
#pragma once

#include <map>

#include "app/wizard_page.h"
#include "controller/page_feature_selection_logic.h"
#include "ui/feature_tree.h"

namespace druvex {

class Label;

class PageFeatureSelectionDlg final : public WizardPage, public FeatureSelectionPageSink {
public:
    PageFeatureSelectionDlg(TerminalSession& session, WizardController& controller,
                            PageFeatureSelectionLogic& logic);

    void leaveLogic() override;

    // --- FeatureSelectionPageSink: the UI thread (the logic walks the tree
    // when the page asks it to).
    void onTreeBegin() override;
    void onFeatureAdded(const FeaturePtr& parent, const FeaturePtr& feature, bool selected) override;
    void onFeatureDone(const FeaturePtr& feature, bool expanded) override;
    void onTreeEnd() override;

protected:
    void onInitDialog() override;
    bool confirmNext() override;

private:
    void toggled(FeatureTree::NodeId id, bool select);
    // Every node shows what the controller has selected.
    void showSelection();
    void showSpace();

    PageFeatureSelectionLogic& logic_;
    FeatureTree* tree_ = nullptr;
    Label* space_ = nullptr;
    std::map<FeatureTree::NodeId, FeaturePtr> features_;
};

}  // namespace druvex
