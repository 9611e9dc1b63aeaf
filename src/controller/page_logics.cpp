#include "controller/page_logics.h"

#include "controller/installer_controller.h"
#include "controller/page_custom_logic.h"
#include "controller/page_destination2_logic.h"
#include "controller/page_destination_logic.h"
#include "controller/page_end_install_logic.h"
#include "controller/page_feature_selection_logic.h"
#include "controller/page_license_logic.h"
#include "controller/page_new_version_logic.h"
#include "controller/page_redistributables_logic.h"
#include "controller/page_tethering_logic.h"
#include "controller/page_users_logic.h"
#include "controller/page_welcome_logic.h"

namespace druvex {

void registerControllerPageLogics(PageLogicRegistry& registry)
{
    using Arguments = PageLogicArguments;
    registry.registerMaker(kPageTethering, [](InstallerController& c, const Arguments&) {
        return std::make_unique<PageTetheringLogic>(c);
    });
    registry.registerMaker(kPageNewVersion, [](InstallerController& c, const Arguments&) {
        return std::make_unique<PageNewVersionLogic>(c);
    });
    registry.registerMaker(kPageWelcome, [](InstallerController& c, const Arguments& a) {
        return std::make_unique<PageWelcomeLogic>(c, a.mode);
    });
    registry.registerMaker(kPageLicense, [](InstallerController& c, const Arguments&) {
        return std::make_unique<PageLicenseLogic>(c);
    });
    registry.registerMaker(kPageUsers, [](InstallerController& c, const Arguments& a) {
        return std::make_unique<PageUsersLogic>(c, a.host);
    });
    registry.registerMaker(kPageDestination, [](InstallerController& c, const Arguments& a) {
        return std::make_unique<PageDestinationLogic>(c, a.host ? a.host : c.getHalOut());
    });
    registry.registerMaker(kPageDestination2, [](InstallerController& c, const Arguments& a) {
        return std::make_unique<PageDestination2Logic>(c, a.host ? a.host : c.getHalOut());
    });
    registry.registerMaker(kPageFeatureSelection, [](InstallerController& c, const Arguments&) {
        return std::make_unique<PageFeatureSelectionLogic>(c);
    });
    registry.registerMaker(kPageRedistributables, [](InstallerController& c, const Arguments&) {
        return std::make_unique<PageRedistributablesLogic>(c);
    });
    registry.registerMaker(kPageEndInstall, [](InstallerController& c, const Arguments& a) {
        return std::make_unique<PageEndInstallLogic>(c, a.host);
    });
    registry.registerMaker(kPageCustomFirst, kPageCustomLast, [](InstallerController& c, const Arguments& a) {
        return std::make_unique<PageCustomLogic>(c, a.customPage);
    });
}

}  // namespace druvex
