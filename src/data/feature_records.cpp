#include "data/feature_records.h"

#include <stdexcept>

#include "text/char_class.h"

namespace druvex {
namespace {

constexpr std::u16string_view kVerbNames[kVerbCount] = {
    u"open", u"open", u"edit", u"play", u"print", u"preview", u"explore", u"find",
};

bool validVerb(int verb)
{
    return verb >= 0 && verb < kVerbCount;
}

}  // namespace

std::int32_t linkPosFromText(std::u16string_view text)
{
    return equalsNoCase(text, u"MenuPrograms") ? kLinkMenuPrograms : kLinkDesktop;
}

SharedString linkPosText(std::int32_t position)
{
    return position == kLinkDesktop ? SharedString(u"Desktop") : SharedString(u"MenuPrograms");
}

std::int32_t envTypeFromText(std::u16string_view text)
{
    if (equalsNoCase(text, u"System"))
        return kEnvTypeSystem;
    if (equalsNoCase(text, u"User"))
        return kEnvTypeUser;
    return kEnvTypeAuto;
}

std::int32_t envAddModeFromText(std::u16string_view text)
{
    if (equalsNoCase(text, u"Create"))
        return kEnvAddCreate;
    if (equalsNoCase(text, u"Remove"))
        return kEnvAddRemove;
    return kEnvAddSet;
}

std::int32_t envPlacementFromText(std::u16string_view text)
{
    if (equalsNoCase(text, u"Append"))
        return kEnvPlaceAppend;
    if (equalsNoCase(text, u"Prefix"))
        return kEnvPlacePrefix;
    return kEnvPlaceReplace;
}

SharedString envTypeText(std::int32_t type)
{
    switch (type) {
    case kEnvTypeSystem:
        return u"System";
    case kEnvTypeUser:
        return u"User";
    default:
        return u"Auto";
    }
}

SharedString envAddModeText(std::int32_t mode)
{
    switch (mode) {
    case kEnvAddCreate:
        return u"Create";
    case kEnvAddRemove:
        return u"Remove";
    default:
        return u"Set";
    }
}

SharedString envPlacementText(std::int32_t placement)
{
    switch (placement) {
    case kEnvPlaceAppend:
        return u"Append";
    case kEnvPlacePrefix:
        return u"Prefix";
    default:
        return u"Replace";
    }
}

int verbFromName(std::u16string_view name)
{
    for (int verb = kVerbOpen; verb < kVerbCount; ++verb) {
        if (name == kVerbNames[verb])
            return verb;
    }
    return kVerbOpenDefault;
}

SharedString verbName(int verb)
{
    return SharedString(validVerb(verb) ? kVerbNames[verb] : kVerbNames[kVerbOpen]);
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
    return equalsNoCase(text, u"onUninstall") ? kScriptOnUninstall : kScriptOnInstall;
}

SharedString scriptTimeText(std::int32_t time)
{
    return time == kScriptOnInstall ? SharedString(u"onInstall") : SharedString(u"onUninstall");
}

}  // namespace druvex
