// A small program that shows the terminal toolkit for the tests that run it
// in tmux: a wizard page with every kind of control, message boxes and the
// prompts' dialogs asked from a worker thread, a fault in a handler, and a
// page that waits for a signal. What was chosen is printed once the terminal
// is given back.
//
//   terminal_ui_probe [--lang FILE] widgets
//   terminal_ui_probe [--lang FILE] messagebox FLAGS TEXT
//   terminal_ui_probe [--lang FILE] file-exists NAME
//   terminal_ui_probe [--lang FILE] locked-files NAME...
//   terminal_ui_probe fault | throw | wait
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/app_log.h"
#include "core/crash_handler.h"
#include "core/device_profile.h"
#include "core/thread_utils.h"
#include "core/translate_text.h"
#include "hal/hal_access.h"
#include "ui/choice_dialog.h"
#include "ui/curses_backend.h"
#include "ui/feature_tree.h"
#include "ui/installer_ui_prompts.h"
#include "ui/page_frame.h"
#include "ui/terminal_session.h"

namespace druvex {
namespace {

std::string utf8(const SharedString& text)
{
    return std::string(toUtf8(text).view());
}

// In the first page, which is never mapped: a fault, not a null pointer
// that the undefined-behaviour sanitizer would report first.
int* volatile g_nowhere = reinterpret_cast<int*>(0x10);

class WidgetsPage final : public PageFrame {
public:
    WidgetsPage(TerminalSession& session, InstallerUiPrompts& prompts)
        : PageFrame(session, translateText("Choose the features")), prompts_(prompts)
    {
        setCounter(SharedString(u"3/8"));
        addContent<Label>(false, 0, translateText("Select what to install and where."));
        shortcut_ = &addContent<CheckBox>(false, 1, translateText("Create a shortcut"), true);
        mode_ = &addContent<RadioGroup>(
            false, 1,
            std::vector<SharedString>{translateText("Install"), translateText("Repair"), translateText("Remove")});
        mode_->setItemEnabled(1, false);
        folder_ = &addContent<EditField>(false, 1, SharedString(u"\\Program Files\\Druvex"));
        storage_ = &addContent<ComboBox>(false, 1,
                                         std::vector<SharedString>{translateText("Main Memory"),
                                                                   translateText("SD Card"), translateText("Storage")});
        tree_ = &addContent<FeatureTree>(false, 1);
        tree_->addNode(FeatureTree::kRoot, 1, translateText("Program"), true);
        tree_->addNode(1, 2, translateText("Core"), true, false);
        tree_->addNode(1, 3, translateText("Help"), true);
        tree_->addNode(1, 4, translateText("Samples"), true);
        progress_ = &addContent<ProgressBar>(false, 1);
        progress_->setPosition(40);
        progress_->setItemName(translateText("Copying setup.dqres"));
    }

