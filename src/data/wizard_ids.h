// The wizard's page ids and modes as closed sets. The numbers are the ones
// saved in "PreviousSettings.xml", passed to scripts and printed in the log,
// so every enumerator keeps its number; the edges convert with wizardModeNumber
// and friends, nowhere else.
#pragma once

#include <cstdint>

namespace druvex {

enum class WizardPageId : std::int32_t {
    kPageNone = 0,
    kPageTethering = 1,
    kPagePrerequisites = 2,
    kPageNewVersion = 3,
    kPageWelcome = 4,
    kPageLicense = 5,
    kPageUsers = 6,
    kPageDestination = 7,
    // The destination page of desktop targets.
    kPageDestination2 = 8,
    kPageFeatureSelection = 9,
    kPageRedistributables = 10,
    kPageInstallation = 11,
    kPageEndInstall = 12,
    // Custom pages take the ids 13 to 22 in the order they are placed.
    kPageCustomFirst = 13,
    kPageCustomLast = 22,
};
using enum WizardPageId;

enum class WizardMode : std::int32_t {
    // No mode has been set yet.
    kModeNone = 0,
    // Only the pages before the mode is known.
    kModeStart = 1,
    // Nothing installed yet.
    kModeInstall = 2,
    // Update of the installed features.
    kModeUpdate = 3,
    // Add or remove optional features.
    kModeAddRemove = 4,
    kModeUninstall = 5,
    // Maintenance of an installation with an installed log.
    kModeMaintenance = 6,
    // Maintenance of a previous installation found without an installed log.
    kModeMaintenanceWithoutLog = 7,
    // Download of a newer installer.
    kModeDownload = 8,
    // Repair of a broken installation.
    kModeRepairBroken = 9,
    // Repair chosen by the user.
    kModeRepair = 10,
    kModeBackup = 11,
};
using enum WizardMode;

// The numbers as stored and as scripts see them. A stored number outside the
// set is kept as it is, as the program always has: the enums hold any number.
constexpr std::int32_t wizardPageNumber(WizardPageId id)
{
    return static_cast<std::int32_t>(id);
}
constexpr WizardPageId wizardPageFromNumber(std::int32_t number)
{
    return static_cast<WizardPageId>(number);
}
constexpr std::int32_t wizardModeNumber(WizardMode mode)
{
    return static_cast<std::int32_t>(mode);
}
constexpr WizardMode wizardModeFromNumber(std::int32_t number)
{
    return static_cast<WizardMode>(number);
}

// A page the wizard knows: 1 to 22.
constexpr bool isWizardPageId(WizardPageId id)
{
    return id >= kPageTethering && id <= kPageCustomLast;
}

constexpr bool isCustomPageId(WizardPageId id)
{
    return id >= kPageCustomFirst && id <= kPageCustomLast;
}

// The page after `id` in number order: the page registry and the placement of
// custom pages walk the ids.
constexpr WizardPageId& operator++(WizardPageId& id)
{
    id = wizardPageFromNumber(wizardPageNumber(id) + 1);
    return id;
}

}  // namespace druvex
