// The removers of other installations: the feature removers queued from the
// scripts' requests and the remover of a foreign program, started as device
// programs through the host with their exact command lines, their three
// answers, waits that time out at once, and the questions to the engine's
// finders and device uninstallers by target platform.
#include "controller/uninstall_launcher.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "controller/controller_fixture.h"
#include "controller/fake_earlier_installations.h"
#include "data/install_data.h"
#include "platform/manual_reset_event.h"
#include "platform/process.h"
#include "support/recorded_start.h"
#include "support/scripted_waits.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

using test::FakeEarlierInstallations;
using test::ScriptedWaits;
using test::StubUninstallLauncher;

const std::string kRecorder = DRUVEX_RECORD_START_PROGRAM;

class CountingCancel final : public UninstallCancelCallback {
public:
    bool shouldStopWaiting() override { return ++asked >= stopAt; }
    int asked = 0;
    int stopAt = 1;
};

class UninstallLauncherTest : public test::ControllerFixture {
protected:
    void configure(DeviceConfig& config) const override { config.programs.push_back({u"setup.exe", kRecorder}); }
    void SetUp() override
    {
        ControllerFixture::SetUp();
        source_->installerPath = SharedString(u"\\Application Data\\Installer");
        previousWaits_ = setProcessWaitTimeouts(&waits_);
    }
    void TearDown() override
    {
        setProcessWaitTimeouts(previousWaits_);
        ControllerFixture::TearDown();
    }

    // A device program standing for an installed product's installer.
    void installSetup(const std::string& folder) { device().writeFile(folder + "/setup.exe", "MZ device program"); }

    // The arguments the last recorder run received, its own name first.
    std::vector<std::string> recordedArguments() { return test::recordedArguments(device().directory()); }

    ScriptedWaits waits_;
    WaitTimeouts* previousWaits_ = nullptr;
};

TEST_F(UninstallLauncherTest, QueuedActionsBecomeFeatureRemoversThatRunTheProductsOwnSetup)
{
    InstallerController& controller = makeController();
    InstalledProductRegistry& products = controller.getInstalledProducts();
    const int maps = products.load(SharedString(u"Field Maps"));
    const int roads = products.load(SharedString(u"Roads"));
    ASSERT_EQ(maps, 1);
    ASSERT_EQ(roads, 2);
    products.sendAction(roads, kInstalledProductActionRemove, SharedString(u"Feature/Signs"));
    products.sendAction(maps, kInstalledProductActionRemove, SharedString(u"Feature/Topo"));
    products.sendAction(maps, kInstalledProductActionRemove, SharedString(u"Feature/Help Files"));

    controller.queueInstalledProductActions();
    std::vector<std::string> queued;
    for (const UninstallLauncherPtr& launcher : controller.getUninstallLaunchers()) {
        const auto* remover = dynamic_cast<const FeatureUninstallLauncher*>(launcher.get());
        ASSERT_NE(remover, nullptr);
        queued.push_back(std::string(toUtf8(remover->getProgram()).c_str()) + " | " +
                         toUtf8(remover->getArguments()).c_str());
    }
    // Products in their handles' order, each product's actions in the order sent.
    // A feature name holding a blank is quoted, or the product's installer
    // would read the name only up to the blank.
    EXPECT_EQ(queued, (std::vector<std::string>{
                          "\\Application Data\\Installer/Field Maps/setup.exe | "
                          "dont_check_unique_instance uninstall_feature Feature/Topo",
                          "\\Application Data\\Installer/Field Maps/setup.exe | "
                          "dont_check_unique_instance uninstall_feature \"Feature/Help Files\"",
                          "\\Application Data\\Installer/Roads/setup.exe | "
                          "dont_check_unique_instance uninstall_feature Feature/Signs",
                      }));

    installSetup("Application Data/Installer/Field Maps");
    CountingCancel cancel;
    EXPECT_EQ(controller.getUninstallLaunchers()[1]->run(&cancel), kUninstallEnded);
    EXPECT_EQ(recordedArguments(),
              (std::vector<std::string>{kRecorder,
                                        "dont_check_unique_instance uninstall_feature \"Feature/Help Files\""}));
    // The program ended within the first step: the caller is never asked.
    EXPECT_EQ(cancel.asked, 0);
    EXPECT_EQ(waits_.requested, (std::vector<std::uint32_t>{kUninstallWaitStepMs}));
}

