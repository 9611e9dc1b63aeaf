// Custom actions at the hook points: sequence order, the line of an unknown
// action, which actions apply to a run, the end page's argument map, programs
// started with their whole command line and scripts that reach the
// controller, and actions whose package is unpacked from the archive once.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "controller/controller_fixture.h"
#include "controller/engine_doubles.h"
#include "controller/custom_action_hooks.h"
#include "data/content_tree.h"
#include "data/install_data.h"
#include "data/installer_configuration.h"
#include "data/installer_variable.h"
#include "fileutil/file_util.h"
#include "payload/payload_archive.h"
#include "payload/payload_test_support.h"
#include "support/diag_capture.h"
#include "support/recorded_start.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

const std::string kRecorder = DRUVEX_RECORD_START_PROGRAM;

// Appends the action's parameter and ";" to the installer variable ORDER, so
// that a test sees which actions ran in which order, through the controller
// that scripts reach.
constexpr char kOrderScript[] =
    "function Main(p) DQ_SetVariableValue('ORDER', DQ_GetVariableValue('ORDER') .. p .. ';') end";

// A script of the device, UTF-16LE.
std::vector<std::uint8_t> scriptBytes(std::string_view text)
{
    const std::string bytes = test::utf16leFromUtf8(text);
    return {bytes.begin(), bytes.end()};
}

class CustomActions : public test::ControllerFixture {
protected:
    void configure(DeviceConfig& config) const override { config.programs.push_back({u"tool.exe", kRecorder}); }

    void SetUp() override
    {
        test::ControllerFixture::SetUp();
        device().writeFile("Windows/tool.exe", "MZ device program");
        device().makeFolder("Program Files/Survey");
        makeController();
        controller().setDestinationFolder(u"\\Program Files\\Survey");
        const std::vector<std::uint8_t> script = scriptBytes(kOrderScript);
        ASSERT_TRUE(writeBufferToFile(*source_, script, u"\\Program Files\\Survey\\order.lua"));
        const InstallerVariablePtr order = InstallerVariable::create(u"ORDER");
        order->setValue(kPlatformAll, kVariableAllUsers, SharedString());
        data().append(order);
    }

    InstallData& data() { return controller().getInstallData(); }

    // A script action installed with the product that adds `mark` to ORDER.
    CustomActionPtr addAction(const char16_t* name, const char16_t* mark)
    {
        auto action = std::make_shared<CustomAction>();
        action->setName(name);
        action->actionType = kActionRunScript;
        action->storeLocation = kActionInstalledWithProduct;
        action->command = u"order.lua";
        action->param = mark;
        data().addCustomAction(action);
        return action;
    }

    SharedString order() { return controller().expandVariables(u"<ORDER>"); }
    void clearOrder() { data().findByName(u"ORDER")->setValue(kPlatformAll, kVariableAllUsers, SharedString()); }
};

TEST_F(CustomActions, AnUnknownActionEndsTheHookWithItsLine)
{
    addAction(u"First", u"a");
    addAction(u"Never", u"n");
    data().setCustomActionsSequence(u"[INSTALL-BEGIN]First,Missing,Never;[INSTALL-EXIT]Never;");
    test::DiagCapture diag;
    EXPECT_FALSE(controller().runHook(u"INSTALL-BEGIN"));
    EXPECT_EQ(order(), u"a;");
    EXPECT_TRUE(diag.contains(u"********** Custom action Missing not found. **********"));

    // A hook that binds nothing, or that the text does not name, has nothing to do.
    EXPECT_TRUE(controller().runHook(u"POST-ENTER"));
    EXPECT_TRUE(controller().runHook(u"INSTALL"));
    EXPECT_EQ(order(), u"a;");
}

