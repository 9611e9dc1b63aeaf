// The small page logics: the welcome page's task choice, restore and backup
// checks (with a scripted backup reader), the description cut at 100 lines;
// the tethering page's language, the users page, the second destination's
// default path kept for the process, the redistributables page of a silent
// run, and the page ids the controller's logics are registered for.
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
#include "controller/page_users_logic.h"
#include "controller/page_welcome_logic.h"
#include "data/install_data.h"
#include "data/installed_log.h"
#include "support/diag_capture.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

class ScriptedBackupReader final : public FullBackupReader {
public:
    std::int32_t readBackupInfo(const SharedString& path) override
    {
        paths.push_back(path);
        return answer;
    }
    std::int32_t answer = kBackupValid;
    std::vector<SharedString> paths;
};

using SmallPages = test::PageLogicFixture;

TEST_F(SmallPages, TheWelcomeChoiceOfEachMode)
{
    makePageProduct();
    const std::pair<WizardMode, int> choices[] = {
        {kModeInstall, 0}, {kModeUpdate, 3},   {kModeAddRemove, 3}, {kModeUninstall, 1},     {kModeMaintenance, 1},
        {kModeRepair, 1},  {kModeMaintenanceWithoutLog, 2},         {kModeRepairBroken, 4}, {kModeDownload, 0},
    };
    for (const auto& [mode, index] : choices)
        EXPECT_EQ(PageWelcomeLogic(controller(), mode).getChoiceIndex(), index) << mode;

    PageWelcomeLogic logic(controller(), kModeNone);
    logic.initChoice();
    EXPECT_EQ(logic.getChosenMode(), kModeInstall);
    EXPECT_TRUE(logic.onBack());
    logic.chooseMode(kModeRepair);
    EXPECT_EQ(controller().getPageSequence().getMode(), kModeRepair);
    logic.chooseUninstall(7);
    EXPECT_EQ(controller().getPageSequence().getMode(), kModeUninstall);
    EXPECT_EQ(controller().getUninstallChoice(), 7);
    EXPECT_FALSE(logic.onBack());
    EXPECT_FALSE(logic.canModify());
}

TEST_F(SmallPages, WhatTheWelcomePageOffersForTheInstalledProgram)
{
    makePageProduct();
    const FeaturePtr maps = addFeature(u"Maps");
    PageWelcomeLogic fresh(controller(), kModeMaintenance);
    EXPECT_TRUE(fresh.canModify());  // nothing installed yet

    addInstalled(u"Feature/Maps");
    EXPECT_TRUE(fresh.canModify());
    maps->setPresel(FeaturePreselection::Required);
    EXPECT_FALSE(fresh.canModify());  // nothing left to choose
    maps->setPresel(FeaturePreselection::NotPreselected);
    controller().setInstalledVersionComparison(-1);
    EXPECT_FALSE(fresh.canModify());
    EXPECT_FALSE(PageWelcomeLogic(controller(), kModeRepair).canModify());

    // A wipe: off the device only, for the same version of the same kind of log.
    EXPECT_FALSE(fresh.canWipe());
    controller().setInstalledVersionComparison(0);
    EXPECT_TRUE(fresh.canWipe());
    controller().setInstalledLogDifferent(true);
    EXPECT_FALSE(fresh.canWipe());
    EXPECT_FALSE(fresh.canRepairOrModify());
    controller().setInstalledLogDifferent(false);
    controller().getBuildConfiguration().setInstallerPlatform(kInstallerPlatformController);
    EXPECT_FALSE(fresh.canWipe());

    controller().setCanRepairInstalledFeatures(true);
    EXPECT_TRUE(fresh.canRepairOrModify());
    PageWelcomeLogic broken(controller(), kModeRepairBroken);
    EXPECT_FALSE(broken.canRepairOrModify());
    controller().setInstallationBroken(true);
    EXPECT_TRUE(broken.canRepairOrModify());

    EXPECT_TRUE(fresh.isWipeAllowed());
    setSetting(InstallerSettingKey::AllowWipe, u"No");
    EXPECT_FALSE(fresh.isWipeAllowed());
    EXPECT_FALSE(fresh.isRestoreFromBackupAllowed());
    setSetting(InstallerSettingKey::AllowRestoreFromBackup, u"Yes");
    EXPECT_TRUE(fresh.isRestoreFromBackupAllowed());
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
    const std::pair<std::int32_t, const char16_t*> answers[] = {
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
    std::vector<std::u16string> lines;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find(u"\r\n", start);
        lines.push_back(text.substr(start, end - start));
        if (end == std::u16string::npos)
            break;
        start = end + 2;
    }
    ASSERT_EQ(lines.size(), 100u);
    EXPECT_EQ(lines.front(), u"Job 1");
    EXPECT_EQ(lines.back(), u"Job 100");
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
    EXPECT_FALSE(logic.onBack());

    controller().setLanguage(1031, SharedString(u"Deutsch"));
    PageTetheringLogic again(controller());
    EXPECT_EQ(controller().getLanguage(), 1031);
}

TEST_F(SmallPages, ASilentRunInstallsForTheCurrentUser)
{
    makePageProduct();
    controller().setForAnyone(true);
    PageUsersLogic logic(controller(), controller().getHalIn());
    EXPECT_TRUE(logic.runUnattended());
    EXPECT_FALSE(controller().isForAnyone());
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
    EXPECT_EQ(logic.getRedistributableNames(), std::vector<SharedString>{SharedString(u"C runtime")});
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
