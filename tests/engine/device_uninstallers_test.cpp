// Installations that the device's cabinet installer made: found through the
// application manager's entries and the ".unload" files, chosen by target
// platform, and removed by the device programs that [Programs] stands in for
// (the recording program here), with their exact command lines.
#include "engine/device_uninstallers.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "controller/installed_state_fixture.h"
#include "hal/hal_access.h"
#include "support/diag_capture.h"
#include "support/recorded_start.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

const std::string kRecorder = DRUVEX_RECORD_START_PROGRAM;

class DeviceInstallations : public test::InstalledStateFixture {
protected:
    void configure(DeviceConfig& config) const override
    {
        config.programs.push_back({u"unload.exe", kRecorder});
        config.programs.push_back({u"DMProcessConfigXML.exe", kRecorder});
    }
    void SetUp() override
    {
        InstalledStateFixture::SetUp();
        device().writeFile("Windows/unload.exe", "MZ device program");
        device().writeFile("Windows/DMProcessConfigXML.exe", "MZ device program");
    }

    // The product "Survey Pro" of "Druvex" on `platform`, with the engine's
    // answers about earlier installations.
    InstallerController& makeDeviceProduct(TargetPlatform platform, const char16_t* provider = u"Druvex")
    {
        InstallerController& controller = makeProduct();
        controller.setEarlierInstallations(makeDeviceEarlierInstallations());
        controller.setTargetPlatform(platform);
        setSetting(InstallerSettingKey::CabProvider, provider);
        setSetting(InstallerSettingKey::CabProgramName, u"Survey Pro");
        return controller;
    }
    // The application manager's entry of "Druvex Survey Pro" with its "Instl".
    void listApplication(std::uint32_t installed)
    {
        RegistryKey key = 0;
        ASSERT_TRUE(source_->regCreateKey(kRegistryLocalMachine, SharedString(u"Software\\Apps\\Druvex Survey Pro"),
                                          kRegistryViewDefault, key));
        ASSERT_TRUE(source_->regSetValue(key, SharedString(u"Instl"), kRegDword, &installed, sizeof installed));
        EXPECT_TRUE(source_->regCloseKey(key));
    }
    std::vector<std::string> recorded() { return test::recordedArguments(device().directory()); }
};

using PreviousInstallation = DeviceInstallations;
using DeviceUninstaller = DeviceInstallations;

