// Path texts taken apart without touching the disk: separators ('\\' and '/'
// alike), folder, file name, title and extension, with the system's compound
// extensions (".vjf.zip", ".shp.zip", ".icm.dgn") counted as one.
#pragma once

#include "platform/path_components.h"
#include "text/shared_string.h"

namespace druvex {

// Index of the last separator; -1 when there is none or the path is empty.
int findLastSeparator(const SharedString& path);
// Index behind the last separator; 0 when there is none.
int getFileNameStart(const SharedString& path);
// The text behind the last separator (the whole path when there is none).
SharedString getFileName(const SharedString& path);
// The text before the last separator; empty when there is none.
SharedString getParentFolder(const SharedString& path);
// The text up to and including the last separator; empty when there is none.
SharedString getFolderWithSeparator(const SharedString& path);

// Every '/' turned into '\\'.
SharedString toBackslashes(const SharedString& path);
// '\\' appended unless the path is empty or already ends with a separator.
SharedString withTrailingBackslash(const SharedString& path);
// withTrailingBackslash, then its last character dropped when at least two
// remain: "C" stays "C", "\\" stays "\\", "a/b/" becomes "a/b".
SharedString withoutTrailingSeparator(const SharedString& path);

// Index of the extension's '.', the length when there is none. A compound
// extension matches without regard to case when the path is longer than it;
// otherwise the last '.' counts when it lies after the start of the file name.
int findExtension(const SharedString& path);
// The extension without its '.'; empty when there is none.
SharedString getExtension(const SharedString& path);
// The file name without folder and extension.
SharedString getFileTitle(const SharedString& path);
// The path up to the extension's '.'.
SharedString removeExtension(const SharedString& path);

// Whether two paths name one file as the device's file system sees them:
// without regard to case, '/' and '\\' alike.
bool samePath(std::u16string_view a, std::u16string_view b);

}  // namespace druvex
