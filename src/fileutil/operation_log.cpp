#include "fileutil/operation_log.h"

#include <initializer_list>
#include <string>

#include "core/app_log.h"
#include "platform/win_error.h"
#include "text/shared_string.h"

namespace druvex {
namespace {

// One line of the application log (made on first use), as it stands.
void writeLine(std::u16string_view text)
{
    logPrintf(u"%s", text);
}

std::u16string concat(std::initializer_list<std::u16string_view> parts)
{
    std::u16string line;
    for (const std::u16string_view part : parts)
        line += part;
    return line;
}

constexpr std::u16string_view kAdministratorSuffix = u" in administrator stub";

void logCreated(std::u16string_view created, std::u16string_view failed, std::u16string_view path, bool success,
                bool administrator)
{
    const std::u16string_view suffix = administrator ? kAdministratorSuffix : std::u16string_view();
    if (success)
        logInfo(concat({created, path, suffix}));
    else
        logError(concat({failed, path, suffix}));
}

}  // namespace

void logInfo(std::u16string_view text)
{
    writeLine(text);
}

void logError(std::u16string_view text)
{
    writeLine(concat({u"********** ", text, u" **********"}));
    // An error is what a person opens the log for, also while the run goes
    // on or waits, or after it was killed.
    writeLogThrough();
}

void logInvokeError(std::u16string_view what, std::uint32_t code)
{
    logError(SharedString().format(u"Error invoking %s. Error code is %u", what, code).view());
}

void logLastError(std::u16string_view what)
{
    logInvokeError(what, getLastError());
}

void logFileCreated(std::u16string_view path, bool success, bool administrator)
{
    logCreated(u"Created file ", u"Failed to create file ", path, success, administrator);
}

void logFolderCreated(std::u16string_view path, bool success, bool administrator)
{
    logCreated(u"Created folder ", u"Failed to create folder ", path, success, administrator);
}

void logWriteFailed()
{
    logError(u"Failed writing to file");
}

void logCloseFailed()
{
    logError(u"Failed closing the file");
}

void logDownloadStart(std::u16string_view url)
{
    logInfo(concat({u"<--- Starting downloading file at ", url}));
}

void logDownloadResult(std::u16string_view url, std::int32_t status)
{
    logInfo(SharedString().format(u"<--- Download of file at %s returned %d", url, status).view());
}

void logHttpResultParseError(std::u16string_view headers)
{
    if (headers.empty()) {
        logError(u"parseForHttpResultOk returned empty headers");
        return;
    }
    logError(u"Error during parseForHttpResultOk");
    logInfo(headers);
    logError(std::u16string_view());
}

}  // namespace druvex
