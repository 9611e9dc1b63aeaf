// Where diagnostics go: the assertion report and plain log lines. The
// application log installs itself as the sink, made on the first line that
// needs it (its maker, below); tests install a capturing sink. Without either
// (the log cannot be made, or is closed) lines go to standard error.
#pragma once

#include <string>
#include <string_view>

#include "text/shared_string.h"

namespace druvex {

class DiagSink {
public:
    virtual ~DiagSink() = default;
    // One log line without prefix or line end.
    virtual void writeLine(std::u16string_view text) = 0;
    virtual void flush() {}
};

// Installs `sink` (null: back to standard error) and returns the previous one
// (null for standard error).
DiagSink* setDiagSink(DiagSink* sink);
// Installs `sink` only while `expected` is the current one (null on either
// side: standard error); true when it did. A sink that is about to go away
// detaches itself this way without undoing another's installation.
bool replaceDiagSink(DiagSink* expected, DiagSink* sink);
// The current sink; null while diagnostics go to standard error.
DiagSink* currentDiagSink();

// What makes the program's sink when a line finds none installed: the
// application log registers it, so that an assertion report or a platform
// line from before anything else logged reaches the log like every later
// line. It may install a sink or leave standard error in place.
using DiagSinkMaker = void (*)();
void setDiagSinkMaker(DiagSinkMaker maker);

// Writes one line to the current sink (made first when none is installed).
void diagWriteLine(std::u16string_view text);
void diagFlush();

// The program-wide assertion report: logs "DBGCHK <message> <sourceFile>:<line>"
// (narrow texts in the ANSI code page), flushes, and lets the program go on.
void reportDbgChk(const char* sourceFile, const char* message, int line);

// Narrow text of the ANSI code page as a log line. A line is never lost: when
// the code page refuses the bytes, each byte becomes the character of its value.
SharedString diagTextFromAnsi(std::string_view text);

// Appends the UTF-8 of a log line: zero characters stay (as 0x00), and every
// unpaired surrogate becomes '?' rather than costing the line.
void appendDiagUtf8(std::string& out, std::u16string_view text);

}  // namespace druvex

#define DRUVEX_DBGCHK(message) ::druvex::reportDbgChk(__FILE__, (message), __LINE__)
