// The installer functions of scripts: version comparisons, the OS tests, the
// message box through the toolkit's service, Windows Installer and assembly
// registration command lines as the device program receives them, opening
// files, copies between hosts, the installer state behind a genuine
// "InstallerController" only, and other products' installed logs.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "data/feature.h"
#include "data/install_data.h"
#include "data/installed_log.h"
#include "data/installer_variable.h"
#include "data/variable_expansion.h"
#include "host/installer_functions.h"
#include "platform/window_model.h"
#include "script_fixture.h"
#include "support/diag_capture.h"
#include "support/fault_injecting_hal.h"
#include "support/recorded_start.h"
#include "ui_base/message_box.h"

namespace druvex {
namespace {

using Texts = std::vector<SharedString>;
using Lines = std::vector<std::u16string>;

const std::string kRecorder = DRUVEX_RECORD_START_PROGRAM;

// The installer state of a controller, kept in plain fields.
class FakeInstaller final : public InstallerScriptServices {
public:
    explicit FakeInstaller(std::shared_ptr<HalAccess> host) : host_(std::move(host)) {}

    SharedString solveHalFolder(bool inHost, const SharedString& text) override
    {
        solvedForIn.push_back(inHost);
        return expandVariables(text);
    }
    SharedString expandVariables(const SharedString& text) override
    {
        SharedString out;
        return expandVariablesForDevice(text, data, true, *host_, destination, out) ? out : SharedString();
    }
    InstallData& getInstallData() override { return data; }
    bool isFeatureSelected(const Feature& feature) override { return selected.contains(&feature); }
    std::int32_t getRedistLastError() override { return redistError; }
    void setRedistLastError(std::int32_t error) override { redistError = error; }
    void setLaunchProgramOverride(const SharedString& program, const SharedString& arguments) override
    {
        launchProgram = program + u"|" + arguments;
    }
    void setInstallOnFeatureSelectionEnabled(bool enabled) override { installOnFeatureSelection = enabled; }
    bool hasMadeChanges() override { return madeChanges; }
    std::uint16_t getLanguage() override { return language; }
    SharedString getCustomLanguageFileName() override { return u"custom.lng"; }
    int loadInstalledProduct(const SharedString& name) override
    {
        loaded.push_back(name);
        return name == u"Broken" ? 0 : static_cast<int>(loaded.size());
    }
    std::shared_ptr<InstalledLog> getInstalledProductLog(int handle) override
    {
        const auto found = products.find(handle);
        return found == products.end() ? nullptr : found->second;
    }
    void sendInstalledProductAction(int handle, std::int32_t action, const SharedString& feature) override
    {
        actions.emplace_back(handle, action, feature);
    }

    InstallData data;
    SharedString destination = u"\\Program Files\\Survey";
    std::vector<bool> solvedForIn;
    std::set<const Feature*> selected;
    std::int32_t redistError = 0;
    SharedString launchProgram;
    bool installOnFeatureSelection = true;
    bool madeChanges = false;
    std::uint16_t language = 1031;
    std::vector<SharedString> loaded;
    std::map<int, std::shared_ptr<InstalledLog>> products;
    std::vector<std::tuple<int, std::int32_t, SharedString>> actions;

private:
    std::shared_ptr<HalAccess> host_;
};

class LuaDqFunctions : public test::ScriptFixture {
protected:
    void SetUp() override
    {
        test::ScriptFixture::SetUp();
        installer_.emplace(host_);
        services_.installer = &*installer_;
        setCustomActionExecFolder(u"\\Temp\\ca");
    }
    void TearDown() override
    {
        setCustomActionExecFolder(SharedString());
        test::ScriptFixture::TearDown();
        installer_.reset();
    }

    FakeInstaller& installer() { return *installer_; }

