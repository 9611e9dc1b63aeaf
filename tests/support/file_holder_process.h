// Another application holding a file open: a child process ("sleep") whose
// standard input is the file, for as long as the object lives or until it is
// let go.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <filesystem>
#include <string>

namespace druvex::test {

class FileHolderProcess {
public:
    // The file is open when the constructor returns: the spawn returns once
    // the child runs its program, its file actions done.
    explicit FileHolderProcess(const std::filesystem::path& file)
    {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, file.c_str(), O_RDONLY, 0);
        std::string program = "sleep";
        std::string seconds = "600";
        char* argv[] = {program.data(), seconds.data(), nullptr};
        char* envp[] = {nullptr};
        if (posix_spawnp(&pid_, "sleep", &actions, nullptr, argv, envp) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~FileHolderProcess() { release(); }
    FileHolderProcess(const FileHolderProcess&) = delete;
    FileHolderProcess& operator=(const FileHolderProcess&) = delete;

    bool running() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    // The application ends and the file is free again.
    void release()
    {
        if (pid_ <= 0)
            return;
        ::kill(pid_, SIGKILL);
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
};

}  // namespace druvex::test
