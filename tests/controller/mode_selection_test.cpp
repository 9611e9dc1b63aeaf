// The wizard mode chosen from the installed state and the options, an
// installed log of a newer installer, the daily build's revision question,
// the features taken out for the target platform, the settings each
// preparation starts from, and the steps of the installed-log load.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "controller/installed_state_fixture.h"
#include "controller/recording_ui_callback.h"
#include "controller/uninstall_launcher.h"
#include "data/content_tree.h"
#include "data/package_sources.h"
#include "liveupdate/update_patcher.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

using test::RecordingUiCallback;
using test::StubUninstallLauncher;

class ModeSelection : public test::InstalledStateFixture {
protected:
    // A bulletin of two versions, the second a complete installer of this
    // build for the target.
    void offerNewerInstaller()
    {
        controller().getBuildConfiguration().setInstallerPlatform(kInstallerPlatformController);
        controller().getBuildConfiguration().setInstallerType(kInstallerTypeFull);
        setSetting(InstallerSettingKey::LiveUpdateUrl, u"http://127.0.0.1:8080/p/bulletin.xml");
        constexpr std::string_view kBulletin =
            R"(<UpdateBulletin><Version Ver="4.1"/><Version Ver="4.2"><FullInstaller prog-platform-mask="Qm40" )"
            R"(inst-platform="Controller" inst-type="Full" url="setup42.exe" size="9"/></Version></UpdateBulletin>)";
        ASSERT_TRUE(controller().getUpdatePatcher().loadBulletin(kBulletin.data(), kBulletin.size()));
    }
    // What each queued launcher is.
    std::vector<std::string> launcherKinds()
    {
        std::vector<std::string> kinds;
        for (const UninstallLauncherPtr& launcher : controller().getUninstallLaunchers()) {
            if (dynamic_cast<ProgramUninstallLauncher*>(launcher.get()))
                kinds.emplace_back("program remover");
            else if (launcher == earlier_->previousInstallation)
                kinds.emplace_back("found");
            else
                kinds.emplace_back("other");
        }
        return kinds;
    }
};

