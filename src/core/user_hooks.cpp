#include "core/user_hooks.h"

#include <atomic>

namespace druvex {
namespace {

std::atomic<UserMessageSink*> g_sink{nullptr};
std::atomic<TextTranslator*> g_translator{nullptr};

// The defaults are never destroyed: a module load that fails while exit
// handlers run still finds them.
UserMessageSink& defaultSink()
{
    static UserMessageSink* sink = new UserMessageSink();
    return *sink;
}

TextTranslator& defaultTranslator()
{
    static TextTranslator* translator = new TextTranslator();
    return *translator;
}

}  // namespace

void UserMessageSink::showMessage(const SharedString&) {}

SharedString TextTranslator::translateNarrow(const char* text)
{
    return SharedString::fromCodePage(text ? text : "", 0);
}

SharedString TextTranslator::translateWide(const char16_t* text)
{
    return SharedString(text ? text : u"");
}

void setUserMessageSink(UserMessageSink* sink)
{
    g_sink.store(sink, std::memory_order_release);
}

UserMessageSink& getUserMessageSink()
{
    UserMessageSink* sink = g_sink.load(std::memory_order_acquire);
    return sink ? *sink : defaultSink();
}

void setTextTranslator(TextTranslator* translator)
{
    g_translator.store(translator, std::memory_order_release);
}

TextTranslator& getTextTranslator()
{
    TextTranslator* translator = g_translator.load(std::memory_order_acquire);
    return translator ? *translator : defaultTranslator();
}

}  // namespace druvex
