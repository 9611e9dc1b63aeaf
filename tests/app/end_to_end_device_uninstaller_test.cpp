// An earlier installation that the device's own cabinet installer made, from
// end to end: the device's application manager lists the program (Windows
// Mobile) and no installed log is there. A silent run of druvex-setup finds
// it, has the device's provisioning program remove it (the recording program
// stands in for that program and keeps the document it was given), then
// installs the program.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "end_to_end_fixture.h"
#include "support/recorded_start.h"

namespace druvex {
namespace {

namespace fs = std::filesystem;

class EndToEndDeviceUninstaller : public test::EndToEndRuns {
protected:
    std::string deviceIni() const override
    {
        return EndToEndRuns::deviceIni() + "\n[Programs]\nDMProcessConfigXML.exe=" DRUVEX_RECORD_START_PROGRAM "\n";
    }
    void SetUp() override
    {
        EndToEndRuns::SetUp();
        device().writeFile("Windows/DMProcessConfigXML.exe", "MZ device program");
        device().writeDeviceFile("registry.reg", "DRUVEX-REGISTRY 1\n\n"
                                                 "[HKEY_LOCAL_MACHINE\\Software\\Apps\\Druvex Field Demo]\n"
                                                 "\"Instl\"=dword:00000001\n");
    }
};

TEST_F(EndToEndDeviceUninstaller, AnInstallationTheApplicationManagerListsIsRemovedBeforeTheInstallation)
{
    const std::vector<test::ProductFeature> features = test::productFeatures();
    const std::string names = "  <Variable Type=\"CabProvider\" Value=\"Druvex\"/>\n"
                              "  <Variable Type=\"CabProgramName\" Value=\"Field Demo\"/>\n";
    const fs::path setup = placeInstaller("Setup", test::dataXml(features, "", names), features);
    const test::RunResult result = run(setup, {"silent_mode"});
    expectCompleted(result);
    EXPECT_NE(result.log.find("Earlier installation without an installed log (application manager, no installed "
                              "log): Druvex Field Demo"),
              std::string::npos)
        << result.log;

    // The provisioning program was given the document that removes the
    // application, and the document is gone afterwards.
    const std::vector<std::string> started = test::recordedArguments(device().directory());
    ASSERT_EQ(started.size(), 2u);
    EXPECT_EQ(started[1], "\\Temp\\DruvexUninstall.xml");
    EXPECT_FALSE(device().exists("Temp/DruvexUninstall.xml"));
    expectInstalledFeatures(features);
}

}  // namespace
}  // namespace druvex
