// CustomAction: a program or script that the installer data hooks to a phase
// of a run (the custom-action sequence names the phases), with the files it
// needs as a content tree and the texts by which the install data names its
// kinds and modes.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "data/install_item.h"
#include "text/name_table.h"

namespace druvex {

// ActionType
constexpr std::int32_t kActionLaunchExecutable = 0;
constexpr std::int32_t kActionRunScript = 1;
constexpr std::int32_t kActionFeatureScript = 2;
// InstallerType: which installers run the action.
constexpr std::int32_t kActionWindowsOnly = 0;
constexpr std::int32_t kActionControllerOnly = 1;
constexpr std::int32_t kActionBoth = 2;
// StoreLocation
constexpr std::int32_t kActionInsideInstaller = 0;
constexpr std::int32_t kActionInstalledWithProduct = 1;
// PostInstallMode: how the end page offers the action.
constexpr std::int32_t kActionDontShow = 0;
constexpr std::int32_t kActionShowChecked = 1;
constexpr std::int32_t kActionShowUnchecked = 2;

class CustomAction final : public ContentHolder {
public:
    CustomAction() = default;

    int storageKind() const override { return kStorageCustomAction; }

    std::int32_t actionType = kActionRunScript;
    std::int32_t installerType = kActionBoth;
    std::int32_t storeLocation = kActionInsideInstaller;
    std::int32_t executionMask = 15;
    SharedString command;
    SharedString param;
    std::int32_t postInstallMode = kActionDontShow;
    SharedString postInstallText;
};

using CustomActionPtr = std::shared_ptr<CustomAction>;

// The names of each kind and mode, compared exactly.
extern const NameTable<std::int32_t> kActionTypeNames;
extern const NameTable<std::int32_t> kActionInstallerTypeNames;
extern const NameTable<std::int32_t> kActionStoreLocationNames;
extern const NameTable<std::int32_t> kActionPostInstallModeNames;

// Unknown texts give RunScript, Both, InstalledWithTheProduct and
// ShowUnchecked; unknown values print as those names.
std::int32_t actionTypeFromText(std::u16string_view text);
SharedString actionTypeText(std::int32_t type);
std::int32_t actionInstallerTypeFromText(std::u16string_view text);
SharedString actionInstallerTypeText(std::int32_t type);
std::int32_t actionStoreLocationFromText(std::u16string_view text);
SharedString actionStoreLocationText(std::int32_t location);
std::int32_t actionPostInstallModeFromText(std::u16string_view text);
SharedString actionPostInstallModeText(std::int32_t mode);

}  // namespace druvex
