// The installation page's logic over a scripted run: every listener report as
// the page's sink or the UI callback sees it, the controller's result at the
// run's end (also without a sink), the download progress filter, the new
// installer's download that asks nothing; and the silent waiter: the item
// names it prints, its end on a backup report, its time-out, and that it
// sleeps instead of spinning.
#include "controller/page_installation_logic.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <sstream>
#include <thread>
#include <string>
#include <vector>

#include "controller/event_task.h"
#include "controller_fixture.h"
#include "recording_ui_callback.h"
#include "engine_doubles.h"
#include "data/install_data.h"
#include "fileutil/file_util.h"
#include "platform/manual_reset_event.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

using Lines = std::vector<std::string>;
using test::Script;

std::string text(const SharedString& value)
{
    const SharedStringA utf8 = toUtf8(value);
    return std::string(utf8.c_str(), static_cast<std::size_t>(utf8.length()));
}

// Every slot becomes a line.
class RecordingSink final : public InstallationPageSink {
public:
    void setProgressRange(std::uint64_t total) override { add("range " + std::to_string(total)); }
    void setProgressPosition(const SharedString& item, std::uint64_t position) override
    {
        add("position " + text(item) + " " + std::to_string(position));
    }
    void onRunFinished(bool ok, bool changes, bool noEndPage) override
    {
        add("finished " + std::to_string(ok) + " " + std::to_string(changes) + " " + std::to_string(noEndPage));
    }
    void onPaused() override { add("paused"); }
    void onWaitingForDownload(std::uint32_t a, std::uint32_t b) override { words("waiting", a, b); }
    void onDownloadProgress(const SharedString& item, std::uint64_t bytes) override
    {
        add("download " + text(item) + " " + std::to_string(bytes));
    }
    void onDownloadBegin(std::uint64_t total) override { add("download begins " + std::to_string(total)); }
    void onDownloadFinished(bool ok, std::uint32_t reserved) override { words("download finished", ok, reserved); }
    void onRemainingTime(std::uint32_t a, std::uint32_t b) override { words("remaining", a, b); }
    void onValidationBegin(std::uint32_t a, std::uint32_t b) override { words("validation", a, b); }
    void onStepsBegin(std::uint32_t a, std::uint32_t b) override { words("steps", a, b); }
    void onStep(std::uint32_t a, std::uint32_t b) override { words("step", a, b); }
    void onStepDone(std::uint32_t a, std::uint32_t b) override { words("step done", a, b); }
    void onStepsEnd(std::uint32_t a, std::uint32_t b) override { words("steps end", a, b); }
    void onValidationEnd(std::uint32_t a, std::uint32_t b) override { words("validated", a, b); }
    void onPhase(std::uint32_t code, std::uint32_t word) override { words("phase", code, word); }
    void onOldInstallationsRemoved(std::uint32_t a, std::uint32_t b) override { words("removed", a, b); }
    void setProgressValue(const SharedString& item, std::uint64_t value) override
    {
        add("value " + text(item) + " " + std::to_string(value));
    }
    void setBackupRange(std::uint64_t total) override { add("backup range " + std::to_string(total)); }
    void setBackupPosition(std::uint32_t a, std::uint32_t b, std::uint32_t c) override
    {
        add("backup position " + std::to_string(a) + " " + std::to_string(b) + " " + std::to_string(c));
    }
    void onBackupFinished(bool ok, std::uint32_t reserved) override { words("backup finished", ok, reserved); }

    Lines take() { return std::exchange(lines_, {}); }

private:
    void add(std::string line) { lines_.push_back(std::move(line)); }
    void words(const char* what, std::uint32_t a, std::uint32_t b)
    {
        add(std::string(what) + " " + std::to_string(a) + " " + std::to_string(b));
    }
    Lines lines_;
};

// Answers each question with its scripted value and records it.
class AnsweringUiCallback final : public test::ZeroAnswerUiCallback {
public:
    void showMessage(const SharedString& message, MessageSeverity severity, int) override
    {
        asked.push_back("message " + std::to_string(static_cast<int>(severity)) + " " + text(message));
    }

    int answer = 1;
    Lines asked;

private:
    int ask(const std::string& question) override
    {
        asked.push_back(question);
        return answer;
    }
};