TEST_F(UninstallLauncherTest, TheForeignProgramsRemoverRunsTheSetupInThisProductsDataFolder)
{
    InstallerController& controller = makeController();
    controller.getInstallData().settings().setProgramUuid(SharedString(u"{5E1A0C44-2B7D-4C1E-9F0B-7A2B3C4D5E6F}"));
    installSetup("Application Data/Installer/{5E1A0C44-2B7D-4C1E-9F0B-7A2B3C4D5E6F}");

    ProgramUninstallLauncher remover(controller);
    EXPECT_EQ(remover.getProgram(),
              SharedString(u"\\Application Data\\Installer/{5E1A0C44-2B7D-4C1E-9F0B-7A2B3C4D5E6F}/setup.exe"));
    EXPECT_EQ(remover.run(nullptr), kUninstallEnded);
    EXPECT_EQ(recordedArguments(),
              (std::vector<std::string>{kRecorder, "uninstall_mode dont_check_unique_instance no_welcome"}));
    EXPECT_EQ(remover.runAfterFailedStart(nullptr), kUninstallNotStarted);
    EXPECT_FALSE(remover.endsRemovalsOnFailedStart());
}

// The remover is an installer: an exit code other than 0 says that the
// program is still there, and the removal failed. A silent run starts it
// silently, as it has nobody to show its wizard to either.
TEST_F(UninstallLauncherTest, ARemoverThatEndsWithAFailureHasNotRemovedItsProgram)
{
    options_.silent = true;
    InstallerController& controller = makeController();
    controller.getInstallData().settings().setProgramUuid(SharedString(u"{5E1A0C44-2B7D-4C1E-9F0B-7A2B3C4D5E6F}"));
    installSetup("Application Data/Installer/{5E1A0C44-2B7D-4C1E-9F0B-7A2B3C4D5E6F}");
    const int product = controller.getInstalledProducts().load(SharedString(u"Field Maps"));
    installSetup("Application Data/Installer/Field Maps");
    device().writeDeviceFile("record_start.answer", "7");

    ProgramUninstallLauncher program(controller);
    EXPECT_EQ(program.run(nullptr), kUninstallFailed);
    EXPECT_EQ(recordedArguments(),
              (std::vector<std::string>{kRecorder, "uninstall_mode dont_check_unique_instance no_welcome silent_mode"}));
    FeatureUninstallLauncher feature(controller, product, kInstalledProductActionRemove, SharedString(u"Feature/Topo"));
    EXPECT_EQ(feature.run(nullptr), kUninstallFailed);
    EXPECT_EQ(feature.getProductName(), SharedString(u"Feature/Topo of Field Maps"));
}

TEST_F(UninstallLauncherTest, ARemoverThatCannotStartAnswersOne)
{
    InstallerController& controller = makeController();
    const int product = controller.getInstalledProducts().load(SharedString(u"Field Maps"));

    // No "setup.exe" in the product's folder.
    FeatureUninstallLauncher missingProgram(controller, product, kInstalledProductActionRemove,
                                            SharedString(u"Feature/Topo"));
    EXPECT_EQ(missingProgram.run(nullptr), kUninstallNotStarted);

    // No product behind the handle: nothing is even looked for.
    installSetup("Application Data/Installer/Field Maps");
    FeatureUninstallLauncher noProduct(controller, 7, kInstalledProductActionRemove, SharedString(u"Feature/Topo"));
    EXPECT_TRUE(noProduct.getProgram().isEmpty());
    EXPECT_EQ(noProduct.run(nullptr), kUninstallNotStarted);
    EXPECT_TRUE(source_->startedProcessIds.empty());
}

