#include "core/platform_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>

#include "core/file_handle_table.h"
#include "text/diag.h"
#include "text/mutex.h"
#include "text/shared_string.h"
#include "platform/device_config.h"
#include "platform/device_root.h"
#include "platform/store_space.h"
#include "platform/win_error.h"

namespace druvex {

namespace {

constexpr std::uint32_t kDispositionMask =
    kFileOpenExisting | kFileCreateNew | kFileOpenAlways | kFileCreateAlways | kFileTruncateExisting;

struct OpenResult {
    FileHandle handle = kInvalidFileHandle;
    bool created = false;
    int error = kOpenFailed;
};

OpenResult openFailure(int code, std::uint32_t deviceError)
{
    setLastError(deviceError);
    OpenResult result;
    result.error = code;
    return result;
}

int openCodeFromErrno(int errnoValue)
{
    switch (errnoValue) {
    case ENOENT:
    case ENOTDIR:
        return kOpenFileNotFound;
    case EEXIST:
        return kOpenFileExists;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return kOpenAccessDenied;
    default:
        return kOpenFailed;
    }
}

OpenResult failFromErrno(int errnoValue)
{
    return openFailure(openCodeFromErrno(errnoValue), errorFromErrno(errnoValue));
}

int openDescriptor(const std::string& hostPath, int osFlags)
{
    int fd;
    do {
        fd = ::open(hostPath.c_str(), osFlags | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

OpenResult openHostFile(const std::string& hostPath, std::uint32_t flags, std::uint32_t disposition)
{
    const bool write = (flags & kFileWrite) != 0;
    const bool truncates = disposition == kFileCreateAlways || disposition == kFileTruncateExisting;
    int osFlags = write ? ((flags & kFileRead) ? O_RDWR : O_WRONLY) : O_RDONLY;

    OpenSequenceLock sequence;
    if (isOnReadOnlyStore(hostPath)) {
        struct stat status {};
        const bool exists = ::stat(hostPath.c_str(), &status) == 0;
        const bool creates = disposition == kFileCreateNew || disposition == kFileCreateAlways ||
                             (disposition == kFileOpenAlways && !exists);
        if (write || truncates || creates || (flags & kFileDeleteOnClose))
            return openFailure(kOpenAccessDenied, kErrorAccessDenied);
    }

    OpenResult result;
    int fd = -1;
    switch (disposition) {
    case kFileCreateNew:
        fd = openDescriptor(hostPath, osFlags | O_CREAT | O_EXCL);
        result.created = fd >= 0;
        break;
    case kFileOpenAlways:
        fd = openDescriptor(hostPath, osFlags | O_CREAT | O_EXCL);
        result.created = fd >= 0;
        if (fd < 0 && errno == EEXIST)
            fd = openDescriptor(hostPath, osFlags);
        break;
    case kFileCreateAlways: {
        // Truncation waits until the share check has passed.
        fd = openDescriptor(hostPath, osFlags | O_CREAT | O_EXCL);
        const bool isNew = fd >= 0;
        if (fd < 0 && errno == EEXIST)
            fd = openDescriptor(hostPath, osFlags);
        result.created = fd >= 0;
        if (isNew)
            DeviceRoot::instance().noteCreated(hostPath);
        break;
    }
    default:
        fd = openDescriptor(hostPath, osFlags);
        break;
    }
    if (fd < 0)
        return failFromErrno(errno);

    auto file = std::make_shared<OpenFile>();
    file->fd = fd;
    file->flags = flags;
    file->hostPath = hostPath;
    struct stat status {};
    if (::fstat(fd, &status) != 0)
        return failFromErrno(errno);
    file->device = status.st_dev;
    file->inode = status.st_ino;
    if (write)
        file->space = storeSpaceFor(hostPath);
    // A folder opens only for backup semantics; a file without the owner's
    // write permission stands for the device's read-only attribute, whoever
    // runs the program.
    if (S_ISDIR(status.st_mode) && !(flags & kFileBackupSemantics))
        return openFailure(kOpenAccessDenied, kErrorAccessDenied);
    if (!(status.st_mode & S_IWUSR) && (write || truncates || (flags & kFileDeleteOnClose)))
        return openFailure(kOpenAccessDenied, kErrorAccessDenied);

    const FileHandle handle = registerOpenFile(file);
    if (handle == kInvalidFileHandle)
        return openFailure(kOpenSharingViolation, kErrorSharingViolation);
    if (truncates && status.st_size != 0 && ::ftruncate(fd, 0) != 0) {
        const int error = errno;
        unregisterOpenFile(handle);
        return failFromErrno(error);
    }
    if (file->space) {
        MutexLock lock(file->space->writeLock());
        file->knownSize = truncates ? 0 : static_cast<std::uint64_t>(status.st_size);
    }
    if (result.created && disposition != kFileCreateAlways)
        DeviceRoot::instance().noteCreated(hostPath);
    result.handle = handle;
    result.error = kOpenSuccess;
    return result;
}

// `done` counts what was read, also when the read failed halfway; the
// answer is then what was read, or -1 when nothing was.
std::int64_t readAll(int fd, unsigned char* out, std::size_t count, std::size_t& done)
{
    done = 0;
    while (done < count) {
        const ssize_t got = ::read(fd, out + done, count - done);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            setLastError(errorFromErrno(errno));
            return done > 0 ? static_cast<std::int64_t>(done) : -1;
        }
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    return static_cast<std::int64_t>(done);
}

std::uint32_t clampSeconds(std::int64_t seconds)
{
    if (seconds < 0)
        return 0;
    if (seconds > std::numeric_limits<std::uint32_t>::max())
        return std::numeric_limits<std::uint32_t>::max();
    return static_cast<std::uint32_t>(seconds);
}

}  // namespace

FileHandle openFile(std::u16string_view path, std::uint32_t flags, bool* created, int* error)
{
    if (created)
        *created = false;
    if (error)
        *error = kOpenFailed;
    std::uint32_t disposition = flags & kDispositionMask;
    if (disposition == 0) {
        setLastError(kErrorInvalidParameter);
        return kInvalidFileHandle;
    }
    if (std::popcount(disposition) > 1) {
        DRUVEX_DBGCHK("openFile: more than one disposition");
        disposition = std::bit_floor(disposition);
    }
    if (disposition == kFileTruncateExisting && !(flags & kFileWrite)) {
        DRUVEX_DBGCHK("openFile: truncation without write access");
        setLastError(kErrorInvalidParameter);
        return kInvalidFileHandle;
    }

    std::string hostPath;
    const std::uint32_t mapError = DeviceRoot::instance().toHostPath(path, hostPath);
    if (mapError != 0) {
        if (error)
            *error = mapError == kErrorPathNotFound ? kOpenFileNotFound : kOpenFailed;
        return kInvalidFileHandle;
    }

    const OpenResult result = openHostFile(hostPath, flags, disposition);
    if (created)
        *created = result.created && result.handle != kInvalidFileHandle;
    if (error)
        *error = result.error;
    return result.handle;
}

std::int64_t readFile(FileHandle handle, void* buffer, std::size_t count)
{
    const std::shared_ptr<OpenFile> file = findOpenFile(handle);
    if (!file)
        return -1;
    if (!file->canRead()) {
        setLastError(kErrorAccessDenied);
        return -1;
    }
    std::size_t done = 0;
    const std::int64_t result = readAll(file->fd, static_cast<unsigned char*>(buffer), count, done);
    if (file->space && done > 0) {
        MutexLock lock(file->space->writeLock());
        file->position += done;
    }
    return result;
}

namespace {

// `done` counts what reached the file, also when the write failed halfway.
std::int64_t writeAll(int fd, const unsigned char* in, std::size_t count, std::size_t& done)
{
    done = 0;
    while (done < count) {
        const ssize_t put = ::write(fd, in + done, count - done);
        if (put < 0) {
            if (errno == EINTR)
                continue;
            setLastError(errorFromErrno(errno));
            return -1;
        }
        done += static_cast<std::size_t>(put);
    }
    return static_cast<std::int64_t>(done);
}

// A write on a store with a stated free space: what would take the file
// past the store's free space is refused whole, as a full store refuses it.
std::int64_t writeWithinStore(OpenFile& file, const unsigned char* in, std::size_t count)
{
    MutexLock lock(file.space->writeLock());
    const std::uint64_t end = file.position + count;
    if (end > file.knownSize && !file.space->canGrow(end - file.knownSize)) {
        setLastError(kErrorDiskFull);
        return -1;
    }
    std::size_t done = 0;
    const std::int64_t written = writeAll(file.fd, in, count, done);
    file.position += done;
    if (file.position > file.knownSize) {
        file.space->grew(file.position - file.knownSize);
        file.knownSize = file.position;
    }
    return written;
}

std::int64_t seekDescriptor(int fd, std::int64_t offset, int whence)
{
    const off_t position = ::lseek(fd, static_cast<off_t>(offset), whence);
    if (position < 0) {
        setLastError(errno == EINVAL ? kErrorNegativeSeek : errorFromErrno(errno));
        return -1;
    }
    return static_cast<std::int64_t>(position);
}

}  // namespace

std::int64_t writeFile(FileHandle handle, const void* data, std::size_t count)
{
    const std::shared_ptr<OpenFile> file = findOpenFile(handle);
    if (!file)
        return -1;
    if (!file->canWrite()) {
        setLastError(kErrorAccessDenied);
        return -1;
    }
    const auto* in = static_cast<const unsigned char*>(data);
    if (file->space)
        return writeWithinStore(*file, in, count);
    std::size_t done = 0;
    return writeAll(file->fd, in, count, done);
}

std::int64_t seekFile(FileHandle handle, std::int64_t offset, int origin)
{
    const std::shared_ptr<OpenFile> file = findOpenFile(handle);
    if (!file)
        return -1;
    int whence;
    switch (origin) {
    case 0:
        whence = SEEK_SET;
        break;
    case 1:
        whence = SEEK_CUR;
        break;
    case 2:
        whence = SEEK_END;
        break;
    default:
        setLastError(kErrorInvalidParameter);
        return -1;
    }
    if (!file->space)
        return seekDescriptor(file->fd, offset, whence);
    MutexLock lock(file->space->writeLock());
    const std::int64_t position = seekDescriptor(file->fd, offset, whence);
    if (position >= 0)
        file->position = static_cast<std::uint64_t>(position);
    return position;
}

bool flushFile(FileHandle handle)
{
    const std::shared_ptr<OpenFile> file = findOpenFile(handle);
    if (!file)
        return false;
    if (::fsync(file->fd) != 0) {
        setLastError(errorFromErrno(errno));
        return false;
    }
    return true;
}

bool closeHandle(FileHandle handle)
{
    std::shared_ptr<OpenFile> file = unregisterOpenFile(handle);
    if (!file)
        return false;
    // Another thread may still be inside a call on this handle; then the
    // descriptor closes when that call lets go.
    if (file.use_count() > 1)
        return true;
    const int fd = file->fd;
    file->fd = -1;
    if (::close(fd) != 0 && errno != EINTR) {
        setLastError(errorFromErrno(errno));
        return false;
    }
    return true;
}

bool setFileTimes(FileHandle handle, std::uint32_t lastAccessTime, std::uint32_t lastWriteTime)
{
    const std::shared_ptr<OpenFile> file = findOpenFile(handle);
    if (!file)
        return false;
    if (!(file->flags & (kFileWrite | kFileWriteAttributes))) {
        setLastError(kErrorAccessDenied);
        return false;
    }
    const struct timespec times[2] = {{static_cast<time_t>(lastAccessTime), 0},
                                      {static_cast<time_t>(lastWriteTime), 0}};
    if (::futimens(file->fd, times) != 0) {
        setLastError(errorFromErrno(errno));
        return false;
    }
    return true;
}

bool getFileInfo(FileHandle handle, FileInfo& info)
{
    const std::shared_ptr<OpenFile> file = findOpenFile(handle);
    if (!file)
        return false;
    struct statx status {};
    if (::statx(file->fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, &status) != 0) {
        setLastError(errorFromErrno(errno));
        return false;
    }
    info = FileInfo{};
    info.size = status.stx_size;
    info.directory = S_ISDIR(status.stx_mode);
    info.lastWriteTime = clampSeconds(status.stx_mtime.tv_sec);
    info.lastAccessTime = clampSeconds(status.stx_atime.tv_sec);
    // Not every file system keeps a birth time; the status change time is the
    // nearest the host offers.
    info.creationTime = clampSeconds((status.stx_mask & STATX_BTIME) ? status.stx_btime.tv_sec
                                                                      : status.stx_ctime.tv_sec);
    return true;
}

std::int64_t getFileSize(std::u16string_view path)
{
    if (path.empty())
        return -1;
    std::string folder;
    std::vector<DeviceFolderEntry> entries;
    if (DeviceRoot::instance().findEntries(path, folder, entries) != 0)
        return -1;
    struct stat status {};
    const std::string hostPath = (folder.empty() ? std::string(".") : folder) + "/" + entries.front().hostName;
    if (::stat(hostPath.c_str(), &status) != 0) {
        setLastError(errorFromErrno(errno));
        return -1;
    }
    return S_ISDIR(status.st_mode) ? 0 : static_cast<std::int64_t>(status.st_size);
}

PlatformFile& PlatformFile::operator=(PlatformFile&& other) noexcept
{
    if (this != &other) {
        close();
        handle_ = other.handle_;
        other.handle_ = kInvalidFileHandle;
    }
    return *this;
}

bool PlatformFile::open(std::u16string_view path, std::uint32_t flags, bool* created, int* error)
{
    close();
    handle_ = openFile(path, flags, created, error);
    return isOpen();
}

bool PlatformFile::openForRead(std::u16string_view path)
{
    return open(path, kFileOpenExisting | kFileRead);
}

void PlatformFile::close()
{
    if (!isOpen())
        return;
    closeHandle(handle_);
    handle_ = kInvalidFileHandle;
}

std::int64_t PlatformFile::read(void* buffer, std::size_t count)
{
    if (!isOpen())
        DRUVEX_DBGCHK("PlatformFile::read on an invalid handle");
    const std::int64_t got = readFile(handle_, buffer, count);
    if (got >= 0)
        return got;
    SharedStringA message;
    message.format("[%s:%d] %s: %d", __FILE__, __LINE__, "Read", getLastError());
    throw std::runtime_error(message.c_str());
}

}  // namespace druvex
