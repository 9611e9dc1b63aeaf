#include "ui_base/tic_timer.h"

#include <utility>

#include "text/mutex.h"

namespace druvex {

TicTimer::~TicTimer()
{
    stop();
}

bool TicTimer::start(std::chrono::milliseconds period, std::function<void()> onTick)
{
    if (worker_.joinable())
        return false;
    {
        MutexLock lock(mutex_);
        stopping_ = false;
    }
    worker_ = WorkerThread([this, period, onTick = std::move(onTick)] { run(period, onTick); });
    return true;
}

void TicTimer::stop()
{
    {
        MutexLock lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    // A thread cannot join itself, and the worker never touches the thread
    // object its owner may still be filling in: the owner's next stop (or the
    // destructor) joins it.
    if (workerId_.load() == std::this_thread::get_id())
        return;
    if (!worker_.joinable())
        return;
    joinThread(worker_, kJoinThreadTimeoutMs, "TicTimer worker did not end");
    workerId_.store(std::thread::id());
}

void TicTimer::run(std::chrono::milliseconds period, const std::function<void()>& onTick)
{
    workerId_.store(std::this_thread::get_id());
    MutexLock lock(mutex_);
    while (!wake_.wait_for(mutex_, period, [this]() REQUIRES(mutex_) { return stopping_; })) {
        lock.unlock();
        onTick();
        lock.lock();
    }
}

}  // namespace druvex
