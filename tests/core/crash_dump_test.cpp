#include "core/crash_dump.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "core/app_paths.h"
#include "core/device_profile.h"
#include "platform/builtin_modules.h"
#include "platform/device_config.h"
#include "platform/manual_reset_event.h"
#include "platform/registry.h"
#include "platform/win_error.h"
#include "support/crash_test_device.h"
#include "support/diag_capture.h"
#include "support/external_tool.h"

namespace druvex {
namespace {

namespace fs = std::filesystem;
using test::CrashTestDevice;

class RecordedSettle final : public WaitTimeouts {
public:
    std::chrono::milliseconds effectiveTimeout(std::uint32_t requestedMs) override
    {
        requested.push_back(requestedMs);
        return std::chrono::milliseconds(0);
    }
    std::vector<std::uint32_t> requested;
};

// The crash dump store on a test device, the log lines captured (so no log
// file exists: every dump reports that the log could not be copied).
class CrashDumpTest : public ::testing::Test {
protected:
    void SetUp() override { setCrashDumpWaits(&settle_); }
    void TearDown() override
    {
        setCrashDumpWaits(nullptr);
        registerBuiltinModule(u"coredll.dll",
                              {{u"CaptureDumpFileOnDevice", exportAddress(&captureDumpFileOnDevice)}});
    }

