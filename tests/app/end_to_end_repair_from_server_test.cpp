// A feature that came from the update server, repaired: the installer's
// archive holds an older version of it, so the repair takes the installed
// version's package from the server that the bulletin kept beside the
// installed log names; the installer's copy in the product data folder does
// the same. With the server gone the run fails, names the feature and where
// it looked, and leaves the installation as it found it.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "end_to_end_fixture.h"
#include "support/loopback_http_server.h"

namespace druvex {
namespace {

namespace fs = std::filesystem;
using test::dataXml;
using test::kDataFolder;
using test::kDestination;
using test::ProductFeature;

constexpr char kPackagePath[] = "/demo/Core_4.1.3.lzma";

std::string withProgramVersion(std::string data, const std::string& version)
{
    const std::string attribute = "ProgramVersion\" Value=\"1.0";
    data.replace(data.find(attribute), attribute.size(), "ProgramVersion\" Value=\"" + version);
    return data;
}

class EndToEndRepairFromServer : public test::EndToEndRuns {
protected:
    void SetUp() override
    {
        EndToEndRuns::SetUp();
        server_.emplace();
        features_ = test::productFeatures();
        features_[0] = ProductFeature{"Core", "4.1.2", test::makeFiles("core", "4.1.2", 30), ""};
        updated_ = features_;
        updated_[0] = ProductFeature{"Core", "4.1.3", test::makeFiles("core", "4.1.3", 30), ""};
        settings_ = "  <Variable Type=\"LiveUpdateUrl\" Value=\"" + server_->url("/demo/bulletin.xml") + "\"/>\n";
    }

    // Version 4.1.1 of the product, upgraded by the 4.1.2 installer (which
    // leaves its copy in the product data folder), whose update of the
    // features then takes Core 4.1.3 from the update server.
    void installCoreFromServer()
    {
        std::vector<ProductFeature> older = features_;
        older[0] = ProductFeature{"Core", "4.1.1", test::makeFiles("core", "4.1.1", 30), ""};
        const fs::path first =
            placeInstaller("Setup411", withProgramVersion(dataXml(older, "", settings_), "4.1.1"), older);
        expectCompleted(run(first, {"silent_mode"}));
        setup_ = placeInstaller("Setup412", withProgramVersion(dataXml(features_, "", settings_), "4.1.2"), features_);
        expectCompleted(run(setup_, {"silent_mode"}));
        ASSERT_TRUE(fs::exists(installedSetup()));

        test::Bytes package;
        ASSERT_TRUE(encodeLzmaEntry(packageOf(updated_[0].files), package));
        server_->setReply(kPackagePath, test::HttpReply::ok(std::string(package.begin(), package.end())));
        server_->setReply("/demo/bulletin.xml",
                          test::HttpReply::ok(test::oneFeatureBulletin("Core", "4.1.3", package, "Core_4.1.3.lzma")));
        expectCompleted(run(setup_, {"update_mode", "features", "silent_mode"}));
        expectInstalledFeatures(updated_);
        ASSERT_TRUE(device().exists(kDataFolder + "/last_bulletin.xml"));
    }

    fs::path installedSetup() { return device().hostPath(kDataFolder + "/setup.exe"); }

    std::size_t packageRequests() const
    {
        std::size_t count = 0;
        for (const test::RecordedRequest& request : server_->requests())
            count += request.target == kPackagePath ? 1 : 0;
        return count;
    }

    std::optional<test::LoopbackHttpServer> server_;
    std::vector<ProductFeature> features_;
    std::vector<ProductFeature> updated_;
    std::string settings_;
    fs::path setup_;
};

TEST_F(EndToEndRepairFromServer, TheInstallerAndItsInstalledCopyTakeTheInstalledVersionFromTheServer)
{
    ASSERT_NO_FATAL_FAILURE(installCoreFromServer());
    const std::string deleted = kDestination + "/data/core-4.txt";

    for (const fs::path& program : {setup_, installedSetup()}) {
        SCOPED_TRACE(program.string());
        fs::remove(device().hostPath(deleted));
        const std::size_t before = packageRequests();
        const test::RunResult result = run(program, {"silent_mode"});
        expectCompleted(result);
        EXPECT_NE(result.log.find("Installed file missing"), std::string::npos) << result.log;
        EXPECT_GT(packageRequests(), before) << "the package was not taken from the server";
        expectInstalledFeatures(updated_);
    }
}

TEST_F(EndToEndRepairFromServer, WithoutTheServerTheRepairFailsNamingTheFeatureAndWhereItLooked)
{
    ASSERT_NO_FATAL_FAILURE(installCoreFromServer());
    const std::string deleted = kDestination + "/data/core-4.txt";
    fs::remove(device().hostPath(deleted));
    const std::string url = server_->url(kPackagePath);
    server_.reset();
    const std::map<std::string, std::string> before = deviceFiles(kDestination);

    for (const fs::path& program : {setup_, installedSetup()}) {
        SCOPED_TRACE(program.string());
        const test::RunResult result = run(program, {"silent_mode"});
        EXPECT_EQ(result.status, 1) << result.log;
        for (const std::string& text : {std::string("The package of Feature/Core 4.1.3 cannot be had"),
                                         std::string("installer's archive"), url})
            EXPECT_NE(result.log.find(text), std::string::npos) << text << "\n" << result.log;
        // Nothing of the installation was lost on the way.
        EXPECT_TRUE(deviceFiles(kDestination) == before);
        std::map<std::string, std::string> versions;
        installedLogFiles(&versions);
        EXPECT_EQ(versions["Feature/Core"], "4.1.3");
    }

    // Without the cached bulletin no place names the package at all.
    fs::remove(device().hostPath(kDataFolder + "/last_bulletin.xml"));
    const test::RunResult result = run(setup_, {"silent_mode"});
    EXPECT_EQ(result.status, 1) << result.log;
    EXPECT_NE(result.log.find("The package of Feature/Core 4.1.3 cannot be had: it is not in the installer's archive "
                              "\\Temp\\Setup412\\setup.dqres nor in its update folder, and no update bulletin "
                              "offers it"),
              std::string::npos)
        << result.log;
}

}  // namespace
}  // namespace druvex
