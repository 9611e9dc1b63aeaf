// Counts the system calls that a piece of work makes, the calls of the
// threads it starts included: the work runs in a child process that its
// parent traces (ptrace), either a fork of the caller running a function
// (fork only where no other thread holds a lock the work needs; the device
// folder's change notices are off in a fork, so paths are looked up on the
// disk) or a program counting between two marks of its own.
#pragma once

#include <sys/ptrace.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <signal.h>
#include <unistd.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace druvex::test {

struct SystemCallCounts {
    // False when the child could not be traced or the work answered false.
    bool traced = false;
    // The child's exit status, or -1 when a signal ended it or it never ran.
    int exitStatus = -1;
    std::map<long, long> byNumber;

    long count(std::initializer_list<long> numbers) const
    {
        long total = 0;
        for (const long number : numbers) {
            const auto found = byNumber.find(number);
            total += found == byNumber.end() ? 0 : found->second;
        }
        return total;
    }
    // Every way to ask for a file's status, by name or by descriptor.
    long stats() const
    {
        return count({
#ifdef SYS_stat
            SYS_stat,
#endif
#ifdef SYS_lstat
            SYS_lstat,
#endif
#ifdef SYS_fstat
            SYS_fstat,
#endif
#ifdef SYS_newfstatat
            SYS_newfstatat,
#endif
#ifdef SYS_statx
            SYS_statx,
#endif
        });
    }
    long seeks() const
    {
        return count({
#ifdef SYS_lseek
            SYS_lseek,
#endif
#ifdef SYS__llseek
            SYS__llseek,
#endif
        });
    }
    long writes() const { return count({SYS_write, SYS_pwrite64, SYS_writev}); }
    long total() const
    {
        long all = 0;
        for (const auto& [number, calls] : byNumber)
            all += calls;
        return all;
    }
    // Calls the allocator makes when its heap grows or shrinks: how many
    // depends on what ran before, not on the work counted.
    long memory() const
    {
        return count({SYS_brk, SYS_mmap, SYS_munmap, SYS_mremap, SYS_madvise, SYS_mprotect});
    }
    long withoutMemory() const { return total() - memory(); }
};

// A traced program starts and stops the count with this call (a close of a
// descriptor that cannot exist), so that only the part that matters counts.
constexpr int kSystemCallCountMarker = -0x5EED;
inline void toggleSystemCallCount()
{
    ::close(kSystemCallCountMarker);
}

namespace detail {

// Follows the stopped child and its threads to their end.
inline SystemCallCounts traceChild(pid_t child, bool counting)
{
    SystemCallCounts counts;
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFSTOPPED(status)) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        return counts;
    }
    const long options = PTRACE_O_TRACESYSGOOD | PTRACE_O_TRACECLONE | PTRACE_O_TRACEEXEC | PTRACE_O_EXITKILL;
    ::ptrace(PTRACE_SETOPTIONS, child, nullptr, reinterpret_cast<void*>(options));
    ::ptrace(PTRACE_SYSCALL, child, nullptr, nullptr);
    // Threads report their first stop before or after their creator's clone
    // event; either way they are tracees whose starting stop is swallowed.
    std::set<pid_t> known{child};
    std::set<pid_t> started{child};
    bool exited = false;
    int exitStatus = -1;
    while (!known.empty()) {
        const pid_t tid = ::waitpid(-1, &status, __WALL);
        if (tid < 0)
            break;
        if (WIFEXITED(status) || WIFSIGNALED(status)) {
            known.erase(tid);
            if (tid == child) {
                exited = true;
                exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            continue;
        }
        if (!WIFSTOPPED(status))
            continue;
        known.insert(tid);
        int signal = 0;
        const int stop = WSTOPSIG(status);
        const int event = status >> 16;
        if (stop == (SIGTRAP | 0x80)) {
            __ptrace_syscall_info info{};
            if (::ptrace(PTRACE_GET_SYSCALL_INFO, tid, reinterpret_cast<void*>(sizeof info), &info) > 0 &&
                info.op == PTRACE_SYSCALL_INFO_ENTRY) {
                const long number = static_cast<long>(info.entry.nr);
                if (number == SYS_close && static_cast<int>(info.entry.args[0]) == kSystemCallCountMarker)
                    counting = !counting;
                else if (counting && number != SYS_exit_group && number != SYS_exit)
                    ++counts.byNumber[number];
            }
        } else if (stop == SIGTRAP && event == PTRACE_EVENT_CLONE) {
            unsigned long created = 0;
            ::ptrace(PTRACE_GETEVENTMSG, tid, nullptr, &created);
            known.insert(static_cast<pid_t>(created));
        } else if (stop == SIGSTOP && !started.contains(tid)) {
            started.insert(tid);
        } else if (event == 0) {
            signal = stop;
        }
        ::ptrace(PTRACE_SYSCALL, tid, nullptr, reinterpret_cast<void*>(static_cast<long>(signal)));
    }
    counts.exitStatus = exited ? exitStatus : -1;
    counts.traced = exited && exitStatus == 0;
    return counts;
}

// A child that stops until its tracer takes it, then does `run`, which
// ends the child; -1 when no child could be made.
template <typename Run>
pid_t startTracedChild(const Run& run)
{
    const pid_t child = ::fork();
    if (child == 0) {
        if (::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0)
            ::_exit(126);
        ::raise(SIGSTOP);
        run();
    }
    return child;
}

}  // namespace detail

// The calls of `work` (run in the child, which ends when it returns) and of
// the threads it starts, except the child's own exit.
inline SystemCallCounts countSystemCalls(const std::function<bool()>& work)
{
    const pid_t child = detail::startTracedChild([&] { ::_exit(work() ? 0 : 1); });
    return child < 0 ? SystemCallCounts{} : detail::traceChild(child, true);
}

// The calls that the program `command` (its path first) makes between its
// first and second toggleSystemCallCount, its threads' included; traced
// only when it ends with status 0.
inline SystemCallCounts countSystemCallsOf(const std::vector<std::string>& command)
{
    std::vector<char*> argv;
    for (const std::string& argument : command)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const pid_t child = detail::startTracedChild([&] {
        ::execv(argv[0], argv.data());
        ::_exit(127);
    });
    return child < 0 ? SystemCallCounts{} : detail::traceChild(child, false);
}

}  // namespace druvex::test
