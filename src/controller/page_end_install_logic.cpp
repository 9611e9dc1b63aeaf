#include "controller/page_end_install_logic.h"

#include <cstdio>
#include <iostream>
#include <vector>

#include "app_base/command_line.h"
#include "app_base/installer_options.h"
#include "controller/installer_ui_callback.h"
#include "controller/page_sequence.h"
#include "controller/wizard_controller.h"
#include "core/path_text.h"
#include "data/install_data.h"
#include "data/installed_log.h"
#include "fileutil/file_util.h"
#include "fileutil/operation_log.h"
#include "hal/hal_access.h"

namespace druvex {
namespace {

constexpr char16_t kActiveSetupKey[] = u"Software\\Microsoft\\Active Setup\\Installed Components\\";

bool isTotalStation(DeviceType type)
{
    return type == DeviceType::TS_ONBOARD || type == DeviceType::TS_QM40 || type == DeviceType::TS_TSORLAN;
}

}  // namespace

PageEndInstallLogic::PageEndInstallLogic(WizardController& controller, std::shared_ptr<HalAccess> sourceHost)
    : controller_(controller), sourceHost_(std::move(sourceHost))
{
    if (!sourceHost_)
        sourceHost_ = controller_.getHalIn();
    controller_.runHook(SharedString(u"POST-ENTER"));
}

PageEndInstallLogic::~PageEndInstallLogic()
{
    if (postExitThread_.joinable())
        postExitThread_.join();
}

bool PageEndInstallLogic::runUnattended()
{
    registerActiveSetup();
    if (controller_.getRestoreResult() != kRestoreFailed)
        return true;
    return failRun(controller_, SharedString(u"The full backup was not restored"));
}

void PageEndInstallLogic::getModeAndResult(WizardMode& mode, InstallResult& result) const
{
    mode = controller_.getPageSequence().getMode();
    result = controller_.getResult();
}

bool PageEndInstallLogic::getSkipFeatureChoice() const
{
    return controller_.getSkipFeatureChoice();
}

RestoreResult PageEndInstallLogic::getRestoreResult() const
{
    return controller_.getRestoreResult();
}

std::vector<SharedString> PageEndInstallLogic::getSkippedFeatures() const
{
    return controller_.getSkippedFeatures();
}

void PageEndInstallLogic::flushScriptOutput()
{
    std::cout.flush();
    std::fflush(stdout);
}

bool PageEndInstallLogic::needsDeviceRestart() const
{
    const InstallerOptions& options = controller_.getOptions();
    if (options.createBackup && options.updateMode != kUpdateModeNewVersion)
        return false;
    return isTotalStation(controller_.getHalOut()->deviceTypeOrNone());
}

bool PageEndInstallLogic::needsReboot() const
{
    if (controller_.getResult() != kResultCompleted || controller_.getOptions().noWelcome)
        return false;
    return controller_.isRebootRequired();
}

bool PageEndInstallLogic::getLaunchText(SharedString& text) const
{
    text = SharedString();
    const WizardMode mode = controller_.getPageSequence().getMode();
    const InstallResult result = controller_.getResult();
    const bool completed = result == kResultCompleted || result == kResultCompletedUnchanged;
    if (mode != kModeBackup && !completed)
        return false;
    // A stored mode outside the set launches nothing.
    bool launches = false;
    switch (mode) {
    case kModeInstall:
    case kModeUpdate:
    case kModeAddRemove:
    case kModeMaintenance:
    case kModeMaintenanceWithoutLog:
    case kModeBackup:
        launches = true;
        break;
    case kModeNone:
    case kModeStart:
    case kModeUninstall:
    case kModeDownload:
    case kModeRepairBroken:
    case kModeRepair:
        break;
    }
    if (!launches)
        return false;
    if (controller_.getHalOut()->deviceTypeOrNone() != sourceHost_->deviceTypeOrNone() || needsDeviceRestart() ||
        needsReboot())
        return false;
    const SharedString launchPath = controller_.getLaunchAppPath();
    if (launchPath.isEmpty())
        return false;
    // A script may have named another program to launch.
    SharedString program;
    SharedString arguments;
    controller_.getLaunchProgramOverride(program, arguments);
    if (!program.isEmpty()) {
        text = getFileTitle(program);
        return true;
    }
    // Without LaunchApp's file the launch path is the name the installed log
    // gives the program, which is no file: offering it would start nothing.
    if (!controller_.getHalOut()->exists(launchPath, nullptr)) {
        logInfo((u"No program to launch: " + launchPath + u" is no file on the device").view());
        return false;
    }
    text = controller_.getProgramName();
    return true;
}

bool PageEndInstallLogic::getLaunchProgram(SharedString& program, SharedString& arguments) const
{
    program = SharedString();
    arguments = SharedString();
    SharedString text;
    if (!getLaunchText(text))
        return false;
    controller_.getLaunchProgramOverride(program, arguments);
    if (program.isEmpty())
        program = controller_.getLaunchAppPath();
    return true;
}

bool PageEndInstallLogic::getPostExitAction(SharedString& name, SharedString& text, bool& checked) const
{
    std::vector<CustomActionPtr> actions;
    controller_.getCustomActionHooks().collectHookCustomActions(SharedString(u"POST-EXIT"), actions);
    for (const CustomActionPtr& action : actions) {
        if (action->postInstallMode == kActionDontShow)
            continue;
        name = action->getNameRef();
        text = action->postInstallText;
        checked = action->postInstallMode == kActionShowChecked;
        return true;
    }
    return false;
}

void PageEndInstallLogic::startPostExitThread(const HookArguments& arguments)
{
    // The thread before reads the arguments: it ends before they change.
    if (postExitThread_.joinable())
        postExitThread_.join();
    started_ = true;
    hookArguments_ = arguments;
    sink_.report([](EndPageSink& sink) { sink.onPostExitStarted(); });
    postExitThread_ = WorkerThread([this] {
        const bool result =
            controller_.getCustomActionHooks().runHookCustomActions(SharedString(u"POST-EXIT"), &hookArguments_);
        sink_.report([result](EndPageSink& sink) { sink.onPostExitFinished(result); });
    });
}

bool PageEndInstallLogic::finish(bool postRoutinesOk, bool& rebootAsked)
{
    rebootAsked = false;
    registerActiveSetup();
    if (!postRoutinesOk)
        controller_.getUiCallback()->postInstallErrorMessage();
    if (needsDeviceRestart()) {
        rebootAsked = true;
        return true;
    }
    if (!needsReboot())
        return false;
    rebootAsked = controller_.getUiCallback()->reportRebootNeeded() != 0;
    return rebootAsked;
}

void PageEndInstallLogic::registerActiveSetup()
{
    if (!controller_.isRebootRequired() || controller_.getInstalledLog()->getPendingRegistrationCount() == 0)
        return;
    const SharedString setup = joinPath(controller_.getLocalProductDataFolder(), SharedString(u"setup.exe"));
    const SharedString uuid = controller_.getInstallData().settings().getProgramUuid();
    writeActiveSetupComponent(SharedString(kActiveSetupKey) + uuid, u"Component registrations",
                              u"%s finalize_registrations", setup);
    writeActiveSetupComponent(SharedString(kActiveSetupKey) + u">" + uuid, u"Validation", u"%s validate_registrations",
                              setup);
}

void PageEndInstallLogic::writeActiveSetupComponent(const SharedString& key, const char16_t* displayName,
                                                    const char16_t* stubFormat, const SharedString& setup)
{
    const InstallerSettings& settings = controller_.getInstallData().settings();
    SharedString title;
    title.format(u"%s - %s", settings.getProgramName(), displayName);
    // The device runs the stub path as a command line, and the local product
    // data folder lies below "\Application Data": unquoted, the blank would
    // cut the program's path.
    SharedString stub;
    stub.format(stubFormat, commandLineWord(toBackslashes(setup)));
    SharedString version = settings.getProgramVersionText();
    version.replaceChar(u'.', u',');

    HalAccess& host = *sourceHost_;
    const bool written =
        host.writeRegistryStringValue(kRegistryLocalMachine, key, kRegistryViewDefault, SharedString(), title, false) &&
        host.writeRegistryDwordValue(kRegistryLocalMachine, key, kRegistryViewDefault, SharedString(u"IsInstalled"), 1) &&
        host.writeRegistryStringValue(kRegistryLocalMachine, key, kRegistryViewDefault, SharedString(u"StubPath"),
                                      toBackslashes(stub), false) &&
        host.writeRegistryStringValue(kRegistryLocalMachine, key, kRegistryViewDefault, SharedString(u"Version"),
                                      version, false);
    if (!written)
        logError(SharedString(u"Active Setup component cannot be written: HKEY_LOCAL_MACHINE\\") + key);
}

}  // namespace druvex
