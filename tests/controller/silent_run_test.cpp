// The silent run over page logics registered as the application registers
// them, scripted here: the end page's result, a refusing page, missing
// rights, the forced language, the download run's newer installer, and page
// lists that cannot reach the end page or go round.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "controller/installed_state_fixture.h"
#include "controller/page_logic.h"
#include "data/installed_log.h"
#include "fileutil/file_util.h"
#include "fileutil/operation_log.h"
#include "support/diag_capture.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

// A page logic whose silent work is scripted: its answer, and for the end
// page the result it reports.
class ScriptedPageLogic final : public test::RecordingPageLogic {
public:
    ScriptedPageLogic(test::PageLogicJournal& journal, WizardPageId id, InstallerController& controller,
                      const std::map<WizardPageId, bool>& answers,
                      const std::map<WizardPageId, WizardPageId>& movedBehind, InstallResult endResult,
                      const std::map<WizardPageId, std::u16string>& reasons,
                      const std::map<WizardPageId, std::u16string>& strayErrors)
        : RecordingPageLogic(journal, id),
          controller_(controller),
          answers_(answers),
          movedBehind_(movedBehind),
          endResult_(endResult),
          reasons_(reasons),
          strayErrors_(strayErrors)
    {
    }

    bool runUnattended() override
    {
        journal_.add("unattended " + std::to_string(wizardPageNumber(id_)));
        // An error line that another thread logs meanwhile (a download, a
        // check on a worker) is no reason of the page's.
        if (const auto stray = strayErrors_.find(id_); stray != strayErrors_.end())
            std::thread([&] { logError(stray->second); }).join();
        if (const auto reason = reasons_.find(id_); reason != reasons_.end())
            failRun(controller_, SharedString(reason->second));
        if (id_ == kPageEndInstall)
            controller_.setResult(endResult_);
        // Moves another page from anywhere in the list to just after this one,
        // as logics that add pages to the run do.
        const auto moved = movedBehind_.find(id_);
        if (moved != movedBehind_.end()) {
            controller_.getPageSequence().removePage(moved->second);
            controller_.getPageSequence().insertAfterCurrent(moved->second);
        }
        const auto answer = answers_.find(id_);
        return answer == answers_.end() || answer->second;
    }

private:
    InstallerController& controller_;
    const std::map<WizardPageId, bool>& answers_;
    const std::map<WizardPageId, WizardPageId>& movedBehind_;
    InstallResult endResult_;
    const std::map<WizardPageId, std::u16string>& reasons_;
    const std::map<WizardPageId, std::u16string>& strayErrors_;
};

class SilentRun : public test::InstalledStateFixture {
protected:
    void SetUp() override
    {
        InstalledStateFixture::SetUp();
        options_.silent = true;
    }

    // The product with a scripted logic registered for every page.
    InstallerController& makeSilentProduct()
    {
        InstallerController& controller = makeProduct();
        controller.setPageLogicFactory(makeRegistry(kPageTethering, kPageCustomLast));
        return controller;
    }
    // Scripted logics for the pages `first` to `last`, none for the others.
    std::shared_ptr<PageLogicRegistry> makeRegistry(WizardPageId first, WizardPageId last)
    {
        auto registry = std::make_shared<PageLogicRegistry>();
        for (WizardPageId id = first; id <= last; ++id) {
            registry->registerMaker(id, [this, id](InstallerController& owner, const PageLogicArguments&) {
                return std::make_unique<ScriptedPageLogic>(journal_, id, owner, answers_, movedBehind_, endResult_,
                                                           reasons_, strayErrors_);
            });
        }
        return registry;
    }
    // The page list of `mode`, from `first` on.
    void startMode(WizardPageId first, WizardMode mode)
    {
        controller().getPageSequence().reset(first);
        controller().getPageSequence().buildForMode(mode);
    }
    // The pages whose silent work ran, in order.
    std::vector<std::string> unattended() const
    {
        std::vector<std::string> pages;
        for (const std::string& event : journal_.events) {
            if (event.starts_with("unattended "))
                pages.push_back(event.substr(11));
        }
        return pages;
    }

