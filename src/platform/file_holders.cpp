#include "platform/file_holders.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>

namespace druvex {

namespace {

bool isProcessId(const char* name)
{
    if (*name == '\0')
        return false;
    for (const char* c = name; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9')
            return false;
    }
    return true;
}

bool holdsFile(const std::string& fdFolder, const struct stat& file)
{
    DIR* folder = ::opendir(fdFolder.c_str());
    if (folder == nullptr)
        return false;
    bool holds = false;
    while (const dirent* entry = ::readdir(folder)) {
        if (entry->d_name[0] == '.')
            continue;
        struct stat status {};
        if (::stat((fdFolder + "/" + entry->d_name).c_str(), &status) == 0 && status.st_dev == file.st_dev &&
            status.st_ino == file.st_ino) {
            holds = true;
            break;
        }
    }
    ::closedir(folder);
    return holds;
}

std::string commandName(const std::string& processFolder)
{
    std::ifstream comm(processFolder + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

// Scans every process's open files; `firstOnly` stops at the first holder.
std::vector<FileHolder> scanHolders(const std::string& hostPath, bool firstOnly)
{
    std::vector<FileHolder> holders;
    struct stat file {};
    if (::stat(hostPath.c_str(), &file) != 0 || !S_ISREG(file.st_mode))
        return holders;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr)
        return holders;
    const pid_t self = ::getpid();
    while (const dirent* entry = ::readdir(proc)) {
        if (!isProcessId(entry->d_name))
            continue;
        const auto id = static_cast<pid_t>(std::strtol(entry->d_name, nullptr, 10));
        if (id == self)
            continue;
        const std::string folder = std::string("/proc/") + entry->d_name;
        if (!holdsFile(folder + "/fd", file))
            continue;
        holders.push_back(FileHolder{static_cast<std::uint32_t>(id), commandName(folder)});
        if (firstOnly)
            break;
    }
    ::closedir(proc);
    std::sort(holders.begin(), holders.end(),
              [](const FileHolder& a, const FileHolder& b) { return a.processId < b.processId; });
    return holders;
}

}  // namespace

bool isFileHeldElsewhere(const std::string& hostPath)
{
    // A write lease is granted only while no other descriptor of the file is
    // open anywhere: one call answers for the common case without walking
    // every process (a removal asks it for every file). Refused, the file may
    // be no regular file, or on a file system without leases, or the
    // descriptor open elsewhere this process's own, which the scan tells apart.
    const int fd = ::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return false;
    // The lease goes with the descriptor.
    if (::fcntl(fd, F_SETLEASE, F_WRLCK) == 0) {
        ::close(fd);
        return false;
    }
    struct stat status {};
    const bool regular = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
    ::close(fd);
    return regular && !scanHolders(hostPath, true).empty();
}

std::vector<FileHolder> fileHoldersOf(const std::string& hostPath)
{
    return scanHolders(hostPath, false);
}

}  // namespace druvex
