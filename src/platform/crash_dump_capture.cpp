// The stand-in for the device's crash-dump capture: a text dump of our own
// (the fault record, a backtrace of the calling thread and the process's
// memory map) written into the system's dump directory. It is usually called
// from a fault handler, so the file itself is written with plain system calls
// from fixed buffers; finding the directory (registry, path mapping) is not
// free of allocation, like the rest of the crash report.
#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "text/shared_string.h"
#include "platform/builtin_modules.h"
#include "platform/device_root.h"
#include "platform/fault_signals.h"
#include "platform/registry.h"
#include "platform/win_error.h"

namespace druvex {
namespace {

constexpr int kMaxFrames = 128;

// A line assembled in a fixed buffer and written with one write().
class LineBuffer {
public:
    explicit LineBuffer(int fd) : fd_(fd) {}

    LineBuffer& text(const char* text)
    {
        while (*text && length_ < sizeof buffer_)
            buffer_[length_++] = *text++;
        return *this;
    }
    LineBuffer& decimal(std::uint64_t value)
    {
        char digits[24];
        int count = 0;
        do {
            digits[count++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0);
        while (count > 0 && length_ < sizeof buffer_)
            buffer_[length_++] = digits[--count];
        return *this;
    }
    LineBuffer& hex(std::uint64_t value)
    {
        text("0x");
        char digits[16];
        int count = 0;
        do {
            digits[count++] = "0123456789ABCDEF"[value & 15];
            value >>= 4;
        } while (value != 0);
        while (count > 0 && length_ < sizeof buffer_)
            buffer_[length_++] = digits[--count];
        return *this;
    }
    LineBuffer& pointer(const void* value) { return hex(reinterpret_cast<std::uintptr_t>(value)); }
    // Writes the line with its line end; false when the write failed.
    bool end()
    {
        text("\n");
        const bool written = writeAll(fd_, buffer_, length_);
        length_ = 0;
        return written;
    }

    static bool writeAll(int fd, const char* data, std::size_t size)
    {
        while (size > 0) {
            const ssize_t written = ::write(fd, data, size);
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                return false;
            data += written;
            size -= static_cast<std::size_t>(written);
        }
        return true;
    }

private:
    int fd_;
    char buffer_[256];
    std::size_t length_ = 0;
};

const char* signalName(int signal)
{
    switch (signal) {
    case SIGSEGV:
        return "SIGSEGV";
    case SIGBUS:
        return "SIGBUS";
    case SIGFPE:
        return "SIGFPE";
    case SIGILL:
        return "SIGILL";
    case SIGABRT:
        return "SIGABRT";
    default:
        return "none";
    }
}

bool copyMemoryMap(int fd)
{
    const int maps = ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (maps < 0)
        return false;
    char chunk[4096];
    bool ok = true;
    for (;;) {
        const ssize_t got = ::read(maps, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        if (!LineBuffer::writeAll(fd, chunk, static_cast<std::size_t>(got))) {
            ok = false;
            break;
        }
    }
    ::close(maps);
    return ok;
}

bool writeDump(int fd, std::uint32_t threadId)
{
    LineBuffer line(fd);
    timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    bool ok = line.text("Crash dump of process ").decimal(static_cast<std::uint64_t>(getpid()))
                  .text(", thread ").decimal(threadId).end();
    ok = ok && line.text("Time: ").decimal(static_cast<std::uint64_t>(now.tv_sec)).text(" s since 1970 UTC").end();
    if (const ExceptionInfo* fault = currentThreadFault()) {
        ok = ok && line.text("Exception code: ").hex(fault->code).end();
        ok = ok && line.text("Signal: ").decimal(static_cast<std::uint64_t>(fault->signal)).text(" (")
                       .text(signalName(fault->signal)).text("), code ")
                       .decimal(static_cast<std::uint64_t>(static_cast<std::uint32_t>(fault->signalCode))).end();
        ok = ok && line.text("Fault address: ").pointer(fault->faultAddress).end();
        ok = ok && line.text("Instruction: ").pointer(fault->instruction).end();
        ok = ok && line.text("Stack pointer: ").pointer(fault->stackPointer).end();
    } else {
        ok = ok && line.text("No fault: dump taken on request").end();
    }
    ok = ok && line.end() && line.text("Backtrace:").end();
    void* frames[kMaxFrames];
    const int count = backtrace(frames, kMaxFrames);
    backtrace_symbols_fd(frames, count, fd);
    ok = ok && line.end() && line.text("Memory map:").end();
    return ok && copyMemoryMap(fd);
}

// A name no other dump of this process has used; with O_EXCL, never one that
// another program's dump already has.
int createDumpFile(const std::string& folder, std::string& path)
{
    static std::atomic<unsigned> sequence{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        path = folder + "/druvex_" + std::to_string(getpid()) + "_" + std::to_string(sequence.fetch_add(1)) +
               ".kdmp.txt";
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

}  // namespace

bool captureDumpFileOnDevice(std::uint32_t processId, std::uint32_t threadId, const char16_t* extraFilesPath)
{
    const std::uint32_t self = currentThreadId();
    if ((processId != 0 && processId != static_cast<std::uint32_t>(getpid())) ||
        (threadId != 0 && threadId != self) || extraFilesPath != nullptr) {
        setLastError(kErrorNotSupported);
        return false;
    }
    SharedString folder;
    if (!readRegistryString(kRegistryLocalMachine, kDumpSettingsKey, kDumpDirectoryValue, folder) ||
        folder.view().empty()) {
        setLastError(kErrorPathNotFound);
        return false;
    }
    std::string hostFolder;
    if (const std::uint32_t error = DeviceRoot::instance().toHostPath(folder.view(), hostFolder)) {
        setLastError(error);
        return false;
    }
    std::error_code ignored;
    std::filesystem::create_directories(hostFolder, ignored);
    std::string path;
    const int fd = createDumpFile(hostFolder, path);
    if (fd < 0) {
        setLastError(errorFromErrno(errno));
        return false;
    }
    const bool written = writeDump(fd, self);
    const int writeErrno = errno;
    const bool closed = ::close(fd) == 0;
    DeviceRoot::instance().noteCreated(path);
    if (!written || !closed) {
        setLastError(errorFromErrno(written ? errno : writeErrno));
        return false;
    }
    return true;
}

}  // namespace druvex
