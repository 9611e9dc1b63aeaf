// The small page logics: the welcome page's task choice, restore and backup
// checks (with a scripted backup reader), the description cut at 100 lines;
// the tethering page's language, the second destination's default path kept
// for the process, the redistributables page of a silent run, and the page
// ids the controller's logics are registered for.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "controller/full_backup_reader.h"
#include "controller/page_destination2_logic.h"
#include "controller/page_logic_fixture.h"
#include "controller/page_logics.h"
#include "controller/page_redistributables_logic.h"
#include "controller/page_tethering_logic.h"
#include "controller/page_welcome_logic.h"
#include "data/install_data.h"
#include "data/installed_log.h"
#include "support/diag_capture.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

class ScriptedBackupReader final : public FullBackupReader {
public:
    BackupCheck readBackupInfo(const SharedString& path) override
    {
        paths.push_back(path);
        return answer;
    }
    BackupCheck answer = kBackupValid;
    std::vector<SharedString> paths;
};

using SmallPages = test::PageLogicFixture;

TEST_F(SmallPages, TheWelcomeChoiceAndWhatItOffers)
{
    makePageProduct();
    const std::pair<WizardMode, int> choices[] = {{kModeInstall, 0}, {kModeUpdate, 3}, {kModeMaintenance, 1},
                                                  {kModeRepair, 1},  {kModeMaintenanceWithoutLog, 2}, {kModeRepairBroken, 4}};
    for (const auto& [mode, index] : choices)
        EXPECT_EQ(PageWelcomeLogic(controller(), mode).getChoiceIndex(), index) << wizardModeNumber(mode);

    const FeaturePtr maps = addFeature(u"Maps");
    PageWelcomeLogic logic(controller(), kModeMaintenance);
    EXPECT_TRUE(logic.canModify());  // nothing installed yet
    addInstalled(u"Feature/Maps");
    // Another version installed, older or newer (a downgrade accepted): the
    // maintenance mode puts this version in its place, as a silent run does;
    // the features of the two versions are never mixed feature by feature.
    for (const std::int32_t comparison : {-1, 1}) {
        controller().setInstalledVersionComparison(comparison);
        EXPECT_TRUE(logic.canModify());
        EXPECT_EQ(logic.getModifyMode(), kModeMaintenance);
        EXPECT_EQ(logic.isNewerVersionInstalled(), comparison > 0);
        EXPECT_FALSE(logic.canWipe());
        EXPECT_FALSE(PageWelcomeLogic(controller(), kModeAddRemove).canModify());
        EXPECT_FALSE(PageWelcomeLogic(controller(), kModeUpdate).canModify());
    }
    logic.chooseModify();
    EXPECT_EQ(controller().getPageSequence().getMode(), kModeMaintenance);
    EXPECT_EQ(logic.getChosenMode(), kModeMaintenance);
    controller().setInstalledVersionComparison(0);
    EXPECT_TRUE(logic.canModify());
    EXPECT_EQ(logic.getModifyMode(), kModeAddRemove);
    EXPECT_TRUE(logic.canWipe());
    logic.chooseModify();
    EXPECT_EQ(controller().getPageSequence().getMode(), kModeAddRemove);
    // Only with a feature left to choose.
    maps->setPresel(FeaturePreselection::Required);
    EXPECT_FALSE(logic.canModify());
    controller().getBuildConfiguration().setInstallerPlatform(kInstallerPlatformController);
    EXPECT_FALSE(logic.canWipe());  // never on the device itself

    logic.chooseUninstall(7);
    EXPECT_EQ(controller().getPageSequence().getMode(), kModeUninstall);
    EXPECT_EQ(controller().getUninstallChoice(), 7);
    EXPECT_FALSE(logic.onBack());
    EXPECT_FALSE(logic.canModify());
}

