// The shared answers of every host: the cached device identification, the file
// check words, HalFile, the typed registry helpers, and the fault decorator
// that later tests build on.
#include "hal/hal_access.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "hal/hal_access_base.h"
#include "hal/hal_file.h"
#include "support/host_fixture.h"
#include "support/fault_injecting_hal.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

using test::FaultInjectingHal;
using test::HalFaultPlan;

// The device host with a scripted identification that counts its runs.
class CountingHost : public HalAccessWinCE {
public:
    ConnectionState detectDeviceType(DeviceType& type) override
    {
        ++detections;
        type = nextType;
        return nextState;
    }

    int detections = 0;
    DeviceType nextType = DeviceType::KT_61;
    ConnectionState nextState = ConnectionState::DEVICE_CONNECTED;
};

TEST(HalAccessDeviceCache, DetectsOnceUnlessRefreshed)
{
    CountingHost host;
    DeviceType type = DeviceType::NONE;
    EXPECT_EQ(host.getDeviceType(type, false), ConnectionState::DEVICE_CONNECTED);
    EXPECT_EQ(type, DeviceType::KT_61);
    host.nextType = DeviceType::LQ5;
    EXPECT_EQ(host.getDeviceType(type, false), ConnectionState::DEVICE_CONNECTED);
    EXPECT_EQ(type, DeviceType::KT_61);
    EXPECT_EQ(host.detections, 1);

    EXPECT_EQ(host.getDeviceType(type, true), ConnectionState::DEVICE_CONNECTED);
    EXPECT_EQ(type, DeviceType::LQ5);
    EXPECT_EQ(host.detections, 2);
}

TEST(HalAccessDeviceCache, FailedConnectionGivesNoDeviceAndNoStaleType)
{
    for (const ConnectionState failed : {ConnectionState::DEVICE_NOT_FOUND, ConnectionState::ACCESS_DENIED}) {
        CountingHost host;
        host.nextState = failed;
        DeviceType type = DeviceType::KT_81;
        EXPECT_EQ(host.getDeviceType(type, false), failed);
        EXPECT_EQ(type, DeviceType::NONE);
        // The detected type must not come back later paired with the failure.
        EXPECT_EQ(host.getDeviceType(type, false), failed);
        EXPECT_EQ(type, DeviceType::NONE);
        host.nextState = ConnectionState::DEVICE_CONNECTED;
        EXPECT_EQ(host.getDeviceType(type, false), ConnectionState::DEVICE_CONNECTED);
        EXPECT_EQ(type, DeviceType::KT_61);
    }
}

class HalAccessChecksums : public test::HostFixture {};

// A file missing, or failing half-way, ends the sums: it and the rest are zero.
TEST_F(HalAccessChecksums, StopAtTheFirstMissingOrFailingFileAndZeroTheRest)
{
    device().writeFile("a.txt", "abc");
    device().writeFile("c.txt", "hello");
    device().writeFile("big.bin", std::string(200000, 'x'));
    // The byte sum sits in the high half.
    const std::vector<FileChecksum> expected = {{0x0127024Du, 3}, {0, 0}, {0, 0}};
    std::vector<FileChecksum> records(1, FileChecksum{7, 7});
    ASSERT_TRUE(host().computeFileChecksums({u"\\a.txt", u"\\b.txt", u"\\c.txt"}, records));
    EXPECT_EQ(records, expected);
    EXPECT_FALSE(host().computeFileChecksums({}, records));

    HalFaultPlan plan;
    plan.failReadAtOffset = 100000;
    auto faults = std::make_shared<FaultInjectingHal>(host_, plan);
    records.clear();
    ASSERT_TRUE(faults->computeFileChecksums({u"\\a.txt", u"\\big.bin", u"\\a.txt"}, records));
    EXPECT_EQ(records, expected);
    EXPECT_EQ(faults->openCount(), 2);
    EXPECT_EQ(faults->closeCount(), 2);
}

class HalAccessFile : public test::HostFixture {};

TEST_F(HalAccessFile, ClosingANeverOpenedFileAsksNoHost)
{
    HalFile file;
    EXPECT_TRUE(file.close());
    EXPECT_EQ(file.read(nullptr, 10), 0);
    EXPECT_EQ(file.write("x", 1), 0);
    EXPECT_FALSE(file.seekToBegin());
    EXPECT_EQ(file.size(), 0u);
}

