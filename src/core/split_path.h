// Joining a path from drive, folder, name and extension, and splitting it
// again. makePath writes '\' separators; splitPath reads both and answers with
// '/'.
#pragma once

#include "text/shared_string.h"

namespace druvex {

// Concatenates the non-null parts: '\' goes before the folder and before the
// name when something precedes them, '.' before a non-empty extension that
// does not start with one; then every '/' becomes '\' and doubled backslashes
// collapse.
SharedString makePath(const char16_t* drive, const char16_t* folder, const char16_t* name,
                      const char16_t* extension);

// Splits a path (outputs may be null): the drive up to and including the first
// ':'; the folder with its trailing '/'; the name; the extension from the last
// '.' of the name, dot included.
void splitPath(const SharedString& path, SharedString* drive, SharedString* folder, SharedString* name,
               SharedString* extension);

// The path's drive and folder with `newName`; an empty path gives the new name.
SharedString replaceFileName(const SharedString& path, const SharedString& newName);

}  // namespace druvex