    std::map<WizardPageId, bool> answers_;
    std::map<WizardPageId, WizardPageId> movedBehind_;
    InstallResult endResult_ = kResultCompleted;
    // The reasons the pages hand over as they fail (or go on), and error
    // lines another thread logs while they work.
    std::map<WizardPageId, std::u16string> reasons_;
    std::map<WizardPageId, std::u16string> strayErrors_;
};

TEST_F(SilentRun, TheEndPagesResultDecides)
{
    const struct {
        InstallResult result;
        bool succeeded;
    } rows[] = {
        {kResultCompleted, true},
        {kResultFailed, false},
        {kResultCompletedUnchanged, true},
        {kResultCanceled, false},
    };
    for (const auto& row : rows) {
        journal_ = {};
        endResult_ = row.result;
        makeSilentProduct();
        controller().setLanguage(1031, SharedString(u"Deutsch"));
        startMode(kPagePrerequisites, kModeUpdate);
        EXPECT_EQ(controller().runUnattended(), row.succeeded) << row.result;
        EXPECT_EQ(unattended(), (std::vector<std::string>{"2", "4", "11", "12"})) << row.result;
        // A silent run uses online features only when it updates, and is
        // made in Danish whatever was chosen before.
        EXPECT_FALSE(controller().getUseOnlineFeature());
        EXPECT_TRUE(controller().isUpdateCheckDone());
        EXPECT_EQ(controller().getLanguage(), 0x406);
        EXPECT_EQ(controller().getLanguageCode(), SharedString(u"Danish"));
    }
}

// Danish would take the installed program's language features out of the
// run: an installed program keeps the language it has.
TEST_F(SilentRun, AnInstalledProgramKeepsItsLanguage)
{
    makeSilentProduct();
    addInstalled(u"Feature/Core");
    controller().setLanguage(1031, SharedString(u"Deutsch"));
    startMode(kPagePrerequisites, kModeMaintenance);
    EXPECT_TRUE(controller().runUnattended());
    EXPECT_EQ(controller().getLanguage(), 1031);
    EXPECT_EQ(controller().getLanguageCode(), SharedString(u"Deutsch"));
}

