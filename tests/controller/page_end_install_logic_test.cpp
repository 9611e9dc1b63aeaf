// The end page logic: the Active Setup components of pending registrations
// with their exact keys and values, the launch offer per mode, result and
// device, the last step's restart and reboot question, the "POST-ENTER" and
// offered "POST-EXIT" actions, and the "POST-EXIT" thread, whose report a
// page that goes waits for.
#include "controller/page_end_install_logic.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <tuple>
#include <vector>

#include "controller/page_logic_fixture.h"
#include "data/install_data.h"
#include "data/installed_log.h"
#include "hal/hal_access.h"
#include "support/held_report.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

constexpr char16_t kComponents[] = u"Software\\Microsoft\\Active Setup\\Installed Components\\";

class EndPage : public test::PageLogicFixture {
protected:
    InstallerController& makeEndProduct(WizardMode mode = kModeInstall)
    {
        InstallerController& controller = makePageProduct(mode);
        controller.getBuildConfiguration().setInstallerPlatform(kInstallerPlatformController);
        return controller;
    }
    PageEndInstallLogic makeLogic() { return PageEndInstallLogic(controller(), controller().getHalIn()); }

    SharedString readText(const SharedString& key, const char16_t* name)
    {
        SharedString value;
        if (!host().readRegistryStringValue(kRegistryLocalMachine, key, kRegistryViewDefault, SharedString(name),
                                            value))
            return SharedString(u"<none>");
        return value;
    }
};

TEST_F(EndPage, PendingRegistrationsGoToActiveSetupWhenARebootIsDue)
{
    makeEndProduct();
    setSetting(InstallerSettingKey::ProgramVersion, u"1.2.3");
    controller().getInstalledLog()->addPendingRegistration(SharedString(u"\\Windows\\survey.dll"));
    PageEndInstallLogic logic = makeLogic();
    const SharedString first = SharedString(kComponents) + test::kProductUuid;
    const SharedString second = SharedString(kComponents) + u">" + test::kProductUuid;

    // Without a reboot the registrations complete by themselves.
    EXPECT_TRUE(logic.runUnattended());
    EXPECT_EQ(readText(first, u""), u"<none>");

    controller().setRebootRequired(true);
    EXPECT_TRUE(logic.runUnattended());
    // Quoted: the folder's blank would otherwise cut the program's path.
    const SharedString setup =
        SharedString(u"\"\\Application Data\\Installer\\") + test::kProductUuid + u"\\setup.exe\"";
    EXPECT_EQ(readText(first, u""), u"Survey Pro - Component registrations");
    EXPECT_EQ(readText(first, u"StubPath"), setup + u" finalize_registrations");
    EXPECT_EQ(readText(first, u"Version"), u"1,2,3");
    EXPECT_EQ(readText(second, u""), u"Survey Pro - Validation");
    EXPECT_EQ(readText(second, u"StubPath"), setup + u" validate_registrations");
    EXPECT_EQ(readText(second, u"Version"), u"1,2,3");
    for (const SharedString& key : {first, second}) {
        std::uint32_t installed = 0;
        EXPECT_TRUE(host().readRegistryDwordValue(kRegistryLocalMachine, key, kRegistryViewDefault,
                                                  SharedString(u"IsInstalled"), installed));
        EXPECT_EQ(installed, 1u);
    }
}

TEST_F(EndPage, ASilentRunWhoseRestoreFailedDoesNotEndAsDone)
{
    makeEndProduct();
    PageEndInstallLogic logic = makeLogic();
    EXPECT_TRUE(logic.runUnattended());
    controller().setRestoreDone();
    EXPECT_TRUE(logic.runUnattended());
    controller().setRestoreFailed();
    EXPECT_FALSE(logic.runUnattended());
}