    std::optional<FakeInstaller> installer_;
};

TEST_F(LuaDqFunctions, CompareVersions)
{
    struct Case {
        const char16_t* arguments;
        const char16_t* comparison;
        const char16_t* ok;
        const char16_t* logLine;  // null: none
    };
    const Case cases[] = {
        {u"'1.2', 1", u"1", u"true", u"Comparing 1.2 with 1:1"},
        {u"'1.0', '1'", u"0", u"true", u"Comparing 1.0 with 1:0"},
        {u"'2.9.1', '2.10'", u"-1", u"true", u"Comparing 2.9.1 with 2.10:-1"},
        {u"7, 7", u"0", u"true", u"Comparing 7 with 7:0"},
        {u"'abc', '1'", u"-1", u"false", u"Failed comparing values"},
        {u"1.5, '1'", u"-1", u"false", u"Failed comparing values"},
        {u"'1', true", u"-1", u"false", u"Failed comparing values"},
        {u"'1'", u"-1", u"false", nullptr},
        {u"'1', '2', '3'", u"-1", u"false", nullptr},
    };
    for (const Case& c : cases) {
        test::DiagCapture diag;
        EXPECT_EQ(run(u"return DQ_CompareVersions(" + std::u16string(c.arguments) + u")", 2),
                  (Texts{c.comparison, c.ok}))
            << test::utf8(c.arguments);
        EXPECT_EQ(diag.lines(), c.logLine ? Lines{c.logLine} : Lines{}) << test::utf8(c.arguments);
    }
}

class VersionStubHost final : public HalAccessWinCE {
public:
    bool getFileVersion(const SharedString& path, std::uint16_t& major, std::uint16_t& minor, std::uint16_t& build,
                        std::uint16_t& revision) override
    {
        major = 4, minor = 1, build = 20, revision = 0;
        return path == u"\\Windows\\lib.dll";
    }
    bool getOSVersion(std::uint32_t& major, std::uint32_t& minor, std::uint32_t& servicePack,
                      bool& isServer) override
    {
        major = 5, minor = 2, servicePack = 1, isServer = true;
        return answers;
    }
    bool answers = true;
};

TEST_F(LuaDqFunctions, FileVersionAndOsTests)
{
    const auto stub = std::make_shared<VersionStubHost>();
    services_.out = stub;
    test::DiagCapture diag;
    EXPECT_EQ(run(uR"(
        local a, okA = DQ_CheckFileVersion(false, "\\Windows\\lib.dll", "4.1.20")
        local b, okB = DQ_CheckFileVersion(false, "\\Windows\\none.dll", "1.0")
        local c, okC = DQ_CheckFileVersion(1, "\\Windows\\lib.dll", "1.0")
        return a, okA, b, okB, c, okC)",
                  6),
              (Texts{u"0", u"true", u"0", u"false", u"0", u"false"}));
    EXPECT_EQ(diag.lines(), (Lines{u"Comparing file \\Windows\\lib.dll version (4.1.20.0) with 4.1.20:0",
                                   u"Failed comparing file version", u"Failed comparing file version"}));