    std::string result;

protected:
    void onNext() override
    {
        result = "RESULT check=" + std::to_string(shortcut_->isChecked()) + " radio=" +
                 std::to_string(mode_->selected()) + " edit=" + utf8(folder_->text()) + " combo=" +
                 utf8(storage_->selectedText()) + " tree=" + std::to_string(static_cast<int>(tree_->checkState(1))) +
                 std::to_string(tree_->isChecked(2)) + std::to_string(tree_->isChecked(3)) +
                 std::to_string(tree_->isChecked(4));
        endDialog(kPageCommandNext);
    }
    void onBack() override
    {
        result = "RESULT back";
        endDialog(kPageCommandBack);
    }
    void onCancel() override
    {
        if (!prompts_.askExit())
            return;
        result = "RESULT cancelled";
        endDialog(kPageCommandCancel);
    }

private:
    InstallerUiPrompts& prompts_;
    CheckBox* shortcut_;
    RadioGroup* mode_;
    EditField* folder_;
    ComboBox* storage_;
    FeatureTree* tree_;
    ProgressBar* progress_;
};

// A page that a worker thread reports to and asks through, as the
// installation page is.
class WorkPage final : public PageFrame {
public:
    explicit WorkPage(TerminalSession& session) : PageFrame(session, translateText("Installing"))
    {
        setCounter(SharedString(u"6/8"));
        progress_ = &addContent<ProgressBar>(false, 1);
        nextButton().setEnabled(false);
        backButton().setEnabled(false);
        cancelButton().setEnabled(false);
    }
    ProgressBar* progress_;

protected:
    // The worker's question must be answered before the page may go.
    void onCancel() override {}
};

// Runs `ask` on a worker thread while the UI thread shows the work page.
std::string askFromWorker(TerminalSession& session, const std::function<std::string()>& ask)
{
    WorkPage page(session);
    std::string answer;
    WorkerThread worker([&] {
        page.postMessage([&] {
            page.progress_->setPosition(50);
            page.progress_->setItemName(SharedString(u"file.txt"));
        });
        answer = ask();
        page.postMessage([&] { page.endDialog(0); });
    });
    page.doModal();
    worker.join();
    return answer;
}

class FaultPage final : public PageFrame {
public:
    FaultPage(TerminalSession& session, bool throwInstead)
        : PageFrame(session, SharedString(u"Fault probe")), throwInstead_(throwInstead)
    {
        addContent<Label>(false, 0, SharedString(u"Next faults in its handler."));
    }

protected:
    void onNext() override
    {
        logPrintf(u"Faulting in a page handler");
        if (throwInstead_)
            throw std::runtime_error("thrown by the probe");
        *g_nowhere = 42;
    }

private:
    bool throwInstead_;
};

std::string run(TerminalSession& session, InstallerUiPrompts& prompts, const std::vector<std::string>& args)
{
    const std::string& scenario = args.at(0);
    if (scenario == "widgets") {
        WidgetsPage page(session, prompts);
        page.doModal();
        return page.result;
    }
    if (scenario == "messagebox") {
        const std::uint32_t flags = static_cast<std::uint32_t>(std::stoul(args.at(1), nullptr, 0));
        const SharedString text = fromUtf8(args.at(2));
        return askFromWorker(session, [&] {
            return "ANSWER " + std::to_string(showMessageBoxOwned(0, text, SharedString(u"Probe"), flags));
        });
    }
    if (scenario == "file-exists") {
        const SharedString name = fromUtf8(args.at(1));
        return askFromWorker(session, [&] {
            bool applyToAll = false;
            const FileExistsAnswer answer = prompts.askFileExists(name, applyToAll);
            return "ANSWER " + std::to_string(static_cast<int>(answer)) + " APPLY " + std::to_string(applyToAll);
        });
    }
    if (scenario == "locked-files") {
        std::vector<LockingProcess> processes;
        for (std::size_t i = 1; i < args.size(); ++i) {
            LockingProcess process;
            process.processId = static_cast<std::uint32_t>(100 + i);
            process.applicationName = fromUtf8(args[i]);
            processes.push_back(process);
        }
        return askFromWorker(session,
                             [&] { return "ANSWER " + std::to_string(static_cast<int>(prompts.showLockedFiles(processes, 0))); });
    }
    if (scenario == "fault" || scenario == "throw") {
        FaultPage page(session, scenario == "throw");
        page.doModal();
        return "RESULT no fault";
    }
    if (scenario == "wait") {
        PageFrame page(session, SharedString(u"Waiting for a signal"));
        page.setCounter(SharedString().format(u"pid %d", static_cast<int>(::getpid())));
        page.doModal();
        return "RESULT ended";
    }
    return "unknown scenario";
}

int probeMain(int argc, char** argv)
{
    installCrashHandlers();
    if (const char* device = std::getenv("DRUVEX_DEVICE"); device != nullptr && *device != '\0') {
        std::string error;
        if (!activateDeviceFromEnvironment(error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 3;
        }
    }
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() >= 2 && args[0] == "--lang") {
        selectTranslationFile(fromUtf8(args[1]).view());
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.empty()) {
        std::fprintf(stderr, "usage: terminal_ui_probe [--lang FILE] SCENARIO [ARGS]\n");
        return 3;
    }

    SharedString refusal;
    std::unique_ptr<CursesBackend> backend = CursesBackend::start(refusal);
    if (!backend) {
        std::fprintf(stderr, "%s\n", utf8(refusal).c_str());
        return 2;
    }
    std::string result;
    {
        TerminalSession session(std::move(backend));
        setMessageBoxPresenter(std::make_shared<TerminalMessageBoxPresenter>(session));
        InstallerUiPrompts prompts(session, nullptr);
        result = run(session, prompts, args);
        setMessageBoxPresenter(nullptr);
    }
    std::printf("%s\n", result.c_str());
    return 0;
}

}  // namespace
}  // namespace druvex

int main(int argc, char** argv)
{
    return druvex::probeMain(argc, argv);
}