class InstallationLogicTest : public test::ControllerFixture {
protected:
    void SetUp() override
    {
        ControllerFixture::SetUp();
        makeController();
        factory_ = std::make_shared<test::ScriptedFactory>(runs_);
        controller().setInstallationProcessFactory(factory_);
        callback_ = std::make_shared<AnsweringUiCallback>();
        controller().setUiCallback(callback_);
    }
    void TearDown() override
    {
        logic_.reset();
        ControllerFixture::TearDown();
    }

    PageInstallationLogic& logic()
    {
        if (!logic_)
            logic_ = std::make_unique<PageInstallationLogic>(controller());
        return *logic_;
    }
    PageInstallationLogic& logicWithSink()
    {
        logic().setSink(&sink_);
        return logic();
    }

    test::RunJournal runs_;
    std::shared_ptr<test::ScriptedFactory> factory_;
    std::shared_ptr<AnsweringUiCallback> callback_;
    RecordingSink sink_;
    std::unique_ptr<PageInstallationLogic> logic_;
};

TEST_F(InstallationLogicTest, ListenerSlotsReachTheSinkAsTheTableSays)
{
    const SharedString a(u"a");
    const struct {
        const char* slot;
        std::function<void(InstallationProcessListener&)> report;
        Lines sink;
    } rows[] = {
        {"progress range", [](auto& l) { l.onProgressRange(7); }, {"range 7"}},
        {"progress position", [&](auto& l) { l.onProgressPosition(a, 3); }, {"position a 3"}},
        {"progress end", [](auto& l) { l.onProgressEnd(); }, {}},
        {"remove old", [](auto& l) { l.onRemoveOldInstallation(1, 2); }, {"phase 7 2"}},
        {"old removed", [](auto& l) { l.onRemoveOldInstallationDone(1, 2); }, {"removed 1 2"}},
        {"progress value", [&](auto& l) { l.onProgressValue(a, 9); }, {"value a 9"}},
        {"check packages", [](auto& l) { l.onCheckPackages(1, 2); }, {"phase 11 2"}},
        {"uninstall", [](auto& l) { l.onUninstallBegin(1, 2); }, {"phase 5 2"}},
        {"clean folders", [](auto& l) { l.onCleanFolders(1, 2); }, {"phase 1 2"}},
        {"remove files", [](auto& l) { l.onRemoveFiles(1, 2); }, {"phase 4 2"}},
        {"new installer", [](auto& l) { l.onDownloadNewInstaller(1, 2); }, {"phase 2 2"}},
        {"phase 3", [](auto& l) { l.onPhase3(1, 2); }, {"phase 3 2"}},
        {"install", [](auto& l) { l.onInstallBegin(1, 2); }, {"phase 0 2", "range 5120"}},
        {"rollback", [](auto& l) { l.onRollbackBegin(1, 2); }, {"phase 10 2", "range 5120"}},
        {"validating", [](auto& l) { l.onValidating(1, 2); }, {"validation 1 2"}},
        {"validated", [](auto& l) { l.onValidatingEnd(1, 2); }, {"validated 1 2"}},
        {"download begins", [](auto& l) { l.onDownloadBegin(1000000); }, {"download begins 1000000"}},
        {"download arrived", [](auto& l) { l.onDownloadFinished(0); }, {"download finished 1 0"}},
        {"download failed", [](auto& l) { l.onDownloadFinished(3); }, {"download finished 0 0"}},
        {"bytes in KB", [&](auto& l) { l.onProgressBytes(a, 5000); }, {"position a 4"}},
        {"bytes past 4 GiB", [&](auto& l) { l.onProgressBytes(a, 0x100000400ull); }, {"position a 4194305"}},
        {"waiting", [](auto& l) { l.onWaitingForDownload(1, 2); }, {"waiting 1 2"}},
        {"backup", [](auto& l) { l.onBackupBegin(true, 1, 2); }, {"phase 8 1", "backup range 8589934593"}},
        {"restore", [](auto& l) { l.onBackupBegin(false, 1, 0); }, {"phase 9 1", "backup range 1"}},
        {"backup progress", [](auto& l) { l.onBackupProgress(1, 2, 3); }, {"backup position 1 2 3"}},
        {"steps", [](auto& l) { l.onStepsBegin(1, 2); }, {"steps 1 2"}},
        {"step", [](auto& l) { l.onStep(1, 2); }, {"step 1 2"}},
        {"step done", [](auto& l) { l.onStepDone(1, 2); }, {"step done 1 2"}},
        {"steps end", [](auto& l) { l.onStepsEnd(1, 2); }, {"steps end 1 2"}},
        {"remaining", [](auto& l) { l.onRemainingTime(1, 2); }, {"remaining 1 2"}},
    };
    PageInstallationLogic& logic = logicWithSink();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.slot);
        row.report(logic);
        EXPECT_EQ(sink_.take(), row.sink);
    }
    EXPECT_TRUE(callback_->asked.empty());
}

