// The update check run against a loopback update server: its exit code's
// bits for a newer installer, feature updates and a file it could not write,
// the code of an invalid bulletin and of a device without a connection, and
// the file it leaves for the update manager. Then the real program against
// Python's http.server, and with that server gone.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "../payload/payload_test_support.h"
#include "app/update_check.h"
#include "controller/installed_state_fixture.h"
#include "controller/page_prerequisites_logic.h"
#include "data/installed_log.h"
#include "data/installer_configuration.h"
#include "platform/exit_status.h"
#include "support/external_tool.h"
#include "support/loopback_http_server.h"
#include "support/python_http_server.h"

namespace druvex {
namespace {

// The latest version changes "Maps"; the next one is a complete installer of
// this build for a Qm40.
std::string bulletin(bool changesMaps, bool newerInstaller)
{
    std::string xml = R"(<UpdateBulletin><Installer InstallerVersion="5.1"/><Version Ver="4.2">)";
    xml += changesMaps ? R"(<Feature Name="Feature/Maps" Prompt="Maps" Version="2.0"/>)"
                       : R"(<Feature Name="Feature/Maps" Prompt="Maps" Version="1.0"/>)";
    xml += "</Version>";
    if (newerInstaller)
        xml += R"(<Version Ver="4.3"><FullInstaller prog-platform-mask="Qm40" inst-platform="Controller" )"
               R"(inst-type="Full" url="setup43.exe" size="1000"/></Version>)";
    return xml + "</UpdateBulletin>";
}

class UpdateCheckRunThreads : public test::InstalledStateFixture {
protected:
    void TearDown() override
    {
        server_.stop();
        InstalledStateFixture::TearDown();
        resetPrerequisitesProcessStateForTests();
    }

    // "Survey Pro" with "Maps" 1.0 installed, its update server on the loopback.
    InstallerController& makeInstalledProduct()
    {
        InstallerController& controller = makeProduct();
        controller.getBuildConfiguration().setInstallerPlatform(kInstallerPlatformController);
        controller.getBuildConfiguration().setTargetPlatformMask(1 << kPlatformQm40);
        setSetting(InstallerSettingKey::LiveUpdateUrl, fromUtf8(server_.url("/bulletin.xml")).c_str());
        addFeature(u"Maps");
        addInstalled(u"Feature/Maps");
        controller.compareInstalledVersion();
        return controller;
    }

