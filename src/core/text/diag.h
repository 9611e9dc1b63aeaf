// Where diagnostics go: the assertion report and plain log lines. Until the
// application log exists they go to standard error; the log installs itself as
// the sink, and tests install a capturing one.
#pragma once

#include <string_view>

namespace druvex {

class DiagSink {
public:
    virtual ~DiagSink() = default;
    // One log line without prefix or line end.
    virtual void writeLine(std::u16string_view text) = 0;
    virtual void flush() {}
};

// Installs `sink` (null: back to standard error) and returns the previous one.
DiagSink* setDiagSink(DiagSink* sink);

// Writes one line to the current sink.
void diagWriteLine(std::u16string_view text);
void diagFlush();

// The program-wide assertion report: logs "DBGCHK <message> <sourceFile>:<line>",
// flushes, and lets the program go on.
void reportDbgChk(const char* sourceFile, const char* message, int line);

}  // namespace druvex

#define DRUVEX_DBGCHK(message) ::druvex::reportDbgChk(__FILE__, (message), __LINE__)
