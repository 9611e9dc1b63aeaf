// The installer's copy in the product data folder, from end to end with the
// real druvex-setup on test devices: an upgrade leaves setup.exe, the program
// alone, and setup.dqres with every entry of the running archive, a stored
// entry larger than any entry held in memory among them; that copy repairs
// the program and removes one of its features by itself, and runs the
// product's custom actions with their files as the installer it copies did;
// and a script of another product's installer that asks for a feature of this
// product to go gets it removed by this copy before that installer installs.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "../payload/payload_test_support.h"
#include "data/installed_log.h"
#include "host/wince_hal_access.h"
#include "payload/payload_archive.h"
#include "product_fixture.h"
#include "support/xlate_file.h"

namespace druvex {
namespace {

namespace fs = std::filesystem;
using test::dataXml;
using test::kDataFolder;
using test::kDestination;
using test::ProductFeature;

struct ProgramResult {
    int status = -1;
    std::string log;
};

class EndToEndInstalledSetup : public test::ProductFixture {
protected:
    // The program with the words on the device, standard input and output
    // no terminal; its log and those of the programs it started beside it.
    ProgramResult run(const fs::path& program, const std::string& words)
    {
        removeLogs(program.parent_path());
        const std::string folder = test::quoted(device().directory());
        const test::ToolResult result = test::runTool("cd " + folder + " && DRUVEX_DEVICE=" + folder + " " +
                                                      test::quoted(program) + " " + words + " </dev/null >/dev/null 2>>" +
                                                      test::quoted(device().directory() / "stderr.txt"));
        return ProgramResult{result.exitCode, logsIn(program.parent_path())};
    }
    static void removeLogs(const fs::path& folder)
    {
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (entry.path().string().ends_with(".log.txt"))
                fs::remove(entry.path());
        }
    }
    static std::string logsIn(const fs::path& folder)
    {
        std::string all;
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (entry.path().string().ends_with(".log.txt"))
                all += test::textOf(test::readFileBytes(entry.path()));
        }
        return all;
    }
    static void expectCompleted(const ProgramResult& result)
    {
        EXPECT_EQ(result.status, 0) << result.log;
        EXPECT_TRUE(result.log.ends_with("Logging finished\r\n")) << result.log;
    }

    fs::path installedSetup() { return device().hostPath(kDataFolder + "/setup.exe"); }

    // The product installed in version 1.0, then its version 2.0 run over it
    // from `folder` (the entries given added to its archive), which leaves
    // the installer's copy. `actions`: custom actions of both versions, whose
    // files are among the entries.
    void installAndUpgrade(const std::string& folder, std::vector<test::EntrySource> entries = {},
                           const std::string& actions = "")
    {
        const std::vector<ProductFeature> features = test::productFeatures();
        expectCompleted(
            run(placeInstaller("Setup10", dataXml(features, "", "", actions), features, entries), "silent_mode"));
        std::string newer = dataXml(features, "", "", actions);
        const std::string version = "ProgramVersion\" Value=\"";
        newer.replace(newer.find(version + "1.0"), version.size() + 3, version + "2.0");
        const ProgramResult upgrade = run(placeInstaller(folder, newer, features, std::move(entries)), "silent_mode");
        expectCompleted(upgrade);
        EXPECT_NE(upgrade.log.find("runs wizard mode 6"), std::string::npos) << upgrade.log;
        ASSERT_TRUE(fs::exists(installedSetup()));
    }

    std::unique_ptr<InstalledLog> installedLog(const std::string& folder)
    {
        const std::string text = device().readFile(folder + "/InstalledLog.xml");
        auto log = std::make_unique<InstalledLog>();
        EXPECT_TRUE(log->loadFromBuffer(text.data(), text.size())) << folder;
        return log;
    }
};

