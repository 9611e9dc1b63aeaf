// Copying files and folder trees on device paths.
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/app_paths.h"
#include "core/file_functions.h"
#include "core/file_host.h"
#include "core/fs_path.h"
#include "text/diag.h"
#include "platform/device_root.h"
#include "platform/win_error.h"

namespace druvex {

using namespace file_host;

namespace {

constexpr unsigned kRetryPauseMs = 10;

void sleepFor(unsigned milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::atomic<CopyRetryWait> g_retryWait{nullptr};

// A name beside `target` that no one else uses, for a copy in progress.
fs::path temporaryBeside(const fs::path& target)
{
    static std::atomic<unsigned> counter{0};
    const std::string name = ".~copy-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    return target.parent_path() / name;
}

// Moves the finished copy to its name; without `replace` an existing target
// stays and the move fails with "file exists".
void moveIntoPlace(const fs::path& from, const fs::path& to, bool replace, std::error_code& error)
{
    if (replace) {
        fs::rename(from, to, error);
        return;
    }
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        error.clear();
        return;
    }
    const int renameError = errno;
    if (renameError != EINVAL && renameError != ENOSYS) {
        error.assign(renameError, std::generic_category());
        return;
    }
    // A file system without the no-replace rename: a hard link cannot replace either.
    if (::link(from.c_str(), to.c_str()) != 0) {
        error.assign(errno, std::generic_category());
        return;
    }
    ::unlink(from.c_str());
    error.clear();
}

// Copies a regular file (links followed) under a temporary name in the target
// folder and renames it into place, so that the target never holds a partial
// copy and an existing one survives a failed copy.
void copyRegularFile(const fs::path& from, const fs::path& to, bool replace, std::error_code& error)
{
    if (!replace && fs::exists(fs::symlink_status(to, error))) {
        error = std::make_error_code(std::errc::file_exists);
        return;
    }
    fs::path temporary;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = temporaryBeside(to);
        fs::copy_file(from, temporary, fs::copy_options::none, error);
        if (error != std::errc::file_exists)
            break;
    }
    if (!error)
        moveIntoPlace(temporary, to, replace, error);
    if (error) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
    }
}

// The library's general copy, one level deep: a folder makes the target folder
// (an existing folder is fine; its content is not copied), a link is copied as
// a link, a regular file is copied and fails when the target exists.
void copyGeneral(const fs::path& from, const fs::path& to, std::error_code& error)
{
    const fs::file_status status = fs::symlink_status(from, error);
    if (error)
        return;
    if (fs::is_directory(status)) {
        if (!fs::create_directory(to, error) && !error && !fs::is_directory(to, error))
            error = std::make_error_code(std::errc::file_exists);
        return;
    }
    if (fs::is_symlink(status)) {
        fs::copy_symlink(from, to, error);
        return;
    }
    if (fs::is_regular_file(status)) {
        copyRegularFile(from, to, false, error);
        return;
    }
    error = std::make_error_code(std::errc::not_supported);
}

// Clears the read-only state (links have none of their own).
void makeNormalEntry(const fs::path& path)
{
    std::error_code error;
    if (fs::is_symlink(fs::symlink_status(path, error)) || error)
        return;
    fs::permissions(path, fs::perms::owner_write, fs::perm_options::add, error);
}

bool copyPathEntryHost(const fs::path& from, const fs::path& to, bool overwrite, bool makeNormal)
{
    if (refusedByReadOnlyStore(to)) {
        reportFailure("copy", from, to, std::make_error_code(std::errc::read_only_file_system));
        setLastError(kErrorAccessDenied);
        return false;
    }
    std::error_code error;
    const bool regularFile = fs::is_regular_file(fs::status(from, error));
    if (overwrite && regularFile)
        copyRegularFile(from, to, true, error);
    else
        copyGeneral(from, to, error);
    if (error) {
        reportFailure("copy", from, to, error);
        return false;
    }
    noteCreated(to);
    if (makeNormal)
        makeNormalEntry(to);
    return true;
}

// A relative path starts at the program folder.
SharedString resolveAgainstProgramFolder(const SharedString& path)
{
    if (path.isEmpty() || isPathSeparator(path[0]))
        return path;
    return withTrailingBackslash(AppPaths::instance().getProgramFolder()) + path;
}

// Where an entry at `relative` below the source goes below the target. On a
// device the target's existing names are matched without regard to case, as
// the device's file system does; names the device cannot show (not UTF-8) and
// the identity mapping join as they are.
class TargetTree {
public:
    explicit TargetTree(const fs::path& target) : target_(target)
    {
        if (!DeviceRoot::instance().isIdentity())
            devicePrefix_ = withTrailingBackslash(pathToString(target));
    }

    fs::path entry(const fs::path& relative) const
    {
        if (devicePrefix_.isEmpty())
            return target_ / relative;
        SharedString relativeText = fromUtf8(relative.native());
        if (relativeText.isEmpty())
            return target_ / relative;
        fs::path host;
        if (!toHost(devicePrefix_ + relativeText, host))
            return target_ / relative;
        return host;
    }

private:
    fs::path target_;
    SharedString devicePrefix_;
};

