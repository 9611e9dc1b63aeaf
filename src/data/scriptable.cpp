#include "data/scriptable.h"

#include <stdexcept>

#include "app_base/target_platform.h"
#include "text/diag.h"
#include "core/xml_reader.h"
#include "data/xml_attributes.h"

namespace druvex {
namespace {

class CheckDescriptionHandler final : public XmlHandler {
public:
    explicit CheckDescriptionHandler(PrerequisiteCheck& check) : check_(check) {}

    bool startElement(const XmlNameSpan& name, const XmlAttributeList& attributes, const SharedString& text) override
    {
        if (xmlNameEquals(name, "Requirement")) {
            const SharedString fullName = xmlAttributeValue(attributes, "FullName");
            if (fullName.isEmpty())
                return false;
            check_.setFullName(fullName);
            const XmlAttribute* platforms = findXmlAttribute(attributes, "Platforms");
            check_.setPlatforms(platforms ? parsePlatformList(platforms->value.view()) : kPlatformMaskAll);
            return true;
        }
        if (xmlNameEquals(name, "Parameter") && !text.isEmpty())
            check_.addParameter(text);
        return true;
    }
    bool endElement(const XmlNameSpan&) override { return true; }

private:
    PrerequisiteCheck& check_;
};

SharedString listItem(const std::vector<SharedString>& list, int index)
{
    if (index < 0 || static_cast<std::size_t>(index) >= list.size())
        return {};
    return list[static_cast<std::size_t>(index)];
}

int appendName(std::vector<SharedString>& list, const SharedString& name)
{
    if (!name.isEmpty())
        list.push_back(name);
    return static_cast<int>(list.size());
}

}  // namespace

Scriptable::Scriptable()
{
    setPlatforms(platformMask(kPlatformWin32) | platformMask(kPlatformWin64));
}

Scriptable::~Scriptable() = default;

int Scriptable::nameListCount() const
{
    return 0;
}

SharedString Scriptable::nameListItem(int) const
{
    DRUVEX_DBGCHK("");
    return {};
}

bool PrerequisiteCheck::parseXml(const void* data, std::size_t bytes)
{
    if (!data || bytes == 0)
        return false;
    XmlReader reader;
    if (!reader.setInput(data, bytes))
        return false;
    CheckDescriptionHandler handler(*this);
    return reader.parse(handler);
}

const SharedString& PrerequisiteCheck::parameterAt(int index) const
{
    if (index < 0 || index >= parameterCount())
        throw std::out_of_range("PrerequisiteCheck::parameterAt: index outside the list");
    return parameters_[static_cast<std::size_t>(index)];
}

SharedString Redistributable::nameListItem(int index) const
{
    return listItem(dependencies_, index);
}

SharedString Redistributable::supersedeAt(int index) const
{
    return listItem(supersedes_, index);
}

SharedString Redistributable::displayName() const
{
    return displayName_.isEmpty() ? getNameRef() : displayName_;
}

int Redistributable::addDependency(const SharedString& name)
{
    return appendName(dependencies_, name);
}

int Redistributable::addSupersede(const SharedString& name)
{
    return appendName(supersedes_, name);
}

}  // namespace druvex
