// Target platforms: the kinds of machine an item may be installed on (indices
// 0 to 8 with one mask bit each, the groups All, Windows and Controllers), the
// kinds of installer a build makes, and the platform of a device model. Kept
// in the application's low library because the command line names a platform
// and that library sits below the install data model, which uses these too.
#pragma once

#include <cstdint>
#include <string_view>

#include "text/name_table.h"
#include "text/shared_string.h"

namespace druvex {

using TargetPlatform = std::int32_t;

constexpr TargetPlatform kPlatformWm6 = 0;
constexpr TargetPlatform kPlatformRv1Wn1 = 1;
constexpr TargetPlatform kPlatformQm40 = 2;
constexpr TargetPlatform kPlatform7RWinCE = 3;
constexpr TargetPlatform kPlatformWin32 = 4;
constexpr TargetPlatform kPlatformWin64 = 5;
constexpr TargetPlatform kPlatformRNVB = 6;
constexpr TargetPlatform kPlatformLQ5 = 7;
constexpr TargetPlatform kPlatformRNVC = 8;
constexpr TargetPlatform kPlatformCount = 9;  // the indices 0 to 8
constexpr TargetPlatform kPlatformAll = 1000;
// The groups key per-platform variable values; they have no mask of their own.
constexpr TargetPlatform kPlatformWindows = 1100;     // 4 and 5
constexpr TargetPlatform kPlatformControllers = 1200; // the others
constexpr TargetPlatform kPlatformUnknown = 1201;

// The mask of every platform.
constexpr std::int32_t kPlatformMaskAll = -1;

// What an installer build is made for ("InstallerPlat").
constexpr std::int32_t kInstallerPlatformPC = 0;
constexpr std::int32_t kInstallerPlatformController = 1;
constexpr std::int32_t kInstallerPlatformOther = 2;  // formats as empty text
constexpr std::int32_t kInstallerPlatformAll = 3;

// How an installer build carries its features ("InstallerType").
constexpr std::int32_t kInstallerTypeFull = 0;
constexpr std::int32_t kInstallerTypeWeb = 1;
constexpr std::int32_t kInstallerTypeBoth = 2;

// 1 shifted by the index for 0 to 8; -1 for All; 0 for anything else.
std::int32_t platformMask(TargetPlatform platform);
// True when the mask is -1 or the platform is All, else when the platform's
// bit is in the mask.
bool maskHasPlatform(std::int32_t mask, TargetPlatform platform);
// `out` becomes Unknown, then the first of the platforms 0 to 8 whose mask
// equals `mask` (exact) or shares a bit with it (not exact). True when one was
// found; in exact mode the mask -1 finds none.
bool platformFromMask(std::int32_t mask, bool exact, TargetPlatform& out);
// At least two bits set; unless `strict`, the desktop-only masks 16, 32 and 48
// count as one platform.
bool isMultiPlatformMask(std::int32_t mask, bool strict);
bool isDesktopPlatform(TargetPlatform platform);
// Device types 21, 22 and 23 (the desktop hosts).
bool isDesktopDeviceType(std::int32_t deviceType);

// The names of the platforms 0 to 8 and of the groups, of the installer
// platforms and of the installer types; all read ignoring case.
extern const NameTable<TargetPlatform> kPlatformNames;
extern const NameTable<std::int32_t> kInstallerPlatformNames;
extern const NameTable<std::int32_t> kInstallerTypeNames;

// A platform or group name ignoring case ("Wm6", "Windows", "All", "Unknown");
// Unknown for any other text.
TargetPlatform parsePlatform(std::u16string_view text);
// The names of 0 to 8; for other values empty when `devicesOnly`, else "All",
// "Windows", "Controllers" or "Unknown" for the groups and Unknown, and empty
// for anything else.
SharedString platformName(TargetPlatform platform, bool devicesOnly);
// "All" (ignoring case) is -1, empty text 0; otherwise the OR of the masks of
// the comma-separated names. Pieces are taken as they stand (" Win32" is no
// name), and group and unknown names add nothing.
std::int32_t parsePlatformList(std::u16string_view text);
// "All" for -1; otherwise the names of the platforms whose bit is set, in
// index order, joined with ",".
SharedString platformListText(std::int32_t mask);

// "PC" 0, "Controller" 1, "All" 3, ignoring case; any other text 2.
std::int32_t parseInstallerPlatform(std::u16string_view text);
// The names above; 2 and any other value give empty text.
SharedString installerPlatformName(std::int32_t platform);
// "Full" 0, "Web" 1, "Both" 2, ignoring case; any other text 0.
std::int32_t parseInstallerType(std::u16string_view text);
// The names above; any other value gives "Full".
SharedString installerTypeName(std::int32_t type);

// The platform of a device model (DeviceType ids); Unknown for ids without one.
// The LQ5 (20) counts as a Qm40 (2) while setTreatLq5AsQm40 has been called.
TargetPlatform platformFromDeviceType(std::int32_t deviceType);
// Raised when a program's installer settings ask for it; never lowered.
void setTreatLq5AsQm40();
// Lowers the flag again so that one test process can check both answers.
// Tests only: the program never calls it.
void resetTreatLq5AsQm40ForTests();

}  // namespace druvex