TEST_F(UninstallLauncherTest, AProgramThatNeverEndsIsLeftRunningWhenTheCallerStopsWaiting)
{
    InstallerController& controller = makeController();
    const int product = controller.getInstalledProducts().load(SharedString(u"Field Maps"));
    installSetup("Application Data/Installer/Field Maps");
    device().writeDeviceFile("record_start.answer", "hold");
    waits_.timeOutAtOnce = true;

    FeatureUninstallLauncher remover(controller, product, kInstalledProductActionRemove, SharedString(u"Feature/Topo"));
    CountingCancel cancel;
    cancel.stopAt = 3;
    EXPECT_EQ(remover.run(&cancel), kUninstallAbandoned);
    EXPECT_EQ(cancel.asked, 3);
    EXPECT_EQ(waits_.requested, (std::vector<std::uint32_t>(3, kUninstallWaitStepMs)));

    ASSERT_EQ(source_->startedProcessIds.size(), 1u);
    const auto pid = static_cast<pid_t>(source_->startedProcessIds[0]);
    // Still running (not yet reaped), so the signal reaches it and nothing else.
    const bool running = ::waitpid(pid, nullptr, WNOHANG) == 0;
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    EXPECT_TRUE(running);
    // Its handles went with the answer: once it ends, nothing of it stays.
    test::awaitChildEnd(pid);
    reapEndedProcesses();
    errno = 0;
    EXPECT_EQ(::waitpid(pid, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST_F(UninstallLauncherTest, TheEnginesFindersAndUninstallersAreAskedByTargetPlatform)
{
    InstallerController& controller = makeController();
    auto earlier = std::make_shared<FakeEarlierInstallations>();
    controller.setEarlierInstallations(earlier);
    controller.getInstallData().settings().set(InstallerSettingKey::CabProvider, SharedString(u"Geo Works"));
    controller.getInstallData().settings().set(InstallerSettingKey::CabProgramName, SharedString(u"Survey"));

    struct Case {
        TargetPlatform platform;
        std::vector<std::string> calls;
    };
    std::vector<Case> cases = {{kPlatformWm6, {"find AppMgr 1", "make AppMgr Geo Works/Survey"}},
                               {kPlatformWin32, {}},
                               {kPlatformWin64, {}},
                               {kPlatformCount, {}}};
    for (const TargetPlatform platform :
         {kPlatformRv1Wn1, kPlatformQm40, kPlatform7RWinCE, kPlatformRNVB, kPlatformLQ5, kPlatformRNVC})
        cases.push_back({platform, {"find Unload 1", "make Unload Geo Works/Survey"}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.platform);
        controller.setTargetPlatform(c.platform);
        earlier->calls.clear();
        std::vector<UninstallLauncherPtr> launchers{std::make_shared<StubUninstallLauncher>()};
        EXPECT_FALSE(findPreviousInstallation(controller.getHalOut(), controller, 1, launchers));
        EXPECT_TRUE(launchers.empty());
        UninstallLauncherPtr remover = std::make_shared<StubUninstallLauncher>();
        EXPECT_EQ(chooseUninstallMethod(controller.getHalOut(), controller, remover), !c.calls.empty());
        EXPECT_EQ(remover != nullptr, !c.calls.empty());
        EXPECT_EQ(earlier->calls, c.calls);
    }

    // A found installation's remover joins the list.
    controller.setTargetPlatform(kPlatformQm40);
    earlier->previousInstallation = std::make_shared<StubUninstallLauncher>();
    std::vector<UninstallLauncherPtr> launchers;
    EXPECT_TRUE(findPreviousInstallation(controller.getHalOut(), controller, 0, launchers));
    EXPECT_EQ(launchers, std::vector<UninstallLauncherPtr>{earlier->previousInstallation});
}

TEST(UninstallLauncher, TheUninstallerExecutableIsTheFirstNameEndingInExe)
{
    const std::vector<SharedString> files{SharedString(u"readme.txt"), SharedString(u"SETUP.EXE"),
                                          SharedString(u"remove.exe"), SharedString(u"other.exe")};
    EXPECT_EQ(findUninstallerExecutable(files), SharedString(u"remove.exe"));
    EXPECT_EQ(findUninstallerExecutable({SharedString(u"App.EXE"), SharedString(u"setup.exe.txt")}), SharedString());
}

}  // namespace
}  // namespace druvex
