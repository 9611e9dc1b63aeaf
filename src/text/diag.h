// Where diagnostics go: log lines (logPrintf) and the assertion report. The
// application log installs itself as the sink, made on the first line that
// needs it (its maker, below); tests install a capturing sink. Without either
// (the log cannot be made, or is closed) lines go to standard error.
#pragma once

#include <source_location>
#include <span>
#include <string>
#include <string_view>

#include "text/printf.h"
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

// The one way to write a log line: printf-style (printf.h rules), at level 7,
// to the current sink (the application log, made on first use when no other
// sink is installed). Every layer logs through it, the platform's included.
template <class... Args>
void logPrintf(const char16_t* format, const Args&... args);
// Narrow format; the text is taken from the ANSI code page.
template <class... Args>
void logPrintfA(const char* format, const Args&... args);
void logPrintfV(const char16_t* format, std::span<const FormatArg> args);
void logPrintfAV(const char* format, std::span<const FormatArg> args);

// What logPrintf and the assertion report stand on: one finished line to the
// current sink (made first when none is installed), and its flush. The log's
// own functions use them; callers log with logPrintf.
void diagWriteLine(std::u16string_view text);
void diagFlush();

// The program-wide assertion report: logs "DBGCHK <message> <sourceFile>:<line>"
// (narrow texts in the ANSI code page), flushes, and lets the program go on.
void reportDbgChk(const char* sourceFile, const char* message, int line);

// Where an assertion report says it stands. Every check reports at a site:
// DRUVEX_DBGCHK at the line it stands on, a check the log's readers know by a
// fixed name and line at its entry of assertion_sites.h, and a check made on
// a caller's behalf at the caller's std::source_location.
struct DbgChkSite {
    const char* sourceFile;
    int line;

    static DbgChkSite of(const std::source_location& location) noexcept
    {
        return {location.file_name(), static_cast<int>(location.line())};
    }
};

// The assertion report at `site`; the one way checks report.
void reportDbgChk(const DbgChkSite& site, const char* message = "");

// Narrow text of the ANSI code page as a log line. A line is never lost: when
// the code page refuses the bytes, each byte becomes the character of its value.
SharedString diagTextFromAnsi(std::string_view text);

// Appends the UTF-8 of a log line: zero characters stay (as 0x00), and every
// unpaired surrogate becomes '?' rather than costing the line.
void appendDiagUtf8(std::string& out, std::u16string_view text);

template <class... Args>
void logPrintf(const char16_t* format, const Args&... args)
{
    if constexpr (sizeof...(Args) == 0) {
        logPrintfV(format, {});
    } else {
        const FormatArg list[] = {FormatArg(args)...};
        logPrintfV(format, list);
    }
}

template <class... Args>
void logPrintfA(const char* format, const Args&... args)
{
    if constexpr (sizeof...(Args) == 0) {
        logPrintfAV(format, {});
    } else {
        const FormatArg list[] = {FormatArg(args)...};
        logPrintfAV(format, list);
    }
}

}  // namespace druvex

#define DRUVEX_DBGCHK(message) ::druvex::reportDbgChk(::druvex::DbgChkSite{__FILE__, __LINE__}, (message))
