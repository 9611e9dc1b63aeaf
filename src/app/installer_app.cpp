#include "app/installer_app.h"

#include <cstdio>

#include "app/failure_report.h"
#include "app/load_steps.h"
#include "app/startup_error.h"
#include "app/terminal_wizard.h"
#include "app/update_check.h"
#include "app_base/command_line.h"
#include "controller/installer_controller.h"
#include "controller/language_file_manager.h"
#include "controller/page_installation_logic.h"
#include "controller/page_logic.h"
#include "controller/page_logics.h"
#include "controller/page_prerequisites_logic.h"
#include "core/app_log.h"
#include "core/path_text.h"
#include "core/translate_text.h"
#include "engine/device_uninstallers.h"
#include "engine/full_backup_restore.h"
#include "engine/host_folder_unpacker.h"
#include "engine/installation_process.h"
#include "host/wince_hal_access.h"
#include "text/terminal_text.h"
#include "ui/choice_dialog.h"
#include "ui/curses_backend.h"
#include "ui/installer_ui_prompts.h"
#include "ui/terminal_session.h"
#include "ui_base/message_box.h"

namespace druvex {
namespace {

SharedString joinWords(const std::vector<SharedString>& words)
{
    SharedString line;
    for (const SharedString& word : words) {
        if (!line.isEmpty())
            line += u' ';
        line += commandLineWord(word);
    }
    return line;
}

}  // namespace

std::vector<SharedString> commandLineWords(int argc, const char* const* argv)
{
    if (argc == 2)
        return splitCommandLine(fromUtf8(argv[1]).view());
    std::vector<SharedString> words;
    for (int i = 1; i < argc; ++i)
        words.push_back(fromUtf8(argv[i]));
    return words;
}

CInstallerApp::CInstallerApp(std::vector<SharedString> arguments)
    : arguments_(std::move(arguments)), pageLogics_(std::make_shared<PageLogicRegistry>())
{
    registerControllerPageLogics(*pageLogics_);
    registerPrerequisitesPageLogic(*pageLogics_);
    pageLogics_->registerMaker(kPageInstallation, [](InstallerController& controller, const PageLogicArguments&) {
        return std::make_unique<PageInstallationLogic>(controller);
    });
}

CInstallerApp::~CInstallerApp()
{
    // A worker still waiting for an answer gets its fallback now: the
    // controller joins the workers below, on the UI thread that would have
    // shown the question.
    if (session_)
        session_->dispatcher().close();
    // Nothing may ask on the terminal once it is given back.
    setMessageBoxPresenter(nullptr);
    if (controller_)
        controller_->setUiCallback(nullptr);
    controller_.reset();
    prompts_.reset();
    session_.reset();
    setSilentRun(false);
}

bool CInstallerApp::end(std::uint32_t code)
{
    exitCode_ = code;
    return code == kExitCodeCompleted;
}

void CInstallerApp::tell(const SharedString& text, std::uint32_t flags)
{
    logPrintf(u"%s", text);
    if (!canShowMessageBox())
        reportFailure(text);
    showMessageBoxOwned(0, text, SharedString(kInstallerWindowTitle), flags);
}

bool CInstallerApp::InitInstance()
{
    SharedString fullInstallerPath;
    SharedString refusal;
    std::vector<SharedString> passedOver;
    if (!ParseOptions(arguments_, options_, fullInstallerPath, &refusal, &passedOver)) {
        logPrintf(u"The command line \"%s\" is refused: %s", joinWords(arguments_), refusal);
        std::fprintf(stderr, "%s\n", terminalText(toUtf8(refusal).view()).c_str());
        return end(kExitCodeBadCommandLine);
    }
    logPrintf(u"Command line: %s", joinWords(arguments_));
    for (const SharedString& word : passedOver) {
        // A misspelt option changes what the run does without a word in the
        // run itself: the person who typed it hears of it at once.
        const SharedString notice = SharedString().format(u"The word \"%s\" of the command line is no option: "
                                                          u"passed over", word);
        logPrintf(u"%s", notice);
        reportNotice(notice);
    }
    // The update check reports by its exit code alone: like a silent run it
    // asks nobody. So does the installed copy asked who may remove its
    // installation, which another installer starts and waits for.
    const bool updateCheck = options_.checkForUpdates && !options_.updateCheckFolder.isEmpty();
    const bool uninstallQuery = !options_.minVersionQuery.isEmpty();
    // A silent run asks nobody, whatever shows the boxes.
    setSilentRun(options_.silent || updateCheck || uninstallQuery);

    host_ = std::make_shared<HalAccessWinCE>();
    controller_ = std::make_unique<InstallerController>(options_, host_, host_);
    controller_->setApplicationServices(std::make_shared<InstallerAppServices>());
    controller_->setEarlierInstallations(makeDeviceEarlierInstallations());
    // The engine's restorer checks the backups the welcome page is given
    // and runs the backups and restores of the installation page.
    auto backups = std::make_shared<FullBackupRestore>(*controller_);
    controller_->setFullBackupReader(backups);
    controller_->setInstallationProcessFactory(std::make_shared<EngineProcessFactory>(backups));
    controller_->setPackageFolderUnpacker(std::make_shared<HostFolderUnpacker>(controller_->getPayloadArchive()));
    controller_->setPageLogicFactory(pageLogics_);

    if (!options_.silent && !updateCheck && !uninstallQuery && !startPrompts())
        return end(kExitCodeFailed);

    int error = 0;
    if (!controller_->loadInstallData(fullInstallerPath, error)) {
        showStartupError(SharedString(kInstallerWindowTitle), error);
        // The asking installer reads 1 as leave to remove: a copy that cannot
        // read its own data vouches for nobody.
        return end(uninstallQuery ? kExitCodeUninstallRefused : kExitCodeFailed);
    }
    // Answered before the initialisation, which would load the installed
    // state and so ask this very copy again.
    if (uninstallQuery) {
        exitCode_ = controller_->answerUninstallQuery(options_.minVersionQuery);
        return exitCode_ == kExitCodeCompleted;
    }
    startLanguage();
    if (!controller_->initialize(error)) {
        showStartupError(SharedString(kInstallerWindowTitle), error);
        return end(kExitCodeFailed);
    }
    if (!controller_->applyPreviousSettings()) {
        tell(options_.configFile.isEmpty()
                 ? translateText("The option use_config names no configuration file.")
                 : formatTranslated("The configuration file {1} cannot be read.", toBackslashes(options_.configFile)),
             kMbOk | kMbIconError);
        return end(kExitCodeFailed);
    }

    if (updateCheck) {
        exitCode_ = runUpdateCheck(*controller_, options_.updateCheckFolder);
        std::printf("%u\n", static_cast<unsigned>(exitCode_));
        return exitCode_ == kExitCodeCompleted;
    }
    if (options_.silent) {
        exitCode_ = controller_->runUnattended() ? kExitCodeCompleted : kExitCodeFailed;
        // Nobody watches a silent run: its reason would otherwise be only in the log.
        for (const SharedString& notice : controller_->getRunNotices())
            reportNotice(notice);
        if (exitCode_ != kExitCodeCompleted) {
            const SharedString& reason = controller_->getUnattendedFailure();
            reportFailure(reason.isEmpty() ? SharedString(u"The silent run failed") : reason);
        }
    } else {
        exitCode_ = runWizard();
    }
    if (controller_->needsLauncherNotification())
        notifyApplicationLauncher();
    return exitCode_ == kExitCodeCompleted;
}

bool CInstallerApp::startPrompts()
{
    SharedString refusal;
    std::unique_ptr<CursesBackend> backend = CursesBackend::start(refusal);
    if (!backend) {
        logPrintf(u"%s", refusal);
        std::fprintf(stderr, "%s\n", terminalText(toUtf8(refusal).view()).c_str());
        return false;
    }
    session_ = std::make_unique<TerminalSession>(std::move(backend));
    setMessageBoxPresenter(std::make_shared<TerminalMessageBoxPresenter>(*session_));
    prompts_ = std::make_shared<InstallerUiPrompts>(*session_, controller_.get());
    controller_->setUiCallback(prompts_);
    return true;
}

std::uint32_t CInstallerApp::runWizard()
{
    TerminalWizard wizard(*session_, *controller_);
    mainWindow_ = wizard.mainWindow();
    prompts_->setOwnerWindow(mainWindow_);
    const WizardEnd end = wizard.run();
    prompts_->setOwnerWindow(0);
    mainWindow_ = 0;
    const InstallResult result = controller_->getResult();
    logPrintf(u"The wizard ended (%d) with the result %d", static_cast<int>(end), result);
    // A download of the newer installer is done only once that installer has started.
    const bool completed = (result == kResultCompleted || result == kResultCompletedUnchanged) &&
                           !controller_->isNewInstallerLaunchFailed();
    // A run that left a feature out or did not restore the backup it was
    // given did not do what it was asked, whatever the rest of it did.
    const bool restoreFailed = controller_->getRestoreResult() == kRestoreFailed;
    const bool featuresLeftOut = !controller_->getSkippedFeatures().empty();
    if (restoreFailed)
        logPrintf(u"The full backup was not restored: the run does not count as completed");
    if (featuresLeftOut)
        logPrintf(u"Features were left out: the run does not count as completed");
    return end == WizardEnd::Finished && completed && !restoreFailed && !featuresLeftOut ? kExitCodeCompleted
                                                                                        : kExitCodeFailed;
}

void CInstallerApp::startLanguage()
{
    const std::uint16_t language = controller_->chooseLanguage();
    LanguageFileManager languages(*controller_, host_, false);
    if (!languages.loadTranslationMap())
        logPrintf(u"The installer archive has no usable translation map");
    if (language != 0)
        languages.saveCurrentLanguage(language);
}

}  // namespace druvex
