#include "platform/process.h"

#include <elf.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <thread>
#include <vector>

#include "platform/device_root.h"
#include "platform/manual_reset_event.h"
#include "platform/win_error.h"
#include "text/mutex.h"

extern char** environ;

namespace druvex {

namespace {

constexpr char kDeviceVariable[] = "DRUVEX_DEVICE";
// Where polling stands in for a process descriptor the kernel does not offer.
constexpr auto kPollStep = std::chrono::milliseconds(5);

// One child, shared by its handles and by the waits under way on it.
struct Child {
    explicit Child(pid_t id) : pid(id)
    {
        // A descriptor that becomes readable when the child ends lets a wait
        // with a time-out sleep in the kernel instead of polling.
        const long fd = ::syscall(SYS_pidfd_open, id, 0);
        pidfd = fd >= 0 ? static_cast<int>(fd) : -1;
    }
    ~Child()
    {
        // Closed only here: a wait on another thread may still be polling it.
        if (pidfd >= 0)
            ::close(pidfd);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // Reaps the child when it has ended; true once it has.
    bool reapIfEnded()
    {
        MutexLock lock(mutex);
        if (ended)
            return true;
        int status = 0;
        pid_t result = 0;
        do {
            result = ::waitpid(pid, &status, WNOHANG);
        } while (result < 0 && errno == EINTR);
        if (result == 0)
            return false;
        ended = true;
        if (result < 0)
            exitCode = kWaitFailed;  // someone else reaped it; its code is lost
        else if (WIFEXITED(status))
            exitCode = static_cast<std::uint32_t>(WEXITSTATUS(status));
        else
            exitCode = kExitCodeSignalled | static_cast<std::uint32_t>(WTERMSIG(status));
        return true;
    }

    std::uint32_t currentExitCode()
    {
        MutexLock lock(mutex);
        return ended ? exitCode : kStillActive;
    }

    const pid_t pid;
    int pidfd = -1;
    Mutex mutex;
    bool ended GUARDED_BY(mutex) = false;
    std::uint32_t exitCode GUARDED_BY(mutex) = kStillActive;
    int openHandles = 0;  // guarded by the table's mutex
};

struct ProcessTable {
    Mutex mutex;
    std::map<ProcessHandle, std::shared_ptr<Child>> handles GUARDED_BY(mutex);
    // Children whose handles are all closed but that have not been reaped.
    std::vector<std::shared_ptr<Child>> orphans GUARDED_BY(mutex);
    ProcessHandle nextHandle GUARDED_BY(mutex) = 0x40000;
    std::atomic<WaitTimeouts*> timeouts{nullptr};
};

ProcessTable& table()
{
    // Never destroyed: a wait on another thread may outlive static objects.
    static ProcessTable* processes = new ProcessTable;
    return *processes;
}

void reapOrphans()
{
    ProcessTable& processes = table();
    MutexLock lock(processes.mutex);
    std::erase_if(processes.orphans, [](const std::shared_ptr<Child>& child) { return child->reapIfEnded(); });
}

std::shared_ptr<Child> findChild(ProcessHandle handle)
{
    reapOrphans();
    ProcessTable& processes = table();
    MutexLock lock(processes.mutex);
    const auto found = processes.handles.find(handle);
    if (found == processes.handles.end()) {
        setLastError(kErrorInvalidHandle);
        return nullptr;
    }
    return found->second;
}

// The caller's environment, with the device this process uses named for the
// child (a device activated in code has no variable to inherit).
std::vector<std::string> childEnvironment()
{
    std::vector<std::string> variables;
    const std::string device = DeviceRoot::instance().deviceDirectory();
    const std::string prefix = std::string(kDeviceVariable) + "=";
    for (char** entry = environ; entry && *entry; ++entry) {
        if (!device.empty() && std::strncmp(*entry, prefix.c_str(), prefix.size()) == 0)
            continue;
        variables.emplace_back(*entry);
    }
    if (!device.empty())
        variables.push_back(prefix + device);
    return variables;
}

// The identifying fields of an ELF header: class, byte order and machine.
struct ElfIdentity {
    unsigned char elfClass = 0;
    unsigned char byteOrder = 0;
    std::uint16_t machine = 0;