    test::LoopbackHttpServer server_;
};

TEST_F(UpdateCheckRunThreads, TheExitCodeTellsWhatTheBulletinOffers)
{
    struct Row {
        const char* what;
        std::string body;
        bool connected;
        const char* folder;
        std::uint32_t code;
        int status;
        bool written;
    };
    const Row rows[] = {
        {"nothing new", bulletin(false, false), true, "Temp/check", 0, 0, true},
        {"a newer version of an installed feature", bulletin(true, false), true, "Temp/check", 2, 2, true},
        {"a newer installer", bulletin(false, true), true, "Temp/check", 1, 1, true},
        {"both, and no folder for the file", bulletin(true, true), true, nullptr, 0x8000003, 7, false},
        // The check ends with the bulletin's result.
        {"an invalid bulletin", "<UpdateBulletin>", true, "Temp/check", 3, 3, false},
        {"no connection", bulletin(true, true), false, "Temp/check", 0x80000000, 128, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        server_.setReply("/bulletin.xml", test::HttpReply::ok(row.body));
        DeviceConfig config = device().config();
        config.networkConnected = row.connected;
        config.forceDeviceType = static_cast<int>(DeviceType::TS_QM40);
        device().reconfigure(config);
        if (row.folder)
            device().makeFolder(row.folder);
        makeInstalledProduct();

        const std::uint32_t code = runUpdateCheck(controller(), SharedString(u"\\Temp\\check"));
        EXPECT_EQ(code, row.code);
        EXPECT_EQ(exitStatusFromCode(code), row.status);
        EXPECT_EQ(device().exists("Temp/check/update_info.xml"), row.written);
        if (device().exists("Temp/check/update_info.xml")) {
            const std::string info = device().readFile("Temp/check/update_info.xml");
            EXPECT_EQ(info.find("<feature name=\"Maps\"") != std::string::npos, (row.code & 2) != 0) << info;
            EXPECT_EQ(info.find("<newversion ver=\"4.3\"") != std::string::npos, (row.code & 1) != 0) << info;
        }
        std::filesystem::remove_all(device().hostPath("Temp/check"));
    }
}

namespace fs = std::filesystem;

constexpr char kUuid[] = "{6F1A2B3C-4D5E-4F60-8A9B-0C1D2E3F4A5B}";

// The program on a Qm40 with "Survey" 4.1 and its feature "Maps" 1.0
// installed, its archive appended to it.
class UpdateCheckRunProgram : public test::DeviceFixture {
protected:
    std::string deviceIni() const override { return "[Device]\nForceDeviceType=16\n"; }
    void SetUp() override
    {
        DeviceFixture::SetUp();
        device().makeStandardFolders();
        fs::create_directories(device().hostPath("Program Files/Druvex"));
        fs::copy_file(DRUVEX_SETUP_PROGRAM, program());
        device().makeFolder("Temp/check");

        InstalledLog log;
        log.setProgramName(SharedString(u"Survey"));
        log.setProgramVersion(VersionNumber::fromText(u"4.1"));
        log.setInstallerVersion(VersionNumber::fromText(u"5.1"));
        FeaturePtr maps = makeFeaturePtr();
        maps->setName(SharedString(u"Feature/Maps"));
        maps->setVersion(SharedString(u"1.0"));
        log.addFeature(maps);
        test::Bytes bytes;
        ASSERT_TRUE(log.serialize(bytes));
        device().writeFile(std::string("Windows/_QuendaSuperInstaller/") + kUuid + "/InstalledLog.xml",
                           std::string(bytes.begin(), bytes.end()));
    }

    fs::path program() { return device().hostPath("Program Files/Druvex/install.exe"); }

    void appendArchive(const std::string& liveUpdateUrl)
    {
        const std::string data = std::string("<data><Version>3</Version><Variables>") +
                                 "<Variable Type=\"ProgramName\" Value=\"Survey\"/>" +
                                 "<Variable Type=\"ProgramUuid\" Value=\"" + kUuid + "\"/>" +
                                 "<Variable Type=\"ProgramVersion\" Value=\"4.1\"/>" +
                                 "<Variable Type=\"LiveUpdateUrl\" Value=\"" + liveUpdateUrl + "\"/>" +
                                 "</Variables><Features><Feature Name=\"Feature\" Prompt=\"\" Version=\"\" "
                                 "Presel=\"Not preselected\" Mode=\"Not visible\" LocaleId=\"0\"><SubFeatures>"
                                 "<Feature Name=\"Maps\" Prompt=\"Maps\" Version=\"1.0\" Presel=\"Preselected\" "
                                 "Mode=\"Expanded\" Platforms=\"Qm40\"/></SubFeatures></Feature></Features></data>";
        const std::string info =
            "<InstallerConfiguration InstallerType=\"Full\" InstallerPlat=\"Controller\" TargetPlatMask=\"Qm40\"/>";
        test::Bytes whole = test::readFileBytes(program());
        const test::Bytes archive =
            test::buildArchive({test::codedEntry(u"Data", kPayloadMethodLzma, test::toBytes(data)),
                                test::codedEntry(u"InstallerInfo", kPayloadMethodLzma, test::toBytes(info))},
                               whole.size());
        whole.insert(whole.end(), archive.begin(), archive.end());
        test::writeFileBytes(program(), whole);
    }

    // The update check into "\Temp\check": the process status and what it printed.
    std::pair<int, std::string> runCheck()
    {
        const test::ToolResult result = test::runTool("DRUVEX_DEVICE='" + device().directory().string() + "' '" +
                                                      program().string() + "' check_for_updates '\\Temp\\check'");
        return {result.exitCode, std::string(result.output.begin(), result.output.end())};
    }
};

TEST_F(UpdateCheckRunProgram, ANewerVersionOfAnInstalledFeatureIsReportedAndNoServerIsTold)
{
    test::ScratchDir served;
    test::writeFileBytes(served.path() / "bulletin.xml", test::toBytes(bulletin(true, false)));
    auto server = std::make_unique<test::PythonHttpServer>(served.path());
    ASSERT_TRUE(server->running()) << "python3's http.server did not start (scripts/test installs python3)";
    appendArchive(server->url("/bulletin.xml"));

    const auto [status, printed] = runCheck();
    EXPECT_EQ(status, 2);
    EXPECT_EQ(printed, "2\n");
    const std::string info = device().readFile("Temp/check/update_info.xml");
    EXPECT_NE(info.find(R"(<feature name="Maps" desc="" digest="" timestamp="0" change-type="newinstalled"/>)"),
              std::string::npos)
        << info;

    server.reset();
    fs::remove(device().hostPath("Temp/check/update_info.xml"));
    const auto [offline, printedOffline] = runCheck();
    EXPECT_EQ(offline, 128);
    EXPECT_EQ(printedOffline, "2147483648\n");
    EXPECT_FALSE(device().exists("Temp/check/update_info.xml"));
}

}  // namespace
}  // namespace druvex
