// The early diagnostics sink writes UTF-8 to standard error.
#include <gtest/gtest.h>

#include "text/diag.h"

namespace druvex {
namespace {

std::string writeToStderr(std::u16string_view line)
{
    DiagSink* previous = setDiagSink(nullptr);
    testing::internal::CaptureStderr();
    diagWriteLine(line);
    diagFlush();
    std::string written = testing::internal::GetCapturedStderr();
    setDiagSink(previous);
    return written;
}

TEST(UtfStderrSink, WritesUtf8AndMarksLoneSurrogates)
{
    EXPECT_EQ(writeToStderr(u"plain"), "plain\n");
    EXPECT_EQ(writeToStderr(u"\u00E9\u4E2D\xD83D\xDE00"), "\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80\n");
    // Each unpaired half prints as one '?', and the text around it survives.
    EXPECT_EQ(writeToStderr(u"a\xDE00" u"b\xD83D" u"c\xD83D\xD83D\xDE00" u"d\xD83D"), "a?b?c?\xF0\x9F\x98\x80" "d?\n");
}

}  // namespace
}  // namespace druvex
