#include "app/failure_report.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/app_log.h"
#include "platform/device_root.h"
#include "text/terminal_text.h"

namespace druvex {
namespace {

// One line, whatever the text: a reason taken from a message box's text
// keeps its line breaks, and a person or a script reading standard error
// counts on one line per report.
void writeLine(const std::string& text)
{
    std::string line;
    bool inBreak = false;
    for (const char c : text) {
        if (c == '\n' || c == '\r') {
            inBreak = true;
            continue;
        }
        if (inBreak && !line.empty() && line.back() != ' ')
            line += ' ';
        inBreak = false;
        line += c;
    }
    std::fprintf(stderr, "druvex-setup: %s\n", terminalText(line).c_str());
    std::fflush(stderr);
}

// The folder of a host path.
std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
}

// Why nothing can be written into `folder` (or the nearest folder above it
// that exists), as the system words it; empty when it looks writable.
std::string reasonFolderCannotBeWritten(std::string folder)
{
    while (::access(folder.c_str(), F_OK) != 0 && errno == ENOENT && folder.size() > 1)
        folder = folderOf(folder);
    if (::access(folder.c_str(), W_OK | X_OK) == 0)
        return {};
    return std::strerror(errno);
}

// A device path as a person at this machine finds it: its host path.
std::string hostPathOf(const SharedString& devicePath)
{
    std::string host;
    if (DeviceRoot::instance().toHostPath(devicePath.view(), host) != 0)
        return toUtf8(devicePath).c_str();
    return host;
}

}  // namespace

void reportFailure(const SharedString& text)
{
    const SharedString log = AppLog::existingInstance() ? AppLog::existingInstance()->getPath() : SharedString();
    std::string line = toUtf8(text).c_str();
    line += log.isEmpty() ? " (no log could be written)" : " (the log: " + hostPathOf(log) + ")";
    writeLine(line);
}

void reportNotice(const SharedString& text)
{
    writeLine(toUtf8(text).c_str());
}

void reportUnwritableLog()
{
    AppLog* log = AppLog::existingInstance();
    if (!log || log->isOpen())
        return;
    const std::string device = DeviceRoot::instance().deviceDirectory();
    const SharedString failed = log->getFailedPath();
    if (failed.isEmpty()) {
        writeLine("no log can be written on the device " + device);
        return;
    }
    const std::string path = hostPathOf(failed);
    const std::string reason = reasonFolderCannotBeWritten(folderOf(path));
    if (reason.empty()) {
        writeLine("the log " + path + " cannot be written");
        return;
    }
    writeLine("the device folder " + device + " cannot be written (" + reason + "): no log can be made at " + path);
}

}  // namespace druvex
