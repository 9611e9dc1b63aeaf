#include "controller/wizard_pages.h"

namespace druvex {

SharedString wizardPageName(WizardPageId id)
{
    switch (id) {
    case kPageTethering:
        return u"Tethering page";
    case kPagePrerequisites:
        return u"Prerequisites page";
    case kPageNewVersion:
        return u"New version page";
    case kPageWelcome:
        return u"Welcome page";
    case kPageLicense:
        return u"License page";
    case kPageUsers:
        return u"Users page";
    case kPageDestination:
    case kPageDestination2:
        return u"Destination page";
    case kPageFeatureSelection:
        return u"Feature selection page";
    case kPageRedistributables:
        return u"Redistributables page";
    case kPageInstallation:
        return u"Installation page";
    case kPageEndInstall:
        return u"End install page";
    case kPageCustomFirst:
    case kPageCustomLast:
        return u"Custom page";
    case kPageNone:
        return SharedString();
    }
    // The custom pages between the first and the last have no name of their
    // own; any other number is no page.
    return isCustomPageId(id) ? SharedString(u"Custom page") : SharedString();
}

std::int32_t customPageModeBit(WizardMode mode)
{
    switch (mode) {
    case kModeInstall:
        return 1;
    case kModeUninstall:
        return 2;
    case kModeUpdate:
    case kModeAddRemove:
        return 4;
    case kModeMaintenance:
    case kModeMaintenanceWithoutLog:
        return 8;
    case kModeDownload:
        return 16;
    case kModeRepairBroken:
    case kModeRepair:
        return 32;
    case kModeNone:
    case kModeStart:
    case kModeBackup:
        return 0;
    }
    return 0;
}

}  // namespace druvex
