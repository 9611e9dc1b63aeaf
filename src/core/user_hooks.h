// The two process-wide hooks through which the user interface shows and
// translates the utility library's messages: a message sink (the library asks
// it to show a text to the user) and a text translator. Until the message-box
// service installs its objects, defaults stand in: the sink shows nothing and
// the translator gives texts back unchanged.
#pragma once

#include "text/shared_string.h"

namespace druvex {

class UserMessageSink {
public:
    virtual ~UserMessageSink() = default;
    // Shows a text to the user. The default shows nothing.
    virtual void showMessage(const SharedString& text);
};

class TextTranslator {
public:
    virtual ~TextTranslator() = default;
    // Translates a narrow text (a translation key). The default converts it
    // from the ANSI code page.
    virtual SharedString translateNarrow(const char* text);
    // Translates a wide text. The default gives a copy.
    virtual SharedString translateWide(const char16_t* text);
};

// Installs the sink (null: the default again). The object must stay alive
// until it is replaced; it may be called from any thread.
void setUserMessageSink(UserMessageSink* sink);
// The installed sink, or the default one.
UserMessageSink& getUserMessageSink();

void setTextTranslator(TextTranslator* translator);
TextTranslator& getTextTranslator();

}  // namespace druvex
