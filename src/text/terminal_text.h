// Text for a line on the terminal that may quote input: a name from
// device.ini, data.xml or a package, a script's error. Its non-printing bytes
// must not move the cursor, clear the screen or set the terminal's modes.
#pragma once

#include <string>
#include <string_view>

namespace druvex {

// The UTF-8 line as it stands, except for what a terminal would take as a
// command rather than show: each C0 control (tab and line feed included,
// since a line is one line) and DEL becomes "\xNN", each C1 control
// (U+0080 to U+009F) "\u00NN", and each byte that is no part of a whole UTF-8
// sequence "\xNN". Backslashes stay as they are: device paths are full of them.
std::string terminalText(std::string_view utf8);

}  // namespace druvex
