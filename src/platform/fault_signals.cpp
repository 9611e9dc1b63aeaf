#include "platform/fault_signals.h"

#include <execinfo.h>
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <mutex>

#include "platform/exit_status.h"

namespace druvex {
namespace {

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

// The crash report formats texts, reads the registry and copies files on this
// stack, so it is far larger than the usual few kilobytes. Only the pages
// touched are ever committed. Sanitizers need several times as much.
#ifdef DRUVEX_SANITIZED
constexpr std::size_t kAltStackSize = 4u << 20;
#else
constexpr std::size_t kAltStackSize = 1u << 20;
#endif

// A fault this close below the stack's lowest mapped address, or this close
// below the stack pointer, hit the guard zone: the stack overflowed.
constexpr std::uintptr_t kGuardZoneReach = 1u << 20;
constexpr std::uintptr_t kStackPointerReach = 64u << 10;

std::atomic<FaultDispatcher> g_dispatcher{nullptr};
std::atomic<bool> g_installed{false};

struct StackBounds {
    std::uintptr_t low = 0;
    std::uintptr_t high = 0;
};

// Plain thread-locals of the program itself: reading them in a signal handler
// allocates nothing.
thread_local StackBounds t_stack;
thread_local const ExceptionInfo* t_currentFault = nullptr;

void recordStackBounds() noexcept
{
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) != 0)
        return;
    void* address = nullptr;
    std::size_t size = 0;
    if (pthread_attr_getstack(&attributes, &address, &size) == 0) {
        t_stack.low = reinterpret_cast<std::uintptr_t>(address);
        t_stack.high = t_stack.low + size;
    }
    pthread_attr_destroy(&attributes);
}

std::uintptr_t pageSize() noexcept
{
    static const std::uintptr_t size = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    return size;
}

const void* instructionOf(const ucontext_t* context) noexcept
{
#if defined(__x86_64__)
    return reinterpret_cast<const void*>(context->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
    return reinterpret_cast<const void*>(context->uc_mcontext.pc);
#else
    (void)context;
    return nullptr;
#endif
}

const void* stackPointerOf(const ucontext_t* context) noexcept
{
#if defined(__x86_64__)
    return reinterpret_cast<const void*>(context->uc_mcontext.gregs[REG_RSP]);
#elif defined(__aarch64__)
    return reinterpret_cast<const void*>(context->uc_mcontext.sp);
#else
    (void)context;
    return nullptr;
#endif
}

bool isStackOverflow(std::uintptr_t address, std::uintptr_t stackPointer) noexcept
{
    if (address == 0)
        return false;
    if (t_stack.low != 0 && address < t_stack.low + pageSize() && address + kGuardZoneReach >= t_stack.low)
        return true;
    // Threads whose bounds we never recorded: a fault next to the stack
    // pointer can only be the end of the stack.
    return stackPointer != 0 && address < stackPointer + pageSize() && address + kStackPointerReach >= stackPointer;
}

void onFaultSignal(int signal, siginfo_t* info, void* context) noexcept
{
    const int savedErrno = errno;
    const auto* userContext = static_cast<const ucontext_t*>(context);
    ExceptionInfo record;
    record.signal = signal;
    record.signalCode = info ? info->si_code : 0;
    record.faultAddress = info ? info->si_addr : nullptr;
    record.instruction = userContext ? instructionOf(userContext) : nullptr;
    record.stackPointer = userContext ? stackPointerOf(userContext) : nullptr;
    const bool overflow = signal == SIGSEGV && isStackOverflow(reinterpret_cast<std::uintptr_t>(record.faultAddress),
                                                                reinterpret_cast<std::uintptr_t>(record.stackPointer));
    record.code = exceptionCodeFromSignal(signal, record.signalCode, overflow);

    if (FaultDispatcher dispatcher = g_dispatcher.load(std::memory_order_acquire)) {
        CurrentFaultScope scope(record);
        dispatcher(record);
    }
    // Nothing took the fault: the signal's own action ends the process, so a
    // crash never looks like success to the parent.
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    sigemptyset(&standard.sa_mask);
    sigaction(signal, &standard, nullptr);
    errno = savedErrno;
    raise(signal);
}

void onWatchdog(int) noexcept
{
    terminateProcess(kExitCodeCrashInCrash);
}

}  // namespace

