// The shared answers of every host: the cached device identification, the file
// check words, HalFile, the typed registry helpers, and the fault decorator
// that later tests build on.
#include "host/hal/hal_access.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "host/hal/hal_access_base.h"
#include "host/hal/hal_file.h"
#include "host_fixture.h"
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

TEST_F(HalAccessChecksums, StopAtTheFirstMissingFileAndZeroTheRest)
{
    device().writeFile("a.txt", "abc");
    device().writeFile("c.txt", "hello");
    std::vector<FileChecksum> records(1, FileChecksum{7, 7});
    ASSERT_TRUE(host().computeFileChecksums({u"\\a.txt", u"\\b.txt", u"\\c.txt"}, records));
    // The byte sum sits in the high half.
    const std::vector<FileChecksum> expected = {{0x0127024Du, 3}, {0, 0}, {0, 0}};
    EXPECT_EQ(records, expected);
}

TEST_F(HalAccessChecksums, EmptyListAnswersFalse)
{
    std::vector<FileChecksum> records;
    EXPECT_FALSE(host().computeFileChecksums({}, records));
}

TEST_F(HalAccessChecksums, FileThatFailsHalfWayIsNotSummed)
{
    device().writeFile("a.txt", "abc");
    device().writeFile("big.bin", std::string(200000, 'x'));
    auto faults = std::make_shared<FaultInjectingHal>(host_);
    HalFaultPlan plan;
    plan.failReadAtOffset = 100000;
    faults->setPlan(plan);
    std::vector<FileChecksum> records;
    ASSERT_TRUE(faults->computeFileChecksums({u"\\a.txt", u"\\big.bin", u"\\a.txt"}, records));
    const std::vector<FileChecksum> expected = {{0x0127024Du, 3}, {0, 0}, {0, 0}};
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
    ASSERT_TRUE(file.openForRead(counting, SharedString(u"\\one.txt")));
    ASSERT_TRUE(file.openForRead(counting, SharedString(u"/TWO.TXT")));
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
    ASSERT_TRUE(file.openForWrite(host_, SharedString(u"\\Temp\\out.bin")));
    EXPECT_EQ(file.write("data", 4), 4);
    EXPECT_TRUE(file.close());
    EXPECT_EQ(device().readFile("Temp/out.bin"), "data");

    EXPECT_FALSE(file.openForRead(host_, SharedString(u"\\Temp\\missing.bin")));
    EXPECT_FALSE(file.isOpen());
    EXPECT_EQ(host().getLastError(), kErrorFileNotFound);
}

class HalAccessRegistry : public test::HostFixture {
protected:
    // The raw bytes and type of a value, read back through the host.
    std::vector<std::uint8_t> valueBytes(const char16_t* subKey, const char16_t* name, std::uint32_t& type)
    {
        RegistryKey key = 0;
        EXPECT_TRUE(host().regOpenKey(kRegistryLocalMachine, SharedString(subKey), 0, kRegistryModeRead, key));
        std::uint32_t size = 0;
        EXPECT_TRUE(host().regQueryValue(key, SharedString(name), type, nullptr, size));
        std::vector<std::uint8_t> bytes(size);
        EXPECT_TRUE(host().regQueryValue(key, SharedString(name), type, bytes.data(), size));
        host().regCloseKey(key);
        return bytes;
    }

    void setRaw(const char16_t* name, std::uint32_t type, const void* data, std::uint32_t size)
    {
        RegistryKey key = 0;
        ASSERT_TRUE(host().regCreateKey(kRegistryLocalMachine, SharedString(u"Software\\T"), 0, key));
        ASSERT_TRUE(host().regSetValue(key, SharedString(name), type, data, size));
        host().regCloseKey(key);
    }
};