TEST_F(InstallationLogicTest, QuestionsGoToTheUiCallbackAndItsAnswerBack)
{
    const SharedString help(u"Help");
    const FeatureFailure failure{help, SharedString(u"the store is full"), true};
    const struct {
        const char* slot;
        std::function<int(InstallationProcessListener&)> ask;
        std::string question;
    } rows[] = {
        {"retry download", [&](auto& l) { return int(l.askRetryDownload(help, 3)); }, "retry Help"},
        {"skip download", [&](auto& l) { return int(l.askSkipDownload(help)); }, "skip download Help"},
        {"install error", [&](auto& l) { return l.askOnError(failure); }, "resume Help: the store is full"},
        {"skip feature", [&](auto& l) { return l.askSkipFailedFeature(failure); },
         "skip install Help: the store is full"},
        {"uninstall features", [](auto& l) { return l.reportUninstallFeaturesError(1, 2); }, "uninstall features"},
        {"uninstall", [](auto& l) { return l.reportUninstallError(1, 2); }, "uninstall"},
        {"device", [](auto& l) { return l.reportUninstallDeviceError(1, 2); }, "uninstall device"},
        {"rollback", [](auto& l) { return l.askRollback(1, 2); }, "rollback"},
    };
    PageInstallationLogic& logic = logicWithSink();
    for (const int answer : {0, 1}) {
        callback_->answer = answer;
        for (const auto& row : rows) {
            SCOPED_TRACE(row.slot);
            callback_->asked.clear();
            EXPECT_EQ(row.ask(logic), answer);
            EXPECT_EQ(callback_->asked, Lines{row.question});
        }
    }
    EXPECT_TRUE(sink_.take().empty());

    // The messages: the redistributable's with its last error, the registrations'.
    callback_->asked.clear();
    controller().setRedistLastError(-7);
    logic.reportRedistributableError(SharedString(u"Runtime"));
    logic.reportRegistrationError(SharedString(u"survey.ocx"), true);
    ASSERT_EQ(callback_->asked.size(), 2u);
    EXPECT_NE(callback_->asked[0].find("Runtime"), std::string::npos);
    EXPECT_NE(callback_->asked[0].find("-7"), std::string::npos);
    EXPECT_TRUE(callback_->asked[0].starts_with("message 2 ")) << callback_->asked[0];
    EXPECT_TRUE(callback_->asked[1].starts_with("message 1 ")) << callback_->asked[1];
}

TEST_F(InstallationLogicTest, TheNewInstallersDownloadAsksNothing)
{
    controller().getPageSequence().buildForMode(kModeDownload);
    PageInstallationLogic& logic = logicWithSink();
    EXPECT_FALSE(logic.askRetryDownload(SharedString(u"setup.exe"), 3));
    EXPECT_FALSE(logic.askSkipDownload(SharedString(u"setup.exe")));
    logic.onDownloadFinished(0);
    EXPECT_TRUE(callback_->asked.empty());
    EXPECT_TRUE(sink_.take().empty());
}

