// What the real program tells when a run goes wrong: a silent run that fails
// says why in one line on standard error with its log's path; a device
// folder where not even the log can be written is named there, and a damaged
// device.ini without its control bytes; words of the command line that are
// no option are in the log; in the wizard, a custom page script without
// "exec" or "execEx" and a licence that cannot be found say in the log what
// was looked for, already while the wizard waits. (The guide's test shows
// misspelt elements named by the log and the archive tool, and a silent
// run's licence that cannot be found.)
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "custom_page_xml.h"
#include "product_fixture.h"
#include "support/external_tool.h"
#include "support/tmux_session.h"

namespace druvex {
namespace {

namespace fs = std::filesystem;
using test::ProductFeature;
using test::TmuxSession;

struct ProgramResult {
    int status = -1;
    std::string err;
    std::string log;     // every log beside the program
    fs::path logFile;    // the newest of them; empty when there is none
};

class EndToEndDiagnostics : public test::ProductFixture {
protected:
    // The program with the words given, standard input not a terminal.
    ProgramResult run(const fs::path& program, const std::string& words, const fs::path& deviceFolder,
            const std::string& environment = "")
    {
        const fs::path errors = scratch_.path() / "stderr.txt";
        const std::string command = "cd " + test::quoted(scratch_.path()) + " && DRUVEX_DEVICE=" +
                                    test::quoted(deviceFolder) + " " + environment + " " + test::quoted(program) +
                                    " " + words + " 2>" + test::quoted(errors) + " </dev/null";
        ProgramResult result;
        result.status = test::runTool(command).exitCode;
        result.err = test::textOf(test::readFileBytes(errors));
        readLogs(program.parent_path(), result);
        return result;
    }
    ProgramResult run(const fs::path& program, const std::string& words) { return run(program, words, device().directory()); }

    static void readLogs(const fs::path& folder, ProgramResult& result)
    {
        if (!fs::is_directory(folder))
            return;
        fs::file_time_type newest{};
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (!entry.path().string().ends_with(".log.txt"))
                continue;
            result.log += test::textOf(test::readFileBytes(entry.path()));
            if (result.logFile.empty() || entry.last_write_time() > newest) {
                newest = entry.last_write_time();
                result.logFile = entry.path();
            }
        }
    }

    // The wizard of `program` on a terminal, moved on past the prerequisites
    // and welcome pages; null, with the failure, when it does not get there.
    std::unique_ptr<TmuxSession> wizardPastWelcome(const fs::path& program)
    {
        if (!test::toolInstalled("tmux")) {
            ADD_FAILURE() << "tmux is not installed";
            return nullptr;
        }
        TmuxSession::Options options;
        options.environment = {{"DRUVEX_DEVICE", device().directory().string()},
                               {"ASAN_OPTIONS", "detect_leaks=0"}};
        auto session = std::make_unique<TmuxSession>(std::vector<std::string>{program.string()}, options);
        for (const char* page : {"Click Next to continue.", "Welcome to the setup of Field Demo."}) {
            if (!session->waitFor(page)) {
                ADD_FAILURE() << session->lastScreen();
                return nullptr;
            }
            session->sendKeys({"Enter"});
        }
        return session;
    }
    // Leaves the wizard by Escape and its question; the log afterwards.
    std::string leaveWizard(TmuxSession& session, const fs::path& program)
    {
        session.sendKeys({"Escape"});
        EXPECT_TRUE(session.waitFor("Are you sure you want to exit")) << session.lastScreen();
        session.sendKeys({"y"});
        EXPECT_EQ(session.waitForExit(), 1) << session.lastScreen();
        ProgramResult logs;
        readLogs(program.parent_path(), logs);
        return logs.log;
    }

