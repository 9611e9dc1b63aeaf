// Command lines: the device's splitting rules, and quoting that brings any
// text back as one word.
#include "app_base/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/shared_string_print.h"

namespace druvex {
namespace {

std::vector<std::u16string> split(std::u16string_view line)
{
    std::vector<std::u16string> words;
    for (const SharedString& word : splitCommandLine(line))
        words.emplace_back(word.view());
    return words;
}

TEST(CommandLine, SplitsByTheDevicesRules)
{
    const struct {
        std::u16string_view line;
        std::vector<std::u16string> words;
    } rows[] = {
        {u"", {}},
        {u"  \t ", {}},
        {u"silent_mode  update_mode\tfeatures", {u"silent_mode", u"update_mode", u"features"}},
        {u"use_config \"\\My Documents\\a b.xml\" x", {u"use_config", u"\\My Documents\\a b.xml", u"x"}},
        {u"a\"b c\"d", {u"ab cd"}},
        {u"\"\" x", {u"", u"x"}},
        {u"\\\\server\\share\\", {u"\\\\server\\share\\"}},
        {u"\"a\\\\\" b", {u"a\\", u"b"}},
        {u"\"a\\\"b\"", {u"a\"b"}},
        {u"\"say \"\"hi\"\"\"", {u"say \"hi\""}},
        {u"\"open at the end", {u"open at the end"}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(split(row.line), row.words) << toUtf8(SharedString(row.line)).c_str();
}

TEST(CommandLine, QuotedWordsComeBackWhole)
{
    const struct {
        const char16_t* text;
        const char16_t* word;
    } rows[] = {
        {u"\\Temp\\cfg.xml", u"\\Temp\\cfg.xml"},
        {u"/r/my cfg.xml", u"\"/r/my cfg.xml\""},
        {u"tab\there", u"\"tab\there\""},
        {u"", u"\"\""},
        {u"\\Folder with blank\\", u"\"\\Folder with blank\\\\\""},
        {u"a\"b", u"\"a\\\"b\""},
        {u"a\\\"b c", u"\"a\\\\\\\"b c\""},
    };
    for (const auto& row : rows) {
        const SharedString text(row.text);
        const SharedString word = commandLineWord(text);
        EXPECT_EQ(word, SharedString(row.word));
        const SharedString line = SharedString(u"before ") + word + u" after";
        EXPECT_EQ(split(line.view()), (std::vector<std::u16string>{u"before", row.text, u"after"}))
            << toUtf8(line).c_str();
        EXPECT_EQ(split((SharedString(u"x ") + quotedCommandLineWord(text)).view()),
                  (std::vector<std::u16string>{u"x", row.text}));
    }
}

}  // namespace
}  // namespace druvex