TEST_F(EndToEndInstalledSetup, AnUpgradeLeavesTheProgramAloneAndEveryEntryOfItsArchiveOnce)
{
    // 70 MB stored: more than an entry that is held in memory may take.
    const test::Bytes big = test::sampleData(70'000'000, 9);
    installAndUpgrade("Setup20", {test::codedEntry(u"ExtraData/Maps/Big", kPayloadMethodStored, big)});

    // The program alone: nothing was appended to the installer's program file.
    EXPECT_EQ(fs::file_size(installedSetup()), fs::file_size(test::kSetupProgram));
    const auto host = std::make_shared<HalAccessWinCE>();
    PayloadArchive copy(*host);
    PayloadArchive running(*host);
    int error = 0;
    ASSERT_TRUE(copy.open(fromUtf8("\\" + kDataFolder + "\\setup.dqres"), error)) << error;
    ASSERT_TRUE(running.open(SharedString(u"\\Temp\\Setup20\\setup.dqres"), error)) << error;
    ASSERT_EQ(copy.entryCount(), running.entryCount());
    for (std::int32_t i = 0; i < static_cast<std::int32_t>(copy.entryCount()); ++i) {
        EXPECT_EQ(copy.entryAt(i).name, running.entryAt(i).name);
        EXPECT_EQ(copy.entryAt(i).packedSize, running.entryAt(i).packedSize);
        EXPECT_TRUE(copy.verifyEntry(copy.entryAt(i).name, error)) << toUtf8(copy.entryAt(i).name).c_str();
    }
    const std::int32_t index = copy.findEntry(SharedString(u"ExtraData/Maps/Big"));
    ASSERT_GE(index, 0);
    EXPECT_EQ(copy.entryAt(index).packedSize, big.size());
    // The other product's scripts may ask this copy to remove a feature.
    EXPECT_EQ(installedLog(kDataFolder)->getSupportFlags() & kInstalledLogSupportsRoboActions,
              kInstalledLogSupportsRoboActions);
}

TEST_F(EndToEndInstalledSetup, TheInstalledCopyRepairsTheProgramAndRemovesAFeature)
{
    installAndUpgrade("Setup20");
    const std::vector<ProductFeature> features = test::productFeatures();
    const std::string archive = device().readFile(kDataFolder + "/setup.dqres");

    // A file of the program lost: the copy puts it back.
    const std::string lost = kDestination + "/" + features[0].files.begin()->first;
    ASSERT_TRUE(device().exists(lost));
    fs::remove(device().hostPath(lost));
    const ProgramResult repair = run(installedSetup(), "silent_mode");
    expectCompleted(repair);
    EXPECT_NE(repair.log.find("runs wizard mode 9"), std::string::npos) << repair.log;
    EXPECT_EQ(repair.log.find("Cannot copy the installer"), std::string::npos) << repair.log;
    expectInstalledFeatures(features);

    // One feature asked to go, as another product's installer asks it.
    const ProgramResult removal = run(installedSetup(), "dont_check_unique_instance uninstall_feature Feature/Help");
    expectCompleted(removal);
    expectInstalledFeatures({features[0], features[1]});
    for (const auto& [name, text] : features[2].files)
        EXPECT_FALSE(device().exists(kDestination + "/" + name)) << name;
    // The copy ran from its own files and left them as they were.
    EXPECT_TRUE(device().readFile(kDataFolder + "/setup.dqres") == archive);
}

// The copy reads the installer data its upgrade left beside it, which lists
// no files of custom actions; a check of the device still runs from its
// files, in every run of the copy as in the installer's own.
TEST_F(EndToEndInstalledSetup, TheInstalledCopyRunsCustomActionsWithTheirFiles)
{
    const std::string actions =
        " <CustomActions>\n  <CustomAction Name=\"CheckDevice\" Prompt=\"\" FullInst=\"Yes\" ReqSpace=\"0\" "
        "Digest=\"\" Timestamp=\"0\" Version=\"\" ActionType=\"RunScript\" InstallerType=\"Both\" "
        "StoreLocation=\"InsideInstaller\" ExecutionMask=\"63\" Command=\"check.lua\" Param=\"\" "
        "PostInstallMode=\"DontShow\" PostInstallText=\"\">\n"
        "   <Content><Folder Name=\"&lt;TARGETDIR&gt;\" Flags=\"0\"><File Name=\"check.lua\" Flags=\"0\" "
        "OrigPath=\"\"/></Folder></Content>\n  </CustomAction>\n </CustomActions>\n"
        " <CustomActionsSequence>[INSTALL-BEGIN]CheckDevice;</CustomActionsSequence>\n";
    const std::string script = "function Main()\n"
                               "  local file = HalOut:openFile('\\\\Temp\\\\checked.txt', false)\n"
                               "  HalOut:writeTextFile(file, 'checked')\n"
                               "  HalOut:closeFile(file)\n"
                               "end\n";
    installAndUpgrade("Setup20",
                      {test::codedEntry(u"CheckDevice__.lzma", kPayloadMethodLzma,
                                        packageOf({{"check.lua", test::utf16leFromUtf8(script)}}))},
                      actions);
    ASSERT_TRUE(device().exists("Temp/checked.txt"));
    const std::vector<ProductFeature> features = test::productFeatures();

    // A repair by the copy runs the check first.
    fs::remove(device().hostPath("Temp/checked.txt"));
    fs::remove(device().hostPath(kDestination + "/" + features[1].files.begin()->first));
    const ProgramResult repair = run(installedSetup(), "silent_mode");
    expectCompleted(repair);
    EXPECT_NE(repair.log.find("The files of custom action CheckDevice are those of the archive's installer data"),
              std::string::npos)
        << repair.log;
    EXPECT_EQ(repair.log.find("Custom action CheckDevice failed"), std::string::npos) << repair.log;
    EXPECT_EQ(device().readFile("Temp/checked.txt"), "checked");
    expectInstalledFeatures(features);
}

