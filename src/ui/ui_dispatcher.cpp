#include "ui/ui_dispatcher.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "text/mutex.h"

namespace druvex {

UiDispatcher::UiDispatcher() : uiThread_(std::this_thread::get_id())
{
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

UiDispatcher::~UiDispatcher()
{
    close();
    if (wakeFd_ >= 0)
        ::close(wakeFd_);
}

bool UiDispatcher::invoke(std::function<void()> task)
{
    if (isUiThread()) {
        if (isClosed())
            return false;
        task();
        return true;
    }
    auto done = std::make_shared<bool>(false);
    MutexLock lock(mutex_);
    if (closed_)
        return false;
    queue_.push_back(Job{std::move(task), done});
    wake();
    finished_.wait(mutex_, [&]() REQUIRES(mutex_) { return *done || closed_; });
    return *done;
}

bool UiDispatcher::post(std::function<void()> task)
{
    MutexLock lock(mutex_);
    if (closed_)
        return false;
    queue_.push_back(Job{std::move(task), nullptr});
    wake();
    return true;
}

int UiDispatcher::serve()
{
    std::deque<Job> jobs;
    {
        MutexLock lock(mutex_);
        clearWake();
        jobs.swap(queue_);
    }
    int ran = 0;
    for (Job& job : jobs) {
        if (isClosed())
            break;
        job.task();
        ++ran;
        if (job.done) {
            MutexLock lock(mutex_);
            *job.done = true;
            finished_.notify_all();
        }
    }
    return ran;
}

void UiDispatcher::close()
{
    MutexLock lock(mutex_);
    closed_ = true;
    queue_.clear();
    finished_.notify_all();
}

bool UiDispatcher::isClosed() const
{
    MutexLock lock(mutex_);
    return closed_;
}

void UiDispatcher::wake()
{
    const std::uint64_t one = 1;
    while (::write(wakeFd_, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void UiDispatcher::clearWake()
{
    std::uint64_t count = 0;
    while (::read(wakeFd_, &count, sizeof count) < 0 && errno == EINTR) {
    }
}

}  // namespace druvex
