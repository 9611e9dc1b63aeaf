// The installer from end to end: the real druvex-setup program, with its
// installer archive beside it, run silently on a test device. An
// installation puts every file in place and lists them in the installed log;
// an uninstallation takes away exactly what that log lists; an update of
// features takes the newer Version of a feature that the update server's
// bulletin offers; a run asked for the new version saves the newer installer
// that the bulletin offers where there is room and starts it, and fails
// without starting anything when the download does not bring it whole;
// an installation killed halfway completes when run again;
// the check script of a requirement and a custom action packed in the
// installer run as the program runs them.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "../payload/payload_test_support.h"
#include "data/content_tree.h"
#include "data/feature.h"
#include "data/installed_log.h"
#include "package_writer/package_writer.h"
#include "payload/entry_encoder.h"
#include "support/loopback_http_server.h"
#include "support/package_fixtures.h"
#include "support/recorded_start.h"
#include "support/xlate_file.h"
#include "end_to_end_fixture.h"

namespace druvex {
namespace {

namespace fs = std::filesystem;
using test::archiveName;
using test::dataXml;
using test::kDataFolder;
using test::utf16leFromUtf8;
using test::kDestination;
using test::kInstallerInfo;
using test::kSetupProgram;
using test::makeFiles;
using test::ProductFeature;
using test::productFeatures;

using ProgramRun = test::ChildProgram;
using test::hexSha1;
using test::RunResult;

class EndToEnd : public test::EndToEndRuns {};

TEST_F(EndToEnd, ASilentInstallationPutsEveryFileInPlaceAndListsIt)
{
    const std::vector<ProductFeature> features = productFeatures();
    const fs::path setup = placeInstaller("Setup", dataXml(features), features);
    const RunResult result = run(setup, {"silent_mode"});
    expectCompleted(result);
    EXPECT_NE(result.log.find("runs wizard mode 2"), std::string::npos) << result.log;
    EXPECT_FALSE(result.lines.empty());
    expectInstalledFeatures(features);
}

TEST_F(EndToEnd, ASilentUninstallationTakesWhatTheInstalledLogListsAndLeavesTheUsersFile)
{
    const std::vector<ProductFeature> features = productFeatures();
    const fs::path setup = placeInstaller("Setup", dataXml(features), features);
    expectCompleted(run(setup, {"silent_mode"}));
    const std::set<std::string> listed = installedLogFiles();
    ASSERT_EQ(listed.size(), 90u);
    device().writeFile(kDestination + "/data/notes.txt", "mine");
    const std::map<std::string, std::string> before = deviceFiles();

    const RunResult result = run(setup, {"uninstall_mode", "silent_mode"});
    expectCompleted(result);
    EXPECT_NE(result.log.find("runs wizard mode 5"), std::string::npos) << result.log;
    const std::map<std::string, std::string> after = deviceFiles();
    // What went is what the log listed, and the product's own files beside it.
    std::set<std::string> gone;
    for (const auto& [path, content] : before) {
        if (!after.contains(path))
            gone.insert(path);
    }
    std::set<std::string> wanted = listed;
    for (const char* own : {"InstalledLog.xml", "data.xml"})
        wanted.insert(kDataFolder + "/" + own);
    wanted.insert(kDestination + "/_config.xml");
    EXPECT_EQ(gone, wanted);
    for (const auto& [path, content] : after)
        EXPECT_TRUE(before.at(path) == content) << path << " changed";
    EXPECT_EQ(device().readFile(kDestination + "/data/notes.txt"), "mine");
}

TEST_F(EndToEnd, AnUpdateOfFeaturesReplacesTheFeatureTheBulletinOffersNewer)
{
    test::LoopbackHttpServer server;
    const std::vector<ProductFeature> features = productFeatures();
    const std::string settings =
        "  <Variable Type=\"LiveUpdateUrl\" Value=\"" + server.url("/demo/bulletin.xml") + "\"/>\n";
    const fs::path setup = placeInstaller("Setup", dataXml(features, "", settings), features);
    expectCompleted(run(setup, {"silent_mode"}));
    // An installation asks no update server.
    EXPECT_EQ(server.requestCount(), 0u);

    ProductFeature maps{"Maps", "1.1", makeFiles("maps", "1.1", 31), ""};
    test::Bytes package;
    ASSERT_TRUE(encodeLzmaEntry(packageOf(maps.files), package));
    server.setReply("/demo/Maps_1.1.lzma", test::HttpReply::ok(std::string(package.begin(), package.end())));
    server.setReply("/demo/bulletin.xml",
                    test::HttpReply::ok(test::oneFeatureBulletin("Maps", "1.1", package, "Maps_1.1.lzma")));
    // The installer's copy in the product data folder is left out.
    const std::map<std::string, std::string> before = deviceFiles(kDestination);

    const RunResult result = run(setup, {"update_mode", "features", "silent_mode"});
    expectCompleted(result);
    std::vector<ProductFeature> updated = features;
    updated[1] = maps;
    expectInstalledFeatures(updated);
    // The other features were left alone.
    const std::map<std::string, std::string> after = deviceFiles(kDestination);
    for (const ProductFeature& feature : {features[0], features[2]}) {
        for (const auto& [name, text] : feature.files)
            EXPECT_TRUE(after.at(kDestination + "/" + name) == before.at(kDestination + "/" + name)) << name;
    }
    EXPECT_EQ(result.log.find("Installing Feature/Core"), std::string::npos) << result.log;
    EXPECT_EQ(result.log.find("Installing Feature/Help"), std::string::npos) << result.log;
}

TEST_F(EndToEnd, AnInstallationKilledHalfwayCompletesWhenRunAgain)
{
    // Files of one size with long paths: an item line every other file or
    // so, each longer than 100 bytes, many more of them than fit into the
    // pipe after the ones read. The program stops on its next line once the
    // pipe is full, so it is killed halfway whatever the machine's speed.
    std::vector<ProductFeature> features = productFeatures();
    for (ProductFeature& feature : features) {
        feature.files.clear();
        for (int i = 0; i < 60; ++i) {
            feature.files["surveyed-regions-of-the-northern-district/" + feature.name +
                          "-measurements-and-their-adjustments/file-" + std::to_string(i) + ".txt"] =
                std::string(2000, static_cast<char>('a' + i % 26));
        }
    }
    const fs::path setup = placeInstaller("Setup", dataXml(features), features);
    constexpr int kPipeBytes = 4096;
    constexpr int kLinesBeforeKill = 4;
    {
        ProgramRun child(setup, {"silent_mode"}, device().directory(), kPipeBytes);
        std::string line;
        for (int read = 0; read < kLinesBeforeKill; ++read) {
            ASSERT_TRUE(child.readLine(line)) << "the run ended after " << read << " item lines";
            ASSERT_GT(line.size(), 100u) << line;
        }
        child.kill();
        EXPECT_EQ(child.wait(), 1000 + SIGKILL);
    }
    EXPECT_TRUE(device().exists(kDestination));
    EXPECT_FALSE(device().exists(kDataFolder + "/InstalledLog.xml"));

    const RunResult again = run(setup, {"silent_mode"});
    expectCompleted(again);
    EXPECT_NE(again.log.find("runs wizard mode 2"), std::string::npos) << again.log;
    // Lines enough that the killed run could not have printed them all.
    EXPECT_GT(again.lines.size() * 100, static_cast<std::size_t>(kPipeBytes) * 2);
    expectInstalledFeatures(features);
}

TEST_F(EndToEnd, ARequirementTheDeviceDoesNotMeetEndsTheRunBeforeAnyFile)
{
    const std::vector<ProductFeature> features = productFeatures();
    test::Bytes check;
    {
        const std::string script =
            "function check(minimum)\n"
            "  local major, minor = HalOut:getOSVersion()\n"
            "  if major * 100 + minor >= tonumber(minimum) then return 1, '' end\n"
            "  return 0, 'The device runs ' .. major .. '.' .. minor .. ', which is too old.'\n"
            "end\n";
        const std::map<std::string, std::string> files{
            {"OsVersion/Check.lua", script},
            {"OsVersion/Requirement.xml", "<Requirement FullName=\"The operating system\"/>"}};
        check = packageOf(files);
    }
    const std::string data = dataXml(features, "<Requirement name=\"OsVersion\" param=\"600\"/>");
    const fs::path setup =
        placeInstaller("Setup", data, features, {test::codedEntry(u"ExtraData/ReqInfo", kPayloadMethodLzma, check)});
    const RunResult refused = run(setup, {"silent_mode"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.log.find("The device runs 5.2, which is too old."), std::string::npos) << refused.log;
    EXPECT_FALSE(device().exists(kDestination));

    // Met, the same check lets the installation go on.
    const fs::path met = placeInstaller(
        "Met", dataXml(features, "<Requirement name=\"OsVersion\" param=\"502\"/>"), features,
        {test::codedEntry(u"ExtraData/ReqInfo", kPayloadMethodLzma, check)});
    expectCompleted(run(met, {"silent_mode"}));
    expectInstalledFeatures(features);
}

// Without a ProgramUuid the product's data folder would be the root of all
// products' data, where a second such product would take the first one's
// installed log: the installer refuses the data before it changes anything.
TEST_F(EndToEnd, InstallerDataWithoutAProgramUuidIsRefusedBeforeAnyChange)
{
    const std::vector<ProductFeature> features = productFeatures();
    std::string data = dataXml(features);
    const std::size_t uuid = data.find("  <Variable Type=\"ProgramUuid\"");
    data.erase(uuid, data.find('\n', uuid) + 1 - uuid);
    const fs::path setup = placeInstaller("Setup", data, features);
    const std::map<std::string, std::string> before = deviceFiles();
    const RunResult refused = run(setup, {"silent_mode"});
    EXPECT_EQ(refused.status, 1) << refused.log;
    const test::Bytes stderrBytes = test::readFileBytes(device().directory() / "stderr.txt");
    const std::string told(stderrBytes.begin(), stderrBytes.end());
    EXPECT_NE(told.find("The installer data names no ProgramUuid."), std::string::npos) << told;
    EXPECT_NE(refused.log.find("Start-up failed with error 211"), std::string::npos) << refused.log;
    EXPECT_EQ(deviceFiles(), before);
}

TEST_F(EndToEnd, ACustomActionPackedInTheInstallerRunsFromItsOwnFolder)
{
    const std::vector<ProductFeature> features = productFeatures();
    const std::string actions =
        " <CustomActions>\n  <CustomAction Name=\"Stamp\" Prompt=\"\" FullInst=\"Yes\" ReqSpace=\"0\" Digest=\"\" "
        "Timestamp=\"0\" Version=\"\" ActionType=\"RunScript\" InstallerType=\"Both\" StoreLocation=\"InsideInstaller\" "
        "ExecutionMask=\"15\" Command=\"stamp.lua\" Param=\"\" PostInstallMode=\"DontShow\" PostInstallText=\"\">\n"
        "   <Content><Folder Name=\"&lt;TARGETDIR&gt;\" Flags=\"0\"><File Name=\"stamp.lua\" Flags=\"0\" "
        "OrigPath=\"\"/><Folder Name=\"data\" Flags=\"0\"><File Name=\"stamp.txt\" Flags=\"0\" OrigPath=\"\"/>"
        "</Folder></Folder></Content>\n  </CustomAction>\n </CustomActions>\n"
        " <CustomActionsSequence>[INSTALL-EXIT]Stamp;</CustomActionsSequence>\n";
    const std::string script = "function Main()\n"
                               "  if not HalIn:copyFile(DQ_GetCustomActionExecFolder() .. '\\\\data\\\\stamp.txt', "
                               "'\\\\Temp\\\\stamped.txt', false) then error('the stamp was not copied') end\n"
                               "end\n";
    const std::map<std::string, std::string> files{{"stamp.lua", utf16leFromUtf8(script)},
                                                   {"data/stamp.txt", "stamped by the custom action"}};
    const fs::path setup = placeInstaller("Setup", dataXml(features, "", "", actions), features,
                                          {test::codedEntry(u"Stamp__.lzma", kPayloadMethodLzma, packageOf(files))});
    expectCompleted(run(setup, {"silent_mode"}));
    EXPECT_EQ(device().readFile("Temp/stamped.txt"), "stamped by the custom action");
    expectInstalledFeatures(features);
}

TEST_F(EndToEnd, ARedistributableAFeatureNeedsIsUnpackedAndInstalledFirst)
{
    std::vector<ProductFeature> features = productFeatures();
    features[0].elements = "<RequiresRedist><Redist>Runtime</Redist></RequiresRedist>";
    const std::string list =
        "<RedistInfo><Redistributable Name=\"Runtime\" Version=\"1.0\" DisplayName=\"Survey runtime\">"
        "<Check>function check()\n"
        "  if HalOut:exists('\\\\Windows\\\\runtime.dll') then return 1, 'present' end\n"
        "  return 0, 'missing'\nend</Check></Redistributable></RedistInfo>";
    const std::map<std::string, std::string> files{
        {"setup.lua", utf16leFromUtf8("function install()\n"
                            "  if not HalIn:copyFile(DQ_GetCustomActionExecFolder() .. '\\\\runtime.dll', "
                            "'\\\\Windows\\\\runtime.dll', false) then error('not copied') end\n"
                            "  return 1\nend\n")},
        {"runtime.dll", "the runtime"}};
    const fs::path setup =
        placeInstaller("Setup", dataXml(features), features,
                       {test::codedEntry(u"ExtraData/Redist/RedistInfo", kPayloadMethodLzma, test::toBytes(list)),
                        test::codedEntry(u"ExtraData_Redist_Runtime", kPayloadMethodLzma, packageOf(files))});
    const RunResult result = run(setup, {"silent_mode"});
    expectCompleted(result);
    EXPECT_NE(result.log.find("Redistributable Runtime installed"), std::string::npos) << result.log;
    EXPECT_LT(result.log.find("Redistributable Runtime installed"), result.log.find("Installing Feature/Core"));
    EXPECT_EQ(device().readFile("Windows/runtime.dll"), "the runtime");
    expectInstalledFeatures(features);
}

// The product installed, its update server offers a complete installer of a
// newer version for this build and device: the recording program, which
// notes how it was started. A run with "update_mode newversion" saves it on
// the device and starts it, leaving the installed product as it was.
class EndToEndNewInstaller : public EndToEnd {
protected:
    void SetUp() override
    {
        EndToEnd::SetUp();
        std::ifstream program(DRUVEX_RECORD_START_PROGRAM, std::ios::binary);
        recorder_.assign(std::istreambuf_iterator<char>(program), {});
        ASSERT_FALSE(recorder_.empty());
        const std::vector<ProductFeature> features = productFeatures();
        const std::string settings =
            "  <Variable Type=\"LiveUpdateUrl\" Value=\"" + server_.url("/demo/bulletin.xml") + "\"/>\n";
        setup_ = placeInstaller("Setup", dataXml(features, "", settings), features);
        expectCompleted(run(setup_, {"silent_mode"}));
        installed_ = productState();
        // The newer installer that a run starts outlives the run and becomes
        // ours to wait for.
        ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    }
    void TearDown() override
    {
        awaitOrphans();
        ::prctl(PR_SET_CHILD_SUBREAPER, 0);
        EndToEnd::TearDown();
    }

    // Two versions: the latest the one installed, the next one a complete
    // installer of this build for the device, announced with `size` bytes.
    static std::string bulletin(std::size_t size)
    {
        return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<UpdateBulletin>\n"
               " <Installer InstallerVersion=\"5.1\"/>\n"
               " <Version Ver=\"1.0\" RevNum=\"1.0.1\"/>\n"
               " <Version Ver=\"2.0\" RevNum=\"2.0.1\">\n"
               "  <FullInstaller prog-platform-mask=\"Wm6\" inst-platform=\"Controller\" inst-type=\"Full\" "
               "url=\"FieldSetup20.exe\" size=\"" +
               std::to_string(size) + "\"/>\n </Version>\n</UpdateBulletin>\n";
    }

    // The run, then every program it left running has ended (the started
    // installer records its command line as it starts).
    RunResult runNewVersion()
    {
        RunResult result = run(setup_, {"update_mode", "newversion", "silent_mode"});
        awaitOrphans();
        return result;
    }
    static void awaitOrphans()
    {
        int status = 0;
        while (::waitpid(-1, &status, 0) > 0 || errno == EINTR) {
        }
    }

    // The product's files and its installed log.
    std::map<std::string, std::string> productState()
    {
        std::map<std::string, std::string> files = deviceFiles(kDestination);
        files["InstalledLog.xml"] = device().readFile(kDataFolder + "/InstalledLog.xml");
        return files;
    }

    test::LoopbackHttpServer server_;
    std::string recorder_;
    fs::path setup_;
    std::map<std::string, std::string> installed_;
};

TEST_F(EndToEndNewInstaller, TheNewerInstallerIsSavedWhereThereIsRoomAndStarted)
{
    server_.setReply("/demo/bulletin.xml", test::HttpReply::ok(bulletin(recorder_.size())));
    server_.setReply("/demo/FieldSetup20.exe", test::HttpReply::ok(recorder_));
    const std::string rootHasRoom = "[Device]\nForceDeviceType=18\nOsVersion=5.2\n\n[Store:\\]\nTotal=268435456\n"
                                    "Free=134217728\n";
    // The root, taken whatever it gives, is passed over for a card with room.
    const std::string onlyTheCardHasRoom = "[Device]\nForceDeviceType=18\nOsVersion=5.2\n\n[Store:\\]\n"
                                           "Total=268435456\nFree=" +
                                           std::to_string(recorder_.size() + 1000) +
                                           "\n\n[Store:\\Storage Card]\nMounted=1\nTotal=1073741824\n"
                                           "Free=536870912\n";
    device().makeFolder("Storage Card");
    const struct {
        const char* what;
        std::string deviceIni;
        std::string saved;
    } cases[] = {
        {"the root has room", rootHasRoom, "FieldSetup20.exe"},
        {"only a storage card has room", onlyTheCardHasRoom, "Storage Card/FieldSetup20.exe"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        device().writeDeviceFile("device.ini", c.deviceIni);
        const RunResult result = runNewVersion();
        expectCompleted(result);
        EXPECT_NE(result.log.find("runs wizard mode 8"), std::string::npos) << result.log;
        ASSERT_TRUE(device().exists(c.saved)) << result.log;
        EXPECT_TRUE(device().readFile(c.saved) == recorder_);
        EXPECT_EQ(test::recordedArguments(device().directory()),
                  (std::vector<std::string>{device().hostPath(c.saved).string(), "dont_check_unique_instance"}))
            << result.log;
        EXPECT_TRUE(productState() == installed_);
        fs::remove(device().hostPath(c.saved));
        fs::remove(device().directory() / "started.bin");
    }
    // One download of the installer in each run.
    const std::vector<test::RecordedRequest> requests = server_.requests();
    EXPECT_EQ(std::count_if(requests.begin(), requests.end(),
                            [](const test::RecordedRequest& request) {
                                return request.method == "GET" && request.target == "/demo/FieldSetup20.exe";
                            }),
              2);
}

// A download that does not bring the installer announced fails the run;
// nothing is started and nothing is left of it.
TEST_F(EndToEndNewInstaller, AnInstallerNotReceivedAsAnnouncedFailsTheRunAndIsNeverStarted)
{
    test::HttpReply cut = test::HttpReply::ok(recorder_);
    cut.cutAfter = recorder_.size() / 2;
    const struct {
        const char* what;
        std::size_t announced;
        test::HttpReply reply;
    } cases[] = {
        {"another size than announced", recorder_.size() + 1, test::HttpReply::ok(recorder_)},
        {"cut short", recorder_.size(), cut},
        {"not on the server", recorder_.size(), test::HttpReply::withStatus(404, "Not Found")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        server_.setReply("/demo/bulletin.xml", test::HttpReply::ok(bulletin(c.announced)));
        server_.setReply("/demo/FieldSetup20.exe", c.reply);
        const RunResult result = runNewVersion();
        EXPECT_EQ(result.status, 1) << result.log;
        EXPECT_TRUE(result.log.ends_with("Logging finished\r\n")) << result.log;
        EXPECT_TRUE(test::recordedArguments(device().directory()).empty());
        EXPECT_FALSE(device().exists("FieldSetup20.exe"));
        EXPECT_TRUE(productState() == installed_);
    }
}

TEST_F(EndToEndNewInstaller, WithoutRoomOnTheDeviceTheRunFailsBeforeTheDownload)
{
    server_.setReply("/demo/bulletin.xml", test::HttpReply::ok(bulletin(recorder_.size())));
    server_.setReply("/demo/FieldSetup20.exe", test::HttpReply::ok(recorder_));
    device().writeDeviceFile("device.ini", "[Device]\nForceDeviceType=18\nOsVersion=5.2\n\n[Store:\\]\n"
                                           "Total=268435456\nFree=" +
                                               std::to_string(recorder_.size()) + "\n");
    const RunResult result = runNewVersion();
    EXPECT_EQ(result.status, 1) << result.log;
    EXPECT_NE(result.log.find("No folder has room for the new installer"), std::string::npos) << result.log;
    for (const test::RecordedRequest& request : server_.requests())
        EXPECT_NE(request.target, "/demo/FieldSetup20.exe");
    EXPECT_TRUE(test::recordedArguments(device().directory()).empty());
    EXPECT_FALSE(device().exists("FieldSetup20.exe"));
    EXPECT_TRUE(productState() == installed_);
}

}  // namespace
}  // namespace druvex
