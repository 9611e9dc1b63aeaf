// Which other processes hold a file of the host open: the stand-in for a file
// in use, which the device's file system refuses to delete or rename while
// the application that opened it runs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace druvex {

struct FileHolder {
    std::uint32_t processId = 0;
    std::string name;  // the process's command name
};

// True when a process other than this one has the file at `hostPath` open.
bool isFileHeldElsewhere(const std::string& hostPath);

// The processes other than this one that have the file at `hostPath` open,
// by process id; empty when none does or the file does not exist.
std::vector<FileHolder> fileHoldersOf(const std::string& hostPath);

}  // namespace druvex
