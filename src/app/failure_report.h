// The lines a person reads on standard error when the program has no other
// way to tell them why it stops: a silent run, an update check, a device
// folder where not even the log can be written. Each is one line that names
// the log's file on this machine, or says that there is none.
#pragma once

#include "text/shared_string.h"

namespace druvex {

// "druvex-setup: <text> (the log: <host path>)", or "... (no log could be
// written)" when the log never opened.
void reportFailure(const SharedString& text);

// "druvex-setup: <text>": a line about what the run was asked and passed
// over, which does not end it.
void reportNotice(const SharedString& text);

// When the log could not be opened: the file it was to be, on this machine,
// and the system's reason, so that a device folder that cannot be written (a
// read-only mount, no permission) does not end the run without a word.
// Nothing when the log is open.
void reportUnwritableLog();

}  // namespace druvex
