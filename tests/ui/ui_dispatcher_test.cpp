// Questions from worker threads: the UI thread shows them while the asking
// thread waits, and once the UI has ended nobody waits. Run under
// ThreadSanitizer.
#include "ui/ui_dispatcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "core/thread_utils.h"
#include "hal/hal_access.h"
#include "ui/choice_dialog.h"
#include "ui/installer_ui_prompts.h"
#include "ui/page_frame.h"
#include "scripted_terminal.h"

namespace druvex {
namespace {

using test::ch;
using test::key;
using test::ScriptedSession;

// Serves the dispatcher on this (the UI) thread until `done`.
void serveUntil(UiDispatcher& dispatcher, const std::atomic<bool>& done)
{
    while (!done.load()) {
        pollfd wake{dispatcher.wakeHandle(), POLLIN, 0};
        ::poll(&wake, 1, -1);
        dispatcher.serve();
    }
}

TEST(UiDispatcherThreads, InvokeRunsOnTheUiThreadInOrderWhileTheCallerWaits)
{
    UiDispatcher dispatcher;
    const std::thread::id uiThread = std::this_thread::get_id();
    std::vector<int> order;  // touched only on the UI thread
    std::atomic<bool> done{false};
    std::thread worker([&] {
        EXPECT_TRUE(dispatcher.post([&] { order.push_back(1); }));
        int answer = 0;
        EXPECT_TRUE(dispatcher.invoke([&] {
            EXPECT_EQ(std::this_thread::get_id(), uiThread);
            order.push_back(2);
            answer = 42;
        }));
        // The task ran before invoke came back.
        EXPECT_EQ(answer, 42);
        dispatcher.post([&] { done.store(true); });
    });
    serveUntil(dispatcher, done);
    worker.join();
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    // On the UI thread itself the task runs at once.
    bool ran = false;
    EXPECT_TRUE(dispatcher.invoke([&] { ran = true; }));
    EXPECT_TRUE(ran);
}

TEST(UiDispatcherThreads, ClosingReleasesWaitingCallersAndRefusesLaterOnes)
{
    UiDispatcher dispatcher;
    std::atomic<bool> ran{false};
    std::atomic<int> result{-1};
    std::thread worker([&] { result.store(dispatcher.invoke([&] { ran.store(true); }) ? 1 : 0); });
    // Wait until the question is queued, then end the UI without serving it.
    pollfd wake{dispatcher.wakeHandle(), POLLIN, 0};
    ::poll(&wake, 1, -1);
    dispatcher.close();
    worker.join();
    EXPECT_EQ(result.load(), 0);
    EXPECT_FALSE(ran.load());
    EXPECT_FALSE(dispatcher.post([] {}));
    EXPECT_FALSE(dispatcher.invoke([] {}));
    EXPECT_EQ(dispatcher.serve(), 0);
}

// A page that a worker reports to and asks through, as the installation page.
class WorkPage final : public PageFrame {
public:
    explicit WorkPage(TerminalSession& session) : PageFrame(session, SharedString(u"Installing"))
    {
        bar = &addContent<ProgressBar>(false, 0);
    }
    ProgressBar* bar;
};

TEST(UiDispatcherThreads, APromptFromAWorkerIsAnsweredOnTheUiThread)
{
    ScriptedSession ui;
    InstallerUiPrompts prompts(ui.session, nullptr);
    WorkPage page(ui.session);
    // The keys answer the question; the page ends when the worker posts so.
    ui.keysWhen("[ Rename ]", {ch(U'r')});
    FileExistsAnswer answer = kFileExistsSkip;
    bool applyToAll = true;
    WorkerThread worker([&] {
        page.postMessage([&] { page.bar->setItemName(SharedString(u"orv.ini")); });
        answer = prompts.askFileExists(SharedString(u"orv.ini"), applyToAll);
        page.postMessage([&] { page.endDialog(7); });
    });
    EXPECT_EQ(page.doModal(), 7);
    worker.join();
    EXPECT_EQ(answer, kFileExistsRename);
    EXPECT_FALSE(applyToAll);
    // The page behind showed the worker's report while the question waited.
    EXPECT_NE(ui.script->screenAtLastKey.find("orv.ini"), std::string::npos);
    EXPECT_NE(ui.script->screenAtLastKey.find("[ Rename ]"), std::string::npos);
}

TEST(UiDispatcherThreads, AfterTheSessionEndsWorkersGetTheLogOnlyAnswersAtOnce)
{
    auto ui = std::make_unique<ScriptedSession>();
    InstallerUiPrompts prompts(ui->session, nullptr);
    TerminalMessageBoxPresenter presenter(ui->session);
    ui.reset();
    EXPECT_FALSE(presenter.canAsk());
    std::thread worker([&] {
        bool applyToAll = false;
        EXPECT_EQ(prompts.askFileExists(SharedString(u"a"), applyToAll), kFileExistsSkip);
        EXPECT_TRUE(applyToAll);
        EXPECT_EQ(prompts.showLockedFiles({}, 0), kLockedFilesIgnore);
        EXPECT_EQ(prompts.askRollback(), 1);
        EXPECT_EQ(presenter.ask(MessageBoxRequest{0, SharedString(u"?"), SharedString(), kMbYesNo | kMbDefaultButton2}),
                  kIdNo);
    });
    worker.join();
}

}  // namespace
}  // namespace druvex
