// Queries, folder creation and removal; the copies are in file_copy.cpp.
#include "core/file_functions.h"

#include <vector>

#include "core/file_host.h"
#include "core/fs_path.h"
#include "core/platform_file.h"
#include "text/diag.h"
#include "platform/device_root.h"
#include "platform/win_error.h"

namespace druvex {

using namespace file_host;

namespace {

// File times count 100-ns units from 1601; FileInfo keeps seconds from 1970.
std::uint64_t toFileTime(std::uint32_t secondsSince1970)
{
    return (std::uint64_t{secondsSince1970} + 11'644'473'600ULL) * 10'000'000ULL;
}

bool isFolderPath(const SharedString& path)
{
    fs::path host;
    if (!toHost(path, host))
        return false;
    std::error_code error;
    const fs::file_status status = fs::status(host, error);
    return !error && fs::is_directory(status);
}

// Removes a file, a link or a folder tree. Links are removed themselves and
// never followed, so nothing outside the tree is touched. Every entry is tried
// even after a failure.
bool removeTree(const fs::path& path)
{
    std::error_code error;
    const fs::file_status status = fs::symlink_status(path, error);
    if (status.type() == fs::file_type::not_found)
        return true;
    if (error) {
        setLastErrorFrom(error);
        return false;
    }
    if (refusedByReadOnlyStore(path))
        return false;
    bool removed = true;
    if (fs::is_directory(status)) {
        // List first: removing while reading a folder may skip entries.
        std::vector<fs::path> entries;
        for (fs::directory_iterator it(path, error), end; !error && it != end; it.increment(error))
            entries.push_back(it->path());
        if (error) {
            setLastErrorFrom(error);
            removed = false;
        }
        for (const fs::path& entry : entries)
            removed = removeTree(entry) && removed;
    }
    fs::remove(path, error);
    if (error) {
        setLastErrorFrom(error);
        return false;
    }
    return removed;
}

// Removes everything inside a folder; true for a path that is no folder (a
// link to a folder is not followed).
bool removeContents(const fs::path& path)
{
    std::error_code error;
    const fs::file_status status = fs::symlink_status(path, error);
    if (error || !fs::is_directory(status))
        return true;
    std::vector<fs::path> entries;
    for (fs::directory_iterator it(path, error), end; !error && it != end; it.increment(error))
        entries.push_back(it->path());
    bool removed = true;
    if (error) {
        setLastErrorFrom(error);
        removed = false;
    }
    for (const fs::path& entry : entries) {
        removed = removeTree(entry) && removed;
        noteRemoved(entry);
    }
    return removed;
}

// The device's root folder, and the host's when there is no device: removing
// it would take the whole device (or the host) with it.
bool isRootFolder(const fs::path& host)
{
    if (host == fs::path("/"))
        return true;
    const std::string root = DeviceRoot::instance().rootFolder();
    return !root.empty() && host.native() == root;
}

}  // namespace

bool fileExists(const SharedString& path)
{
    if (path.isEmpty())
        return false;
    std::string folder;
    std::vector<DeviceFolderEntry> entries;
    return DeviceRoot::instance().findEntries(path.view(), folder, entries) == 0 && !entries.empty();
}

bool directoryExists(const SharedString& path)
{
    return !path.isEmpty() && isFolderPath(path);
}

bool isDirectory(const SharedString& path)
{
    return isFolderPath(path);
}

bool getFileTimes(const SharedString& path, std::uint64_t* creation, std::uint64_t* lastAccess,
                  std::uint64_t* lastWrite)
{
    PlatformFile file;
    if (!file.openForRead(path))
        return false;
    FileInfo info{};
    if (!getFileInfo(file.handle(), info))
        return false;
    if (creation)
        *creation = toFileTime(info.creationTime);
    if (lastAccess)
        *lastAccess = toFileTime(info.lastAccessTime);
    if (lastWrite)
        *lastWrite = toFileTime(info.lastWriteTime);
    return true;
}

SharedString getCurrentFolder()
{
    std::error_code error;
    const fs::path current = fs::current_path(error);
    if (error)
        return SharedString();
    const SharedString folder = pathToString(current);
    if (folder.length() > 1 && isPathSeparator(folder[folder.length() - 1]))
        return folder.left(folder.length() - 1);
    return folder;
}

bool createDirectories(const SharedString& path)
{
    if (path.isEmpty())
        return true;
    fs::path host;
    if (!toHost(path, host))
        return false;
    std::error_code error;
    if (fs::is_directory(host, error))
        return true;
    if (refusedByReadOnlyStore(host))
        return false;
    fs::create_directories(host, error);
    if (error)
        setLastErrorFrom(error);
    noteCreated(host);
    return fs::is_directory(host, error);
}

bool removeFile(const SharedString& path, bool makeWritable)
{
    fs::path host;
    if (!toHost(path, host))
        return false;
    std::error_code error;
    const fs::file_status status = fs::symlink_status(host, error);
    if (error) {
        setLastErrorFrom(error);
        return false;
    }
    if (!fs::is_regular_file(status) && !fs::is_symlink(status)) {
        setLastError(fs::is_directory(status) ? kErrorAccessDenied : kErrorFileNotFound);
        return false;
    }
    if (refusedByReadOnlyStore(host))
        return false;
    if (fs::is_regular_file(status) && (status.permissions() & fs::perms::owner_write) == fs::perms::none) {
        // The device refuses to delete a read-only file; the host (and root
        // above all) would not, so the refusal is ours.
        if (!makeWritable) {
            setLastError(kErrorAccessDenied);
            return false;
        }
        fs::permissions(host, fs::perms::owner_write, fs::perm_options::add, error);
    }
    const bool removed = fs::remove(host, error);
    if (error) {
        setLastErrorFrom(error);
        return false;
    }
    noteRemoved(host);
    return removed;
}

bool removeAll(const SharedString& path)
{
    if (path.isEmpty()) {
        DRUVEX_DBGCHK("FileFunctions: removeAll of an empty path");
        return false;
    }
    fs::path host;
    if (!toHost(path, host))
        return false;
    if (isRootFolder(host)) {
        DRUVEX_DBGCHK("FileFunctions: removeAll of the root folder refused");
        setLastError(kErrorAccessDenied);
        return false;
    }
    const bool removed = removeTree(host);
    noteRemoved(host);
    return removed;
}

bool emptyFolder(const SharedString& path)
{
    if (path.isEmpty()) {
        DRUVEX_DBGCHK("FileFunctions: emptyFolder of an empty path");
        return false;
    }
    fs::path host;
    if (!toHost(path, host))
        return false;
    return removeContents(host);
}

}  // namespace druvex
