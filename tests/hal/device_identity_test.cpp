#include "hal/device_identity.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "hal/vendor_modules.h"
#include "platform/builtin_modules.h"
#include "platform/device_config.h"
#include "platform/registry.h"
#include "platform/win_error.h"
#include "support/device_fixture.h"
#include "support/diag_capture.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

using enum DeviceType;

// A stand-in device as identification sees it: files and folders below fs/,
// registry.reg, and the [Device] and [Vendor] values of its profile.
struct DeviceProfile {
    std::vector<const char*> files = {};    // below fs/, '/' separated
    std::vector<const char*> folders = {};  // below fs/
    std::string registry = {};              // registry.reg after its first line
    DeviceOsVersion os = {5, 2};
    const char16_t* platformType = u"PocketPC";
    const char16_t* oemInfo = u"";
    std::pair<int, int> screen = {480, 640};
    const char16_t* i2cRegister = nullptr;  // [Vendor] FsapiI2CRegister
    std::optional<int> forceDeviceType = {};
};

std::string hklm(const char* key, const char* name, const char* value)
{
    return std::string("[HKEY_LOCAL_MACHINE\\") + key + "]\n\"" + name + "\"=\"" + value + "\"\n";
}

const std::string kKt81Platform = hklm("Platform", "Name", "KT81 Platform");
const std::string kBluetoothDriverKey = "[HKEY_LOCAL_MACHINE\\Software\\Orv\\Bluetooth\\Driver]\n";
const std::string kKt51Card = hklm("Drivers\\BuiltIn\\SDRDRV", "01", "KT51.cab");
const std::string kQuendaMaker = hklm("Software\\Microsoft\\ActiveSync", "DeviceManufacturer", "Quenda");
const std::string kPordanMaker = hklm("Software\\Microsoft\\ActiveSync", "DeviceManufacturer", "Pordan");
const std::vector<const char*> kSellaFiles = {"Windows/Sella_Resources.dll", "Windows/FSAPI.dll"};

// Makes the profile the process's active device, with its registry, and
// forgets what earlier devices left in the kept answers.
class StandInDevice {
public:
    explicit StandInDevice(const DeviceProfile& profile) : device_({}, configFor(profile))
    {
        for (const char* file : profile.files)
            device_.writeFile(file, "MZ");
        for (const char* folder : profile.folders)
            device_.makeFolder(folder);
        writeRegistry(profile.registry);
        resetDeviceIdentificationForTests();
    }
    ~StandInDevice()
    {
        deviceRegistry().configure({});
        resetDeviceIdentificationForTests();
    }

    test::TestDevice& device() { return device_; }

    void writeRegistry(const std::string& body)
    {
        device_.writeDeviceFile("registry.reg", "DRUVEX-REGISTRY 1\n\n" + body);
        ASSERT_EQ(deviceRegistry().configure((device_.directory() / "registry.reg").string()), kErrorSuccess);
    }

    void changeProfile(const std::function<void(DeviceConfig&)>& change)
    {
        DeviceConfig config = device_.config();
        change(config);
        device_.reconfigure(std::move(config));
    }

private:
    static DeviceConfig configFor(const DeviceProfile& profile)
    {
        DeviceConfig config;
        config.osVersion = profile.os;
        config.platformType = profile.platformType;
        config.oemInfo = profile.oemInfo;
        config.screenWidth = profile.screen.first;
        config.screenHeight = profile.screen.second;
        config.forceDeviceType = profile.forceDeviceType;
        if (profile.i2cRegister)
            config.vendor[u"FsapiI2CRegister"] = profile.i2cRegister;
        return config;
    }

    test::TestDevice device_;
};

struct IdentityCase {
    const char* label;
    DeviceProfile profile;
    DeviceType type;
    std::int32_t platformId;
};

void PrintTo(const IdentityCase& c, std::ostream* out)
{
    *out << c.label;
}

class DeviceIdentityProfiles : public ::testing::TestWithParam<IdentityCase> {};

