#include "app/page_feature_selection_dlg.h"

#include "controller/page_destination_logic.h"
#include "controller/wizard_controller.h"
#include "core/app_log.h"
#include "core/translate_text.h"
#include "fileutil/file_util.h"
#include "ui/terminal_session.h"
#include "ui/widgets.h"

namespace druvex {
namespace {

FeatureTree::NodeId nodeOf(const FeaturePtr& feature)
{
    return feature ? reinterpret_cast<FeatureTree::NodeId>(feature.get()) : FeatureTree::kRoot;
}

}  // namespace

PageFeatureSelectionDlg::PageFeatureSelectionDlg(TerminalSession& session, WizardController& controller,
                                                 PageFeatureSelectionLogic& logic)
    : WizardPage(session, controller, kPageFeatureSelection, translateText("Features")), logic_(logic)
{
    addContent<Label>(false, 0, translateText("Choose the features to install."));
    tree_ = &addContent<FeatureTree>(true, 1);
    space_ = &addContent<Label>(false, 1);
    tree_->onToggle([this](FeatureTree::NodeId id, bool select) { toggled(id, select); });
}

void PageFeatureSelectionDlg::leaveLogic()
{
    logic_.setSink(nullptr);
}

void PageFeatureSelectionDlg::onInitDialog()
{
    WizardPage::onInitDialog();
    logic_.setSink(this);
    logic_.evaluateSelection();
    showSelection();
    setFocus(tree_);
}

void PageFeatureSelectionDlg::onTreeBegin()
{
    tree_->clear();
    features_.clear();
}

void PageFeatureSelectionDlg::onFeatureAdded(const FeaturePtr& parent, const FeaturePtr& feature, bool selected)
{
    SharedString name;
    bool online = false;
    bool locked = false;
    bool adminBlocked = false;
    logic_.getFeatureDisplayState(*feature, name, online, locked, adminBlocked);
    if (online)
        name += translateText(" (download)");
    const bool required = feature->getPresel() == FeaturePreselection::Required;
    const FeatureTree::NodeId parentNode = features_.contains(nodeOf(parent)) ? nodeOf(parent) : FeatureTree::kRoot;
    tree_->addNode(parentNode, nodeOf(feature), name, selected, !required && !locked && !adminBlocked);
    features_[nodeOf(feature)] = feature;
}

void PageFeatureSelectionDlg::onFeatureDone(const FeaturePtr& feature, bool expanded)
{
    if (features_.contains(nodeOf(feature)))
        tree_->setExpanded(nodeOf(feature), expanded);
}

void PageFeatureSelectionDlg::onTreeEnd()
{
    relayout();
}

void PageFeatureSelectionDlg::toggled(FeatureTree::NodeId id, bool select)
{
    const auto found = features_.find(id);
    if (found == features_.end())
        return;
    // What the feature needs (or what needs it) follows it.
    std::vector<FeaturePtr> linked;
    logic_.toggleFeatureWithDependencies(found->second, select, linked);
    logic_.setFeatureSelected(found->second, select);
    for (const FeaturePtr& feature : linked)
        logic_.setFeatureSelected(feature, select);
    showSelection();
}

void PageFeatureSelectionDlg::showSelection()
{
    for (const auto& [id, feature] : features_)
        tree_->setChecked(id, controller().isFeatureSelected(feature.get()));
    showSpace();
    updateButtons();
}

void PageFeatureSelectionDlg::showSpace()
{
    space_->setText(formatTranslated("Space required: {1}", formatByteSize(logic_.getRequiredSpace(), 1, false)));
    relayout();
}

bool PageFeatureSelectionDlg::confirmNext()
{
    logic_.refreshRedistributables();
    logic_.updateRedistributablesPage();
    // The selection is known only here: it must fit where the destination
    // page put the program, or the not-enough-space message says so.
    PageDestinationLogic destination(controller(), controller().getHalOut());
    destination.refreshStorages();
    return destination.checkSpace();
}

}  // namespace druvex
