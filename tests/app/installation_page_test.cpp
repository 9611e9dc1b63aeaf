// The installation page on a scripted terminal over a run that reports from a
// thread of its own: a flood of reports reaches the UI thread as one update
// showing the latest of them; Cancel pauses the run and asks, and leaving
// cancels it, after which the run's rollback question is shown by the UI
// thread while the run waits for the answer; staying resumes the run.
#include "app/page_installation_dlg.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <latch>
#include <mutex>
#include <string>
#include <vector>

#include "../controller/controller_fixture.h"
#include "../ui/scripted_terminal.h"
#include "controller/installation_run.h"
#include "controller/page_installation_logic.h"
#include "core/thread_utils.h"
#include "ui/installer_ui_prompts.h"

namespace druvex {
namespace {

using test::ch;
using test::key;

// What the run was told, and a wait for its cancel.
struct RunControl {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> calls;
    bool canceled = false;

    void add(const std::string& call)
    {
        std::lock_guard lock(mutex);
        calls.push_back(call);
        if (call == "cancel")
            canceled = true;
        changed.notify_all();
    }
    void waitForCancel()
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [this] { return canceled; });
    }
    std::vector<std::string> taken()
    {
        std::lock_guard lock(mutex);
        return calls;
    }
};

using Script = std::function<void(InstallationProcessListener&)>;

// A run that plays its script on a thread of its own, as the engine's does.
class ThreadedRun final : public InstallationRun {
public:
    ThreadedRun(InstallationProcessListener* listener, Script script, RunControl& control)
        : listener_(listener), script_(std::move(script)), control_(control)
    {
    }
    ~ThreadedRun() override
    {
        if (worker_.joinable())
            worker_.join();
    }
    void start() override
    {
        control_.add("start");
        WorkerThread worker([this] { script_(*listener_); });
        worker_ = std::move(worker);
    }
    void pause() override { control_.add("pause"); }
    void resume() override { control_.add("resume"); }
    void cancel() override { control_.add("cancel"); }
    std::int32_t getRunState() const override { return kRunStateRunning; }
    bool hasPendingPackages() const override { return true; }
    std::uint64_t getTotalBytes() const override { return 10000; }
    SharedString getFailedFeatureName() const override { return SharedString(); }
    bool removeOldInstallations() override { return true; }

private:
    InstallationProcessListener* listener_;
    Script script_;
    RunControl& control_;
    WorkerThread worker_;
};

class ThreadedRunFactory final : public InstallationProcessFactory {
public:
    ThreadedRunFactory(Script script, RunControl& control) : script_(std::move(script)), control_(control) {}
    std::unique_ptr<InstallationRun> makeProcess(RunController&, PayloadArchive&,
                                                 InstallationProcessListener* listener) override
    {
        return std::make_unique<ThreadedRun>(listener, script_, control_);
    }

private:
    Script script_;
    RunControl& control_;
};

class InstallationPageThreads : public test::ControllerFixture {
protected:
    void TearDown() override
    {
        page_.reset();
        logic_.reset();
        if (controller_)
            controller_->setUiCallback(nullptr);
        prompts_.reset();
        ControllerFixture::TearDown();
    }

    // The page over a logic whose run plays `script`, the prompts on the
    // scripted terminal as the controller's questions.
    PageInstallationDlg& makePage(Script script)
    {
        makeController();
        controller().setInstallationProcessFactory(std::make_shared<ThreadedRunFactory>(std::move(script), control_));
        prompts_ = std::make_shared<InstallerUiPrompts>(terminal_.session, &controller());
        controller().setUiCallback(prompts_);
        logic_ = std::make_unique<PageInstallationLogic>(controller());
        page_ = std::make_unique<PageInstallationDlg>(terminal_.session, controller(), *logic_);
        return *page_;
    }
    // Ends the page as the wizard does: its logic stops reporting first.
    int runPage()
    {
        const int command = page_->doModal();
        page_->leaveLogic();
        return command;
    }

    test::ScriptedSession terminal_;
    RunControl control_;
    std::shared_ptr<InstallerUiPrompts> prompts_;
    std::unique_ptr<PageInstallationLogic> logic_;
    std::unique_ptr<PageInstallationDlg> page_;
};

