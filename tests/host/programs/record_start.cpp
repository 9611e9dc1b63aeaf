// A program for the process tests: it records how it was started, each of
// its arguments (its own name first) followed by a zero byte, in the file
// "started.bin" of the device directory that DRUVEX_DEVICE names, and ends
// with the exit code that its first argument begins with. A first argument
// that begins with "hold" waits instead until a signal ends it (at most two
// minutes, so that a failed test leaves nothing running). Where the caller
// fixes the command line, the file "record_start.answer" of the device
// directory, when there is one, takes the first argument's place.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv)
{
    std::string answer = argc > 1 ? argv[1] : "";
    if (const char* device = std::getenv("DRUVEX_DEVICE")) {
        const std::string answerPath = std::string(device) + "/record_start.answer";
        const int answerFd = ::open(answerPath.c_str(), O_RDONLY);
        if (answerFd >= 0) {
            char buffer[64] = {};
            const ssize_t count = ::read(answerFd, buffer, sizeof buffer - 1);
            ::close(answerFd);
            answer.assign(buffer, count > 0 ? static_cast<std::size_t>(count) : 0);
        }
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
    if (answer.compare(0, 4, "hold") == 0) {
        ::alarm(120);
        for (;;)
            ::pause();
    }
    return static_cast<int>(std::strtol(answer.c_str(), nullptr, 10));
}
