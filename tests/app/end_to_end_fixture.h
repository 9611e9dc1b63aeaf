// The runs of end-to-end tests: the real druvex-setup program started on the
// test device with its words, its standard output read line by line as it
// comes, its exit status and the log it wrote beside itself.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <openssl/sha.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "product_fixture.h"
#include "support/tmux_session.h"

extern char** environ;

namespace druvex::test {

// A device.ini whose root store has `free` bytes free.
inline std::string deviceIniWithFree(std::uint64_t free)
{
    return "[Device]\nForceDeviceType=18\nOsVersion=5.2\n\n[Store:\\]\nTotal=8589934592\nFree=" + std::to_string(free) +
           "\n";
}

// The SHA-1 of the bytes as an update bulletin gives a package's digest: 40
// upper-case hexadecimal digits.
inline std::string hexSha1(const Bytes& bytes)
{
    unsigned char digest[SHA_DIGEST_LENGTH];
    SHA1(bytes.data(), bytes.size(), digest);
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (const unsigned char byte : digest) {
        hex += digits[byte >> 4];
        hex += digits[byte & 15];
    }
    return hex;
}

// A program run on the device: its standard output line by line as it
// comes, then its end.
class ChildProgram {
public:
    // With `pipeBytes`, the pipe of its standard output holds no more than
    // that: a program whose output is not read stops once it is full.
    ChildProgram(const fs::path& program, const std::vector<std::string>& words, const fs::path& device,
                 int pipeBytes = 0)
    {
        int pipe[2];
        EXPECT_EQ(::pipe2(pipe, O_CLOEXEC), 0);
        if (pipeBytes > 0) {
            EXPECT_GE(::fcntl(pipe[1], F_SETPIPE_SZ, pipeBytes), pipeBytes);
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipe[1], 1);
        posix_spawn_file_actions_addopen(&actions, 2, (device / "stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        std::vector<std::string> arguments{program.string()};
        arguments.insert(arguments.end(), words.begin(), words.end());
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        std::vector<std::string> environment{"DRUVEX_DEVICE=" + device.string()};
        for (char** variable = environ; *variable; ++variable) {
            if (!std::string(*variable).starts_with("DRUVEX_DEVICE="))
                environment.emplace_back(*variable);
        }
        std::vector<char*> envp;
        for (std::string& variable : environment)
            envp.push_back(variable.data());
        envp.push_back(nullptr);
        EXPECT_EQ(posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data()), 0);
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipe[1]);
        out_ = ::fdopen(pipe[0], "r");
    }
    ~ChildProgram()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            wait();
        }
        if (out_)
            std::fclose(out_);
    }
    ChildProgram(const ChildProgram&) = delete;
    ChildProgram& operator=(const ChildProgram&) = delete;

    // The next line of its standard output; false at its end.
    bool readLine(std::string& line)
    {
        char* text = nullptr;
        std::size_t capacity = 0;
        const ssize_t length = ::getline(&text, &capacity, out_);
        if (length >= 0)
            line.assign(text, static_cast<std::size_t>(length));
        std::free(text);
        return length >= 0;
    }
    void kill() { ::kill(pid_, SIGKILL); }
    // The process status, or 1000 + the signal that ended it.
    int wait()
    {
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
    }

private:
    pid_t pid_ = -1;
    std::FILE* out_ = nullptr;
};

// An update bulletin of version 1.0 of the product offering one feature,
// Feature/<name> of `version`, as the package at `url` (beside the bulletin).
inline std::string oneFeatureBulletin(const std::string& name, const std::string& version, const Bytes& package,
                                      const std::string& url)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<UpdateBulletin>\n"
           " <Installer InstallerVersion=\"5.1\"/>\n <Version Ver=\"1.0\" RevNum=\"1.0.1\">\n"
           "  <Feature Name=\"Feature/" + name + "\" Prompt=\"" + name + "\" FullInst=\"Yes\" ReqSpace=\"1048576\" "
           "Version=\"" + version + "\" Digest=\"" + hexSha1(package) + "\" compressed-size=\"" +
           std::to_string(package.size()) + "\" url=\"" + url + "\" Presel=\"Default\" Mode=\"Expanded\"/>\n"
           " </Version>\n</UpdateBulletin>\n";
}

struct RunResult {
    int status = -1;
    std::vector<std::string> lines;
    std::string log;
};

class EndToEndRuns : public ProductFixture {
protected:
    // Every log the program wrote beside itself.
    static std::string logOf(const fs::path& program)
    {
        std::string all;
        for (const auto& entry : fs::directory_iterator(program.parent_path())) {
            if (entry.path().string().ends_with(".log.txt")) {
                const Bytes bytes = readFileBytes(entry.path());
                all += std::string(bytes.begin(), bytes.end());
            }
        }
        return all;
    }
    // The logs of earlier runs beside the program.
    static void removeLogs(const fs::path& program)
    {
        for (const auto& entry : fs::directory_iterator(program.parent_path())) {
            if (entry.path().string().ends_with(".log.txt"))
                fs::remove(entry.path());
        }
    }
    // The program with `words` to its end; the logs of earlier runs beside
    // it are removed first.
    RunResult run(const fs::path& program, const std::vector<std::string>& words)
    {
        removeLogs(program);
        RunResult result;
        {
            ChildProgram child(program, words, device().directory());
            for (std::string line; child.readLine(line);)
                result.lines.push_back(line);
            result.status = child.wait();
        }
        result.log = logOf(program);
        return result;
    }

    static void expectCompleted(const RunResult& result)
    {
        EXPECT_EQ(result.status, 0) << result.log;
        EXPECT_TRUE(result.log.ends_with("Logging finished\r\n")) << result.log;
    }

    // The program's wizard in tmux on this device, with `words`; the logs of
    // earlier runs beside it are removed first.
    std::unique_ptr<TmuxSession> startWizard(const fs::path& program, std::vector<std::string> words = {})
    {
        removeLogs(program);
        TmuxSession::Options options;
        options.environment = {{"DRUVEX_DEVICE", device().directory().string()}};
        words.insert(words.begin(), program.string());
        return std::make_unique<TmuxSession>(words, options);
    }
    // Past the prerequisites page of an installed program whose update
    // server does not answer: the person proceeds without it.
    static void proceedWithoutUpdateServer(TmuxSession& session)
    {
        ASSERT_TRUE(session.waitFor("Click Next to continue.")) << session.lastScreen();
        session.sendKeys({"Enter"});
        ASSERT_TRUE(session.waitFor("Do you want to proceed anyway?")) << session.lastScreen();
        session.sendKeys({"y"});
    }
    // From the welcome page of a first installation of Field Demo without a
    // licence: Next on each page, then Finish; the run ends with 0.
    static void finishFirstInstallation(TmuxSession& session)
    {
        for (const char* page : {"Welcome to the setup of Field Demo.", "Space available:", "Space required:"}) {
            ASSERT_TRUE(session.waitFor(page)) << session.lastScreen();
            session.sendKeys({"Enter"});
        }
        ASSERT_TRUE(session.waitFor("Field Demo has been installed on the device.")) << session.lastScreen();
        session.sendKeys({"Enter"});
        ASSERT_EQ(session.waitForExit(), 0) << session.lastScreen();
    }
};

}  // namespace druvex::test
