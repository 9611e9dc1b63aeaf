// The wizard state the controller collects for a relaunch: every field from
// the run's state, the selected features that are not required (once, however
// often it is collected), the persistent variables only, and the page after
// the current one.
#include <gtest/gtest.h>

#include "controller_fixture.h"
#include "data/install_data.h"
#include "data/previous_settings.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

class ControllerSettingsTest : public test::ControllerFixture {};

TEST_F(ControllerSettingsTest, CollectsTheWizardStateForARelaunch)
{
    InstallerController& controller = makeController();
    controller.setLanguage(1031, SharedString(u"Deutsch"));
    controller.setTethered(true);
    controller.setTargetPlatform(kPlatformWin32);
    controller.setWipeOldInstallation(true);
    controller.setDestinationFolder(SharedString(u"\\Program Files\\Survey"));
    controller.setForAnyone(false);
    controller.setUseOnlineFeature(false);
    controller.setUpdateCheckDone(true);
    controller.setRevertToPreviousRevision(true);
    controller.setRestore(true);
    controller.setBackupPath(SharedString(u"\\Backups\\full.7z"));

    const FeaturePtr root = controller.getInstallData().featureRoot();
    for (const char16_t* name : {u"Core", u"Help"}) {
        FeaturePtr feature = makeFeaturePtr();
        feature->setName(SharedString(name));
        feature->setPresel(name == std::u16string_view(u"Core") ? FeaturePreselection::Required
                                                                 : FeaturePreselection::Default);
        root->addSubFeature(feature);
        controller.selectFeature(feature);
    }
    InstallerVariablePtr kept = InstallerVariable::create(SharedString(u"JOBS"));
    kept->setPersistent(true);
    controller.getInstallData().addOrReplace(kept);
    controller.getInstallData().addOrReplace(InstallerVariable::create(SharedString(u"SCRATCH")));
    controller.getPageSequence().buildForMode(kModeInstall);

    PreviousSettings& settings = controller.getPreviousSettings();
    controller.collectSettings();
    controller.collectSettings();
    EXPECT_EQ(settings.getLanguage(), 1031u);
    EXPECT_TRUE(settings.getIsTethered());
    EXPECT_EQ(settings.getTargetPlatform(), kPlatformWin32);
    EXPECT_TRUE(settings.getWipeOldInst());
    EXPECT_EQ(settings.getTargetDir(), u"\\Program Files\\Survey");
    EXPECT_FALSE(settings.getIsForAnyone());
    EXPECT_FALSE(settings.getUseOnlineFeature());
    EXPECT_TRUE(settings.getUpdateCheckDone());
    EXPECT_TRUE(settings.getRevertToPreviousRevision());
    bool restore = false;
    SharedString backup;
    settings.getFullBackup(restore, backup);
    EXPECT_TRUE(restore);
    EXPECT_EQ(backup, u"\\Backups\\full.7z");
    ASSERT_EQ(settings.getFeaturesToInstall().size(), 1u);
    EXPECT_EQ(settings.getFeaturesToInstall()[0], u"Feature/Help");
    EXPECT_NE(settings.findByName(u"JOBS"), nullptr);
    EXPECT_EQ(settings.findByName(u"SCRATCH"), nullptr);
    EXPECT_EQ(settings.getWizardMode(), kModeInstall);
    EXPECT_EQ(settings.getStartingPage(), controller.getPageSequence().getNextPageId());
}

}  // namespace
}  // namespace druvex
