// The feature-selection logic: the tree the page is told of for a crafted
// installer data, the preselection per mode, a change carried down the tree,
// what can be had and what comes from the server, the features needed or
// needing, the check for nothing to choose made without a logic making
// logics, and the unattended run.
#include "controller/page_feature_selection_logic.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "controller/page_logic_fixture.h"
#include "data/install_data.h"
#include "data/package_sources.h"
#include "data/previous_settings.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

using Events = std::vector<std::string>;

std::string nameOf(const FeaturePtr& feature)
{
    return feature ? toUtf8(feature->getNameRef()).c_str() : "-";
}

class RecordingTreeSink final : public FeatureSelectionPageSink {
public:
    void onTreeBegin() override { events.push_back("begin"); }
    void onFeatureAdded(const FeaturePtr& parent, const FeaturePtr& feature, bool selected) override
    {
        events.push_back("add " + nameOf(parent) + " " + nameOf(feature) + (selected ? " 1" : " 0"));
    }
    void onFeatureDone(const FeaturePtr& feature, bool expanded) override
    {
        events.push_back("done " + nameOf(feature) + (expanded ? " 1" : " 0"));
    }
    void onTreeEnd() override { events.push_back("end"); }

    Events events;
};

class FeatureSelection : public test::PageLogicFixture {
protected:
    FeaturePtr feature(const char16_t* name, const FeaturePtr& parent = nullptr,
                       FeaturePreselection presel = FeaturePreselection::NotPreselected,
                       FeatureMode mode = FeatureMode::Collapsed)
    {
        FeaturePtr made = addFeature(name, parent);
        made->setPresel(presel);
        made->setMode(mode);
        return made;
    }

    // Core (required, expanded) holds CoreQm (a platform mask, so it only
    // follows Core) and CoreHelp; Hidden is required and not shown; Extras
    // (preselected by default) needs Core and names a feature that does not
    // exist; WinOnly serves no controller; Optional is expanded.
    void makeCraftedTree()
    {
        core_ = feature(u"Core", nullptr, FeaturePreselection::Required, FeatureMode::Expanded);
        coreQm_ = feature(u"CoreQm", core_);
        coreQm_->setPlatforms(platformMask(kPlatformQm40) | platformMask(kPlatformWin32));
        coreHelp_ = feature(u"CoreHelp", core_);
        hidden_ = feature(u"Hidden", nullptr, FeaturePreselection::Required, FeatureMode::NotVisible);
        extras_ = feature(u"Extras", nullptr, FeaturePreselection::Default);
        extras_->addComponentFeature(SharedString(u"Feature/Core"));
        extras_->addComponentFeature(SharedString(u"Feature/Missing"));
        winOnly_ = feature(u"WinOnly");
        winOnly_->setPlatforms(platformMask(kPlatformWin32));
        feature(u"WinChild", winOnly_);
        optional_ = feature(u"Optional", nullptr, FeaturePreselection::NotPreselected, FeatureMode::Expanded);
    }

    Events selectedNames() const { return names(controller_->getSelectedFeatures()); }

    FeaturePtr core_, coreQm_, coreHelp_, hidden_, extras_, winOnly_, optional_;
};

TEST_F(FeatureSelection, TheCraftedTreeGivesExactlyTheseEvents)
{
    makePageProduct(kModeInstall);
    makeCraftedTree();
    PageFeatureSelectionLogic logic(controller());
    RecordingTreeSink sink;
    logic.setSink(&sink);
    logic.evaluateSelection();

    const Events expected = {
        "begin",
        "add - Core 1",
        "add Core CoreHelp 1",
        "done CoreHelp 0",
        "done Core 1",
        "add - Extras 1",
        "done Extras 0",
        "add - Optional 0",
        "done Optional 1",
        "end",
    };
    EXPECT_EQ(sink.events, expected);
    EXPECT_EQ(selectedNames(),
              (Events{"Feature/Core", "Feature/Core/CoreQm", "Feature/Core/CoreHelp", "Feature/Hidden",
                      "Feature/Extras"}));
    // One change per preselected feature shown; the hidden one is selected quietly.
    EXPECT_EQ(hooks_->hooks(), (Events{"FEATSEL-ENTER", "FEATSEL-CHANGE", "FEATSEL-CHANGE"}));

    // Extras needs Core, which is selected: nothing to confirm; giving Core up
    // asks about Extras. The missing name made no pair.
    std::vector<FeaturePtr> confirm;
    logic.toggleFeatureWithDependencies(extras_, true, confirm);
    EXPECT_TRUE(confirm.empty());
    logic.toggleFeatureWithDependencies(core_, false, confirm);
    EXPECT_EQ(names(confirm), Events{"Feature/Extras"});
}

