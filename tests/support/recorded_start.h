// What the recording program of the process tests (record_start) saw when it
// last ran on a device, its arguments with its own name first; and waiting
// for a child that nobody waits on.
#pragma once

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace druvex::test {

// Empty when it has not run on the device.
inline std::vector<std::string> recordedArguments(const std::filesystem::path& deviceDirectory)
{
    std::ifstream in(deviceDirectory / "started.bin", std::ios::binary);
    std::vector<std::string> arguments;
    for (std::string argument; std::getline(in, argument, '\0');)
        arguments.push_back(argument);
    return arguments;
}

// Blocks until the child `pid` has ended; at once when it has been reaped.
inline void awaitChildEnd(pid_t pid)
{
    const int fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (fd < 0) {
        ASSERT_EQ(errno, ESRCH);
        return;
    }
    pollfd entry{fd, POLLIN, 0};
    while (::poll(&entry, 1, -1) < 0 && errno == EINTR) {
    }
    ::close(fd);
}

}  // namespace druvex::test
