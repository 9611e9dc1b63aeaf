// The device host's files and folders: copies, moves, removal, sizes, times,
// version resources and folders, on the device folder.
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <span>
#include <vector>

#include "core/file_functions.h"
#include "core/mapped_file.h"
#include "core/platform_file.h"
#include "host/wince_hal_access.h"
#include "host/host_paths.h"
#include "host/pe_version.h"
#include "platform/device_config.h"
#include "platform/device_root.h"
#include "platform/file_holders.h"
#include "platform/win_error.h"
#include "text/mutex.h"

namespace druvex {

namespace {

using host_paths::errorFor;
using host_paths::fail;
using host_paths::refusedByReadOnlyStore;
using host_paths::toHost;

constexpr std::size_t kCopyBufferSize = 64 * 1024;
// The device's answer for a file without a version resource.
constexpr std::uint32_t kErrorResourceTypeNotFound = 1813;
// The access rights that getFileAccessMask reports: reading, and writing.
constexpr std::uint32_t kFileGenericRead = 0x120089;
constexpr std::uint32_t kFileGenericWrite = 0x120116;
// 100-ns units from 1601-01-01 to 1970-01-01.
constexpr std::uint64_t kFileTimeUnixEpoch = 116444736000000000ull;

timespec toTimespec(std::uint64_t fileTime)
{
    // Floor division, so that times before 1970 keep a non-negative fraction.
    const bool before = fileTime < kFileTimeUnixEpoch;
    const std::uint64_t distance = before ? kFileTimeUnixEpoch - fileTime : fileTime - kFileTimeUnixEpoch;
    auto seconds = static_cast<std::int64_t>(distance / 10000000);
    auto units = static_cast<std::int64_t>(distance % 10000000);
    if (before) {
        seconds = -seconds;
        if (units != 0) {
            seconds -= 1;
            units = 10000000 - units;
        }
    }
    timespec result{};
    result.tv_sec = static_cast<time_t>(seconds);
    result.tv_nsec = static_cast<long>(units * 100);
    return result;
}

// A host time as 100-ns units since 1601, the sub-second part kept; a time
// before 1601 is 0.
std::uint64_t toFileTime(const statx_timestamp& time)
{
    const std::int64_t units = static_cast<std::int64_t>(time.tv_sec) * 10000000 + time.tv_nsec / 100;
    const std::int64_t since1601 = units + static_cast<std::int64_t>(kFileTimeUnixEpoch);
    return since1601 < 0 ? 0 : static_cast<std::uint64_t>(since1601);
}

bool copyContent(FileHandle from, FileHandle to)
{
    std::vector<unsigned char> buffer(kCopyBufferSize);
    for (;;) {
        const std::int64_t got = druvex::readFile(from, buffer.data(), buffer.size());
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        if (druvex::writeFile(to, buffer.data(), static_cast<std::size_t>(got)) != got)
            return false;
    }
}

// A copy keeps the source's permissions and times, as the device's copy
// keeps its attributes and last-write time.
void copyMetadata(const std::string& fromHost, const std::string& toHost)
{
    struct stat status {};
    if (::stat(fromHost.c_str(), &status) != 0)
        return;
    ::chmod(toHost.c_str(), status.st_mode & 07777);
    const timespec times[2] = {status.st_atim, status.st_mtim};
    ::utimensat(AT_FDCWD, toHost.c_str(), times, 0);
}

bool isExecutableName(const SharedString& path)
{
    const std::u16string_view name = path.view();
    if (name.size() < 4)
        return false;
    return compareNoCase(SharedString(name.substr(name.size() - 4)).c_str(), u".exe") == 0;
}

bool moveAcrossStores(const std::string& from, const std::string& to)
{
    struct stat status {};
    if (::lstat(from.c_str(), &status) != 0)
        return fail(errorFor(errno, from));
    // A folder cannot leave its store; a file is copied and then removed.
    if (S_ISDIR(status.st_mode))
        return fail(kErrorNotSameDevice);
    SharedString fromDevice;
    SharedString toDevice;
    if (!DeviceRoot::instance().toDevicePath(from, fromDevice) || !DeviceRoot::instance().toDevicePath(to, toDevice))
        return fail(kErrorNotSameDevice);
    const FileHandle in = druvex::openFile(fromDevice.view(), kFileOpenExisting | kFileRead | kFileDenyWrite);
    if (in == kInvalidFileHandle)
        return false;
    const FileHandle out = druvex::openFile(toDevice.view(), kFileCreateNew | kFileWrite);
    if (out == kInvalidFileHandle) {
        const std::uint32_t error = getLastError();
        closeHandle(in);
        return fail(error == kErrorFileExists ? kErrorAlreadyExists : error);
    }
    const bool copied = copyContent(in, out);
    const std::uint32_t error = getLastError();
    closeHandle(in);
    const bool closed = closeHandle(out);
    if (!copied || !closed) {
        ::unlink(to.c_str());
        DeviceRoot::instance().noteRemoved(to);
        return fail(copied ? getLastError() : error);
    }
    copyMetadata(from, to);
    if (::unlink(from.c_str()) != 0)
        return fail(errorFor(errno, from));
    DeviceRoot::instance().noteRemoved(from);
    return true;
}

}  // namespace

bool HalAccessWinCE::copyFile(const SharedString& source, const SharedString& target, bool failIfExists)
{
    std::string from;
    std::string to;
    if (!toHost(source, from) || !toHost(target, to))
        return false;
    if (refusedByReadOnlyStore(to))
        return false;
    // The source stays shared for reading only, so a copy onto itself meets a
    // sharing violation instead of truncating what it reads.
    const FileHandle in = druvex::openFile(source.view(), kFileOpenExisting | kFileRead | kFileDenyWrite);
    if (in == kInvalidFileHandle)
        return false;
    const FileHandle out =
        druvex::openFile(target.view(), (failIfExists ? kFileCreateNew : kFileCreateAlways) | kFileWrite);
    if (out == kInvalidFileHandle) {
        std::uint32_t error = getLastError();
        if (error == kErrorFileNotFound)
            error = errorFor(ENOENT, to);
        closeHandle(in);
        return fail(error);
    }
    const bool copied = copyContent(in, out);
    const std::uint32_t error = getLastError();
    closeHandle(in);
    const bool closed = closeHandle(out);
    if (!copied || !closed) {
        // A half-written target must not pass for a copy.
        ::unlink(to.c_str());
        DeviceRoot::instance().noteRemoved(to);
        return fail(copied ? getLastError() : error);
    }
    copyMetadata(from, to);
    return true;
}

bool HalAccessWinCE::moveFile(const SharedString& source, const SharedString& target)
{
    std::string from;
    std::string to;
    if (!toHost(source, from) || !toHost(target, to))
        return false;
    if (refusedByReadOnlyStore(from) || refusedByReadOnlyStore(to))
        return false;
    if (from == to) {
        struct stat status {};
        return ::lstat(from.c_str(), &status) == 0 || fail(errorFor(errno, from));
    }
    // A file that another application holds open stays where it is on the
    // device; the host's rename would take it away from under it.
    if (isFileHeldElsewhere(from))
        return fail(kErrorSharingViolation);
    // The device's move never replaces a target; the host's rename would.
    int result = ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
    if (result != 0 && errno == EINVAL) {
        struct stat status {};
        if (::lstat(to.c_str(), &status) == 0)
            return fail(kErrorAlreadyExists);
        result = ::rename(from.c_str(), to.c_str());
    }
    if (result == 0) {
        DeviceRoot::instance().noteRenamed(from, to);
        return true;
    }
    const int error = errno;
    if (error == EXDEV)
        return moveAcrossStores(from, to);
    if (error == EEXIST || error == ENOTEMPTY)
        return fail(kErrorAlreadyExists);
    if (error == ENOENT) {
        struct stat status {};
        return fail(::lstat(from.c_str(), &status) != 0 ? errorFor(ENOENT, from) : kErrorPathNotFound);
    }
    return fail(errorFor(error, to));
}

bool HalAccessWinCE::moveFileEx(const SharedString& source, const SharedString& target, std::uint32_t)
{
    return moveFile(source, target);
}

bool HalAccessWinCE::deleteFile(const SharedString& path)
{
    std::string host;
    if (!toHost(path, host)) {
        const std::uint32_t error = druvex::getLastError();
        return error == kErrorFileNotFound || error == kErrorPathNotFound;
    }
    struct stat status {};
    if (::lstat(host.c_str(), &status) != 0)
        return errno == ENOENT || errno == ENOTDIR || fail(errorFor(errno, host));
    if (S_ISDIR(status.st_mode))
        return fail(kErrorAccessDenied);
    if (refusedByReadOnlyStore(host))
        return false;
    // A file without the owner's write bit stands for the read-only attribute,
    // which the device's delete refuses whoever asks.
    if (!S_ISLNK(status.st_mode) && !(status.st_mode & S_IWUSR))
        return fail(kErrorAccessDenied);
    // Nor does it delete a file that another application holds open, which
    // the host's unlink would.
    if (S_ISREG(status.st_mode) && isFileHeldElsewhere(host))
        return fail(kErrorSharingViolation);
    if (::unlink(host.c_str()) != 0)
        return errno == ENOENT || fail(errorFor(errno, host));
    DeviceRoot::instance().noteRemoved(host);
    return true;
}

bool HalAccessWinCE::getOpenFileSize(FileHandle handle, std::uint64_t& size)
{
    if (!ownsHandle(handle))
        return false;
    FileInfo info;
    if (!getFileInfo(handle, info))
        return false;
    size = info.size;
    return true;
}

bool HalAccessWinCE::getFileSize(const SharedString& path, std::uint64_t& size)
{
    const std::int64_t found = druvex::getFileSize(path.view());
    if (found < 0)
        return false;
    size = static_cast<std::uint64_t>(found);
    return true;
}

bool HalAccessWinCE::getFileVersion(const SharedString& path, std::uint16_t& major, std::uint16_t& minor,
                                    std::uint16_t& build, std::uint16_t& revision)
{
    major = minor = build = revision = 0;
    MappedFile file;
    if (!file.open(path.view(), false, false))
        return false;
    PeFixedVersion version;
    const std::span<const std::uint8_t> image(file.data(), static_cast<std::size_t>(file.viewSize()));
    if (!readPeFixedVersion(image, version))
        return fail(kErrorResourceTypeNotFound);
    major = static_cast<std::uint16_t>(version.productVersionMS >> 16);
    minor = static_cast<std::uint16_t>(version.productVersionMS & 0xFFFF);
    build = static_cast<std::uint16_t>(version.productVersionLS >> 16);
    revision = static_cast<std::uint16_t>(version.productVersionLS & 0xFFFF);
    return true;
}

// A device answers neither who holds a file nor what rights it grants; the
// host answers both where the device profile makes it a desktop.
bool HalAccessWinCE::isDesktopHost()
{
    const DeviceType type = deviceTypeOrNone();
    return type == DeviceType::WIN32 || type == DeviceType::WIN64 || type == DeviceType::KT71;
}

bool HalAccessWinCE::getLockingProcesses(const SharedString& path, std::vector<LockingProcess>& processes)
{
    if (!isDesktopHost())
        return HalAccessBase::getLockingProcesses(path, processes);
    processes.clear();
    std::string host;
    if (!toHost(path, host))
        return false;
    for (const FileHolder& holder : fileHoldersOf(host)) {
        LockingProcess process;
        process.processId = holder.processId;
        process.applicationName = fromUtf8(holder.name);
        processes.push_back(std::move(process));
    }
    return true;
}

bool HalAccessWinCE::getFileAccessMask(const SharedString& path, std::uint32_t& mask)
{
    if (!isDesktopHost())
        return HalAccessBase::getFileAccessMask(path, mask);
    mask = 0;
    std::string host;
    if (!toHost(path, host))
        return false;
    struct stat status {};
    if (::lstat(host.c_str(), &status) != 0)
        return fail(errorFor(errno, host));
    // Write access as deleteFile and the writes judge it: the read-only
    // attribute (the owner's write bit) and read-only stores.
    const bool writable = (S_ISLNK(status.st_mode) || (status.st_mode & S_IWUSR) != 0) && !isOnReadOnlyStore(host);
    mask = kFileGenericRead | (writable ? kFileGenericWrite : 0);
    return true;
}

// The device keeps file times in 100-ns units, and a backup stores them so
// (the core utilities' file times are whole seconds): the times are read here
// at the host's full precision.
bool HalAccessWinCE::getFileTimes(const SharedString& path, std::uint64_t* creation, std::uint64_t* lastAccess,
                                  std::uint64_t* lastWrite)
{
    // Opened first, as the device does: what cannot be opened for reading
    // (a folder among them) has no times to give.
    PlatformFile file;
    std::string host;
    if (!file.openForRead(path) || !toHost(path, host))
        return false;
    struct statx status {};
    if (::statx(AT_FDCWD, host.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &status) != 0)
        return fail(errorFor(errno, host));
    // Not every file system keeps a birth time; the status change time is the
    // nearest the host offers.
    const statx_timestamp born = (status.stx_mask & STATX_BTIME) ? status.stx_btime : status.stx_ctime;
    if (creation)
        *creation = toFileTime(born);
    if (lastAccess)
        *lastAccess = toFileTime(status.stx_atime);
    if (lastWrite)
        *lastWrite = toFileTime(status.stx_mtime);
    return true;
}

bool HalAccessWinCE::setFileTimes(const SharedString& path, const std::uint64_t*, const std::uint64_t* lastAccess,
                                  const std::uint64_t* lastWrite)
{
    std::string host;
    if (!toHost(path, host) || refusedByReadOnlyStore(host))
        return false;
    const FileHandle handle = openFile(path, kFileOpenExisting | kFileRead | kFileWriteAttributes, nullptr);
    if (handle == kInvalidFileHandle)
        return false;
    timespec times[2] = {};
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_nsec = UTIME_OMIT;
    if (lastAccess)
        times[0] = toTimespec(*lastAccess);
    if (lastWrite)
        times[1] = toTimespec(*lastWrite);
    const bool set = ::utimensat(AT_FDCWD, host.c_str(), times, 0) == 0;
    const std::uint32_t error = set ? 0 : errorFor(errno, host);
    const bool closed = closeFile(handle);
    if (!set)
        return fail(error);
    return closed;
}

bool HalAccessWinCE::createDirectory(const SharedString& path)
{
    std::string host;
    if (!toHost(path, host) || refusedByReadOnlyStore(host))
        return false;
    if (::mkdir(host.c_str(), 0777) != 0) {
        if (errno == EEXIST)
            return fail(kErrorAlreadyExists);
        return fail(errno == ENOENT ? kErrorPathNotFound : errorFor(errno, host));
    }
    DeviceRoot::instance().noteCreated(host);
    return true;
}

bool HalAccessWinCE::removeDirectory(const SharedString& path)
{
    std::string host;
    if (!toHost(path, host) || refusedByReadOnlyStore(host))
        return false;
    if (host == DeviceRoot::instance().rootFolder())
        return fail(kErrorAccessDenied);
    if (::rmdir(host.c_str()) != 0) {
        if (errno == ENOTEMPTY || errno == EEXIST)
            return fail(kErrorDirNotEmpty);
        if (errno == ENOTDIR) {
            struct stat status {};
            return fail(::stat(host.c_str(), &status) == 0 ? kErrorDirectory : kErrorPathNotFound);
        }
        return fail(errorFor(errno, host));
    }
    DeviceRoot::instance().noteRemoved(host);
    return true;
}

FileHandle HalAccessWinCE::openFile(const SharedString& path, std::uint32_t flags, bool* created)
{
    bool made = false;
    const FileHandle handle = druvex::openFile(path.view(), flags, &made);
    if (created)
        *created = made;
    if (handle == kInvalidFileHandle)
        return handle;
    // Programs that the installer writes (itself, a newer installer, an
    // uninstaller) must stay startable; the host knows that by the name.
    std::string host;
    if (made && isExecutableName(path) && DeviceRoot::instance().toHostPath(path.view(), host) == 0)
        ::chmod(host.c_str(), 0755);
    return keepHandle(handle);
}

FileHandle HalAccessWinCE::openFileForRead(const SharedString& path)
{
    return openFile(path, kFileOpenExisting | kFileRead, nullptr);
}

FileHandle HalAccessWinCE::createFileForWrite(const SharedString& path)
{
    return openFile(path, kFileCreateAlways | kFileWrite, nullptr);
}

std::int64_t HalAccessWinCE::readFile(FileHandle handle, void* buffer, std::size_t count)
{
    if (!ownsHandle(handle))
        return -1;
    return druvex::readFile(handle, buffer, count);
}

std::int64_t HalAccessWinCE::writeFile(FileHandle handle, const void* data, std::size_t count)
{
    if (!ownsHandle(handle))
        return -1;
    return druvex::writeFile(handle, data, count);
}

bool HalAccessWinCE::closeFile(FileHandle handle)
{
    {
        MutexLock lock(handlesMutex_);
        if (handles_.erase(handle) == 0)
            return fail(kErrorInvalidHandle);
    }
    return closeHandle(handle);
}

bool HalAccessWinCE::seekFile(FileHandle handle, int origin, std::int64_t offset, std::uint64_t* newPosition)
{
    if (!ownsHandle(handle))
        return false;
    if (origin < 0 || origin > 2)
        return fail(kErrorInvalidParameter);
    const std::int64_t position = druvex::seekFile(handle, offset, origin);
    if (position < 0)
        return false;
    if (newPosition)
        *newPosition = static_cast<std::uint64_t>(position);
    return true;
}

bool HalAccessWinCE::exists(const SharedString& path, bool* isFolder)
{
    std::string host;
    if (!toHost(path, host))
        return false;
    struct stat status {};
    if (::stat(host.c_str(), &status) != 0)
        return fail(errorFor(errno, host));
    if (isFolder)
        *isFolder = S_ISDIR(status.st_mode);
    return true;
}

bool HalAccessWinCE::ownsHandle(FileHandle handle)
{
    MutexLock lock(handlesMutex_);
    if (handles_.contains(handle))
        return true;
    setLastError(kErrorInvalidHandle);
    return false;
}

FileHandle HalAccessWinCE::keepHandle(FileHandle handle)
{
    MutexLock lock(handlesMutex_);
    handles_.insert(handle);
    return handle;
}

}  // namespace druvex
