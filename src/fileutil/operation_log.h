// The operation log: the fixed lines that the installation engine, the
// package unpacker, the downloader and the 7z writer write into the
// application log about files, folders, downloads and failed calls. The texts
// are the log's own and are written exactly as they stand.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace druvex {

// One information line holding the text.
void logInfo(std::u16string_view text);
// One error line: "********** " + text + " **********".
void logError(std::u16string_view text);

// The error line "Error invoking <what>. Error code is <code>" (code unsigned).
void logInvokeError(std::u16string_view what, std::uint32_t code);
// logInvokeError with the calling thread's last system error.
void logLastError(std::u16string_view what);

// "Created file <path>", or the error line "Failed to create file <path>";
// " in administrator stub" is appended for the administrator side.
void logFileCreated(std::u16string_view path, bool success, bool administrator);
// The same with "Created folder " and "Failed to create folder ".
void logFolderCreated(std::u16string_view path, bool success, bool administrator);

// The error lines "Failed writing to file" and "Failed closing the file".
void logWriteFailed();
void logCloseFailed();

// "<--- Starting downloading file at <url>".
void logDownloadStart(std::u16string_view url);
// "<--- Download of file at <url> returned <status>" (status signed).
void logDownloadResult(std::u16string_view url, std::int32_t status);
// With headers: the error line "Error during parseForHttpResultOk", the
// headers as one plain line, then an error line with an empty text. Without:
// the error line "parseForHttpResultOk returned empty headers".
void logHttpResultParseError(std::u16string_view headers);

}  // namespace druvex