TEST_F(CustomActions, SequenceOrderAndWhichActionsApplyToTheRun)
{
    controller().setTargetPlatform(kPlatformWm6);
    addAction(u"Second", u"2");
    addAction(u"First", u"1");
    addAction(u"WindowsOnly", u"w")->installerType = kActionWindowsOnly;
    addAction(u"ControllerOnly", u"c")->installerType = kActionControllerOnly;
    addAction(u"Desktop", u"d")->setPlatforms(platformMask(kPlatformWin32) | platformMask(kPlatformWin64));
    addAction(u"Devices", u"m")->setPlatforms(platformMask(kPlatformWm6));
    addAction(u"InstallOnly", u"i")->executionMask = 1;
    addAction(u"UninstallOnly", u"u")->executionMask = 2;
    addAction(u"FeatureScript", u"f")->actionType = kActionFeatureScript;
    data().setCustomActionsSequence(
        u"[INSTALL-BEGIN]First,Second,WindowsOnly,ControllerOnly,Desktop,Devices,InstallOnly,UninstallOnly,"
        u"FeatureScript;");

    // No mode chosen yet: the masks do not restrict.
    EXPECT_TRUE(controller().runHook(u"INSTALL-BEGIN"));
    EXPECT_EQ(order(), u"1;2;w;m;i;u;");

    clearOrder();
    controller().buildPageSequenceForMode(kModeUninstall);
    controller().getBuildConfiguration().setInstallerPlatform(kInstallerPlatformController);
    EXPECT_TRUE(controller().runHook(u"INSTALL-BEGIN"));
    EXPECT_EQ(order(), u"1;2;c;m;u;");

    std::vector<CustomActionPtr> listed;
    controller().getCustomActionHooks().listRunCustomActions(listed);
    std::vector<SharedString> names;
    for (const CustomActionPtr& action : listed)
        names.push_back(action->getNameRef());
    EXPECT_EQ(names, (std::vector<SharedString>{u"First", u"Second", u"ControllerOnly", u"Devices", u"UninstallOnly"}));
}

TEST_F(CustomActions, TheEndPagesArgumentsChooseTheOfferedActions)
{
    addAction(u"Launch", u"l")->postInstallMode = kActionShowChecked;
    addAction(u"Notes", u"n")->postInstallMode = kActionShowUnchecked;
    addAction(u"Cleanup", u"c");
    data().setCustomActionsSequence(u"[POST-EXIT]Launch,Notes,Cleanup;");

    std::vector<CustomActionPtr> bound;
    controller().getCustomActionHooks().collectHookCustomActions(u"POST-EXIT", bound);
    ASSERT_EQ(bound.size(), 3u);
    EXPECT_EQ(bound[1]->getNameRef(), u"Notes");

    const HookArguments arguments{{u"Launch", u"1"}, {u"Cleanup", u"1"}};
    EXPECT_TRUE(controller().getCustomActionHooks().runHookCustomActions(u"POST-EXIT", &arguments));
    EXPECT_EQ(order(), u"l;");
    clearOrder();
    EXPECT_TRUE(controller().getCustomActionHooks().runHookCustomActions(u"POST-EXIT", nullptr));
    EXPECT_EQ(order(), u"l;n;c;");
}

TEST_F(CustomActions, ProgramsGetTheirWholeCommandLineAndFailOnAnExitCode)
{
    const auto program = std::make_shared<CustomAction>();
    program->setName(u"Register");
    program->actionType = kActionLaunchExecutable;
    program->command = u"\\Windows\\tool.exe";
    program->param = u"0 \"<TARGETDIR>\\data\" ; rm -rf $HOME | x";
    data().addCustomAction(program);
    const auto failing = std::make_shared<CustomAction>();
    failing->setName(u"Failing");
    failing->actionType = kActionLaunchExecutable;
    failing->command = u"\\Windows\\tool.exe";
    failing->param = u"3";
    data().addCustomAction(failing);
    data().setCustomActionsSequence(u"[INSTALL-EXIT]Register;[POST-ENTER]Failing,Register;");

    EXPECT_TRUE(controller().runHook(u"INSTALL-EXIT"));
    EXPECT_EQ(test::recordedArguments(device().directory()),
              (std::vector<std::string>{kRecorder, "0 \"\\Program Files\\Survey\\data\" ; rm -rf $HOME | x"}));

    std::filesystem::remove(device().directory() / "started.bin");
    test::DiagCapture diag;
    EXPECT_FALSE(controller().runHook(u"POST-ENTER"));
    EXPECT_EQ(test::recordedArguments(device().directory()), (std::vector<std::string>{kRecorder, "3"}));
    EXPECT_TRUE(diag.contains(u"An error occurred while executing Failing.\n\nError (3): "));
}

