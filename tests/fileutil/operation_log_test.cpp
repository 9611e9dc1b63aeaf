// The operation log's lines, exactly as the log receives them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fileutil/operation_log.h"
#include "platform/win_error.h"
#include "support/diag_capture.h"

namespace druvex {
namespace {

using Lines = std::vector<std::u16string>;

TEST(OperationLog, LinesAreWrittenAsTheyStand)
{
    struct Case {
        void (*write)();
        Lines lines;
    } cases[] = {
        {[] { logInfo(u"plain text"); }, {u"plain text"}},
        {[] { logError(u"Cannot open \\a.txt"); }, {u"********** Cannot open \\a.txt **********"}},
        {[] { logInvokeError(u"CreateProcess", 0xFFFFFFFFu); },
         {u"********** Error invoking CreateProcess. Error code is 4294967295 **********"}},
        {[] { logFileCreated(u"\\p\\f.exe", true, false); }, {u"Created file \\p\\f.exe"}},
        {[] { logFileCreated(u"\\p\\f.exe", true, true); }, {u"Created file \\p\\f.exe in administrator stub"}},
        {[] { logFileCreated(u"\\p\\f.exe", false, true); },
         {u"********** Failed to create file \\p\\f.exe in administrator stub **********"}},
        {[] { logFolderCreated(u"\\p", true, false); }, {u"Created folder \\p"}},
        {[] { logFolderCreated(u"\\p", false, false); }, {u"********** Failed to create folder \\p **********"}},
        {[] { logWriteFailed(); }, {u"********** Failed writing to file **********"}},
        {[] { logCloseFailed(); }, {u"********** Failed closing the file **********"}},
        {[] { logDownloadStart(u"http://h/x.cab"); }, {u"<--- Starting downloading file at http://h/x.cab"}},
        {[] { logDownloadResult(u"http://h/x.cab", -3); }, {u"<--- Download of file at http://h/x.cab returned -3"}},
        {[] { logDownloadResult(u"u", 200); }, {u"<--- Download of file at u returned 200"}},
        {[] { logHttpResultParseError(u"HTTP/1.1 500 Oops\r\nServer: x"); },
         {u"********** Error during parseForHttpResultOk **********", u"HTTP/1.1 500 Oops\r\nServer: x",
          u"**********  **********"}},
        {[] { logHttpResultParseError(u""); }, {u"********** parseForHttpResultOk returned empty headers **********"}},
    };
    for (const Case& c : cases) {
        test::DiagCapture capture;
        c.write();
        EXPECT_EQ(capture.lines(), c.lines);
    }
}

TEST(OperationLog, LastErrorIsThatOfTheCallingThread)
{
    test::DiagCapture capture;
    setLastError(kErrorAccessDenied);
    logLastError(u"DeleteFile");
    EXPECT_EQ(capture.lines(), Lines{u"********** Error invoking DeleteFile. Error code is 5 **********"});
}

}  // namespace
}  // namespace druvex
