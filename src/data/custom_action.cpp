#include "data/custom_action.h"

namespace druvex {
namespace {

constexpr NamedValue<std::int32_t> kActionTypes[] = {
    {kActionLaunchExecutable, u"LaunchExecutable"},
    {kActionRunScript, u"RunScript"},
    {kActionFeatureScript, u"FeatureScript"},
};

constexpr NamedValue<std::int32_t> kActionInstallerTypes[] = {
    {kActionWindowsOnly, u"WindowsOnly"},
    {kActionControllerOnly, u"ControllerOnly"},
    {kActionBoth, u"Both"},
};

constexpr NamedValue<std::int32_t> kActionStoreLocations[] = {
    {kActionInsideInstaller, u"InsideInstaller"},
    {kActionInstalledWithProduct, u"InstalledWithTheProduct"},
};

constexpr NamedValue<std::int32_t> kActionPostInstallModes[] = {
    {kActionDontShow, u"DontShow"},
    {kActionShowChecked, u"ShowChecked"},
    {kActionShowUnchecked, u"ShowUnchecked"},
};

}  // namespace

const NameTable<std::int32_t> kActionTypeNames{kActionTypes, NameCase::kExact};
const NameTable<std::int32_t> kActionInstallerTypeNames{kActionInstallerTypes, NameCase::kExact};
const NameTable<std::int32_t> kActionStoreLocationNames{kActionStoreLocations, NameCase::kExact};
const NameTable<std::int32_t> kActionPostInstallModeNames{kActionPostInstallModes, NameCase::kExact};

std::int32_t actionTypeFromText(std::u16string_view text)
{
    return kActionTypeNames.valueOf(text, kActionRunScript);
}

SharedString actionTypeText(std::int32_t type)
{
    return SharedString(kActionTypeNames.nameOf(type, u"RunScript"));
}

std::int32_t actionInstallerTypeFromText(std::u16string_view text)
{
    return kActionInstallerTypeNames.valueOf(text, kActionBoth);
}

SharedString actionInstallerTypeText(std::int32_t type)
{
    return SharedString(kActionInstallerTypeNames.nameOf(type, u"Both"));
}

std::int32_t actionStoreLocationFromText(std::u16string_view text)
{
    return kActionStoreLocationNames.valueOf(text, kActionInstalledWithProduct);
}

SharedString actionStoreLocationText(std::int32_t location)
{
    return SharedString(kActionStoreLocationNames.nameOf(location, u"InstalledWithTheProduct"));
}

std::int32_t actionPostInstallModeFromText(std::u16string_view text)
{
    return kActionPostInstallModeNames.valueOf(text, kActionShowUnchecked);
}

SharedString actionPostInstallModeText(std::int32_t mode)
{
    return SharedString(kActionPostInstallModeNames.nameOf(mode, u"ShowUnchecked"));
}

}  // namespace druvex