TEST_F(EndToEndInstalledSetup, AnotherProductsScriptHasAFeatureRemovedByThisProductsCopy)
{
    installAndUpgrade("Setup20");
    const std::vector<ProductFeature> features = test::productFeatures();

    // Field Extra, another product, asks Field Demo to remove its help
    // before it installs.
    const std::string actions =
        " <CustomActions>\n  <CustomAction Name=\"Ask\" Prompt=\"\" FullInst=\"Yes\" ReqSpace=\"0\" Digest=\"\" "
        "Timestamp=\"0\" Version=\"\" ActionType=\"RunScript\" InstallerType=\"Both\" StoreLocation=\"InsideInstaller\" "
        "ExecutionMask=\"15\" Command=\"ask.lua\" Param=\"\" PostInstallMode=\"DontShow\" PostInstallText=\"\">\n"
        "   <Content><Folder Name=\"&lt;TARGETDIR&gt;\" Flags=\"0\"><File Name=\"ask.lua\" Flags=\"0\" "
        "OrigPath=\"\"/></Folder></Content>\n  </CustomAction>\n </CustomActions>\n"
        " <CustomActionsSequence>[INSTALL-BEGIN]Ask;</CustomActionsSequence>\n";
    const std::string script = "function Main()\n"
                               "  local demo = DQ_InstalledProductLoad('{8C2F4D1E-6A3B-4C59-9E07-1B2D3F4A5C6E}')\n"
                               "  if demo <= 0 or not DQ_InstalledProductIsFeatureInstalled(demo, 'Feature/Help') or\n"
                               "     not DQ_InstalledProductInstallerSupport(demo, 'RoboActions') then\n"
                               "    error('Field Demo cannot be asked')\n"
                               "  end\n"
                               "  DQ_InstalledProductSendActions(demo, 'remove', 'Feature/Help')\n"
                               "end\n";
    const std::vector<ProductFeature> extraFeatures{{"Survey", "1.0", test::makeFiles("survey", "1.0", 5), ""}};
    std::string extra = dataXml(extraFeatures, "", "", actions);
    for (const auto& [from, to] : {std::pair<std::string, std::string>{"Field Demo", "Field Extra"},
                                   {"{8C2F4D1E-6A3B-4C59-9E07-1B2D3F4A5C6E}", "{1B7E5A20-3C4D-4E5F-8A9B-2C3D4E5F6A7B}"},
                                   {"Value=\"FieldDemo\"", "Value=\"FieldExtra\""}}) {
        extra.replace(extra.find(from), from.size(), to);
    }
    const fs::path setup =
        placeInstaller("Extra", extra, extraFeatures,
                       {test::codedEntry(u"Ask__.lzma", kPayloadMethodLzma,
                                         packageOf({{"ask.lua", test::utf16leFromUtf8(script)}}))});
    const ProgramResult result = run(setup, "silent_mode");
    expectCompleted(result);
    EXPECT_NE(result.log.find("setup.exe ended with exit code 0"), std::string::npos) << result.log;

    // Field Demo's copy was started with the request and removed the help.
    const std::string demoLog = logsIn(installedSetup().parent_path());
    EXPECT_NE(demoLog.find("Command line: dont_check_unique_instance uninstall_feature Feature/Help"),
              std::string::npos)
        << demoLog;
    expectInstalledFeatures({features[0], features[1]});
    for (const auto& [name, text] : features[2].files)
        EXPECT_FALSE(device().exists(kDestination + "/" + name)) << name;
    // Field Extra is installed beside it.
    const std::unique_ptr<InstalledLog> extraLog =
        installedLog("Windows/_QuendaSuperInstaller/{1B7E5A20-3C4D-4E5F-8A9B-2C3D4E5F6A7B}");
    ASSERT_EQ(extraLog->getFeatureCount(), 1);
    EXPECT_EQ(extraLog->getFeature(0)->getName(), u"Feature/Survey");
    for (const auto& [name, text] : extraFeatures[0].files)
        EXPECT_EQ(device().readFile("Program Files/FieldExtra/" + name), text) << name;
}

}  // namespace
}  // namespace druvex
