// Devices that do not state their type, from end to end: the real
// druvex-setup identifies each by its probes (a registry value, a library of
// the device's system, the platform type and operating system version, the
// screen), as every device in the field is identified. The product's custom
// action names the type the program found; a device of no type the installer
// serves gets nothing; and the launcher of the device type that has one hears
// the installer's end.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "end_to_end_fixture.h"

namespace druvex {
namespace {

namespace fs = std::filesystem;
using test::ProductFeature;
using test::RunResult;

// A custom action at the end of the installation that makes the folder
// \Temp\<the device type's name>.
const std::string kNameTheTypeAction =
    " <CustomActions>\n  <CustomAction Name=\"Type\" Prompt=\"\" FullInst=\"Yes\" ReqSpace=\"0\" Digest=\"\" "
    "Timestamp=\"0\" Version=\"\" ActionType=\"RunScript\" InstallerType=\"Both\" StoreLocation=\"InsideInstaller\" "
    "ExecutionMask=\"15\" Command=\"type.lua\" Param=\"\" PostInstallMode=\"DontShow\" PostInstallText=\"\">\n"
    "   <Content><Folder Name=\"&lt;TARGETDIR&gt;\" Flags=\"0\"><File Name=\"type.lua\" Flags=\"0\" "
    "OrigPath=\"\"/></Folder></Content>\n  </CustomAction>\n </CustomActions>\n"
    " <CustomActionsSequence>[INSTALL-EXIT]Type;</CustomActionsSequence>\n";
const char kNameTheTypeScript[] = "function Main()\n"
                                  "  local name = HalOut:getDeviceType()\n"
                                  "  if not HalOut:createDirectory('\\\\Temp\\\\' .. name) then error(name) end\n"
                                  "end\n";

class EndToEndDeviceIdentity : public test::EndToEndRuns {
protected:
    fs::path placeNamingInstaller(const std::vector<ProductFeature>& features, const std::string& platform)
    {
        const std::map<std::string, std::string> script{{"type.lua", test::utf16leFromUtf8(kNameTheTypeScript)}};
        return placeInstaller("Setup-" + platform, test::dataXml(features, "", "", kNameTheTypeAction, platform),
                              features,
                              {test::codedEntry(u"Type__.lzma", kPayloadMethodLzma, packageOf(script))});
    }
    // A device of this profile, registry and files, with nothing installed
    // on it and no type named yet.
    void becomeDevice(const std::string& profile, const std::string& registry,
                      const std::vector<std::string>& files = {})
    {
        device().writeDeviceFile("device.ini",
                                 "[Device]\n" + profile + "\n[Store:\\]\nTotal=8589934592\nFree=4294967296\n");
        device().writeDeviceFile("registry.reg", "DRUVEX-REGISTRY 1\n\n" + registry);
        for (const std::string& folder : {layout_.destination, layout_.dataFolder, std::string("Temp/KT_81"),
                                          std::string("Temp/GENERIC_WIN_MOBILE6")})
            fs::remove_all(device().hostPath(folder));
        fs::remove(device().hostPath("Windows/C2_Resources.dll"));
        for (const std::string& file : files)
            device().writeFile(file, "MZ");
    }
};

TEST_F(EndToEndDeviceIdentity, EachDeviceIsIdentifiedByItsProbes)
{
    const std::vector<ProductFeature> features = test::productFeatures();
    const fs::path setup = placeNamingInstaller(features, "Wm6");
    const struct {
        const char* what;
        std::string profile;
        std::string registry;
        std::vector<std::string> files;
        const char* type;
    } devices[] = {
        // Named by the platform's registry value: the first probe decides,
        // whatever the late ones would say.
        {"the platform's registry value", "OsVersion=5.2\nPlatformType=PocketPC\n",
         "[HKEY_LOCAL_MACHINE\\Platform]\n\"Name\"=\"KT81 Platform\"\n", {"Windows/C2_Resources.dll"}, "KT_81"},
        // The two last probes: a library of the generic controllers' system,
        // else the platform type of a Windows Mobile 6.5 device.
        {"the system's library", "OsVersion=5.1\nPlatformType=WindowsCE\n", "", {"Windows/C2_Resources.dll"},
         "GENERIC_WIN_MOBILE6"},
        {"the platform type and system version", "OsVersion=5.2\nPlatformType=PocketPC\n", "", {},
         "GENERIC_WIN_MOBILE6"},
    };
    for (const auto& kind : devices) {
        SCOPED_TRACE(kind.what);
        becomeDevice(kind.profile, kind.registry, kind.files);
        const RunResult result = run(setup, {"silent_mode"});
        expectCompleted(result);
        EXPECT_TRUE(device().exists(std::string("Temp/") + kind.type)) << result.log;
        expectInstalledFeatures(features);
    }

    // An older system of that platform type is no device the installer
    // knows: nothing is installed on it.
    becomeDevice("OsVersion=5.1\nPlatformType=PocketPC\n", "");
    const RunResult refused = run(setup, {"silent_mode"});
    EXPECT_EQ(refused.status, 1) << refused.log;
    EXPECT_NE(refused.log.find("The device cannot take the program (check result 5)"), std::string::npos)
        << refused.log;
    EXPECT_FALSE(device().exists(test::kDestination));
}

// The device's application launcher stands for a window of its own; the
// installer tells it that it is done with the six bytes of its message.
TEST_F(EndToEndDeviceIdentity, TheLauncherOfItsDeviceHearsTheInstallersEnd)
{
    // A Qm40 controller with the launcher: a system 7 with its programs in
    // \ROMDisk and a screen 800 pixels wide.
    becomeDevice("OsVersion=7.0\nPlatformType=WindowsCE\nScreenWidth=800\nScreenHeight=480\n", "");
    device().makeFolder("ROMDisk/Program");
    device().makeFolder("ROMDisk2/INI");
    layout_.installerInfo =
        "<InstallerConfiguration InstallerType=\"Full\" InstallerPlat=\"Controller\" TargetPlatMask=\"Qm40\"/>";
    layout_.destination = "ROMDisk/Program/FieldDemo";
    const std::vector<ProductFeature> features = test::productFeatures();
    const fs::path setup = placeNamingInstaller(features, "Qm40");

    fs::create_directories(device().directory() / "windows");
    const std::string path = (device().directory() / "windows" / "Application-Launcher").string();
    const int launcher = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(launcher, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    ASSERT_EQ(::bind(launcher, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);

    const RunResult result = run(setup, {"silent_mode"});
    std::uint8_t received[16] = {};
    const ssize_t count = ::recv(launcher, received, sizeof received, MSG_DONTWAIT);
    ::close(launcher);
    expectCompleted(result);
    EXPECT_TRUE(device().exists("Temp/TS_TSORLAN")) << result.log;
    expectInstalledFeatures(features);
    EXPECT_NE(result.log.find("Message sent to TS-Orlan launcher"), std::string::npos) << result.log;
    EXPECT_EQ(std::vector<std::uint8_t>(received, received + std::max<ssize_t>(count, 0)),
              (std::vector<std::uint8_t>{0x23, 0x4C, 0x54, 0x63, 0x0D, 0x0A}));
}

}  // namespace
}  // namespace druvex
