// The real druvex-setup program, run as a child process on test devices
// with a copy of itself in the device's program folder: no device or a
// device.ini that does not load, a refused option, damaged archives in the
// program file and beside it, a run without a silent option and without a
// terminal, a silent run that reaches its first page, and a command line
// given as one text. Also the start-up error texts and the relaunch as
// administrator.
#include "app/installer_app.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/failure_report.h"
#include "app/relaunch.h"
#include "app/startup_error.h"
#include "controller/installed_state_fixture.h"
#include "core/app_paths.h"
#include "data/previous_settings.h"
#include "program_fixture.h"
#include "support/recorded_start.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

namespace fs = std::filesystem;

const std::string kRecorder = DRUVEX_RECORD_START_PROGRAM;

using test::InstallerApp;
using test::ProgramRun;

// A reason taken from a message's text keeps its line breaks; standard
// error gets one line all the same.
TEST(FailureReport, AReasonOfSeveralLinesIsToldOnOne)
{
    testing::internal::CaptureStderr();
    reportFailure(SharedString(u"An error occurred while installing Runtime.\nThe installation cannot continue\n\n\n"
                               u"The error reported was 3"));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_TRUE(err.starts_with("druvex-setup: An error occurred while installing Runtime. The installation cannot "
                                "continue The error reported was 3 ("))
        << err;
}

TEST_F(InstallerApp, WithoutADeviceTheProgramRefusesAndWritesNothing)
{
    const ProgramRun result = run("silent_mode", "env -u DRUVEX_DEVICE");
    EXPECT_EQ(result.status, 255);
    EXPECT_NE(result.err.find("set DRUVEX_DEVICE to a device directory"), std::string::npos) << result.err;
    EXPECT_EQ(std::distance(fs::directory_iterator(programFolder()), fs::directory_iterator()), 1);
}

TEST_F(InstallerApp, ADeviceIniThatDoesNotLoadIsNamedWithItsLine)
{
    device().writeDeviceFile("device.ini", "[Device]\nOsVersion = 5.2\n");
    const ProgramRun result = run("silent_mode");
    EXPECT_EQ(result.status, 255);
    EXPECT_NE(result.err.find("device.ini: line 2"), std::string::npos) << result.err;
}

TEST_F(InstallerApp, ARefusedOptionEndsWithMinusOne)
{
    const ProgramRun result = run("silent_mode update_mode bogus");
    EXPECT_EQ(result.status, 255);
    EXPECT_NE(result.err.find("\"bogus\" is neither \"newversion\" nor \"features\""), std::string::npos)
        << result.err;
    EXPECT_NE(logs().find("Exit code 4294967295 (0xFFFFFFFF), process status 255"), std::string::npos) << logs();
}

TEST_F(InstallerApp, AnAppendedArchiveWithADamagedDirectoryFailsItsCheck)
{
    appendArchive(true);
    const ProgramRun result = run("silent_mode");
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("Failed CRC comparison."), std::string::npos) << result.err;
    const std::string log = logs();
    EXPECT_NE(log.find("Start-up failed with error 201: Failed CRC comparison."), std::string::npos) << log;
    EXPECT_NE(log.find("Logging finished"), std::string::npos) << log;
}

TEST_F(InstallerApp, ADamagedSetupDqresFallsBackToTheProgramFile)
{
    test::Bytes archive = soundArchive();
    archive[archive.size() - 60] ^= 0xFF;
    test::writeFileBytes(programFolder() / "setup.dqres", archive);
    const ProgramRun result = run("silent_mode");
    EXPECT_EQ(result.status, 1);
    // The program file holds no archive either.
    EXPECT_NE(result.err.find("Error reading resources."), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("Failed CRC comparison."), std::string::npos) << result.err;
    EXPECT_NE(logs().find("Start-up failed with error 202: Error reading resources."), std::string::npos);
}

TEST_F(InstallerApp, WithoutASilentOptionAndWithoutATerminalTheRunIsRefused)
{
    appendArchive();
    const ProgramRun result = run("no_welcome");
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("The installer cannot show its wizard: standard input is not a terminal."),
              std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find("silent_mode"), std::string::npos) << result.err;
    EXPECT_NE(logs().find("standard input is not a terminal"), std::string::npos);
    // Refused before anything was loaded.
    EXPECT_EQ(logs().find("Start-up failed"), std::string::npos);
}

