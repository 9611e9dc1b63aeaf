#include "hal/device_identity.h"

#include <memory>
#include <optional>

#include "text/diag.h"
#include "hal/device_probes.h"
#include "platform/device_config.h"
#include "platform/win_error.h"
#include "text/mutex.h"

namespace druvex {

namespace {

using namespace device_probes;

constexpr const char16_t* kPlatformKey = u"Platform";
constexpr const char16_t* kPlatformNameValue = u"Name";
constexpr const char16_t* kIdentKey = u"Ident";
constexpr const char16_t* kOrigNameValue = u"OrigName";
constexpr const char16_t* kActiveSyncKey = u"Software\\Microsoft\\ActiveSync";
constexpr const char16_t* kManufacturerValue = u"DeviceManufacturer";
constexpr const char16_t* kBluetoothDriverKey = u"Software\\Orv\\Bluetooth\\Driver";
constexpr const char16_t* kSdCardDriverKey = u"Drivers\\BuiltIn\\SDRDRV";

constexpr const char16_t* kKt81PlatformName = u"KT81 Platform";
constexpr const char16_t* kQuendaManufacturer = u"Quenda";
constexpr const char16_t* kPordanName = u"Pordan";

constexpr int kCsidlWindows = 36;

// Answers that cannot change while the program runs (they come from the
// device's ROM and hardware), each made on first use and kept. A probe that
// reads something a running installer may change is not kept.
struct KeptAnswers {
    std::optional<DeviceType> kt81Platform;  // KT_11, KT_81, or NONE for no
    std::optional<bool> brisLibraryOnOs6;
    std::optional<bool> kt31Library;
    std::optional<bool> rv21Extension;
    std::optional<bool> rv41Extension;
    std::optional<bool> c2Resources;  // the file test shared by the KT_51 and generic probes
    std::optional<bool> hdwqLibrary;
    std::optional<bool> sellaResources;
    std::optional<bool> i2cRegister;  // shared with the toolkit's sequence: one hardware read
    std::optional<bool> fennickDevice;
    std::optional<bool> pordanDevice;
    std::optional<bool> pocketPcOs502;
    std::optional<std::int32_t> platformId;
};

struct Identity {
    Mutex mutex;  // guards `kept` and serialises the probe sequences
    KeptAnswers kept GUARDED_BY(mutex);
};

Identity& identity()
{
    // Never destroyed: a worker thread may still identify while statics go.
    static Identity* instance = new Identity;
    return *instance;
}

template <class T, class Probe>
T keep(std::optional<T>& answer, Probe&& probe)
{
    if (!answer)
        answer = probe();
    return *answer;
}

bool startsWith(const SharedString& text, std::u16string_view prefix)
{
    return text.view().substr(0, prefix.size()) == prefix;
}

SharedString windowsFile(const char16_t* name)
{
    return SharedString::concatText(SharedString(u"\\Windows\\"), name);
}

// The probes the two sequences read from the device profile and registry.
class ProbeContext {
public:
    explicit ProbeContext(std::shared_ptr<const DeviceConfig> config) : config_(std::move(config)) {}

    const DeviceConfig& config() const { return *config_; }
    int osVersion() const { return config_->osVersion.major * 100 + config_->osVersion.minor; }
    int osMajor() const { return config_->osVersion.major; }

    bool isPordan() const
    {
        return registryText(kPlatformKey, kPlatformNameValue) == kPordanName ||
               registryText(kActiveSyncKey, kManufacturerValue) == kPordanName;
    }

