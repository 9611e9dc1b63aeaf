#include "app_base/command_line.h"

#include <string>

namespace druvex {
namespace {

bool isSeparator(char16_t unit)
{
    return unit == u' ' || unit == u'\t';
}

}  // namespace

std::vector<SharedString> splitCommandLine(std::u16string_view commandLine)
{
    std::vector<SharedString> words;
    std::size_t at = 0;
    for (;;) {
        while (at < commandLine.size() && isSeparator(commandLine[at]))
            ++at;
        if (at == commandLine.size())
            return words;

        std::u16string word;
        bool quoted = false;
        while (at < commandLine.size() && (quoted || !isSeparator(commandLine[at]))) {
            std::size_t backslashes = 0;
            while (at < commandLine.size() && commandLine[at] == u'\\') {
                ++backslashes;
                ++at;
            }
            if (at == commandLine.size() || commandLine[at] != u'"') {
                word.append(backslashes, u'\\');
                if (backslashes == 0) {
                    word.push_back(commandLine[at]);
                    ++at;
                }
                continue;
            }
            word.append(backslashes / 2, u'\\');
            if (backslashes % 2 == 1) {
                word.push_back(u'"');
                ++at;
                continue;
            }
            if (quoted && at + 1 < commandLine.size() && commandLine[at + 1] == u'"') {
                word.push_back(u'"');
                at += 2;
                continue;
            }
            quoted = !quoted;
            ++at;
        }
        words.emplace_back(word);
    }
}

SharedString quotedCommandLineWord(const SharedString& text)
{
    const std::u16string_view view = text.view();
    std::u16string quoted(1, u'"');
    std::size_t backslashes = 0;
    for (const char16_t unit : view) {
        if (unit == u'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes count only before a quote, the closing one included.
        quoted.append(unit == u'"' ? backslashes * 2 + 1 : backslashes, u'\\');
        backslashes = 0;
        quoted.push_back(unit);
    }
    quoted.append(backslashes * 2, u'\\');
    quoted.push_back(u'"');
    return SharedString(quoted);
}

SharedString commandLineWord(const SharedString& text)
{
    if (!text.isEmpty() && text.view().find_first_of(u" \t\"") == std::u16string_view::npos)
        return text;
    return quotedCommandLineWord(text);
}

}  // namespace druvex
