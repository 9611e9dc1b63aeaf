#include "payload_tool/parallel_coding.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "core/memory_status.h"
#include "core/thread_utils.h"

namespace druvex::tools {
namespace {

// What one LZMA encoder of the archive's settings (level 5, 16 MiB
// dictionary, binary-tree match finder) takes, with some room for the
// package reader's buffer.
constexpr std::uint64_t kEncoderBytes = 200ull << 20;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using ScratchFile = std::unique_ptr<std::FILE, FileCloser>;

// A file nobody else can open: it is unlinked as soon as it is made, so it
// goes with its handle whatever happens to the program.
ScratchFile makeScratchFile(const std::filesystem::path& folder, std::string& reason)
{
    std::string pattern = (folder / ".payload_tool-XXXXXX").string();
    const int descriptor = ::mkstemp(pattern.data());
    if (descriptor < 0) {
        reason = "cannot make a scratch file in " + folder.string() + ": " + std::strerror(errno);
        return nullptr;
    }
    ::unlink(pattern.c_str());
    ScratchFile file(::fdopen(descriptor, "w+b"));
    if (!file) {
        ::close(descriptor);
        reason = "cannot open a scratch file in " + folder.string();
    }
    return file;
}

// One job's outcome, handed from its worker to the calling thread.
struct CodedSlot {
    bool done = false;
    bool coded = false;
    ScratchFile file;
    std::uint64_t size = 0;
    std::string reason;
};

void runJob(const CodingJob& job, const std::filesystem::path& folder, CodedSlot& slot)
{
    slot.file = makeScratchFile(folder, slot.reason);
    if (!slot.file)
        return;
    std::FILE* file = slot.file.get();
    const EntryWriteFunction write = [&](const std::uint8_t* bytes, std::size_t count) {
        if (std::fwrite(bytes, 1, count, file) != count)
            return false;
        slot.size += count;
        return true;
    };
    if (!job(write, slot.reason))
        return;
    if (std::fflush(file) != 0 || std::fseek(file, 0, SEEK_SET) != 0) {
        slot.reason = std::string("cannot write a scratch file: ") + std::strerror(errno);
        return;
    }
    slot.coded = true;
}

}  // namespace

bool codeInParallel(const std::vector<CodingJob>& jobs, unsigned threads, const std::filesystem::path& scratchFolder,
                    const CodedEntryFunction& take, std::string& reason)
{
    std::vector<CodedSlot> slots(jobs.size());
    std::mutex mutex;
    std::condition_variable finished;
    std::size_t next = 0;
    bool stop = false;
    const auto work = [&] {
        for (;;) {
            std::size_t index = 0;
            {
                std::lock_guard lock(mutex);
                if (stop || next == jobs.size())
                    return;
                index = next++;
            }
            CodedSlot slot;
            runJob(jobs[index], scratchFolder, slot);
            {
                std::lock_guard lock(mutex);
                slot.done = true;
                slots[index] = std::move(slot);
            }
            finished.notify_all();
        }
    };
    std::vector<WorkerThread> workers;
    const std::size_t count = std::clamp<std::size_t>(threads, 1, std::max<std::size_t>(jobs.size(), 1));
    for (std::size_t i = 0; i < count; ++i) {
        WorkerThread worker(work);
        workers.push_back(std::move(worker));
    }

    bool taken = true;
    for (std::size_t index = 0; index < jobs.size() && taken; ++index) {
        CodedSlot slot;
        {
            std::unique_lock lock(mutex);
            finished.wait(lock, [&] { return slots[index].done; });
            slot = std::move(slots[index]);
        }
        if (!slot.coded) {
            reason = slot.reason;
            taken = false;
            break;
        }
        std::FILE* file = slot.file.get();
        const EntryReadFunction read = [file](std::uint8_t* buffer, std::size_t wanted) -> std::int64_t {
            const std::size_t got = std::fread(buffer, 1, wanted, file);
            return std::ferror(file) ? -1 : static_cast<std::int64_t>(got);
        };
        taken = take(index, slot.size, read);
    }
    {
        std::lock_guard lock(mutex);
        stop = true;
    }
    // The coders still at work finish their entry; what they coded goes with
    // the slots.
    for (WorkerThread& worker : workers)
        worker.join();
    return taken;
}

unsigned codingThreadsFor(unsigned cores, std::uint64_t availableMemory)
{
    std::uint64_t threads = std::max(cores, 1u);
    if (availableMemory > 0)
        threads = std::min<std::uint64_t>(threads, availableMemory / kEncoderBytes);
    return static_cast<unsigned>(std::max<std::uint64_t>(threads, 1));
}

unsigned defaultCodingThreads()
{
    return codingThreadsFor(usableCoreCount(), getFreePhysicalMemory());
}

}  // namespace druvex::tools