    static std::string dumps(std::string_view relative = {})
    {
        return std::string(CrashTestDevice::kDumpsFolder) + "/" + std::string(relative);
    }
    std::vector<std::string> namesIn(std::string_view relative) const
    {
        std::vector<std::string> names;
        std::error_code ignored;
        for (const auto& entry : fs::directory_iterator(device_.hostPath(relative), ignored))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string lastIndexLine() const { return device_.readFile(dumps("dumps.ini")); }

    CrashTestDevice device_;
    RecordedSettle settle_;
    test::DiagCapture capture_;
};

// The example device folder names a dump directory in its registry, so a
// crash on it leaves a dump.
TEST(CrashDumpExampleDevice, ACrashLeavesADump)
{
    test::ScratchDir scratch;
    fs::copy(fs::path(DRUVEX_TEST_DATA_DIR) / "device-example", scratch.path(), fs::copy_options::recursive);
    std::string error;
    ASSERT_TRUE(activateDeviceProfile(scratch.path().string(), error)) << error;
    AppPaths::setInstance(SharedString(u"\\Program Files\\Survey\\survey.exe"));
    RecordedSettle settle;
    setCrashDumpWaits(&settle);
    {
        // Without a log file to copy the dump answers false, but it is taken.
        test::DiagCapture capture;
        writeCrashDump();
        EXPECT_FALSE(capture.contains(u"could not get DumpSettings"));
        EXPECT_FALSE(capture.contains(u"CaptureDumpFileOnDevice failed"));
    }
    setCrashDumpWaits(nullptr);
    AppPaths::resetInstance();
    deactivateDevice();

    const fs::path slot = scratch.path() / "fs" / "Program Files" / "Survey" / "SupportInfo" / "Dumps" / "0";
    std::vector<std::string> dumps;
    for (const auto& entry : fs::directory_iterator(slot))
        dumps.push_back(entry.path().filename().string());
    ASSERT_EQ(dumps.size(), 1u);
    EXPECT_TRUE(dumps[0].ends_with(".kdmp.txt")) << dumps[0];
}

TEST_F(CrashDumpTest, ElevenDumpsComeBackToSlotZero)
{
    for (int dump = 0; dump < 11; ++dump) {
        writeCrashDump();
        const int slot = dump % 10;
        EXPECT_EQ(lastIndexLine(), "[Settings]\r\nLastDumpIndex=" + std::to_string(slot) + "\r\n\r\n");
        const std::vector<std::string> files = namesIn(dumps(std::to_string(slot)));
        ASSERT_EQ(files.size(), 1u) << "dump " << dump;
        EXPECT_TRUE(files[0].ends_with(".kdmp.txt")) << files[0];
        EXPECT_TRUE(namesIn(CrashTestDevice::kDumpDirectory).empty());
    }
    // Every slot was used once and the first one twice: emptied before its
    // second dump.
    for (int slot = 0; slot < 10; ++slot)
        EXPECT_EQ(namesIn(dumps(std::to_string(slot))).size(), 1u) << slot;
    EXPECT_EQ(settle_.requested, std::vector<std::uint32_t>(11, 5000));
}

TEST_F(CrashDumpTest, StoredSlotNumberOutsideTheRotationGivesSlotZero)
{
    struct Case {
        const char* stored;
        int next;
    };
    const Case cases[] = {
        {"3", 4},          {"8", 9},  {"9", 0},         {"-1", 0}, {"-7", 0}, {"10", 0},
        {"2147483647", 0}, {"12", 0}, {"not a number", 0},
    };
    for (const Case& c : cases) {
        device_.writeFile(dumps("dumps.ini"), std::string("[Settings]\r\nLastDumpIndex=") + c.stored + "\r\n");
        writeCrashDump();
        EXPECT_EQ(lastIndexLine(), "[Settings]\r\nLastDumpIndex=" + std::to_string(c.next) + "\r\n\r\n")
            << c.stored;
        EXPECT_EQ(namesIn(dumps()), (std::vector<std::string>{std::to_string(c.next), "dumps.ini"})) << c.stored;
        fs::remove_all(device_.hostPath(dumps(std::to_string(c.next))));
    }
}

TEST_F(CrashDumpTest, EmptiesItsSlotButLeavesOtherProgramsDumps)
{
    device_.writeFile(dumps("0/stale.kdmp.txt"), "ten crashes ago");
    device_.writeFile(dumps("0/old/log.txt"), "ten crashes ago");
    device_.writeFile("Windows/DumpFiles/other.kdmp", "another program's");
    device_.writeFile("Windows/DumpFiles/otherapp/1.kdmp", "another program's");

    writeCrashDump();

    const std::vector<std::string> slot = namesIn(dumps("0"));
    ASSERT_EQ(slot.size(), 1u);
    EXPECT_TRUE(slot[0].starts_with("druvex_")) << slot[0];
    EXPECT_EQ(namesIn(CrashTestDevice::kDumpDirectory), (std::vector<std::string>{"other.kdmp", "otherapp"}));
    EXPECT_EQ(device_.readFile("Windows/DumpFiles/otherapp/1.kdmp"), "another program's");
}

TEST_F(CrashDumpTest, DumpsIniThatCannotBeSavedEndsBeforeAnySlotIsTouched)
{
    // A folder in its place: root ignores file permissions, a folder it cannot write over.
    fs::create_directories(device_.hostPath(dumps("dumps.ini")));
    device_.writeFile(dumps("0/kept.txt"), "kept");

    EXPECT_FALSE(writeCrashDump());
    EXPECT_TRUE(capture_.contains(u"APPCRASH: could not write dumps.ini"));
    EXPECT_FALSE(capture_.contains(u"APPCRASH: could not copy logfile"));
    EXPECT_EQ(device_.readFile(dumps("0/kept.txt")), "kept");
    EXPECT_TRUE(settle_.requested.empty());
}

TEST_F(CrashDumpTest, ReportsEachFailureOfTheCapture)
{
    const std::vector<ModuleExport> standard = {
        {u"CaptureDumpFileOnDevice", exportAddress(&captureDumpFileOnDevice)}};
    struct Case {
        const char16_t* line;
        std::vector<ModuleExport> exports;
        bool withSettings;
        bool settles;
    };
    const Case cases[] = {
        {u"APPCRASH: CaptureDumpFileOnDevice not found", {}, true, false},
        {u"APPCRASH: could not get DumpSettings", standard, false, false},
        {u"APPCRASH: CaptureDumpFileOnDevice failed: 0x1F",
         {{u"CaptureDumpFileOnDevice", exportAddress(+[](std::uint32_t, std::uint32_t, const char16_t*) {
               setLastError(kErrorGenFailure);
               return false;
           })}},
         true, true},
    };
    const std::string registryFile = deviceRegistry().filePath();
    for (const Case& c : cases) {
        capture_.clear();
        settle_.requested.clear();
        registerBuiltinModule(u"coredll.dll", c.exports);
        deviceRegistry().configure(c.withSettings ? registryFile : std::string());
        EXPECT_FALSE(writeCrashDump());
        EXPECT_TRUE(capture_.contains(c.line)) << c.settles;
        // The log line comes before the capture is even looked for.
        EXPECT_TRUE(capture_.contains(u"APPCRASH: could not copy logfile"));
        EXPECT_EQ(settle_.requested.size(), c.settles ? 1u : 0u);
    }
}

}  // namespace
}  // namespace druvex
