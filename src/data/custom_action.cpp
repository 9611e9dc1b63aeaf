#include "data/custom_action.h"

namespace druvex {

std::int32_t actionTypeFromText(std::u16string_view text)
{
    if (text == u"LaunchExecutable")
        return kActionLaunchExecutable;
    if (text == u"FeatureScript")
        return kActionFeatureScript;
    return kActionRunScript;
}

SharedString actionTypeText(std::int32_t type)
{
    switch (type) {
    case kActionLaunchExecutable:
        return u"LaunchExecutable";
    case kActionFeatureScript:
        return u"FeatureScript";
    default:
        return u"RunScript";
    }
}

std::int32_t actionInstallerTypeFromText(std::u16string_view text)
{
    if (text == u"WindowsOnly")
        return kActionWindowsOnly;
    if (text == u"ControllerOnly")
        return kActionControllerOnly;
    return kActionBoth;
}

SharedString actionInstallerTypeText(std::int32_t type)
{
    switch (type) {
    case kActionWindowsOnly:
        return u"WindowsOnly";
    case kActionControllerOnly:
        return u"ControllerOnly";
    default:
        return u"Both";
    }
}

std::int32_t actionStoreLocationFromText(std::u16string_view text)
{
    return text == u"InsideInstaller" ? kActionInsideInstaller : kActionInstalledWithProduct;
}

SharedString actionStoreLocationText(std::int32_t location)
{
    return location == kActionInsideInstaller ? SharedString(u"InsideInstaller")
                                              : SharedString(u"InstalledWithTheProduct");
}

std::int32_t actionPostInstallModeFromText(std::u16string_view text)
{
    if (text == u"DontShow")
        return kActionDontShow;
    if (text == u"ShowChecked")
        return kActionShowChecked;
    return kActionShowUnchecked;
}

SharedString actionPostInstallModeText(std::int32_t mode)
{
    switch (mode) {
    case kActionDontShow:
        return u"DontShow";
    case kActionShowChecked:
        return u"ShowChecked";
    default:
        return u"ShowUnchecked";
    }
}

}  // namespace druvex
