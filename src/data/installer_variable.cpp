#include "data/installer_variable.h"

#include <algorithm>
#include <stdexcept>

#include "text/char_class.h"
#include "data/xml_attributes.h"

namespace druvex {
namespace {

// make_shared needs a public constructor.
class InstallerVariableMaker final : public InstallerVariable {};

}  // namespace

std::shared_ptr<InstallerVariable> InstallerVariable::create(const SharedString& name)
{
    auto variable = std::make_shared<InstallerVariableMaker>();
    variable->setName(name);
    return variable;
}

void InstallerVariable::setValue(TargetPlatform platform, std::int32_t user, const SharedString& text)
{
    values_[VariableKey{platform, user}] = text;
}

SharedString InstallerVariable::getExactValue(TargetPlatform platform, std::int32_t user) const
{
    const auto found = values_.find(VariableKey{platform, user});
    return found == values_.end() ? SharedString() : found->second;
}

std::shared_ptr<InstallerVariable> InstallerVariable::clone() const
{
    auto copy = create(name_);
    copy->persistent_ = persistent_;
    copy->values_ = values_;
    return copy;
}

bool InstallerVariable::readDefinition(const XmlAttributeList& attributes, const SharedString& text)
{
    const XmlAttribute* platformName = findXmlAttribute(attributes, "platform");
    if (!platformName)
        return false;
    const TargetPlatform platform = parsePlatform(platformName->value.view());
    if (platform == kPlatformUnknown)
        return false;
    const std::int32_t user =
        xmlAttributeValue(attributes, "user") == u"current" ? kVariableCurrentUser : kVariableAllUsers;
    setValue(platform, user, text);
    return true;
}

bool InstallerVariable::findKey(TargetPlatform platform, std::int32_t user, VariableKey& key) const
{
    const auto tryKey = [&](TargetPlatform p, std::int32_t u) {
        if (!values_.contains(VariableKey{p, u}))
            return false;
        key = VariableKey{p, u};
        return true;
    };
    if (isDesktopPlatform(platform) && user == kVariableCurrentUser && tryKey(kPlatformWindows, kVariableCurrentUser))
        return true;
    if (tryKey(platform, kVariableAllUsers))
        return true;
    if (platform >= 0 && platform < kPlatformCount &&
        tryKey(isDesktopPlatform(platform) ? kPlatformWindows : kPlatformControllers, kVariableAllUsers))
        return true;
    if (platform != kPlatformAll && tryKey(kPlatformAll, kVariableAllUsers))
        return true;
    key = VariableKey{kPlatformUnknown, kVariableAllUsers};
    return false;
}

SharedString InstallerVariable::getValue(TargetPlatform platform, std::int32_t user) const
{
    VariableKey key;
    if (!findKey(platform, user, key))
        return {};
    return values_.at(key);
}

const InstallerVariablePtr& VariableSet::at(int index) const
{
    if (index < 0 || index >= count())
        throw std::out_of_range("VariableSet::at: index outside the list");
    return variables_[static_cast<std::size_t>(index)];
}

InstallerVariablePtr VariableSet::findByName(std::u16string_view name) const
{
    for (const InstallerVariablePtr& variable : variables_) {
        if (variable && equalsNoCase(variable->getName().view(), name))
            return variable;
    }
    return nullptr;
}

void VariableSet::append(InstallerVariablePtr variable)
{
    variables_.push_back(std::move(variable));
}

void VariableSet::addOrReplace(InstallerVariablePtr variable)
{
    if (!variable)
        return;
    const SharedString name = variable->getName();
    const auto same = std::find_if(variables_.begin(), variables_.end(), [&](const InstallerVariablePtr& existing) {
        return existing && equalsNoCase(existing->getName().view(), name.view());
    });
    if (same != variables_.end())
        variables_.erase(same);
    variables_.push_back(std::move(variable));
}

void VariableSet::remove(const InstallerVariable* variable)
{
    std::erase_if(variables_, [&](const InstallerVariablePtr& existing) { return existing.get() == variable; });
}

void VariableSet::copyPersistentTo(VariableSet& other) const
{
    if (&other == this)
        return;
    for (const InstallerVariablePtr& variable : variables_) {
        if (variable && variable->isPersistent())
            other.addOrReplace(variable->clone());
    }
}

}  // namespace druvex
