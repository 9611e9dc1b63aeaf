// Logs a few lines and ends; "busy" leaves a thread logging while the program
// exits, as a worker may; "early" has an assertion report and a platform line
// come before the first logged line. Used by the log rotation test.
#include <atomic>
#include <cstdint>
#include <cstring>
#include <thread>

#include "core/app_log.h"
#include "core/ini_file.h"

int main(int argc, char** argv)
{
    using namespace druvex;
    if (argc > 2 && std::strcmp(argv[2], "early") == 0) {
        // A line the ini reader refuses reports an assertion from the library.
        const std::uint8_t refused[] = {' ', 'x'};
        IniFile().parse(refused, sizeof refused);
        diagWriteLine(u"an early platform line");
    }
    logPrintf(u"run %hs", argc > 1 ? argv[1] : "");
    if (argc > 2 && std::strcmp(argv[2], "busy") == 0) {
        static std::atomic<unsigned> lines{0};
        std::thread([] {
            for (unsigned i = 0;; ++i) {
                logPrintf(u"busy %u", i);
                lines.fetch_add(1);
            }
        }).detach();
        while (lines.load() < 100)
            std::this_thread::yield();
    }
    logPrintfA("%s", "done");
    return 0;
}