    // The Windows folder as the device names it, with "\RNV".
    bool rnvExists() const
    {
        const auto folder = config_->specialFolders.find(kCsidlWindows);
        if (folder == config_->specialFolders.end() || folder->second.isEmpty())
            return false;
        return entryTest(SharedString::concatText(folder->second, u"\\RNV"));
    }

private:
    std::shared_ptr<const DeviceConfig> config_;
};

DeviceType kt81PlatformProbe()
{
    if (registryText(kPlatformKey, kPlatformNameValue) != kKt81PlatformName)
        return DeviceType::NONE;
    return registryKeyOpens(kBluetoothDriverKey) ? DeviceType::KT_11 : DeviceType::KT_81;
}

DeviceType probeSequence(const ProbeContext& device, KeptAnswers& kept)
{
    const DeviceType platform = keep(kept.kt81Platform, kt81PlatformProbe);
    if (platform != DeviceType::NONE)
        return platform;
    if (keep(kept.brisLibraryOnOs6,
             [&] { return device.osMajor() == 6 && fileTest(windowsFile(u"BrisCE.dll")); }))
        return DeviceType::KT_61;
    if (keep(kept.kt31Library, [] { return fileTest(windowsFile(u"KT31Lib.dll")); }))
        return DeviceType::KT_31;
    if (keep(kept.rv21Extension, [] { return fileTest(windowsFile(u"rv21_camMenuExt.dll")); }))
        return DeviceType::KT_21;
    if (keep(kept.rv41Extension, [] { return fileTest(windowsFile(u"rv41_camMenuExt.dll")); }))
        return DeviceType::KT_41;

    const auto c2Resources = [&] {
        return keep(kept.c2Resources, [] { return fileTest(windowsFile(u"C2_Resources.dll")); });
    };
    if (c2Resources() && registryText(kSdCardDriverKey, u"01") == u"KT51.cab" &&
        registryText(kActiveSyncKey, kManufacturerValue) == kQuendaManufacturer)
        return DeviceType::KT_51;
    if (startsWith(registryText(kIdentKey, kOrigNameValue), u"MV5"))
        return DeviceType::MV_5;
    if (keep(kept.hdwqLibrary,
             [] { return fileTest(windowsFile(u"THDWQ.dll")) || fileTest(windowsFile(u"HDWQLib.dll")); }))
        return DeviceType::LQ1;
    if (keep(kept.sellaResources, [] { return fileTest(windowsFile(u"Sella_Resources.dll")); }))
        return keep(kept.i2cRegister, i2cRegisterProbe) ? DeviceType::ORNATA_RTK : DeviceType::ORNATA;
    if (keep(kept.fennickDevice,
             [] { return fileTest(windowsFile(u"vivaroapi.dll")) || fileTest(SharedString(u"\\C_Drive")); }))
        return DeviceType::FENNICK_MX;

    const int os = device.osVersion();
    const bool romDisk = folderTest(SharedString(u"\\ROMDisk"));
    if (os >= 700 && os <= 799 && romDisk && device.config().screenWidth == 800)
        return DeviceType::TS_TSORLAN;
    if (os >= 700 && os <= 799 && romDisk)
        return DeviceType::TS_QM40;
    if (os < 700 && romDisk)
        return DeviceType::TS_ONBOARD;
    if (device.osMajor() == 6 && device.rnvExists())
        return DeviceType::BRELLAN_RNVB;
    if (device.osMajor() == 7 && device.rnvExists())
        return DeviceType::BRELLAN_RNVC;
    if (compareNoCase(device.config().oemInfo.c_str(), u"Quenda LQ5") == 0)
        return DeviceType::LQ5;

    if (keep(kept.pordanDevice, [&] { return device.isPordan(); }))
        return DeviceType::LQ2;
    if (c2Resources())
        return DeviceType::GENERIC_WIN_MOBILE6;
    if (keep(kept.pocketPcOs502,
             [&] { return device.config().platformType == u"PocketPC" && device.osVersion() >= 502; }))
        return DeviceType::GENERIC_WIN_MOBILE6;
    return DeviceType::INVALID_DEVICE;
}

std::int32_t platformSequence(const ProbeContext& device, KeptAnswers& kept)
{
    const SharedString origName = registryText(kIdentKey, kOrigNameValue);
    if (startsWith(origName, u"ZT6") || startsWith(origName, u"ZT8"))
        return 10;
    if (keep(kept.i2cRegister, i2cRegisterProbe))
        return 9;
    if (searchTest(windowsFile(u"Sella_Resources.dll")))
        return 8;
    if (startsWith(origName, u"KT-51") || startsWith(origName, u"MV5"))
        return 2;
    if (startsWith(origName, u"Corvel2"))
        return 3;
    if (searchTest(windowsFile(u"THDWQ.dll")) || searchTest(windowsFile(u"HDWQLib.dll")))
        return 7;
    if (searchTest(windowsFile(u"KT31Lib.dll")))
        return 0;
    if (registryText(kPlatformKey, kPlatformNameValue) == kKt81PlatformName)
        return registryKeyOpens(kBluetoothDriverKey) ? 1 : 4;
    if (searchTest(windowsFile(u"rv21_camMenuExt.dll")))
        return 5;
    if (searchTest(windowsFile(u"rv41_camMenuExt.dll")))
        return 6;
    if (device.config().screenWidth == 1024 && device.config().screenHeight == 600)
        return 11;
    if (device.isPordan())
        return 15;
    return -1;
}

// The probes touch files and the registry, whose failures would otherwise
// become the caller's last error.
class LastErrorKeeper {
public:
    LastErrorKeeper() : saved_(getLastError()) {}
    ~LastErrorKeeper() { setLastError(saved_); }
    LastErrorKeeper(const LastErrorKeeper&) = delete;
    LastErrorKeeper& operator=(const LastErrorKeeper&) = delete;

private:
    std::uint32_t saved_;
};

}  // namespace

DeviceType detectDeviceType()
{
    const std::shared_ptr<const DeviceConfig> config = activeDeviceConfig();
    if (config->forceDeviceType) {
        const int forced = *config->forceDeviceType;
        if (forced >= 0 && forced < kDeviceTypeCount)
            return static_cast<DeviceType>(forced);
        logPrintf(u"Device profile: ForceDeviceType %d is no device type; identifying the device by its probes",
                  forced);
    }

    LastErrorKeeper lastError;
    Identity& state = identity();
    MutexLock lock(state.mutex);
    return probeSequence(ProbeContext(config), state.kept);
}

std::int32_t getPlatformId()
{
    Identity& state = identity();
    MutexLock lock(state.mutex);
    if (state.kept.platformId)
        return *state.kept.platformId;
    LastErrorKeeper lastError;
    state.kept.platformId = platformSequence(ProbeContext(activeDeviceConfig()), state.kept);
    return *state.kept.platformId;
}

void resetDeviceIdentificationForTests()
{
    Identity& state = identity();
    MutexLock lock(state.mutex);
    state.kept = KeptAnswers();
}

}  // namespace druvex