struct FailedEntry {
    fs::path source;
    fs::path target;
};

// Copies the source's entries; false when the source cannot be walked.
// Entries whose copy failed are collected for the retry.
bool walkAndCopy(const fs::path& source, const fs::path& target, bool recursive, bool makeNormal,
                 std::vector<FailedEntry>& failed)
{
    const TargetTree tree(target);
    std::error_code error;
    if (!recursive) {
        fs::directory_iterator it(source, error);
        for (const fs::directory_iterator end; !error && it != end; it.increment(error)) {
            std::error_code typeError;
            if (it->is_directory(typeError))
                continue;
            const fs::path to = tree.entry(it->path().filename());
            if (!copyPathEntryHost(it->path(), to, true, makeNormal))
                failed.push_back({it->path(), to});
        }
    } else {
        fs::recursive_directory_iterator it(source, error);
        for (const fs::recursive_directory_iterator end; !error && it != end; it.increment(error)) {
            const fs::path to = tree.entry(it->path().lexically_relative(source));
            // A target inside the source is not copied into itself again and again.
            std::error_code sameError;
            if (it->is_directory(sameError) && fs::equivalent(it->path(), target, sameError)) {
                it.disable_recursion_pending();
                continue;
            }
            if (!copyPathEntryHost(it->path(), to, true, makeNormal))
                failed.push_back({it->path(), to});
        }
    }
    if (error) {
        reportFailure("walk of", source, error);
        return false;
    }
    return true;
}

}  // namespace

CopyRetryWait setCopyRetryWait(CopyRetryWait wait)
{
    return g_retryWait.exchange(wait);
}

bool copyPathEntry(const SharedString& source, const SharedString& target, bool overwrite, bool makeNormal)
{
    fs::path from;
    fs::path to;
    if (!toHost(source, from) || !toHost(target, to)) {
        DRUVEX_DBGCHK("FileFunctions: copy of a path the device refuses");
        return false;
    }
    return copyPathEntryHost(from, to, overwrite, makeNormal);
}

bool copyFileTo(const SharedString& source, const SharedString& target, bool overwrite)
{
    fs::path from;
    fs::path to;
    if (!toHost(resolveAgainstProgramFolder(source), from) || !toHost(resolveAgainstProgramFolder(target), to))
        return false;
    if (refusedByReadOnlyStore(to))
        return false;
    std::error_code error;
    const fs::path parent = to.parent_path();
    if (!parent.empty() && !fs::is_directory(parent, error)) {
        fs::create_directories(parent, error);
        if (error) {
            setLastErrorFrom(error);
            return false;
        }
        noteCreated(parent);
    }
    // The target is replaced only once the copy is complete: a missing or
    // unreadable source leaves it as it was.
    copyRegularFile(from, to, overwrite, error);
    if (error) {
        setLastErrorFrom(error);
        return false;
    }
    noteCreated(to);
    return fs::exists(to, error) && !error;
}

bool copyFileIfNeeded(const SharedString& source, const SharedString& target, bool overwrite)
{
    if (!overwrite) {
        fs::path to;
        std::error_code error;
        if (toHost(resolveAgainstProgramFolder(target), to) && fs::exists(fs::symlink_status(to, error)))
            return true;
    }
    return copyFileTo(source, target, overwrite);
}

bool copyFolder(const SharedString& source, const SharedString& target, bool recursive, bool makeNormal)
{
    fs::path from;
    fs::path to;
    if (!toHost(source, from) || !toHost(target, to))
        return false;
    std::error_code error;
    const fs::file_status sourceStatus = fs::status(from, error);
    if (error || !fs::exists(sourceStatus)) {
        setLastErrorFrom(error);
        return false;
    }
    const bool sourceIsFolder = fs::is_directory(sourceStatus);
    const bool targetExisted = fs::exists(fs::symlink_status(to, error));
    if (!targetExisted) {
        if (refusedByReadOnlyStore(to))
            return false;
        if (to.has_parent_path() && !fs::is_directory(to.parent_path(), error)) {
            fs::create_directories(to.parent_path(), error);
            if (error) {
                setLastErrorFrom(error);
                return false;
            }
        }
        // A link given as the source is followed: its folder is what is copied.
        if (sourceIsFolder)
            fs::create_directory(to, error);
        else
            copyRegularFile(from, to, false, error);
        if (error) {
            setLastErrorFrom(error);
            return false;
        }
        noteCreated(to);
    }
    if (!sourceIsFolder) {
        // A file onto an existing target has not been copied yet.
        return !targetExisted || copyPathEntryHost(from, to, true, makeNormal);
    }

    std::vector<FailedEntry> failed;
    bool result = walkAndCopy(from, to, recursive, makeNormal, failed);
    if (failed.empty())
        return result;
    const CopyRetryWait wait = g_retryWait.load();
    (wait ? wait : sleepFor)(kRetryPauseMs);
    for (const FailedEntry& entry : failed) {
        if (copyPathEntryHost(entry.source, entry.target, true, makeNormal) || !result)
            continue;
        DRUVEX_DBGCHK("FileFunctions: copyFolder retry failed");
        result = false;
    }
    return result;
}

}  // namespace druvex
