#include "text/diag.h"

#include <atomic>
#include <climits>
#include <cstdint>
#include <cstring>
#include <cstdio>
#include <string>

#include "text/terminal_text.h"
#include "text/text_convert.h"

namespace druvex {
namespace {

// Standard error until the log takes over.
class StderrSink final : public DiagSink {
public:
    void writeLine(std::u16string_view text) override
    {
        std::string utf8;
        appendDiagUtf8(utf8, text);
        std::string line = terminalText(utf8);
        line.push_back('\n');
        std::fwrite(line.data(), 1, line.size(), stderr);
    }
    void flush() override { std::fflush(stderr); }
};

// Neither is ever destroyed: threads may report while static objects go.
StderrSink& stderrSink()
{
    static StderrSink* sink = new StderrSink;
    return *sink;
}

std::atomic<DiagSink*>& sinkSlot()
{
    static std::atomic<DiagSink*>* slot = new std::atomic<DiagSink*>(&stderrSink());
    return *slot;
}

DiagSink* orStderr(DiagSink* sink)
{
    return sink ? sink : &stderrSink();
}

constinit std::atomic<DiagSinkMaker> g_sinkMaker{nullptr};

// The installed sink, made first when there is none yet.
DiagSink& sinkForLine()
{
    DiagSink* sink = sinkSlot().load();
    if (sink != &stderrSink())
        return *sink;
    if (const DiagSinkMaker maker = g_sinkMaker.load()) {
        maker();
        sink = sinkSlot().load();
    }
    return *sink;
}

}  // namespace

DiagSink* setDiagSink(DiagSink* sink)
{
    DiagSink* previous = sinkSlot().exchange(orStderr(sink));
    return previous == &stderrSink() ? nullptr : previous;
}

bool replaceDiagSink(DiagSink* expected, DiagSink* sink)
{
    DiagSink* current = orStderr(expected);
    return sinkSlot().compare_exchange_strong(current, orStderr(sink));
}

DiagSink* currentDiagSink()
{
    DiagSink* sink = sinkSlot().load();
    return sink == &stderrSink() ? nullptr : sink;
}

void setDiagSinkMaker(DiagSinkMaker maker)
{
    g_sinkMaker.store(maker);
}

void diagWriteLine(std::u16string_view text)
{
    sinkForLine().writeLine(text);
}

void diagFlush()
{
    sinkForLine().flush();
}

void logPrintfV(const char16_t* format, std::span<const FormatArg> args)
{
    SharedString text;
    text.formatV(format, args);
    diagWriteLine(text.view());
}

void logPrintfAV(const char* format, std::span<const FormatArg> args)
{
    SharedStringA narrow;
    narrow.formatV(format, args);
    diagWriteLine(diagTextFromAnsi(narrow.view()).view());
}

void reportDbgChk(const char* sourceFile, const char* message, int line)
{
    SharedStringA narrow;
    narrow.format("DBGCHK %s %s:%d", message ? message : "", sourceFile ? sourceFile : "", line);
    const SharedString text = diagTextFromAnsi(narrow.view());
    DiagSink& sink = sinkForLine();
    sink.writeLine(text.view());
    sink.flush();
}

void reportDbgChk(const DbgChkSite& site, const char* message)
{
    reportDbgChk(site.sourceFile, message, site.line);
}

SharedString diagTextFromAnsi(std::string_view text)
{
    if (text.empty() || text.size() > INT_MAX)
        return SharedString();
    const int bytes = static_cast<int>(text.size());
    SharedString wide = SharedString::fromCodePage(text.data(), bytes, kCodePageAnsi);
    if (!wide.isEmpty())
        return wide;
    char16_t* units = wide.allocBeforeWrite(bytes);
    for (int i = 0; i < bytes; ++i)
        units[i] = static_cast<unsigned char>(text[static_cast<std::size_t>(i)]);
    wide.releaseBuffer(bytes);
    return wide;
}

void appendDiagUtf8(std::string& out, std::u16string_view text)
{
    // Every unit gives at most three bytes (a surrogate pair four for two).
    const std::size_t start = out.size();
    out.resize(start + 3 * text.size());
    char* const begin = out.data() + start;
    char* p = begin;
    Utf16DecodeState state;
    for (std::size_t i = 0; i < text.size(); ++i) {
        // Runs of ASCII, four units at a time: most of a log line.
        while (!state.pendingHighSurrogates && text.size() - i >= 4) {
            std::uint64_t four;
            std::memcpy(&four, text.data() + i, sizeof four);
            if ((four & 0xFF80FF80FF80FF80ull) != 0)
                break;
            p[0] = static_cast<char>(four);
            p[1] = static_cast<char>(four >> 16);
            p[2] = static_cast<char>(four >> 32);
            p[3] = static_cast<char>(four >> 48);
            p += 4;
            i += 4;
        }
        if (i == text.size())
            break;
        const char16_t unit = text[i];
        if (unit < 0x80 && !state.pendingHighSurrogates) {
            *p++ = static_cast<char>(unit);
            continue;
        }
        const int n = decodeUtf16Unit(state, p, unit);
        if (n >= 0) {
            p += n;
            continue;
        }
        *p++ = '?';
        if (state.pendingHighSurrogates) {
            // The unit after an unpaired high surrogate starts afresh.
            state = {};
            --i;
            continue;
        }
        state = {};
    }
    if (state.pendingHighSurrogates)
        *p++ = '?';
    out.resize(start + static_cast<std::size_t>(p - begin));
}

}  // namespace druvex
