#include "ui_base/message_box.h"

#include <atomic>

#include "core/app_log.h"
#include "text/mutex.h"

namespace druvex {
namespace {

Mutex g_presenterMutex;
std::shared_ptr<MessageBoxPresenter> g_presenter GUARDED_BY(g_presenterMutex);
std::atomic<bool> g_silent{false};

std::shared_ptr<MessageBoxPresenter> currentPresenter()
{
    MutexLock lock(g_presenterMutex);
    return g_presenter;
}

const char16_t* buttonName(int id)
{
    switch (id) {
    case kIdOk:
        return u"OK";
    case kIdCancel:
        return u"Cancel";
    case kIdAbort:
        return u"Abort";
    case kIdRetry:
        return u"Retry";
    case kIdIgnore:
        return u"Ignore";
    case kIdYes:
        return u"Yes";
    case kIdNo:
        return u"No";
    default:
        return u"?";
    }
}

// A log line is one line: the box's line breaks become blanks.
SharedString oneLine(const SharedString& text)
{
    std::u16string line(text.view());
    for (char16_t& unit : line) {
        if (unit == u'\r' || unit == u'\n')
            unit = u' ';
    }
    return SharedString(line);
}

}  // namespace

std::vector<int> messageBoxButtons(std::uint32_t flags)
{
    switch (flags & kMbButtonsMask) {
    case kMbOkCancel:
        return {kIdOk, kIdCancel};
    case kMbAbortRetryIgnore:
        return {kIdAbort, kIdRetry, kIdIgnore};
    case kMbYesNoCancel:
        return {kIdYes, kIdNo, kIdCancel};
    case kMbYesNo:
        return {kIdYes, kIdNo};
    case kMbRetryCancel:
        return {kIdRetry, kIdCancel};
    default:
        return {kIdOk};
    }
}

int defaultMessageBoxButton(std::uint32_t flags)
{
    const std::vector<int> buttons = messageBoxButtons(flags);
    const std::size_t named = (flags & kMbDefaultButtonMask) >> 8;
    return named < buttons.size() ? buttons[named] : buttons.front();
}

void setMessageBoxPresenter(std::shared_ptr<MessageBoxPresenter> presenter)
{
    MutexLock lock(g_presenterMutex);
    g_presenter = std::move(presenter);
}

void setSilentRun(bool silent)
{
    g_silent.store(silent);
}

bool isSilentRun()
{
    return g_silent.load();
}

bool canShowMessageBox()
{
    const std::shared_ptr<MessageBoxPresenter> presenter = currentPresenter();
    return !isSilentRun() && presenter && presenter->canAsk();
}

int showMessageBoxOwned(WindowHandle owner, const SharedString& text, const SharedString& caption,
                        std::uint32_t flags)
{
    const std::shared_ptr<MessageBoxPresenter> presenter = currentPresenter();
    if (!isSilentRun() && presenter && presenter->canAsk())
        return presenter->ask(MessageBoxRequest{owner, text, caption, flags});
    // Nobody could answer: waiting would hang an unattended run for good.
    const int answer = defaultMessageBoxButton(flags);
    logPrintf(u"Message box \"%s\": %s (answered %s)", oneLine(caption), oneLine(text), buttonName(answer));
    return answer;
}

}  // namespace druvex