TEST_P(DeviceIdentityProfiles, IdentifiesTheModelAndTheToolkitPlatform)
{
    const IdentityCase& c = GetParam();
    StandInDevice device(c.profile);
    EXPECT_EQ(deviceTypeName(detectDeviceType()), deviceTypeName(c.type));
    EXPECT_EQ(getPlatformId(), c.platformId);
}

// Each row names the probe that decides and, where it matters, what would
// have matched later or earlier.
const IdentityCase kIdentityCases[] = {
    {"kt81_platform", {.registry = kKt81Platform}, KT_81, 4},
    {"kt81_platform_with_bluetooth_driver", {.registry = kKt81Platform + kBluetoothDriverKey}, KT_11, 1},
    {"kt81_platform_wins_over_everything_else",
     {.files = {"Windows/KT31Lib.dll", "Windows/Sella_Resources.dll", "Windows/C2_Resources.dll"},
      .folders = {"ROMDisk"}, .registry = kKt81Platform + hklm("Ident", "OrigName", "MV5-1"), .os = {7, 0},
      .oemInfo = u"Quenda LQ5"},
     KT_81, 8},
    {"bris_library_on_os6", {.files = {"Windows/BrisCE.dll"}, .os = {6, 0}, .platformType = u"CEDevice"}, KT_61, -1},
    {"bris_library_needs_os6", {.files = {"Windows/BrisCE.dll"}, .os = {5, 2}}, GENERIC_WIN_MOBILE6, -1},
    {"kt31_library_before_rv21", {.files = {"Windows/KT31Lib.dll", "Windows/rv21_camMenuExt.dll"}}, KT_31, 0},
    {"rv21_extension", {.files = {"Windows/rv21_camMenuExt.dll"}}, KT_21, 5},
    {"rv41_extension", {.files = {"Windows/RV41_CAMMENUEXT.DLL"}}, KT_41, 6},
    {"kt51_needs_library_card_and_maker",
     {.files = {"Windows/C2_Resources.dll"}, .registry = kKt51Card + kQuendaMaker + hklm("Ident", "OrigName", "KT-51 R2"),
      .platformType = u"CEDevice"},
     KT_51, 2},
    {"kt51_library_alone_is_generic", {.files = {"Windows/C2_Resources.dll"}, .platformType = u"CEDevice"},
     GENERIC_WIN_MOBILE6, -1},
    {"kt51_card_from_another_maker", {.files = {"Windows/C2_Resources.dll"}, .registry = kKt51Card + kPordanMaker},
     LQ2, 15},
    {"mv5_original_name", {.registry = hklm("Ident", "OrigName", "MV5x")}, MV_5, 2},
    {"original_name_is_compared_with_case", {.registry = hklm("Ident", "OrigName", "mv5x")}, GENERIC_WIN_MOBILE6, -1},
    {"hdwq_library_zt8_name", {.files = {"Windows/THDWQ.dll"}, .registry = hklm("Ident", "OrigName", "ZT8-200")}, LQ1,
     10},
    {"hdwq_library_second_name", {.files = {"Windows/HDWQLib.dll"}}, LQ1, 7},
    {"sella_with_rtk_register", {.files = kSellaFiles, .i2cRegister = u"0x40"}, ORNATA_RTK, 9},
    {"sella_register_top_bits_only", {.files = kSellaFiles, .i2cRegister = u"0x5F"}, ORNATA_RTK, 9},
    {"sella_without_rtk_register", {.files = kSellaFiles, .i2cRegister = u"0x20"}, ORNATA, 8},
    {"sella_without_vendor_library", {.files = {"Windows/Sella_Resources.dll"}, .i2cRegister = u"64"}, ORNATA, 8},
    {"sella_library_without_export", {.files = kSellaFiles}, ORNATA, 8},
    {"vivaro_library", {.files = {"Windows/vivaroapi.dll"}}, FENNICK_MX, -1},
    {"c_drive_file", {.files = {"C_Drive"}}, FENNICK_MX, -1},
    {"ce7_romdisk_wide_screen", {.folders = {"ROMDisk"}, .os = {7, 0}, .screen = {800, 640}}, TS_TSORLAN, -1},
    {"ce7_romdisk", {.folders = {"ROMDisk"}, .os = {7, 99}, .screen = {640, 640}}, TS_QM40, -1},
    {"ce6_romdisk", {.folders = {"romdisk"}, .os = {6, 0}}, TS_ONBOARD, -1},
    {"romdisk_past_ce7", {.folders = {"ROMDisk"}, .os = {8, 0}}, GENERIC_WIN_MOBILE6, -1},
    {"romdisk_file_is_no_folder", {.files = {"ROMDisk"}, .os = {7, 0}, .platformType = u"CEDevice"}, INVALID_DEVICE,
     -1},
    {"rnv_folder_on_os6", {.folders = {"Windows/RNV"}, .os = {6, 5}}, BRELLAN_RNVB, -1},
    {"rnv_file_on_os7", {.files = {"Windows/RNV"}, .os = {7, 0}}, BRELLAN_RNVC, -1},
    {"lq5_oem_text_any_case", {.oemInfo = u"qUENDA lq5", .screen = {1024, 600}}, LQ5, 11},
    {"pordan_platform_name", {.registry = hklm("Platform", "Name", "Pordan")}, LQ2, 15},
    {"generic_wm65", {.os = {5, 2}}, GENERIC_WIN_MOBILE6, -1},
    {"pocketpc_below_wm6", {.os = {5, 1}}, INVALID_DEVICE, -1},
    {"platform_type_is_compared_with_case", {.platformType = u"pocketpc"}, INVALID_DEVICE, -1},
    {"folder_named_like_the_kt31_library", {.folders = {"Windows/KT31Lib.dll"}}, GENERIC_WIN_MOBILE6, 0},
    {"corvel2_original_name", {.registry = hklm("Ident", "OrigName", "Corvel2 Pro")}, GENERIC_WIN_MOBILE6, 3},
    {"forced_type_skips_the_probes", {.files = {"Windows/KT31Lib.dll"}, .forceDeviceType = 21}, WIN32, 0},
};

