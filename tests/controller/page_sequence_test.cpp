// The wizard's page list: every mode's list compared whole with each of its
// conditions set and unset, the moves and the page logics they make, the page
// counter, and custom pages placed after their anchors for the modes their
// SupportedModes name.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "app_base/installer_options.h"
#include "controller/page_sequence.h"
#include "data/install_data.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

class FakeController final : public PageSequenceController {
public:
    const InstallerOptions& getOptions() const override { return options; }
    bool hasNewInstallerEntry() const override { return newInstaller; }
    std::int32_t getInstalledVersionComparison() const override { return versionComparison; }
    bool hasEulaInPayload() const override { return licence; }
    bool isEulaAlreadyAccepted() const override { return licenceAccepted; }
    bool isDesktopTarget() const override { return desktop; }
    bool hasFeatureToInstall() const override { return features; }
    bool needsRedistributables() override
    {
        ++redistributableEvaluations;
        return redistributables;
    }
    InstallData& getInstallData() override { return data; }
    void setForAnyone(bool value) override
    {
        forAnyone = value;
        ++forAnyoneSets;
    }
    TargetPlatform getHostPlatform() const override { return hostPlatform; }
    void createPageLogic(WizardPageId id) override { logics.push_back(id); }

    InstallerOptions options;
    bool newInstaller = false;
    std::int32_t versionComparison = 0;
    bool licence = false;
    bool licenceAccepted = false;
    bool desktop = false;
    bool features = false;
    bool redistributables = false;
    InstallData data;
    bool forAnyone = true;
    int forAnyoneSets = 0;
    int redistributableEvaluations = 0;
    TargetPlatform hostPlatform = kPlatformQm40;
    std::vector<WizardPageId> logics;
};

std::string listText(const std::vector<WizardPageId>& pages)
{
    std::ostringstream out;
    for (std::size_t i = 0; i < pages.size(); ++i)
        out << (i ? " " : "") << wizardPageNumber(pages[i]);
    return out.str();
}

// A custom page that shows in every mode on every platform.
CustomPagePtr customPage(const char16_t* name, std::int32_t supportedModes = 255)
{
    auto page = std::make_shared<CustomPage>();
    page->name = name;
    page->supportedModes = supportedModes;
    return page;
}

class PageSequenceTest : public ::testing::Test {
protected:
    std::string build(WizardMode mode)
    {
        sequence_.buildForMode(mode);
        return listText(sequence_.getPages());
    }

    FakeController controller_;
    PageSequence sequence_{controller_};
};

// The conditions of one row, by letter: U use_config, N a newer installer
// (O: one, but the installed version is older), L a licence, A the licence
// accepted, D a desktop target, F features to install, R redistributables to
// install, 1 and 2 the update modes "newversion" and "features".
struct ListCase {
    WizardMode mode;
    const char* conditions;
    const char* pages;
};

