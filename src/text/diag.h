// Where diagnostics go: the assertion report and plain log lines. Until the
// application log exists they go to standard error; the log installs itself as
// the sink, and tests install a capturing one.
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

// Writes one line to the current sink.
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