    bool operator==(const ElfIdentity&) const = default;
};

bool readElfIdentity(const char* path, ElfIdentity& identity)
{
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    // The machine field sits at the same offset in 32- and 64-bit headers.
    unsigned char header[EI_NIDENT + 4] = {};
    ssize_t got = 0;
    do {
        got = ::pread(fd, header, sizeof(header), 0);
    } while (got < 0 && errno == EINTR);
    ::close(fd);
    if (got != static_cast<ssize_t>(sizeof(header)) || std::memcmp(header, ELFMAG, SELFMAG) != 0)
        return false;
    identity.elfClass = header[EI_CLASS];
    identity.byteOrder = header[EI_DATA];
    const unsigned char* machine = header + EI_NIDENT + 2;
    identity.machine = header[EI_DATA] == ELFDATA2MSB ? static_cast<std::uint16_t>(machine[0] << 8 | machine[1])
                                                      : static_cast<std::uint16_t>(machine[1] << 8 | machine[0]);
    return true;
}

// Waits for the child's end at most `timeout` (negative: without limit).
bool awaitEnd(Child& child, std::chrono::milliseconds timeout)
{
    const bool limited = timeout.count() >= 0;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (child.reapIfEnded())
            return true;
        const auto remaining =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (limited && remaining.count() <= 0)
            return false;
        if (child.pidfd < 0) {
            std::this_thread::sleep_for(limited ? std::min(remaining, kPollStep) : kPollStep);
            continue;
        }
        pollfd entry{child.pidfd, POLLIN, 0};
        const auto ms = limited ? std::min<std::int64_t>(remaining.count(), 0x7FFFFFFF) : -1;
        ::poll(&entry, 1, static_cast<int>(ms));
    }
}

}  // namespace

std::uint32_t startProcess(const std::string& program, std::string_view argument, StartedProcess& started)
{
    reapOrphans();
    const std::string argumentText(argument);
    std::vector<std::string> variables = childEnvironment();
    std::vector<char*> environment;
    environment.reserve(variables.size() + 1);
    for (std::string& variable : variables)
        environment.push_back(variable.data());
    environment.push_back(nullptr);
    char* arguments[] = {const_cast<char*>(program.c_str()), const_cast<char*>(argumentText.c_str()), nullptr};

    // The child starts with no blocked signal and the default action for
    // every signal, whatever this program's handlers and masks are.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    const int error = ::posix_spawn(&pid, program.c_str(), nullptr, &attributes, arguments, environment.data());
    posix_spawnattr_destroy(&attributes);
    if (error != 0) {
        const std::uint32_t code = errorFromErrno(error);
        setLastError(code);
        return code;
    }

    auto child = std::make_shared<Child>(pid);
    ProcessTable& processes = table();
    MutexLock lock(processes.mutex);
    started.process = processes.nextHandle;
    started.thread = processes.nextHandle + 4;
    processes.nextHandle += 8;
    processes.handles.emplace(started.process, child);
    processes.handles.emplace(started.thread, child);
    child->openHandles = 2;
    // The main thread of a Linux process has the process's id.
    started.processId = static_cast<std::uint32_t>(pid);
    started.threadId = static_cast<std::uint32_t>(pid);
    return kErrorSuccess;
}

bool isProgramOfThisMachine(const std::string& path)
{
    static const ElfIdentity own = [] {
        ElfIdentity identity;
        readElfIdentity("/proc/self/exe", identity);
        return identity;
    }();
    ElfIdentity identity;
    return readElfIdentity(path.c_str(), identity) && identity == own;
}

std::uint32_t waitForProcess(ProcessHandle handle, std::uint32_t timeoutMs)
{
    const std::shared_ptr<Child> child = findChild(handle);
    if (!child)
        return kWaitFailed;
    std::chrono::milliseconds timeout(-1);
    if (timeoutMs != kInfiniteWait) {
        WaitTimeouts* timeouts = table().timeouts.load();
        timeout = timeoutMs != 0 && timeouts ? timeouts->effectiveTimeout(timeoutMs)
                                             : std::chrono::milliseconds(timeoutMs);
        timeout = std::max(timeout, std::chrono::milliseconds(0));
    }
    return awaitEnd(*child, timeout) ? kWaitObject0 : kWaitTimeout;
}

bool getProcessExitCode(ProcessHandle handle, std::uint32_t& exitCode)
{
    const std::shared_ptr<Child> child = findChild(handle);
    if (!child)
        return false;
    child->reapIfEnded();
    exitCode = child->currentExitCode();
    return true;
}

bool closeProcessHandle(ProcessHandle handle)
{
    reapOrphans();
    ProcessTable& processes = table();
    MutexLock lock(processes.mutex);
    const auto found = processes.handles.find(handle);
    if (found == processes.handles.end()) {
        setLastError(kErrorInvalidHandle);
        return false;
    }
    std::shared_ptr<Child> child = std::move(found->second);
    processes.handles.erase(found);
    if (--child->openHandles == 0 && !child->reapIfEnded())
        processes.orphans.push_back(std::move(child));
    return true;
}

void reapEndedProcesses()
{
    reapOrphans();
}

WaitTimeouts* setProcessWaitTimeouts(WaitTimeouts* timeouts)
{
    return table().timeouts.exchange(timeouts);
}

}  // namespace druvex
