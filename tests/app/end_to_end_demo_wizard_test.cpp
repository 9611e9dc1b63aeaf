// scripts/demo --wizard run twice on a terminal, as a newcomer runs it: the
// demo (examples/demo.py, which the script runs after its build) makes the
// example product and device, the first wizard installs it, and the second,
// on the device kept from the first, offers the maintenance tasks. The page
// counter reads the page's index in the list of the run's mode.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/crash_test_device.h"
#include "support/external_tool.h"
#include "support/tmux_session.h"

namespace druvex {
namespace {

using test::containsInOrder;
using test::TmuxSession;

class EndToEndDemoWizard : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::toolInstalled("tmux"));
        ASSERT_TRUE(test::toolInstalled("python3"));
    }

    // `making`: the demo makes and packs the product first, which takes
    // minutes under the sanitizers.
    std::unique_ptr<TmuxSession> startDemo(bool making)
    {
        TmuxSession::Options options;
        options.environment = {{"ASAN_OPTIONS", "detect_leaks=0"}};
        if (making)
            options.maxPolls = 6000;
        return std::make_unique<TmuxSession>(
            std::vector<std::string>{"python3", std::string(DRUVEX_SOURCE_DIR) + "/examples/demo.py", "--wizard",
                                     DRUVEX_SETUP_PROGRAM, DRUVEX_PAYLOAD_TOOL, output_.path().string() + "/demo"},
            options);
    }

    // The page counter: the last word of the title row.
    static std::string counter(const std::string& screen)
    {
        std::string title = screen.substr(0, screen.find('\n'));
        while (!title.empty() && title.back() == ' ')
            title.pop_back();
        return title.substr(title.rfind(' ') + 1);
    }

    test::ScratchDir output_;
};

TEST_F(EndToEndDemoWizard, ASecondRunOffersTheMaintenanceChoices)
{
    {
        auto session = startDemo(true);
        ASSERT_TRUE(session->waitFor("Click Next to continue.")) << session->lastScreen();
        session->sendKeys({"Enter"});
        ASSERT_TRUE(session->waitFor("Welcome to the setup of Demo Survey.")) << session->lastScreen();
        // Mode 2: "index/last index".
        EXPECT_EQ(counter(session->lastScreen()), "2/6") << session->lastScreen();
        session->sendKeys({"Enter"});
        ASSERT_TRUE(session->waitFor("Space available:")) << session->lastScreen();
        session->sendKeys({"Enter"});
        ASSERT_TRUE(session->waitFor("Space required:")) << session->lastScreen();
        session->sendKeys({"Enter"});
        ASSERT_TRUE(session->waitFor("Demo Survey has been installed on the device.")) << session->lastScreen();
        session->sendKeys({"Enter"});
        ASSERT_EQ(session->waitForExit(), 0) << session->lastScreen();
        EXPECT_NE(session->lastScreen().find("The wizard ended with exit status 0"), std::string::npos)
            << session->lastScreen();
    }

    auto session = startDemo(false);
    ASSERT_TRUE(session->waitFor("Click Next to continue.")) << session->lastScreen();
    session->sendKeys({"Enter"});
    // The example product names an update server that does not answer here.
    ASSERT_TRUE(session->waitFor("Do you want to proceed anyway?")) << session->lastScreen();
    session->sendKeys({"y"});
    ASSERT_TRUE(session->waitFor("( ) Remove the program")) << session->lastScreen();
    EXPECT_TRUE(containsInOrder(session->lastScreen(), {"Demo Survey is installed on this device. Choose what to do.",
                                                        "(*) Add or remove features", "( ) Repair the program",
                                                        "( ) Remove the program"}))
        << session->lastScreen();
    // Mode 6 (1 2 4 9 11 12): the welcome page is at index 2. Adding or
    // removing features is mode 4 (4 9 11 12): the features at 1, the
    // welcome page at 0.
    EXPECT_EQ(counter(session->lastScreen()), "2") << session->lastScreen();
    session->sendKeys({"Enter"});
    ASSERT_TRUE(session->waitFor("Space required:")) << session->lastScreen();
    EXPECT_EQ(counter(session->lastScreen()), "1") << session->lastScreen();
    // From the feature tree to Back.
    session->sendKeys({"Tab", "Enter"});
    ASSERT_TRUE(session->waitFor("Choose what to do.")) << session->lastScreen();
    EXPECT_EQ(counter(session->lastScreen()), "0") << session->lastScreen();
    session->sendKeys({"Escape"});
    ASSERT_TRUE(session->waitFor("Are you sure you want to exit")) << session->lastScreen();
    session->sendKeys({"y"});
    ASSERT_EQ(session->waitForExit(), 1) << session->lastScreen();
    EXPECT_EQ(session->lastScreen().find("Traceback"), std::string::npos) << session->lastScreen();
    EXPECT_NE(session->lastScreen().find("The wizard ended with exit status 1"), std::string::npos)
        << session->lastScreen();
}

}  // namespace
}  // namespace druvex
