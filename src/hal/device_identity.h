// Which handheld the installer runs on: the device-model ids that hosts,
// scripts and the controller see, their names, the probe sequence that finds
// the model on the device, and the platform number of the user-interface
// toolkit (a second, independent probe sequence).
#pragma once

#include <cstdint>

#include "text/shared_string.h"

namespace druvex {

// Device-model ids. The names are the keys scripts see in "Enumerators", so
// they keep the device's spelling. Detection on the device yields only
// INVALID_DEVICE and KT_11 to GENERIC_WIN_MOBILE6, BRELLAN_RNVC and LQ2; NONE
// stands for a failed connection, WIN32, WIN64, KT71 and EMULATED come from
// hosts of other platforms.
enum class DeviceType : std::int32_t {
    NONE = 0,
    INVALID_DEVICE = 1,
    VALID_DEVICE = 2,
    KT_11 = 3,
    KT_81 = 4,
    KT_61 = 5,
    KT_31 = 6,
    KT_21 = 7,
    KT_41 = 8,
    LQ1 = 9,
    ORNATA = 10,
    ORNATA_RTK = 11,
    KT_51 = 12,
    MV_5 = 13,
    FENNICK_MX = 14,
    TS_ONBOARD = 15,
    TS_QM40 = 16,
    TS_TSORLAN = 17,
    GENERIC_WIN_MOBILE6 = 18,
    BRELLAN_RNVB = 19,
    LQ5 = 20,
    WIN32 = 21,
    WIN64 = 22,
    KT71 = 23,
    BRELLAN_RNVC = 24,
    EMULATED = 25,
    LQ2 = 26,
};

constexpr std::int32_t kDeviceTypeCount = 27;  // ids 0 to 26

// Whether a host reached its device (the answer of the host's device-type
// query next to the type itself).
enum class ConnectionState : std::int32_t {
    DEVICE_CONNECTED = 0,
    DEVICE_NOT_FOUND = 1,
    ACCESS_DENIED = 2,
};

// "KT_11" for 3 and so on; the empty text for an id outside 0 to 26.
SharedString deviceTypeName(std::int32_t id);
inline SharedString deviceTypeName(DeviceType type)
{
    return deviceTypeName(static_cast<std::int32_t>(type));
}
// "DEVICE_CONNECTED" (0), "DEVICE_NOT_FOUND" (1), "ACCESS_DENIED" (2); else empty.
SharedString connectionStateName(std::int32_t state);
inline SharedString connectionStateName(ConnectionState state)
{
    return connectionStateName(static_cast<std::int32_t>(state));
}

// Identifies the active device by its registry, files, vendor library,
// screen, OEM and platform-type texts and OS version; the first probe that
// matches decides, INVALID_DEVICE when none does. A device profile with
// ForceDeviceType gets that type without any probe. Most probe answers are
// kept for the process after their first use (the hardware cannot change
// under a running program); the others are made again on every call, so a
// repeated call can only change through those. Safe from any thread.
// (Inside a host class whose own slot has this name, call it qualified.)
DeviceType detectDeviceType();

// The user-interface toolkit's platform number: 0 to 11, 15, or -1 for none.
// Computed on the first call and kept for the process.
std::int32_t getPlatformId();

// Forgets every answer kept for the process (detection probes and the
// platform number), so that one test process can identify many devices.
// Tests only: the program never calls it.
void resetDeviceIdentificationForTests();

}  // namespace druvex
