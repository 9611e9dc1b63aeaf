// What a run installs and removes per mode and installed state, the space it
// needs (never below nothing), the revision it installs, the selection with
// its component features, the features made for installed paths, and the
// program offered at the end.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "controller/installed_state_fixture.h"
#include "liveupdate/update_patcher.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

using test::StubUninstallLauncher;
using Names = std::vector<std::string>;

class FeatureChanges : public test::InstalledStateFixture {
protected:
    // "Survey Pro" whose data holds Maps 1.0 (300 bytes), Help 1.1 (200) and
    // Legend 1.0 (50), over an installation of `installedVersion` holding
    // Maps 1.0 (250, another Digest), Help 1.0 (150) and Gone 1.0 (100),
    // which the data lacks. Without a version nothing is installed.
    InstallerController& makeInstalled(const char16_t* installedVersion)
    {
        InstallerController& controller = makeProduct();
        maps_ = addFeature(u"Maps", nullptr, u"1.0", 300);
        maps_->setDigest(SharedString(u"B2"));
        help_ = addFeature(u"Help", nullptr, u"1.1", 200);
        addFeature(u"Legend", nullptr, u"1.0", 50);
        if (!installedVersion)
            return controller;
        installedMaps_ = addInstalled(u"Feature/Maps", u"1.0", 250);
        installedMaps_->setDigest(SharedString(u"A1"));
        installedHelp_ = addInstalled(u"Feature/Help", u"1.0", 150);
        addInstalled(u"Feature/Gone", u"1.0", 100);
        controller.getInstalledLog()->setProgramVersion(VersionNumber::fromText(installedVersion));
        controller.compareInstalledVersion();
        return controller;
    }

    FeaturePtr maps_;
    FeaturePtr help_;
    FeaturePtr installedMaps_;
    FeaturePtr installedHelp_;
};

