// What reaches the terminal of a line that quotes input: printable text as it
// stands, every byte a terminal would obey escaped.
#include "text/terminal_text.h"

#include <gtest/gtest.h>

#include "text/diag.h"

namespace druvex {
namespace {

TEST(TerminalText, ControlsAndBrokenSequencesAreEscaped)
{
    struct Case {
        std::string_view in;
        std::string_view out;
    };
    const Case cases[] = {
        {"\\Program Files\\Druvex \"x\" 100%", "\\Program Files\\Druvex \"x\" 100%"},
        {"Oem\x0BInfo\x05=x", "Oem\\x0bInfo\\x05=x"},
        {"\x1B[2J\x1B]0;title\x07", "\\x1b[2J\\x1b]0;title\\x07"},
        {"tab\tline\nend\r\x7F", "tab\\x09line\\x0aend\\x0d\\x7f"},
        {std::string_view("nul\0", 4), "nul\\x00"},
        {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
        {"csi\xC2\x9B" "1m \xC2\x85 \xC2\xA0", "csi\\u009b1m \\u0085 \xC2\xA0"},
        {"raw\x9B" "1m", "raw\\x9b1m"},
        {"\xC0\x9B \xED\xA0\x80 \xF4\x90\x80\x80 \xE2\x82", "\\xc0\\x9b \\xed\\xa0\\x80 \\xf4\\x90\\x80\\x80 \\xe2\\x82"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(terminalText(c.in), c.out) << c.in;
}

// Lines that reach standard error before the log exists quote input too.
TEST(TerminalText, EarlyDiagnosticsOnStandardErrorAreEscaped)
{
    DiagSink* previous = setDiagSink(nullptr);
    testing::internal::CaptureStderr();
    diagWriteLine(u"device.ini: line 3: \"Oem\u000BInfo\u0005=x\"");
    diagFlush();
    const std::string written = testing::internal::GetCapturedStderr();
    setDiagSink(previous);
    EXPECT_EQ(written, "device.ini: line 3: \"Oem\\x0bInfo\\x05=x\"\n");
}

}  // namespace
}  // namespace druvex