INSTANTIATE_TEST_SUITE_P(Table, DeviceIdentityProfiles, ::testing::ValuesIn(kIdentityCases),
                         [](const auto& info) { return std::string(info.param.label); });

// A generic device whose first identification runs every probe up to the
// last; then one thing changes on it.
struct ChangeCase {
    const char* label;
    bool withC2Library;  // the generic answer then comes from the library, not the platform type
    const char* made;  // below fs/ before the rest: a file when it ends in ".dll", else a folder
    std::string registry;
    std::function<void(DeviceConfig&)> profile;
    DeviceType afterChange;  // GENERIC_WIN_MOBILE6 where the changed probe's answer is kept
    DeviceType afterReset;
};

const ChangeCase kChangeCases[] = {
    {"platform_name_is_kept", false, nullptr, kKt81Platform, nullptr, GENERIC_WIN_MOBILE6, KT_81},
    {"kt31_library_is_kept", false, "Windows/KT31Lib.dll", "", nullptr, GENERIC_WIN_MOBILE6, KT_31},
    {"sella_resources_are_kept", false, "Windows/Sella_Resources.dll", "", nullptr, GENERIC_WIN_MOBILE6, ORNATA},
    {"pordan_maker_is_kept", false, nullptr, kPordanMaker, nullptr, GENERIC_WIN_MOBILE6, LQ2},
    {"platform_type_is_kept", false, nullptr, "", [](DeviceConfig& c) { c.platformType = u"CEDevice"; },
     GENERIC_WIN_MOBILE6, INVALID_DEVICE},
    {"kt51_card_and_maker_are_tested_again", true, nullptr, kKt51Card + kQuendaMaker, nullptr, KT_51, KT_51},
    {"original_name_is_tested_again", false, nullptr, hklm("Ident", "OrigName", "MV5-9"), nullptr, MV_5, MV_5},
    {"romdisk_and_os_version_are_tested_again", false, "ROMDisk", "",
     [](DeviceConfig& c) { c.osVersion = {7, 0}; }, TS_QM40, TS_QM40},
    {"screen_width_is_tested_again", false, "ROMDisk", "",
     [](DeviceConfig& c) { c.osVersion = {7, 0}; c.screenWidth = 800; }, TS_TSORLAN, TS_TSORLAN},
    {"rnv_entry_is_tested_again", false, "Windows/RNV", "", [](DeviceConfig& c) { c.osVersion = {6, 0}; },
     BRELLAN_RNVB, BRELLAN_RNVB},
    {"oem_text_is_tested_again", false, nullptr, "", [](DeviceConfig& c) { c.oemInfo = u"Quenda LQ5"; }, LQ5, LQ5},
};

