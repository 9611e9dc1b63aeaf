// The device host's soft reset, and every operation of the interface walked
// once: each has its device answer, the fixed ones included, and none is left
// unsupported.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/platform_file.h"
#include "data/feature_records.h"
#include "platform/process.h"
#include "support/diag_capture.h"
#include "host_checks.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

class SoftReset : public test::HostFixture {};

TEST_F(SoftReset, AppendsAnEventLineAndLeavesTheMachineAlone)
{
    device().writeDeviceFile("events.log", "earlier event\n");
    ASSERT_TRUE(host().reboot());
    ASSERT_TRUE(host().reboot());
    std::ifstream in(device().directory() / "events.log", std::ios::binary);
    std::vector<std::string> events;
    for (std::string line; std::getline(in, line);)
        events.push_back(line);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0], "earlier event");
    for (std::size_t i = 1; i < events.size(); ++i)
        EXPECT_TRUE(events[i].ends_with(" SOFT_RESET")) << events[i];

    // Without a device directory there is no place to record it.
    deactivateDevice();
    EXPECT_TRUE(test::refused(host(), host().reboot(), kErrorPathNotFound));
}

class HostProcessAndEveryOtherOperation : public test::HostFixture {
protected:
    void configure(DeviceConfig& config) const override
    {
        config.programs.push_back({u"unload.exe", DRUVEX_RECORD_START_PROGRAM});
    }
};