TEST_F(PageSequenceTest, EveryModeListsItsPagesUnderEachCondition)
{
    const ListCase cases[] = {
        {kModeStart, "", "1 2"},
        {kModeStart, "U", "2"},
        {kModeStart, "NLADFR", "1 2"},
        {kModeInstall, "", "1 2 4 7 11 12"},
        {kModeInstall, "U", "2 11 12"},
        {kModeInstall, "UNLDF", "2 11 12"},
        {kModeInstall, "N", "1 2 3 4 7 11 12"},
        {kModeInstall, "O", "1 2 4 7 11 12"},
        {kModeInstall, "L", "1 2 4 5 7 11 12"},
        {kModeInstall, "A", "1 2 4 7 11 12"},
        {kModeInstall, "D", "1 2 4 6 8 11 12"},
        {kModeInstall, "F", "1 2 4 7 9 11 12"},
        {kModeInstall, "R", "1 2 4 7 11 12"},
        {kModeInstall, "NLF", "1 2 3 4 5 7 9 11 12"},
        {kModeUpdate, "", "2 4 11 12"},
        {kModeUpdate, "L", "2 4 5 11 12"},
        {kModeUpdate, "LA", "2 4 11 12"},
        {kModeUpdate, "UNDFR", "2 4 11 12"},
        {kModeAddRemove, "", "4 9 11 12"},
        {kModeAddRemove, "L", "4 5 9 11 12"},
        {kModeAddRemove, "LA", "4 5 9 11 12"},
        {kModeAddRemove, "UNDFR", "4 9 11 12"},
        {kModeUninstall, "", "4 11 12"},
        {kModeUninstall, "UNLADFR", "4 11 12"},
        {kModeMaintenance, "", "1 2 4 11 12"},
        {kModeMaintenance, "U", "2 11 12"},
        {kModeMaintenance, "N", "1 2 4 3 11 12"},
        {kModeMaintenance, "O", "1 2 4 11 12"},
        {kModeMaintenance, "L", "1 2 4 5 11 12"},
        {kModeMaintenance, "A", "1 2 4 11 12"},
        {kModeMaintenance, "D", "1 2 4 11 12"},
        {kModeMaintenance, "F", "1 2 4 9 11 12"},
        {kModeMaintenance, "R", "1 2 4 10 11 12"},
        {kModeMaintenance, "FR", "1 2 4 9 11 12"},
        {kModeMaintenance, "NLF", "1 2 4 3 5 9 11 12"},
        {kModeMaintenanceWithoutLog, "", "1 2 4 7 11 12"},
        {kModeMaintenanceWithoutLog, "U", "2 11 12"},
        {kModeMaintenanceWithoutLog, "N", "1 2 4 3 7 11 12"},
        {kModeMaintenanceWithoutLog, "L", "1 2 4 5 7 11 12"},
        {kModeMaintenanceWithoutLog, "D", "1 2 4 8 11 12"},
        {kModeMaintenanceWithoutLog, "F", "1 2 4 7 9 11 12"},
        {kModeMaintenanceWithoutLog, "R", "1 2 4 7 10 11 12"},
        {kModeMaintenanceWithoutLog, "DFR", "1 2 4 8 9 11 12"},
        {kModeDownload, "", "3 11 12"},
        {kModeDownload, "UNLADFR", "3 11 12"},
        {kModeDownload, "1", "2 11 12"},
        {kModeDownload, "2", "3 11 12"},
        {kModeRepairBroken, "", "2 4 11 12"},
        {kModeRepairBroken, "R", "2 4 10 11 12"},
        {kModeRepairBroken, "UNLADF", "2 4 11 12"},
        {kModeRepair, "", "2 4 11 12"},
        {kModeRepair, "R", "2 4 10 11 12"},
        {kModeRepair, "UNLADF", "2 4 11 12"},
        {kModeBackup, "", "11 12"},
        {kModeBackup, "UNLADFR", "11 12"},
        {wizardModeFromNumber(12), "UNLADFR", ""},
        {wizardModeFromNumber(-1), "", ""},
    };
    for (const ListCase& row : cases) {
        const std::string conditions = row.conditions;
        SCOPED_TRACE(::testing::Message() << "mode " << row.mode << " conditions \"" << conditions << "\"");
        FakeController controller;
        auto has = [&](char letter) { return conditions.find(letter) != std::string::npos; };
        controller.options.configMode = has('U') ? kConfigModeUse : kConfigModeNone;
        controller.newInstaller = has('N') || has('O');
        controller.versionComparison = has('O') ? -1 : 0;
        controller.options.updateMode =
            has('1') ? kUpdateModeNewVersion : (has('2') ? kUpdateModeFeatures : kUpdateModeNone);
        controller.licence = has('L');
        controller.licenceAccepted = has('A');
        controller.desktop = has('D');
        controller.features = has('F');
        controller.redistributables = has('R');
        PageSequence sequence(controller);
        sequence.buildForMode(row.mode);
        EXPECT_EQ(listText(sequence.getPages()), row.pages);
        EXPECT_EQ(sequence.getMode(), row.mode);
        EXPECT_TRUE(controller.logics.empty()) << "a build makes no page logic";
    }
}