    struct Case {
        const char16_t* call;
        const char16_t* answer;
        const char16_t* ok;
    };
    // The Out host runs 5.2 with service pack 1, a server.
    const Case cases[] = {
        {u"DQ_IsOSNewerThan(false, 'Windows XP')", u"true", u"true"},
        {u"DQ_IsOSNewerThan(false, 'Windows Server 2003 Service Pack 1')", u"true", u"true"},
        {u"DQ_IsOSNewerThan(false, 'windows xp 64bit edition service pack 2')", u"false", u"true"},
        {u"DQ_IsOSEqualTo(false, 'Windows XP 64bit Edition Service Pack 1')", u"true", u"true"},
        {u"DQ_IsOSEqualTo(false, 'Windows XP 64bit Edition')", u"false", u"true"},
        // Failures answer false twice, so that "if DQ_IsOSNewerThan(...)" does not take them for a yes.
        {u"DQ_IsOSNewerThan(false, 'Windows 12')", u"false", u"false"},
        {u"DQ_IsOSNewerThan(0, 'Windows XP')", u"false", u"false"},
        {u"DQ_IsOSEqualTo(false)", u"false", u"false"},
        {u"DQ_IsOSServer(false)", u"true", u""},
        {u"DQ_IsOSServer(1)", u"false", u""},
        {u"DQ_GetOSServicePack(false)", u"1", u""},
        {u"DQ_GetOSServicePack('false')", u"0", u""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(run(u"return " + std::u16string(c.call), 2), (Texts{c.answer, c.ok})) << test::utf8(c.call);

    stub->answers = false;
    EXPECT_EQ(run(u"return DQ_IsOSNewerThan(false, 'Windows XP')", 2), (Texts{u"false", u"false"}));
}

class RecordingPresenter final : public MessageBoxPresenter {
public:
    bool canAsk() const override { return true; }
    int ask(const MessageBoxRequest& request) override
    {
        requests.push_back(request);
        return answer;
    }
    std::vector<MessageBoxRequest> requests;
    int answer = kIdYes;
};

TEST_F(LuaDqFunctions, MessageBoxFlagsReachTheToolkitsBox)
{
    const auto presenter = std::make_shared<RecordingPresenter>();
    setMessageBoxPresenter(presenter);
    const WindowHandle wizard = createWindow(u"DRUVEXInstallerWizard", u"Setup", 0);
    setForegroundWindow(wizard);
    const Texts answers = run(uR"(
        return DQ_MessageBox("Plain"), DQ_MessageBox("Remove?", "mb_yesno"), DQ_MessageBox("Go?", "MB_YESNOCANCEL"),
               DQ_MessageBox("Ok?", "MB_OKCANCEL"), DQ_MessageBox("Again?", "MB_RetryCancel"),
               DQ_MessageBox("Three", "MB_OKCANCEL", 1), DQ_MessageBox("Other", "MB_ABORT"), DQ_MessageBox())",
                              8);
    destroyWindow(wizard);
    setMessageBoxPresenter(nullptr);

    EXPECT_EQ(answers, (Texts{u"6", u"6", u"6", u"6", u"6", u"6", u"6", u"-1"}));
    ASSERT_EQ(presenter->requests.size(), 7u);
    const std::uint32_t flags[] = {0, 36, 35, 1, 37, 0, 0};
    for (std::size_t i = 0; i < presenter->requests.size(); ++i) {
        EXPECT_EQ(presenter->requests[i].flags, flags[i]) << i;
        EXPECT_EQ(presenter->requests[i].caption, u"DRUVEX Installer");
        EXPECT_EQ(presenter->requests[i].owner, wizard);
    }
    EXPECT_EQ(presenter->requests[1].text, u"Remove?");
}

// Runs device programs as themselves: msiexec.exe stands for the recorder.
class LuaDqFunctionsPrograms : public LuaDqFunctions {
protected:
    void configure(DeviceConfig& config) const override
    {
        config.programs.push_back({u"msiexec.exe", kRecorder});
    }
    void SetUp() override
    {
        LuaDqFunctions::SetUp();
        device().writeFile("Windows/msiexec.exe", "MZ device program");
    }

    // The recorder's arguments (its own name first); empty when it did not run.
    std::vector<std::string> recordedArguments() { return test::recordedArguments(device().directory()); }
};

TEST_F(LuaDqFunctionsPrograms, InstallMsiCommandLineReachesTheProgramUnsplit)
{
    EXPECT_EQ(run(u"return DQ_InstallMsi('sub/pkg.msi', false, true)", 2), (Texts{u"0", u"true"}));
    EXPECT_EQ(recordedArguments(), (std::vector<std::string>{kRecorder, "/x \"\\Temp\\ca\\sub\\pkg.msi\" /q"}));
    EXPECT_EQ(installer().solvedForIn, std::vector<bool>{true});

    // Blanks and a command interpreter's characters stay inside the one argument.
    EXPECT_EQ(run(u"return DQ_InstallMsi('my pkg;$(touch x)|&.msi')", 2), (Texts{u"0", u"true"}));
    EXPECT_EQ(recordedArguments(),
              (std::vector<std::string>{kRecorder, "/i \"\\Temp\\ca\\my pkg;$(touch x)|&.msi\""}));
    EXPECT_FALSE(device().exists("x"));

    // A quote would end the quoted path and hand the rest to msiexec as options.
    std::filesystem::remove(device().directory() / "started.bin");
    EXPECT_EQ(run(u"return DQ_InstallMsi('a.msi\" /passive TARGETDIR=\\\\x')", 2), (Texts{u"-1", u"false"}));
    EXPECT_EQ(run(u"return DQ_InstallMsi('a.msi', 'yes')", 2), (Texts{u"-1", u"false"}));
    EXPECT_EQ(run(u"return DQ_InstallMsi()", 2), (Texts{u"-1", u"false"}));
    EXPECT_TRUE(recordedArguments().empty());
}

class ProcessRecordingHost final : public HalAccessWinCE {
public:
    bool executeProcess(const SharedString& application, const SharedString& commandLine, std::uint32_t flags,
                        std::uint32_t& exitCode) override
    {
        calls.push_back(application + u"|" + commandLine + u"|" + fromUtf8(std::to_string(flags)));
        exitCode = this->exitCode;
        return runs;
    }
    bool createProcess(const SharedString& application, const SharedString& commandLine, std::uint32_t,
                       ProcessInformation&) override
    {
        calls.push_back(application + u"|" + commandLine);
        return true;
    }
    std::vector<SharedString> calls;
    std::uint32_t exitCode = 0;
    bool runs = true;
};

TEST_F(LuaDqFunctions, AssemblyRegistration)
{
    const auto out = std::make_shared<ProcessRecordingHost>();
    services_.out = out;
    test::DiagCapture diag;
    EXPECT_EQ(run(uR"(return DQ_RegAsm("\\Tools\\a.dll", 48, 2), DQ_RegAsm("\\Tools\\a.dll", 32, 3),
                             DQ_RegAsm("\\Tools\\a.dll", "32", 2), DQ_RegAsm('a.dll" /u x.dll', 32, 2))",
                  4),
              (Texts{u"false", u"false", u"false", u"false"}));
    EXPECT_TRUE(out->calls.empty());