// Each operation once, with ordinary arguments, and its answer: the fixed ones
// whatever is asked, the others for these arguments.
TEST_F(HostProcessAndEveryOtherOperation, NoneIsLeftUnsupported)
{
    device().writeFile("Temp/a.txt", "abc");
    device().writeFile("Windows/unload.exe", "MZ");
    device().makeFolder("Temp/Empty");
    HalAccess& hal = host();
    const SharedString file = u"\\Temp\\a.txt";
    Shortcut link;
    link.name = u"Link";
    std::uint64_t size = 0;
    std::uint64_t time = 0;
    std::uint16_t version[4] = {};
    std::uint32_t word = 0;
    bool flag = false;
    DeviceType type{};
    SharedString text;
    SharedString other;
    std::vector<SharedString> list;
    std::vector<FileChecksum> checksums;
    std::vector<LockingProcess> processes;
    std::unique_ptr<HalFileFinder> finder;
    ProcessInformation information;
    RegistryKey key = 0;
    FileHandle handle = kInvalidFileHandle;
    const std::uint32_t value = 1;

    struct Operation {
        const char* name;
        std::function<bool()> call;
        bool answer;
    };
    const Operation operations[] = {
        {"copyFile", [&] { return hal.copyFile(file, u"\\Temp\\b.txt", false); }, true},
        {"moveFile", [&] { return hal.moveFile(u"\\Temp\\b.txt", u"\\Temp\\c.txt"); }, true},
        {"moveFileEx", [&] { return hal.moveFileEx(u"\\Temp\\c.txt", u"\\Temp\\d.txt", 3); }, true},
        {"deleteFile", [&] { return hal.deleteFile(u"\\Temp\\d.txt"); }, true},
        {"openFile", [&] { return (handle = hal.openFile(file, kFileOpenExisting | kFileRead, nullptr)) >= 0; }, true},
        {"getOpenFileSize", [&] { return hal.getOpenFileSize(handle, size); }, true},
        {"seekFile", [&] { return hal.seekFile(handle, 0, 0, nullptr); }, true},
        {"readFile", [&] { return hal.readFile(handle, version, 1) == 1; }, true},
        {"closeFile", [&] { return hal.closeFile(handle); }, true},
        {"openFileForRead", [&] { return (handle = hal.openFileForRead(file)) >= 0 && hal.closeFile(handle); }, true},
        {"createFileForWrite",
         [&] { return (handle = hal.createFileForWrite(u"\\Temp\\w.txt")) >= 0 && hal.writeFile(handle, "x", 1) == 1 &&
                      hal.closeFile(handle); }, true},
        {"getFileSize", [&] { return hal.getFileSize(file, size); }, true},
        {"getFileVersion", [&] { return hal.getFileVersion(file, version[0], version[1], version[2], version[3]); },
         false},
        {"getFileTimes", [&] { return hal.getFileTimes(file, &time, &time, &time); }, true},
        {"setFileTimes", [&] { return hal.setFileTimes(file, nullptr, nullptr, &time); }, true},
        {"computeFileChecksums", [&] { return hal.computeFileChecksums({file}, checksums); }, true},
        {"getLockingProcesses", [&] { return hal.getLockingProcesses(file, processes); }, false},
        {"closeLockingProcesses", [&] { return hal.closeLockingProcesses(processes, word); }, false},
        {"reservedSlot13", [&] { return hal.reservedSlot13(); }, false},
        {"reservedSlot14", [&] { return hal.reservedSlot14(); }, false},
        {"reservedSlot15", [&] { return hal.reservedSlot15(); }, false},
        {"reservedSlot16", [&] { return hal.reservedSlot16(); }, false},
        {"getFileAccessMask", [&] { return hal.getFileAccessMask(file, word); }, false},
        {"createDirectory", [&] { return hal.createDirectory(u"\\Temp\\New"); }, true},
        {"removeDirectory", [&] { return hal.removeDirectory(u"\\Temp\\New"); }, true},
        {"createSymbolicLink", [&] { return hal.createSymbolicLink(u"\\Temp\\l", file, false); }, false},
        {"setFileForEveryone", [&] { return hal.setFileForEveryone(file); }, true},
        {"createShortcut", [&] { return hal.createShortcut(link, file); }, true},
        {"removeShortcut", [&] { return hal.removeShortcut(link); }, true},
        {"reservedSlot31", [&] { return hal.reservedSlot31(); }, true},
        {"reservedSlot32", [&] { return hal.reservedSlot32(); }, true},
        {"enumerateStorageRoots", [&] { return hal.enumerateStorageRoots(list) == 1; }, true},
        {"createProcess", [&] { return hal.createProcess(u"\\Windows\\unload.exe", u"", 0, information); }, true},
        {"executeProcess", [&] { return hal.executeProcess(u"\\Windows\\unload.exe", u"", 0, word); }, true},
        {"checkProcessActive", [&] { return hal.checkProcessActive(u"unload.exe", flag); }, false},
        {"getStoreInformation", [&] { return hal.getStoreInformation(u"\\Temp", size, size); }, true},
        {"getDeviceType", [&] { return hal.getDeviceType(type, false) == ConnectionState::DEVICE_CONNECTED; }, true},
        {"getOSVersion", [&] { return hal.getOSVersion(word, word, word, flag); }, true},
        {"reservedSlot40", [&] { return hal.reservedSlot40(); }, true},
        {"is64bitOS", [&] { return hal.is64bitOS(); }, false},
        {"getSpecialFolderPath", [&] { return hal.getSpecialFolderPath(36, text); }, true},
        {"getTempPath", [&] { return hal.getTempPath(text); }, true},
        {"getProgramPath", [&] { return hal.getProgramPath(text, u"/"); }, true},
        {"getPredefinedInstallPath", [&] { return hal.getPredefinedInstallPath(text, false); }, true},
        {"getInstallerPath", [&] { return hal.getInstallerPath(text); }, true},
        {"getLastError", [&] { return hal.getLastError() != kErrorNotSupported; }, true},
        {"createFileFinder", [&] { return hal.createFileFinder(u"\\Temp", finder); }, true},
        {"exists", [&] { return hal.exists(file, &flag); }, true},
        {"regCreateKey", [&] { return hal.regCreateKey(kRegistryLocalMachine, u"Software\\T", 0, key); }, true},
        {"regSetValue", [&] { return hal.regSetValue(key, u"V", 4, &value, 4); }, true},
        {"regQueryValue", [&] { return hal.regQueryValue(key, u"V", word, nullptr, word); }, true},
        {"regEnumValues", [&] { return hal.regEnumValues(key, 0, text, word); }, true},
        {"regDeleteValue", [&] { return hal.regDeleteValue(key, u"V"); }, true},
        {"regCloseKey", [&] { return hal.regCloseKey(key); }, true},
        {"regOpenKey", [&] { return hal.regOpenKey(kRegistryLocalMachine, u"Software", 0, 0, key); }, true},
        {"regEnumKeys", [&] { return hal.regEnumKeys(key, 0, text, other) && hal.regCloseKey(key); }, true},
        {"regKeyIsEmpty", [&] { return hal.regKeyIsEmpty(kRegistryLocalMachine, u"Software\\T", 0, flag); }, true},
        {"regDeleteKey", [&] { return hal.regDeleteKey(kRegistryLocalMachine, u"Software\\T", 0); }, true},
        {"reconnect", [&] { return hal.reconnect(); }, true},
        {"reboot", [&] { return hal.reboot(); }, true},
        {"needsReconnect", [&] { return hal.needsReconnect(nullptr); }, false},
        {"writeIniKey", [&] { return hal.writeIniKey(u"\\Temp\\x.ini", u"S", u"K", u"V"); }, false},
        {"reservedSlot64", [&] { return hal.reservedSlot64(); }, false},
        {"reservedSlot65", [&] { return hal.reservedSlot65(); }, false},
        {"detectDeviceType",
         [&] { return host().detectDeviceType(type) == ConnectionState::DEVICE_CONNECTED; }, true},
        {"registryViewAccess", [&] { return host().registryViewAccess(0, u"Software") == 0; }, true},
    };

    test::DiagCapture log;
    for (const Operation& operation : operations) {
        SCOPED_TRACE(operation.name);
        setLastError(kErrorSuccess);
        EXPECT_EQ(operation.call(), operation.answer) << "error " << hal.getLastError();
        EXPECT_NE(hal.getLastError(), kErrorNotSupported);
    }
    EXPECT_FALSE(log.contains(u"not supported"));
    closeProcessHandle(information.process);
    closeProcessHandle(information.thread);
}

}  // namespace
}  // namespace druvex
