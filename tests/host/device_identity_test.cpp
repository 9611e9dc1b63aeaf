#include "host/hal/device_identity.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "host/hal/vendor_modules.h"
#include "platform/builtin_modules.h"
#include "platform/device_config.h"
#include "platform/registry.h"
#include "platform/win_error.h"
#include "support/device_fixture.h"
#include "support/shared_string_print.h"
#include "support/diag_capture.h"

namespace druvex {
namespace {

// A stand-in device as identification sees it: files and folders below fs/,
// registry.reg, and the [Device] and [Vendor] values of its profile.
struct DeviceProfile {
    explicit DeviceProfile(const char* name = "") : label(name) {}

    DeviceProfile& withFiles(std::vector<const char*> list) { files = std::move(list); return *this; }
    DeviceProfile& withFolders(std::vector<const char*> list) { folders = std::move(list); return *this; }
    DeviceProfile& withRegistry(std::string body) { registry = std::move(body); return *this; }
    DeviceProfile& withOs(int major, int minor) { os = {major, minor}; return *this; }
    DeviceProfile& withPlatformType(const char16_t* text) { platformType = text; return *this; }
    DeviceProfile& withOemInfo(const char16_t* text) { oemInfo = text; return *this; }
    DeviceProfile& withScreen(int width, int height) { screenWidth = width; screenHeight = height; return *this; }
    DeviceProfile& withI2cRegister(const char16_t* text) { i2cRegister = text; return *this; }
    DeviceProfile& withForcedType(int type) { forceDeviceType = type; return *this; }

    const char* label;
    std::vector<const char*> files;    // below fs/, '/' separated
    std::vector<const char*> folders;  // below fs/
    std::string registry;              // registry.reg after its first line
    DeviceOsVersion os = {5, 2};
    const char16_t* platformType = u"PocketPC";
    const char16_t* oemInfo = u"";
    int screenWidth = 480;
    int screenHeight = 640;
    const char16_t* i2cRegister = nullptr;  // [Vendor] FsapiI2CRegister
    std::optional<int> forceDeviceType;
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
        config.screenWidth = profile.screenWidth;
        config.screenHeight = profile.screenHeight;
        config.forceDeviceType = profile.forceDeviceType;
        if (profile.i2cRegister)
            config.vendor[u"FsapiI2CRegister"] = profile.i2cRegister;
        return config;
    }

