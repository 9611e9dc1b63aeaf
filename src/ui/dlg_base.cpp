#include "ui/dlg_base.h"

#include <algorithm>
#include <exception>

#include "core/app_log.h"
#include "core/crash_handler.h"
#include "platform/exit_status.h"
#include "text/char_class.h"
#include "ui/terminal_session.h"

namespace druvex {
namespace {

// The crash line names the dialog base's own source file.
constexpr const char* kDialogSourceFile = "dlg_base.cpp";

// A C++ exception that left a handler: on the device the handler's guard
// caught it as it catches a fault, so it ends the program the same way.
[[noreturn]] void reportHandlerException()
{
    ExceptionInfo info;
    info.code = kExceptionCxx;
    CurrentFaultScope scope(info);
    runCrashCleanup();
    try {
        throw;
    } catch (const std::exception& error) {
        logPrintfA("Exception in a dialog handler: %s", error.what());
    } catch (...) {
        logPrintfA("Exception in a dialog handler");
    }
    crashExceptionFilter(&info, kDialogSourceFile, kDialogHandlerLine, 0);
    fatalExit(0);
    terminateProcess(kExitCodeCrash);
}

char32_t foldCase(char32_t ch)
{
    return ch <= 0xFFFF ? toLowerChar(static_cast<char16_t>(ch)) : ch;
}

}  // namespace

CDlgBase::CDlgBase(TerminalSession& session)
    : session_(session), alive_(std::make_shared<CDlgBase*>(this)), dispatcher_(session.sharedDispatcher())
{
}

CDlgBase::~CDlgBase()
{
    if (modal_)
        session_.pop(this);
}

void CDlgBase::runHandler(const std::function<void()>& handler)
{
    CrashGuardScope guard(kDialogSourceFile, kDialogHandlerLine, 0);
    try {
        handler();
    } catch (...) {
        reportHandlerException();
    }
}

void CDlgBase::WindowProc(const std::function<void()>& handler)
{
    runHandler(handler);
}

int CDlgBase::doModal()
{
    ended_ = false;
    modal_ = true;
    session_.push(this);
    WindowProc([this] {
        onInitDialog();
        layout(session_.rows(), session_.columns());
        if (focus_ == nullptr)
            moveFocus(1);
    });
    while (!ended_) {
        const Key key = session_.nextKey();
        if (key.is(KeyCode::None))
            continue;
        WindowProc([&] { onKey(key); });
        session_.invalidate();
    }
    session_.pop(this);
    modal_ = false;
    return result_;
}

void CDlgBase::endDialog(int result)
{
    result_ = result;
    ended_ = true;
}

bool CDlgBase::postMessage(std::function<void()> handler)
{
    std::weak_ptr<CDlgBase*> alive = alive_;
    return dispatcher_->post([alive, handler = std::move(handler)] {
        const std::shared_ptr<CDlgBase*> dialog = alive.lock();
        if (!dialog)
            return;
        (*dialog)->WindowProc(handler);
        (*dialog)->invalidate();
    });
}

void CDlgBase::draw(Canvas& canvas) const
{
    for (const auto& widget : widgets_) {
        if (widget->isVisible() && widget->rect().height > 0)
            widget->draw(canvas, widget.get() == focus_);
    }
}

void CDlgBase::setFocus(Widget* widget)
{
    focus_ = widget;
    invalidate();
}

Button& CDlgBase::addButton(SharedString text, int id)
{
    return addWidget<Button>(std::move(text), [this, id] { onCommand(id); });
}

void CDlgBase::invalidate()
{
    session_.invalidate();
}

std::vector<Widget*> CDlgBase::focusableWidgets() const
{
    std::vector<Widget*> focusable;
    for (const auto& widget : widgets_) {
        if (widget->isVisible() && widget->isEnabled() && widget->rect().height > 0 && widget->canFocus())
            focusable.push_back(widget.get());
    }
    return focusable;
}

bool CDlgBase::moveFocus(int direction)
{
    const std::vector<Widget*> focusable = focusableWidgets();
    if (focusable.empty())
        return false;
    const auto at = std::find(focusable.begin(), focusable.end(), focus_);
    int index = 0;
    if (at == focusable.end()) {
        index = direction > 0 ? 0 : static_cast<int>(focusable.size()) - 1;
    } else {
        const int count = static_cast<int>(focusable.size());
        index = ((static_cast<int>(at - focusable.begin()) + direction) % count + count) % count;
    }
    setFocus(focusable[static_cast<std::size_t>(index)]);
    return true;
}

bool CDlgBase::pressHotkey(char32_t ch)
{
    const char32_t wanted = foldCase(ch);
    for (const auto& widget : widgets_) {
        if (!widget->isVisible() || !widget->isEnabled() || widget->hotkey() == 0 || widget->hotkey() != wanted)
            continue;
        setFocus(widget.get());
        widget->activate();
        return true;
    }
    return false;
}

void CDlgBase::onKey(const Key& key)
{
    if (key.is(KeyCode::Tab)) {
        moveFocus(1);
        return;
    }
    if (key.is(KeyCode::BackTab)) {
        moveFocus(-1);
        return;
    }
    // The focus may have gone to a widget that no longer takes it.
    if (focus_ != nullptr && focus_->isEnabled() && focus_->isVisible() && focus_->handleKey(key))
        return;
    switch (key.code) {
    case KeyCode::Escape:
        onClose();
        return;
    case KeyCode::Enter:
        if (defaultCommand_)
            onCommand(*defaultCommand_);
        return;
    case KeyCode::Left:
    case KeyCode::Up:
        moveFocus(-1);
        return;
    case KeyCode::Right:
    case KeyCode::Down:
        moveFocus(1);
        return;
    case KeyCode::Character:
        if (focus_ == nullptr || !focus_->takesText())
            pressHotkey(key.ch);
        return;
    default:
        return;
    }
}

void CDlgBase::onCommand(int id)
{
    endDialog(id);
}

void CDlgBase::onClose()
{
    if (closeResult_)
        endDialog(*closeResult_);
}

}  // namespace druvex
