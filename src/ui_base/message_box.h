// Message boxes: a text, a caption and the buttons and icon of the device's
// style flags, answered with the id of the button chosen. A presenter shows
// the box to a person (the terminal user interface installs one); when none
// can reach a person, or in a silent run, the box never waits: its text is
// logged and its default button is the answer.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/window_model.h"
#include "text/shared_string.h"

namespace druvex {

// The button sets of the style flags (the low four bits).
constexpr std::uint32_t kMbOk = 0x0;
constexpr std::uint32_t kMbOkCancel = 0x1;
constexpr std::uint32_t kMbAbortRetryIgnore = 0x2;
constexpr std::uint32_t kMbYesNoCancel = 0x3;
constexpr std::uint32_t kMbYesNo = 0x4;
constexpr std::uint32_t kMbRetryCancel = 0x5;
constexpr std::uint32_t kMbButtonsMask = 0xF;
// Icons.
constexpr std::uint32_t kMbIconError = 0x10;
constexpr std::uint32_t kMbIconQuestion = 0x20;
constexpr std::uint32_t kMbIconWarning = 0x30;
constexpr std::uint32_t kMbIconInformation = 0x40;
constexpr std::uint32_t kMbIconMask = 0xF0;
// Which button is the default one: the first unless one of these says otherwise.
constexpr std::uint32_t kMbDefaultButton2 = 0x100;
constexpr std::uint32_t kMbDefaultButton3 = 0x200;
constexpr std::uint32_t kMbDefaultButton4 = 0x300;
constexpr std::uint32_t kMbDefaultButtonMask = 0xF00;

// The answers: the ids of the buttons.
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdAbort = 3;
constexpr int kIdRetry = 4;
constexpr int kIdIgnore = 5;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

// The buttons of the flags in the order they show; an unknown set shows OK.
std::vector<int> messageBoxButtons(std::uint32_t flags);
// The button a box answers when no one chooses: the first of its buttons, or
// the one its default-button flag names when the box has that many.
int defaultMessageBoxButton(std::uint32_t flags);

struct MessageBoxRequest {
    // The window the box belongs to; 0 for a box of its own (the platform's
    // box rather than the toolkit's styled one).
    WindowHandle owner = 0;
    SharedString text;
    SharedString caption;
    std::uint32_t flags = kMbOk;
};

// Shows boxes to a person.
class MessageBoxPresenter {
public:
    virtual ~MessageBoxPresenter() = default;
    // Whether a person can answer now (a terminal is there to ask on).
    virtual bool canAsk() const = 0;
    // Shows the box and waits for the choice; answers a button id of the box.
    virtual int ask(const MessageBoxRequest& request) = 0;
};

// Installs the presenter (null: none, every box is logged and answered with
// its default button). Any thread may call.
void setMessageBoxPresenter(std::shared_ptr<MessageBoxPresenter> presenter);
// A silent run shows no box whatever presenter is installed.
void setSilentRun(bool silent);
bool isSilentRun();

// Whether a box shown now would reach a person (not a silent run, and the
// presenter can ask); otherwise it is only logged.
bool canShowMessageBox();

// Shows the box and answers the id of the button chosen.
int showMessageBoxOwned(WindowHandle owner, const SharedString& text, const SharedString& caption,
                        std::uint32_t flags);

}  // namespace druvex