TEST_F(HalAccessRegistry, StringsAreStoredWithTheirTerminator)
{
    const SharedString key(u"Software/T");
    ASSERT_TRUE(host().writeRegistryStringValue(kRegistryLocalMachine, key, 0, SharedString(u"Plain"),
                                                SharedString(u"ab"), false));
    ASSERT_TRUE(host().writeRegistryStringValue(kRegistryLocalMachine, key, 0, SharedString(u"Expand"),
                                                SharedString(u"%x%"), true));
    std::uint32_t type = 0;
    EXPECT_EQ(valueBytes(u"Software\\T", u"Plain", type), (std::vector<std::uint8_t>{0x61, 0, 0x62, 0, 0, 0}));
    EXPECT_EQ(type, kRegString);
    valueBytes(u"Software\\T", u"Expand", type);
    EXPECT_EQ(type, kRegExpandString);

    SharedString text;
    ASSERT_TRUE(host().readRegistryStringValue(kRegistryLocalMachine, key, 0, SharedString(u"Expand"), text));
    EXPECT_EQ(text, u"%x%");
}

TEST_F(HalAccessRegistry, TypedReadsRefuseOtherTypes)
{
    const SharedString key(u"Software\\T");
    ASSERT_TRUE(host().writeRegistryDwordValue(kRegistryLocalMachine, key, 0, SharedString(u"Count"), 42));
    ASSERT_TRUE(host().writeRegistryStringValue(kRegistryLocalMachine, key, 0, SharedString(u"Two"),
                                                SharedString(u"a"), false));
    std::uint32_t value = 99;
    ASSERT_TRUE(host().readRegistryDwordValue(kRegistryLocalMachine, key, 0, SharedString(u"Count"), value));
    EXPECT_EQ(value, 42u);
    // "a" and its terminator are exactly four bytes, as a number would be.
    value = 99;
    EXPECT_FALSE(host().readRegistryDwordValue(kRegistryLocalMachine, key, 0, SharedString(u"Two"), value));
    EXPECT_EQ(value, 0u);
    value = 99;
    EXPECT_FALSE(host().readRegistryDwordValue(kRegistryLocalMachine, key, 0, SharedString(u"None"), value));
    EXPECT_EQ(value, 0u);

    SharedString text(u"kept");
    EXPECT_FALSE(host().readRegistryStringValue(kRegistryLocalMachine, key, 0, SharedString(u"Count"), text));
    EXPECT_EQ(text, u"kept");
    EXPECT_FALSE(host().readRegistryStringValue(kRegistryLocalMachine, SharedString(u"Software\\Missing"), 0,
                                                SharedString(u"Count"), text));
}

TEST_F(HalAccessRegistry, StringWithoutTerminatorReadsOnlyItsOwnBytes)
{
    const char16_t unterminated[] = u"abc";
    setRaw(u"Bare", kRegString, unterminated, 6);
    setRaw(u"Odd", kRegString, unterminated, 5);
    setRaw(u"Inner", kRegString, u"ab\0cd", 12);
    SharedString text;
    const SharedString key(u"Software\\T");
    ASSERT_TRUE(host().readRegistryStringValue(kRegistryLocalMachine, key, 0, SharedString(u"Bare"), text));
    EXPECT_EQ(text, u"abc");
    ASSERT_TRUE(host().readRegistryStringValue(kRegistryLocalMachine, key, 0, SharedString(u"Odd"), text));
    EXPECT_EQ(text, u"ab");
    ASSERT_TRUE(host().readRegistryStringValue(kRegistryLocalMachine, key, 0, SharedString(u"Inner"), text));
    EXPECT_EQ(text, u"ab");
}

TEST_F(HalAccessRegistry, MultiStringEndsAtItsDoubleZero)
{
    setRaw(u"List", kRegMultiString, u"a\0bc\0\0", 12);
    setRaw(u"NoEnd", kRegMultiString, u"x\0y", 6);
    setRaw(u"Empty", kRegMultiString, u"\0", 4);
    const SharedString key(u"Software\\T");
    std::vector<SharedString> list;
    ASSERT_TRUE(host().readRegistryMultiStringValue(kRegistryLocalMachine, key, 0, SharedString(u"List"), list));
    EXPECT_EQ(list, (std::vector<SharedString>{u"a", u"bc"}));
    ASSERT_TRUE(host().readRegistryMultiStringValue(kRegistryLocalMachine, key, 0, SharedString(u"NoEnd"), list));
    EXPECT_EQ(list, (std::vector<SharedString>{u"x", u"y"}));
    ASSERT_TRUE(host().readRegistryMultiStringValue(kRegistryLocalMachine, key, 0, SharedString(u"Empty"), list));
    EXPECT_TRUE(list.empty());
    setRaw(u"Text", kRegString, u"a", 4);
    EXPECT_FALSE(host().readRegistryMultiStringValue(kRegistryLocalMachine, key, 0, SharedString(u"Text"), list));
}

