#include "data/feature_records.h"

#include <stdexcept>

namespace druvex {
namespace {

constexpr NamedValue<std::int32_t> kLinkPositions[] = {
    {kLinkDesktop, u"Desktop"},
    {kLinkMenuPrograms, u"MenuPrograms"},
};

constexpr NamedValue<std::int32_t> kEnvTypes[] = {
    {kEnvTypeAuto, u"Auto"},
    {kEnvTypeSystem, u"System"},
    {kEnvTypeUser, u"User"},
};

constexpr NamedValue<std::int32_t> kEnvAddModes[] = {
    {kEnvAddCreate, u"Create"},
    {kEnvAddSet, u"Set"},
    {kEnvAddRemove, u"Remove"},
};

constexpr NamedValue<std::int32_t> kEnvPlacements[] = {
    {kEnvPlaceAppend, u"Append"},
    {kEnvPlacePrefix, u"Prefix"},
    {kEnvPlaceReplace, u"Replace"},
};

// kVerbOpenDefault has no name of its own: it is written "open", which reads
// back as kVerbOpen.
constexpr NamedValue<int> kVerbs[] = {
    {kVerbOpen, u"open"},       {kVerbEdit, u"edit"},       {kVerbPlay, u"play"},       {kVerbPrint, u"print"},
    {kVerbPreview, u"preview"}, {kVerbExplore, u"explore"}, {kVerbFind, u"find"},
};

constexpr NamedValue<std::int32_t> kScriptTimes[] = {
    {kScriptOnInstall, u"onInstall"},
    {kScriptOnUninstall, u"onUninstall"},
};

bool validVerb(int verb)
{
    return verb >= 0 && verb < kVerbCount;
}

}  // namespace

const NameTable<std::int32_t> kLinkPosNames{kLinkPositions, NameCase::kIgnoreCase};
const NameTable<std::int32_t> kEnvTypeNames{kEnvTypes, NameCase::kIgnoreCase};
const NameTable<std::int32_t> kEnvAddModeNames{kEnvAddModes, NameCase::kIgnoreCase};
const NameTable<std::int32_t> kEnvPlacementNames{kEnvPlacements, NameCase::kIgnoreCase};
const NameTable<int> kVerbNames{kVerbs, NameCase::kExact};
const NameTable<std::int32_t> kScriptTimeNames{kScriptTimes, NameCase::kIgnoreCase};

std::int32_t linkPosFromText(std::u16string_view text)
{
    return kLinkPosNames.valueOf(text, kLinkDesktop);
}

SharedString linkPosText(std::int32_t position)
{
    return SharedString(kLinkPosNames.nameOf(position, u"MenuPrograms"));
}

std::int32_t envTypeFromText(std::u16string_view text)
{
    return kEnvTypeNames.valueOf(text, kEnvTypeAuto);
}

std::int32_t envAddModeFromText(std::u16string_view text)
{
    return kEnvAddModeNames.valueOf(text, kEnvAddSet);
}

std::int32_t envPlacementFromText(std::u16string_view text)
{
    return kEnvPlacementNames.valueOf(text, kEnvPlaceReplace);
}

SharedString envTypeText(std::int32_t type)
{
    return SharedString(kEnvTypeNames.nameOf(type, u"Auto"));
}

SharedString envAddModeText(std::int32_t mode)
{
    return SharedString(kEnvAddModeNames.nameOf(mode, u"Set"));
}

SharedString envPlacementText(std::int32_t placement)
{
    return SharedString(kEnvPlacementNames.nameOf(placement, u"Replace"));
}

int verbFromName(std::u16string_view name)
{
    return kVerbNames.valueOf(name, kVerbOpenDefault);
}

SharedString verbName(int verb)
{
    return SharedString(kVerbNames.nameOf(verb, u"open"));
}

bool FileExtension::setAction(int verb, const SharedString& arguments)
{
    if (!validVerb(verb))
        return false;
    actions_[static_cast<std::size_t>(verb)] = arguments;
    return !arguments.isEmpty();
}

SharedString FileExtension::actionArguments(int verb) const
{
    return validVerb(verb) ? actions_[static_cast<std::size_t>(verb)] : SharedString();
}

int FileExtension::actionCount() const
{
    int count = 0;
    for (const SharedString& arguments : actions_)
        count += arguments.isEmpty() ? 0 : 1;
    return count;
}

std::shared_ptr<FileAssociation> FileAssociation::clone() const
{
    auto copy = std::make_shared<FileAssociation>(*this);
    for (auto& extension : copy->extensions_)
        extension = extension->clone();
    return copy;
}

bool FileAssociation::addExtension(std::shared_ptr<FileExtension> extension)
{
    if (!extension)
        return false;
    extensions_.push_back(std::move(extension));
    return true;
}

const std::shared_ptr<FileExtension>& FileAssociation::extensionAt(int index) const
{
    if (index < 0 || index >= extensionCount())
        throw std::out_of_range("FileAssociation::extensionAt: index outside the list");
    return extensions_[static_cast<std::size_t>(index)];
}

std::int32_t scriptTimeFromText(std::u16string_view text)
{
    return kScriptTimeNames.valueOf(text, kScriptOnInstall);
}

SharedString scriptTimeText(std::int32_t time)
{
    return SharedString(kScriptTimeNames.nameOf(time, u"onUninstall"));
}

}  // namespace druvex
