// Shortcuts on the device: a ".lnk" file in the folders that the device
// model's shell reads, or, on the total stations, an entry of their program
// launcher. Everything goes through the host given, so the files land where
// that host keeps them.
#pragma once

#include "text/shared_string.h"

namespace druvex {

class HalAccess;
class Shortcut;

// Makes the shortcut to `target` in the places of the host's device model.
// Where two files are made, true only when both were written (the second is
// tried even when the first failed). A shortcut without a name is refused.
bool createShortcutForDevice(HalAccess& host, const Shortcut& shortcut, const SharedString& target);

// Removes what createShortcutForDevice made. False for a shortcut without a
// name, and for a file that is not there.
bool removeShortcutForDevice(HalAccess& host, const Shortcut& shortcut);

}  // namespace druvex