// A page that refuses, a download run whose newer installer does not start,
// and page lists that cannot reach the end page: each ends with a failure.
TEST_F(SilentRun, ARunThatCannotReachItsEndFails)
{
    std::vector<std::string> goingRound;
    for (int visit = 0; visit < 128; ++visit)
        goingRound.insert(goingRound.end(), {"2", "4"});
    const struct {
        const char* what;
        std::function<void()> set;
        std::vector<std::string> ran;
        bool launchFailed;
        std::u16string logged;
    } rows[] = {
        {"a page refuses",
         [this] {
             answers_[kPageWelcome] = false;
             startMode(kPagePrerequisites, kModeUpdate);
         },
         {"2", "4"}, false, u"The silent run stops: page 4 did not complete"},
        {"the newer installer does not start", [this] { startMode(kPageNewVersion, kModeDownload); },
         {"3", "11", "12"}, true, u""},
        {"no page at all", [] {}, {}, false, u"The silent run stops: page 0 has no logic"},
        {"a list that stops before the end page",
         [this] {
             controller().getPageSequence().reset(kPagePrerequisites);
             controller().getPageSequence().insertAfterCurrent(kPageWelcome);
         },
         {"2", "4"}, false, u"The silent run stops: the page list does not go on after page 4"},
        {"a page whose logic nobody registered",
         [this] {
             controller().setPageLogicFactory(makeRegistry(kPageTethering, kPagePrerequisites));
             startMode(kPagePrerequisites, kModeUpdate);
         },
         {"2"}, false, u"The silent run stops: page 4 has no logic"},
        {"pages that always move on but keep putting each other next",
         [this] {
             movedBehind_ = {{kPagePrerequisites, kPageWelcome}, {kPageWelcome, kPagePrerequisites}};
             controller().getPageSequence().reset(kPagePrerequisites);
             controller().getPageSequence().insertAfterCurrent(kPageWelcome);
         },
         goingRound, false, u"The silent run stops: more than 256 pages visited"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        journal_ = {};
        answers_.clear();
        movedBehind_.clear();
        makeSilentProduct();
        row.set();
        test::DiagCapture log;
        EXPECT_FALSE(controller().runUnattended());
        EXPECT_EQ(unattended(), row.ran);
        EXPECT_EQ(controller().isNewInstallerLaunchFailed(), row.launchFailed);
        EXPECT_TRUE(row.logged.empty() || log.contains(row.logged));
    }
}

TEST_F(SilentRun, WithoutAdministrativeRightsNoPageRuns)
{
    DeviceConfig config = device().config();
    config.administrator = false;
    device().reconfigure(config);

    // The installer requires the rights, or the program is installed for
    // another user.
    for (const bool installedForOther : {false, true}) {
        journal_ = {};
        makeSilentProduct();
        if (installedForOther) {
            InstalledLog log;
            log.setProgramName(SharedString(u"Survey Pro"));
            log.setOwner(SharedString(u"surveyor"));
            writeInstalledLog(log);
        } else {
            setSetting(InstallerSettingKey::RequireAdminRights, u"Yes");
        }
        startMode(kPagePrerequisites, kModeUpdate);
        journal_.events.clear();

        testing::internal::CaptureStdout();
        EXPECT_FALSE(controller().runUnattended());
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error - The installation requires administrative rights\n");
        EXPECT_TRUE(unattended().empty());
    }
}

// What a person is told of a failed silent run: the page it stopped on and
// the reason the failing step handed over, never one of a page that went on
// nor an error line that happened to be logged last.
TEST_F(SilentRun, AFailedRunTellsWhereItStoppedAndWhy)
{
    const struct {
        const char* what;
        std::map<WizardPageId, bool> answers;
        std::map<WizardPageId, std::u16string> reasons;
        std::map<WizardPageId, std::u16string> strayErrors;
        InstallResult result;
        std::u16string told;
    } rows[] = {
        {"a page refuses with its reason", {{kPageWelcome, false}}, {{kPageWelcome, u"No room on the storage"}}, {},
         kResultCompleted, u"The silent run stopped on the Welcome page: No room on the storage"},
        {"the reason of a page that went on is not the reason",
         {{kPageWelcome, false}},
         {{kPagePrerequisites, u"The bulletin is stale"}},
         {},
         kResultCompleted,
         u"The silent run stopped on the Welcome page"},
        {"an error line another thread logs later is not the reason",
         {{kPageWelcome, false}},
         {{kPageWelcome, u"No room on the storage"}},
         {{kPageWelcome, u"The download of the languages failed"}},
         kResultCompleted,
         u"The silent run stopped on the Welcome page: No room on the storage"},
        {"an error line logged on the way is no reason",
         {{kPageWelcome, false}},
         {},
         {{kPagePrerequisites, u"The bulletin is stale"}, {kPageWelcome, u"A font is missing"}},
         kResultCompleted,
         u"The silent run stopped on the Welcome page"},
        {"the installation fails",
         {},
         {{kPageInstallation, u"Failed to create file \\Program Files\\a.dll"}},
         {{kPageEndInstall, u"Rollback incomplete"}},
         kResultFailed,
         u"The run ended with the result 1 (failed): Failed to create file \\Program Files\\a.dll"},
        {"the run is canceled", {}, {}, {}, kResultCanceled, u"The run ended with the result 3 (canceled)"},
        {"the run completes", {}, {{kPageInstallation, u"A file was skipped"}}, {}, kResultCompleted, u""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        journal_ = {};
        answers_ = row.answers;
        reasons_ = row.reasons;
        strayErrors_ = row.strayErrors;
        endResult_ = row.result;
        makeSilentProduct();
        startMode(kPagePrerequisites, kModeUpdate);
        EXPECT_EQ(controller().runUnattended(), row.told.empty());
        EXPECT_EQ(controller().getUnattendedFailure(), row.told);
    }
}

// A run that went on without a feature did not do what it was asked,
// whatever its result says.
TEST_F(SilentRun, ARunThatLeftAFeatureOutFails)
{
    makeSilentProduct();
    startMode(kPagePrerequisites, kModeUpdate);
    controller().addSkippedFeature(SharedString(u"Maps"));
    controller().addSkippedFeature(SharedString(u"Help"));
    EXPECT_FALSE(controller().runUnattended());
    EXPECT_EQ(controller().getUnattendedFailure(), SharedString(u"The run left out the features Maps, Help"));
}

}  // namespace
}  // namespace druvex
