// The crash report: what happens when the program faults. The fault handlers
// (platform/fault_signals.h) hand every fault here. Inside a guarded scope
// (the user interface's message dispatch) the logging crash filter runs: the
// "EXCEPTION" line with the free memory, "STACKOVERFLOW" for a stack
// overflow, the "APPCRASH" line, a crash dump into one of ten slots
// (crash_dump.h); then the program ends with the crash code 0xBADE0000. A
// fault anywhere else (a worker thread, or no guard) writes the same lines
// and ends the same way, so a crash always leaves its trace and never reads
// as success. A fault while the same thread handles one ends the program at
// once with 0xBADEE000.
#pragma once

#include <source_location>

#include "text/shared_string.h"
#include "platform/fault_signals.h"

namespace druvex {

// Installs the fault handlers and the handler of uncaught C++ exceptions, and
// gives the calling thread an alternate signal stack. Called once at start-up
// on the main thread, before other threads start; `site` names the main
// thread in crash lines from outside a guarded scope.
void installCrashHandlers(std::source_location site = std::source_location::current());

// Guards the calling thread for the life of the object: a fault inside runs
// crashExceptionFilter with this source file, line and mode, then fatalExit.
// Mode 0 ends the program; with mode 1 the filter passes the fault on, and it
// is reported and ends the program like an unguarded one (a fault cannot be
// resumed on this platform). Scopes nest; the innermost counts.
class CrashGuardScope {
public:
    CrashGuardScope(const char* sourceFile, int line, int mode = 0) noexcept;
    ~CrashGuardScope();
    CrashGuardScope(const CrashGuardScope&) = delete;
    CrashGuardScope& operator=(const CrashGuardScope&) = delete;

private:
    friend struct CrashDispatch;
    const char* sourceFile_;
    int line_;
    int mode_;
    CrashGuardScope* outer_;
};

// The logging crash filter. Returns 1 (handle: fatalExit follows) or 0 (pass
// on): 0 without exception information (a code of 0), for a floating-point
// stack check and in mode 1. Writes the crash lines and the dump; a second
// fault on the thread that is handling one ends the program with 0xBADEE000,
// and a fault on another thread meanwhile waits its turn.
int crashExceptionFilter(const ExceptionInfo* info, const char* sourceFile, int line, int mode);

// Runs after the filter chose to handle: breaks into an attached debugger;
// with mode 0, marks a crash in progress, logs the exit code and ends the
// program through the normal exit path (exit handlers run, so the log closes
// with "Logging finished") with the status of 0xBADE0000. Other modes return.
void fatalExit(int mode);

// Whether a debugger (any tracer) is attached to the process.
bool isDebuggerAttached();

// Runs once, first, when a fault is to be reported: before the crash line and
// the dump. The terminal user interface gives the terminal back to the
// person here, since the program ends right after the report. It runs inside
// the fault handler, so it must be async-signal-safe. Null: none.
using CrashCleanup = void (*)() noexcept;
void setCrashCleanup(CrashCleanup cleanup);
// Runs the installed cleanup unless it has run already. Code that reports a
// fault itself (a caught C++ exception given to crashExceptionFilter) calls it
// first.
void runCrashCleanup() noexcept;

// Asked about faults outside a guarded scope, before the program ends.
// Nothing in the program installs one.
class CrashObserver {
public:
    virtual ~CrashObserver() = default;
    // Whether to break into the debugger first.
    virtual bool breakIntoDebugger() = 0;
    // "STACKOVERFLOW", "APPCRASH (<code> in THR#<id>)", "Free Memory: ...".
    virtual void crashText(const SharedString& text) = 0;
    virtual void writeDump() = 0;
};

// Installs the observer (null: none); it must live until the program ends.
void setCrashObserver(CrashObserver* observer);

// The worker guard's filter and handler, for a fault outside any guarded
// scope: the crash lines and the dump (with the thread's start site), the
// crash observer's calls, then the crash exit code. Never returns. The fault
// handlers and the thread start routine (an uncaught C++ exception) call it.
[[noreturn]] void handleThreadFault(const ExceptionInfo& info);

}  // namespace druvex
