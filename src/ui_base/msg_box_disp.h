// MsgBoxDisp: the message-box service. While it lives it is the utility
// library's user-message sink (a text to show becomes a message box) and its
// text translator (keys go through the current translation table).
#pragma once

#include "core/user_hooks.h"
#include "text/shared_string.h"

namespace druvex {

class MsgBoxDisp final : public UserMessageSink, public TextTranslator {
public:
    // Installs itself as the sink and the translator.
    MsgBoxDisp();
    // Installs the defaults again.
    ~MsgBoxDisp() override;
    MsgBoxDisp(const MsgBoxDisp&) = delete;
    MsgBoxDisp& operator=(const MsgBoxDisp&) = delete;

    // An error box with OK, captioned with the program's title.
    void showMessage(const SharedString& text) override;
    SharedString translateNarrow(const char* text) override;
    SharedString translateWide(const char16_t* text) override;
};

}  // namespace druvex
