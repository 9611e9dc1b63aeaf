// Shortening a path with "..." so that it fits the width of the window that
// shows it.
#pragma once

#include "text/shared_string.h"
#include "platform/window_model.h"

namespace druvex {

// `path` in its backslash form, shortened until it fits nine tenths of the
// window's client width in the window's font: the first component of at least
// three characters becomes "...", then the components behind it go one by one;
// the last component always stays. Without `keepLastComponent` the file name
// is cut off first. A path that already holds "..." comes back unchanged; a
// trailing '\\' is kept (but dropped when there is no window to measure with).
SharedString compactPath(WindowHandle window, const SharedString& path, bool keepLastComponent);

}  // namespace druvex