TEST_F(PageSequenceTest, ADesktopInstallAsksForTheUsersOnlyWhenTheDataLeavesItOpen)
{
    const struct {
        const char16_t* setting;
        const char* pages;
        int sets;
        bool forAnyone;
    } cases[] = {
        {nullptr, "1 2 3 4 5 6 8 9 11 12", 0, true},  // the default, "Prompt"
        {u"For Current", "1 2 3 4 5 8 9 11 12", 1, false},
        {u"For Everyone", "1 2 3 4 5 8 9 11 12", 1, true},
        {u"for current", "1 2 3 4 5 6 8 9 11 12", 0, true},  // compared exactly
    };
    for (const auto& row : cases) {
        FakeController controller;
        controller.desktop = controller.newInstaller = controller.licence = controller.features = true;
        controller.forAnyone = !row.forAnyone;
        if (row.setting)
            controller.data.settings().set(InstallerSettingKey::AskForWhichUsers, row.setting);
        PageSequence sequence(controller);
        sequence.buildForMode(kModeInstall);
        EXPECT_EQ(listText(sequence.getPages()), row.pages);
        EXPECT_EQ(controller.forAnyoneSets, row.sets);
        if (row.sets) {
            EXPECT_EQ(controller.forAnyone, row.forAnyone);
        }
    }
}

TEST_F(PageSequenceTest, RebuildingKeepsTheCurrentPageAndTheSameModeChangesNothing)
{
    sequence_.reset(kPagePrerequisites);
    EXPECT_EQ(build(kModeMaintenance), "1 2 4 11 12");
    // Page 1 stands before the current page: it is reached only by going back.
    EXPECT_EQ(sequence_.getCurrentPageId(), kPagePrerequisites);
    EXPECT_EQ(sequence_.getCurrentIndex(), 1u);

    const int evaluations = controller_.redistributableEvaluations;
    controller_.features = true;
    EXPECT_EQ(build(kModeMaintenance), "1 2 4 11 12");
    EXPECT_EQ(controller_.redistributableEvaluations, evaluations);

    sequence_.goToPage(kPageWelcome);
    // The welcome page is not in the backup list: the first page becomes current.
    EXPECT_EQ(build(kModeBackup), "11 12");
    EXPECT_EQ(sequence_.getCurrentPageId(), kPageInstallation);
    EXPECT_EQ(sequence_.getCurrentIndex(), 0u);
}

TEST_F(PageSequenceTest, MovesStayInsideTheListAndMakeTheNewPagesLogic)
{
    // Nothing to move along in an empty list.
    sequence_.next();
    sequence_.back();
    EXPECT_EQ(sequence_.getCurrentPageId(), kPageNone);
    EXPECT_EQ(sequence_.getNextPageId(), kPageNone);
    EXPECT_TRUE(controller_.logics.empty());

    sequence_.reset(kPagePrerequisites);
    build(kModeUninstall);  // 4 11 12; page 2 is gone, so 4 is current
    EXPECT_EQ(sequence_.getCurrentPageId(), kPageWelcome);
    sequence_.back();
    sequence_.next();
    sequence_.next();
    EXPECT_EQ(sequence_.getNextPageId(), kPageEndInstall);
    sequence_.next();
    sequence_.next();  // past the end: nothing
    EXPECT_EQ(sequence_.getCurrentPageId(), kPageEndInstall);
    EXPECT_EQ(sequence_.getNextPageId(), kPageEndInstall);
    sequence_.goToPage(kPageWelcome);
    sequence_.goToPage(kPageLicense);  // not in the list: nothing
    EXPECT_EQ(sequence_.getCurrentPageId(), kPageWelcome);
    EXPECT_EQ(controller_.logics,
              (std::vector<WizardPageId>{kPagePrerequisites, kPageInstallation, kPageEndInstall, kPageWelcome}));
}

TEST_F(PageSequenceTest, ResetStartsOverAtTheOnePageItLeaves)
{
    build(kModeMaintenance);
    sequence_.goToPage(kPageEndInstall);
    ASSERT_EQ(sequence_.getCurrentIndex(), 4u);
    // An uninstallation resets in the middle of a run.
    sequence_.reset(kPageWelcome);
    EXPECT_EQ(listText(sequence_.getPages()), "4");
    EXPECT_EQ(sequence_.getCurrentIndex(), 0u);
    EXPECT_EQ(sequence_.getCurrentPageId(), kPageWelcome);
    EXPECT_EQ(controller_.logics.back(), kPageWelcome);
    EXPECT_EQ(build(kModeUninstall), "4 11 12");
    EXPECT_EQ(sequence_.getCurrentPageId(), kPageWelcome);
}

