#include "core/crash_dump.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "core/app_log.h"
#include "core/app_paths.h"
#include "core/file_functions.h"
#include "core/ini_file.h"
#include "core/loaded_function.h"
#include "core/path_text.h"
#include "platform/builtin_modules.h"
#include "platform/device_root.h"
#include "platform/manual_reset_event.h"
#include "platform/registry.h"
#include "platform/win_error.h"

namespace druvex {
namespace {

// An ini file that could not be read is written in the ANSI code page.
constexpr std::uint32_t kNewIniEncoding = 1;

std::atomic<WaitTimeouts*> g_waits{nullptr};

void settle()
{
    WaitTimeouts* waits = g_waits.load();
    const std::chrono::milliseconds pause =
        waits ? waits->effectiveTimeout(kCrashDumpSettleMs) : std::chrono::milliseconds(kCrashDumpSettleMs);
    if (pause.count() > 0)
        std::this_thread::sleep_for(pause);
}

// The slot after `last`; whatever "dumps.ini" held, the result is a slot.
int nextSlot(int last)
{
    const std::int64_t next = static_cast<std::int64_t>(last) + 1;
    return next >= 0 && next < kCrashDumpSlots ? static_cast<int>(next) : 0;
}

// Reserves the next slot in "dumps.ini"; -1 when the file cannot be saved.
int reserveSlot(const SharedString& folder)
{
    const SharedString iniPath = folder + u"/dumps.ini";
    IniFile ini;
    std::uint32_t encoding = kNewIniEncoding;
    int last = -1;
    if (ini.load(iniPath, &encoding))
        last = ini.getInt(SharedString(u"Settings"), SharedString(u"LastDumpIndex"), -1);
    else
        ini.clear();
    const int slot = nextSlot(last);
    ini.setInt(SharedString(u"Settings"), SharedString(u"LastDumpIndex"), slot);
    if (!ini.save(iniPath, encoding))
        return -1;
    return slot;
}

// The names in a device folder; false when it cannot be listed (a folder
// that does not exist yet holds nothing of anyone's).
bool listNames(const SharedString& folder, std::vector<std::string>& names)
{
    names.clear();
    std::string hostFolder;
    if (DeviceRoot::instance().toHostPath(folder.view(), hostFolder) != kErrorSuccess)
        return false;
    std::vector<DeviceFolderEntry> entries;
    if (DeviceRoot::instance().listFolder(hostFolder, entries) != kErrorSuccess)
        return !directoryExists(folder);
    for (const DeviceFolderEntry& entry : entries)
        names.push_back(entry.hostName);
    std::sort(names.begin(), names.end());
    return true;
}

// Moves what the capture added to the dump directory into the slot: copies
// it, and only when every copy succeeded, removes it from the directory.
bool takeCapturedFiles(const SharedString& dumpDirectory, const std::vector<std::string>& before,
                       const SharedString& slotFolder)
{
    std::vector<std::string> after;
    if (!listNames(dumpDirectory, after))
        return false;
    std::vector<std::string> added;
    std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::back_inserter(added));
    std::vector<SharedString> taken;
    for (const std::string& name : added) {
        const SharedString fileName = fromUtf8(name);
        const SharedString source = withoutTrailingSeparator(dumpDirectory) + u"\\" + fileName;
        const SharedString target = slotFolder + u"/" + fileName;
        const bool copied = isDirectory(source) ? copyFolder(source, target, true, false)
                                                : copyFileTo(source, target, true);
        if (!copied)
            return false;
        taken.push_back(source);
    }
    for (const SharedString& source : taken)
        removeAll(source);
    return true;
}

}  // namespace

SharedString crashDumpFolder()
{
    return AppPaths::instance().getDataFolder() + u"/SupportInfo/Dumps";
}

bool writeCrashDump()
{
    const SharedString folder = crashDumpFolder();
    createDirectories(folder);
    const int slot = reserveSlot(folder);
    if (slot < 0) {
        logPrintf(u"APPCRASH: could not write dumps.ini");
        return false;
    }

    // Emptying the slot is by design: it held the dump of ten crashes ago.
    SharedString slotFolder;
    slotFolder.format(u"%ls/%d", folder.c_str(), slot);
    createDirectories(slotFolder);
    emptyFolder(slotFolder);

    const SharedString logPath = getLogPath();
    bool logCopied = !logPath.view().empty() && copyFileTo(logPath, slotFolder + u"/" + getFileName(logPath), false);
    if (!logCopied)
        logPrintf(u"APPCRASH: could not copy logfile");

    const std::shared_ptr<LoadedFunction> capture =
        makeLoadedFunction(u"CaptureDumpFileOnDevice", u"coredll.dll");
    if (!*capture) {
        logPrintf(u"APPCRASH: CaptureDumpFileOnDevice not found");
        return false;
    }
    SharedString dumpDirectory;
    if (!readRegistryString(kRegistryLocalMachine, kDumpSettingsKey, kDumpDirectoryValue, dumpDirectory)) {
        logPrintf(u"APPCRASH: could not get DumpSettings");
        return false;
    }

    // The dump directory is the system's: what is in it now belongs to others.
    std::vector<std::string> before;
    const bool knowOthers = listNames(dumpDirectory, before);
    if (!capture->as<CaptureDumpFileOnDeviceFunction>()(0, 0, nullptr))
        logPrintf(u"APPCRASH: CaptureDumpFileOnDevice failed: 0x%X", getLastError());
    settle();

    if (!knowOthers || !takeCapturedFiles(dumpDirectory, before, slotFolder)) {
        logPrintf(u"APPCRASH: could not copy crashdump");
        return false;
    }
    return logCopied;
}

void setCrashDumpWaits(WaitTimeouts* timeouts)
{
    g_waits.store(timeouts);
}

}  // namespace druvex
