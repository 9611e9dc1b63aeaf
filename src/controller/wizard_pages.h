// The wizard's page ids and modes: the pages the installer can show, the name
// by which installer data anchors its custom pages to a page, the modes a run
// can take, and the bit of a custom page's SupportedModes that lets it show in
// a mode.
#pragma once

#include <cstdint>

#include "text/shared_string.h"

namespace druvex {

using WizardPageId = std::int32_t;

constexpr WizardPageId kPageNone = 0;
constexpr WizardPageId kPageTethering = 1;
constexpr WizardPageId kPagePrerequisites = 2;
constexpr WizardPageId kPageNewVersion = 3;
constexpr WizardPageId kPageWelcome = 4;
constexpr WizardPageId kPageLicense = 5;
constexpr WizardPageId kPageUsers = 6;
constexpr WizardPageId kPageDestination = 7;
// The destination page of desktop targets.
constexpr WizardPageId kPageDestination2 = 8;
constexpr WizardPageId kPageFeatureSelection = 9;
constexpr WizardPageId kPageRedistributables = 10;
constexpr WizardPageId kPageInstallation = 11;
constexpr WizardPageId kPageEndInstall = 12;
// Custom pages take the ids 13 to 22 in the order they are placed.
constexpr WizardPageId kPageCustomFirst = 13;
constexpr WizardPageId kPageCustomLast = 22;

// A page the wizard knows: 1 to 22.
constexpr bool isWizardPageId(WizardPageId id)
{
    return id >= kPageTethering && id <= kPageCustomLast;
}

constexpr bool isCustomPageId(WizardPageId id)
{
    return id >= kPageCustomFirst && id <= kPageCustomLast;
}

// The name installer data anchors custom pages to ("Welcome page"); the two
// destination pages share "Destination page", and every custom page is
// "Custom page". Empty for any other id.
SharedString wizardPageName(WizardPageId id);

using WizardMode = std::int32_t;

// No mode has been set yet.
constexpr WizardMode kModeNone = 0;
// Only the pages before the mode is known.
constexpr WizardMode kModeStart = 1;
// Nothing installed yet.
constexpr WizardMode kModeInstall = 2;
// Update of the installed features.
constexpr WizardMode kModeUpdate = 3;
// Add or remove optional features.
constexpr WizardMode kModeAddRemove = 4;
constexpr WizardMode kModeUninstall = 5;
// Maintenance of an installation with an installed log.
constexpr WizardMode kModeMaintenance = 6;
// Maintenance of a previous installation found without an installed log.
constexpr WizardMode kModeMaintenanceWithoutLog = 7;
// Download of a newer installer.
constexpr WizardMode kModeDownload = 8;
// Repair of a broken installation.
constexpr WizardMode kModeRepairBroken = 9;
// Repair chosen by the user.
constexpr WizardMode kModeRepair = 10;
constexpr WizardMode kModeBackup = 11;

// The bit a custom page's SupportedModes must have to show in the mode:
// install 1, uninstall 2, update and add/remove 4, maintenance 8, download 16,
// repair 32. The start and backup modes, and any mode outside 2 to 10, have
// none (0). The data model's CustomPage::supportsMode tests another bit (one
// per mode number); the page sequence goes by this table.
std::int32_t customPageModeBit(WizardMode mode);

}  // namespace druvex