TEST_F(PageSequenceTest, PagesAreInsertedAfterTheCurrentOneAndRemovedOnce)
{
    // No page is current in an empty list: the page is appended.
    sequence_.insertAfterCurrent(kPageEndInstall);
    EXPECT_EQ(listText(sequence_.getPages()), "12");

    controller_.features = true;
    build(kModeAddRemove);  // 4 9 11 12
    sequence_.goToPage(kPageFeatureSelection);
    sequence_.insertAfterCurrent(kPageRedistributables);
    sequence_.insertAfterCurrent(kPageRedistributables);
    sequence_.insertAfterCurrent(kPageEndInstall);  // there already
    EXPECT_EQ(listText(sequence_.getPages()), "4 9 10 11 12");
    sequence_.removePage(kPageRedistributables);
    sequence_.removePage(kPageRedistributables);
    EXPECT_EQ(listText(sequence_.getPages()), "4 9 11 12");
    EXPECT_EQ(sequence_.getCurrentPageId(), kPageFeatureSelection);

    // Taking out the current last page leaves the position on the new last one.
    sequence_.goToPage(kPageEndInstall);
    sequence_.removePage(kPageEndInstall);
    EXPECT_EQ(sequence_.getCurrentPageId(), kPageInstallation);
}

TEST_F(PageSequenceTest, TheCounterShowsThePositionAndInTheInstallModeTheCount)
{
    controller_.newInstaller = controller_.licence = controller_.features = true;
    sequence_.reset(kPageTethering);
    ASSERT_EQ(build(kModeInstall), "1 2 3 4 5 7 9 11 12");
    const char* expected[] = {"", "", "2/8", "3/8", "4/8", "5/8", "6/8", "7/8", "8/8"};
    for (const char* text : expected) {
        EXPECT_EQ(sequence_.getPageCounterText(), fromUtf8(text))
            << "page " << wizardPageNumber(sequence_.getCurrentPageId());
        sequence_.next();
    }

    ASSERT_EQ(build(kModeMaintenance), "1 2 4 3 5 9 11 12");
    sequence_.goToPage(kPageWelcome);
    EXPECT_EQ(sequence_.getPageCounterText(), u"2");
    sequence_.goToPage(kPagePrerequisites);
    EXPECT_EQ(sequence_.getPageCounterText(), u"");

    build(kModeDownload);
    sequence_.goToPage(kPageNewVersion);
    EXPECT_EQ(sequence_.getPageCounterText(), u"");
}

// The page sequence shows a custom page by the mode bits of its own table; the
// data model's supportsMode tests one bit per mode number. Both tables here.
TEST(PageSequenceModeBits, CustomPagesFollowTheSequencesTableNotSupportsMode)
{
    const struct {
        WizardMode mode;
        std::int32_t sequenceBit;
    } table[] = {
        {kModeNone, 0},        {kModeStart, 0},      {kModeInstall, 1},          {kModeUpdate, 4},
        {kModeAddRemove, 4},   {kModeUninstall, 2},  {kModeMaintenance, 8},      {kModeMaintenanceWithoutLog, 8},
        {kModeDownload, 16},   {kModeRepairBroken, 32}, {kModeRepair, 32},       {kModeBackup, 0},
        {wizardModeFromNumber(12), 0}, {wizardModeFromNumber(-1), 0},
    };
    for (const auto& row : table) {
        const std::int32_t number = wizardModeNumber(row.mode);
        SCOPED_TRACE(number);
        EXPECT_EQ(customPageModeBit(row.mode), row.sequenceBit);
        if (number < 0 || number > 11)
            continue;
        CustomPage page;
        page.supportedModes = 1 << number;
        EXPECT_TRUE(page.supportsMode(row.mode));
        page.supportedModes = ~(1 << number);
        EXPECT_FALSE(page.supportsMode(row.mode));
    }

    // A page whose SupportedModes is 4: supportsMode says mode 2, the
    // sequence shows it in modes 3 and 4 only.
    CustomPage page;
    page.supportedModes = 4;
    EXPECT_TRUE(page.supportsMode(kModeInstall));
    for (std::int32_t number = 1; number <= 11; ++number) {
        const WizardMode mode = wizardModeFromNumber(number);
        FakeController controller;
        controller.features = true;
        controller.data.addCustomPage(customPage(u"Page", 4));
        controller.data.setCustomPagesSequence(u"[Welcome page]Page;");
        PageSequence sequence(controller);
        sequence.buildForMode(mode);
        const bool shown = sequence.findCustomPage(kPageCustomFirst) != nullptr;
        EXPECT_EQ(shown, mode == kModeUpdate || mode == kModeAddRemove) << "mode " << number;
    }
}

