// The screen type the toolkit sizes its dialogs for, from the width of the
// device's screen (device.ini ScreenWidth), and the folder the toolkit loads
// its bitmaps from.
#pragma once

#include "text/shared_string.h"

namespace druvex {

constexpr int kScreenTypeVga = 0;   // 480 or 600 pixels wide
constexpr int kScreenTypeQvga = 1;  // 320 pixels wide
constexpr int kScreenTypeWide = 3;  // 640 or 800 pixels wide

// The type of a screen `width` pixels wide. A width the toolkit has no layout
// for is reported (DBGCHK) and gives kScreenTypeVga.
int screenTypeForWidth(int width);
// The type of the active device's screen.
int getScreenType();

// The folder the toolkit loads its bitmaps from; any thread may call.
void setImagesFolder(const SharedString& folder);
SharedString getImagesFolder();

}  // namespace druvex
