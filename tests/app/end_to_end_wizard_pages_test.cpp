// What the wizard's pages offer beyond Next, from end to end: druvex-setup in
// tmux on a test device. The prerequisites page offers Retry when it finds the
// installer damaged, and a second check of the mended installer lets the run
// go on; the installation page shows the installer's banners in turn; a
// licence whose text cannot be shown cannot be accepted, and nothing is
// installed.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "end_to_end_fixture.h"
#include "support/crash_test_device.h"
#include "support/external_tool.h"

namespace druvex {
namespace {

namespace fs = std::filesystem;
using test::ProductFeature;

class EndToEndWizardPages : public test::EndToEndRuns {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::toolInstalled("tmux"));
        EndToEndRuns::SetUp();
        features_ = test::productFeatures();
    }

    // Walks a first installation from the prerequisites page to the
    // installation page (no licence on the way).
    static void walkToInstallation(test::TmuxSession& session)
    {
        for (const char* page : {"Click Next to continue.", "Welcome to the setup of Field Demo.", "Space available:",
                                 "Space required:"}) {
            ASSERT_TRUE(session.waitFor(page)) << session.lastScreen();
            session.sendKeys({"Enter"});
        }
    }

    // Flips one byte of the file in place: the program's open archive sees it.
    static void flipByte(const fs::path& file, std::streamoff at)
    {
        std::fstream stream(file, std::ios::in | std::ios::out | std::ios::binary);
        stream.seekg(at);
        const int byte = stream.get();
        stream.seekp(at);
        stream.put(static_cast<char>(byte ^ 0x5A));
    }

    std::vector<ProductFeature> features_;
};

TEST_F(EndToEndWizardPages, ADamagedInstallerIsCheckedAgainWithRetry)
{
    // The archive's first entry, read by nothing but the check, is damaged.
    const fs::path setup =
        placeInstaller("Setup", test::dataXml(features_), features_,
                       {test::codedEntry(u"Notes", kPayloadMethodStored, test::toBytes(std::string(4096, 'n')))});
    const fs::path archive = setup.parent_path() / "setup.dqres";
    flipByte(archive, 100);
    auto session = startWizard(setup);
    ASSERT_TRUE(session->waitFor("The installer is damaged. Get it again.")) << session->lastScreen();
    EXPECT_TRUE(test::containsInOrder(session->lastScreen(), {"Prerequisites", "damaged", "Retry", "Next >"}))
        << session->lastScreen();
    // Mended (a card put back in place), then checked again.
    flipByte(archive, 100);
    session->sendKeys({"Enter"});
    ASSERT_TRUE(session->waitFor("Click Next to continue.")) << session->lastScreen();
    EXPECT_TRUE(test::containsInOrder(session->lastScreen(), {"The installer is complete.", "100%"}))
        << session->lastScreen();
    EXPECT_EQ(session->lastScreen().find("Retry"), std::string::npos) << session->lastScreen();
    session->sendKeys({"Enter"});
    ASSERT_NO_FATAL_FAILURE(finishFirstInstallation(*session));
    expectInstalledFeatures(features_);
    // Found damaged once, then whole.
    const std::string log = logOf(setup);
    const std::string damaged = "The prerequisites page: the installer is damaged";
    const std::size_t first = log.find(damaged);
    ASSERT_NE(first, std::string::npos) << log;
    EXPECT_EQ(log.find(damaged, first + 1), std::string::npos) << log;
}