    EXPECT_EQ(run(uR"(return DQ_RegAsm("\\Tools\\a.dll", 64, 4), DQ_UnregAsm("\\Tools\\a.dll", 32, 2),
                             DQ_RegAsm("\\Tools\\a.dll", 32, 4, "/codebase"))",
                  3),
              (Texts{u"true", u"true", u"true"}));
    EXPECT_EQ(out->calls,
              (Texts{u"\\Windows\\Microsoft.NET\\Framework64\\v4.0.30319\\RegAsm.exe|\"\\Tools\\a.dll\" /tlb /codebase "
                     u"/silent|0",
                     u"\\Windows\\Microsoft.NET\\Framework\\v2.0.50727\\RegAsm.exe|\"\\Tools\\a.dll\" /unregister "
                     u"/silent|0",
                     u"\\Windows\\Microsoft.NET\\Framework\\v4.0.30319\\RegAsm.exe|\"\\Tools\\a.dll\" /codebase|0"}));
    EXPECT_TRUE(diag.contains(u"REGASM: \\Windows\\Microsoft.NET\\Framework\\v2.0.50727\\RegAsm.exe \"\\Tools\\a.dll\" "
                              u"/unregister /silent"));

    out->exitCode = 1;
    diag.clear();
    EXPECT_EQ(run1(uR"(return DQ_RegAsm("\\Tools\\a.dll", 32, 2))"), u"false");
    EXPECT_TRUE(diag.contains(u"Error invoking REGASM: \\Windows\\Microsoft.NET\\Framework\\v2.0.50727\\RegAsm.exe "
                              u"\"\\Tools\\a.dll\" /tlb /codebase /silent. Error code is 1"));
}

TEST_F(LuaDqFunctions, ShellExecuteOpensProgramsAndRegisteredTypes)
{
    const auto in = std::make_shared<ProcessRecordingHost>();
    services_.in = in;
    ASSERT_TRUE(host().writeRegistryStringValue(kRegistryClassesRoot, u".txt", 0, SharedString(), u"txtfile", false));
    ASSERT_TRUE(host().writeRegistryStringValue(kRegistryClassesRoot, u"txtfile\\shell\\open\\command", 0,
                                                SharedString(), u"\"\\Windows\\pword.exe\" -opendoc %1 %*", false));
    ASSERT_TRUE(host().writeRegistryStringValue(kRegistryClassesRoot, u".log", 0, SharedString(), u"logfile", false));
    ASSERT_TRUE(host().writeRegistryStringValue(kRegistryClassesRoot, u"logfile\\shell\\open\\command", 0,
                                                SharedString(), u"viewer.exe", false));
    EXPECT_EQ(run(uR"(return DQ_ShellExecuteEx("\\Windows\\Tool.EXE", "-x 1"),
                             DQ_ShellExecuteEx("\\My Documents\\read me %1.txt", "-ro"),
                             DQ_ShellExecuteEx("\\Temp\\a.log", ""), DQ_ShellExecuteEx("\\Temp\\a.xyz", ""),
                             DQ_ShellExecuteEx("\\Temp\\a.txt"))",
                  5),
              (Texts{u"1", u"1", u"1", u"0", u"-1"}));
    EXPECT_EQ(in->calls, (Texts{u"\\Windows\\Tool.EXE|-x 1",
                                u"\\Windows\\pword.exe|-opendoc \\My Documents\\read me %1.txt -ro",
                                u"viewer.exe|\"\\Temp\\a.log\""}));
}