// The run's end sets the controller's result, registered sink or not; only
// the sink call depends on the sink.
TEST_F(InstallationLogicTest, TheRunsEndSetsTheResultWithOrWithoutASink)
{
    const struct {
        const char* name;
        InstallResult before;
        bool changes;
        std::function<void(InstallationProcessListener&)> end;
        InstallResult after;
        std::string sink;
    } rows[] = {
        {"success with changes", kResultCompleted, true, [](auto& l) { l.onSucceeded(); }, kResultCompleted,
         "finished 1 1 0"},
        {"success without", kResultCompleted, false, [](auto& l) { l.onSucceeded(); }, kResultCompletedUnchanged,
         "finished 1 0 0"},
        {"failure", kResultCompleted, true, [](auto& l) { l.onFailed(); }, kResultFailed, "finished 0 0 0"},
        {"failure after a cancel", kResultCanceled, true, [](auto& l) { l.onFailed(); }, kResultCanceled,
         "finished 0 0 0"},
        {"failure after a rollback", kResultRolledBack, true, [](auto& l) { l.onFailed(); }, kResultRolledBack,
         "finished 0 0 0"},
        {"backup done", kResultFailed, false, [](auto& l) { l.onBackupFinished(0); }, kResultCompleted,
         "backup finished 1 0"},
        {"backup canceled", kResultCompleted, false, [](auto& l) { l.onBackupFinished(5); }, kResultCanceled,
         "backup finished 0 0"},
        {"backup failed", kResultCompleted, false, [](auto& l) { l.onBackupFinished(7); }, kResultFailed,
         "backup finished 0 0"},
    };
    for (const bool withSink : {true, false}) {
        for (const auto& row : rows) {
            SCOPED_TRACE(std::string(row.name) + (withSink ? " with a sink" : " without a sink"));
            controller().setResult(row.before);
            controller().setHasMadeChanges(row.changes);
            logic().setSink(withSink ? &sink_ : nullptr);
            row.end(logic());
            EXPECT_EQ(controller().getResult(), row.after);
            EXPECT_EQ(sink_.take(), withSink ? Lines{row.sink} : Lines{});
        }
    }
}

TEST_F(InstallationLogicTest, ConfigurationRunsSucceedAtOnceAndNoEndPageFollowsTheOptions)
{
    options_.configMode = kConfigModeMake;
    makeController();
    controller().setInstallationProcessFactory(factory_);
    controller().setResult(kResultFailed);
    logicWithSink().startProcess();
    EXPECT_TRUE(runs_.calls.empty());
    EXPECT_EQ(sink_.take(), Lines{"finished 1 0 0"});
    EXPECT_EQ(controller().getResult(), kResultFailed);
    logic_.reset();

    options_.configMode = kConfigModeUse;
    makeController();
    controller().setInstallationProcessFactory(factory_);
    logicWithSink().onFailed();
    EXPECT_EQ(sink_.take(), Lines{"finished 0 0 1"});
    logic_.reset();

    options_.configMode = kConfigModeNone;
    options_.noWelcome = true;
    makeController();
    controller().setInstallationProcessFactory(factory_);
    logicWithSink().onSucceeded();
    EXPECT_EQ(sink_.take(), Lines{"finished 1 0 1"});
}

TEST_F(InstallationLogicTest, DownloadProgressPassesOnlyWhenItLeavesItsWindow)
{
    PageInstallationLogic& logic = logicWithSink();
    const SharedString item(u"Help");
    const SharedString other(u"Data");
    logic.onDownloadBegin(1000000);
    sink_.take();
    logic.onDownloadProgress(item, 5000);
    for (const std::uint64_t position : {5000u, 5500u, 6000u})
        logic.onDownloadProgress(item, position);
    logic.onDownloadProgress(item, 6001);
    logic.onDownloadProgress(item, 4999);
    logic.onDownloadProgress(other, 5000);
    EXPECT_EQ(sink_.take(), (Lines{"download Help 5000", "download Help 6001", "download Help 4999",
                                   "download Data 5000"}));

    // Below 1,000 bytes the window is empty: every move passes.
    logic.onDownloadBegin(999);
    sink_.take();
    logic.onDownloadProgress(item, 1);
    logic.onDownloadProgress(item, 1);
    logic.onDownloadProgress(item, 2);
    EXPECT_EQ(sink_.take(), (Lines{"download Help 1", "download Help 2"}));
}