void PrintTo(const ChangeCase& c, std::ostream* out)
{
    *out << c.label;
}

class DeviceIdentityKeptAnswers : public ::testing::TestWithParam<ChangeCase> {};

TEST_P(DeviceIdentityKeptAnswers, OnlyProbesThatAreNotKeptSeeAChange)
{
    const ChangeCase& c = GetParam();
    DeviceProfile profile;
    if (c.withC2Library)
        profile.files = {"Windows/C2_Resources.dll"};
    StandInDevice device(profile);
    ASSERT_EQ(detectDeviceType(), GENERIC_WIN_MOBILE6);

    if (c.made && std::string_view(c.made).ends_with(".dll"))
        device.device().writeFile(c.made, "MZ");
    else if (c.made)
        device.device().makeFolder(c.made);
    if (!c.registry.empty())
        device.writeRegistry(c.registry);
    if (c.profile)
        device.changeProfile(c.profile);
    EXPECT_EQ(deviceTypeName(detectDeviceType()), deviceTypeName(c.afterChange));

    resetDeviceIdentificationForTests();
    EXPECT_EQ(deviceTypeName(detectDeviceType()), deviceTypeName(c.afterReset));
}

INSTANTIATE_TEST_SUITE_P(Table, DeviceIdentityKeptAnswers, ::testing::ValuesIn(kChangeCases),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(DeviceIdentity, ThePlatformNumberAndTheRegisterAreReadOnce)
{
    {
        StandInDevice device({});
        EXPECT_EQ(getPlatformId(), -1);
        device.writeRegistry(hklm("Ident", "OrigName", "ZT6"));
        EXPECT_EQ(getPlatformId(), -1);
        resetDeviceIdentificationForTests();
        EXPECT_EQ(getPlatformId(), 10);
    }
    // One reading of the register serves both sequences.
    StandInDevice device({.files = kSellaFiles, .i2cRegister = u"0x40"});
    EXPECT_EQ(detectDeviceType(), ORNATA_RTK);
    device.changeProfile([](DeviceConfig& c) { c.vendor[u"FsapiI2CRegister"] = u"0x00"; });
    EXPECT_EQ(getPlatformId(), 9);
    EXPECT_EQ(detectDeviceType(), ORNATA_RTK);
}

TEST(DeviceIdentity, TheVendorLibraryIsAModuleOfTheDevice)
{
    StandInDevice device({.files = {"Windows/FSAPI.dll"}, .i2cRegister = u"0x41"});
    registerVendorModules(device.device().config());
    std::shared_ptr<const BuiltinModule> module;
    ASSERT_EQ(findBuiltinModule(u"\\WINDOWS\\fsapi.dll", module), kErrorSuccess);
    const auto readRegister = reinterpret_cast<FsGetI2CRegisterFunction>(module->findExport(u"FSGetI2CRegister"));
    ASSERT_NE(readRegister, nullptr);
    std::uint8_t buffer[3] = {0x20, 0, 0};
    EXPECT_NE(readRegister(buffer, 3, 32), 0);
    EXPECT_EQ(buffer[2], 0x41);
    EXPECT_EQ(readRegister(buffer, 2, 32), 0);

    std::filesystem::remove(device.device().hostPath("Windows/FSAPI.dll"));
    EXPECT_EQ(findBuiltinModule(kFsapiLibraryPath, module), kErrorModNotFound);

    device.device().writeFile("Windows/FSAPI.dll", "MZ");
    device.changeProfile([](DeviceConfig& c) { c.vendor.clear(); });
    registerVendorModules(device.device().config());
    ASSERT_EQ(findBuiltinModule(kFsapiLibraryPath, module), kErrorSuccess);
    EXPECT_EQ(module->findExport(u"FSGetI2CRegister"), nullptr);
}

TEST(DeviceIdentity, MalformedRegisterValuesReadAsNoRegister)
{
    for (const char16_t* value : {u"", u"0x", u"0x140", u"256", u"4O", u"-64", u"0x4g"}) {
        StandInDevice device({.files = kSellaFiles, .i2cRegister = value});
        EXPECT_EQ(detectDeviceType(), ORNATA) << std::u16string_view(value).size();
    }
}

TEST(DeviceIdentity, ForcedTypesAnswerEveryIdWithoutAProbeAndOthersAreReported)
{
    // NONE and the ids of other platforms' hosts included.
    StandInDevice device({.files = {"Windows/rv21_camMenuExt.dll"}, .registry = kKt81Platform});
    for (int forced = 0; forced < kDeviceTypeCount; ++forced) {
        device.changeProfile([&](DeviceConfig& c) { c.forceDeviceType = forced; });
        EXPECT_EQ(static_cast<int>(detectDeviceType()), forced);
    }
    for (int forced : {-1, 27, 1000}) {
        test::DiagCapture diag;
        device.changeProfile([&](DeviceConfig& c) { c.forceDeviceType = forced; });
        resetDeviceIdentificationForTests();
        EXPECT_EQ(detectDeviceType(), KT_81) << forced;
        EXPECT_TRUE(diag.contains(u"ForceDeviceType")) << forced;
    }
    device.changeProfile([](DeviceConfig& c) { c.forceDeviceType.reset(); });
    EXPECT_EQ(detectDeviceType(), KT_81);
}

TEST(DeviceIdentity, ProbesLeaveTheCallersLastErrorAlone)
{
    StandInDevice device({.platformType = u"CEDevice"});
    setLastError(1234);
    EXPECT_EQ(detectDeviceType(), INVALID_DEVICE);
    EXPECT_EQ(getPlatformId(), -1);
    EXPECT_EQ(getLastError(), 1234u);
}

TEST(DeviceIdentity, AWindowsFolderMovedByTheProfileCarriesTheRnvEntry)
{
    StandInDevice device({.folders = {"Windows/RNV", "Sys/RNV"}, .os = {7, 0}});
    device.changeProfile([](DeviceConfig& c) { c.specialFolders[36] = u"\\Sys\\"; });
    EXPECT_EQ(detectDeviceType(), BRELLAN_RNVC);
    device.changeProfile([](DeviceConfig& c) { c.specialFolders[36] = u"\\Elsewhere"; });
    EXPECT_EQ(detectDeviceType(), GENERIC_WIN_MOBILE6);
    device.changeProfile([](DeviceConfig& c) { c.specialFolders.erase(36); });
    EXPECT_EQ(detectDeviceType(), GENERIC_WIN_MOBILE6);
}

TEST(DeviceIdentityThreads, ConcurrentIdentificationsAgree)
{
    StandInDevice device({.files = kSellaFiles, .i2cRegister = u"0x40"});
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 40; ++i) {
                if (t == 0 && i % 10 == 0)
                    resetDeviceIdentificationForTests();
                wrong += detectDeviceType() != ORNATA_RTK;
                wrong += getPlatformId() != 9;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(wrong.load(), 0);
}

// The names of the ids, and no name past either end.
TEST(DeviceIdentityNames, DeviceTypesAndConnectionStates)
{
    EXPECT_EQ(deviceTypeName(NONE), u"NONE");
    EXPECT_EQ(deviceTypeName(26), u"LQ2");
    EXPECT_EQ(deviceTypeName(27), u"");
    EXPECT_EQ(deviceTypeName(-1), u"");
    EXPECT_EQ(connectionStateName(ConnectionState::DEVICE_CONNECTED), u"DEVICE_CONNECTED");
    EXPECT_EQ(connectionStateName(2), u"ACCESS_DENIED");
    EXPECT_EQ(connectionStateName(3), u"");
    EXPECT_EQ(connectionStateName(-1), u"");
}

}  // namespace
}  // namespace druvex