// "An installed program" is the controller's one rule: an installed log that
// names the program, another product's log, or an earlier installation that
// left no log. Features recorded without a program leave Modify offered.
TEST_F(SmallPages, ModifyFollowsWhetherAnInstalledProgramIsRecorded)
{
    makePageProduct();
    addFeature(u"Maps");
    addInstalled(u"Feature/Maps");
    controller().setInstalledVersionComparison(-1);
    PageWelcomeLogic logic(controller(), kModeUpdate);
    EXPECT_TRUE(controller().isInstalledProgramRecorded());
    EXPECT_FALSE(logic.canModify());
    controller().getInstalledLog()->setProgramVersion(VersionNumber());
    EXPECT_FALSE(controller().isInstalledProgramRecorded());
    EXPECT_TRUE(logic.canModify());

    // Without a log, an earlier installation that the mode selection found:
    // this installation takes its place.
    controller().getInstalledLog()->clear();
    EXPECT_TRUE(controller().isInstalledProgramRecorded());
    PageWelcomeLogic withoutLog(controller(), kModeMaintenanceWithoutLog);
    EXPECT_TRUE(withoutLog.canModify());
    EXPECT_EQ(withoutLog.getModifyMode(), kModeMaintenanceWithoutLog);
    controller().setInstalledVersionComparison(0);
    EXPECT_FALSE(controller().isInstalledProgramRecorded());
    EXPECT_TRUE(withoutLog.canModify());
}

TEST_F(SmallPages, ARestoreNeedsABackupThatThisInstallerCanRestore)
{
    makePageProduct();
    PageWelcomeLogic logic(controller(), kModeInstall);
    EXPECT_TRUE(logic.validateBackup());  // no restore
    logic.setRestore(true);
    EXPECT_FALSE(logic.onNext());
    logic.setBackupPath(SharedString(u"\\Storage Card\\full.7z"));
    EXPECT_TRUE(logic.onNext());

    // Without the engine's reader no backup can be opened.
    EXPECT_FALSE(logic.validateBackup());
    auto reader = std::make_shared<ScriptedBackupReader>();
    controller().setFullBackupReader(reader);
    const std::pair<BackupCheck, const char16_t*> answers[] = {
        {kBackupNotValid, u"The selected full backup is not valid."},
        {kBackupMissingFiles,
         u"The selected full backup doesn't contain required configuration files.\nPlease regenerate the backup."},
        {kBackupInvalidFiles, u"The selected full backup contains invalid configuration files.\nPlease regenerate the backup."},
        {kBackupIncompatible,
         u"The selected full backup is not compatible with this installer version.\nPlease regenerate the backup."},
        {kBackupFutureVersion, u"The selected full backup is made for a future program version. It cannot be used for "
                               u"this program version."},
    };
    for (const auto& [code, text] : answers) {
        reader->answer = code;
        EXPECT_FALSE(logic.validateBackup()) << code;
        EXPECT_EQ(std::get<0>(ui_->shown.back()), text);
        EXPECT_EQ(std::get<1>(ui_->shown.back()), kMessageError);
    }
    reader->answer = kBackupValid;
    const std::size_t shown = ui_->shown.size();
    EXPECT_TRUE(logic.validateBackup());
    EXPECT_EQ(ui_->shown.size(), shown);
    EXPECT_EQ(reader->paths.back(), u"\\Storage Card\\full.7z");
}

TEST_F(SmallPages, ABackupDescriptionShowsItsFirstHundredLines)
{
    makePageProduct();
    PageWelcomeLogic logic(controller(), kModeInstall);
    EXPECT_EQ(logic.getBackupDescription(), u"");
    for (int i = 1; i <= 150; ++i)
        controller().getBackupDescription().push_back(SharedString().format(u"Job %d", i));
    const std::u16string text(logic.getBackupDescription().view());
    std::size_t separators = 0;
    for (std::size_t at = text.find(u"\r\n"); at != std::u16string::npos; at = text.find(u"\r\n", at + 2))
        ++separators;
    EXPECT_EQ(separators, 99u);
    EXPECT_TRUE(text.starts_with(u"Job 1\r\nJob 2\r\n"));
    EXPECT_TRUE(text.ends_with(u"\r\nJob 100"));
}

