// File-system functions on device paths: existence and type tests, file times,
// folder creation, copying a file or a folder tree (one retry round for
// entries that failed), and removing a file, a tree or a folder's contents.
// Every path is mapped through DeviceRoot; failures are false results, with an
// assertion report (DRUVEX_DBGCHK, "FileFunctions") where a copy or removal
// went wrong, and nothing is rolled back.
#pragma once

#include <cstdint>

#include "core/path_text.h"
#include "text/shared_string.h"

namespace druvex {

// True when a find for the path (device wildcards allowed in its last
// component) gives an entry, file or folder.
bool fileExists(const SharedString& path);
// False for an empty path; true when the path names a folder.
bool directoryExists(const SharedString& path);
// True when the path's status says folder, without error.
bool isDirectory(const SharedString& path);

// The file's times as 100-ns units since 1601-01-01 UTC, each output optional.
// False when the file cannot be opened for reading (a folder included) or its
// information cannot be read.
bool getFileTimes(const SharedString& path, std::uint64_t* creation, std::uint64_t* lastAccess,
                  std::uint64_t* lastWrite);

// The process's current folder as a device path without a trailing separator;
// empty on error or when it lies outside the device.
SharedString getCurrentFolder();

// True for an empty path or an existing folder; otherwise creates the folder
// with its missing parents and tells whether it is a folder now.
bool createDirectories(const SharedString& path);

// Copies one file or makes one folder. With `overwrite`, a regular file
// replaces the target; otherwise a file fails when the target exists, a
// folder source creates the target folder (an existing one is fine, its
// content is not copied) and a link is copied as a link. A replaced target
// changes only once the copy is complete. With `makeNormal` the target loses
// its read-only state. A failure is reported.
bool copyPathEntry(const SharedString& source, const SharedString& target, bool overwrite, bool makeNormal);

// Copies a file; relative paths start at the program folder and missing
// parent folders of the target are made. Without `overwrite` an existing
// target makes it fail; with it the target is replaced (a read-only one too),
// and only after the copy succeeded: a failed copy leaves the old file intact.
bool copyFileTo(const SharedString& source, const SharedString& target, bool overwrite);
// True at once when the target exists and `overwrite` is off; else copyFileTo.
bool copyFileIfNeeded(const SharedString& source, const SharedString& target, bool overwrite);

// Removes a regular file; a read-only file only with `makeWritable`, which
// first makes it writable. A link is removed itself. False for anything else
// (a folder, a missing path) and on failure.
bool removeFile(const SharedString& path, bool makeWritable);

// Removes a file or a whole folder tree; true when it is gone (a missing path
// included). Links in the tree are removed, never followed. An empty path is
// reported and false.
bool removeAll(const SharedString& path);
// Removes everything inside a folder but not the folder itself; true for a
// missing path or one that is no folder. An empty path is reported and false.
bool emptyFolder(const SharedString& path);

// Copies a folder into `target` (made when missing): with `recursive` the
// whole tree, otherwise only the entries at its top that are not folders;
// existing target files are replaced. Entries whose copy failed get one more
// attempt after a pause of 10 ms. A file source is copied onto the target.
// False when the source is missing, the walk cannot read it, the target cannot
// be made, or a retry fails.
bool copyFolder(const SharedString& source, const SharedString& target, bool recursive, bool makeNormal);

// The pause before copyFolder's retry round. Tests replace it so that they
// never sleep; null restores the real pause. Returns the previous one (null
// for the real one).
using CopyRetryWait = void (*)(unsigned milliseconds);
CopyRetryWait setCopyRetryWait(CopyRetryWait wait);

}  // namespace druvex
