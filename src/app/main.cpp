// druvex-setup: the installer program. It runs on the device that the
// environment variable DRUVEX_DEVICE names and refuses to run without one, so
// that it never writes into the host's own folders.
#include <cstdio>
#include <string>

#include "app/installer_app.h"
#include "core/app_log.h"
#include "core/crash_handler.h"
#include "core/device_profile.h"
#include "platform/exit_status.h"
#include "platform/http_request.h"

int main(int argc, char** argv)
{
    using namespace druvex;
    std::string error;
    if (!activateDeviceFromEnvironment(error)) {
        std::fprintf(stderr, "druvex-setup: %s\n", error.c_str());
        return exitStatusFromCode(kExitCodeBadCommandLine);
    }
    installCrashHandlers();
    initHttpOnce();
    // The log starts now, beside the program, before anything can fail.
    AppLog::instance();

    std::uint32_t code = kExitCodeFailed;
    {
        CInstallerApp app(commandLineWords(argc, argv));
        app.InitInstance();
        code = app.getExitCode();
    }
    return logExitStatus(code);
}