TEST_F(EndToEndWizardPages, TheInstallationPageShowsTheBannersInTurn)
{
    // Two banners for the device's screen, 480 pixels wide: one with a
    // link, one without; the second turns up after 50 ms.
    std::string data = test::dataXml(features_, "", "", test::kGateAction);
    data.insert(data.find("</data>"),
                " <Banners Interval=\"50\">\n"
                "  <BannerElement OrigPath=\"\" BaseName=\"news\" Link=\"www.example.com/news\">\n"
                "   <BannerScreenElement Screen=\"PPC\" Available=\"Yes\" Format=\"Bmp\"/>\n  </BannerElement>\n"
                "  <BannerElement OrigPath=\"\" BaseName=\"offers\" Link=\"\">\n"
                "   <BannerScreenElement Screen=\"PPC\" Available=\"Yes\" Format=\"Jpeg\"/>\n  </BannerElement>\n"
                " </Banners>\n");
    const fs::path setup = placeInstaller("Setup", data, features_,
                                          {gateEntry(),
                                           test::codedEntry(u"Banners/0_ppcV", kPayloadMethodStored, test::toBytes("BM")),
                                           test::codedEntry(u"Banners/1_ppcV", kPayloadMethodStored, test::toBytes("JP"))});
    auto session = startWizard(setup);
    walkToInstallation(*session);
    ASSERT_TRUE(session->waitFor("The files are in place.")) << session->lastScreen();
    session->sendKeys({"Enter"});
    // The page stays while the gate holds the run: each banner comes round.
    ASSERT_TRUE(session->waitFor("www.example.com/news")) << session->lastScreen();
    EXPECT_TRUE(test::containsInOrder(session->lastScreen(), {"Installation", "Installing...", "www.example.com/news"}))
        << session->lastScreen();
    ASSERT_TRUE(session->waitFor("offers_ppcV.jpeg")) << session->lastScreen();
    ASSERT_TRUE(session->waitFor("www.example.com/news")) << session->lastScreen();
    openGate();
    ASSERT_TRUE(session->waitFor("Field Demo has been installed on the device.")) << session->lastScreen();
    session->sendKeys({"Enter"});
    ASSERT_EQ(session->waitForExit(), 0) << session->lastScreen();
    expectInstalledFeatures(features_);
}

TEST_F(EndToEndWizardPages, TheDestinationPageShortensAFolderTooLongForItsLine)
{
    // 104 characters in a line of 96 columns, of which the path may take 86.
    const std::string folder = "Field Survey Programs\\Demonstration Edition\\Version One\\"
                               "Data Collection Tools\\FieldDemo";
    std::string data = test::dataXml(features_);
    data.replace(data.find("Value=\"FieldDemo\""), 17, "Value=\"" + folder + "\"");
    const fs::path setup = placeInstaller("Setup", data, features_);
    auto session = startWizard(setup);
    for (const char* page : {"Click Next to continue.", "Welcome to the setup of Field Demo."}) {
        ASSERT_TRUE(session->waitFor(page)) << session->lastScreen();
        session->sendKeys({"Enter"});
    }
    ASSERT_TRUE(session->waitFor("Space available:")) << session->lastScreen();
    EXPECT_TRUE(test::containsInOrder(
        session->lastScreen(),
        {"Destination folder:", "\\...\\Demonstration Edition\\Version One\\Data Collection Tools\\FieldDemo"}))
        << session->lastScreen();
    EXPECT_EQ(session->lastScreen().find("Field Survey Programs"), std::string::npos) << session->lastScreen();
    session->sendKeys({"Escape"});
    ASSERT_TRUE(session->waitFor("Are you sure you want to exit the installer?")) << session->lastScreen();
    session->sendKeys({"y"});
    ASSERT_EQ(session->waitForExit(), 1) << session->lastScreen();
}

TEST_F(EndToEndWizardPages, ALicenceThatCannotBeShownCannotBeAccepted)
{
    // The installer data names an English licence that the archive lacks.
    const fs::path setup = placeInstaller("Setup", test::licencedData(features_), features_);
    const std::map<std::string, std::string> before = deviceFiles();
    auto session = startWizard(setup);
    for (const char* page : {"Click Next to continue.", "Welcome to the setup of Field Demo."}) {
        ASSERT_TRUE(session->waitFor(page)) << session->lastScreen();
        session->sendKeys({"Enter"});
    }
    ASSERT_TRUE(session->waitFor("The installation cannot continue without it.")) << session->lastScreen();
    EXPECT_TRUE(test::containsInOrder(session->lastScreen(), {"License Agreement", "The license agreement cannot be "
                                                              "shown.", "[ ] I accept the terms", "< Back", "Next >"}))
        << session->lastScreen();
    // The way on is Cancel (or Back): the exit question comes first.
    session->sendKeys({"Enter"});
    ASSERT_TRUE(session->waitFor("Are you sure you want to exit the installer?")) << session->lastScreen();
    session->sendKeys({"y"});
    ASSERT_EQ(session->waitForExit(), 1) << session->lastScreen();
    EXPECT_EQ(deviceFiles(), before);
    EXPECT_NE(logOf(setup).find("The license agreement is not shown: it cannot be accepted"), std::string::npos);
}

}  // namespace
}  // namespace druvex
