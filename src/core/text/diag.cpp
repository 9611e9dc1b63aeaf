#include "core/text/diag.h"

#include <atomic>
#include <cstdio>
#include <string>

#include "core/text/text_convert.h"

namespace druvex {
namespace {

// UTF-8 of a log line for standard error. A line may hold a lone surrogate
// (text from a file or a window); each one prints as '?' rather than losing
// the whole line.
std::string lineToUtf8(std::u16string_view text)
{
    std::string line;
    line.reserve(text.size() + 1);
    Utf16DecodeState state;
    char bytes[4];
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int n = decodeUtf16Unit(state, bytes, text[i]);
        if (n >= 0) {
            line.append(bytes, static_cast<std::size_t>(n));
            continue;
        }
        line.push_back('?');
        if (state.pendingHighSurrogates) {
            // The unit after an unpaired high surrogate starts afresh.
            state = {};
            --i;
            continue;
        }
        state = {};
    }
    if (state.pendingHighSurrogates)
        line.push_back('?');
    line.push_back('\n');
    return line;
}

// Standard error until the log takes over.
class StderrSink final : public DiagSink {
public:
    void writeLine(std::u16string_view text) override
    {
        const std::string line = lineToUtf8(text);
        std::fwrite(line.data(), 1, line.size(), stderr);
    }
    void flush() override { std::fflush(stderr); }
};

StderrSink g_stderrSink;
std::atomic<DiagSink*> g_sink{&g_stderrSink};

}  // namespace

DiagSink* setDiagSink(DiagSink* sink)
{
    DiagSink* previous = g_sink.exchange(sink ? sink : &g_stderrSink);
    return previous == &g_stderrSink ? nullptr : previous;
}

void diagWriteLine(std::u16string_view text)
{
    g_sink.load()->writeLine(text);
}

void diagFlush()
{
    g_sink.load()->flush();
}

void reportDbgChk(const char* sourceFile, const char* message, int line)
{
    std::u16string text = u"DBGCHK ";
    for (const char* p = message ? message : ""; *p; ++p)
        text.push_back(static_cast<unsigned char>(*p));
    text.push_back(u' ');
    for (const char* p = sourceFile ? sourceFile : ""; *p; ++p)
        text.push_back(static_cast<unsigned char>(*p));
    text.push_back(u':');
    for (char c : std::to_string(line))
        text.push_back(static_cast<char16_t>(c));
    DiagSink* sink = g_sink.load();
    sink->writeLine(text);
    sink->flush();
}

}  // namespace druvex
