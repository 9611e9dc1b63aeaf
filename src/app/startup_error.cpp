#include "app/startup_error.h"

#include "app/failure_report.h"
#include "controller/load_errors.h"
#include "core/app_log.h"
#include "core/translate_text.h"
#include "ui_base/message_box.h"

namespace druvex {

const char* startupErrorText(int code)
{
    switch (code) {
    case 100:
        return "Error reading file.";
    case 200:
        return "Error locating resources.";
    case 201:
        return "Failed CRC comparison.";
    case 202:
        return "Error reading resources.";
    case 205:
        return "Cannot find or open the specified administrative log file.";
    case 206:
        return "The administrative log file format is not compatible with this installer.";
    case 207:
        return "Error reading installer information.";
    case 209:
        return "The application may be installed only on 64bit OS";
    case 210:
        return "The application may be installed only on 32bit OS";
    case kLoadErrorNoProgramUuid:
        return "The installer data names no ProgramUuid. This installer cannot install the program; ask for a "
               "corrected installer.";
    default:
        return "Undefined error.";
    }
}

void showStartupError(const SharedString& caption, int code)
{
    if (code == kLoadErrorNoInstalledLog) {
        logPrintf(u"The run ends quietly (error %d)", code);
        return;
    }
    const SharedString text = translateText(startupErrorText(code));
    logPrintf(u"Start-up failed with error %d: %s", code, text);
    if (!canShowMessageBox())
        reportFailure(text);
    showMessageBoxOwned(0, text, caption, kMbOk | kMbIconError);
}

}  // namespace druvex