TEST_F(HalAccessFile, OpeningAgainClosesTheFirstHandleAndKeepsTheHostAlive)
{
    device().writeFile("one.txt", "12345");
    device().writeFile("two.txt", "xy");
    auto counting = std::make_shared<FaultInjectingHal>(host_);
    std::weak_ptr<FaultInjectingHal> watch = counting;
    HalFile file;
    ASSERT_TRUE(file.openForRead(counting, u"\\one.txt"));
    ASSERT_TRUE(file.openForRead(counting, u"/TWO.TXT"));
    EXPECT_EQ(counting->closeCount(), 1);
    counting.reset();
    ASSERT_FALSE(watch.expired());

    std::uint64_t end = 0;
    EXPECT_TRUE(file.seekToEnd(&end));
    EXPECT_EQ(end, 2u);
    EXPECT_EQ(file.size(), 2u);
    ASSERT_TRUE(file.seekToBegin());
    char buffer[4] = {};
    EXPECT_EQ(file.read(buffer, sizeof buffer), 2);
    EXPECT_EQ(std::string(buffer, 2), "xy");
    EXPECT_TRUE(file.close());
    EXPECT_TRUE(watch.expired());
    EXPECT_TRUE(file.close());
}

TEST_F(HalAccessFile, WritesThroughTheHostAndReportsAFailedOpen)
{
    HalFile file;
    ASSERT_TRUE(file.openForWrite(host_, u"\\Temp\\out.bin"));
    EXPECT_EQ(file.write("data", 4), 4);
    EXPECT_TRUE(file.close());
    EXPECT_EQ(device().readFile("Temp/out.bin"), "data");

    EXPECT_FALSE(file.openForRead(host_, u"\\Temp\\missing.bin"));
    EXPECT_FALSE(file.isOpen());
    EXPECT_EQ(host().getLastError(), kErrorFileNotFound);
}

// Every caller that needs a whole record reads it through readFully: short
// reads are gathered, the end of the file shortens the answer, a failed read
// gives -1 even after bytes arrived.
TEST_F(HalAccessFile, ReadFullyGathersShortReadsUntilTheEndOrAFailure)
{
    device().writeFile("ten.txt", "0123456789");
    HalFaultPlan plan;
    plan.shortReadBytes = 3;
    auto faults = std::make_shared<FaultInjectingHal>(host_, plan);
    HalFile file;
    ASSERT_TRUE(file.openForRead(faults, u"\\ten.txt"));
    char buffer[8] = {};
    EXPECT_EQ(file.readFully(buffer, sizeof buffer), 8);
    EXPECT_EQ(std::string(buffer, 8), "01234567");
    EXPECT_EQ(faults->readCount(), 3);
    EXPECT_EQ(file.readFully(buffer, sizeof buffer), 2);
    EXPECT_EQ(std::string(buffer, 2), "89");
    EXPECT_EQ(file.readFully(buffer, sizeof buffer), 0);

    plan.failReadAtOffset = 5;
    faults->setPlan(plan);
    ASSERT_TRUE(file.openForRead(faults, u"\\ten.txt"));
    EXPECT_EQ(file.readFully(buffer, sizeof buffer), -1);
    EXPECT_TRUE(file.close());
    EXPECT_EQ(file.readFully(buffer, sizeof buffer), 0);
}

class HalAccessRegistry : public test::HostFixture {
protected:
    // The raw bytes and type of a value, read back through the host.
    std::vector<std::uint8_t> valueBytes(const char16_t* name, std::uint32_t& type)
    {
        RegistryKey key = 0;
        EXPECT_TRUE(host().regOpenKey(kRegistryLocalMachine, kKey, 0, kRegistryModeRead, key));
        std::uint32_t size = 0;
        EXPECT_TRUE(host().regQueryValue(key, name, type, nullptr, size));
        std::vector<std::uint8_t> bytes(size);
        EXPECT_TRUE(host().regQueryValue(key, name, type, bytes.data(), size));
        host().regCloseKey(key);
        return bytes;
    }

    void setRaw(const char16_t* name, std::uint32_t type, const void* data, std::uint32_t size)
    {
        RegistryKey key = 0;
        ASSERT_TRUE(host().regCreateKey(kRegistryLocalMachine, kKey, 0, key));
        ASSERT_TRUE(host().regSetValue(key, name, type, data, size));
        host().regCloseKey(key);
    }

    const SharedString kKey{u"Software\\T"};
};

