#include "platform/folder_watch.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <chrono>
#include <mutex>
#include <thread>

#include "text/mutex.h"

namespace druvex {
namespace {

constexpr std::uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF |
                                     IN_MOVE_SELF | IN_ONLYDIR;

constexpr std::chrono::milliseconds kGatherTime{2};

// Raised in a child of fork: the watcher's thread stayed in the parent, and
// the notices it would read belong to the parent's descriptor.
std::atomic<bool> g_forked{false};

void markForked()
{
    g_forked.store(true, std::memory_order_relaxed);
}

}  // namespace

struct FolderWatcher::State {
    explicit State(Handler onChanges) : handler(std::move(onChanges)) {}

    ~State()
    {
        if (fd >= 0)
            ::close(fd);
        if (stopFd >= 0)
            ::close(stopFd);
    }

    Handler handler;
    Mutex startMutex;
    // Set once, before the thread starts, and read without the lock after.
    int fd = -1;
    // Written by the destructor to end the thread.
    int stopFd = -1;
    bool started GUARDED_BY(startMutex) = false;
    bool failed GUARDED_BY(startMutex) = false;
    // One reader at a time, the thread or a caller of catchUp, so that
    // notices reach the handler in the order the kernel queued them.
    Mutex readMutex;

    // Reads what is queued (the descriptor does not block) and hands it over;
    // false when the descriptor has failed for good.
    bool readQueued()
    {
        MutexLock lock(readMutex);
        alignas(inotify_event) char buffer[64 * 1024];
        std::vector<FolderChange> changes;
        for (;;) {
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got < 0) {
                if (errno == EINTR)
                    continue;
                if (errno == EAGAIN || errno == EWOULDBLOCK)
                    break;
                return false;
            }
            for (ssize_t at = 0; at < got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
                FolderChange change;
                change.watch = event->wd;
                change.isFolder = (event->mask & IN_ISDIR) != 0;
                if (event->mask & IN_Q_OVERFLOW) {
                    change.watch = -1;
                    change.kind = FolderChange::Kind::kOverflow;
                } else if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT)) {
                    change.kind = FolderChange::Kind::kFolderGone;
                } else if (event->len > 0 && (event->mask & (IN_CREATE | IN_MOVED_TO))) {
                    change.kind = FolderChange::Kind::kAdded;
                    change.name = event->name;
                } else if (event->len > 0 && (event->mask & (IN_DELETE | IN_MOVED_FROM))) {
                    change.kind = FolderChange::Kind::kRemoved;
                    change.name = event->name;
                } else {
                    continue;
                }
                changes.push_back(std::move(change));
            }
            // Room left for the longest notice: the queue was empty.
            if (static_cast<std::size_t>(got) + sizeof(inotify_event) + NAME_MAX + 1 <= sizeof buffer)
                break;
        }
        if (!changes.empty())
            handler(changes);
        return true;
    }

    void run()
    {
        for (;;) {
            pollfd wait[2] = {{fd, POLLIN, 0}, {stopFd, POLLIN, 0}};
            if (::poll(wait, 2, -1) < 0 && errno != EINTR)
                break;
            // The watcher goes: nobody is left to tell.
            if (wait[1].revents != 0)
                return;
            // Many changes come in bursts (a package unpacking): letting them
            // gather for a moment spares the changing thread a wake-up of this
            // one for every file. catchUp reads at once when it cannot wait.
            std::this_thread::sleep_for(kGatherTime);
            if (!readQueued())
                break;
        }
        // Lost for good: whatever was trusted on the strength of notices is not.
        handler({FolderChange{}});
        MutexLock lock(startMutex);
        failed = true;
    }
};

FolderWatcher::FolderWatcher(Handler handler) : state_(std::make_shared<State>(std::move(handler))) {}

FolderWatcher::~FolderWatcher()
{
    if (!thread_.joinable())
        return;
    // A child of fork has the object but not the thread.
    if (g_forked.load(std::memory_order_relaxed)) {
        thread_.detach();
        return;
    }
    const std::uint64_t one = 1;
    while (::write(state_->stopFd, &one, sizeof one) < 0 && errno == EINTR) {
    }
    thread_.join();
}

bool FolderWatcher::active() const
{
    if (g_forked.load(std::memory_order_relaxed))
        return false;
    MutexLock lock(state_->startMutex);
    return state_->started && !state_->failed;
}

int FolderWatcher::watch(const std::string& hostFolder)
{
    if (g_forked.load(std::memory_order_relaxed))
        return -1;
    State& state = *state_;
    {
        MutexLock lock(state.startMutex);
        if (state.failed)
            return -1;
        if (!state.started) {
            state.fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
            state.stopFd = ::eventfd(0, EFD_CLOEXEC);
            if (state.fd < 0 || state.stopFd < 0) {
                state.failed = true;
                return -1;
            }
            static std::once_flag atFork;
            std::call_once(atFork, [] { ::pthread_atfork(nullptr, nullptr, markForked); });
            thread_ = std::thread([holder = state_] { holder->run(); });
            state.started = true;
        }
    }
    return ::inotify_add_watch(state.fd, hostFolder.c_str(), kWatchMask);
}

void FolderWatcher::catchUp()
{
    if (!active())
        return;
    state_->readQueued();
}

}  // namespace druvex
