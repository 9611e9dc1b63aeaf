// The start-up failures as a person reads them: the fixed texts of the
// error codes of the installer's load and initialisation, shown in an error
// box and kept in the log.
#pragma once

#include "text/shared_string.h"

namespace druvex {

// The caption of the boxes shown before the installer data names the program.
inline constexpr char16_t kInstallerWindowTitle[] = u"DRUVEX Installer";

// The untranslated text of `code`: 100 "Error reading file.", 200 "Error
// locating resources.", 201 "Failed CRC comparison.", 202 "Error reading
// resources.", 205 and 206 the administrative log file's texts, 207 "Error
// reading installer information.", 209 and 210 the 64-bit and 32-bit OS
// texts, 211 the installer data without a ProgramUuid; "Undefined error." for
// any other code.
const char* startupErrorText(int code);

// Writes the code and its translated text to the log and shows the text in an
// error box captioned `caption`. Where no person can see the box (a silent
// run, no terminal), the text goes to standard error as well, with the log's
// path. Code 208 (a program named "setup" with no installed log beside it)
// ends the run quietly: nothing is shown.
void showStartupError(const SharedString& caption, int code);

}  // namespace druvex
