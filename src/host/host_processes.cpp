// The device host's processes and its soft reset. A device program is a file
// of the device folder: one that is a program of this machine (a copy of the
// installer itself, say) runs as itself; any other runs through the host
// program that the device profile's [Programs] names for its file name.
#include <sys/stat.h>

#include <cerrno>
#include <memory>
#include <string>

#include "core/wall_clock.h"
#include "text/diag.h"
#include "host/host_paths.h"
#include "host/wince_hal_access.h"
#include "platform/device_config.h"
#include "platform/device_events.h"
#include "platform/manual_reset_event.h"
#include "platform/process.h"
#include "platform/win_error.h"

namespace druvex {

namespace {

using host_paths::fail;

// The device's "inherit the caller's priority" flag, which executeProcess adds.
constexpr std::uint32_t kInheritCallerPriority = 0x20000;

bool isBareName(const SharedString& path)
{
    return path.view().find_first_of(u"\\/") == std::u16string_view::npos;
}

std::u16string_view fileNameOf(const SharedString& path)
{
    const std::u16string_view text = path.view();
    const std::size_t separator = text.find_last_of(u"\\/");
    return separator == std::u16string_view::npos ? text : text.substr(separator + 1);
}

bool isFile(const std::string& host)
{
    struct stat status {};
    return ::stat(host.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

// The host path of the program the application names. The device's loader
// looks for a bare name in "\Windows" and then in "\".
bool locateProgram(const SharedString& application, std::string& host)
{
    if (!isBareName(application))
        return host_paths::toHost(application, host);
    std::string inWindows;
    if (!host_paths::toHost(SharedString(u"\\Windows\\") + application, inWindows))
        return false;
    std::string atRoot;
    if (!isFile(inWindows) && host_paths::toHost(SharedString(u"\\") + application, atRoot) && isFile(atRoot)) {
        host = atRoot;
        return true;
    }
    host = inWindows;
    return true;
}

}  // namespace

bool HalAccessWinCE::createProcess(const SharedString& application, const SharedString& commandLine,
                                   std::uint32_t, ProcessInformation& information)
{
    // The device's loader needs the program's own name; it never takes it
    // from the command line.
    if (application.isEmpty())
        return fail(kErrorInvalidParameter);
    std::string device;
    if (!locateProgram(application, device))
        return false;
    struct stat status {};
    if (::stat(device.c_str(), &status) != 0)
        return fail(host_paths::errorFor(errno, device));
    if (S_ISDIR(status.st_mode))
        return fail(kErrorAccessDenied);

    std::string program = device;
    if (!isProgramOfThisMachine(device)) {
        const std::shared_ptr<const DeviceConfig> config = activeDeviceConfig();
        const DeviceProgram* standIn = config->findProgram(fileNameOf(application));
        if (!standIn)
            return fail(kErrorBadExeFormat);
        program = standIn->hostProgram;
    }
    StartedProcess started;
    const std::uint32_t error = startProcess(program, toUtf8(commandLine).view(), started);
    if (error != kErrorSuccess) {
        logPrintf(u"HalAccessWinCE: %s could not be started as %hs (error %u)", application, program.c_str(), error);
        return fail(error);
    }
    information.process = started.process;
    information.thread = started.thread;
    information.processId = started.processId;
    information.threadId = started.threadId;
    return true;
}

bool HalAccessWinCE::executeProcess(const SharedString& application, const SharedString& commandLine,
                                    std::uint32_t creationFlags, std::uint32_t& exitCode)
{
    ProcessInformation information;
    if (!createProcess(application, commandLine, creationFlags | kInheritCallerPriority, information))
        return false;
    std::uint32_t code = kStillActive;
    const bool ended = waitForProcess(information.process, kInfiniteWait) == kWaitObject0 &&
                       getProcessExitCode(information.process, code);
    const std::uint32_t error = druvex::getLastError();
    closeProcessHandle(information.process);
    closeProcessHandle(information.thread);
    if (!ended)
        return fail(error);
    exitCode = code;
    return true;
}

bool HalAccessWinCE::reboot()
{
    // The host machine is never reset: the device directory records that the
    // device would have been.
    WallClockFields now{};
    getWallClockFields(now);
    SharedStringA line;
    line.format("%04d-%02d-%02d %02d:%02d:%02d.%03uZ SOFT_RESET", now.yearsSince1900 + 1900, now.month + 1,
                now.dayOfMonth, now.hours, now.minutes, now.seconds, now.milliseconds);
    return appendDeviceEvent(line.view()) == kErrorSuccess;
}

}  // namespace druvex
