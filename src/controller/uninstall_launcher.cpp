#include "controller/uninstall_launcher.h"

#include "app_base/command_line.h"
#include "controller/earlier_installations.h"
#include "controller/installer_controller.h"
#include "data/install_data.h"
#include "data/installed_log.h"
#include "fileutil/file_util.h"
#include "fileutil/operation_log.h"
#include "hal/hal_access.h"
#include "platform/process.h"

namespace druvex {
namespace {

const SharedString kSetupProgram(u"setup.exe");

bool isDeviceUninstallerPlatform(TargetPlatform platform)
{
    switch (platform) {
    case kPlatformRv1Wn1:
    case kPlatformQm40:
    case kPlatform7RWinCE:
    case kPlatformRNVB:
    case kPlatformLQ5:
    case kPlatformRNVC:
        return true;
    default:
        return false;
    }
}

class NoEarlierInstallations final : public EarlierInstallations {
public:
    bool findAppMgrInstallation(const std::shared_ptr<HalAccess>&, RunController&, std::int32_t,
                                std::shared_ptr<UninstallLauncher>&) override
    {
        return false;
    }
    bool findUnloadInstallation(const std::shared_ptr<HalAccess>&, RunController&, std::int32_t,
                                std::shared_ptr<UninstallLauncher>&) override
    {
        return false;
    }
    std::shared_ptr<UninstallLauncher> makeAppMgrUninstaller(const std::shared_ptr<HalAccess>&, RunController&,
                                                             const SharedString&, const SharedString&) override
    {
        return nullptr;
    }
    std::shared_ptr<UninstallLauncher> makeUnloadUninstaller(const std::shared_ptr<HalAccess>&, RunController&,
                                                             const SharedString&, const SharedString&) override
    {
        return nullptr;
    }
};

}  // namespace

std::shared_ptr<EarlierInstallations> makeNoEarlierInstallations()
{
    return std::make_shared<NoEarlierInstallations>();
}

UninstallLauncher::~UninstallLauncher() = default;

UninstallOutcome UninstallLauncher::runAfterFailedStart(UninstallCancelCallback*)
{
    return kUninstallNotStarted;
}

UninstallOutcome UninstallLauncher::startAndWait(HalAccess& host, const SharedString& program,
                                                 const SharedString& arguments, UninstallCancelCallback* cancel,
                                                 std::uint32_t* exitCodeOut)
{
    if (exitCodeOut)
        *exitCodeOut = 0;
    ProcessInformation process;
    if (!host.createProcess(program, arguments, 0, process)) {
        logInvokeError(program.view(), host.getLastError());
        return kUninstallNotStarted;
    }
    logInfo(SharedString(u"Started ") + program + u" " + arguments);

    UninstallOutcome answer = kUninstallEnded;
    for (;;) {
        const std::uint32_t waited = waitForProcess(process.process, kUninstallWaitStepMs);
        if (waited == kWaitTimeout) {
            if (cancel && cancel->shouldStopWaiting()) {
                answer = kUninstallAbandoned;
                break;
            }
            continue;
        }
        if (waited != kWaitObject0)
            break;
        std::uint32_t exitCode = 0;
        if (!getProcessExitCode(process.process, exitCode) || exitCode != kStillActive)
            break;
        // A program may end with the code that also means "still active":
        // one more look tells the two apart.
        if (waitForProcess(process.process, 0) != kWaitTimeout)
            break;
    }
    std::uint32_t exitCode = 0;
    if (answer == kUninstallEnded && getProcessExitCode(process.process, exitCode)) {
        logInfo(SharedString().format(u"%s ended with exit code %u", program, exitCode));
        if (exitCodeOut)
            *exitCodeOut = exitCode;
    }
    // The handles go also when the wait is given up: the program runs on,
    // and the host reaps it once it ends.
    closeProcessHandle(process.process);
    closeProcessHandle(process.thread);
    if (answer == kUninstallAbandoned)
        logInfo(SharedString(u"Stopped waiting for ") + program);
    return answer;
}

UninstallOutcome UninstallLauncher::runInstaller(HalAccess& host, const SharedString& program,
                                                 const SharedString& arguments, UninstallCancelCallback* cancel,
                                                 const SharedString& what)
{
    std::uint32_t exitCode = 0;
    const UninstallOutcome answer = startAndWait(host, program, arguments, cancel, &exitCode);
    if (answer != kUninstallEnded || exitCode == 0)
        return answer;
    logError(SharedString().format(u"%s was not removed: %s ended with exit code %u", what, program, exitCode));
    return kUninstallFailed;
}

FeatureUninstallLauncher::FeatureUninstallLauncher(InstallerController& controller, int handle, std::int32_t action,
                                                   const SharedString& featureName)
    : controller_(controller), handle_(handle), action_(action), featureName_(featureName)
{
}

SharedString FeatureUninstallLauncher::getProgram() const
{
    const SharedString product = controller_.getInstalledProducts().getProductName(handle_);
    if (product.isEmpty())
        return {};
    const std::shared_ptr<HalAccess> host = controller_.getHalOut();
    return joinPath(controller_.getProductDataRoot(*host, false, product), kSetupProgram);
}

SharedString FeatureUninstallLauncher::getArguments() const
{
    // The installed product's installer splits its command line into words:
    // a feature name holding a blank would name another feature.
    return SharedString(u"dont_check_unique_instance uninstall_feature ") + commandLineWord(featureName_);
}

UninstallOutcome FeatureUninstallLauncher::run(UninstallCancelCallback* cancel)
{
    const SharedString program = getProgram();
    if (program.isEmpty()) {
        logError(SharedString().format(u"No installed product for handle %d", handle_));
        return kUninstallNotStarted;
    }
    return runInstaller(*controller_.getHalOut(), program, getArguments(), cancel, getProductName());
}

SharedString FeatureUninstallLauncher::getProductName() const
{
    return featureName_ + u" of " + controller_.getInstalledProducts().getProductName(handle_);
}

ProgramUninstallLauncher::ProgramUninstallLauncher(InstallerController& controller) : controller_(controller) {}

SharedString ProgramUninstallLauncher::getProgram() const
{
    return joinPath(controller_.getProductDataFolder(), kSetupProgram);
}

SharedString ProgramUninstallLauncher::getArguments() const
{
    SharedString arguments(u"uninstall_mode dont_check_unique_instance no_welcome");
    if (controller_.getOptions().silent)
        arguments += u" silent_mode";
    return arguments;
}

SharedString ProgramUninstallLauncher::getProductName() const
{
    const std::shared_ptr<InstalledLog>& foreign = controller_.getForeignInstalledLog();
    return foreign ? foreign->getProgramName() : SharedString();
}

UninstallOutcome ProgramUninstallLauncher::run(UninstallCancelCallback* cancel)
{
    const SharedString name = getProductName();
    return runInstaller(*controller_.getHalOut(), getProgram(), getArguments(), cancel,
                        name.isEmpty() ? SharedString(u"The other program") : name);
}

void InstallerController::queueInstalledProductActions()
{
    std::vector<int> handles;
    installedProducts_->listHandles(handles);
    for (const int handle : handles) {
        InstalledProductRegistry::FeatureIterator iterator = installedProducts_->featureIterator(handle);
        std::int32_t action = 0;
        SharedString featureName;
        while (installedProducts_->nextFeature(iterator, action, featureName))
            uninstallLaunchers_.push_back(
                std::make_shared<FeatureUninstallLauncher>(*this, handle, action, featureName));
    }
}

void InstallerController::setEarlierInstallations(std::shared_ptr<EarlierInstallations> installations)
{
    earlierInstallations_ = installations ? std::move(installations) : makeNoEarlierInstallations();
}

bool findPreviousInstallation(const std::shared_ptr<HalAccess>& targetHost, InstallerController& controller,
                              std::int32_t flag, std::vector<UninstallLauncherPtr>& launchers)
{
    launchers.clear();
    const TargetPlatform platform = controller.getTargetPlatform();
    EarlierInstallations& earlier = controller.getEarlierInstallations();
    UninstallLauncherPtr launcher;
    bool found = false;
    if (platform == kPlatformWm6)
        found = earlier.findAppMgrInstallation(targetHost, controller, flag, launcher);
    else if (isDeviceUninstallerPlatform(platform))
        found = earlier.findUnloadInstallation(targetHost, controller, flag, launcher);
    if (!found)
        return false;
    if (launcher)
        launchers.push_back(std::move(launcher));
    return true;
}

bool chooseUninstallMethod(const std::shared_ptr<HalAccess>& targetHost, RunController& controller,
                           UninstallLauncherPtr& remover)
{
    remover.reset();
    const TargetPlatform platform = controller.getTargetPlatform();
    const InstallerSettings& settings = controller.getInstallData().settings();
    EarlierInstallations& earlier = controller.getEarlierInstallations();
    if (platform == kPlatformWm6)
        remover = earlier.makeAppMgrUninstaller(targetHost, controller, settings.getCabProvider(),
                                                settings.getCabProgramName());
    else if (isDeviceUninstallerPlatform(platform))
        remover = earlier.makeUnloadUninstaller(targetHost, controller, settings.getCabProvider(),
                                                settings.getCabProgramName());
    return remover != nullptr;
}

SharedString findUninstallerExecutable(const std::vector<SharedString>& files)
{
    for (const SharedString& file : files) {
        if (file.view().ends_with(u".exe"))
            return file;
    }
    return {};
}

}  // namespace druvex
