// The "update" and "custom" folders beside the installer, which extend the
// installer data at start-up without a new archive: each file in "update"
// that a language template names becomes (the content of) a language
// feature, and "custom" can hold the custom language file (language 972,
// "Custom language"). Each such file becomes a local package source of its
// feature, preferred over the archive and the server.
#pragma once

#include "text/shared_string.h"

namespace druvex {

class LiveUpdateContext;

// Every file (not folder) of the "update" folder in `installerPath`, in the
// host's listing order, that matches the file part of one of the installer
// data's language templates: the first such template leads, through the
// language template map, to the parent feature; the file becomes the only
// content of that feature's sub-feature for the file's language (made,
// named by the language's display name, when there is none), with the
// file's size, SHA-1 and time, and a local source of the package.
void processUpdateFolder(LiveUpdateContext& context, const SharedString& installerPath);

// The custom language file of the "custom" folder (see
// getCustomLanguageFilePath) becomes the content of the main language
// feature's sub-feature for its language, 972 unless the file's name gives
// another; an existing sub-feature of that language with another Name is
// replaced.
void processCustomFolder(LiveUpdateContext& context);

// The first file of the "custom" folder beside the installer whose name
// matches the file part of the main language template's pattern (its "%5"
// also standing for the custom culture name "custm"); empty when there is
// none.
SharedString getCustomLanguageFilePath(LiveUpdateContext& context);

// The file name of the content of a language feature with id 972; without
// one, the file name of the custom language file; without that, the main
// template's file pattern with "%5" made "custm" and "%d" made "972".
SharedString getCustomLanguageFileName(LiveUpdateContext& context);

}  // namespace druvex