std::uint32_t exceptionCodeFromSignal(int signal, int signalCode, bool stackOverflow) noexcept
{
    switch (signal) {
    case SIGSEGV:
        return stackOverflow ? kExceptionStackOverflow : kExceptionAccessViolation;
    case SIGBUS:
        // A page of a mapped file that no longer exists, as the device reports
        // an in-page error; other bus errors are plain access violations.
        return signalCode == BUS_ADRERR ? kExceptionInPageError : kExceptionAccessViolation;
    case SIGILL:
        return kExceptionIllegalInstruction;
    case SIGFPE:
        switch (signalCode) {
        case FPE_INTDIV:
            return kExceptionIntDivideByZero;
        case FPE_INTOVF:
            return kExceptionIntOverflow;
        case FPE_FLTDIV:
            return kExceptionFltDivideByZero;
        case FPE_FLTOVF:
            return kExceptionFltOverflow;
        case FPE_FLTUND:
            return kExceptionFltUnderflow;
        case FPE_FLTRES:
            return kExceptionFltInexactResult;
        default:
            return kExceptionFltInvalidOperation;
        }
    case SIGABRT:
        return kExceptionAbort;
    default:
        return kExceptionAccessViolation;
    }
}

void installFaultHandlers(FaultDispatcher dispatcher)
{
    g_dispatcher.store(dispatcher, std::memory_order_release);
    static std::once_flag once;
    std::call_once(once, [] {
        // The main thread keeps its alternate stack for the life of the process.
        static AltSignalStack* mainStack = new AltSignalStack();
        (void)mainStack;
        // The first backtrace loads the unwinder, which allocates: better
        // here than inside a fault.
        void* frame = nullptr;
        backtrace(&frame, 1);
        struct sigaction action {};
        action.sa_sigaction = onFaultSignal;
        sigemptyset(&action.sa_mask);
        // SA_NODEFER: a fault inside the handler comes back to the handler,
        // which ends the process with the crash-in-crash code; with the signal
        // blocked the kernel would kill the process without a word.
        action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
        for (int signal : kFatalSignals)
            sigaction(signal, &action, nullptr);
        g_installed.store(true, std::memory_order_release);
    });
    recordStackBounds();
}

bool faultHandlersInstalled() noexcept
{
    return g_installed.load(std::memory_order_acquire);
}

AltSignalStack::AltSignalStack()
{
    recordStackBounds();
    // One inaccessible page below the stack turns its own overflow into a
    // fault inside the handler (crash-in-crash) instead of silent corruption.
    const std::size_t guard = pageSize();
    void* mapping = mmap(nullptr, kAltStackSize + guard, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (mapping == MAP_FAILED)
        return;
    mprotect(mapping, guard, PROT_NONE);
    stack_t stack {};
    stack.ss_sp = static_cast<char*>(mapping) + guard;
    stack.ss_size = kAltStackSize;
    stack_t previous {};
    if (sigaltstack(&stack, &previous) != 0) {
        munmap(mapping, kAltStackSize + guard);
        return;
    }
    memory_ = mapping;
    mappedSize_ = kAltStackSize + guard;
    previousStack_ = previous.ss_sp;
    previousSize_ = previous.ss_size;
    previousFlags_ = previous.ss_flags & SS_DISABLE;
}

AltSignalStack::~AltSignalStack()
{
    if (!memory_)
        return;
    // Whoever installed the previous stack frees it later; handing it back
    // keeps them from freeing ours.
    stack_t previous {};
    previous.ss_sp = previousStack_;
    previous.ss_size = previousSize_;
    previous.ss_flags = previousFlags_;
    if (previousFlags_ & SS_DISABLE) {
        previous.ss_sp = nullptr;
        previous.ss_size = 0;
    }
    sigaltstack(&previous, nullptr);
    munmap(memory_, mappedSize_);
}

const ExceptionInfo* currentThreadFault() noexcept
{
    return t_currentFault;
}

CurrentFaultScope::CurrentFaultScope(const ExceptionInfo& info) noexcept : previous_(t_currentFault)
{
    t_currentFault = &info;
}

CurrentFaultScope::~CurrentFaultScope()
{
    t_currentFault = previous_;
}

std::uint32_t currentThreadId() noexcept
{
    return static_cast<std::uint32_t>(syscall(SYS_gettid));
}

void terminateProcess(std::uint32_t exitCode) noexcept
{
    _exit(exitStatusFromCode(exitCode));
}

void armFaultWatchdog(unsigned seconds) noexcept
{
    struct sigaction action {};
    action.sa_handler = onWatchdog;
    sigemptyset(&action.sa_mask);
    sigaction(SIGALRM, &action, nullptr);
    alarm(seconds);
}

}  // namespace druvex
