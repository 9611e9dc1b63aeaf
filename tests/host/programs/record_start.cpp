// A program for the process tests: it records how it was started, each of
// its arguments (its own name first) followed by a zero byte, in the file
// "started.bin" of the device directory that DRUVEX_DEVICE names, and ends
// with the exit code that its first argument begins with. A first argument
// that begins with "hold" waits instead until a signal ends it (at most two
// minutes, so that a failed test leaves nothing running).
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv)
{
    if (const char* device = std::getenv("DRUVEX_DEVICE")) {
        const std::string path = std::string(device) + "/started.bin";
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0)
            return 100;
        for (int i = 0; i < argc; ++i) {
            if (::write(fd, argv[i], std::strlen(argv[i]) + 1) < 0)
                return 101;
        }
        ::close(fd);
    }
    if (argc > 1 && std::strncmp(argv[1], "hold", 4) == 0) {
        ::alarm(120);
        for (;;)
            ::pause();
    }
    return argc > 1 ? static_cast<int>(std::strtol(argv[1], nullptr, 10)) : 0;
}
