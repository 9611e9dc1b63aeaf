// The values of a device directory's device.ini: the stand-in device's identity,
// special folders, storage volumes, program stand-ins, network and vendor
// libraries. Every key is optional; the defaults are a Windows Mobile 6 device.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "text/shared_string.h"

namespace druvex {

// [Store:<device path>]: one storage volume. Read-only stores and free space
// come from here, never from file modes (tests run as root).
struct DeviceStore {
    SharedString path;                    // device path of the volume's root, e.g. "\Storage Card"
    std::optional<std::uint64_t> total;   // Total: bytes; unset: the host's numbers
    std::optional<std::uint64_t> free;    // Free: bytes
    bool readOnly = false;                // ReadOnly: writes below it fail with access denied
    bool mounted = false;                 // Mounted: a storage card
};

// [Programs]: a device executable's file name and the host program standing in for it.
struct DeviceProgram {
    SharedString deviceName;   // e.g. "unload.exe", matched without regard to case
    std::string hostProgram;   // host path of the program that runs in its place
};

struct DeviceOsVersion {
    int major = 5;
    int minor = 2;
};

struct DeviceConfig {
    // Host path of the device directory (device.ini, registry.reg, fs/, events.log);
    // empty: no device, paths are host paths.
    std::string deviceDirectory;

    // [Device]
    std::optional<int> forceDeviceType;      // ForceDeviceType: 0..26; unset: identify by probing
    DeviceOsVersion osVersion;               // OsVersion: "major.minor"
    SharedString platformType = u"PocketPC"; // PlatformType
    SharedString oemInfo;                    // OemInfo
    int screenWidth = 480;                   // ScreenWidth
    int screenHeight = 640;                  // ScreenHeight
    unsigned ansiCodePage = 1252;            // AnsiCodePage: what code page 0 means
    unsigned userLocale = 1033;              // UserLocale: LCID
    SharedString tempPath = u"\\Temp\\";     // TempPath
    bool administrator = true;               // Administrator: the device always has the rights
    SharedString userName = u"technician";   // UserName

    // [SpecialFolders]: CSIDL number = device path (defaults: defaultSpecialFolders()).
    std::map<int, SharedString> specialFolders = defaultSpecialFolders();

    // [Store:<device path>]
    std::vector<DeviceStore> stores;

    // [Programs]
    std::vector<DeviceProgram> programs;

    // [Network]
    bool networkConnected = true;  // Connected
    SharedString proxy;            // Proxy: host:port; empty: none
    SharedString checkUrl;         // CheckUrl: the address of the connection check

    // [Vendor]: vendor libraries present and values for device identification,
    // key = value as written.
    std::map<SharedString, SharedString> vendor;

    // The Windows Mobile special folders: 0 and 16 \Windows\Desktop, 2
    // \Windows\Start Menu\Programs, 5 \My Documents, 6 \Windows\Favorites, 7
    // \Windows\StartUp, 8 \Windows\Recent, 11 \Windows\Start Menu, 13 \My
    // Documents\My Music, 14 \My Documents\My Videos, 20 \Windows\Fonts, 21
    // \Windows\Templates, 26 \Application Data, 36 \Windows, 38 \Program Files,
    // 39 \My Documents\My Pictures.
    static std::map<int, SharedString> defaultSpecialFolders();

    // The program standing in for a device executable's file name (case
    // ignored); null when none is configured.
    const DeviceProgram* findProgram(std::u16string_view deviceName) const;
    // The store whose path is the longest prefix of `devicePath` (whole
    // components, case ignored); null when none matches.
    const DeviceStore* findStore(std::u16string_view devicePath) const;
    // A [Vendor] value by key (case ignored); null when absent.
    const SharedString* findVendorValue(std::u16string_view key) const;
};

// The process-wide device: its configuration, and DeviceRoot and the ANSI code
// page set from it. Without an active device the configuration is the default
// one with no device directory, paths map to themselves and the registry lives
// in memory only.
std::shared_ptr<const DeviceConfig> activeDeviceConfig();
// True when a host path lies below a store that the active device profile marks
// read-only. CI runs as root, so file modes could not say so.
bool isOnReadOnlyStore(const std::string& hostPath);

class StoreSpace;
// The free space kept for the store that holds a host path, when the active
// device profile states that store's Free; null otherwise (and without a
// device), when writes there are not limited.
std::shared_ptr<StoreSpace> storeSpaceFor(const std::string& hostPath);

// Also loads the device's registry.reg; false (with the reason) when it does not load.
bool activateDevice(const DeviceConfig& config, std::string* error = nullptr);
void deactivateDevice();

}  // namespace druvex
