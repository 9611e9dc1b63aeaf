#include "ui_base/msg_box_disp.h"

#include "core/translate_text.h"
#include "ui_base/message_box.h"

namespace druvex {

MsgBoxDisp::MsgBoxDisp()
{
    setUserMessageSink(this);
    setTextTranslator(this);
}

MsgBoxDisp::~MsgBoxDisp()
{
    setUserMessageSink(nullptr);
    setTextTranslator(nullptr);
}

void MsgBoxDisp::showMessage(const SharedString& text)
{
    showMessageBoxOwned(0, text, SharedString(u"DRUVEX Installer"), kMbOk | kMbIconError);
}

SharedString MsgBoxDisp::translateNarrow(const char* text)
{
    return translateText(text);
}

SharedString MsgBoxDisp::translateWide(const char16_t* text)
{
    return translateTextW(text);
}

}  // namespace druvex
