#include "core/file_handle_table.h"

#include <unistd.h>

#include <map>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/device_root.h"
#include "platform/win_error.h"
#include "text/mutex.h"

namespace druvex {

namespace {

// The data access a handle holds; delete-on-close asks for the right to delete.
constexpr std::uint32_t kAccessRead = 1, kAccessWrite = 2, kAccessDelete = 4;

std::uint32_t accessOf(std::uint32_t flags)
{
    std::uint32_t access = 0;
    if (flags & kFileRead)
        access |= kAccessRead;
    if (flags & kFileWrite)
        access |= kAccessWrite;
    if (flags & kFileDeleteOnClose)
        access |= kAccessDelete;
    return access;
}

// What a handle lets others do; 0x100 and 0x200 deny, 0x8000 grants.
std::uint32_t sharingOf(std::uint32_t flags)
{
    std::uint32_t sharing = 0;
    if (!(flags & kFileDenyRead))
        sharing |= kAccessRead;
    if (!(flags & kFileDenyWrite))
        sharing |= kAccessWrite;
    if (flags & kFileShareDelete)
        sharing |= kAccessDelete;
    return sharing;
}

struct ShareRecord {
    std::vector<std::pair<FileHandle, std::uint32_t>> handles;  // handle, open flags
    bool deletePending = false;
    std::string hostPath;
};

struct HandleTable {
    Mutex mutex;
    std::unordered_map<FileHandle, std::shared_ptr<OpenFile>> handles GUARDED_BY(mutex);
    std::map<std::pair<dev_t, ino_t>, ShareRecord> shares GUARDED_BY(mutex);
    // Numbers are never reused, so a stale handle stays invalid.
    FileHandle next GUARDED_BY(mutex) = 0x100;
};

HandleTable& table()
{
    // Never destroyed: handles may be closed while static objects go.
    static HandleTable* handles = new HandleTable;
    return *handles;
}

Mutex& openSequenceMutex()
{
    static Mutex* mutex = new Mutex;
    return *mutex;
}

bool conflicts(std::uint32_t flags, std::uint32_t otherFlags)
{
    const std::uint32_t access = accessOf(flags), otherAccess = accessOf(otherFlags);
    return (access & ~sharingOf(otherFlags)) != 0 || (otherAccess & ~sharingOf(flags)) != 0;
}

}  // namespace

OpenFile::~OpenFile()
{
    if (fd >= 0)
        ::close(fd);
}

OpenSequenceLock::OpenSequenceLock()
{
    openSequenceMutex().lock();
}

OpenSequenceLock::~OpenSequenceLock()
{
    openSequenceMutex().unlock();
}

FileHandle registerOpenFile(std::shared_ptr<OpenFile> file)
{
    HandleTable& handles = table();
    MutexLock lock(handles.mutex);
    ShareRecord& record = handles.shares[{file->device, file->inode}];
    // A handle without data access (attributes only) neither meets nor sets share rules.
    if (accessOf(file->flags) != 0) {
        for (const auto& [other, otherFlags] : record.handles) {
            if (accessOf(otherFlags) != 0 && conflicts(file->flags, otherFlags))
                return kInvalidFileHandle;
        }
    }
    const FileHandle handle = handles.next;
    handles.next += 4;
    record.handles.emplace_back(handle, file->flags);
    if (file->flags & kFileDeleteOnClose) {
        record.deletePending = true;
        record.hostPath = file->hostPath;
    }
    handles.handles.emplace(handle, std::move(file));
    return handle;
}

std::shared_ptr<OpenFile> findOpenFile(FileHandle handle)
{
    HandleTable& handles = table();
    MutexLock lock(handles.mutex);
    const auto found = handles.handles.find(handle);
    if (found == handles.handles.end()) {
        lock.unlock();
        setLastError(kErrorInvalidHandle);
        return nullptr;
    }
    return found->second;
}

std::shared_ptr<OpenFile> unregisterOpenFile(FileHandle handle)
{
    HandleTable& handles = table();
    std::shared_ptr<OpenFile> file;
    std::string removePath;
    {
        MutexLock lock(handles.mutex);
        const auto found = handles.handles.find(handle);
        if (found == handles.handles.end()) {
            setLastError(kErrorInvalidHandle);
            return nullptr;
        }
        file = std::move(found->second);
        handles.handles.erase(found);
        const auto share = handles.shares.find({file->device, file->inode});
        if (share != handles.shares.end()) {
            std::erase_if(share->second.handles, [&](const auto& item) { return item.first == handle; });
            if (share->second.handles.empty()) {
                if (share->second.deletePending)
                    removePath = share->second.hostPath;
                handles.shares.erase(share);
            }
        }
    }
    if (!removePath.empty() && ::unlink(removePath.c_str()) == 0)
        DeviceRoot::instance().noteRemoved(removePath);
    return file;
}

}  // namespace druvex
