#include "core/text/diag.h"

#include <atomic>
#include <cstdio>
#include <string>

namespace druvex {
namespace {

// Standard error until the log takes over. Non-ASCII units print as '?': this
// sink only ever sees early start-up and test output.
class StderrSink final : public DiagSink {
public:
    void writeLine(std::u16string_view text) override
    {
        std::string line;
        line.reserve(text.size() + 1);
        for (char16_t unit : text)
            line.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
        line.push_back('\n');
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
