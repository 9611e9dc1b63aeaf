// Command lines of the device: a program is started with its arguments as one
// text, which it splits into words by the rules of the device's C runtime, and
// the quoting that brings a text back to the program as one word whatever it
// holds. The installer writes the command lines of the installers it starts
// and reads its own with these.
#pragma once

#include <string_view>
#include <vector>

#include "text/shared_string.h"

namespace druvex {

// The words of a command line. Blanks and tabs outside double quotes separate
// words; a double quote starts or ends a quoted part of the word; inside a
// quoted part two double quotes give one. Backslashes are plain characters
// except before a double quote: then each pair gives one backslash, and an
// odd one left over makes the quote a plain character. `""` is an empty word.
std::vector<SharedString> splitCommandLine(std::u16string_view commandLine);

// The text as one word of a command line: as it stands when it is not empty
// and holds no blank, tab or double quote; else in double quotes, with the
// double quotes and the backslashes before them escaped so that
// splitCommandLine gives the text back.
SharedString commandLineWord(const SharedString& text);
// The same, always in double quotes.
SharedString quotedCommandLineWord(const SharedString& text);

}  // namespace druvex