TEST_F(HalAccessRegistry, ForwardSlashesNameTheSameKey)
{
    ASSERT_TRUE(host().writeRegistryDwordValue(kRegistryLocalMachine, SharedString(u"Software\\Orv\\Tool"), 0,
                                               SharedString(u"v"), 1));
    RegistryKey key = 0;
    ASSERT_TRUE(host().regOpenKey(kRegistryLocalMachine, SharedString(u"software/orv/tool"), 0, kRegistryModeWrite,
                                  key));
    SharedString name;
    std::uint32_t type = 0;
    ASSERT_TRUE(host().regEnumValues(key, 0, name, type));
    EXPECT_EQ(name, u"v");
    EXPECT_EQ(type, kRegDword);
    EXPECT_FALSE(host().regEnumValues(key, 1, name, type));
    EXPECT_EQ(host().getLastError(), kErrorNoMoreItems);
    EXPECT_TRUE(host().regCloseKey(key));

    bool empty = true;
    ASSERT_TRUE(host().regKeyIsEmpty(kRegistryLocalMachine, SharedString(u"Software/Orv"), 0, empty));
    EXPECT_FALSE(empty);
    // Deleting a key takes its subkeys along, as on the device.
    ASSERT_TRUE(host().regDeleteKey(kRegistryLocalMachine, SharedString(u"Software/Orv"), 0));
    EXPECT_FALSE(host().regOpenKey(kRegistryLocalMachine, SharedString(u"Software\\Orv\\Tool"), 0, 0, key));
    EXPECT_EQ(host().getLastError(), kErrorFileNotFound);
}

class HalAccessFaults : public test::HostFixture {};

TEST_F(HalAccessFaults, InjectsEachFileFaultAndForwardsTheRest)
{
    device().writeFile("in.txt", "0123456789");
    FaultInjectingHal faults(host_);

    HalFaultPlan plan;
    plan.failOpenContaining = u"in.txt";
    faults.setPlan(plan);
    EXPECT_EQ(faults.openFileForRead(SharedString(u"\\in.txt")), kInvalidFileHandle);
    EXPECT_EQ(faults.getLastError(), kErrorGenFailure);

    plan = {};
    plan.failReadAtOffset = 4;
    faults.setPlan(plan);
    FileHandle handle = faults.openFileForRead(SharedString(u"\\in.txt"));
    ASSERT_NE(handle, kInvalidFileHandle);
    char buffer[16] = {};
    EXPECT_EQ(faults.readFile(handle, buffer, sizeof buffer), 4);
    EXPECT_EQ(faults.readFile(handle, buffer, sizeof buffer), -1);
    ASSERT_TRUE(faults.seekFile(handle, 0, 6, nullptr));
    EXPECT_EQ(faults.readFile(handle, buffer, sizeof buffer), 4);
    EXPECT_TRUE(faults.closeFile(handle));

    plan = {};
    plan.shortWriteNumber = 1;
    plan.failWriteNumber = 2;
    plan.failClose = true;
    plan.error = kErrorDiskFull;
    faults.setPlan(plan);
    handle = faults.createFileForWrite(SharedString(u"\\out.txt"));
    ASSERT_NE(handle, kInvalidFileHandle);
    EXPECT_EQ(faults.writeFile(handle, "abcdef", 6), 3);
    EXPECT_EQ(faults.writeFile(handle, "gh", 2), -1);
    EXPECT_EQ(faults.getLastError(), kErrorDiskFull);
    EXPECT_EQ(faults.writeFile(handle, "ij", 2), 2);
    EXPECT_FALSE(faults.closeFile(handle));
    EXPECT_EQ(device().readFile("out.txt"), "abcij");
    // The wrapped handle really closed.
    EXPECT_FALSE(host().closeFile(handle));

    bool isFolder = false;
    EXPECT_TRUE(faults.exists(SharedString(u"\\Windows"), &isFolder));
    EXPECT_TRUE(isFolder);
}

}  // namespace
}  // namespace druvex
