// The hand-over of work to the UI thread. Worker threads (installation,
// downloads, checks) never touch the screen: they queue a task and, for a
// question, wait until the UI thread has run it. The UI thread's key wait
// also watches wakeHandle(), so a queued task is served even while a dialog
// waits for a key. Once closed, nothing more runs and no caller waits.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <thread>

#include "text/mutex.h"

namespace druvex {

class UiDispatcher {
public:
    // The calling thread becomes the UI thread.
    UiDispatcher();
    ~UiDispatcher();
    UiDispatcher(const UiDispatcher&) = delete;
    UiDispatcher& operator=(const UiDispatcher&) = delete;

    bool isUiThread() const { return std::this_thread::get_id() == uiThread_; }
    // Makes the calling thread the UI thread (before any task is queued).
    void adoptCallingThread() { uiThread_ = std::this_thread::get_id(); }

    // Runs `task` on the UI thread and waits until it has run; on the UI
    // thread it runs at once. False when the dispatcher is closed, or closes
    // before the task runs: the task then never runs.
    bool invoke(std::function<void()> task);
    // Queues `task` without waiting. False when the dispatcher is closed.
    bool post(std::function<void()> task);

    // UI thread: runs the tasks queued so far; returns how many ran. Tasks
    // queued meanwhile (by the tasks themselves) wait for the next call.
    int serve();
    // A descriptor that is readable while tasks wait (an eventfd).
    int wakeHandle() const { return wakeFd_; }

    // Drops the tasks still queued, releases every waiting caller and refuses
    // later ones. Any thread.
    void close();
    bool isClosed() const;

private:
    struct Job {
        std::function<void()> task;
        // Set for invoke: the caller waits for `done`.
        std::shared_ptr<bool> done;
    };

    void wake();
    void clearWake();

    std::thread::id uiThread_;
    int wakeFd_ = -1;
    mutable Mutex mutex_;
    ConditionVariable finished_;
    std::deque<Job> queue_ GUARDED_BY(mutex_);
    bool closed_ GUARDED_BY(mutex_) = false;
};

}  // namespace druvex
