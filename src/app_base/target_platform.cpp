#include "app_base/target_platform.h"

#include <atomic>
#include <bit>

#include "text/char_class.h"

namespace druvex {
namespace {

// The platforms by index, then the groups.
constexpr NamedValue<TargetPlatform> kPlatforms[] = {
    {kPlatformWm6, u"Wm6"},
    {kPlatformRv1Wn1, u"Rv1Wn1"},
    {kPlatformQm40, u"Qm40"},
    {kPlatform7RWinCE, u"7RWinCE"},
    {kPlatformWin32, u"Win32"},
    {kPlatformWin64, u"Win64"},
    {kPlatformRNVB, u"RNVB"},
    {kPlatformLQ5, u"LQ5"},
    {kPlatformRNVC, u"RNVC"},
    {kPlatformAll, u"All"},
    {kPlatformWindows, u"Windows"},
    {kPlatformControllers, u"Controllers"},
    {kPlatformUnknown, u"Unknown"},
};

constexpr NamedValue<std::int32_t> kInstallerPlatforms[] = {
    {kInstallerPlatformPC, u"PC"},
    {kInstallerPlatformController, u"Controller"},
    {kInstallerPlatformAll, u"All"},
};

constexpr NamedValue<std::int32_t> kInstallerTypes[] = {
    {kInstallerTypeFull, u"Full"},
    {kInstallerTypeWeb, u"Web"},
    {kInstallerTypeBoth, u"Both"},
};

std::atomic<bool> g_treatLq5AsQm40{false};

bool isPlatformIndex(TargetPlatform platform)
{
    return platform >= 0 && platform < kPlatformCount;
}

}  // namespace

const NameTable<TargetPlatform> kPlatformNames{kPlatforms, NameCase::kIgnoreCase};
const NameTable<std::int32_t> kInstallerPlatformNames{kInstallerPlatforms, NameCase::kIgnoreCase};
const NameTable<std::int32_t> kInstallerTypeNames{kInstallerTypes, NameCase::kIgnoreCase};

std::int32_t platformMask(TargetPlatform platform)
{
    if (isPlatformIndex(platform))
        return std::int32_t{1} << platform;
    if (platform == kPlatformAll)
        return kPlatformMaskAll;
    return 0;
}

bool maskHasPlatform(std::int32_t mask, TargetPlatform platform)
{
    if (mask == kPlatformMaskAll || platform == kPlatformAll)
        return true;
    return (mask & platformMask(platform)) != 0;
}

bool platformFromMask(std::int32_t mask, bool exact, TargetPlatform& out)
{
    out = kPlatformUnknown;
    for (TargetPlatform platform = 0; platform < kPlatformCount; ++platform) {
        const std::int32_t bit = platformMask(platform);
        if (exact ? bit == mask : (bit & mask) != 0) {
            out = platform;
            return true;
        }
    }
    return false;
}

bool isMultiPlatformMask(std::int32_t mask, bool strict)
{
    if (!strict && (mask == 16 || mask == 32 || mask == 48))
        return false;
    return std::popcount(static_cast<std::uint32_t>(mask)) >= 2;
}

bool isDesktopPlatform(TargetPlatform platform)
{
    return platform == kPlatformWin32 || platform == kPlatformWin64;
}

bool isDesktopDeviceType(std::int32_t deviceType)
{
    return deviceType == 21 || deviceType == 22 || deviceType == 23;
}

TargetPlatform parsePlatform(std::u16string_view text)
{
    return kPlatformNames.valueOf(text, kPlatformUnknown);
}

SharedString platformName(TargetPlatform platform, bool devicesOnly)
{
    if (devicesOnly && !isPlatformIndex(platform))
        return {};
    return SharedString(kPlatformNames.nameOf(platform));
}

std::int32_t parsePlatformList(std::u16string_view text)
{
    if (equalsNoCase(text, u"All"))
        return kPlatformMaskAll;
    std::int32_t mask = 0;
    if (text.empty())
        return mask;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(u',', start);
        const std::u16string_view piece =
            text.substr(start, comma == std::u16string_view::npos ? std::u16string_view::npos : comma - start);
        mask |= platformMask(parsePlatform(piece));
        if (comma == std::u16string_view::npos)
            return mask;
        start = comma + 1;
    }
}

SharedString platformListText(std::int32_t mask)
{
    if (mask == kPlatformMaskAll)
        return SharedString(u"All");
    SharedString text;
    for (TargetPlatform platform = 0; platform < kPlatformCount; ++platform) {
        if ((mask & platformMask(platform)) == 0)
            continue;
        if (!text.isEmpty())
            text += u',';
        text += kPlatformNames.nameOf(platform);
    }
    return text;
}

std::int32_t parseInstallerPlatform(std::u16string_view text)
{
    return kInstallerPlatformNames.valueOf(text, kInstallerPlatformOther);
}

SharedString installerPlatformName(std::int32_t platform)
{
    return SharedString(kInstallerPlatformNames.nameOf(platform));
}

std::int32_t parseInstallerType(std::u16string_view text)
{
    return kInstallerTypeNames.valueOf(text, kInstallerTypeFull);
}

SharedString installerTypeName(std::int32_t type)
{
    return SharedString(kInstallerTypeNames.nameOf(type, u"Full"));
}

TargetPlatform platformFromDeviceType(std::int32_t deviceType)
{
    switch (deviceType) {
    case 3:
    case 4:
    case 6:
    case 7:
    case 8:
    case 9:
    case 10:
    case 11:
    case 12:
    case 13:
    case 14:
    case 18:
    case 26:
        return kPlatformWm6;
    case 5:
        return kPlatform7RWinCE;
    case 15:
        return kPlatformRv1Wn1;
    case 16:
    case 17:
        return kPlatformQm40;
    case 19:
        return kPlatformRNVB;
    case 20:
        return g_treatLq5AsQm40.load(std::memory_order_relaxed) ? kPlatformQm40 : kPlatformLQ5;
    case 21:
    case 25:
        return kPlatformWin32;
    case 22:
    case 23:
        return kPlatformWin64;
    case 24:
        return kPlatformRNVC;
    default:
        return kPlatformUnknown;
    }
}

void setTreatLq5AsQm40()
{
    g_treatLq5AsQm40.store(true, std::memory_order_relaxed);
}

void resetTreatLq5AsQm40ForTests()
{
    g_treatLq5AsQm40.store(false, std::memory_order_relaxed);
}

}  // namespace druvex
