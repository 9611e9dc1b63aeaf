// The device's structured exceptions on Linux: the fatal signals (SIGSEGV,
// SIGBUS, SIGFPE, SIGILL, SIGABRT) become exception records with the device's
// exception codes and go to one process-wide dispatcher, on an alternate
// signal stack so that a thread whose stack overflowed can still be reported.
//
// What runs in the dispatcher is not async-signal-safe (it formats, logs and
// copies files). That is the price of the device's crash report; two guards
// keep it from hanging or recursing: a fault while the same thread handles a
// fault ends the process at once, and a watchdog alarm ends a handler that
// deadlocked (both with the crash-in-crash code).
#pragma once

#include <cstddef>
#include <cstdint>

namespace druvex {

// The device's exception codes that the fatal signals map to.
constexpr std::uint32_t kExceptionAccessViolation = 0xC0000005;   // SIGSEGV, SIGBUS other than below
constexpr std::uint32_t kExceptionInPageError = 0xC0000006;       // SIGBUS on a mapped file's missing page
constexpr std::uint32_t kExceptionIllegalInstruction = 0xC000001D;
constexpr std::uint32_t kExceptionFltDivideByZero = 0xC000008E;
constexpr std::uint32_t kExceptionFltInexactResult = 0xC000008F;
constexpr std::uint32_t kExceptionFltInvalidOperation = 0xC0000090;
constexpr std::uint32_t kExceptionFltOverflow = 0xC0000091;
constexpr std::uint32_t kExceptionFltStackCheck = 0xC0000092;
constexpr std::uint32_t kExceptionFltUnderflow = 0xC0000093;
constexpr std::uint32_t kExceptionIntDivideByZero = 0xC0000094;
constexpr std::uint32_t kExceptionIntOverflow = 0xC0000095;
constexpr std::uint32_t kExceptionStackOverflow = 0xC00000FD;
// abort() and a failed check: the device's fail-fast code.
constexpr std::uint32_t kExceptionAbort = 0xC0000409;
// A C++ exception that nothing caught: the code the device's compiler raises
// C++ exceptions with.
constexpr std::uint32_t kExceptionCxx = 0xE06D7363;

// One fault as the crash handling sees it.
struct ExceptionInfo {
    std::uint32_t code = 0;              // the device's exception code
    int signal = 0;                      // the host signal; 0 when no signal raised it
    int signalCode = 0;                  // the signal's si_code
    const void* faultAddress = nullptr;  // the address the fault concerns (si_addr)
    const void* instruction = nullptr;   // the faulting instruction; null when unknown
    const void* stackPointer = nullptr;  // the thread's stack pointer at the fault; null when unknown
};

// The device's exception code of a fatal signal (si_code distinguishes the
// floating-point and bus cases); a segmentation fault in the stack's guard
// zone is a stack overflow.
std::uint32_t exceptionCodeFromSignal(int signal, int signalCode, bool stackOverflow) noexcept;

// Receives every fault of the process. It should not return: when it does,
// the signal's default action ends the process.
using FaultDispatcher = void (*)(const ExceptionInfo& info);

// Installs the handlers of the fatal signals (the first call) and sets the
// dispatcher; gives the calling thread an alternate signal stack for the rest
// of its life and records its stack bounds.
void installFaultHandlers(FaultDispatcher dispatcher);
bool faultHandlersInstalled() noexcept;

// Gives the calling thread an alternate signal stack and records its stack
// bounds for the life of the object; then restores what the thread had before
// (a sanitizer's own stack, for one). The thread start wrapper makes one.
class AltSignalStack {
public:
    AltSignalStack();
    ~AltSignalStack();
    AltSignalStack(const AltSignalStack&) = delete;
    AltSignalStack& operator=(const AltSignalStack&) = delete;

    bool active() const { return memory_ != nullptr; }

private:
    void* memory_ = nullptr;
    std::size_t mappedSize_ = 0;
    void* previousStack_ = nullptr;
    std::size_t previousSize_ = 0;
    int previousFlags_ = 0;
};

// The fault the calling thread is handling now; null when there is none.
const ExceptionInfo* currentThreadFault() noexcept;

// Makes `info` the calling thread's current fault for the life of the object
// (the signal handler does this around the dispatcher; the C++ exception
// paths use it to give the crash dump its record).
class CurrentFaultScope {
public:
    explicit CurrentFaultScope(const ExceptionInfo& info) noexcept;
    ~CurrentFaultScope();
    CurrentFaultScope(const CurrentFaultScope&) = delete;
    CurrentFaultScope& operator=(const CurrentFaultScope&) = delete;

private:
    const ExceptionInfo* previous_;
};

// The kernel's id of the calling thread, as logs and crash lines print it.
std::uint32_t currentThreadId() noexcept;

// Ends the process at once, without exit handlers, with the status that
// `exitCode` maps to (the device's TerminateProcess of itself).
[[noreturn]] void terminateProcess(std::uint32_t exitCode) noexcept;

// After `seconds`, ends the process with the crash-in-crash code; a fault
// handler arms it so that a handler that deadlocks still ends. 0 disarms.
void armFaultWatchdog(unsigned seconds) noexcept;

}  // namespace druvex