TEST_F(LuaDqFunctions, CopiesBetweenHostsLeaveNoPartialFile)
{
    const std::string content(200 * 1024, 'x');
    device().writeFile("Temp/big.bin", content);
    // Two host objects: the copy goes through open files piece by piece.
    test::HalFaultPlan plan;
    const auto out = std::make_shared<test::FaultInjectingHal>(std::make_shared<HalAccessWinCE>(), plan);
    services_.out = out;
    EXPECT_EQ(run(uR"(return DQ_CopyFileFromInToOutHal("\\Temp\\big.bin", "\\Temp\\copy.bin"),
                             DQ_CopyFileFromOutToInHal("\\Temp\\copy.bin", "\\Temp\\back.bin"),
                             DQ_CopyFileFromOutToInHal("\\Temp\\none.bin", "\\Temp\\x.bin"),
                             DQ_CopyFileFromOutToInHal("\\Temp\\copy.bin"))",
                  4),
              (Texts{u"1", u"1", u"0", u"-1"}));
    EXPECT_EQ(device().readFile("Temp/copy.bin"), content);
    EXPECT_EQ(device().readFile("Temp/back.bin"), content);

    plan.failWriteNumber = out->writeCount() + 2;
    out->setPlan(plan);
    EXPECT_EQ(run1(uR"(return DQ_CopyFileFromInToOutHal("\\Temp\\big.bin", "\\Temp\\half.bin"))"), u"0");
    EXPECT_FALSE(device().exists("Temp/half.bin"));
}

TEST_F(LuaDqFunctions, ForeignInstallerControllerTakesTheFailurePaths)
{
    device().writeFile("Temp/a.txt", "a");
    installer().redistError = 7;
    const std::u16string calls = uR"(DQ_GetRedistLastError(), DQ_SetVariableValue("X", "1"),
        DQ_GetVariableValue("X"), DQ_InstalledProductLoad("Other"), DQ_SolveOutHalFolder("<TARGETDIR>"))";
    EXPECT_EQ(run(u"return " + calls, 5), (Texts{u"7", u"1", u"1", u"1", u"\\Program Files\\Survey"}));

    // A file handle in its place: no call goes through that pointer.
    EXPECT_EQ(run(uR"(
        local genuine = InstallerController
        InstallerController = HalOut.openFile("\\Temp\\a.txt", true)
        local r = table.pack()" + calls + uR"()
        InstallerController = genuine
        return r[1], r[2], r[3], r[4], r[5], DQ_GetRedistLastError())",
                  6),
              (Texts{u"0", u"-1", u"", u"-1", u"", u"7"}));

    // A state without installer services answers the same way.
    services_.installer = nullptr;
    EXPECT_EQ(run(u"return " + calls, 5), (Texts{u"0", u"-1", u"", u"-1", u""}));
}

