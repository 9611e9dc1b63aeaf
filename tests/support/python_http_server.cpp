#include "support/python_http_server.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

extern char** environ;

namespace druvex::test {

PythonHttpServer::PythonHttpServer(const std::filesystem::path& folder)
{
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0)
        return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe[1], STDOUT_FILENO);
    // Its request log would only clutter the test output.
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const std::string directory = folder.string();
    // Port 0: the system picks a free one, which the first line names.
    std::vector<const char*> argv = {"python3", "-u", "-m", "http.server", "0", "--bind", "127.0.0.1",
                                     "--directory", directory.c_str(), nullptr};
    const int spawned = ::posix_spawnp(&pid_, "python3", &actions, nullptr, const_cast<char* const*>(argv.data()),
                                       environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipe[1]);
    if (spawned != 0) {
        pid_ = -1;
        ::close(pipe[0]);
        return;
    }
    // "Serving HTTP on 127.0.0.1 port <n> (http://127.0.0.1:<n>/) ..."
    std::string line;
    char ch;
    while (line.size() < 512 && ::read(pipe[0], &ch, 1) == 1 && ch != '\n')
        line += ch;
    ::close(pipe[0]);
    unsigned port = 0;
    if (std::sscanf(line.c_str(), "Serving HTTP on 127.0.0.1 port %u", &port) == 1 && port > 0 && port < 65536)
        port_ = static_cast<std::uint16_t>(port);
}

PythonHttpServer::~PythonHttpServer()
{
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
}

std::string PythonHttpServer::url(std::string_view path) const
{
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

}  // namespace druvex::test