TEST_F(InstallationLogicTest, ThePageDrivesTheRunAndReadsItsBanners)
{
    auto banner = std::make_shared<BannerElement>();
    banner->baseName = u"Survey";
    banner->link = u"https://example.invalid/survey";
    banner->setScreenAvailable(1, true);
    controller().getInstallData().addBanner(banner);
    controller().getInstallData().setBannerInterval(8000);

    PageInstallationLogic& logic = logicWithSink();
    logic.startProcess();
    logic.pause();
    logic.resume();
    logic.abort();
    EXPECT_EQ(runs_.calls, (Lines{"start", "pause", "resume", "cancel"}));
    EXPECT_EQ(sink_.take(), Lines{"paused"});
    EXPECT_TRUE(logic.hasPackages());
    EXPECT_FALSE(logic.hasRedistributables());
    EXPECT_FALSE(logic.onBack());
    EXPECT_TRUE(logic.onNext());

    EXPECT_EQ(logic.getBannerCount(), 1u);
    EXPECT_EQ(logic.getBannerInterval(), 8000u);
    SharedString link;
    EXPECT_EQ(logic.getBanner(0, 1, link), joinPath(controller().getWorkFolder(), SharedString(u"Survey_qvga.jpeg")));
    EXPECT_EQ(link, banner->link);
    EXPECT_TRUE(logic.getBanner(0, 2, link).isEmpty());
    EXPECT_TRUE(link.isEmpty());
    EXPECT_TRUE(logic.getBanner(1, 1, link).isEmpty());
    logic_.reset();

    options_.createBackup = true;
    makeController();
    controller().setInstallationProcessFactory(factory_);
    controller().getInstallData().addBanner(banner);
    logic_.reset();
    EXPECT_EQ(PageInstallationLogic(controller()).getBannerCount(), 0u);
}

TEST_F(InstallationLogicTest, WithoutTheEngineThePageCannotBeMade)
{
    controller().setInstallationProcessFactory(nullptr);
    EXPECT_THROW(std::make_unique<PageInstallationLogic>(controller()), std::logic_error);
}

// --- The silent waiter -------------------------------------------------------------

// Counts the waits and lets the test decide how a timed wait ends.
class CountingEvent final : public CompletionEvent {
public:
    CountingEvent(std::shared_ptr<std::atomic<int>> waits, std::shared_ptr<std::vector<std::uint32_t>> limits,
                  bool limitedWaitsTimeOut)
        : inner_(makeCompletionEvent()), waits_(std::move(waits)), limits_(std::move(limits)),
          limitedWaitsTimeOut_(limitedWaitsTimeOut)
    {
    }
    void set() override { inner_->set(); }
    void reset() override { inner_->reset(); }
    bool wait(std::uint32_t timeoutMs) override
    {
        limits_->push_back(timeoutMs);
        ++*waits_;
        if (timeoutMs != kInfiniteWait && limitedWaitsTimeOut_)
            return inner_->wait(0);
        return inner_->wait(timeoutMs);
    }

private:
    std::unique_ptr<CompletionEvent> inner_;
    std::shared_ptr<std::atomic<int>> waits_;
    std::shared_ptr<std::vector<std::uint32_t>> limits_;
    bool limitedWaitsTimeOut_;
};

class EventTaskTest : public InstallationLogicTest {
protected:
    // The silent run of the script; what it printed in `printed`.
    bool runSilently(Script script, bool threaded = false, bool limitedWaitsTimeOut = false)
    {
        factory_->script = std::move(script);
        factory_->threaded = threaded;
        logic().setStatusOutput(&out_);
        logic().setCompletionEvent(std::make_unique<CountingEvent>(waits_, limits_, limitedWaitsTimeOut));
        return logic().runUnattended();
    }
    std::string printed() const { return out_.str(); }

    std::ostringstream out_;
    std::shared_ptr<std::atomic<int>> waits_ = std::make_shared<std::atomic<int>>(0);
    std::shared_ptr<std::vector<std::uint32_t>> limits_ = std::make_shared<std::vector<std::uint32_t>>();
};

