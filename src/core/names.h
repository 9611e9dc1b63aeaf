// Characters that names typed by users must not contain, by the kind of name
// (job, folder, file name, path and so on), and the validity test built on them.
#pragma once

#include "text/shared_string.h"

namespace druvex {

// The forbidden characters of name `kind` (1; 2 to 12, 14 to 16 and 19; 13;
// 17 for file names without folders; 18 for paths), in the order shown to
// users. An unknown kind is reported (DRUVEX_DBGCHK) and gets the set of kind 13.
SharedString invalidNameCharacters(int kind);

// True when `text` is not empty, has at most `maxLength` characters and holds
// none of the forbidden characters of `kind`.
bool isValidName(const SharedString& text, int maxLength, int kind);

}  // namespace druvex