TEST_F(SmallPages, TheTetheringPageGivesTheRunALanguage)
{
    makePageProduct();
    const FeaturePtr languages = addFeature(u"Languages");
    for (const auto& [name, id] : {std::pair{u"English", 1033}, std::pair{u"Deutsch", 1031}}) {
        FeaturePtr language = addFeature(name, languages);
        language->setLocaleId(static_cast<std::uint16_t>(id));
    }
    auto languageTemplate = std::make_shared<LanguageTemplate>();
    languageTemplate->feature = u"Languages";
    controller().getInstallData().addLanguageTemplate(languageTemplate);

    ASSERT_EQ(controller().getLanguage(), 0);
    PageTetheringLogic logic(controller());
    EXPECT_EQ(controller().getLanguage(), 1033);  // the device's locale
    EXPECT_EQ(controller().getLanguageCode(), u"English");

    controller().setLanguage(1031, SharedString(u"Deutsch"));
    PageTetheringLogic again(controller());
    EXPECT_EQ(controller().getLanguage(), 1031);
}

TEST_F(SmallPages, TheSecondDestinationIsKeptForTheProcess)
{
    makePageProduct();
    controller().setTargetPlatform(kPlatformWin32);
    {
        PageDestination2Logic logic(controller(), controller().getHalOut());
        EXPECT_EQ(logic.getDefaultPath(), u"\\Program Files\\Survey Pro\\");
        setSetting(InstallerSettingKey::InstallFolderBaseWindows, u"/Apps/<PROGRAMNAME>");
        setSetting(InstallerSettingKey::InstallFolderWindows, u"Field");
        EXPECT_EQ(logic.computeDefaultPath(), u"\\Apps\\Survey Pro\\Field\\");
        logic.setChosenPath(SharedString(u"\\Apps\\Chosen\\"));
        EXPECT_TRUE(logic.onNext());
    }
    // A later silent run in the same process starts from the path chosen.
    PageDestination2Logic silent(controller(), controller().getHalOut());
    EXPECT_EQ(silent.getChosenPath(), u"\\Apps\\Chosen\\");
    EXPECT_TRUE(silent.runUnattended());
    EXPECT_EQ(controller().getDestinationFolder(), u"\\Apps\\Chosen\\");
    EXPECT_EQ(pageLogicProcessState().secondDestinationPath, u"\\Apps\\Chosen\\");
}

TEST_F(SmallPages, ASilentRunStopsAtARedistributableThatCannotBeInstalled)
{
    makePageProduct();
    redistributables_->toInstall = {SharedString(u"C runtime")};
    PageRedistributablesLogic logic(controller());
    EXPECT_TRUE(logic.runUnattended());
    EXPECT_TRUE(ui_->shown.empty());

    redistributables_->worstOk = false;
    redistributables_->worstMessage = u"Needs a newer system";
    EXPECT_FALSE(logic.runUnattended());
    ASSERT_EQ(ui_->shown.size(), 1u);
    EXPECT_EQ(ui_->shown[0], std::make_tuple(std::u16string(u"Needs a newer system"), kMessageError, 1));
}

TEST_F(SmallPages, TheControllersLogicsServeTheirPages)
{
    makePageProduct();
    PageLogicRegistry registry;
    registerControllerPageLogics(registry);
    PageLogicArguments arguments;
    arguments.host = controller().getHalIn();
    test::DiagCapture diag;  // the new-version page finds no newer installer
    for (WizardPageId id = kPageTethering; id <= kPageCustomLast; ++id) {
        const bool served = id != kPagePrerequisites && id != kPageInstallation;
        EXPECT_EQ(registry.makePageLogic(controller(), id, arguments) != nullptr, served) << id;
    }
}

}  // namespace
}  // namespace druvex
