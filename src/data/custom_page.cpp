#include "data/custom_page.h"

#include <algorithm>
#include <stdexcept>

#include "text/char_class.h"

namespace druvex {

void LayoutElement::copyFieldsTo(LayoutElement& copy) const
{
    copy.id = id;
    copy.marginTop = marginTop;
    copy.marginLeft = marginLeft;
    copy.marginBottom = marginBottom;
    copy.marginRight = marginRight;
}

std::shared_ptr<LayoutElement> LinearLayout::clone() const
{
    auto copy = std::make_shared<LinearLayout>();
    copyFieldsTo(*copy);
    copy->isVertical = isVertical;
    for (const LayoutElementPtr& child : children_)
        copy->addChild(child->clone());
    return copy;
}

const LayoutElementPtr& LinearLayout::childAt(int index) const
{
    if (index < 0 || index >= childCount())
        throw std::out_of_range("LinearLayout::childAt: index outside the children");
    return children_[static_cast<std::size_t>(index)];
}

bool LinearLayout::addChild(LayoutElementPtr child)
{
    if (!child || child.get() == this)
        return false;
    if (!child->id.isEmpty() && !childrenById_.try_emplace(toLowerText(child->id.view()), child).second)
        return false;
    children_.push_back(std::move(child));
    return true;
}

LayoutElementPtr LinearLayout::findChild(std::u16string_view id) const
{
    if (id.empty()) {
        const auto unnamed = std::find_if(children_.begin(), children_.end(),
                                          [](const LayoutElementPtr& child) { return child->id.isEmpty(); });
        return unnamed == children_.end() ? nullptr : *unnamed;
    }
    const auto found = childrenById_.find(toLowerText(id));
    return found == childrenById_.end() ? nullptr : found->second;
}

bool LinearLayout::removeChild(const LayoutElement* child)
{
    const auto found = std::find_if(children_.begin(), children_.end(),
                                    [child](const LayoutElementPtr& element) { return element.get() == child; });
    if (found == children_.end())
        return false;
    if (const auto named = childrenById_.find(toLowerText((*found)->id.view()));
        named != childrenById_.end() && named->second == *found)
        childrenById_.erase(named);
    children_.erase(found);
    return true;
}

std::shared_ptr<LayoutElement> TextView::clone() const
{
    auto copy = std::make_shared<TextView>();
    copyFieldsTo(*copy);
    copy->text = text;
    return copy;
}

std::shared_ptr<LayoutElement> EditBox::clone() const
{
    auto copy = std::make_shared<EditBox>();
    copyFieldsTo(*copy);
    copy->text = text;
    copy->variable = variable;
    copy->isAPath = isAPath;
    return copy;
}

bool CustomPage::supportsMode(WizardMode mode) const
{
    const std::int32_t number = wizardModeNumber(mode);
    if (number < 0 || number >= 32)
        return false;
    return (static_cast<std::uint32_t>(supportedModes) & (1u << number)) != 0;
}

}  // namespace druvex