TEST_F(InstallationPageThreads, AFloodOfReportsReachesTheScreenAsOneUpdateWithTheLatestState)
{
    constexpr int kReports = 5000;
    std::latch reported(1);
    std::string shownMidway;
    makePage([&](InstallationProcessListener& listener) {
        listener.onProgressRange(kReports);
        for (int i = 1; i <= kReports; ++i)
            listener.onProgressPosition(SharedString().format(u"item-%d", i), static_cast<std::uint64_t>(i));
        reported.count_down();
        // What the screen shows once the UI thread has caught up.
        terminal_.session.dispatcher().invoke([&] {
            terminal_.session.redraw();
            shownMidway = terminal_.script->screen;
        });
        listener.onSucceeded();
    });
    // The UI thread is held until every report is in: none of them may wait
    // for it, and all but the first find an update already on its way.
    terminal_.session.dispatcher().post([&] { reported.wait(); });

    EXPECT_EQ(runPage(), kPageCommandNext);
    EXPECT_EQ(page_->postedUpdates(), 2u);  // the reports, then the run's end
    EXPECT_NE(shownMidway.find("item-5000"), std::string::npos) << shownMidway;
    EXPECT_NE(shownMidway.find("100%"), std::string::npos) << shownMidway;
    EXPECT_EQ(shownMidway.find("item-4999"), std::string::npos) << shownMidway;
    // The scripted run changed nothing on the device.
    EXPECT_EQ(controller().getResult(), kResultCompletedUnchanged);
}

TEST_F(InstallationPageThreads, LeavingCancelsTheRunWhoseRollbackQuestionTheUiThreadShows)
{
    int rollbackAnswer = -1;
    std::string shownRollingBack;
    makePage([&](InstallationProcessListener& listener) {
        listener.onProgressRange(100);
        listener.onProgressPosition(SharedString(u"first.txt"), 10);
        control_.waitForCancel();
        // The run asks from its own thread and waits for the answer.
        rollbackAnswer = listener.askRollback(0, 0);
        // The phase reported from the run's thread reaches the screen in
        // order with the other reports, drawn by the UI thread.
        listener.onRollbackBegin(0, 0);
        terminal_.session.dispatcher().invoke([&] {
            terminal_.session.redraw();
            shownRollingBack = terminal_.script->screen;
        });
        controller().setResult(kResultRolledBack);
        listener.onFailed();
    });
    terminal_.keysWhen("first.txt", {key(KeyCode::Escape)});
    terminal_.keysWhen("Are you sure you want to exit", {ch(U'y')});
    terminal_.keysWhen("roll back", {ch(U'y')});

    EXPECT_EQ(runPage(), kPageCommandNext);
    EXPECT_EQ(rollbackAnswer, 1);
    EXPECT_NE(terminal_.script->screenAtLastKey.find("Do you want to roll back"), std::string::npos)
        << terminal_.script->screenAtLastKey;
    // The page behind the question says the run is being canceled.
    EXPECT_NE(terminal_.script->screenAtLastKey.find("Canceling..."), std::string::npos)
        << terminal_.script->screenAtLastKey;
    EXPECT_NE(shownRollingBack.find("Rolling back..."), std::string::npos) << shownRollingBack;
    EXPECT_EQ(control_.taken(), (std::vector<std::string>{"start", "pause", "cancel"}));
    EXPECT_EQ(controller().getResult(), kResultRolledBack);
}

TEST_F(InstallationPageThreads, StayingResumesTheRunAndShowsItsPhaseAgain)
{
    std::string shownAfter;
    makePage([&](InstallationProcessListener& listener) {
        listener.onProgressRange(100);
        listener.onProgressPosition(SharedString(u"first.txt"), 10);
        // Waits for the resume the answer gives, then ends.
        {
            std::unique_lock lock(control_.mutex);
            control_.changed.wait(lock, [this] { return !control_.calls.empty() && control_.calls.back() == "resume"; });
        }
        listener.onProgressPosition(SharedString(u"second.txt"), 100);
        terminal_.session.dispatcher().invoke([&] {
            terminal_.session.redraw();
            shownAfter = terminal_.script->screen;
        });
        listener.onSucceeded();
    });
    terminal_.keysWhen("first.txt", {key(KeyCode::Escape)});
    terminal_.keysWhen("Are you sure you want to exit", {ch(U'n')});

    EXPECT_EQ(runPage(), kPageCommandNext);
    EXPECT_EQ(control_.taken(), (std::vector<std::string>{"start", "pause", "resume"}));
    EXPECT_NE(shownAfter.find("Installing..."), std::string::npos) << shownAfter;
    EXPECT_NE(shownAfter.find("second.txt"), std::string::npos) << shownAfter;
    EXPECT_EQ(shownAfter.find("Paused."), std::string::npos) << shownAfter;
    EXPECT_EQ(controller().getResult(), kResultCompletedUnchanged);
}

}  // namespace
}  // namespace druvex