TEST_F(ModeSelection, TheModeFollowsTheInstalledStateAndTheOptions)
{
    struct Case {
        const char* name;
        std::function<void(InstallerOptions&)> options;
        std::function<void(InstalledStateFixture&)> state;
        WizardMode mode;
        std::vector<std::string> finderCalls;
        std::vector<std::string> launchers;
        std::int32_t comparison;
    };
    const auto noOptions = [](InstallerOptions&) {};
    const auto installed = [this](InstalledStateFixture&) {
        addFeature(u"Maps");
        addInstalled(u"Feature/Maps");
        controller().compareInstalledVersion();
    };
    const auto foundWithoutLog = [this] { earlier_->previousInstallation = std::make_shared<StubUninstallLauncher>(); };
    const Case cases[] = {
        {"another program's log, nothing installed", noOptions,
         [this](InstalledStateFixture&) {
             auto foreign = std::make_shared<InstalledLog>();
             foreign->setProgramName(SharedString(u"Road Tools"));
             controller().setForeignInstalledLog(foreign);
         },
         kModeInstall, {"find Unload 0"}, {"program remover"}, 0},
        {"an installation without a log", noOptions, [&](InstalledStateFixture&) { foundWithoutLog(); },
         kModeMaintenanceWithoutLog, {"find Unload 0"}, {"found"}, -1},
        {"make_config looks for none", [](InstallerOptions& o) { o.configMode = kConfigModeMake; },
         [&](InstalledStateFixture&) { foundWithoutLog(); }, kModeInstall, {}, {}, 0},
        {"update_mode features", [](InstallerOptions& o) { o.updateMode = kUpdateModeFeatures; }, installed,
         kModeUpdate, {}, {}, 0},
        {"update_mode newversion, no newer installer on offer",
         [](InstallerOptions& o) { o.updateMode = kUpdateModeNewVersion; }, installed, kModeUpdate, {}, {}, 0},
        // The prerequisites page makes this run the download afterwards.
        {"update_mode newversion with a newer installer on offer",
         [](InstallerOptions& o) { o.updateMode = kUpdateModeNewVersion; },
         [&](InstalledStateFixture& f) {
             installed(f);
             offerNewerInstaller();
         },
         kModeUpdate, {}, {}, 0},
        {"update_mode features with a newer installer on offer",
         [](InstallerOptions& o) { o.updateMode = kUpdateModeFeatures; },
         [&](InstalledStateFixture& f) {
             installed(f);
             offerNewerInstaller();
         },
         kModeUpdate, {}, {}, 0},
        {"a broken installation", noOptions,
         [&](InstalledStateFixture& f) {
             installed(f);
             controller().getInstalledLog()->getFeature(0)->setInstalledCheck(true);
         },
         kModeRepairBroken, {}, {}, 0},
        {"an older version", noOptions,
         [&](InstalledStateFixture& f) {
             foundWithoutLog();
             controller().getInstalledLog()->setProgramVersion(VersionNumber::fromText(u"4.0.9"));
             installed(f);
         },
         kModeMaintenance, {"find Unload 1"}, {"found"}, -1},
        {"the same version", noOptions, installed, kModeMaintenance, {}, {}, 0},
        {"create_backup", [](InstallerOptions& o) { o.createBackup = true; }, installed, kModeBackup, {}, {}, 0},
        {"create_backup with update_mode newversion",
         [](InstallerOptions& o) {
             o.createBackup = true;
             o.updateMode = kUpdateModeNewVersion;
         },
         installed, kModeUpdate, {}, {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        options_ = InstallerOptions();
        c.options(options_);
        InstallerController& controller = makeProduct();
        controller.setUninstallCompatibility(3);
        c.state(*this);

        controller.prepareForMode(true);
        EXPECT_EQ(controller.getPageSequence().getMode(), c.mode);
        EXPECT_EQ(earlier_->calls, c.finderCalls);
        EXPECT_EQ(launcherKinds(), c.launchers);
        EXPECT_EQ(controller.getInstalledVersionComparison(), c.comparison);
        EXPECT_EQ(controller.getUninstallCompatibility(), c.mode == kModeMaintenanceWithoutLog ? 1 : 3);
        EXPECT_EQ(controller.isInstallationBroken(), c.mode == kModeRepairBroken);
        EXPECT_EQ(controller.getResult(), kResultCompleted);
    }
}

TEST_F(ModeSelection, AnInstalledLogOfANewerInstallerEndsTheRunOnTheEndPage)
{
    struct Case {
        const char16_t* writer;
        bool installedDaily;
        bool ends;
        bool differs;
    };
    // "5.1.0" is this installer's own version; an older installer or the other
    // build kind makes the installed log differ.
    for (const Case& c : {Case{u"5.1.1", false, true, false}, Case{u"5.1.0", false, false, false},
                          Case{u"5.0.3", false, false, true}, Case{u"5.1", true, false, true}}) {
        SCOPED_TRACE(toUtf8(SharedString(c.writer)).c_str());
        InstallerController& controller = makeProduct();
        addFeature(u"Desktop")->setPlatforms(platformMask(kPlatformWin32));
        addInstalled(u"Feature/Desktop");
        controller.compareInstalledVersion();
        controller.getInstalledLog()->setInstallerVersion(VersionNumber::fromText(c.writer));
        controller.getInstalledLog()->setDailyBuild(c.installedDaily);
        controller.getPageSequence().reset(kPagePrerequisites);
        controller.getPageSequence().buildForMode(kModeStart);

        controller.prepareForMode(true);
        EXPECT_EQ(controller.isInstalledLogDifferent(), c.differs);
        if (!c.ends) {
            EXPECT_EQ(controller.getPageSequence().getMode(), kModeMaintenance);
            EXPECT_EQ(controller.getResult(), kResultCompleted);
            continue;
        }
        EXPECT_EQ(controller.getResult(), kResultFailed);
        EXPECT_EQ(controller.getPageSequence().getMode(), kModeStart);
        EXPECT_EQ(controller.getPageSequence().getPages(),
                  (std::vector<WizardPageId>{kPageTethering, kPagePrerequisites, kPageEndInstall}));
        EXPECT_EQ(controller.getPageSequence().getNextPageId(), kPageEndInstall);
        // Nothing further was prepared.
        EXPECT_TRUE(controller.getRemovedFeatures().empty());
    }
}

TEST_F(ModeSelection, ADailyBuildAsksBeforeGoingBackToTheInstallersOlderRevision)
{
    constexpr std::string_view kBulletin =
        R"(<UpdateBulletin><Version Ver="4.1" RevNum="7.0.12"/></UpdateBulletin>)";
    struct Case {
        const char* name;
        int answer;
        bool apply;
        bool separatePayload;
        std::vector<std::u16string> asked;
        bool revert;
        bool useOnline;
    };
    const Case cases[] = {
        {"going back", 1, true, false, {u"7.0.10"}, true, false},
        {"staying, the server has the installed revision", 0, true, false, {u"7.0.10"}, false, true},
        {"staying, the bulletin left alone", 0, false, false, {u"7.0.10"}, false, false},
        {"a separate payload file", 1, true, true, {}, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        InstallerController& controller = makeProduct();
        auto ui = std::make_shared<RecordingUiCallback>();
        ui->newerRevisionAnswer = c.answer;
        controller.setUiCallback(ui);
        setSetting(InstallerSettingKey::DailyBuild, u"Yes");
        setSetting(InstallerSettingKey::RevisionNumber, u"7.0.10");
        addFeature(u"Maps");
        addInstalled(u"Feature/Maps");
        controller.compareInstalledVersion();
        controller.getInstalledLog()->setDailyBuild(true);
        controller.getInstalledLog()->setRevisionNumber(VersionNumber::fromText(u"7.0.12"));
        controller.setUseOnlineFeature(false);
        controller.setSeparatePayload(c.separatePayload);
        ASSERT_TRUE(controller.getUpdatePatcher().loadBulletin(kBulletin.data(), kBulletin.size()));

        controller.prepareForMode(c.apply);
        EXPECT_EQ(ui->newerRevisionsAsked, c.asked);
        EXPECT_EQ(controller.getRevertToPreviousRevision(), c.revert);
        EXPECT_EQ(controller.getUseOnlineFeature(), c.useOnline);
        EXPECT_FALSE(controller.isInstalledLogDifferent());
    }
}

TEST_F(ModeSelection, FeaturesThatDoNotServeTheTargetLeaveTogetherWithTheirChildren)
{
    InstallerController& controller = makeProduct();
    const FeaturePtr survey = addFeature(u"Survey");
    const FeaturePtr roads = addFeature(u"Roads", survey);
    roads->setPlatforms(platformMask(kPlatformQm40) | platformMask(kPlatformWm6));
    const FeaturePtr office = addFeature(u"Office", survey);
    office->setPlatforms(platformMask(kPlatformWin32));
    const FeaturePtr desktop = addFeature(u"Desktop");
    desktop->setPlatforms(platformMask(kPlatformWin32) | platformMask(kPlatformWin64));
    // Never looked at: its parent goes first.
    addFeature(u"Viewer", desktop)->setPlatforms(kPlatformMaskAll);
    addFeature(u"Help");

    controller.prepareForMode(false);
    const FeaturePtr root = controller.getInstallData().featureRoot();
    EXPECT_EQ(names(std::vector<FeaturePtr>{root->subFeatureAt(0), root->subFeatureAt(1)}),
              (std::vector<std::string>{"Feature/Survey", "Feature/Help"}));
    EXPECT_EQ(root->subFeatureCount(), 2);
    EXPECT_EQ(names(std::vector<FeaturePtr>{survey->subFeatureAt(0)}),
              std::vector<std::string>{"Feature/Survey/Roads"});
    EXPECT_EQ(survey->subFeatureCount(), 1);
    ASSERT_EQ(controller.getRemovedFeatures().size(), 2u);
    EXPECT_EQ(controller.getRemovedFeatures()[0], std::make_pair(desktop, root));
    EXPECT_EQ(controller.getRemovedFeatures()[1], std::make_pair(office, survey));
    EXPECT_EQ(desktop->subFeatureCount(), 1);

    // No platform known at all: no feature can be judged, none goes.
    makeProduct();
    addFeature(u"Desktop")->setPlatforms(platformMask(kPlatformWin32));
    controller_->setTargetPlatform(kPlatformCount);
    controller_->prepareForMode(false);
    EXPECT_EQ(controller_->getInstallData().featureRoot()->subFeatureCount(), 1);
    EXPECT_TRUE(controller_->getRemovedFeatures().empty());
}

TEST_F(ModeSelection, EachPreparationStartsFromThePristineSettings)
{
    InstallerController& controller = makeProduct();
    InstallData& data = controller.getInstallData();
    data.platformEntry(kPlatformQm40)->settings().set(InstallerSettingKey::ProgramShortName, SharedString(u"QM Pro"));
    data.platformEntry(kPlatformWm6)->settings().set(InstallerSettingKey::LaunchApp, SharedString(u"wm.exe"));
    // A change since the load is not kept either.
    data.settings().set(InstallerSettingKey::Author, SharedString(u"changed"));

    controller.prepareForMode(false);
    EXPECT_EQ(data.settings().getProgramShortName(), SharedString(u"QM Pro"));
    EXPECT_EQ(data.settings().getLaunchApp(), SharedString());
    EXPECT_EQ(data.settings().getAuthor(), SharedString());
    EXPECT_EQ(data.settings().getProgramName(), SharedString(u"Survey Pro"));

    controller.setTargetPlatform(kPlatformWm6);
    controller.prepareForMode(false);
    EXPECT_EQ(data.settings().getProgramShortName(), SharedString());
    EXPECT_EQ(data.settings().getLaunchApp(), SharedString(u"wm.exe"));
}

TEST_F(ModeSelection, EveryMissingInstalledFileIsListedAndMarksItsFeature)
{
    InstallerController& controller = makeProduct();
    device().writeFile("Program Files/Survey/maps.dat", "x");
    device().writeFile("Program Files/Survey/core.dat", "x");
    const auto addFile = [](const FeaturePtr& feature, const char16_t* path, std::int32_t flags = 0) {
        auto file = std::make_shared<ContentFile>(SharedString(path));
        file->setFlags(flags);
        feature->addContent(file);
    };
    const FeaturePtr maps = addInstalled(u"Feature/Maps");
    addFile(maps, u"/Program Files/Survey/maps.dat");
    addFile(maps, u"/Program Files/Survey/tiles.dat");
    // A file the program may remove itself is not looked for.
    addFile(maps, u"/Program Files/Survey/cache.tmp", 2);
    auto folder = std::make_shared<ContentFolder>(SharedString(u"Survey"));
    folder->addChild(std::make_shared<ContentFile>(SharedString(u"/Program Files/Survey/legend.dat")));
    maps->addContent(folder);
    const FeaturePtr core = addInstalled(u"Feature/Core");
    addFile(core, u"/Program Files/Survey/core.dat");
    // An earlier run failed on it: its files were never all there.
    const FeaturePtr help = addInstalled(u"Feature/Help");
    help->setFailed(true);
    addFile(help, u"/Program Files/Survey/help.chm");

    controller.checkInstalledFeatureFiles();
    EXPECT_EQ(controller.getMissingFiles(),
              (std::vector<SharedString>{SharedString(u"/Program Files/Survey/tiles.dat"),
                                         SharedString(u"/Program Files/Survey/legend.dat")}));
    EXPECT_TRUE(maps->getInstalledCheck());
    EXPECT_FALSE(core->getInstalledCheck());
    EXPECT_FALSE(help->getInstalledCheck());

    controller.evaluateInstalledFeatures();
    EXPECT_TRUE(controller.isInstallationBroken());
}

// Only an installed feature that a package brings needs one to be repaired:
// a group of sub-features, or a language the installed log named, has
// nothing to unpack.
TEST_F(ModeSelection, AFeatureWithNothingToUnpackNeedsNoPackageToBeRepaired)
{
    InstallerController& controller = makeProduct();
    addInstalled(u"Feature/Help");
    addInstalled(u"Feature/Help/Danish");
    controller.evaluateInstalledFeatures();
    EXPECT_TRUE(controller.canRepairInstalledFeatures());

    const FeaturePtr maps = addInstalled(u"Feature/Maps", u"1.0", 4096);
    controller.evaluateInstalledFeatures();
    EXPECT_FALSE(controller.canRepairInstalledFeatures());
    controller.getPackageSources().addIfAbsent(*maps, kSourceArchiveEntry, SharedString(u"Feature_Maps_1.0_.lzma"),
                                               4096, 0);
    controller.evaluateInstalledFeatures();
    EXPECT_TRUE(controller.canRepairInstalledFeatures());

    // Files of its own need their package, whatever size it declares.
    const FeaturePtr notes = addInstalled(u"Feature/Notes");
    notes->addContent(std::make_shared<ContentFile>(SharedString(u"/Program Files/Survey/notes.txt")));
    controller.evaluateInstalledFeatures();
    EXPECT_FALSE(controller.canRepairInstalledFeatures());
}

// A feature installed from the update server is of a version the installer
// does not carry: the bulletin kept from that run says where its package
// lies, so a run that asks no server can still repair it. Only the package
// of the installed version counts, and the kept bulletin changes nothing
// else of the run.
TEST_F(ModeSelection, AnInstalledFeatureThatOnlyTheCachedBulletinOffersCanBeRepaired)
{
    InstallerController& controller = makeProduct();
    controller.getBuildConfiguration().setInstallerType(kInstallerTypeFull);
    setSetting(InstallerSettingKey::LiveUpdateUrl, u"http://127.0.0.1:8080/p/bulletin.xml");
    const FeaturePtr core = addInstalled(u"Feature/Core", u"4.1.3", 4096);
    core->setDigest(SharedString(u"AB12"));
    const auto bulletin = [](const std::string& version) {
        return "<UpdateBulletin><Version Ver=\"4.1\">"
               "<Feature Name=\"Feature/Core\" Prompt=\"Core\" Version=\"" + version +
               "\" Digest=\"AB12\" url=\"core.lzma\" compressed-size=\"4096\"/>"
               "<Feature Name=\"Feature/Maps\" Prompt=\"Maps\" Version=\"2.0\" url=\"maps.lzma\" "
               "compressed-size=\"10\"/></Version></UpdateBulletin>";
    };

    controller.evaluateInstalledFeatures();
    EXPECT_FALSE(controller.canRepairInstalledFeatures());
    // The server has moved on: the kept bulletin offers another version.
    device().writeFile(productFolder() + "/last_bulletin.xml", bulletin("4.1.4"));
    controller.evaluateInstalledFeatures();
    EXPECT_FALSE(controller.canRepairInstalledFeatures());

    device().writeFile(productFolder() + "/last_bulletin.xml", bulletin("4.1.3"));
    controller.evaluateInstalledFeatures();
    EXPECT_TRUE(controller.canRepairInstalledFeatures());
    std::vector<PackageSource> sources;
    ASSERT_TRUE(controller.getPackageSources().equalRange(*core, sources));
    ASSERT_EQ(sources.size(), 1u);
    EXPECT_EQ(sources[0].sourceKind, kSourceDownload);
    EXPECT_EQ(sources[0].location, SharedString(u"http://127.0.0.1:8080/p/core.lzma"));
    EXPECT_EQ(sources[0].sizeLow, 4096u);

    // Read, not taken: no bulletin held, none to save over the kept one, and
    // the installer data without the bulletin's features.
    EXPECT_EQ(controller.getUpdatePatcher().getBulletin(), nullptr);
    EXPECT_TRUE(controller.getLastBulletinBytes().empty());
    EXPECT_EQ(controller.getInstallData().findItemByPath(u"Feature/Maps"), nullptr);
}

TEST_F(ModeSelection, InstalledFeaturesAreMappedOntoTheInstallerDataAndSelectedAgain)
{
    for (const char16_t* installedVersion : {u"4.1", u"4.0"}) {
        const bool sameVersion = installedVersion == std::u16string_view(u"4.1");
        SCOPED_TRACE(sameVersion ? "same version" : "older version");
        InstallerController& controller = makeProduct();
        const FeaturePtr maps = addFeature(u"Maps");
        const FeaturePtr legend = addFeature(u"Legend");
        maps->addComponentFeature(SharedString(u"Feature/Legend"));
        addInstalled(u"Feature/Maps");
        addInstalled(u"Feature/Tools/Old", u"0.9")->setPrompt(SharedString(u"Old tools"));
        addInstalled(u"Feature/Legend")->setFailed(true);
        controller.getInstalledLog()->setProgramVersion(VersionNumber::fromText(installedVersion));

        controller.compareInstalledVersion();
        EXPECT_EQ(controller.getInstalledVersionComparison(), sameVersion ? 0 : -1);
        const FeaturePtr old = controller.getInstallData().findItemByPath(u"Feature/Tools/Old");
        std::vector<std::string> mapped;
        for (const auto& [installed, current] : controller.getInstalledFeatureMap())
            mapped.push_back(std::string(toUtf8(installed->getName()).c_str()) + " -> " +
                             (current ? toUtf8(current->getName()).c_str() : "none"));
        if (sameVersion) {
            // The data lacks it: it is made from the installed record.
            ASSERT_NE(old, nullptr);
            EXPECT_EQ(old->getPrompt(), SharedString(u"Old tools"));
            EXPECT_EQ(old->getVersion(), SharedString(u"0.9"));
            EXPECT_EQ(mapped, (std::vector<std::string>{"Feature/Maps -> Feature/Maps",
                                                        "Feature/Tools/Old -> Feature/Tools/Old",
                                                        "Feature/Legend -> Feature/Legend"}));
            EXPECT_EQ(names(controller.getSelectedFeatures()),
                      (std::vector<std::string>{"Feature/Maps", "Feature/Legend", "Feature/Tools/Old"}));
        } else {
            EXPECT_EQ(old, nullptr);
            EXPECT_EQ(mapped, (std::vector<std::string>{"Feature/Maps -> Feature/Maps", "Feature/Tools/Old -> none",
                                                        "Feature/Legend -> Feature/Legend"}));
            EXPECT_EQ(names(controller.getSelectedFeatures()),
                      (std::vector<std::string>{"Feature/Maps", "Feature/Legend"}));
        }
        EXPECT_EQ(controller.getReselectedFeatureCount(), 1);
        EXPECT_TRUE(controller.isFeatureSelected(legend.get()));
    }
}

TEST_F(ModeSelection, AnUninstallationStartsOnTheWelcomePageOnlyOnADesktop)
{
    struct Case {
        TargetPlatform platform;
        bool noWelcome;
        WizardPageId first;
    };
    for (const Case& c : {Case{kPlatformWin32, false, kPageWelcome}, Case{kPlatformWin64, true, kPageInstallation},
                          Case{kPlatformQm40, false, kPageInstallation}}) {
        SCOPED_TRACE(c.platform);
        options_.noWelcome = c.noWelcome;
        makeProduct().setTargetPlatform(c.platform);
        controller().startUninstallation();
        EXPECT_EQ(controller().getPageSequence().getMode(), kModeUninstall);
        EXPECT_EQ(controller().getPageSequence().getCurrentPageId(), c.first);
    }
}

}  // namespace
}  // namespace druvex