    test::ScratchDir scratch_;
};

// One line, naming the reason and the log file as it lies on this machine.
void expectOneLineWithTheLog(const ProgramResult& run, const std::string& reason)
{
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_TRUE(run.err.starts_with("druvex-setup: ")) << run.err;
    EXPECT_NE(run.err.find(reason), std::string::npos) << run.err;
    ASSERT_FALSE(run.logFile.empty());
    EXPECT_NE(run.err.find("(the log: " + fs::canonical(run.logFile).string() + ")"), std::string::npos) << run.err;
    // The reason was in the log before; it stays there.
    EXPECT_TRUE(run.log.ends_with("Logging finished\r\n")) << run.log;
}

TEST_F(EndToEndDiagnostics, ASilentRunThatFailsSaysWhyInOneLineOnStandardError)
{
    const std::vector<ProductFeature> features = test::productFeatures();

    // A requirement the device does not meet.
    const std::string check = "function check(minimum)\n"
                              "  return 0, 'The device runs 5.2, which is too old.'\n"
                              "end\n";
    const fs::path refused = placeInstaller(
        "Refused", test::dataXml(features, "<Requirement name=\"OsVersion\" param=\"600\"/>"), features,
        {test::codedEntry(u"ExtraData/ReqInfo", kPayloadMethodLzma,
                          packageOf({{"OsVersion/Check.lua", check},
                                     {"OsVersion/Requirement.xml", "<Requirement FullName=\"The system\"/>"}}))});
    const ProgramResult notMet = run(refused, "silent_mode");
    expectOneLineWithTheLog(notMet, "The silent run stopped on the Prerequisites page: The device cannot take the "
                                    "program (check result 2): The device runs 5.2, which is too old.");
    // The exit status and the standard output stay as they were.
    EXPECT_EQ(notMet.status, 1);

    // A check script that fails, or refuses without a message: what became
    // of it is the reason, never an empty one.
    const struct {
        const char* folder;
        const char* script;
        const char* reason;
        const char* detail;
    } scripts[] = {
        {"Failing", "function check(minimum)\n  error('no probe for the system')\nend\n",
         "(check result 2): The check of the requirement OsVersion failed: ", "no probe for the system"},
        {"Silent", "function check(minimum)\n  return 0\nend\n",
         "(check result 2): The requirement OsVersion is not met: its check answered \"0\" and no message", ""},
    };
    for (const auto& row : scripts) {
        SCOPED_TRACE(row.folder);
        const fs::path installer = placeInstaller(
            row.folder, test::dataXml(features, "<Requirement name=\"OsVersion\" param=\"600\"/>"), features,
            {test::codedEntry(u"ExtraData/ReqInfo", kPayloadMethodLzma,
                              packageOf({{"OsVersion/Check.lua", row.script},
                                         {"OsVersion/Requirement.xml", "<Requirement FullName=\"The system\"/>"}}))});
        const ProgramResult failed = run(installer, "silent_mode");
        expectOneLineWithTheLog(failed, row.reason);
        EXPECT_NE(failed.err.find(row.detail), std::string::npos) << failed.err;
        EXPECT_EQ(failed.err.find(":  ("), std::string::npos) << failed.err;
    }

    // A feature whose package the installer lacks.
    std::vector<ProductFeature> listed = features;
    listed.push_back({"Extra", "1.0", {{"extra.txt", "extra"}}, ""});
    const fs::path lacking = placeInstaller("Lacking", test::dataXml(listed), features);
    expectOneLineWithTheLog(run(lacking, "silent_mode"), "The silent run stopped on the Installation page: The "
                                                         "package of Feature/Extra is missing at Feature_Extra_1.0_.lzma");

    // No installer archive at all: the start-up error's text.
    const fs::path empty = placeInstaller("Empty", test::dataXml(features), features);
    fs::remove(empty.parent_path() / "setup.dqres");
    const ProgramResult unloaded = run(empty, "silent_mode");
    expectOneLineWithTheLog(unloaded, "druvex-setup: Error reading resources.");
}

// A redistributable whose install script fails: the run's reason names it,
// in the one line, and the script's own error stays in the log.
TEST_F(EndToEndDiagnostics, ARedistributableThatFailsIsOneLineOnStandardError)
{
    std::vector<ProductFeature> features = test::productFeatures();
    features[0].elements = "<RequiresRedist><Redist>Runtime</Redist></RequiresRedist>";
    const std::string list =
        "<RedistInfo><Redistributable Name=\"Runtime\" Version=\"1.0\" DisplayName=\"Survey runtime\">"
        "<Check>function check()\n  return 0, 'missing'\nend</Check></Redistributable></RedistInfo>";
    const std::map<std::string, std::string> files{
        {"setup.lua", test::utf16leFromUtf8("function install()\n  error('no runtime for this device')\nend\n")}};
    const fs::path setup =
        placeInstaller("Setup", test::dataXml(features), features,
                       {test::codedEntry(u"ExtraData/Redist/RedistInfo", kPayloadMethodLzma, test::toBytes(list)),
                        test::codedEntry(u"ExtraData_Redist_Runtime", kPayloadMethodLzma, packageOf(files))});
    const ProgramResult failed = run(setup, "silent_mode");
    expectOneLineWithTheLog(failed, "The redistributable Runtime was not installed");
    EXPECT_NE(failed.log.find("no runtime for this device"), std::string::npos) << failed.log;
}

// CI runs as root, whom permissions do not stop: the device's root folder is
// a file, which no one can write below. The program runs from outside.
TEST_F(EndToEndDiagnostics, ADeviceFolderThatCannotBeWrittenIsNamedOnStandardError)
{
    const test::ScratchDir blocked;
    fs::copy_file(device().directory() / "device.ini", blocked.path() / "device.ini");
    std::ofstream(blocked.path() / "fs") << "not a folder";
    const ProgramResult result = run(test::kSetupProgram, "silent_mode", blocked.path(),
                           "DRUVEX_MODULE_PATH='\\Temp\\Setup\\FieldSetup.exe'");
    EXPECT_EQ(result.status, 1) << result.err;
    const std::string device = fs::canonical(blocked.path()).string();
    EXPECT_NE(result.err.find("druvex-setup: the device folder " + device + " cannot be written (Not a directory)"),
              std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find("no log can be made at " + device + "/fs/"), std::string::npos) << result.err;
    // The run's own failure follows, with no log to point to.
    EXPECT_NE(result.err.find("(no log could be written)\n"), std::string::npos) << result.err;
}

TEST_F(EndToEndDiagnostics, WordsOfTheCommandLineThatAreNoOptionAreLoggedAndTold)
{
    const std::vector<ProductFeature> features = test::productFeatures();
    const fs::path setup = placeInstaller("Setup", test::dataXml(features), features);
    const ProgramResult result = run(setup, "silent_mode /quite unistall_mode");
    EXPECT_EQ(result.status, 0) << result.err << result.log;
    for (const std::string word : {"/quite", "unistall_mode"}) {
        const std::string line = "The word \"" + word + "\" of the command line is no option: passed over";
        EXPECT_NE(result.log.find(line), std::string::npos) << result.log;
        EXPECT_NE(result.err.find("druvex-setup: " + line + "\n"), std::string::npos) << result.err;
    }
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 2) << result.err;
    // Passed over as the command line has it: the run installs.
    EXPECT_NE(result.log.find("runs wizard mode 2"), std::string::npos) << result.log;
}

