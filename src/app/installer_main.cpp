#include "app/installer_main.h"

#include <cstdio>
#include <string>

#include "app/failure_report.h"
#include "app/installer_app.h"
#include "core/app_log.h"
#include "core/crash_handler.h"
#include "core/device_profile.h"
#include "platform/exit_status.h"
#include "platform/http_request.h"
#include "text/terminal_text.h"

namespace druvex {

int runInstallerProgram(int argc, char** argv)
{
    std::string error;
    if (!activateDeviceFromEnvironment(error)) {
        std::fprintf(stderr, "druvex-setup: %s\n", terminalText(error).c_str());
        return exitStatusFromCode(kExitCodeBadCommandLine);
    }
    installCrashHandlers();
    initHttpOnce();
    // The log starts now, beside the program, before anything can fail.
    AppLog::instance();
    reportUnwritableLog();

    std::uint32_t code = kExitCodeFailed;
    {
        CInstallerApp app(commandLineWords(argc, argv));
        app.InitInstance();
        code = app.getExitCode();
    }
    return logExitStatus(code);
}

}  // namespace druvex
