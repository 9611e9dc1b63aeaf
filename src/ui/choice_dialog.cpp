#include "ui/choice_dialog.h"

#include <algorithm>

#include "core/app_log.h"
#include "core/translate_text.h"
#include "ui/display_text.h"
#include "ui/terminal_session.h"

namespace druvex {
namespace {

constexpr int kMinimumInnerWidth = 30;
constexpr int kIconColumns = 4;

const char32_t* iconMark(std::uint32_t icon)
{
    switch (icon) {
    case kMbIconError:
        return U"(X)";
    case kMbIconQuestion:
        return U"(?)";
    case kMbIconWarning:
        return U"(!)";
    case kMbIconInformation:
        return U"(i)";
    default:
        return nullptr;
    }
}

int longestLine(std::u16string_view text)
{
    int longest = 0;
    std::size_t start = 0;
    const std::u32string all = toCodePoints(text);
    while (start <= all.size()) {
        std::size_t end = all.find(U'\n', start);
        if (end == std::u32string::npos)
            end = all.size();
        longest = std::max(longest, textColumns(std::u32string_view(all).substr(start, end - start)));
        start = end + 1;
    }
    return longest;
}

const char* buttonKey(int id)
{
    switch (id) {
    case kIdOk:
        return "OK";
    case kIdCancel:
        return "Cancel";
    case kIdAbort:
        return "Abort";
    case kIdRetry:
        return "Retry";
    case kIdIgnore:
        return "Ignore";
    case kIdYes:
        return "Yes";
    case kIdNo:
        return "No";
    default:
        return "?";
    }
}

SharedString oneLine(const SharedString& text)
{
    std::u16string line(text.view());
    std::replace_if(line.begin(), line.end(), [](char16_t unit) { return unit == u'\r' || unit == u'\n'; }, u' ');
    return SharedString(line);
}

}  // namespace

ChoiceDialog::ChoiceDialog(TerminalSession& session, SharedString caption, SharedString text)
    : CDlgBase(session), caption_(std::move(caption))
{
    text_ = &addWidget<ScrollText>(std::move(text));
}

CheckBox& ChoiceDialog::addCheckBox(SharedString text, bool checked)
{
    checkBox_ = &addWidget<CheckBox>(std::move(text), checked);
    return *checkBox_;
}

ListBox& ChoiceDialog::addList(std::vector<SharedString> items)
{
    list_ = &addWidget<ListBox>(std::move(items));
    return *list_;
}

Button& ChoiceDialog::addChoice(SharedString text, int result)
{
    Button& button = addButton(std::move(text), result);
    choices_.emplace_back(&button, result);
    return button;
}

void ChoiceDialog::setDefaultChoice(int result)
{
    defaultChoice_ = result;
    setDefaultCommand(result);
}

void ChoiceDialog::onInitDialog()
{
    for (const auto& [button, result] : choices_) {
        if (defaultChoice_ && result == *defaultChoice_)
            setFocus(button);
    }
}

void ChoiceDialog::layout(int rows, int columns)
{
    const int iconWidth = iconMark(icon_) ? kIconColumns : 0;
    int buttonsWidth = 0;
    for (const auto& [button, result] : choices_)
        buttonsWidth += button->preferredWidth() + 2;
    buttonsWidth = std::max(buttonsWidth - 2, 0);

    int natural = longestLine(text_->text().view()) + iconWidth + 1;
    natural = std::max(natural, buttonsWidth);
    if (checkBox_)
        natural = std::max(natural, longestLine(checkBox_->text().view()) + 4);
    if (list_) {
        for (const SharedString& item : list_->items())
            natural = std::max(natural, longestLine(item.view()) + 2);
    }
    const int maxInner = std::max(columns - 6, 10);
    const int inner = std::clamp(natural, std::min(kMinimumInnerWidth, maxInner), maxInner);

    const int textWidth = inner - iconWidth;
    int textRows = std::max(text_->preferredHeight(textWidth), 1);
    const int listRows = list_ ? list_->preferredHeight(inner) : 0;
    const int checkRows = checkBox_ ? checkBox_->preferredHeight(inner) : 0;
    // Border, blank, text, blank, [list, blank], [check box, blank], buttons, border.
    auto total = [&] { return 5 + textRows + (list_ ? listRows + 1 : 0) + (checkBox_ ? checkRows + 1 : 0); };
    if (total() > rows)
        textRows = std::max(textRows - (total() - rows), 1);

    box_ = Rect{std::max((rows - total()) / 2, 0), std::max((columns - inner - 4) / 2, 0), total(), inner + 4};
    const int left = box_.left + 2;
    int row = box_.top + 2;
    text_->setRect(Rect{row, left + iconWidth, textRows, textWidth});
    row += textRows + 1;
    if (list_) {
        list_->setRect(Rect{row, left + 2, listRows, inner - 2});
        row += listRows + 1;
    }
    if (checkBox_) {
        checkBox_->setRect(Rect{row, left, checkRows, inner});
        row += checkRows + 1;
    }
    int column = box_.left + (box_.width - buttonsWidth) / 2;
    for (const auto& [button, result] : choices_) {
        button->setRect(Rect{row, column, 1, button->preferredWidth()});
        column += button->preferredWidth() + 2;
    }
}

void ChoiceDialog::draw(Canvas& canvas) const
{
    canvas.fill(box_);
    canvas.frame(box_);
    if (!caption_.isEmpty()) {
        const int room = box_.width - 6;
        const int used = canvas.text(box_.top, box_.left + 3, caption_.view(), kStyleBold, room);
        canvas.text(box_.top, box_.left + 2, std::u32string_view(U" "));
        canvas.text(box_.top, box_.left + 3 + used, std::u32string_view(U" "));
    }
    if (const char32_t* mark = iconMark(icon_))
        canvas.text(text_->rect().top, box_.left + 2, std::u32string_view(mark), kStyleBold);
    CDlgBase::draw(canvas);
}

int runMessageBox(TerminalSession& session, const MessageBoxRequest& request)
{
    ChoiceDialog box(session, request.caption, request.text);
    box.setIcon(request.flags);
    const std::vector<int> buttons = messageBoxButtons(request.flags);
    for (int id : buttons)
        box.addChoice(translateText(buttonKey(id)), id);
    box.setDefaultChoice(defaultMessageBoxButton(request.flags));
    if (std::find(buttons.begin(), buttons.end(), kIdCancel) != buttons.end())
        box.setEscapeAnswer(kIdCancel);
    else if (buttons == std::vector<int>{kIdOk})
        box.setEscapeAnswer(kIdOk);
    const int answer = box.doModal();
    logPrintf(u"Message box \"%s\": %s (answered %hs)", oneLine(request.caption), oneLine(request.text),
              buttonKey(answer));
    return answer;
}

TerminalMessageBoxPresenter::TerminalMessageBoxPresenter(TerminalSession& session)
    : session_(&session), dispatcher_(session.sharedDispatcher())
{
}

bool TerminalMessageBoxPresenter::canAsk() const
{
    return !dispatcher_->isClosed();
}

std::optional<int> TerminalMessageBoxPresenter::tryAsk(const MessageBoxRequest& request)
{
    int answer = 0;
    TerminalSession* session = session_;
    if (!dispatcher_->invoke([&] { answer = runMessageBox(*session, request); }))
        return std::nullopt;
    return answer;
}

int TerminalMessageBoxPresenter::ask(const MessageBoxRequest& request)
{
    if (const std::optional<int> answer = tryAsk(request))
        return *answer;
    return defaultMessageBoxButton(request.flags);
}

}  // namespace druvex
