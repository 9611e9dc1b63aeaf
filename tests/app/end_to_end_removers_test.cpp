// The installed copy of the installer as another installer reaches it, from
// end to end with the real druvex-setup: a silent installation that finds
// another program in its product data folder starts that program's copy
// silently to remove it, and a remover that fails stops the run before it
// changes anything; the copy asked "query_min_ver_for_uninst" answers by its
// exit code alone, from the installed log's MinAuto, and the asking run
// takes that answer.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "data/installed_log.h"
#include "data/version_number.h"
#include "end_to_end_fixture.h"
#include "support/recorded_start.h"

namespace druvex {
namespace {

namespace fs = std::filesystem;
using test::dataXml;
using test::kDataFolder;
using test::kDestination;
using test::ProductFeature;

class EndToEndRemovers : public test::EndToEndRuns {
protected:
    fs::path installedSetup() { return device().hostPath(kDataFolder + "/setup.exe"); }

    // Field Demo 1.0, then its 2.0 over it, which leaves the installer's copy
    // in the product data folder.
    void installWithCopy()
    {
        const std::vector<ProductFeature> features = test::productFeatures();
        expectCompleted(run(placeInstaller("Setup10", dataXml(features), features), {"silent_mode"}));
        const test::RunResult upgrade = run(placeInstaller("Setup20", withVersion(dataXml(features), "2.0"), features),
                                            {"silent_mode"});
        expectCompleted(upgrade);
        ASSERT_TRUE(fs::exists(installedSetup()));
    }
    static std::string withVersion(std::string data, const std::string& version)
    {
        const std::string key = "ProgramVersion\" Value=\"";
        data.replace(data.find(key + "1.0"), key.size() + 3, key + version);
        return data;
    }
    // Another program of the same ProgramUuid: its installer finds Field
    // Demo's installed log in its product data folder.
    fs::path placeOtherProgram()
    {
        std::string data = dataXml(test::productFeatures());
        const std::string name = "ProgramName\" Value=\"Field Demo\"";
        data.replace(data.find(name), name.size(), "ProgramName\" Value=\"Other Demo\"");
        return placeInstaller("Other", data, test::productFeatures());
    }
    std::string standardError() { return test::textOf(test::readFileBytes(device().directory() / "stderr.txt")); }
    std::unique_ptr<InstalledLog> installedLog()
    {
        const std::string text = device().readFile(kDataFolder + "/InstalledLog.xml");
        auto log = std::make_unique<InstalledLog>();
        EXPECT_TRUE(log->loadFromBuffer(text.data(), text.size()));
        return log;
    }
};

TEST_F(EndToEndRemovers, AnotherProgramsRemoverThatFailsStopsTheRunBeforeItChangesAnything)
{
    installWithCopy();
    // The other program's remover ends with exit code 1, as an installer
    // that could not remove its program does.
    fs::remove(installedSetup());
    fs::copy_file(DRUVEX_RECORD_START_PROGRAM, installedSetup());
    device().writeDeviceFile("record_start.answer", "1");
    const std::map<std::string, std::string> before = deviceFiles();

    const test::RunResult result = run(placeOtherProgram(), {"silent_mode"});
    EXPECT_EQ(result.status, 1) << result.log;
    // Started silently: nobody is there to see its wizard either.
    const std::vector<std::string> started = test::recordedArguments(device().directory());
    ASSERT_EQ(started.size(), 2u);
    EXPECT_EQ(started[1], "uninstall_mode dont_check_unique_instance no_welcome silent_mode");
    EXPECT_NE(standardError().find("Field Demo could not be removed"), std::string::npos) << standardError();
    // Field Demo stands as it was, and its installed log is its own.
    EXPECT_TRUE(deviceFiles() == before);
    EXPECT_EQ(installedLog()->getProgramName(), SharedString(u"Field Demo"));
}

TEST_F(EndToEndRemovers, AnotherProgramIsRemovedSilentlyByItsOwnCopyBeforeTheInstallation)
{
    installWithCopy();
    const test::RunResult result = run(placeOtherProgram(), {"silent_mode"});
    expectCompleted(result);
    EXPECT_EQ(installedLog()->getProgramName(), SharedString(u"Other Demo"));
    EXPECT_NE(result.log.find("setup.exe ended with exit code 0"), std::string::npos) << result.log;
}

TEST_F(EndToEndRemovers, TheInstalledCopyAnswersWhoMayRemoveItsInstallation)
{
    installWithCopy();
    const std::unique_ptr<InstalledLog> log = installedLog();
    log->setMinAutoVersion(VersionNumber::fromText(u"6.0"));
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(log->serialize(bytes));
    test::writeFileBytes(device().hostPath(kDataFolder + "/InstalledLog.xml"), bytes);
    const std::map<std::string, std::string> before = deviceFiles(kDestination);

    // Asked directly, as an installer of each version asks it: 1 when that
    // version may remove the installation, 3 when it may not. Nothing runs,
    // nothing is printed, nothing changes.
    const struct {
        const char* version;
        int status;
    } rows[] = {{"6.0", 1}, {"7.2", 1}, {"5.1", 3}, {"five", 3}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.version);
        const test::RunResult answer = run(installedSetup(), {"query_min_ver_for_uninst", row.version});
        EXPECT_EQ(answer.status, row.status) << answer.log;
        EXPECT_TRUE(answer.lines.empty());
        EXPECT_EQ(answer.log.find("runs wizard mode"), std::string::npos) << answer.log;
        EXPECT_TRUE(deviceFiles(kDestination) == before);
    }

    // An installer of version 5.1 asks the copy, and takes its answer.
    const std::vector<ProductFeature> features = test::productFeatures();
    const test::RunResult asking = run(placeInstaller("Setup30", withVersion(dataXml(features), "3.0"), features),
                                       {"silent_mode"});
    EXPECT_NE(asking.log.find("The installed installer answers the uninstall compatibility 3"), std::string::npos)
        << asking.log;
}

}  // namespace
}  // namespace druvex
