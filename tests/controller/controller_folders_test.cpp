// The product data folders: where the product keeps its data on the target
// and where the run keeps packages, rollback copies and saved state, for
// device and desktop builds, merged projects and remote devices.
#include <gtest/gtest.h>

#include "controller/controller_fixture.h"
#include "data/install_data.h"
#include "data/installer_configuration.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

class ControllerCoreFolders : public test::ControllerFixture {};

TEST_F(ControllerCoreFolders, TheProductDataFoldersOfEachKindOfRun)
{
    constexpr const char16_t* kUuid = u"{6F9619FF-8B86-D011-B42D-00C04FC964FF}";
    struct Row {
        const char* what;
        std::int32_t installerPlatform;
        TargetPlatform target;
        bool forMobile;
        bool merge;
        const char16_t* productData;
        const char16_t* localProductData;
    };
    const Row rows[] = {
        {"device", kInstallerPlatformController, kPlatformQm40, false, false,
         u"\\Target\\Installer/{6F9619FF-8B86-D011-B42D-00C04FC964FF}",
         u"\\Target\\Installer/{6F9619FF-8B86-D011-B42D-00C04FC964FF}"},
        {"device, merged project", kInstallerPlatformController, kPlatformQm40, false, true,
         u"\\Target\\Installer/merge projects/{6F9619FF-8B86-D011-B42D-00C04FC964FF}",
         u"\\Target\\Installer/merge projects/{6F9619FF-8B86-D011-B42D-00C04FC964FF}"},
        {"desktop", kInstallerPlatformPC, kPlatformWin32, false, false,
         u"\\Target\\Installer/{6F9619FF-8B86-D011-B42D-00C04FC964FF}",
         u"\\Target\\Installer/{6F9619FF-8B86-D011-B42D-00C04FC964FF}"},
        {"desktop for a device", kInstallerPlatformPC, kPlatformQm40, false, false,
         u"\\Target\\Installer/{6F9619FF-8B86-D011-B42D-00C04FC964FF}",
         u"\\Source\\Installer/{6F9619FF-8B86-D011-B42D-00C04FC964FF}-forMobile"},
        {"desktop for a device, merged project", kInstallerPlatformPC, kPlatformQm40, false, true,
         u"\\Target\\Installer/merge projects/{6F9619FF-8B86-D011-B42D-00C04FC964FF}",
         u"\\Source\\Installer/{6F9619FF-8B86-D011-B42D-00C04FC964FF}-forMobile"},
        {"formobile", kInstallerPlatformController, kPlatformQm40, true, false,
         u"\\Target\\Installer/{6F9619FF-8B86-D011-B42D-00C04FC964FF}",
         u"\\Source\\Installer/{6F9619FF-8B86-D011-B42D-00C04FC964FF}-forMobile"},
    };
    source_->installerPath = SharedString(u"\\Source\\Installer");
    target_->installerPath = SharedString(u"\\Target\\Installer");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        options_.forMobile = row.forMobile;
        InstallerController& controller = makeController(true);
        controller.getBuildConfiguration().setInstallerPlatform(row.installerPlatform);
        controller.setTargetPlatform(row.target);
        InstallerSettings& settings = controller.getInstallData().settings();
        settings.setProgramUuid(SharedString(kUuid));
        settings.set(InstallerSettingKey::MergeProject, SharedString(row.merge ? u"Yes" : u"No"));

        const SharedString productData(row.productData);
        const SharedString local(row.localProductData);
        EXPECT_EQ(controller.getProductDataFolder(), productData);
        EXPECT_EQ(controller.getLocalProductDataFolder(), local);
        EXPECT_EQ(controller.getPackagesFolder(), local + u"/Packages");
        EXPECT_EQ(controller.getLocalRollbackFolder(), local + u"/Rollback");
        EXPECT_EQ(controller.getRollbackFolder(), productData + u"/Rollback");
        EXPECT_EQ(controller.getPreviousSettingsPath(), local + u"/PreviousSettings.xml");
    }
}

TEST_F(ControllerCoreFolders, TheRootOfANamedProductOnAGivenHost)
{
    source_->installerPath = SharedString(u"\\Source\\Installer\\");
    InstallerController& controller = makeController(true);
    EXPECT_EQ(controller.getProductDataRoot(*source_, false, SharedString(u"Other")),
              SharedString(u"\\Source\\Installer\\Other"));
    EXPECT_EQ(controller.getProductDataRoot(*source_, true, SharedString(u"Other")),
              SharedString(u"\\Source\\Installer\\merge projects/Other"));
    // The device's own installer path, below its Windows folder.
    EXPECT_EQ(controller.getProductDataRoot(*target_, false, SharedString(u"Other")),
              SharedString(u"\\Windows\\_QuendaSuperInstaller/Other"));
}

}  // namespace
}  // namespace druvex