TEST_F(CustomActions, ScriptFailuresAreShownWithTheRunnersError)
{
    addAction(u"NoScript", u"x")->command = u"missing.lua";
    addAction(u"Raises", u"x")->command = u"raises.lua";
    ASSERT_TRUE(writeBufferToFile(*source_, scriptBytes("function Main(p) error('disk full ' .. p, 0) end"),
                                  u"\\Program Files\\Survey\\raises.lua"));
    data().setCustomActionsSequence(u"[INSTALL-REGISTRY]NoScript;[INSTALL-SCRIPT]Raises;");
    test::DiagCapture diag;
    EXPECT_FALSE(controller().runHook(u"INSTALL-REGISTRY"));
    EXPECT_TRUE(diag.contains(u"An error occurred while executing NoScript.\n\nError (3): File \\Program "
                              u"Files\\Survey\\missing.lua not found."));
    EXPECT_FALSE(controller().runHook(u"INSTALL-SCRIPT"));
    EXPECT_TRUE(diag.contains(u"An error occurred while executing Raises.\n\nError (4): disk full x"));
}

TEST_F(CustomActions, ActionsInsideTheInstallerAreUnpackedOncePerRun)
{
    const auto action = std::make_shared<CustomAction>();
    action->setName(u"Setup/Tools");
    action->setVersion(u"1.0");
    action->setDigest(u"AB");
    action->command = u"run.lua";
    action->contentAt(0)->addChild(std::make_shared<ContentFile>(u"run.lua"));
    data().addCustomAction(action);
    data().setCustomActionsSequence(u"[PREREQ-ENTER]Setup/Tools;[PREREQ-EXIT]Setup/Tools;");

    const test::Bytes archive = test::buildArchive({test::codedEntry(u"Setup_Tools_1.0_AB.lzma", kPayloadMethodStored,
                                                                     test::toBytes("package"))});
    device().writeFile("Temp/setup.dqres", std::string(archive.begin(), archive.end()));
    int error = 0;
    ASSERT_TRUE(controller().getPayloadArchive().open(u"\\Temp\\setup.dqres", error));

    // Without the engine's unpacker the action cannot run.
    test::DiagCapture diag;
    EXPECT_FALSE(controller().runHook(u"PREREQ-ENTER"));
    EXPECT_TRUE(diag.contains(u"cannot be unpacked here"));

    const auto unpacker = std::make_shared<test::FakeUnpacker>();
    unpacker->files = {{"run.lua", "function Main() DQ_SetVariableValue('ORDER', DQ_GetCustomActionExecFolder()) end"}};
    controller().setPackageFolderUnpacker(unpacker);
    EXPECT_TRUE(controller().runHook(u"PREREQ-ENTER"));
    EXPECT_TRUE(controller().runHook(u"PREREQ-EXIT"));
    // The name becomes one folder below the work folder, whatever it holds.
    const SharedString folder = controller().getWorkFolder() + u"\\CustomActions\\Setup_Tools";
    EXPECT_EQ(unpacker->requests, std::vector<SharedString>{u"Setup/Tools|4|Setup_Tools_1.0_AB.lzma|" + folder});
    EXPECT_EQ(order(), folder);
}

}  // namespace
}  // namespace druvex
