// Custom wizard pages that the installer data defines: the page with its
// scripts, the wizard modes and platforms it shows in, and its layout tree of
// linear layouts, text views and edit boxes bound to installer variables.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app_base/target_platform.h"
#include "data/wizard_ids.h"
#include "text/shared_string.h"

namespace druvex {

enum class LayoutKind {
    LinearLayout,
    TextView,
    EditBox,
};

class LayoutElement {
public:
    LayoutElement(const LayoutElement&) = delete;
    LayoutElement& operator=(const LayoutElement&) = delete;
    virtual ~LayoutElement() = default;

    virtual LayoutKind kind() const = 0;
    // A deep copy.
    virtual std::shared_ptr<LayoutElement> clone() const = 0;

    SharedString id;
    std::int32_t marginTop = 0;
    std::int32_t marginLeft = 0;
    std::int32_t marginBottom = 0;
    std::int32_t marginRight = 0;

protected:
    LayoutElement() = default;
    void copyFieldsTo(LayoutElement& copy) const;
};

using LayoutElementPtr = std::shared_ptr<LayoutElement>;

class LinearLayout final : public LayoutElement {
public:
    LinearLayout() = default;

    LayoutKind kind() const override { return LayoutKind::LinearLayout; }
    std::shared_ptr<LayoutElement> clone() const override;

    int childCount() const { return static_cast<int>(children_.size()); }
    // Throws std::out_of_range outside the list.
    const LayoutElementPtr& childAt(int index) const;
    // Refuses null, and a child whose non-empty Id a direct child already has
    // (ignoring case). A child's Id stays as it was when it was added.
    bool addChild(LayoutElementPtr child);
    // The direct child with that Id ignoring case; null when none.
    LayoutElementPtr findChild(std::u16string_view id) const;
    // Removes the child that is this very object; true when it was there.
    bool removeChild(const LayoutElement* child);

    bool isVertical = false;

private:
    std::vector<LayoutElementPtr> children_;
    // The children with an Id by the Id in lower case: a layout of many
    // controls looks each new Id up among all the others.
    std::map<std::u16string, LayoutElementPtr> childrenById_;
};

class TextView final : public LayoutElement {
public:
    TextView() = default;

    LayoutKind kind() const override { return LayoutKind::TextView; }
    std::shared_ptr<LayoutElement> clone() const override;

    SharedString text;
};

class EditBox final : public LayoutElement {
public:
    EditBox() = default;

    LayoutKind kind() const override { return LayoutKind::EditBox; }
    std::shared_ptr<LayoutElement> clone() const override;

    SharedString text;
    // The installer variable the box edits.
    SharedString variable;
    bool isAPath = false;
};

class CustomPage {
public:
    // The page shows in wizard mode `mode` when bit (1 << mode) of the mask is set.
    bool supportsMode(WizardMode mode) const;
    bool matchesPlatform(TargetPlatform platform) const { return maskHasPlatform(targetPlatMask, platform); }

    SharedString name;
    SharedString title;
    std::int32_t supportedModes = 1;
    std::int32_t targetPlatMask = kPlatformMaskAll;
    SharedString onActivationScript;
    SharedString onBackScript;
    SharedString onNextScript;
    // The root of the layout; null when the page has none.
    std::shared_ptr<LinearLayout> layout;
};

using CustomPagePtr = std::shared_ptr<CustomPage>;

}  // namespace druvex
