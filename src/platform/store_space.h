// StoreSpace: the free space of one store whose device profile states it
// ([Store:<path>] Free), kept as the program's writes grow files: a write
// that would take more than is free fails as it does on a full store, with
// ERROR_DISK_FULL. Free is the space the store has when the program first
// writes to it; what is written afterwards takes from it, and what is
// deleted gives it back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "text/mutex.h"

namespace druvex {

class StoreSpace {
public:
    // `hostRoot`: the store's folder on the host; `freeBytes`: its free space
    // as the profile states it; `nestedRoots`: host folders of other stores
    // below it, whose files are not this store's.
    StoreSpace(std::string hostRoot, std::uint64_t freeBytes, std::vector<std::string> nestedRoots);
    StoreSpace(const StoreSpace&) = delete;
    StoreSpace& operator=(const StoreSpace&) = delete;

    // Writes to one store go one at a time: a writer holds this lock from
    // canGrow to grew, so that what the store holds is known while it decides.
    Mutex& writeLock() RETURN_CAPABILITY(mutex_) { return mutex_; }
    // Whether a file may grow by `bytes`; false when the store is full. The
    // caller holds writeLock.
    bool canGrow(std::uint64_t bytes) REQUIRES(mutex_);
    // A file grew by `bytes` (what it really grew, also after a write that
    // failed halfway). The caller holds writeLock.
    void grew(std::uint64_t bytes) REQUIRES(mutex_);

    // The bytes free now (takes writeLock).
    std::uint64_t available();

private:
    // The bytes of every file of the store, nested stores left out.
    std::uint64_t measureUsed() const;
    void measure() REQUIRES(mutex_);
    std::uint64_t freeNow() const REQUIRES(mutex_);

    Mutex mutex_;
    const std::string hostRoot_;
    const std::uint64_t freeBytes_;
    const std::vector<std::string> nestedRoots_;  // sorted, each looked up per folder measured
    bool measured_ GUARDED_BY(mutex_) = false;
    // What the store held when first measured: Free counts from there.
    std::uint64_t usedAtStart_ GUARDED_BY(mutex_) = 0;
    // What it held at the last measure, and what writes added since. Growth
    // is followed as it happens; deletions are seen when the store is
    // measured again, which a write that does not fit has done before it
    // fails, and so does the question for the free space.
    std::uint64_t usedMeasured_ GUARDED_BY(mutex_) = 0;
    std::uint64_t grownSince_ GUARDED_BY(mutex_) = 0;
};

}  // namespace druvex
