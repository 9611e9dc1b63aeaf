// The process's table of open file handles: our handle numbers, the host file
// descriptors behind them, and the share records that let one handle refuse
// another (the device's share modes, kept within this process).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>

#include "core/platform_file.h"

namespace druvex {

class StoreSpace;

// One open handle. The descriptor is closed when the last user lets go, so a
// read racing a close never reaches a reused descriptor.
struct OpenFile {
    int fd = -1;
    std::uint32_t flags = 0;  // the open flags
    std::string hostPath;
    dev_t device = 0;
    ino_t inode = 0;
    // A handle open for writing on a store whose free space the device
    // profile states: its writes take from that space.
    std::shared_ptr<StoreSpace> space;
    // Where such a handle stands and how large it knows the file, kept under
    // the store's write lock, so that a write learns what it takes from the
    // store without asking the host for the file's status or position.
    std::uint64_t position = 0;
    std::uint64_t knownSize = 0;

    OpenFile() = default;
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    ~OpenFile();

    bool canRead() const { return (flags & kFileRead) != 0; }
    bool canWrite() const { return (flags & kFileWrite) != 0; }
};

// Registers an opened descriptor after checking its share bits against the
// file's other handles. Returns the new handle, or kInvalidFileHandle on a
// sharing violation (the descriptor is then left to the caller).
FileHandle registerOpenFile(std::shared_ptr<OpenFile> file);

// The open file behind a handle; null for an invalid or closed handle (the
// thread's last error is then kErrorInvalidHandle).
std::shared_ptr<OpenFile> findOpenFile(FileHandle handle);

// Drops a handle from the table. Returns the file for the caller to close, or
// null for an invalid handle. A delete-on-close file is removed when its last
// handle goes.
std::shared_ptr<OpenFile> unregisterOpenFile(FileHandle handle);

// Serialises the open sequence (status, share check, truncation) of the whole
// process, so that two opens of one file cannot both pass the share check.
class OpenSequenceLock {
public:
    OpenSequenceLock();
    ~OpenSequenceLock();
    OpenSequenceLock(const OpenSequenceLock&) = delete;
    OpenSequenceLock& operator=(const OpenSequenceLock&) = delete;
};

}  // namespace druvex
