// The program's locks: a mutex, a scoped lock and a condition variable that the
// thread-safety pass can follow (the standard library's carry no attributes).
// Data that a Mutex guards says so with GUARDED_BY; a function that expects
// the caller to hold it says REQUIRES.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "text/thread_annotations.h"

namespace druvex {

// Mutex, and RecursiveMutex: one the thread that holds it may take again,
// only where a design needs it (its comment says why).
template <class Native>
class CAPABILITY("mutex") BasicMutex {
public:
    BasicMutex() = default;
    BasicMutex(const BasicMutex&) = delete;
    BasicMutex& operator=(const BasicMutex&) = delete;

    void lock() ACQUIRE() { mutex_.lock(); }
    void unlock() RELEASE() { mutex_.unlock(); }
    bool try_lock() TRY_ACQUIRE(true) { return mutex_.try_lock(); }

private:
    friend class ConditionVariable;
    Native mutex_;
};

using Mutex = BasicMutex<std::mutex>;
using RecursiveMutex = BasicMutex<std::recursive_mutex>;

// Holds the mutex from construction to destruction; unlock() and lock() let a
// function call out without it in between.
template <class Lockable>
class SCOPED_CAPABILITY ScopedLock {
public:
    explicit ScopedLock(Lockable& mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_.lock(); }
    ~ScopedLock() RELEASE()
    {
        if (held_)
            mutex_.unlock();
    }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

    void unlock() RELEASE()
    {
        mutex_.unlock();
        held_ = false;
    }
    void lock() ACQUIRE()
    {
        mutex_.lock();
        held_ = true;
    }

private:
    Lockable& mutex_;
    bool held_ = true;
};

using MutexLock = ScopedLock<Mutex>;
using RecursiveMutexLock = ScopedLock<RecursiveMutex>;

// Waits on a Mutex the caller holds. A predicate that reads guarded data
// says so: [this]() REQUIRES(mutex_) { return done_; }.
class ConditionVariable {
public:
    // The waits hand the mutex to the standard library, which releases and
    // retakes it; the checker cannot see that the mutex is held again on
    // return, which it is.
    // May return without a notice: the caller checks what it waits for.
    void wait(Mutex& mutex) REQUIRES(mutex) NO_THREAD_SAFETY_ANALYSIS
    {
        Adopted held(mutex);
        changed_.wait(held.lock);
    }
    template <class Predicate>
    void wait(Mutex& mutex, Predicate ready) REQUIRES(mutex) NO_THREAD_SAFETY_ANALYSIS
    {
        Adopted held(mutex);
        changed_.wait(held.lock, ready);
    }
    // False when `timeout` passed without `ready`.
    template <class Rep, class Period, class Predicate>
    bool wait_for(Mutex& mutex, std::chrono::duration<Rep, Period> timeout, Predicate ready) REQUIRES(mutex)
        NO_THREAD_SAFETY_ANALYSIS
    {
        Adopted held(mutex);
        return changed_.wait_for(held.lock, timeout, ready);
    }

    void notify_one() noexcept { changed_.notify_one(); }
    void notify_all() noexcept { changed_.notify_all(); }

private:
    // The caller's hold on the mutex, lent to the standard library's wait and
    // left with the caller however the wait ends.
    struct Adopted {
        explicit Adopted(Mutex& mutex) : lock(mutex.mutex_, std::adopt_lock) {}
        ~Adopted() { lock.release(); }
        std::unique_lock<std::mutex> lock;
    };

    std::condition_variable changed_;
};

}  // namespace druvex
