#include "controller/control_layout.h"

#include <algorithm>

#include "controller/wizard_controller.h"
#include "core/translate_text.h"
#include "data/install_data.h"
#include "text/char_class.h"

namespace druvex {
namespace {

int lineCount(const SharedString& text)
{
    return 1 + static_cast<int>(std::count(text.view().begin(), text.view().end(), u'\n'));
}

// The area inside the element's margins, never negative.
ControlRect insideMargins(const LayoutElement& element, const ControlRect& area)
{
    ControlRect inner;
    inner.left = area.left + element.marginLeft;
    inner.top = area.top + element.marginTop;
    inner.width = std::max(0, area.width - element.marginLeft - element.marginRight);
    inner.height = std::max(0, area.height - element.marginTop - element.marginBottom);
    return inner;
}

// The translated text with its variables expanded; the text as it stands
// where the expansion fails.
SharedString resolveText(WizardController& controller, const SharedString& text)
{
    if (text.isEmpty())
        return text;
    const SharedString translated = translateTextW(text.view());
    const SharedString expanded = controller.expandVariables(translated);
    return expanded.isEmpty() ? translated : expanded;
}

}  // namespace

ControlLayout::ControlLayout(const std::shared_ptr<LinearLayout>& root) : root_(root)
{
    if (root_)
        collect(*root_);
}

void ControlLayout::collect(const LayoutElement& element)
{
    switch (element.kind()) {
    case LayoutKind::LinearLayout: {
        const auto& layout = static_cast<const LinearLayout&>(element);
        for (int index = 0; index < layout.childCount(); ++index)
            collect(*layout.childAt(index));
        return;
    }
    case LayoutKind::TextView: {
        ControlLayoutEntry entry;
        entry.name = element.id;
        entry.kind = ControlKind::Text;
        entry.text = static_cast<const TextView&>(element).text;
        entries_.push_back(std::move(entry));
        return;
    }
    case LayoutKind::EditBox: {
        const auto& box = static_cast<const EditBox&>(element);
        ControlLayoutEntry entry;
        entry.name = element.id;
        entry.kind = ControlKind::Edit;
        entry.text = box.text;
        entry.variable = box.variable;
        entry.isPath = box.isAPath;
        entries_.push_back(std::move(entry));
        return;
    }
    }
}

void ControlLayout::layOut(const ControlRect& area)
{
    if (!root_)
        return;
    std::size_t next = 0;
    place(*root_, area, next);
}

int ControlLayout::naturalHeight(const LayoutElement& element, std::size_t& next) const
{
    const int margins = element.marginTop + element.marginBottom;
    if (element.kind() != LayoutKind::LinearLayout) {
        const ControlLayoutEntry& entry = entries_[next++];
        return margins + (entry.kind == ControlKind::Text ? lineCount(entry.text) : 1);
    }
    const auto& layout = static_cast<const LinearLayout&>(element);
    int height = 0;
    for (int index = 0; index < layout.childCount(); ++index) {
        const int child = naturalHeight(*layout.childAt(index), next);
        height = layout.isVertical ? height + child : std::max(height, child);
    }
    return margins + height;
}

// Places the element (and, for a layout, its children) in `area`, taking the
// entries from `next` on in the tree's order; answers the rows it takes.
int ControlLayout::place(const LayoutElement& element, const ControlRect& area, std::size_t& next)
{
    std::size_t measure = next;
    const int wanted = naturalHeight(element, measure);
    const ControlRect inner = insideMargins(element, area);
    if (element.kind() != LayoutKind::LinearLayout) {
        ControlLayoutEntry& entry = entries_[next++];
        entry.rect = inner;
        entry.rect.height = std::min(inner.height, wanted - element.marginTop - element.marginBottom);
        return std::min(area.height, wanted);
    }
    const auto& layout = static_cast<const LinearLayout&>(element);
    const int count = layout.childCount();
    if (layout.isVertical) {
        int top = inner.top;
        for (int index = 0; index < count; ++index) {
            ControlRect slot = inner;
            slot.top = top;
            slot.height = std::max(0, inner.top + inner.height - top);
            top += place(*layout.childAt(index), slot, next);
        }
    } else if (count > 0) {
        const int column = inner.width / count;
        for (int index = 0; index < count; ++index) {
            ControlRect slot = inner;
            slot.left = inner.left + index * column;
            // The last column takes what the division left over.
            slot.width = index + 1 == count ? inner.width - index * column : column;
            place(*layout.childAt(index), slot, next);
        }
    }
    return std::min(area.height, wanted);
}

const ControlLayoutEntry* ControlLayout::find(std::u16string_view name) const
{
    if (name.empty())
        return nullptr;
    const auto found = std::find_if(entries_.begin(), entries_.end(),
                                    [name](const ControlLayoutEntry& entry) { return equalsNoCase(entry.name.view(), name); });
    return found == entries_.end() ? nullptr : &*found;
}

ControlLayoutEntry* ControlLayout::find(std::u16string_view name)
{
    return const_cast<ControlLayoutEntry*>(static_cast<const ControlLayout&>(*this).find(name));
}

CustomPageDialogDef::CustomPageDialogDef(WizardController& controller, const CustomPage& page)
    : title_(resolveText(controller, page.title)), layout_(page.layout)
{
    for (ControlLayoutEntry& entry : layout_.entries()) {
        if (entry.kind == ControlKind::Text) {
            entry.text = resolveText(controller, entry.text);
            continue;
        }
        // An edit box shows its variable's value once the variable has one.
        const InstallerVariablePtr variable = controller.getInstallData().findByName(entry.variable.view());
        if (!variable)
            continue;
        const SharedString value = variable->getValue(controller.getTargetPlatform(), kVariableAllUsers);
        if (!value.isEmpty())
            entry.text = value;
    }
}

}  // namespace druvex
