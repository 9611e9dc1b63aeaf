// Features that only group others, from end to end: the real druvex-setup
// program installs and uninstalls a product whose feature "Tools" has no
// files of its own, only sub-features, and so no package in the installer;
// a feature that has files and whose package is missing still fails.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "end_to_end_fixture.h"

namespace druvex {
namespace {

namespace fs = std::filesystem;
using test::kDataFolder;
using test::kDestination;
using test::makeFiles;
using test::ProductFeature;
using test::RunResult;

class EndToEndFeatureGroups : public test::EndToEndRuns {
protected:
    // Core, and "Tools" grouping "Tools/Convert" and "Tools/Calc": each of
    // these three with files in a package.
    static std::vector<ProductFeature> features()
    {
        return {{"Core", "1.0", makeFiles("core", "1.0", 12), ""},
                {"Tools/Convert", "1.0", makeFiles("convert", "1.0", 9), ""},
                {"Tools/Calc", "1.0", makeFiles("calc", "1.0", 9), ""}};
    }
    static std::string leaf(const std::string& name)
    {
        return "<Feature Name=\"" + name + "\" Prompt=\"" + name +
               "\" FullInst=\"Yes\" ReqSpace=\"1048576\" Digest=\"\" Timestamp=\"0\" Version=\"1.0\" Desc=\"\" "
               "Presel=\"Default\" Mode=\"Expanded\" LocaleId=\"0\"/>";
    }
    static std::string data()
    {
        return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<data>\n <Version>3</Version>\n"
               " <SupportedPlatforms><Platform Type=\"Wm6\"/></SupportedPlatforms>\n"
               " <Variables>\n"
               "  <Variable Type=\"ProgramName\" Value=\"Field Demo\"/>\n"
               "  <Variable Type=\"ProgramUuid\" Value=\"{8C2F4D1E-6A3B-4C59-9E07-1B2D3F4A5C6E}\"/>\n"
               "  <Variable Type=\"ProgramVersion\" Value=\"1.0\"/>\n"
               "  <Variable Type=\"InstallFolderMobile\" Value=\"FieldDemo\"/>\n"
               " </Variables>\n <Features>\n"
               "  <Feature Name=\"Feature\" Prompt=\"\" FullInst=\"Yes\" ReqSpace=\"0\" Digest=\"\" Timestamp=\"0\" "
               "Version=\"\" Desc=\"\" Presel=\"Not preselected\" Mode=\"Not visible\" LocaleId=\"0\">\n"
               "   <SubFeatures>\n    " +
               leaf("Core") +
               "\n    <Feature Name=\"Tools\" Prompt=\"Tools\" FullInst=\"Yes\" ReqSpace=\"0\" Digest=\"\" "
               "Timestamp=\"0\" Version=\"\" Desc=\"\" Presel=\"Default\" Mode=\"Expanded\" LocaleId=\"0\">\n"
               "     <SubFeatures>" +
               leaf("Convert") + leaf("Calc") +
               "</SubFeatures>\n    </Feature>\n   </SubFeatures>\n  </Feature>\n </Features>\n</data>\n";
    }
};

TEST_F(EndToEndFeatureGroups, AFeatureWithoutContentOfItsOwnNeedsNoPackage)
{
    const fs::path setup = placeInstaller("Setup", data(), features());
    const RunResult installed = run(setup, {"silent_mode"});
    expectCompleted(installed);
    EXPECT_NE(installed.log.find("runs wizard mode 2"), std::string::npos) << installed.log;
    EXPECT_EQ(installed.log.find("The package of"), std::string::npos) << installed.log;
    expectInstalledFeatures(features());
    // The group is installed too, with no file of its own, so that later runs
    // know it.
    std::map<std::string, std::string> versions;
    installedLogFiles(&versions);
    EXPECT_TRUE(versions.contains("Feature/Tools"));

    const RunResult removed = run(setup, {"uninstall_mode", "silent_mode"});
    expectCompleted(removed);
    EXPECT_NE(removed.log.find("Removing Feature/Tools"), std::string::npos) << removed.log;
    EXPECT_FALSE(device().exists(kDestination));
    EXPECT_FALSE(device().exists(kDataFolder + "/InstalledLog.xml"));
}

TEST_F(EndToEndFeatureGroups, AFeatureWithFilesWhosePackageIsMissingStillFails)
{
    std::vector<ProductFeature> packed = features();
    packed.pop_back();
    const fs::path setup = placeInstaller("Setup", data(), packed);
    const RunResult result = run(setup, {"silent_mode"});
    EXPECT_EQ(result.status, 1) << result.log;
    EXPECT_NE(result.log.find("The package of Feature/Tools/Calc is missing at Feature_Tools_Calc_1.0_.lzma"),
              std::string::npos)
        << result.log;
    EXPECT_FALSE(device().exists(kDataFolder + "/InstalledLog.xml"));
    EXPECT_FALSE(device().exists(kDestination + "/core-0.txt"));
}

}  // namespace
}  // namespace druvex
