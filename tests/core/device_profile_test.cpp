#include "core/device_profile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "text/text_convert.h"
#include "platform/device_root.h"
#include "support/device_fixture.h"
#include "support/diag_capture.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

namespace fs = std::filesystem;

bool parse(std::string_view text, DeviceConfig& config, std::string& error)
{
    return parseDeviceProfile(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), "device.ini", config,
                              error);
}

TEST(DeviceConfigFile, EveryDocumentedKeyIsRead)
{
    const char* text = R"(# a device
[Device]
ForceDeviceType=16
OsVersion=7.0
PlatformType=CEDevice
OemInfo=Quenda LQ5
ScreenWidth=640
ScreenHeight=481
AnsiCodePage=1251
UserLocale=1049
TempPath=\Storage\Temp\
Administrator=0
UserName=anna
[SpecialFolders]
38=\Programs
1=\Extra
[Store:\Storage Card]
Mounted=1
Total=8589934592
Free=0
[Store:\ROM]
ReadOnly=1
[Programs]
unload.exe=/usr/bin/true
[Network]
Connected=0
Proxy=proxy:8080
CheckUrl=http://127.0.0.1:1/
[Vendor]
FsapiI2CRegister=0x40
)";
    DeviceConfig config;
    std::string error;
    ASSERT_TRUE(parse(text, config, error)) << error;
    EXPECT_EQ(config.forceDeviceType, 16);
    EXPECT_EQ(config.osVersion.major * 100 + config.osVersion.minor, 700);
    EXPECT_EQ(config.platformType, u"CEDevice");
    EXPECT_EQ(config.oemInfo, u"Quenda LQ5");
    EXPECT_EQ(config.screenWidth * 1000 + config.screenHeight, 640481);
    EXPECT_EQ(config.ansiCodePage, 1251u);
    EXPECT_EQ(config.userLocale, 1049u);
    EXPECT_EQ(config.tempPath, u"\\Storage\\Temp\\");
    EXPECT_FALSE(config.administrator);
    EXPECT_EQ(config.userName, u"anna");
    EXPECT_EQ(config.specialFolders.at(38), u"\\Programs");
    EXPECT_EQ(config.specialFolders.at(1), u"\\Extra");
    EXPECT_EQ(config.specialFolders.at(36), u"\\Windows");  // defaults stay
    ASSERT_EQ(config.stores.size(), 2u);
    const DeviceStore* card = config.findStore(u"\\Storage Card\\x");
    ASSERT_NE(card, nullptr);
    EXPECT_TRUE(card->mounted && !card->readOnly && card->total == 8589934592u && card->free == 0u);
    EXPECT_TRUE(config.findStore(u"\\ROM")->readOnly);
    ASSERT_NE(config.findProgram(u"UNLOAD.EXE"), nullptr);
    EXPECT_EQ(config.findProgram(u"unload.exe")->hostProgram, "/usr/bin/true");
    EXPECT_FALSE(config.networkConnected);
    EXPECT_EQ(config.proxy, u"proxy:8080");
    EXPECT_EQ(config.checkUrl, u"http://127.0.0.1:1/");
    EXPECT_EQ(*config.findVendorValue(u"FsapiI2CRegister"), u"0x40");
}

struct ErrorCase {
    const char* text;
    const char* message;  // expected in the error, after "device.ini: "
};

TEST(DeviceConfigFile, WhatIsNotDocumentedIsAnErrorWithItsLine)
{
    const ErrorCase cases[] = {
        {"[Device]\nScreenWidth = 480\n", "line 2: [Device] ScreenWidth : no blanks around '='"},
        {"[Device]\nScreenWidth=480 \n", "line 2: [Device] ScreenWidth: no blanks after a value"},
        {"[Device]\n\nTempPath=\\Temp\\ ; temporary\n", "line 3: [Device] TempPath: no comments after a value"},
        {"[Device]\n ScreenWidth=480\n", "line 2: the line starts with a blank"},
        {"[Device]\n-x=1\n", "line 2: a key starts with a letter, a digit or '_'"},
        {"[]\n", "line 1: a section header is \"[name]\""},
        {"ScreenWidth=480\n", "line 1: ScreenWidth: a key before any section"},
        {"[Screen]\nWidth=480\n", "line 2: [Screen] Width: unknown section"},
        {"[Device]\nScreenwidth=480\n", "line 2: [Device] Screenwidth: unknown key"},
        {"[Device]\nScreenWidth=480px\n", "line 2: [Device] ScreenWidth: \"480px\" is not a decimal number"},
        {"[Device]\nForceDeviceType=27\n", "[Device] ForceDeviceType: 27 is larger than 26"},
        {"[Device]\nOsVersion=5\n", "[Device] OsVersion: \"5\" is not major.minor"},
        {"[Device]\nAnsiCodePage=4711\n", "[Device] AnsiCodePage: code page 4711 is not available"},
        {"[Device]\nAdministrator=yes\n", "[Device] Administrator: \"yes\" is not 0 or 1"},
        {"[SpecialFolders]\nDesktop=\\x\n", "[SpecialFolders] Desktop: a special folder's key is its CSIDL number"},
        {"[Store:]\nTotal=1\n", "[Store:] Total: a store section names the store's device path"},
        {"[Store:\\]\nTotal=99999999999999999999\n", "[Store:\\] Total: \"99999999999999999999\" is not a decimal"},
        {"[Store:\\]\nSize=1\n", "[Store:\\] Size: unknown key"},
    };
    for (const ErrorCase& c : cases) {
        test::DiagCapture capture;
        DeviceConfig config;
        std::string error;
        EXPECT_FALSE(parse(c.text, config, error)) << c.text;
        EXPECT_EQ(error.rfind("device.ini: ", 0), 0u) << error;
        EXPECT_NE(error.find(c.message), std::string::npos) << "error: " << error << "\nexpected: " << c.message;
    }
}

