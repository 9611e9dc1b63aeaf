// The update check run against a loopback update server: its exit code's
// bits for a newer installer, feature updates and a file it could not write,
// the code of an invalid bulletin and of a device without a connection, and
// the file it leaves for the update manager.
#include <gtest/gtest.h>

#include <string>

#include "app/update_check.h"
#include "controller/installed_state_fixture.h"
#include "controller/page_prerequisites_logic.h"
#include "data/installer_configuration.h"
#include "platform/exit_status.h"
#include "support/loopback_http_server.h"

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

}  // namespace
}  // namespace druvex
