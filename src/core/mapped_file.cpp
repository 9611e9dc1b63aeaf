#include "core/mapped_file.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "core/file_handle_table.h"
#include "platform/store_space.h"
#include "platform/win_error.h"
#include "text/mutex.h"

namespace druvex {

namespace {

bool resizeFile(const OpenFile& file, std::uint64_t size)
{
    if (::ftruncate(file.fd, static_cast<off_t>(size)) != 0) {
        setLastError(errorFromErrno(errno));
        return false;
    }
    return true;
}

// Grows the file from `length` to `size`; a store with a stated free space
// refuses what does not fit.
bool growTo(OpenFile& file, std::uint64_t length, std::uint64_t size)
{
    if (!file.space)
        return resizeFile(file, size);
    MutexLock lock(file.space->writeLock());
    if (!file.space->canGrow(size - length)) {
        setLastError(kErrorDiskFull);
        return false;
    }
    if (!resizeFile(file, size))
        return false;
    file.space->grew(size - length);
    file.knownSize = size;
    return true;
}

}  // namespace

bool MappedFile::open(std::u16string_view path, bool create, bool writable, std::uint64_t size)
{
    close();
    const std::uint32_t flags = kFileRead | (writable ? kFileWrite : 0) | kFileDenyWrite |
                                (create ? kFileOpenAlways : kFileOpenExisting);
    bool created = false;
    handle_ = openFile(path, flags, &created);
    if (handle_ == kInvalidFileHandle)
        return false;
    const std::shared_ptr<OpenFile> file = findOpenFile(handle_);
    struct stat status {};
    if (!file || ::fstat(file->fd, &status) != 0) {
        close();
        return false;
    }
    std::uint64_t length = static_cast<std::uint64_t>(status.st_size);
    if (writable && size > length) {
        // The device grows the file to the mapping's size; touching a page
        // past the end of a host file would fault instead.
        if (!growTo(*file, length, size)) {
            close();
            return false;
        }
        length = size;
    }
    const std::uint64_t mapSize = size != 0 ? size : length;
    if (mapSize == 0 || mapSize > length) {
        setLastError(mapSize == 0 ? kErrorInvalidParameter : kErrorAccessDenied);
        close();
        return false;
    }
    void* view = ::mmap(nullptr, static_cast<std::size_t>(mapSize), PROT_READ | (writable ? PROT_WRITE : 0),
                        MAP_SHARED, file->fd, 0);
    if (view == MAP_FAILED) {
        setLastError(errorFromErrno(errno));
        close();
        return false;
    }
    view_ = static_cast<std::uint8_t*>(view);
    viewSize_ = mapSize;
    fileSize_ = length;
    created_ = created;
    open_ = true;
    return true;
}

void MappedFile::close()
{
    if (view_)
        ::munmap(view_, static_cast<std::size_t>(viewSize_));
    if (handle_ != kInvalidFileHandle)
        closeHandle(handle_);
    handle_ = kInvalidFileHandle;
    view_ = nullptr;
    viewSize_ = 0;
    fileSize_ = 0;
    open_ = false;
    created_ = false;
}

}  // namespace druvex
