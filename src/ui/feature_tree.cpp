#include "ui/feature_tree.h"

#include <algorithm>

namespace druvex {

void FeatureTree::clear()
{
    nodes_.clear();
    topLevel_.clear();
    current_ = -1;
    first_ = 0;
}

int FeatureTree::find(NodeId id) const
{
    for (std::size_t i = 0; i < nodes_.size(); ++i) {
        if (nodes_[i].id == id)
            return static_cast<int>(i);
    }
    return -1;
}

void FeatureTree::addNode(NodeId parent, NodeId id, SharedString text, bool checked, bool enabled)
{
    if (id == kRoot || find(id) >= 0)
        return;
    const int parentIndex = parent == kRoot ? -1 : find(parent);
    if (parent != kRoot && parentIndex < 0)
        return;
    const int index = static_cast<int>(nodes_.size());
    nodes_.push_back(Node{id, parentIndex, std::move(text), checked, enabled, true, {}});
    if (parentIndex < 0)
        topLevel_.push_back(index);
    else
        nodes_[static_cast<std::size_t>(parentIndex)].children.push_back(index);
    if (current_ < 0)
        current_ = index;
}

void FeatureTree::setExpanded(NodeId id, bool expanded)
{
    const int index = find(id);
    if (index < 0)
        return;
    nodes_[static_cast<std::size_t>(index)].expanded = expanded;
    // The cursor never stays on a node that is no longer shown.
    for (int at = current_; at >= 0; at = nodes_[static_cast<std::size_t>(at)].parent) {
        const int parent = nodes_[static_cast<std::size_t>(at)].parent;
        if (parent >= 0 && !nodes_[static_cast<std::size_t>(parent)].expanded)
            current_ = parent;
    }
}

void FeatureTree::setChecked(NodeId id, bool checked)
{
    const int index = find(id);
    if (index >= 0)
        nodes_[static_cast<std::size_t>(index)].checked = checked;
}

bool FeatureTree::isChecked(NodeId id) const
{
    const int index = find(id);
    return index >= 0 && nodes_[static_cast<std::size_t>(index)].checked;
}

CheckState FeatureTree::checkState(NodeId id) const
{
    const int index = find(id);
    if (index < 0)
        return CheckState::Unchecked;
    bool anyChecked = false;
    bool anyUnchecked = false;
    std::vector<int> pending{index};
    while (!pending.empty()) {
        const Node& node = nodes_[static_cast<std::size_t>(pending.back())];
        pending.pop_back();
        (node.checked ? anyChecked : anyUnchecked) = true;
        pending.insert(pending.end(), node.children.begin(), node.children.end());
    }
    if (anyChecked && anyUnchecked)
        return CheckState::Partial;
    return anyChecked ? CheckState::Checked : CheckState::Unchecked;
}

FeatureTree::NodeId FeatureTree::current() const
{
    return current_ < 0 ? kRoot : nodes_[static_cast<std::size_t>(current_)].id;
}

void FeatureTree::setCurrent(NodeId id)
{
    const int index = find(id);
    if (index < 0)
        return;
    for (int parent = nodes_[static_cast<std::size_t>(index)].parent; parent >= 0;
         parent = nodes_[static_cast<std::size_t>(parent)].parent)
        nodes_[static_cast<std::size_t>(parent)].expanded = true;
    current_ = index;
}

std::vector<int> FeatureTree::visibleRows() const
{
    std::vector<int> rows;
    std::vector<int> pending(topLevel_.rbegin(), topLevel_.rend());
    while (!pending.empty()) {
        const int index = pending.back();
        pending.pop_back();
        rows.push_back(index);
        const Node& node = nodes_[static_cast<std::size_t>(index)];
        if (node.expanded)
            pending.insert(pending.end(), node.children.rbegin(), node.children.rend());
    }
    return rows;
}

int FeatureTree::depth(int index) const
{
    int depth = 0;
    for (int parent = nodes_[static_cast<std::size_t>(index)].parent; parent >= 0;
         parent = nodes_[static_cast<std::size_t>(parent)].parent)
        ++depth;
    return depth;
}

int FeatureTree::preferredHeight(int) const
{
    return std::clamp(static_cast<int>(visibleRows().size()), 1, 10);
}

void FeatureTree::draw(Canvas& canvas, bool focused) const
{
    const std::vector<int> rows = visibleRows();
    const int count = static_cast<int>(rows.size());
    const int height = rect().height;
    if (height <= 0)
        return;
    const int cursorRow = static_cast<int>(std::find(rows.begin(), rows.end(), current_) - rows.begin());
    first_ = std::clamp(first_, std::max(cursorRow - height + 1, 0), std::min(cursorRow, std::max(count - 1, 0)));
    const int width = rect().width - 1;
    for (int row = 0; row < height && first_ + row < count; ++row) {
        const int index = rows[static_cast<std::size_t>(first_ + row)];
        const Node& node = nodes_[static_cast<std::size_t>(index)];
        const int top = rect().top + row;
        int column = rect().left + 2 * depth(index);
        const char32_t* expander = node.children.empty() ? U"  " : (node.expanded ? U"- " : U"+ ");
        column += canvas.text(top, column, std::u32string_view(expander));
        const CheckState state = checkState(node.id);
        const char32_t* mark = state == CheckState::Checked ? U"[x]" : state == CheckState::Partial ? U"[~]" : U"[ ]";
        const bool atCursor = index == current_;
        CellStyle style = atCursor && focused ? kStyleReverse : kStyleNormal;
        if (!node.enabled)
            style |= kStyleDim;
        if (atCursor && focused)
            showFocus(canvas, top, column + 1);
        column += canvas.text(top, column, std::u32string_view(mark), style);
        column += canvas.text(top, column, std::u32string_view(U" "));
        canvas.text(top, column, node.text.view(), atCursor && focused ? kStyleBold : kStyleNormal,
                    rect().left + width - column);
    }
    if (first_ > 0)
        canvas.text(rect().top, rect().right() - 1, std::u32string_view(U"^"));
    if (first_ + height < count)
        canvas.text(rect().bottom() - 1, rect().right() - 1, std::u32string_view(U"v"));
}

void FeatureTree::setSubtree(int index, bool checked)
{
    Node& node = nodes_[static_cast<std::size_t>(index)];
    if (!node.enabled)
        return;
    node.checked = checked;
    for (int child : node.children)
        setSubtree(child, checked);
}

void FeatureTree::toggle(int index)
{
    const Node& node = nodes_[static_cast<std::size_t>(index)];
    if (!node.enabled)
        return;
    // A partly checked node becomes wholly checked.
    const bool wanted = checkState(node.id) != CheckState::Checked;
    if (onToggle_) {
        onToggle_(node.id, wanted);
        return;
    }
    setSubtree(index, wanted);
}

bool FeatureTree::handleKey(const Key& key)
{
    if (current_ < 0)
        return false;
    const std::vector<int> rows = visibleRows();
    const int row = static_cast<int>(std::find(rows.begin(), rows.end(), current_) - rows.begin());
    const int last = static_cast<int>(rows.size()) - 1;
    const int page = std::max(rect().height - 1, 1);
    Node& node = nodes_[static_cast<std::size_t>(current_)];
    switch (key.code) {
    case KeyCode::Up:
        if (row == 0)
            return false;
        current_ = rows[static_cast<std::size_t>(row - 1)];
        return true;
    case KeyCode::Down:
        if (row == last)
            return false;
        current_ = rows[static_cast<std::size_t>(row + 1)];
        return true;
    case KeyCode::PageUp:
        current_ = rows[static_cast<std::size_t>(std::max(row - page, 0))];
        return true;
    case KeyCode::PageDown:
        current_ = rows[static_cast<std::size_t>(std::min(row + page, last))];
        return true;
    case KeyCode::Home:
        current_ = rows.front();
        return true;
    case KeyCode::End:
        current_ = rows.back();
        return true;
    case KeyCode::Right:
        if (!node.children.empty())
            node.expanded = true;
        return true;
    case KeyCode::Left:
        if (!node.children.empty() && node.expanded)
            node.expanded = false;
        else if (node.parent >= 0)
            current_ = node.parent;
        return true;
    case KeyCode::Character:
        if (key.ch != U' ')
            return false;
        toggle(current_);
        return true;
    default:
        return false;
    }
}

}  // namespace druvex