// A feature named by something other than its key, or a feature the product
// does not have: nothing is removed and the status stays 0, but the person
// is told. A misspelt "uninstall_mode" runs a maintenance run, and is told.
TEST_F(EndToEndDiagnostics, UninstallFeatureNamesThatMatchNoFeatureAreTold)
{
    const std::vector<ProductFeature> features = test::productFeatures();
    const fs::path setup = placeInstaller("Setup", test::dataXml(features), features);
    ASSERT_EQ(run(setup, "silent_mode").status, 0);
    const std::map<std::string, std::string> installed = deviceFiles(test::kDestination);

    for (const std::string name : {"Help", "Feature/Atlas"}) {
        SCOPED_TRACE(name);
        const ProgramResult result = run(setup, "uninstall_feature " + name);
        EXPECT_EQ(result.status, 0) << result.err << result.log;
        const std::string line = "uninstall_feature \"" + name + "\" names no feature of Field Demo";
        EXPECT_NE(result.err.find("druvex-setup: " + line), std::string::npos) << result.err;
        EXPECT_NE(result.log.find(line), std::string::npos) << result.log;
        EXPECT_TRUE(deviceFiles(test::kDestination) == installed);
    }
    // The feature's key removes it, without a word on standard error.
    const ProgramResult removed = run(setup, "uninstall_feature Feature/Help");
    EXPECT_EQ(removed.status, 0) << removed.err << removed.log;
    EXPECT_TRUE(removed.err.empty()) << removed.err;
    EXPECT_FALSE(device().exists(test::kDestination + "/help-0.txt"));

    const ProgramResult misspelt = run(setup, "uninstall_mod silent_mode");
    EXPECT_EQ(misspelt.status, 0) << misspelt.err << misspelt.log;
    EXPECT_NE(misspelt.err.find("druvex-setup: The word \"uninstall_mod\" of the command line is no option"),
              std::string::npos)
        << misspelt.err;
}