TEST_F(HalAccessRegistry, StringsAreStoredWithTheirTerminator)
{
    ASSERT_TRUE(host().writeRegistryStringValue(kRegistryLocalMachine, u"Software/T", 0, u"Plain", u"ab", false));
    ASSERT_TRUE(host().writeRegistryStringValue(kRegistryLocalMachine, kKey, 0, u"Expand", u"%x%", true));
    std::uint32_t type = 0;
    EXPECT_EQ(valueBytes(u"Plain", type), (std::vector<std::uint8_t>{0x61, 0, 0x62, 0, 0, 0}));
    EXPECT_EQ(type, kRegString);
    valueBytes(u"Expand", type);
    EXPECT_EQ(type, kRegExpandString);
    SharedString text;
    ASSERT_TRUE(host().readRegistryStringValue(kRegistryLocalMachine, kKey, 0, u"Expand", text));
    EXPECT_EQ(text, u"%x%");
}

// Each typed read takes its own type only, and no byte beyond the value's own.
TEST_F(HalAccessRegistry, TypedReadsTakeTheirTypeAndTheValuesBytesOnly)
{
    ASSERT_TRUE(host().writeRegistryDwordValue(kRegistryLocalMachine, kKey, 0, u"Count", 42));
    setRaw(u"Two", kRegString, u"a", 4);  // as many bytes as a number
    setRaw(u"Bare", kRegString, u"abc", 6);
    setRaw(u"Odd", kRegString, u"abc", 5);
    setRaw(u"Inner", kRegString, u"ab\0cd", 12);
    setRaw(u"List", kRegMultiString, u"a\0bc\0\0", 12);
    setRaw(u"NoEnd", kRegMultiString, u"x\0y", 6);
    setRaw(u"Empty", kRegMultiString, u"\0", 4);

    std::uint32_t value = 99;
    ASSERT_TRUE(host().readRegistryDwordValue(kRegistryLocalMachine, kKey, 0, u"Count", value));
    EXPECT_EQ(value, 42u);
    for (const char16_t* name : {u"Two", u"None"}) {
        value = 99;
        EXPECT_FALSE(host().readRegistryDwordValue(kRegistryLocalMachine, kKey, 0, name, value));
        EXPECT_EQ(value, 0u);
    }

    const std::pair<const char16_t*, const char16_t*> strings[] = {
        {u"Bare", u"abc"}, {u"Odd", u"ab"}, {u"Inner", u"ab"}, {u"Count", nullptr}, {u"Missing", nullptr}};
    for (const auto& [name, expected] : strings) {
        SharedString text(u"kept");
        EXPECT_EQ(host().readRegistryStringValue(kRegistryLocalMachine, kKey, 0, name, text), expected != nullptr);
        EXPECT_EQ(text, expected ? expected : u"kept");
    }
    SharedString text;
    EXPECT_FALSE(host().readRegistryStringValue(kRegistryLocalMachine, u"Software\\Missing", 0, u"Count", text));

    const std::pair<const char16_t*, std::vector<SharedString>> lists[] = {
        {u"List", {u"a", u"bc"}}, {u"NoEnd", {u"x", u"y"}}, {u"Empty", {}}};
    std::vector<SharedString> list;
    for (const auto& [name, expected] : lists) {
        ASSERT_TRUE(host().readRegistryMultiStringValue(kRegistryLocalMachine, kKey, 0, name, list));
        EXPECT_EQ(list, expected);
    }
    EXPECT_FALSE(host().readRegistryMultiStringValue(kRegistryLocalMachine, kKey, 0, u"Two", list));
}

TEST_F(HalAccessRegistry, ForwardSlashesNameTheSameKey)
{
    ASSERT_TRUE(host().writeRegistryDwordValue(kRegistryLocalMachine, u"Software\\Orv\\Tool", 0, u"v", 1));
    RegistryKey key = 0;
    ASSERT_TRUE(host().regOpenKey(kRegistryLocalMachine, u"software/orv/tool", 0, kRegistryModeWrite, key));
    SharedString name;
    std::uint32_t type = 0;
    ASSERT_TRUE(host().regEnumValues(key, 0, name, type));
    EXPECT_EQ(name, u"v");
    EXPECT_EQ(type, kRegDword);
    EXPECT_FALSE(host().regEnumValues(key, 1, name, type));
    EXPECT_EQ(host().getLastError(), kErrorNoMoreItems);
    EXPECT_TRUE(host().regCloseKey(key));

    bool empty = true;
    ASSERT_TRUE(host().regKeyIsEmpty(kRegistryLocalMachine, u"Software/Orv", 0, empty));
    EXPECT_FALSE(empty);
    // Deleting a key takes its subkeys along, as on the device.
    ASSERT_TRUE(host().regDeleteKey(kRegistryLocalMachine, u"Software/Orv", 0));
    EXPECT_FALSE(host().regOpenKey(kRegistryLocalMachine, u"Software\\Orv\\Tool", 0, 0, key));
    EXPECT_EQ(host().getLastError(), kErrorFileNotFound);
}

}  // namespace
}  // namespace druvex