TEST_F(LuaDqFunctions, VariablesFeaturesAndState)
{
    const FeaturePtr core = makeFeaturePtr();
    core->setName(u"Core");
    const FeaturePtr help = makeFeaturePtr();
    help->setName(u"Help");
    installer().data.featureRoot()->addSubFeature(core);
    core->addSubFeature(help);
    installer().selected.insert(help.get());
    const InstallerVariablePtr old = InstallerVariable::create(u"Mode");
    old->setValue(kPlatformWm6, kVariableCurrentUser, u"old");
    installer().data.append(old);

    EXPECT_EQ(run(uR"(
        return DQ_GetVariableValue("TARGETDIR"), DQ_GetVariableValue("<TARGETDIR>"), DQ_SetVariableValue("NEW", "v"),
               DQ_SetVariableValue("mode", "fresh"), DQ_SetVariableValue(1, "v"), DQ_GetVariableValue("Mode"),
               DQ_IsFeatureSelected("Feature/Core/Help"), DQ_IsFeatureSelected("Feature/Core"),
               DQ_IsFeatureSelected("Feature/None"))",
                  9),
              (Texts{u"\\Program Files\\Survey", u"\\Program Files\\Survey", u"1", u"1", u"-1", u"fresh", u"true",
                     u"false", u"false"}));
    const InstallerVariablePtr created = installer().data.findByName(u"NEW");
    ASSERT_TRUE(created);
    EXPECT_EQ(created->values(), (std::map<VariableKey, SharedString>{{{kPlatformAll, kVariableAllUsers}, u"v"}}));
    EXPECT_EQ(old->values(), (std::map<VariableKey, SharedString>{{{kPlatformAll, kVariableAllUsers}, u"fresh"}}));

    installer().madeChanges = true;
    EXPECT_EQ(run(uR"(
        DQ_SetRedistLastError(true, 1603)
        local given = DQ_GetRedistLastError()
        DQ_SetRedistLastError(true, "5")
        DQ_OverrideLaunchProgram("\\Program Files\\Survey\\run.exe", "-fresh")
        DQ_EnableInstallOnFeatSel(false)
        DQ_EnableInstallOnFeatSel(true, true)
        DQ_HideFeature("Feature/Core/Help")
        DQ_HideFeature("Feature")
        return given, DQ_GetRedistLastError(), DQ_HasMadeChanges(), DQ_FormatLanguage("D"), DQ_FormatLanguage("5"),
               DQ_FormatLanguage("x"), DQ_GetCustomLanguageFileName(), DQ_GetCustomActionExecFolder(),
               DQ_QueryProductState("a"), DQ_ServiceStart("svc"), HalWrapper(HalOut) == HalOut, select("#", HalWrapper(5)))",
                  12),
              (Texts{u"1603", u"1603", u"true", u"1031", u"de-DE", u"", u"custom.lng", u"\\Temp\\ca", u"false", u"-1",
                     u"true", u"0"}));
    EXPECT_EQ(installer().launchProgram, u"\\Program Files\\Survey\\run.exe|-fresh");
    EXPECT_FALSE(installer().installOnFeatureSelection);
    EXPECT_EQ(core->subFeatureCount(), 0);
    EXPECT_TRUE(installer().data.featureRoot());
}

TEST_F(LuaDqFunctions, OtherInstalledProducts)
{
    const auto supporting = std::make_shared<InstalledLog>();
    supporting->setSupportFlags(1);
    FeaturePtr gis = makeFeaturePtr();
    gis->setName(u"GIS");
    supporting->addFeature(gis);
    installer().products[1] = supporting;
    installer().products[2] = std::make_shared<InstalledLog>();

    EXPECT_EQ(run(uR"(
        local a, b, broken = DQ_InstalledProductLoad("Field"), DQ_InstalledProductLoad("Office"),
                             DQ_InstalledProductLoad("Broken")
        DQ_InstalledProductSendActions(a, "REMOVE", "GIS")
        DQ_InstalledProductSendActions(a, "repair", "GIS")
        DQ_InstalledProductSendActions(b, "remove", "GIS")
        return a, b, broken, DQ_InstalledProductLoad(3), DQ_InstalledProductIsFeatureInstalled(a, "gis"),
               DQ_InstalledProductIsFeatureInstalled(b, "GIS"), DQ_InstalledProductInstallerSupport(a, "roboactions"),
               DQ_InstalledProductInstallerSupport(b, "RoboActions"), DQ_InstalledProductInstallerSupport(b, "Other"),
               DQ_InstalledProductInstallerSupport(9, "Other"))",
                  10),
              (Texts{u"1", u"2", u"0", u"-1", u"true", u"false", u"true", u"false", u"true", u"false"}));
    ASSERT_EQ(installer().actions.size(), 1u);
    EXPECT_EQ(installer().actions[0], std::make_tuple(1, 1, SharedString(u"GIS")));
}

}  // namespace
}  // namespace druvex