// The application manager's entry on Windows Mobile, the ".unload" file on
// the other controllers.
TEST_F(PreviousInstallation, TheApplicationManagersEntryOrTheUnloadFileIsFound)
{
    const struct {
        const char* what;
        TargetPlatform platform;
        int listed;          // the entry's "Instl"; -1: no entry
        const char* placed;  // null: nothing
        bool found;
    } rows[] = {
        {"listed as installed", kPlatformWm6, 1, nullptr, true},
        {"listed as removed", kPlatformWm6, 0, nullptr, false},
        {"no entry", kPlatformWm6, -1, nullptr, false},
        {"unload file", kPlatformQm40, -1, "Windows/Druvex Survey Pro.unload", true},
        {"name in another case", kPlatformQm40, -1, "Windows/DRUVEX survey pro.UNLOAD", true},
        {"a folder of that name", kPlatformQm40, -1, "Windows/Druvex Survey Pro.unload/x", false},
        {"nothing", kPlatformQm40, -1, nullptr, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        // The first row finds no key to delete.
        (void)source_->regDeleteKey(kRegistryLocalMachine, SharedString(u"Software\\Apps\\Druvex Survey Pro"),
                                    kRegistryViewDefault);
        std::filesystem::remove_all(device().hostPath("Windows/Druvex Survey Pro.unload"));
        std::filesystem::remove_all(device().hostPath("Windows/DRUVEX survey pro.UNLOAD"));
        if (row.listed >= 0)
            listApplication(static_cast<std::uint32_t>(row.listed));
        if (row.placed)
            device().writeFile(row.placed, "");
        const bool mobile = row.platform == kPlatformWm6;
        InstallerController& controller = makeDeviceProduct(row.platform);
        std::vector<UninstallLauncherPtr> launchers;
        EXPECT_EQ(findPreviousInstallation(source_, controller, mobile ? 0 : 1, launchers), row.found);
        ASSERT_EQ(launchers.size(), row.found ? 1u : 0u);
        if (!row.found)
            continue;
        const auto* manager = dynamic_cast<const AppMgrUninstaller*>(launchers.front().get());
        EXPECT_EQ(manager != nullptr, mobile);
        EXPECT_EQ(dynamic_cast<const UnloadUninstaller*>(launchers.front().get()) != nullptr, !mobile);
        if (manager) {
            EXPECT_EQ(manager->getApplicationName(), SharedString(u"Druvex Survey Pro"));
        }
    }
}

TEST_F(PreviousInstallation, FoundWithoutAnInstalledLogTheRunBecomesMaintenance)
{
    device().writeFile("Windows/Druvex Survey Pro.unload", "");
    makeDeviceProduct(kPlatformQm40).prepareForMode(false);
    EXPECT_EQ(controller().getPageSequence().getMode(), kModeMaintenanceWithoutLog);
    ASSERT_EQ(controller().getUninstallLaunchers().size(), 1u);
    EXPECT_EQ(controller().getInstalledVersionComparison(), -1);

    // Without the program's name the device knows nothing of it.
    makeDeviceProduct(kPlatformQm40);
    setSetting(InstallerSettingKey::CabProgramName, u"");
    controller().prepareForMode(false);
    EXPECT_EQ(controller().getPageSequence().getMode(), kModeInstall);
}

TEST_F(DeviceUninstaller, EachGroupOfPlatformsHasItsKind)
{
    for (const TargetPlatform platform : {kPlatformWm6, kPlatformQm40, kPlatformRNVB, kPlatformWin32}) {
        InstallerController& controller = makeDeviceProduct(platform);
        UninstallLauncherPtr remover;
        const bool chosen = chooseUninstallMethod(source_, controller, remover);
        EXPECT_EQ(chosen, platform != kPlatformWin32) << platform;
        EXPECT_EQ(dynamic_cast<AppMgrUninstaller*>(remover.get()) != nullptr, platform == kPlatformWm6) << platform;
        EXPECT_EQ(dynamic_cast<UnloadUninstaller*>(remover.get()) != nullptr,
                  platform == kPlatformQm40 || platform == kPlatformRNVB)
            << platform;
    }
}

TEST_F(DeviceUninstaller, TheApplicationRemoverIsGivenTheApplicationsName)
{
    UnloadUninstaller uninstaller(source_, SharedString(u"Druvex"), SharedString(u"Survey Pro"));
    EXPECT_EQ(uninstaller.getUnloadFilePath(), SharedString(u"\\Windows\\Druvex Survey Pro.unload"));
    EXPECT_EQ(uninstaller.run(nullptr), kUninstallEnded);
    EXPECT_EQ(recorded(), (std::vector<std::string>{kRecorder, "Druvex Survey Pro"}));

    // Without the remover on the device nothing can be started.
    std::filesystem::remove(device().hostPath("Windows/unload.exe"));
    EXPECT_EQ(uninstaller.run(nullptr), kUninstallNotStarted);
}

TEST_F(DeviceUninstaller, TheApplicationManagerIsGivenAProvisioningDocument)
{
    makeDeviceProduct(kPlatformWm6);
    listApplication(1);
    AppMgrUninstaller uninstaller(source_, SharedString(u"Druvex"), SharedString(u"Survey Pro"));
    const std::vector<std::uint8_t> document = uninstaller.buildProvisioningDocument();
    EXPECT_EQ(std::string(document.begin(), document.end()),
              "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
              "<wap-provisioningdoc>\n"
              " <characteristic type=\"UnInstall\">\n"
              "  <characteristic type=\"Druvex Survey Pro\">\n"
              "   <parm name=\"uninstall\" value=\"1\"/>\n"
              "  </characteristic>\n"
              " </characteristic>\n"
              "</wap-provisioningdoc>\n");

    // The stand-in removes nothing: the entry left behind is reported.
    test::DiagCapture log;
    EXPECT_EQ(uninstaller.run(nullptr), kUninstallEnded);
    EXPECT_EQ(recorded(), (std::vector<std::string>{kRecorder, "\\Temp\\DruvexUninstall.xml"}));
    EXPECT_FALSE(device().exists("Temp/DruvexUninstall.xml"));
    EXPECT_TRUE(log.contains(u"The application manager still lists Druvex Survey Pro"));

    // A document that cannot be written starts nothing.
    std::filesystem::remove(device().directory() / "started.bin");
    std::filesystem::remove_all(device().hostPath("Temp"));
    device().writeFile("Temp", "a file in the folder's place");
    EXPECT_EQ(uninstaller.run(nullptr), kUninstallNotStarted);
    EXPECT_TRUE(recorded().empty());
}

}  // namespace
}  // namespace druvex
