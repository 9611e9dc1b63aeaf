// What a run of the real druvex-setup leaves behind, from end to end: its
// work folder in the device's temporary folder goes with what the run
// unpacked into it (a custom action's and a redistributable's packages),
// after a run that succeeds and after one that fails; and the packages an
// update downloaded but did not unpack before it failed go as well.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "payload/entry_encoder.h"
#include "end_to_end_fixture.h"
#include "support/loopback_http_server.h"

namespace druvex {
namespace {

namespace fs = std::filesystem;
using test::kDataFolder;
using test::kDestination;
using test::ProductFeature;

class EndToEndLeftovers : public test::EndToEndRuns {
protected:
    // The entries of the device's temporary folder, the installer's own folder left out.
    std::vector<std::string> temporaryEntries()
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(device().hostPath("Temp"))) {
            const std::string name = entry.path().filename().string();
            if (name != "Setup" && name != "fail.txt")
                names.push_back(name);
        }
        return names;
    }
};

TEST_F(EndToEndLeftovers, TheWorkFolderGoesWithWhatTheRunUnpackedIntoIt)
{
    const std::vector<ProductFeature> features = test::featuresNeedingRuntime();
    const fs::path setup = placeInstallerWithRuntime(features);

    // A run that fails after the redistributable and the custom action were unpacked.
    device().writeFile("Temp/fail.txt", "fail");
    const test::RunResult failed = run(setup, {"silent_mode"});
    EXPECT_EQ(failed.status, 1) << failed.log;
    EXPECT_NE(failed.log.find("Redistributable Runtime installed"), std::string::npos) << failed.log;
    EXPECT_NE(failed.log.find("Running custom action Finish"), std::string::npos) << failed.log;
    EXPECT_EQ(temporaryEntries(), std::vector<std::string>{});

    fs::remove(device().hostPath("Temp/fail.txt"));
    fs::remove(device().hostPath("Windows/runtime.dll"));
    const test::RunResult done = run(setup, {"silent_mode"});
    EXPECT_EQ(done.status, 0) << done.log;
    EXPECT_NE(done.log.find("Redistributable Runtime installed"), std::string::npos) << done.log;
    EXPECT_EQ(temporaryEntries(), std::vector<std::string>{});
    expectInstalledFeatures(features);
}

TEST_F(EndToEndLeftovers, PackagesDownloadedForAFailedUpdateGoWithIt)
{
    test::LoopbackHttpServer server;
    const std::vector<ProductFeature> features = test::productFeatures();
    const std::string settings =
        "  <Variable Type=\"LiveUpdateUrl\" Value=\"" + server.url("/demo/bulletin.xml") + "\"/>\n";
    const fs::path setup = placeInstaller("Setup", test::dataXml(features, "", settings), features);
    ASSERT_EQ(run(setup, {"silent_mode"}).status, 0);

    // Two newer features, each large enough that the other is downloaded
    // while it is unpacked, and each failing at its last file, which would
    // take the place of a folder that stands there.
    std::string features11;
    for (const char* name : {"Maps", "Help"}) {
        const std::string lower = name == std::string("Maps") ? "maps" : "help";
        ProductFeature feature{name, "1.1", test::makeFiles(lower, "1.1", 31), ""};
        for (int i = 0; i < 40; ++i)
            feature.files["large/" + lower + "-" + std::to_string(i) + ".bin"] = std::string(100000, 'a' + i % 26);
        feature.files["zzzz-" + lower + ".txt"] = "last";
        device().writeFile(kDestination + "/zzzz-" + lower + ".txt/kept.txt", "a folder of the user's");
        test::Bytes package;
        ASSERT_TRUE(encodeLzmaEntry(packageOf(feature.files), package));
        server.setReply("/demo/" + lower + ".lzma", test::HttpReply::ok(std::string(package.begin(), package.end())));
        features11 += "  <Feature Name=\"Feature/" + std::string(name) + "\" Prompt=\"" + name +
                      "\" FullInst=\"Yes\" ReqSpace=\"1048576\" Version=\"1.1\" Digest=\"" + test::hexSha1(package) +
                      "\" compressed-size=\"" + std::to_string(package.size()) + "\" url=\"" + lower +
                      ".lzma\" Presel=\"Default\" Mode=\"Expanded\"/>\n";
    }
    server.setReply("/demo/bulletin.xml",
                    test::HttpReply::ok("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<UpdateBulletin>\n"
                                        " <Installer InstallerVersion=\"5.1\"/>\n <Version Ver=\"1.0\" "
                                        "RevNum=\"1.0.1\">\n" +
                                        features11 + " </Version>\n</UpdateBulletin>\n"));
    const std::map<std::string, std::string> before = deviceFiles();

    const test::RunResult update = run(setup, {"update_mode", "features", "silent_mode"});
    EXPECT_EQ(update.status, 1) << update.log;
    EXPECT_NE(update.log.find("Rollback done: the target is as it was before the installation"), std::string::npos)
        << update.log;
    EXPECT_FALSE(device().exists(kDataFolder + "/Packages"));
    EXPECT_TRUE(deviceFiles() == before);
}

}  // namespace
}  // namespace druvex
