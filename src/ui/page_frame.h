// The frame of a wizard page on the full screen: the title with the page
// counter ("3/8") on the first row, the page's controls stacked in the area
// between two rules, and Back, Next and Cancel on the last row. Escape is
// Cancel, as the wizard window's close box is.
#pragma once

#include "ui/dlg_base.h"

namespace druvex {

// The commands of the frame's buttons.
constexpr int kPageCommandBack = 100;
constexpr int kPageCommandNext = 101;
constexpr int kPageCommandCancel = 102;

class PageFrame : public CDlgBase {
public:
    PageFrame(TerminalSession& session, SharedString title);

    void setTitle(SharedString title);
    void setCounter(SharedString counter);
    const SharedString& title() const { return title_; }

    Button& backButton() { return *back_; }
    Button& nextButton() { return *next_; }
    Button& cancelButton() { return *cancel_; }

    void layout(int rows, int columns) override;
    void draw(Canvas& canvas) const override;

    // The rows and columns between the rules, where the page's controls go
    // (as of the last layout).
    Rect contentArea() const;

protected:
    // Adds a control below those added before, after `gapBefore` blank rows;
    // a stretching control shares the rows the others leave.
    template <class W, class... Args>
    W& addContent(bool stretch, int gapBefore, Args&&... args)
    {
        W& widget = addWidget<W>(std::forward<Args>(args)...);
        content_.push_back(ContentItem{&widget, stretch, gapBefore});
        return widget;
    }

    // The buttons; each default ends the page with its command.
    virtual void onBack() { endDialog(kPageCommandBack); }
    virtual void onNext() { endDialog(kPageCommandNext); }
    virtual void onCancel() { endDialog(kPageCommandCancel); }

    // The focus starts on the first control that takes it, else on Next.
    // A page that overrides this calls it first.
    void onInitDialog() override;
    // A character typed while a button has the focus presses no other
    // button by its hotkey (Space still presses the focused one).
    void onKey(const Key& key) override;
    void onCommand(int id) override;
    void onClose() override { onCancel(); }
    std::vector<Widget*> focusableWidgets() const override;

private:
    struct ContentItem {
        Widget* widget;
        bool stretch;
        int gapBefore;
    };

    SharedString title_;
    SharedString counter_;
    Button* back_ = nullptr;
    Button* next_ = nullptr;
    Button* cancel_ = nullptr;
    std::vector<ContentItem> content_;
    int rows_ = 0;
    int columns_ = 0;
};

}  // namespace druvex