TEST_F(FeatureSelection, DefaultFeaturesArePreselectedOnlyWhenInstalling)
{
    for (const WizardMode mode : {kModeInstall, kModeMaintenanceWithoutLog, kModeUpdate}) {
        makePageProduct(mode);
        const FeaturePtr extras = feature(u"Extras", nullptr, FeaturePreselection::Default);
        PageFeatureSelectionLogic(controller()).evaluateSelection();
        EXPECT_EQ(controller().isFeatureSelected(extras.get()), mode != kModeUpdate) << wizardModeNumber(mode);
    }
}

TEST_F(FeatureSelection, AChangeGoesDownExceptToTheLanguageAndWhatCannotBeHad)
{
    makePageProduct();
    const FeaturePtr maps = feature(u"Maps");
    const FeaturePtr local = feature(u"Local", maps);
    const FeaturePtr online = feature(u"Online", maps);
    online->setCompressedSize(500);
    const FeaturePtr languages = feature(u"Languages", maps);
    const FeaturePtr english = feature(u"English", languages);
    english->setLocaleId(1033);
    const FeaturePtr german = feature(u"Deutsch", languages);
    german->setLocaleId(1031);
    auto languageTemplate = std::make_shared<LanguageTemplate>();
    languageTemplate->feature = u"Maps/Languages";
    controller().getInstallData().addLanguageTemplate(languageTemplate);
    controller().setLanguage(1031, SharedString(u"Deutsch"));
    controller().deselectFeature(german);

    PageFeatureSelectionLogic logic(controller());
    logic.evaluateSelection();
    logic.setFeatureSelected(maps, true);
    EXPECT_EQ(selectedNames(),
              (Events{"Feature/Maps", "Feature/Maps/Local", "Feature/Maps/Languages", "Feature/Maps/Languages/English"}));

    controller().selectFeature(german);
    controller().selectFeature(online);
    logic.setFeatureSelected(maps, false);
    EXPECT_EQ(selectedNames(), (Events{"Feature/Maps/Languages/Deutsch"}));
    EXPECT_EQ(hooks_->hooks(), (Events{"FEATSEL-ENTER", "FEATSEL-CHANGE", "FEATSEL-CHANGE"}));
}

TEST_F(FeatureSelection, WhatCanBeHadAndWhatComesFromTheServer)
{
    makePageProduct();
    const FeaturePtr empty = feature(u"Empty");
    const FeaturePtr downloaded = feature(u"Downloaded");
    downloaded->setCompressedSize(20);
    const FeaturePtr parentOfNone = feature(u"ParentOfNone");
    feature(u"Gone", parentOfNone)->setCompressedSize(30);
    const FeaturePtr parentOfOnline = feature(u"ParentOfOnline");
    const FeaturePtr child = feature(u"Child", parentOfOnline);
    child->setCompressedSize(40);
    controller().getPackageSources().addIfAbsent(*downloaded, kSourceDownload, SharedString(u"http://h/d"), 20, 0);
    controller().getPackageSources().addIfAbsent(*child, kSourceArchiveEntry, SharedString(u"c"), 40, 0);
    controller().getPackageSources().addIfAbsent(*child, kSourceDownload, SharedString(u"http://h/c"), 40, 0);

    PageFeatureSelectionLogic logic(controller());
    // (online, locked) of each.
    const std::pair<FeaturePtr, std::pair<bool, bool>> rows[] = {{empty, {false, false}},
                                                                 {downloaded, {true, false}},
                                                                 {parentOfNone, {false, true}},
                                                                 {parentOfOnline, {true, false}}};
    for (const auto& [item, expected] : rows) {
        SharedString name;
        bool online = false;
        bool locked = false;
        bool adminBlocked = true;
        logic.getFeatureDisplayState(*item, name, online, locked, adminBlocked);
        EXPECT_EQ(std::make_pair(online, locked), expected) << nameOf(item);
        EXPECT_FALSE(adminBlocked);  // the device has administrator rights
    }
}

TEST_F(FeatureSelection, FeaturesNeedingEachOtherAreListedOnce)
{
    makePageProduct(kModeUpdate);
    const FeaturePtr a = feature(u"A");
    const FeaturePtr b = feature(u"B");
    const FeaturePtr c = feature(u"C");
    a->addComponentFeature(SharedString(u"Feature/B"));
    b->addComponentFeature(SharedString(u"Feature/A"));
    b->addComponentFeature(SharedString(u"Feature/C"));
    PageFeatureSelectionLogic logic(controller());
    logic.evaluateSelection();

    std::vector<FeaturePtr> confirm;
    logic.toggleFeatureWithDependencies(a, true, confirm);
    EXPECT_EQ(names(confirm), (Events{"Feature/B", "Feature/C"}));
    controller().selectFeature(a);  // its components come with it
    logic.toggleFeatureWithDependencies(c, false, confirm);
    EXPECT_EQ(names(confirm), (Events{"Feature/B", "Feature/A"}));
}

