// The field application's settings file read, changed and written back in
// its own encoding, and a registry string read beside it.
#include <gtest/gtest.h>

#include <string>

#include "platform/registry.h"
#include "platform/win_error.h"
#include "support/device_fixture.h"
#include "support/shared_string_print.h"
#include "ui_base/settings_store.h"

namespace druvex {
namespace {

class SettingsStoreTest : public test::DeviceFixture {};

TEST_F(SettingsStoreTest, TheFileReadsChangesAndWritesBackInItsEncoding)
{
    device().writeFile("Survey/settings.ini", "[Units]\r\nDistance=m\r\nDecimals=3\r\n");
    SettingsStore store(u"\\Survey\\settings.ini");
    ASSERT_TRUE(store.load());
    EXPECT_EQ(store.getValue(u"Units", u"Distance", u"ft"), u"m");
    EXPECT_EQ(store.getInt(u"Units", u"Decimals", 0), 3);
    EXPECT_EQ(store.getValue(u"Units", u"Angle", u"deg"), u"deg");
    store.setValue(u"Units", u"Angle", u"gon");
    store.setInt(u"Units", u"Decimals", 4);
    ASSERT_TRUE(store.save());
    // Read as 8-bit text, written as 8-bit text.
    EXPECT_EQ(device().readFile("Survey/settings.ini"), "[Units]\r\nAngle=gon\r\nDecimals=4\r\nDistance=m\r\n\r\n");

    SettingsStore reread(u"\\Survey\\settings.ini");
    ASSERT_TRUE(reread.load());
    EXPECT_EQ(reread.getValue(u"Units", u"Angle", {}), u"gon");
}

TEST_F(SettingsStoreTest, AFileThatDoesNotReadLeavesNoSettings)
{
    SettingsStore missing(u"\\Survey\\none.ini");
    EXPECT_FALSE(missing.load());
    device().writeFile("Survey/bad.ini", "[Units]\r\nDistance=m\r\n -indented=1\r\n");
    SettingsStore bad(u"\\Survey\\bad.ini");
    EXPECT_FALSE(bad.load());
    EXPECT_EQ(bad.getValue(u"Units", u"Distance", u"none"), u"none");
    // A new file is written as UTF-16.
    missing.setValue(u"", u"Key", u"v");
    ASSERT_TRUE(missing.save());
    const std::string bytes = device().readFile("Survey/none.ini");
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
}

TEST_F(SettingsStoreTest, RegistryStringsAreReadFromTheDeviceRegistry)
{
    RegistryKey key = 0;
    ASSERT_EQ(deviceRegistry().createKey(kRegistryLocalMachine, u"Software\\Survey", key), kErrorSuccess);
    const std::u16string value = u"\\Storage Card\\Jobs";
    ASSERT_EQ(deviceRegistry().setValue(key, u"JobFolder", 1, value.c_str(),
                                        static_cast<std::uint32_t>((value.size() + 1) * 2)),
              kErrorSuccess);
    deviceRegistry().closeKey(key);
    SharedString text;
    EXPECT_TRUE(SettingsStore::readRegistryString(kRegistryLocalMachine, u"Software\\Survey", u"JobFolder", text));
    EXPECT_EQ(text, u"\\Storage Card\\Jobs");
    EXPECT_FALSE(SettingsStore::readRegistryString(kRegistryLocalMachine, u"Software\\Survey", u"Missing", text));
    deviceRegistry().deleteKey(kRegistryLocalMachine, u"Software\\Survey");
}

}  // namespace
}  // namespace druvex