TEST_F(FeatureChanges, TheSetsToInstallAndToRemovePerModeAndInstalledState)
{
    struct Case {
        const char* name;
        const char16_t* installedVersion;
        std::function<void(InstallerOptions&)> options;
        std::function<void(InstallerController&)> state;
        Names install;
        Names remove;
    };
    const auto noOptions = [](InstallerOptions&) {};
    const auto nothing = [](InstallerController&) {};
    const Case cases[] = {
        {"a fresh installation", nullptr, noOptions,
         [this](InstallerController& c) {
             c.selectFeature(maps_);
             c.selectFeature(help_);
         },
         {"Feature/Maps", "Feature/Help"}, {}},
        // Maps differs only by its Digest, with the same time stamp: kept.
        {"the same version", u"4.1", noOptions, nothing, {"Feature/Help"}, {"Feature/Help"}},
        {"the same version with a remover queued", u"4.1", noOptions,
         [](InstallerController& c) { c.getUninstallLaunchers().push_back(std::make_shared<StubUninstallLauncher>()); },
         {"Feature/Maps", "Feature/Help", "Feature/Gone"}, {"Feature/Maps", "Feature/Help", "Feature/Gone"}},
        // A wiped installation comes back whole, as after a remover.
        {"the same version, wiped", u"4.1", noOptions,
         [](InstallerController& c) { c.setWipeOldInstallation(true); },
         {"Feature/Maps", "Feature/Help", "Feature/Gone"}, {"Feature/Maps", "Feature/Help", "Feature/Gone"}},
        {"the same version, Maps no longer selected", u"4.1", noOptions,
         [this](InstallerController& c) { c.deselectFeature(maps_); }, {"Feature/Help"},
         {"Feature/Help", "Feature/Maps"}},
        {"going back to this installer's revision", u"4.1", noOptions,
         [](InstallerController& c) { c.setRevertToPreviousRevision(true); }, {"Feature/Maps", "Feature/Help"},
         {"Feature/Maps", "Feature/Help"}},
        // Gone has no counterpart in another version: it goes.
        {"an older version", u"4.0", noOptions, nothing, {"Feature/Help"}, {"Feature/Help", "Feature/Gone"}},
        {"uninstall_feature", u"4.1",
         [](InstallerOptions& o) { o.uninstallFeature = SharedString(u"Feature/Maps"); },
         [this](InstallerController& c) { c.deselectFeature(maps_); }, {}, {"Feature/Maps"}},
        {"a repair chosen by the user", u"4.0", noOptions,
         [](InstallerController& c) { c.getPageSequence().buildForMode(kModeRepair); },
         {"Feature/Maps", "Feature/Help", "Feature/Gone"}, {"Feature/Maps", "Feature/Help", "Feature/Gone"}},
        {"a repair of a broken installation", u"4.1", noOptions,
         [this](InstallerController& c) {
             installedHelp_->setInstalledCheck(true);
             c.getPageSequence().buildForMode(kModeRepairBroken);
         },
         {"Feature/Help"}, {"Feature/Help"}},
        {"a repair of a broken installation, wiped", u"4.1", noOptions,
         [this](InstallerController& c) {
             installedHelp_->setInstalledCheck(true);
             c.setWipeOldInstallation(true);
             c.getPageSequence().buildForMode(kModeRepairBroken);
         },
         {"Feature/Maps", "Feature/Help", "Feature/Gone"}, {"Feature/Maps", "Feature/Help", "Feature/Gone"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        options_ = InstallerOptions();
        c.options(options_);
        InstallerController& controller = makeInstalled(c.installedVersion);
        c.state(controller);

        FeatureSelection toInstall;
        FeatureSelection toRemove;
        controller.getFeatureChanges(toInstall, toRemove);
        EXPECT_EQ(names(toInstall), c.install);
        EXPECT_EQ(names(toRemove), c.remove);
        // What is removed is the installed record, what is installed the data's feature.
        for (const FeaturePtr& feature : toRemove)
            EXPECT_EQ(feature->parent(), nullptr);
        for (const FeaturePtr& feature : toInstall)
            EXPECT_NE(feature->parent(), nullptr);
    }
}

TEST_F(FeatureChanges, TheRequiredSpaceNeverGoesBelowNothing)
{
    InstallerController& fresh = makeInstalled(nullptr);
    fresh.selectFeature(maps_);
    fresh.selectFeature(help_);
    EXPECT_EQ(fresh.computeRequiredSpace(false), 500u);
    EXPECT_EQ(fresh.computeRequiredSpace(true), 500u);

    // The foreign program goes first: its space counts as freed.
    auto foreign = std::make_shared<InstalledLog>();
    const auto addForeign = [&](std::int64_t size) {
        FeaturePtr feature = makeFeaturePtr();
        feature->setName(SharedString(u"Feature/Other") + SharedString().format(u"%d", foreign->getFeatureCount()));
        feature->setReqSpace(size);
        foreign->addFeature(feature);
    };
    addForeign(400);
    fresh.setForeignInstalledLog(foreign);
    EXPECT_EQ(fresh.computeRequiredSpace(true), 100u);
    addForeign(150);
    EXPECT_EQ(fresh.computeRequiredSpace(true), 0u);
    EXPECT_EQ(fresh.computeRequiredSpace(false), 500u);
    // Sizes that cannot be: a negative one counts as nothing, a sum past the
    // largest count stops there.
    help_->setReqSpace(-1000);
    EXPECT_EQ(fresh.computeRequiredSpace(false), 300u);
    addForeign(std::numeric_limits<std::int64_t>::max());
    addForeign(std::numeric_limits<std::int64_t>::max());
    addForeign(std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(fresh.computeRequiredSpace(true), 0u);

    // Help replaced (150 out, 200 in) and Maps removed (250 out).
    InstallerController& update = makeInstalled(u"4.1");
    update.deselectFeature(maps_);
    EXPECT_EQ(update.computeRequiredSpace(false), 200u);
    EXPECT_EQ(update.computeRequiredSpace(true), 0u);
}

TEST_F(FeatureChanges, TheEffectiveRevision)
{
    constexpr std::string_view kBulletin =
        R"(<UpdateBulletin><Version Ver="4.1" RevNum="7.0.15"/></UpdateBulletin>)";
    struct Case {
        const char* name;
        std::int32_t comparison;
        bool revert;
        bool useOnline;
        bool considerBulletin;
        const char16_t* revision;
    };
    const Case cases[] = {
        {"the installed revision is higher", 0, false, true, false, u"7.0.12"},
        {"going back", 0, true, true, false, u"7.0.10"},
        {"another version installed", -1, false, true, false, u"7.0.10"},
        {"the bulletin's", 0, false, true, true, u"7.0.15"},
        {"the bulletin's, online features not used", 0, false, false, true, u"7.0.12"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        InstallerController& controller = makeInstalled(nullptr);
        setSetting(InstallerSettingKey::RevisionNumber, u"7.0.10");
        controller.getInstalledLog()->setRevisionNumber(VersionNumber::fromText(u"7.0.12"));
        ASSERT_TRUE(controller.getUpdatePatcher().loadBulletin(kBulletin.data(), kBulletin.size()));
        controller.setInstalledVersionComparison(c.comparison);
        controller.setRevertToPreviousRevision(c.revert);
        controller.setUseOnlineFeature(c.useOnline);
        EXPECT_EQ(controller.getEffectiveRevision(c.considerBulletin).toText(), SharedString(c.revision));
    }
}

TEST_F(FeatureChanges, SelectingTakesTheComponentsAndDeselectingOnlyTheHiddenOnes)
{
    InstallerController& controller = makeProduct();
    const FeaturePtr survey = addFeature(u"Survey");
    const FeaturePtr engine = addFeature(u"Engine", survey);
    engine->setMode(FeatureMode::NotVisible);
    const FeaturePtr libraries = addFeature(u"Libraries");
    libraries->setMode(FeatureMode::NotVisible);
    // Visible itself, but below a hidden parent.
    const FeaturePtr geodesy = addFeature(u"Geodesy", libraries);
    const FeaturePtr legend = addFeature(u"Legend");
    survey->addComponentFeature(SharedString(u"Feature/Survey/Engine"));
    survey->addComponentFeature(SharedString(u"Feature/Libraries/Geodesy"));
    survey->addComponentFeature(SharedString(u"Feature/Legend"));
    survey->addComponentFeature(SharedString(u"Feature/Missing"));
    // Two features that name each other.
    geodesy->addComponentFeature(SharedString(u"Feature/Survey"));

    controller.selectFeature(survey);
    EXPECT_EQ(names(controller.getSelectedFeatures()),
              (Names{"Feature/Survey", "Feature/Legend", "Feature/Libraries/Geodesy", "Feature/Survey/Engine"}));

    // A visible component was a choice of its own and stays.
    controller.deselectFeature(survey);
    EXPECT_EQ(names(controller.getSelectedFeatures()), (Names{"Feature/Legend"}));

    // A component that another selected feature needs stays selected.
    const FeaturePtr roads = addFeature(u"Roads");
    roads->addComponentFeature(SharedString(u"Feature/Survey/Engine"));
    controller.selectFeature(survey);
    controller.selectFeature(roads);
    controller.deselectFeature(survey);
    EXPECT_EQ(names(controller.getSelectedFeatures()),
              (Names{"Feature/Legend", "Feature/Roads", "Feature/Survey/Engine"}));
}

TEST_F(FeatureChanges, AFeatureIsMadeForAnInstalledPath)
{
    InstallerController& controller = makeProduct();
    const FeaturePtr maps = addFeature(u"Maps");

    const FeaturePtr calc = controller.makeFeatureForPath(SharedString(u"Feature/Tools//Calc"));
    ASSERT_NE(calc, nullptr);
    EXPECT_EQ(calc->getName(), SharedString(u"Feature/Tools/Calc"));
    EXPECT_EQ(controller.getInstallData().findItemByPath(u"Feature/Tools/Calc"), calc);
    // A path that exists is the feature there, whatever its case; the root's
    // own name may lead or not.
    EXPECT_EQ(controller.makeFeatureForPath(SharedString(u"feature/MAPS")), maps);
    EXPECT_EQ(controller.makeFeatureForPath(SharedString(u"Tools/Calc")), calc);
    EXPECT_EQ(controller.makeFeatureForPath(SharedString(u"Feature")), nullptr);
    EXPECT_EQ(controller.makeFeatureForPath(SharedString()), nullptr);
    EXPECT_EQ(controller.getInstallData().featureRoot()->subFeatureCount(), 2);
}

TEST_F(FeatureChanges, TheProgramOfferedAtTheEnd)
{
    InstallerController& controller = makeProduct();
    controller.setDestinationFolder(SharedString(u"\\Program Files\\Survey"));
    device().writeFile("Program Files/Survey/bin/survey.exe", "MZ");

    struct Case {
        const char16_t* launchApp;
        const char16_t* path;
    };
    const Case cases[] = {
        {u"bin\\survey.exe", u"\\Program Files\\Survey/bin\\survey.exe"},
        {u"<None>", u""},
        // Not installed: the program the installed log names.
        {u"bin\\missing.exe", u"Survey Pro"},
        {u"", u"Survey Pro"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(toUtf8(SharedString(c.launchApp)).c_str());
        setSetting(InstallerSettingKey::LaunchApp, c.launchApp);
        EXPECT_EQ(controller.getLaunchAppPath(), SharedString(c.path));
    }
}

}  // namespace
}  // namespace druvex
