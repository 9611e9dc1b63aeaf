// The feature tree: features with check boxes, nested under their parents.
// A node shows checked when it and everything below it is chosen, unchecked
// when none is, and partly checked otherwise. Space toggles the node under the
// cursor, Right opens a node and Left closes it (or goes to its parent).
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "text/shared_string.h"
#include "ui/widgets.h"

namespace druvex {

enum class CheckState { Unchecked, Checked, Partial };

class FeatureTree final : public Widget {
public:
    using NodeId = std::intptr_t;
    static constexpr NodeId kRoot = 0;

    FeatureTree() = default;

    void clear();
    // Adds a node under `parent` (kRoot for the top level); `id` names it
    // (not 0, unique). A disabled node cannot be toggled (a required feature).
    void addNode(NodeId parent, NodeId id, SharedString text, bool checked, bool enabled = true);
    void setExpanded(NodeId id, bool expanded);
    void setChecked(NodeId id, bool checked);
    bool isChecked(NodeId id) const;
    CheckState checkState(NodeId id) const;
    bool contains(NodeId id) const { return find(id) >= 0; }
    // The node under the cursor; kRoot when the tree is empty.
    NodeId current() const;
    void setCurrent(NodeId id);

    // Told when the person toggles a node, with the state wanted. Without a
    // handler the node and every enabled node below it take that state; a
    // handler decides itself (through setChecked), so that a page can apply
    // its logic's rules (dependencies, required children).
    void onToggle(std::function<void(NodeId, bool)> handler) { onToggle_ = std::move(handler); }

    bool canFocus() const override { return !nodes_.empty(); }
    int preferredHeight(int width) const override;
    void draw(Canvas& canvas, bool focused) const override;
    bool handleKey(const Key& key) override;

private:
    struct Node {
        NodeId id;
        int parent;  // index, -1 for the top level
        SharedString text;
        bool checked;
        bool enabled;
        bool expanded = true;
        std::vector<int> children;
    };

    int find(NodeId id) const;
    // Indexes of the nodes shown (their parents open), in order.
    std::vector<int> visibleRows() const;
    int depth(int index) const;
    void toggle(int index);
    void setSubtree(int index, bool checked);

    std::vector<Node> nodes_;
    std::vector<int> topLevel_;
    int current_ = -1;  // node index
    mutable int first_ = 0;
    std::function<void(NodeId, bool)> onToggle_;
};

}  // namespace druvex