    test::TestDevice device_;
};

struct IdentityCase {
    DeviceProfile profile;
    DeviceType type;
    std::int32_t platformId;
};

void PrintTo(const IdentityCase& c, std::ostream* out)
{
    *out << c.profile.label;
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
    {DeviceProfile("kt81_platform").withRegistry(kKt81Platform), DeviceType::KT_81, 4},
    {DeviceProfile("kt81_platform_with_bluetooth_driver").withRegistry(kKt81Platform + kBluetoothDriverKey),
     DeviceType::KT_11, 1},
    {DeviceProfile("kt81_platform_wins_over_everything_else")
         .withFiles({"Windows/KT31Lib.dll", "Windows/Sella_Resources.dll", "Windows/C2_Resources.dll"})
         .withFolders({"ROMDisk"})
         .withRegistry(kKt81Platform + hklm("Ident", "OrigName", "MV5-1"))
         .withOs(7, 0)
         .withOemInfo(u"Quenda LQ5"),
     DeviceType::KT_81, 8},
    {DeviceProfile("bris_library_on_os6").withFiles({"Windows/BrisCE.dll"}).withOs(6, 0).withPlatformType(u"CEDevice"),
     DeviceType::KT_61, -1},
    {DeviceProfile("bris_library_needs_os6").withFiles({"Windows/BrisCE.dll"}).withOs(5, 2),
     DeviceType::GENERIC_WIN_MOBILE6, -1},
    {DeviceProfile("kt31_library_before_rv21").withFiles({"Windows/KT31Lib.dll", "Windows/rv21_camMenuExt.dll"}),
     DeviceType::KT_31, 0},
    {DeviceProfile("rv21_extension").withFiles({"Windows/rv21_camMenuExt.dll"}), DeviceType::KT_21, 5},
    {DeviceProfile("rv41_extension").withFiles({"Windows/RV41_CAMMENUEXT.DLL"}), DeviceType::KT_41, 6},
    {DeviceProfile("kt51_needs_library_card_and_maker")
         .withFiles({"Windows/C2_Resources.dll"})
         .withRegistry(kKt51Card + kQuendaMaker + hklm("Ident", "OrigName", "KT-51 R2"))
         .withPlatformType(u"CEDevice"),
     DeviceType::KT_51, 2},
    {DeviceProfile("kt51_library_alone_is_generic")
         .withFiles({"Windows/C2_Resources.dll"})
         .withPlatformType(u"CEDevice"),
     DeviceType::GENERIC_WIN_MOBILE6, -1},
    {DeviceProfile("kt51_card_from_another_maker")
         .withFiles({"Windows/C2_Resources.dll"})
         .withRegistry(kKt51Card + kPordanMaker),
     DeviceType::LQ2, 15},
    {DeviceProfile("mv5_original_name").withRegistry(hklm("Ident", "OrigName", "MV5x")), DeviceType::MV_5, 2},
    {DeviceProfile("original_name_is_compared_with_case").withRegistry(hklm("Ident", "OrigName", "mv5x")),
     DeviceType::GENERIC_WIN_MOBILE6, -1},
    {DeviceProfile("hdwq_library_zt8_name")
         .withFiles({"Windows/THDWQ.dll"})
         .withRegistry(hklm("Ident", "OrigName", "ZT8-200")),
     DeviceType::LQ1, 10},
    {DeviceProfile("hdwq_library_second_name").withFiles({"Windows/HDWQLib.dll"}), DeviceType::LQ1, 7},
    {DeviceProfile("sella_with_rtk_register")
         .withFiles({"Windows/Sella_Resources.dll", "Windows/FSAPI.dll"})
         .withI2cRegister(u"0x40"),
     DeviceType::ORNATA_RTK, 9},
    {DeviceProfile("sella_register_top_bits_only")
         .withFiles({"Windows/Sella_Resources.dll", "Windows/FSAPI.dll"})
         .withI2cRegister(u"0x5F"),
     DeviceType::ORNATA_RTK, 9},
    {DeviceProfile("sella_without_rtk_register")
         .withFiles({"Windows/Sella_Resources.dll", "Windows/FSAPI.dll"})
         .withI2cRegister(u"0x20"),
     DeviceType::ORNATA, 8},
    {DeviceProfile("sella_without_vendor_library").withFiles({"Windows/Sella_Resources.dll"}).withI2cRegister(u"64"),
     DeviceType::ORNATA, 8},
    {DeviceProfile("sella_library_without_export").withFiles({"Windows/Sella_Resources.dll", "Windows/FSAPI.dll"}),
     DeviceType::ORNATA, 8},
    {DeviceProfile("vivaro_library").withFiles({"Windows/vivaroapi.dll"}), DeviceType::FENNICK_MX, -1},
    {DeviceProfile("c_drive_file").withFiles({"C_Drive"}), DeviceType::FENNICK_MX, -1},
    {DeviceProfile("ce7_romdisk_wide_screen").withFolders({"ROMDisk"}).withOs(7, 0).withScreen(800, 640),
     DeviceType::TS_TSORLAN, -1},
    {DeviceProfile("ce7_romdisk").withFolders({"ROMDisk"}).withOs(7, 99).withScreen(640, 640), DeviceType::TS_QM40, -1},
    {DeviceProfile("ce6_romdisk").withFolders({"romdisk"}).withOs(6, 0), DeviceType::TS_ONBOARD, -1},
    {DeviceProfile("romdisk_past_ce7").withFolders({"ROMDisk"}).withOs(8, 0), DeviceType::GENERIC_WIN_MOBILE6, -1},
    {DeviceProfile("romdisk_file_is_no_folder").withFiles({"ROMDisk"}).withOs(7, 0).withPlatformType(u"CEDevice"),
     DeviceType::INVALID_DEVICE, -1},
    {DeviceProfile("rnv_folder_on_os6").withFolders({"Windows/RNV"}).withOs(6, 5), DeviceType::BRELLAN_RNVB, -1},
    {DeviceProfile("rnv_file_on_os7").withFiles({"Windows/RNV"}).withOs(7, 0), DeviceType::BRELLAN_RNVC, -1},
    {DeviceProfile("lq5_oem_text_any_case").withOemInfo(u"qUENDA lq5").withScreen(1024, 600), DeviceType::LQ5, 11},
    {DeviceProfile("pordan_platform_name").withRegistry(hklm("Platform", "Name", "Pordan")), DeviceType::LQ2, 15},
    {DeviceProfile("generic_wm65").withOs(5, 2), DeviceType::GENERIC_WIN_MOBILE6, -1},
    {DeviceProfile("pocketpc_below_wm6").withOs(5, 1), DeviceType::INVALID_DEVICE, -1},
    {DeviceProfile("platform_type_is_compared_with_case").withPlatformType(u"pocketpc"), DeviceType::INVALID_DEVICE,
     -1},
    {DeviceProfile("folder_named_like_the_kt31_library").withFolders({"Windows/KT31Lib.dll"}),
     DeviceType::GENERIC_WIN_MOBILE6, 0},
    {DeviceProfile("corvel2_original_name").withRegistry(hklm("Ident", "OrigName", "Corvel2 Pro")),
     DeviceType::GENERIC_WIN_MOBILE6, 3},
    {DeviceProfile("forced_type_skips_the_probes").withFiles({"Windows/KT31Lib.dll"}).withForcedType(21),
     DeviceType::WIN32, 0},
};

INSTANTIATE_TEST_SUITE_P(Table, DeviceIdentityProfiles, ::testing::ValuesIn(kIdentityCases),
                         [](const auto& info) { return std::string(info.param.profile.label); });

// A generic device whose first identification runs every probe up to the
// last; then one thing changes on it.
struct ChangeCase {
    const char* label;
    bool withC2Library;  // the generic answer then comes from the library, not the platform type
    std::function<void(StandInDevice&)> change;
    DeviceType afterChange;  // GENERIC_WIN_MOBILE6 where the changed probe's answer is kept
    DeviceType afterReset;
};

void addFile(StandInDevice& d, const char* file)
{
    d.device().writeFile(file, "MZ");
}

const ChangeCase kChangeCases[] = {
    {"platform_name_is_kept", false, [](StandInDevice& d) { d.writeRegistry(kKt81Platform); },
     DeviceType::GENERIC_WIN_MOBILE6, DeviceType::KT_81},
    {"kt31_library_is_kept", false, [](StandInDevice& d) { addFile(d, "Windows/KT31Lib.dll"); },
     DeviceType::GENERIC_WIN_MOBILE6, DeviceType::KT_31},
    {"sella_resources_are_kept", false, [](StandInDevice& d) { addFile(d, "Windows/Sella_Resources.dll"); },
     DeviceType::GENERIC_WIN_MOBILE6, DeviceType::ORNATA},
    {"pordan_maker_is_kept", false, [](StandInDevice& d) { d.writeRegistry(kPordanMaker); },
     DeviceType::GENERIC_WIN_MOBILE6, DeviceType::LQ2},
    {"platform_type_is_kept", false,
     [](StandInDevice& d) { d.changeProfile([](DeviceConfig& c) { c.platformType = u"CEDevice"; }); },
     DeviceType::GENERIC_WIN_MOBILE6, DeviceType::INVALID_DEVICE},
    {"kt51_card_and_maker_are_tested_again", true, [](StandInDevice& d) { d.writeRegistry(kKt51Card + kQuendaMaker); },
     DeviceType::KT_51, DeviceType::KT_51},
    {"original_name_is_tested_again", false,
     [](StandInDevice& d) { d.writeRegistry(hklm("Ident", "OrigName", "MV5-9")); }, DeviceType::MV_5, DeviceType::MV_5},
    {"romdisk_and_os_version_are_tested_again", false,
     [](StandInDevice& d) {
         d.device().makeFolder("ROMDisk");
         d.changeProfile([](DeviceConfig& c) { c.osVersion = {7, 0}; });
     },
     DeviceType::TS_QM40, DeviceType::TS_QM40},
    {"screen_width_is_tested_again", false,
     [](StandInDevice& d) {
         d.device().makeFolder("ROMDisk");
         d.changeProfile([](DeviceConfig& c) {
             c.osVersion = {7, 0};
             c.screenWidth = 800;
         });
     },
     DeviceType::TS_TSORLAN, DeviceType::TS_TSORLAN},
    {"rnv_entry_is_tested_again", false,
     [](StandInDevice& d) {
         d.device().makeFolder("Windows/RNV");
         d.changeProfile([](DeviceConfig& c) { c.osVersion = {6, 0}; });
     },
     DeviceType::BRELLAN_RNVB, DeviceType::BRELLAN_RNVB},
    {"oem_text_is_tested_again", false,
     [](StandInDevice& d) { d.changeProfile([](DeviceConfig& c) { c.oemInfo = u"Quenda LQ5"; }); }, DeviceType::LQ5,
     DeviceType::LQ5},
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
    ASSERT_EQ(detectDeviceType(), DeviceType::GENERIC_WIN_MOBILE6);

    c.change(device);
    EXPECT_EQ(deviceTypeName(detectDeviceType()), deviceTypeName(c.afterChange));

    resetDeviceIdentificationForTests();
    EXPECT_EQ(deviceTypeName(detectDeviceType()), deviceTypeName(c.afterReset));
}

INSTANTIATE_TEST_SUITE_P(Table, DeviceIdentityKeptAnswers, ::testing::ValuesIn(kChangeCases),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(DeviceIdentity, ThePlatformNumberIsComputedOnce)
{
    StandInDevice device{DeviceProfile()};
    EXPECT_EQ(getPlatformId(), -1);
    device.writeRegistry(hklm("Ident", "OrigName", "ZT6"));
    EXPECT_EQ(getPlatformId(), -1);
    resetDeviceIdentificationForTests();
    EXPECT_EQ(getPlatformId(), 10);
}

TEST(DeviceIdentity, TheRegisterIsReadOnceForBothSequences)
{
    StandInDevice device(
        DeviceProfile().withFiles({"Windows/Sella_Resources.dll", "Windows/FSAPI.dll"}).withI2cRegister(u"0x40"));
    EXPECT_EQ(detectDeviceType(), DeviceType::ORNATA_RTK);
    device.changeProfile([](DeviceConfig& c) { c.vendor[u"FsapiI2CRegister"] = u"0x00"; });
    EXPECT_EQ(getPlatformId(), 9);
    EXPECT_EQ(detectDeviceType(), DeviceType::ORNATA_RTK);
}

TEST(DeviceIdentity, TheVendorLibraryIsAModuleOfTheDevice)
{
    StandInDevice device(DeviceProfile().withFiles({"Windows/FSAPI.dll"}).withI2cRegister(u"0x41"));
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
        StandInDevice device(
            DeviceProfile().withFiles({"Windows/Sella_Resources.dll", "Windows/FSAPI.dll"}).withI2cRegister(value));
        EXPECT_EQ(detectDeviceType(), DeviceType::ORNATA)
            << std::string(value, value + std::char_traits<char16_t>::length(value));
    }
}

TEST(DeviceIdentity, ForcedTypeOutsideTheIdsIsReportedAndProbed)
{
    for (int forced : {-1, 27, 1000}) {
        test::DiagCapture diag;
        StandInDevice device(DeviceProfile().withFiles({"Windows/rv21_camMenuExt.dll"}).withForcedType(forced));
        EXPECT_EQ(detectDeviceType(), DeviceType::KT_21) << forced;
        EXPECT_TRUE(diag.contains(u"ForceDeviceType")) << forced;
    }
}

TEST(DeviceIdentity, ForcedTypesAnswerEveryIdWithoutAProbe)
{
    // NONE and the ids of other platforms' hosts included.
    StandInDevice device(DeviceProfile().withRegistry(kKt81Platform));
    for (int forced = 0; forced < kDeviceTypeCount; ++forced) {
        device.changeProfile([&](DeviceConfig& c) { c.forceDeviceType = forced; });
        EXPECT_EQ(static_cast<int>(detectDeviceType()), forced);
    }
    device.changeProfile([](DeviceConfig& c) { c.forceDeviceType.reset(); });
    EXPECT_EQ(detectDeviceType(), DeviceType::KT_81);
}

TEST(DeviceIdentity, ProbesLeaveTheCallersLastErrorAlone)
{
    StandInDevice device(DeviceProfile().withPlatformType(u"CEDevice"));
    setLastError(1234);
    EXPECT_EQ(detectDeviceType(), DeviceType::INVALID_DEVICE);
    EXPECT_EQ(getPlatformId(), -1);
    EXPECT_EQ(getLastError(), 1234u);
}

TEST(DeviceIdentity, AWindowsFolderMovedByTheProfileCarriesTheRnvEntry)
{
    StandInDevice device(DeviceProfile().withFolders({"Windows/RNV", "Sys/RNV"}).withOs(7, 0));
    device.changeProfile([](DeviceConfig& c) { c.specialFolders[36] = u"\\Sys\\"; });
    EXPECT_EQ(detectDeviceType(), DeviceType::BRELLAN_RNVC);
    device.changeProfile([](DeviceConfig& c) { c.specialFolders[36] = u"\\Elsewhere"; });
    EXPECT_EQ(detectDeviceType(), DeviceType::GENERIC_WIN_MOBILE6);
    device.changeProfile([](DeviceConfig& c) { c.specialFolders.erase(36); });
    EXPECT_EQ(detectDeviceType(), DeviceType::GENERIC_WIN_MOBILE6);
}

TEST(DeviceIdentityThreads, ConcurrentIdentificationsAgree)
{
    StandInDevice device(
        DeviceProfile().withFiles({"Windows/Sella_Resources.dll", "Windows/FSAPI.dll"}).withI2cRegister(u"0x40"));
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 40; ++i) {
                if (t == 0 && i % 10 == 0)
                    resetDeviceIdentificationForTests();
                if (detectDeviceType() != DeviceType::ORNATA_RTK)
                    ++wrong;
                if (getPlatformId() != 9)
                    ++wrong;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST(DeviceIdentityNames, DeviceTypesAndConnectionStates)
{
    EXPECT_EQ(deviceTypeName(DeviceType::NONE), u"NONE");
    EXPECT_EQ(deviceTypeName(DeviceType::GENERIC_WIN_MOBILE6), u"GENERIC_WIN_MOBILE6");
    EXPECT_EQ(deviceTypeName(DeviceType::BRELLAN_RNVC), u"BRELLAN_RNVC");
    EXPECT_EQ(deviceTypeName(23), u"KT71");
    EXPECT_EQ(deviceTypeName(26), u"LQ2");
    EXPECT_EQ(deviceTypeName(27), u"");
    EXPECT_EQ(deviceTypeName(-1), u"");
    EXPECT_EQ(connectionStateName(ConnectionState::DEVICE_CONNECTED), u"DEVICE_CONNECTED");
    EXPECT_EQ(connectionStateName(1), u"DEVICE_NOT_FOUND");
    EXPECT_EQ(connectionStateName(2), u"ACCESS_DENIED");
    EXPECT_EQ(connectionStateName(3), u"");
    EXPECT_EQ(connectionStateName(-1), u"");
}

}  // namespace
}  // namespace druvex
