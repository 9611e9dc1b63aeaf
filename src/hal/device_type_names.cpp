#include <array>

#include "hal/device_identity.h"

namespace druvex {

namespace {

// Indexed by id; the order of the ids, not the order scripts list them in.
constexpr std::array<const char16_t*, kDeviceTypeCount> kDeviceTypeNames = {
    u"NONE",         u"INVALID_DEVICE",      u"VALID_DEVICE", u"KT_11",     u"KT_81",        u"KT_61",
    u"KT_31",        u"KT_21",               u"KT_41",        u"LQ1",       u"ORNATA",       u"ORNATA_RTK",
    u"KT_51",        u"MV_5",                u"FENNICK_MX",   u"TS_ONBOARD", u"TS_QM40",     u"TS_TSORLAN",
    u"GENERIC_WIN_MOBILE6", u"BRELLAN_RNVB", u"LQ5",          u"WIN32",     u"WIN64",        u"KT71",
    u"BRELLAN_RNVC", u"EMULATED",            u"LQ2",
};

constexpr std::array<const char16_t*, 3> kConnectionStateNames = {
    u"DEVICE_CONNECTED",
    u"DEVICE_NOT_FOUND",
    u"ACCESS_DENIED",
};

}  // namespace

SharedString deviceTypeName(std::int32_t id)
{
    if (id < 0 || id >= kDeviceTypeCount)
        return SharedString();
    return SharedString(kDeviceTypeNames[static_cast<std::size_t>(id)]);
}

SharedString connectionStateName(std::int32_t state)
{
    if (state < 0 || state >= static_cast<std::int32_t>(kConnectionStateNames.size()))
        return SharedString();
    return SharedString(kConnectionStateNames[static_cast<std::size_t>(state)]);
}

}  // namespace druvex