// Reads the test device's device.ini through the profile reader and activates it.
bool loadProfile(test::TestDevice& device, std::string& error)
{
    DeviceConfig config;
    if (!loadDeviceProfile(device.directory().string(), config, error))
        return false;
    device.reconfigure(std::move(config));
    return true;
}

TEST(DeviceConfigFile, LoadingTheProfileActivatesTheDevice)
{
    test::TestDevice device("[Device]\r\nAnsiCodePage=1251\r\nUserLocale=1049\r\nTempPath=\\Tmp\\\r\n");
    EXPECT_EQ(ansiCodePage(), 1252u);  // the fixture's configuration, until the file is read
    std::string error;
    ASSERT_TRUE(loadProfile(device, error)) << error;
    EXPECT_EQ(ansiCodePage(), 1251u);
    EXPECT_EQ(activeDeviceConfig()->userLocale, 1049u);
    EXPECT_EQ(activeDeviceConfig()->tempPath, u"\\Tmp\\");
    EXPECT_EQ(activeDeviceConfig()->deviceDirectory, device.directory().string());
    std::string host;
    ASSERT_EQ(DeviceRoot::instance().toHostPath(u"\\a.txt", host), 0u);
    EXPECT_EQ(host, DeviceRoot::instance().rootFolder() + "/a.txt");

    // A broken file changes nothing and names the file and the line.
    device.writeDeviceFile("device.ini", "[Device]\r\nAnsiCodePage=1250\r\nUserLocale=x\r\n");
    EXPECT_FALSE(loadProfile(device, error));
    EXPECT_EQ(error, (device.directory() / "device.ini").string() +
                         ": line 3: [Device] UserLocale: \"x\" is not a decimal number");
    EXPECT_EQ(ansiCodePage(), 1251u);
    EXPECT_EQ(activeDeviceConfig()->userLocale, 1049u);
}

TEST(DeviceConfigFile, TheExampleDeviceLoads)
{
    DeviceConfig config;
    std::string error;
    ASSERT_TRUE(loadDeviceProfile(DRUVEX_TEST_DATA_DIR "/device-example", config, error)) << error;
    EXPECT_EQ(config.forceDeviceType, 18);
    EXPECT_EQ(config.stores.size(), 3u);
    EXPECT_TRUE(config.findStore(u"\\SystemCF\\TTStartup\\ColdBootCopy\\x.lnk")->readOnly);
    EXPECT_EQ(*config.findVendorValue(u"FsapiI2CRegister"), u"0x40");
}

TEST(DeviceConfigFile, TheEnvironmentNamesTheDeviceAndItsFileIsOptional)
{
    const char* saved = std::getenv("DRUVEX_DEVICE");
    const std::string previous = saved ? saved : "";
    std::string error;
    unsetenv("DRUVEX_DEVICE");
    EXPECT_FALSE(activateDeviceFromEnvironment(error));
    EXPECT_NE(error.find("DRUVEX_DEVICE"), std::string::npos);
    {
        test::TestDevice device;  // no device.ini: the defaults
        setenv("DRUVEX_DEVICE", (device.directory() / "nowhere").c_str(), 1);
        EXPECT_FALSE(activateDeviceFromEnvironment(error));
        EXPECT_NE(error.find("does not exist"), std::string::npos) << error;
        setenv("DRUVEX_DEVICE", device.directory().c_str(), 1);
        device.reconfigure([] { DeviceConfig c; c.userLocale = 1031; return c; }());
        ASSERT_TRUE(activateDeviceFromEnvironment(error)) << error;
        EXPECT_EQ(activeDeviceConfig()->userLocale, 1033u);
        device.writeDeviceFile("device.ini", "");
        ASSERT_TRUE(activateDeviceFromEnvironment(error)) << error;
        EXPECT_EQ(activeDeviceConfig()->deviceDirectory, device.directory().string());
    }
    if (saved)
        setenv("DRUVEX_DEVICE", previous.c_str(), 1);
    else
        unsetenv("DRUVEX_DEVICE");
}

}  // namespace
}  // namespace druvex