TEST_F(EndPage, TheLaunchOfferPerModeResultAndDevice)
{
    const std::tuple<WizardMode, InstallResult, bool> rows[] = {
        {kModeInstall, kResultCompleted, true},      {kModeMaintenance, kResultCompletedUnchanged, true},
        {kModeInstall, kResultFailed, false},        {kModeBackup, kResultFailed, true},
        {kModeUninstall, kResultCompleted, false},   {kModeRepair, kResultCompleted, false},
    };
    for (const auto& [mode, result, offered] : rows) {
        SCOPED_TRACE(testing::Message() << mode << " " << result);
        makeEndProduct(mode);
        setSetting(InstallerSettingKey::LaunchApp, u"survey.exe");
        controller().setDestinationFolder(SharedString(u"\\Program Files\\Survey Pro"));
        device().writeFile("Program Files/Survey Pro/survey.exe", "x");
        controller().setResult(result);
        PageEndInstallLogic logic = makeLogic();
        SharedString text;
        EXPECT_EQ(logic.getLaunchText(text), offered);
        EXPECT_EQ(text, offered ? u"Survey Pro" : u"");
    }

    // A reboot due, a total station, no program: no offer.
    makeEndProduct();
    setSetting(InstallerSettingKey::LaunchApp, u"survey.exe");
    controller().setDestinationFolder(SharedString(u"\\Program Files\\Survey Pro"));
    PageEndInstallLogic logic = makeLogic();
    SharedString text;
    ASSERT_TRUE(logic.getLaunchText(text));
    controller().setRebootRequired(true);
    EXPECT_FALSE(logic.getLaunchText(text));
    controller().setRebootRequired(false);
    source_->deviceType = DeviceType::TS_QM40;
    EXPECT_FALSE(logic.getLaunchText(text));
    source_->deviceType = DeviceType::KT_31;
    setSetting(InstallerSettingKey::LaunchApp, u"<None>");
    EXPECT_FALSE(logic.getLaunchText(text));
}

TEST_F(EndPage, TheLastStepRestartsATotalStationAndAsksForADueReboot)
{
    makeEndProduct();
    controller().setRebootRequired(true);
    {
        PageEndInstallLogic logic = makeLogic();
        bool rebootAsked = false;
        ui_->rebootAnswer = 1;
        EXPECT_TRUE(logic.finish(true, rebootAsked));
        EXPECT_TRUE(rebootAsked);
        EXPECT_EQ(ui_->rebootAsked, 1);
        ui_->rebootAnswer = 0;
        EXPECT_FALSE(logic.finish(false, rebootAsked));
        EXPECT_FALSE(rebootAsked);
        EXPECT_EQ(shownTexts(), std::vector<std::u16string>{u"Error executing post installation routines."});

    }

    // A total station restarts without a question, whatever the result.
    source_->deviceType = DeviceType::TS_ONBOARD;
    PageEndInstallLogic station = makeLogic();
    bool rebootAsked = false;
    EXPECT_TRUE(station.finish(true, rebootAsked));
    EXPECT_TRUE(rebootAsked);
    EXPECT_EQ(ui_->rebootAsked, 2);

    // "no_welcome" never asks.
    source_->deviceType = DeviceType::KT_31;
    options_.noWelcome = true;
    makeEndProduct();
    controller().setRebootRequired(true);
    PageEndInstallLogic quiet = makeLogic();
    EXPECT_FALSE(quiet.needsReboot());
    EXPECT_FALSE(quiet.finish(true, rebootAsked));
    EXPECT_EQ(ui_->rebootAsked, 0);
}

