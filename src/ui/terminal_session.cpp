#include "ui/terminal_session.h"

#include <algorithm>

#include "core/app_log.h"
#include "ui/dlg_base.h"

namespace druvex {

TerminalSession::TerminalSession(std::unique_ptr<TerminalBackend> backend)
    : backend_(std::move(backend)), dispatcher_(std::make_shared<UiDispatcher>()),
      canvas_(backend_->rows(), backend_->columns())
{
}

TerminalSession::~TerminalSession()
{
    dispatcher_->close();
    backend_.reset();
}

Key TerminalSession::nextKey()
{
    for (;;) {
        if (serveQueuedWork())
            return Key::of(KeyCode::None);
        if (dirty_)
            redraw();
        // The user may look into the log, or end the run, while it waits.
        writeLogThrough();
        const Key key = backend_->waitKey(dispatcher_->wakeHandle());
        if (key.is(KeyCode::None))
            continue;
        if (key.is(KeyCode::Resize)) {
            fitToTerminal();
            continue;
        }
        return key;
    }
}

void TerminalSession::redraw()
{
    canvas_.clear();
    for (CDlgBase* dialog : dialogs_) {
        // Only the top dialog may show the cursor.
        canvas_.hideCursor();
        dialog->draw(canvas_);
    }
    backend_->present(canvas_);
    dirty_ = false;
}

void TerminalSession::push(CDlgBase* dialog)
{
    dialogs_.push_back(dialog);
    dialog->layout(canvas_.rows(), canvas_.columns());
    dirty_ = true;
}

void TerminalSession::pop(CDlgBase* dialog)
{
    dialogs_.erase(std::remove(dialogs_.begin(), dialogs_.end(), dialog), dialogs_.end());
    dirty_ = true;
}

bool TerminalSession::serveQueuedWork()
{
    // The queued work is the UI thread's own handling: guarded as a dialog's.
    int served = 0;
    CDlgBase::runHandler([&] { served = dispatcher_->serve(); });
    if (served > 0)
        dirty_ = true;
    return served > 0;
}

void TerminalSession::fitToTerminal()
{
    canvas_.resize(backend_->rows(), backend_->columns());
    for (CDlgBase* dialog : dialogs_)
        dialog->layout(canvas_.rows(), canvas_.columns());
    dirty_ = true;
}

}  // namespace druvex
