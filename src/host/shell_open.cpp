#include "host/shell_open.h"

#include <string>
#include <string_view>

#include "fileutil/operation_log.h"
#include "hal/hal_access.h"
#include "platform/process.h"
#include "text/char_class.h"

namespace druvex {

namespace {

std::u16string_view extensionOf(std::u16string_view path)
{
    const std::size_t separator = path.find_last_of(u"\\/");
    const std::u16string_view name = separator == std::u16string_view::npos ? path : path.substr(separator + 1);
    const std::size_t dot = name.rfind(u'.');
    return dot == std::u16string_view::npos ? std::u16string_view() : name.substr(dot + 1);
}

// The command's rest with its placeholders filled in one pass, so that a
// file or parameter that holds "%1" itself stays as it is.
std::u16string fillPlaceholders(std::u16string_view rest, std::u16string_view file, std::u16string_view parameters,
                                bool& namesFile)
{
    std::u16string out;
    namesFile = false;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        const char16_t next = i + 1 < rest.size() ? rest[i + 1] : 0;
        if (rest[i] == u'%' && (next == u'1' || next == u'L')) {
            out += file;
            namesFile = true;
            ++i;
        } else if (rest[i] == u'%' && next == u'*') {
            out += parameters;
            ++i;
        } else {
            out += rest[i];
        }
    }
    return out;
}

// Splits a registered command into its program and the rest.
void splitCommand(std::u16string_view command, std::u16string& program, std::u16string& rest)
{
    const std::size_t start = command.find_first_not_of(u' ');
    command = start == std::u16string_view::npos ? std::u16string_view() : command.substr(start);
    std::size_t end = 0;
    if (!command.empty() && command.front() == u'"') {
        end = command.find(u'"', 1);
        program.assign(command.substr(1, end == std::u16string_view::npos ? end : end - 1));
        end = end == std::u16string_view::npos ? command.size() : end + 1;
    } else {
        end = std::min(command.find(u' '), command.size());
        program.assign(command.substr(0, end));
    }
    rest.assign(command.substr(end));
    const std::size_t first = rest.find_first_not_of(u' ');
    rest.erase(0, first == std::u16string::npos ? rest.size() : first);
}

bool start(HalAccess& host, const SharedString& program, const SharedString& commandLine)
{
    ProcessInformation process;
    if (!host.createProcess(program, commandLine, 0, process))
        return false;
    closeProcessHandle(process.process);
    closeProcessHandle(process.thread);
    return true;
}

}  // namespace

bool shellOpenFile(HalAccess& host, const SharedString& file, const SharedString& parameters)
{
    if (file.isEmpty())
        return false;
    const std::u16string_view extension = extensionOf(file.view());
    if (equalsNoCase(extension, u"exe"))
        return start(host, file, parameters);

    SharedString type;
    SharedString command;
    if (extension.empty() ||
        !host.readRegistryStringValue(kRegistryClassesRoot, u"." + SharedString(extension), 0, SharedString(), type) ||
        type.isEmpty() ||
        !host.readRegistryStringValue(kRegistryClassesRoot, type + u"\\shell\\open\\command", 0, SharedString(),
                                      command)) {
        logInfo((u"No program is registered to open " + file).view());
        return false;
    }
    std::u16string program;
    std::u16string rest;
    splitCommand(command.view(), program, rest);
    bool namesFile = false;
    std::u16string commandLine = fillPlaceholders(rest, file.view(), parameters.view(), namesFile);
    if (!namesFile)
        commandLine += (commandLine.empty() ? u"\"" : u" \"") + std::u16string(file.view()) + u"\"";
    return start(host, SharedString(std::u16string_view(program)), SharedString(std::u16string_view(commandLine)));
}

}  // namespace druvex
