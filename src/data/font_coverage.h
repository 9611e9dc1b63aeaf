// Whether the device can draw a text (such as a language's native name) with
// the current font, or else with one of the fonts linked to it through the
// device registry's FontLink SystemLink value.
#pragma once

#include <string_view>

namespace druvex {

class FontDeviceContext;
class HalAccess;

// Every UTF-16 unit of the text has a glyph in the context's current font
// (its format-4 map of platform 3).
bool isTextCoveredByFont(FontDeviceContext& context, std::u16string_view text);

// The current font first; then, in order, the faces linked to the current
// face under HKEY_LOCAL_MACHINE "SOFTWARE\Microsoft\FontLink\SystemLink" in
// `host`'s registry. The linked faces are read once per process, for the face
// current at that first need, and kept.
bool isTextCoveredByFonts(HalAccess& host, FontDeviceContext& context, std::u16string_view text);

// Forgets the linked faces kept for the process. Tests only.
void resetFontLinkCacheForTests();

}  // namespace druvex
