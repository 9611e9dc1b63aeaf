// Assertion reports name the site they stand for, and log lines written from
// any layer reach the sink in the order they were made.
#include <gtest/gtest.h>

#include <source_location>
#include <string>
#include <vector>

#include "support/diag_capture.h"
#include "text/assertion_sites.h"
#include "text/diag.h"
#include "text/shared_string.h"

namespace druvex {
namespace {

using Lines = std::vector<std::u16string>;

std::u16string reportLine(const char* message, const char* file, int line)
{
    SharedString text;
    text.format(u"DBGCHK %hs %hs:%d", message, file, line);
    return std::u16string(text.view());
}

// Reports on behalf of its caller, as joinThread does.
void checkForCaller(const char* message, std::source_location caller = std::source_location::current())
{
    reportDbgChk(DbgChkSite::of(caller), message);
}

TEST(AssertionReport, EachStyleNamesTheSiteItStandsFor)
{
    test::DiagCapture capture;
    const int hereLine = __LINE__ + 1;
    DRUVEX_DBGCHK("here");
    const int callerLine = __LINE__ + 1;
    checkForCaller("for the caller");
    reportDbgChk(kCheckUnknownPageId);
    reportDbgChk(kCheckHalObjectWithoutHost, "Hal object without a host");
    EXPECT_EQ(capture.lines(), (Lines{reportLine("here", __FILE__, hereLine),
                                      reportLine("for the caller", __FILE__, callerLine),
                                      u"DBGCHK  source/dq/instlogic/InstallerController:1251",
                                      u"DBGCHK Hal object without a host HalAccessLuaWrapper:69"}));
}

TEST(AssertionReport, ASiteReportsAsTheSourceAndLineWouldWithNoMessageNull)
{
    test::DiagCapture capture;
    reportDbgChk(DbgChkSite{"a\\b", 12});
    reportDbgChk(DbgChkSite{"a\\b", 12}, nullptr);
    reportDbgChk("a\\b", "", 12);
    EXPECT_EQ(capture.lines(), (Lines(3, u"DBGCHK  a\\b:12")));
}

TEST(LogLines, AFormatsOwnReportComesBeforeItsLine)
{
    test::DiagCapture capture;
    logPrintf(u"%s=%d", u"k", 12);
    logPrintf(u"missing %d");  // the printf engine reports the conversion it cannot fill
    logPrintfA("%s|%ls", "n", u"w");
    const Lines lines = capture.lines();
    ASSERT_EQ(lines.size(), 4u) << testing::PrintToString(lines);
    EXPECT_EQ(lines[0], u"k=12");
    EXPECT_TRUE(lines[1].starts_with(u"DBGCHK printf: no argument left"));
    EXPECT_EQ(lines[2], u"missing ");
    EXPECT_EQ(lines[3], u"n|w");
}

}  // namespace
}  // namespace druvex
