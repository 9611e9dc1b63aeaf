// Device processes over host child processes: a program started with
// posix_spawn (never through a shell) with the device's whole command line as
// its one argument, process handles to wait on and read the exit code from,
// and no zombie left behind, even by a child whose handles were closed while
// it still ran.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace druvex {

class WaitTimeouts;

// A process handle; the process and its thread each get one, and either may
// be waited on. Values never collide with file handles and are never reused.
using ProcessHandle = std::intptr_t;
constexpr ProcessHandle kInvalidProcessHandle = -1;

// The exit code of a process that still runs.
constexpr std::uint32_t kStillActive = 259;
// Answers of waitForProcess.
constexpr std::uint32_t kWaitObject0 = 0;
constexpr std::uint32_t kWaitTimeout = 258;
constexpr std::uint32_t kWaitFailed = 0xFFFFFFFF;
// The exit code of a child that a signal ended: this bit with the signal's
// number (a normal end gives its status, 0 to 255).
constexpr std::uint32_t kExitCodeSignalled = 0x80000000;

struct StartedProcess {
    ProcessHandle process = kInvalidProcessHandle;
    ProcessHandle thread = kInvalidProcessHandle;
    std::uint32_t processId = 0;
    std::uint32_t threadId = 0;
};

// Starts the host program `program` (UTF-8 path) with exactly one argument
// after its name: `argument`, unsplit, even when empty. The child inherits the
// environment, with DRUVEX_DEVICE naming the active device directory when
// there is one, standard input and output, and no other descriptor. Returns 0
// or the device error (also the last error): 2 for a missing program, 5 for
// one that may not be run, 193 for a file the host cannot run.
std::uint32_t startProcess(const std::string& program, std::string_view argument, StartedProcess& started);

// Whether the host file is an ELF program built for this machine (the class,
// byte order and machine of this program's own image).
bool isProgramOfThisMachine(const std::string& path);

// Waits until the process ends or `timeoutMs` has passed (kInfiniteWait: no
// limit; 0: only looks): kWaitObject0 when it has ended, kWaitTimeout when it
// still runs, kWaitFailed (last error 6) for an unknown handle.
std::uint32_t waitForProcess(ProcessHandle handle, std::uint32_t timeoutMs);

// The exit code, kStillActive while the process runs. False (last error 6)
// for an unknown handle.
bool getProcessExitCode(ProcessHandle handle, std::uint32_t& exitCode);

// Closes one handle. A child whose last handle goes while it still runs is
// reaped once it has ended: by the next call of this layer or by
// reapEndedProcesses. False (last error 6) for an unknown handle.
bool closeProcessHandle(ProcessHandle handle);

// Reaps every child whose handles are all closed and that has ended since.
void reapEndedProcesses();

// How long a timed wait really waits (null: the time asked for); tests let a
// time-out pass at once. Returns the previous one.
WaitTimeouts* setProcessWaitTimeouts(WaitTimeouts* timeouts);

}  // namespace druvex