TEST_F(EndPage, PostEnterRunsAndTheFirstOfferedPostExitActionIsShown)
{
    makeEndProduct();
    const auto action = [](const char16_t* name, std::int32_t mode) {
        auto made = std::make_shared<CustomAction>();
        made->setName(SharedString(name));
        made->postInstallMode = mode;
        made->postInstallText = SharedString(name) + u" text";
        return made;
    };
    PageEndInstallLogic logic = makeLogic();
    EXPECT_EQ(hooks_->hooks(), std::vector<std::string>{"POST-ENTER"});
    SharedString name;
    SharedString text;
    bool checked = true;
    EXPECT_FALSE(logic.getPostExitAction(name, text, checked));
    hooks_->actions = {action(u"Quiet", kActionDontShow), action(u"Manual", kActionShowUnchecked),
                       action(u"Readme", kActionShowChecked)};
    EXPECT_TRUE(logic.getPostExitAction(name, text, checked));
    EXPECT_EQ(name + u"|" + text, u"Manual|Manual text");
    EXPECT_FALSE(checked);
}

class RecordingEndSink final : public EndPageSink {
public:
    void onPostExitStarted() override
    {
        std::lock_guard lock(mutex_);
        events_.push_back("started");
    }
    void onPostExitFinished(bool result) override
    {
        std::lock_guard lock(mutex_);
        events_.push_back(result ? "finished 1" : "finished 0");
        changed_.notify_all();
    }
    std::vector<std::string> waitForFinished(int count)
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] {
            return std::count_if(events_.begin(), events_.end(), [](const std::string& e) { return e != "started"; }) >=
                   count;
        });
        return events_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> events_;
};

using EndPageThreads = EndPage;

TEST_F(EndPageThreads, PostExitRunsOnItsOwnThreadOneRunAfterTheOther)
{
    makeEndProduct();
    RecordingEndSink sink;
    const HookArguments first{{SharedString(u"Manual"), SharedString(u"1")}};
    const HookArguments second{{SharedString(u"Readme"), SharedString(u"1")}};
    {
        PageEndInstallLogic logic = makeLogic();
        logic.setSink(&sink);
        EXPECT_FALSE(logic.isPostExitHookRunning());
        hooks_->holdBack();
        logic.startPostExitThread(first);
        EXPECT_TRUE(logic.isPostExitHookRunning());
        // The second run waits for the first, which still reads its arguments.
        std::thread again([&] { logic.startPostExitThread(second); });
        hooks_->release();
        again.join();
        EXPECT_EQ(sink.waitForFinished(2), (std::vector<std::string>{"started", "finished 1", "started", "finished 1"}));
        hooks_->answer = false;
        logic.startPostExitThread(first);
    }
    // Taking the logic apart waited for the third run.
    EXPECT_EQ(sink.waitForFinished(3).back(), "finished 0");
    EXPECT_EQ(hooks_->argumentsSeen(), (std::vector<HookArguments>{first, second, first}));
    EXPECT_EQ(hooks_->hooks(), (std::vector<std::string>{"POST-ENTER", "POST-EXIT", "POST-EXIT", "POST-EXIT"}));
}

// A page that holds the end of the "POST-EXIT" actions; it keeps the result,
// as a page does.
class HeldEndSink final : public EndPageSink {
public:
    explicit HeldEndSink(test::HeldReport& held) : held_(held) {}
    void onPostExitStarted() override {}
    void onPostExitFinished(bool result) override
    {
        held_.hold();
        result_ = result;
    }

private:
    test::HeldReport& held_;
    bool result_ = false;
};

// The wizard takes the end page down while the "POST-EXIT" thread may be
// reporting to it: clearing the sink waits for that report.
TEST_F(EndPageThreads, ClearingTheSinkWaitsForAReportUnderWay)
{
    makeEndProduct();
    PageEndInstallLogic logic = makeLogic();
    test::HeldReport held;
    auto page = std::make_unique<HeldEndSink>(held);
    logic.setSink(page.get());
    logic.startPostExitThread({});
    ASSERT_TRUE(held.waitHeld());
    held.tearDown([&] {
        logic.setSink(nullptr);
        page.reset();
    });
    EXPECT_EQ(held.events(), (std::vector<std::string>{"held", "teardown", "left", "gone"}));
}

}  // namespace
}  // namespace druvex