TEST_F(EventTaskTest, PrintsEachNewItemOnItsOwnLine)
{
    const bool ok = runSilently([](InstallationProcessListener& l) {
        l.onProgressPosition(SharedString(u"a"), 1);
        l.onProgressPosition(SharedString(u"a"), 2);
        l.onProgressPosition(SharedString(u"b"), 3);
        l.onProgressRange(10);
        l.onProgressPosition(SharedString(u"b"), 4);
        l.onSucceeded();
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(printed(), "a\nb\nb\n");
    // The end came while the run was being started: no wait at all.
    EXPECT_EQ(waits_->load(), 0);
}

TEST_F(EventTaskTest, AFailedOrSilentRunEndsTheWaitWithFalse)
{
    EXPECT_FALSE(runSilently([](InstallationProcessListener& l) { l.onFailed(); }));
    EXPECT_EQ(controller().getResult(), kResultFailed);
    logic_.reset();

    // Nothing reported within the limit: the run counts as failed.
    controller().setResult(kResultCompleted);
    EXPECT_FALSE(runSilently(nullptr, false, true));
    EXPECT_EQ(*limits_, std::vector<std::uint32_t>{kSilentRunTimeoutMs});
}

TEST_F(EventTaskTest, AConfigurationRunEndsAtOnce)
{
    options_.configMode = kConfigModeMake;
    makeController();
    controller().setInstallationProcessFactory(factory_);
    EXPECT_TRUE(runSilently(nullptr));
    EXPECT_EQ(waits_->load(), 0);
    EXPECT_TRUE(runs_.calls.empty());
}

TEST_F(EventTaskTest, ABackupOrRestoreEndEndsTheWait)
{
    EXPECT_TRUE(runSilently([](InstallationProcessListener& l) {
        l.onBackupBegin(true, 10, 0);
        l.onBackupFinished(0);
    }));
    logic_.reset();
    EXPECT_FALSE(runSilently([](InstallationProcessListener& l) { l.onBackupFinished(1); }));
    EXPECT_EQ(controller().getResult(), kResultFailed);
}

class EventTaskThreads : public EventTaskTest {};

// A run on its own thread reports a thousand positions, once the waiter
// sleeps, before it ends: the waiter sleeps through them, waking once for
// the first report (its limit no longer holds then) and once for the end.
TEST_F(EventTaskThreads, TheWaiterSleepsUntilSomethingChanges)
{
    const auto waits = waits_;
    const bool ok = runSilently(
        [waits](InstallationProcessListener& l) {
            while (waits->load() == 0)
                std::this_thread::yield();
            for (int i = 0; i < 1000; ++i) {
                l.onProgressPosition(SharedString().format(u"item%d", i / 10), static_cast<std::uint64_t>(i));
                std::this_thread::yield();
            }
            l.onSucceeded();
        },
        true);
    EXPECT_TRUE(ok);
    EXPECT_GE(waits_->load(), 1);
    EXPECT_LE(waits_->load(), 3);
    ASSERT_FALSE(limits_->empty());
    EXPECT_EQ(limits_->front(), kSilentRunTimeoutMs);
    for (std::size_t i = 1; i < limits_->size(); ++i)
        EXPECT_EQ((*limits_)[i], kInfiniteWait);
    std::string expected;
    for (int i = 0; i < 100; ++i)
        expected += "item" + std::to_string(i) + "\n";
    EXPECT_EQ(printed(), expected);
}

// A backup reports only how far it has got: that lifts the limit too, so a
// long backup is not taken for one that never started. Its end comes from
// another thread once the waiter sleeps again; a waiter that kept the limit
// would give up at its first wait.
TEST_F(EventTaskThreads, ABackupsProgressLetsItTakeAsLongAsItNeeds)
{
    std::atomic<bool> returned{false};
    std::thread finisher;
    const auto waits = waits_;
    const bool ok = runSilently(
        [&](InstallationProcessListener& l) {
            l.onBackupBegin(true, 10, 0);
            l.onBackupProgress(5, 0, 50);
            finisher = std::thread([&l, &returned, waits] {
                while (waits->load() < 2 && !returned.load())
                    std::this_thread::yield();
                l.onBackupFinished(0);
            });
        },
        false, true);
    returned.store(true);
    finisher.join();
    EXPECT_TRUE(ok);
    ASSERT_FALSE(limits_->empty());
    EXPECT_EQ(*limits_, std::vector<std::uint32_t>(limits_->size(), kInfiniteWait));
}

TEST_F(EventTaskThreads, AFailureOnTheRunsThreadIsNeverSuccess)
{
    EXPECT_FALSE(runSilently(
        [](InstallationProcessListener& l) {
            l.onProgressPosition(SharedString(u"a"), 1);
            l.onFailed();
        },
        true));
    EXPECT_EQ(controller().getResult(), kResultFailed);
}

}  // namespace
}  // namespace druvex