TEST_F(FeatureSelection, NothingToChooseIsWorkedOutByAScratchLogicThatMakesNoOther)
{
    for (const bool redistributableNeeded : {false, true}) {
        SCOPED_TRACE(redistributableNeeded);
        makePageProduct(kModeInstall);
        feature(u"Base", nullptr, FeaturePreselection::Required);
        feature(u"Tools", nullptr, FeaturePreselection::Default, FeatureMode::NotVisible);
        redistributables_->needed = redistributableNeeded;
        controller().getPageSequence().goToPage(kPageFeatureSelection);

        PageFeatureSelectionLogic logic(controller());
        EXPECT_EQ(logic.hasNothingToChoose(), !redistributableNeeded);
        // The scratch evaluation selected the required feature without a custom action.
        EXPECT_EQ(selectedNames(), Events{"Feature/Base"});
        EXPECT_EQ(hooks_->hooks(), Events{"FEATSEL-ENTER"});
        EXPECT_EQ(redistributables_->evaluations, 1);
        const std::vector<WizardPageId>& pages = controller().getPageSequence().getPages();
        const bool listed = std::find(pages.begin(), pages.end(), kPageRedistributables) != pages.end();
        EXPECT_EQ(listed, redistributableNeeded);
    }
}

TEST_F(FeatureSelection, TheSavedStateIsTakenOverTheScratchPreselection)
{
    options_.configMode = kConfigModeUse;
    makePageProduct(kModeInstall);
    feature(u"Base", nullptr, FeaturePreselection::Required);
    const FeaturePtr maps = feature(u"Maps");
    feature(u"Help");
    PreviousSettings& saved = controller().getPreviousSettings();
    saved.addFeatureToInstall(SharedString(u"Feature/Maps"));
    saved.addFeatureToInstall(SharedString(u"Feature/Unknown"));
    saved.setTargetDir(SharedString(u"\\Storage Card\\Survey"));
    saved.setWipeOldInst(true);

    controller().applyPreviousSettingsData();
    EXPECT_EQ(selectedNames(), (Events{"Feature/Base", "Feature/Maps"}));
    EXPECT_EQ(controller().getDestinationFolder(), u"\\Storage Card\\Survey");
    EXPECT_TRUE(controller().getWipeOldInstallation());
    EXPECT_TRUE(hooks_->hooks().empty());
    EXPECT_EQ(redistributables_->checksRun, 1);
}

TEST_F(FeatureSelection, ARelaunchTakesBackWhatItsWizardHadGotPast)
{
    // (starting page, destination and features taken, licence taken)
    const std::tuple<WizardPageId, bool, bool> rows[] = {
        {kPageWelcome, false, false}, {kPageUsers, true, true}, {kPageFeatureSelection, true, true}};
    for (const auto& [page, data, licence] : rows) {
        SCOPED_TRACE(page);
        options_ = InstallerOptions();
        options_.rebootAsAdmin = true;
        makePageProduct(kModeInstall);
        const FeaturePtr maps = feature(u"Maps");
        FeaturePtr eula = makeFeaturePtr();
        eula->setName(SharedString(u"English"));
        controller().getInstallData().eulaItem()->addSubFeature(eula);
        PreviousSettings& saved = controller().getPreviousSettings();
        saved.setStartingPage(page);
        saved.addFeatureToInstall(SharedString(u"Feature/Maps"));
        saved.setTargetDir(SharedString(u"\\Storage Card\\Survey"));

        controller().applyPreviousSettingsData();
        EXPECT_EQ(controller().isFeatureSelected(maps.get()), data);
        EXPECT_EQ(controller().getDestinationFolder() == u"\\Storage Card\\Survey", data);
        EXPECT_EQ(controller().getEula() != nullptr, licence);
    }
}

TEST_F(FeatureSelection, TheUnattendedRunDeselectsTheFeatureToUninstall)
{
    options_.uninstallFeature = SharedString(u"Feature/Maps");
    makePageProduct(kModeInstall);
    const FeaturePtr maps = feature(u"Maps", nullptr, FeaturePreselection::Default);
    feature(u"Roads", maps);
    feature(u"Help", nullptr, FeaturePreselection::Default);
    PageFeatureSelectionLogic logic(controller());
    EXPECT_TRUE(logic.runUnattended());
    EXPECT_EQ(selectedNames(), Events{"Feature/Help"});
    EXPECT_EQ(redistributables_->evaluations, 1);

    // Scripts may hold the wizard on the page.
    EXPECT_TRUE(logic.onNext());
    controller().setInstallOnFeatureSelectionEnabled(false);
    EXPECT_FALSE(logic.onNext());
    logic.onLeave(kPageInstallation);
    EXPECT_EQ(hooks_->hooks().back(), "FEATSEL-EXIT");
}

}  // namespace
}  // namespace druvex