TEST_F(InstallerApp, ASilentRunLoadsTheArchiveAndStopsAtADeviceItDoesNotServe)
{
    appendArchive();
    const ProgramRun result = run("silent_mode");
    EXPECT_EQ(result.status, 1) << result.err;
    const std::string log = logs();
    EXPECT_NE(log.find("Command line: silent_mode"), std::string::npos) << log;
    // The archive serves a Qm40; the device is none.
    EXPECT_NE(log.find("The device cannot take the program (check result 5"), std::string::npos) << log;
    EXPECT_NE(log.find("The silent run stops: page 2 did not complete"), std::string::npos) << log;
    EXPECT_NE(log.find("Exit code 1 (0x00000001), process status 1"), std::string::npos) << log;
}

TEST_F(InstallerApp, ACommandLineGivenAsOneTextIsSplitIntoItsWords)
{
    appendArchive();
    const ProgramRun result = run("'silent_mode use_config \"\\Program Files\\Druvex\\my cfg.xml\"'");
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("The configuration file \\Program Files\\Druvex\\my cfg.xml cannot be read."),
              std::string::npos)
        << result.err;
}

TEST(InstallerAppText, EachStartupErrorHasItsText)
{
    const struct {
        int code;
        const char* text;
    } rows[] = {
        {100, "Error reading file."},
        {200, "Error locating resources."},
        {201, "Failed CRC comparison."},
        {202, "Error reading resources."},
        {205, "Cannot find or open the specified administrative log file."},
        {206, "The administrative log file format is not compatible with this installer."},
        {207, "Error reading installer information."},
        {209, "The application may be installed only on 64bit OS"},
        {210, "The application may be installed only on 32bit OS"},
        {0, "Undefined error."},
        {203, "Undefined error."},
    };
    for (const auto& row : rows)
        EXPECT_STREQ(startupErrorText(row.code), row.text) << row.code;
}

class InstallerAppRelaunch : public test::InstalledStateFixture {
protected:
    void SetUp() override
    {
        InstalledStateFixture::SetUp();
        // The program file is a program of this machine: it runs as itself.
        fs::create_directories(device().hostPath("Program Files/Druvex"));
        fs::copy_file(kRecorder, device().hostPath("Program Files/Druvex/install.exe"));
        AppPaths::setInstance(SharedString(u"\\Program Files\\Druvex\\install.exe"));
    }
    void TearDown() override
    {
        InstalledStateFixture::TearDown();
        AppPaths::resetInstance();
    }
};

TEST_F(InstallerAppRelaunch, TheProgramStartsAgainWithItsStateSaved)
{
    options_.silent = true;
    InstallerController& controller = makeProduct();
    controller.getBuildConfiguration().setInstallerPlatform(kInstallerPlatformController);
    ASSERT_TRUE(RelaunchElevated(controller));
    ASSERT_EQ(source_->startedProcessIds.size(), 1u);
    test::awaitChildEnd(static_cast<pid_t>(source_->startedProcessIds[0]));
    const std::vector<std::string> started = test::recordedArguments(device().directory());
    ASSERT_EQ(started.size(), 2u);
    EXPECT_EQ(started[1], "reboot_as_admin Qm40 silent_mode");
    const std::string saved = "Application Data/Installer/" +
                              std::string(toUtf8(SharedString(test::kProductUuid)).c_str()) + "/PreviousSettings.xml";
    EXPECT_TRUE(device().exists(saved));

    // A relaunched run that still lacks the rights starts no other, and a
    // run without a target platform has nothing to name.
    fs::remove(device().directory() / "started.bin");
    DeviceConfig config = device().config();
    config.administrator = false;
    device().reconfigure(config);
    options_.rebootAsAdmin = true;
    EXPECT_FALSE(RelaunchElevated(makeProduct()));
    options_.rebootAsAdmin = false;
    InstallerController& withoutTarget = makeProduct();
    withoutTarget.setTargetPlatform(kPlatformUnknown);
    EXPECT_FALSE(RelaunchElevated(withoutTarget));
    EXPECT_TRUE(test::recordedArguments(device().directory()).empty());
}

}  // namespace
}  // namespace druvex
