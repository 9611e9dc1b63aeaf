#include "controller/custom_action_context.h"

#include "controller/installer_controller.h"
#include "controller/package_folder_unpacker.h"
#include "controller/wizard_pages.h"
#include "data/install_data.h"
#include "fileutil/file_util.h"
#include "fileutil/operation_log.h"
#include "hal/hal_access.h"
#include "host/installer_functions.h"
#include "host/installer_script_runner.h"
#include "payload/payload_archive.h"
#include "platform/path_components.h"
#include "text/mutex.h"
#include "text/numbers.h"

namespace druvex {

namespace {

bool isAbsolute(const SharedString& path)
{
    return !path.isEmpty() && isPathSeparator(path[0]);
}

}  // namespace

CustomActionContext::CustomActionContext(InstallerController& controller, PayloadArchive& archive)
    : controller_(controller), archive_(archive)
{
}

bool CustomActionContext::appliesToRun(const CustomAction& action) const
{
    const bool onDevice = controller_.isRunningOnDevice();
    if ((action.installerType == kActionWindowsOnly && onDevice) ||
        (action.installerType == kActionControllerOnly && !onDevice))
        return false;
    if (action.getPlatforms() != kPlatformMaskAll && (action.getPlatforms() & controller_.getTargetPlatformMask()) == 0)
        return false;
    const std::int32_t modeBit = customPageModeBit(controller_.getPageSequence().getMode());
    return modeBit == 0 || (action.executionMask & modeBit) != 0;
}

void CustomActionContext::collectHookCustomActions(const SharedString& hook, std::vector<CustomActionPtr>& out)
{
    out.clear();
    const InstallData& data = controller_.getInstallData();
    std::vector<SharedString> names;
    data.customActionsAfter(hook.view(), names);
    for (const SharedString& name : names) {
        if (CustomActionPtr action = data.findCustomAction(name.view()))
            out.push_back(std::move(action));
    }
}

void CustomActionContext::listRunCustomActions(std::vector<CustomActionPtr>& out)
{
    out.clear();
    const InstallData& data = controller_.getInstallData();
    std::vector<SharedString> names;
    data.allSequencedCustomActions(names);
    for (const SharedString& name : names) {
        CustomActionPtr action = data.findCustomAction(name.view());
        if (action && action->actionType != kActionFeatureScript && appliesToRun(*action))
            out.push_back(std::move(action));
    }
}

bool CustomActionContext::runHookCustomActions(const SharedString& hook, const HookArguments* arguments)
{
    const InstallData& data = controller_.getInstallData();
    std::vector<SharedString> names;
    if (!data.customActionsAfter(hook.view(), names))
        return true;
    for (const SharedString& name : names) {
        const CustomActionPtr action = data.findCustomAction(name.view());
        if (!action) {
            logError((u"Custom action " + name + u" not found.").view());
            return false;
        }
        if (arguments && (action->postInstallMode == kActionDontShow || !arguments->contains(name)))
            continue;
        if (action->actionType == kActionFeatureScript || !appliesToRun(*action))
            continue;
        if (!runAction(*action))
            return false;
    }
    return true;
}

bool CustomActionContext::prepareFolder(const CustomAction& action, std::shared_ptr<HalAccess>& host,
                                        SharedString& folder)
{
    if (action.storeLocation == kActionInstalledWithProduct) {
        host = controller_.getHalOut();
        folder = controller_.getDestinationFolder();
        return true;
    }
    host = controller_.getHalIn();
    if (!action.hasContent()) {
        folder = controller_.getWorkFolder();
        return true;
    }
    folder = unpackFolderFor(controller_.getWorkFolder(), u"CustomActions", action.getNameRef());
    MutexLock lock(mutex_);
    if (unpacked_.contains(action.getNameRef()))
        return true;
    const SharedString entryName = getArchiveName(action, true);
    const std::int32_t index = archive_.findEntry(entryName);
    const std::shared_ptr<PackageFolderUnpacker>& unpacker = controller_.getPackageFolderUnpacker();
    if (index < 0 || !unpacker) {
        logError((u"The package " + entryName + u" of custom action " + action.getNameRef() +
                  (index < 0 ? u" is not in the installer" : u" cannot be unpacked here"))
                     .view());
        return false;
    }
    const std::uint64_t size = archive_.entryAt(index).packedSize;
    const std::vector<PackageSource> sources{PackageSource{kSourceArchiveEntry, entryName,
                                                           static_cast<std::uint32_t>(size),
                                                           static_cast<std::uint32_t>(size >> 32)}};
    if (!unpacker->unpackToFolder(action, sources, *host, folder)) {
        logError((u"The package of custom action " + action.getNameRef() + u" could not be unpacked into " + folder)
                     .view());
        return false;
    }
    unpacked_.insert(action.getNameRef());
    return true;
}

bool CustomActionContext::runAction(const CustomAction& action)
{
    logInfo((u"Running custom action " + action.getNameRef()).view());
    std::shared_ptr<HalAccess> host;
    SharedString folder;
    if (!prepareFolder(action, host, folder))
        return fail(action, static_cast<std::int32_t>(kScriptErrorFileNotFound), u"The action's files are missing.");
    setCustomActionExecFolder(folder);
    if (action.actionType == kActionLaunchExecutable)
        return launchExecutable(action, *host, folder);
    return runScript(action, *host, folder);
}

SharedString CustomActionContext::resolveCommand(const CustomAction& action, const SharedString& folder) const
{
    const SharedString expanded = controller_.expandVariables(action.command);
    if (expanded.isEmpty() || isAbsolute(expanded))
        return expanded;
    SharedString path = resolveRelativePath(folder, expanded);
    path.replaceChar(u'/', u'\\');
    return path;
}

bool CustomActionContext::launchExecutable(const CustomAction& action, HalAccess& host, const SharedString& folder)
{
    const SharedString program = resolveCommand(action, folder);
    const SharedString commandLine = action.param.isEmpty() ? SharedString() : controller_.expandVariables(action.param);
    if (program.isEmpty() || (commandLine.isEmpty() && !action.param.isEmpty()))
        return fail(action, -1, u"The command " + action.command + u" " + action.param + u" cannot be resolved.");
    std::uint32_t exitCode = 0;
    const bool ran = host.executeProcess(program, commandLine, 0, exitCode);
    if (!ran)
        return fail(action, static_cast<std::int32_t>(host.getLastError()), program + u" could not be started.");
    logInfo((u"Custom action " + action.getNameRef() + u": " + program + u" " + commandLine + u" returned " +
             uintToText(exitCode))
                .view());
    if (exitCode != 0)
        return fail(action, static_cast<std::int32_t>(exitCode), program + u" ended with an error.");
    return true;
}

bool CustomActionContext::runScript(const CustomAction& action, HalAccess& host, const SharedString& folder)
{
    const SharedString script = resolveCommand(action, folder);
    if (script.isEmpty())
        return fail(action, static_cast<std::int32_t>(kScriptErrorNoScript), u"No script defined");
    InstallerScriptRunner runner(&controller_);
    if (runner.loadScriptFile(host, script) != 1)
        return fail(action, static_cast<std::int32_t>(runner.errorCode()), runner.errorText());
    SharedString argument;
    if (!action.param.isEmpty()) {
        argument = controller_.expandVariables(action.param);
        if (argument.isEmpty())
            return fail(action, -1, u"The parameter " + action.param + u" cannot be resolved.");
    }
    if (!runner.callFunction(u"Main", action.param.isEmpty() ? 0 : 1, &argument, 0, nullptr))
        return fail(action, static_cast<std::int32_t>(runner.errorCode()), runner.errorText());
    return true;
}

bool CustomActionContext::fail(const CustomAction& action, std::int32_t errorNumber,
                               const SharedString& errorText) const
{
    logError((u"Custom action " + action.getNameRef() + u" failed (" + intToText(errorNumber) + u"): " + errorText)
                 .view());
    controller_.getUiCallback()->customActionErrorMessage(action.getNameRef(), errorNumber, errorText);
    return false;
}

}  // namespace druvex