TEST_F(EndToEndDiagnostics, ACustomPageScriptWithoutExecOrExecExLogsWhatItLookedFor)
{
    test::CustomPageSpec page;
    page.editText = "Job 1";
    page.onNextScript = "function Exec() end\n";
    const std::vector<ProductFeature> features = test::productFeatures();
    const fs::path setup = placeInstaller("Setup", test::dataXml(features, "", "", test::customPageXml(page)),
                                          features);
    auto session = wizardPastWelcome(setup);
    ASSERT_TRUE(session);
    ASSERT_TRUE(session->waitFor("Name of the first job")) << session->lastScreen();
    session->sendKeys({"Enter"});
    // The page stays, with the system's short message.
    ASSERT_TRUE(session->waitFor("Script not executed")) << session->lastScreen();
    session->sendKeys({"Enter"});
    ASSERT_TRUE(session->waitForGone("Script not executed")) << session->lastScreen();
    const std::string log = leaveWizard(*session, setup);
    EXPECT_NE(log.find("The script of the custom page \"JobPage\" ran neither \"exec\" (exec entry point "
                       "missing.) nor \"execEx\" (execEx entry point missing.)"),
              std::string::npos)
        << log;
}

// A line that quotes device.ini shows its control bytes escaped: on the
// terminal they would move the cursor, clear the screen or change its modes.
TEST_F(EndToEndDiagnostics, ADamagedDeviceIniIsQuotedWithoutItsControlBytes)
{
    const test::ScratchDir damaged;
    std::ofstream(damaged.path() / "device.ini") << "[Device]\nPlatformType=PocketPC\nOem\x0BInfo\x1B[2J=x\n";
    const ProgramResult result = run(test::kSetupProgram, "silent_mode", damaged.path());
    EXPECT_NE(result.status, 0);
    EXPECT_NE(result.err.find("device.ini: line 3: [Device] Oem\\x0bInfo\\x1b[2J: unknown key\n"), std::string::npos)
        << result.err;
    EXPECT_EQ(std::count_if(result.err.begin(), result.err.end(),
                            [](char ch) { return static_cast<unsigned char>(ch) < 0x20 && ch != '\n'; }),
              0)
        << result.err;
}

TEST_F(EndToEndDiagnostics, ALicenceThatCannotBeFoundLogsTheEntryItLookedFor)
{
    const std::vector<ProductFeature> features = test::productFeatures();
    // The licence is packed under a name of its own, not its item's.
    const fs::path setup = placeInstaller(
        "Setup", test::licencedData(features), features,
        {test::codedEntry(u"EULA/English", kPayloadMethodLzma, packageOf({{"eula.txt", "Terms"}}))});
    auto session = wizardPastWelcome(setup);
    ASSERT_TRUE(session);
    ASSERT_TRUE(session->waitFor("The license agreement cannot be shown.")) << session->lastScreen();
    // The log is written through while the wizard waits for the person, so
    // the reason is there for whoever looks now, or if the run is killed.
    ProgramResult waiting;
    readLogs(setup.parent_path(), waiting);
    EXPECT_NE(waiting.log.find("looked for the installer archive's entry \"ExtraData/EULA/English\" **********\r\n"),
              std::string::npos)
        << waiting.log;
    const std::string log = leaveWizard(*session, setup);
    EXPECT_NE(log.find("looked for the installer archive's entry \"ExtraData/EULA/English\""), std::string::npos)
        << log;
}

}  // namespace
}  // namespace druvex
