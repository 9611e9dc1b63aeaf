// The bulletin a run got from the update server stays beside the installed
// log ("last_bulletin.xml"). A later run that finds no update server takes
// that one: the packages it offered stay known, so an update run offline
// keeps the newer feature it installed instead of taking the installer's
// older one. An uninstallation takes the cached bulletin away with the rest.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "payload/entry_encoder.h"
#include "end_to_end_fixture.h"
#include "support/loopback_http_server.h"

namespace druvex {
namespace {

namespace fs = std::filesystem;
using test::dataXml;
using test::kDataFolder;
using test::ProductFeature;

class EndToEndCachedBulletin : public test::EndToEndRuns {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::toolInstalled("tmux"));
        EndToEndRuns::SetUp();
    }
};

TEST_F(EndToEndCachedBulletin, AnUpdateRunWithoutItsServerKeepsWhatTheLastBulletinOffered)
{
    std::optional<test::LoopbackHttpServer> server(std::in_place);
    const std::vector<ProductFeature> features = test::productFeatures();
    const std::string settings =
        "  <Variable Type=\"LiveUpdateUrl\" Value=\"" + server->url("/demo/bulletin.xml") + "\"/>\n";
    const fs::path setup = placeInstaller("Setup", dataXml(features, "", settings), features);
    test::RunResult result = run(setup, {"silent_mode"});
    ASSERT_EQ(result.status, 0) << result.log;

    // The server offers a newer Maps; an update takes it and keeps the bulletin.
    const ProductFeature maps{"Maps", "1.1", test::makeFiles("maps", "1.1", 31), ""};
    test::Bytes package;
    ASSERT_TRUE(encodeLzmaEntry(packageOf(maps.files), package));
    server->setReply("/demo/Maps_1.1.lzma", test::HttpReply::ok(std::string(package.begin(), package.end())));
    server->setReply("/demo/bulletin.xml",
                     test::HttpReply::ok(test::oneFeatureBulletin("Maps", "1.1", package, "Maps_1.1.lzma")));
    result = run(setup, {"update_mode", "features", "silent_mode"});
    ASSERT_EQ(result.status, 0) << result.log;
    std::vector<ProductFeature> updated = features;
    updated[1] = maps;
    expectInstalledFeatures(updated);
    ASSERT_TRUE(device().exists(kDataFolder + "/last_bulletin.xml"));

    // The update server is gone. The wizard of the next update, told so, goes
    // on with the cached bulletin: Maps 1.1 is known and stays, where the
    // installer alone would put its own Maps 1.0 back.
    server.reset();
    {
        const std::unique_ptr<test::TmuxSession> session = startWizard(setup, {"update_mode", "features"});
        proceedWithoutUpdateServer(*session);
        ASSERT_TRUE(session->waitFor("(*) Update the program")) << session->lastScreen();
        session->sendKeys({"Enter"});
        ASSERT_TRUE(session->waitFor("Field Demo has been updated.")) << session->lastScreen();
        session->sendKeys({"Enter"});
        ASSERT_EQ(session->waitForExit(), 0) << session->lastScreen();
    }
    const std::string log = logOf(setup);
    EXPECT_NE(log.find("the bulletin of the last run is used"), std::string::npos) << log;
    EXPECT_EQ(log.find("Installing Feature/Maps"), std::string::npos) << log;
    expectInstalledFeatures(updated);

    // The uninstallation leaves nothing of the product behind, the cache included.
    result = run(setup, {"uninstall_mode", "silent_mode"});
    EXPECT_EQ(result.status, 0) << result.log;
    EXPECT_FALSE(device().exists(kDataFolder + "/last_bulletin.xml"));
    EXPECT_FALSE(device().exists(kDataFolder));
}

}  // namespace
}  // namespace druvex