TEST_F(PageSequenceTest, CustomPagesGoBeforeTheFirstStandardPageAfterTheirAnchor)
{
    // Install-mode pages; E's anchor, the users page, is not in a device's
    // list, which does not keep E out.
    for (const char16_t* name : {u"A", u"B", u"C", u"D", u"E", u"F"})
        controller_.data.addCustomPage(customPage(name, 1));
    auto windowsOnly = customPage(u"W", 1);
    windowsOnly->targetPlatMask = platformMask(kPlatformWin32);
    controller_.data.addCustomPage(windowsOnly);
    controller_.data.addCustomPage(customPage(u"Uninstall", 2));
    controller_.data.setCustomPagesSequence(
        u"[Welcome page]a,Missing,B,W,Uninstall;[Destination page]C;[Installation page]D;"
        u"[Users page]E;[End install page]F;[]A;");
    ASSERT_EQ(build(kModeInstall), "1 2 4 13 14 15 7 16 11 17 12 18");
    const char16_t* shown[] = {u"A", u"B", u"E", u"C", u"D", u"F"};
    for (int index = 0; index < 6; ++index)
        EXPECT_EQ(sequence_.findCustomPage(wizardPageFromNumber(13 + index))->name, shown[index]);
    EXPECT_EQ(sequence_.findCustomPage(wizardPageFromNumber(19)), nullptr);
    EXPECT_EQ(sequence_.findCustomPage(kPageWelcome), nullptr);

    // On a desktop the Windows page shows, E lands before the second
    // destination page and C after it.
    FakeController desktop;
    desktop.desktop = true;
    desktop.hostPlatform = kPlatformWin32;
    for (int index = 0; index < controller_.data.customPageCount(); ++index)
        desktop.data.addCustomPage(controller_.data.customPageAt(index));
    desktop.data.setCustomPagesSequence(controller_.data.customPagesSequence());
    PageSequence sequence(desktop);
    sequence.buildForMode(kModeInstall);
    EXPECT_EQ(listText(sequence.getPages()), "1 2 4 13 14 15 6 16 8 17 11 18 12 19");
    EXPECT_EQ(sequence.findCustomPage(wizardPageFromNumber(15))->name, u"W");

    // A rebuild maps the pages anew: the uninstall mode shows its own page only.
    EXPECT_EQ(build(kModeUninstall), "4 13 11 12");
    EXPECT_EQ(sequence_.findCustomPage(wizardPageFromNumber(13))->name, u"Uninstall");
    EXPECT_EQ(sequence_.findCustomPage(wizardPageFromNumber(14)), nullptr);
    EXPECT_EQ(build(kModeBackup), "11 12");
    EXPECT_EQ(sequence_.findCustomPage(wizardPageFromNumber(13)), nullptr);
}

TEST_F(PageSequenceTest, ACustomPageAfterTheNewVersionPageComesBeforeTheWelcomePageInMaintenance)
{
    controller_.newInstaller = true;
    controller_.data.addCustomPage(customPage(u"Notes"));
    controller_.data.setCustomPagesSequence(u"[New version page]Notes;");
    EXPECT_EQ(build(kModeMaintenance), "1 2 13 4 3 11 12");
}

TEST_F(PageSequenceTest, TenCustomPagesAtMost)
{
    std::u16string sequence = u"[Prerequisites page]";
    for (int index = 0; index < 11; ++index) {
        const std::u16string name = u"P" + std::u16string(1, static_cast<char16_t>(u'a' + index));
        controller_.data.addCustomPage(customPage(name.c_str()));
        sequence += (index ? u"," : u"") + name;
    }
    controller_.data.setCustomPagesSequence(SharedString(sequence + u";"));
    EXPECT_EQ(build(kModeRepair), "2 13 14 15 16 17 18 19 20 21 22 4 11 12");
    EXPECT_EQ(sequence_.findCustomPage(wizardPageFromNumber(22))->name, u"Pj");
    EXPECT_EQ(sequence_.findCustomPage(wizardPageFromNumber(23)), nullptr);
}

}  // namespace
}  // namespace druvex
