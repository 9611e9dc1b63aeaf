#include "support/tmux_session.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <iterator>
#include <regex>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace druvex::test {
namespace {

// Between two looks at the screen: tmux itself takes a few milliseconds per
// look, so this only keeps the loop from spinning.
constexpr std::chrono::milliseconds kPollInterval(20);

// Runs a program without a shell and collects its standard output.
ToolResult runArgv(const std::vector<std::string>& argv)
{
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    ToolResult result;
    if (spawned != 0) {
        ::close(pipeFds[0]);
        return result;
    }
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        result.output.insert(result.output.end(), buffer, buffer + n);
    }
    ::close(pipeFds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string text(const ToolResult& result)
{
    return std::string(result.output.begin(), result.output.end());
}

// Runs the program; when it ends, reports its status and the terminal's
// modes, then keeps the pane open for the test to read. The trap keeps the
// shell alive when the terminal sends SIGINT to the whole foreground group.
constexpr const char* kWrapper =
    "trap 'true' INT\n"
    "\"$@\"\n"
    "status=$?\n"
    "printf '\\n[exit %d]\\n' \"$status\"\n"
    "printf '[tty %s]\\n' \"$(stty -a | tr ' ;' '\\n\\n' | grep -E '^-?(icanon|echo|isig|icrnl|opost)$' | tr '\\n' "
    "' ')\"\n"
    "exec cat >/dev/null\n";

}  // namespace

TmuxSession::TmuxSession(const std::vector<std::string>& argv, const Options& options) : maxPolls_(options.maxPolls)
{
    socket_ = (scratch_.path() / "tmux.socket").string();
    const std::filesystem::path config = scratch_.path() / "tmux.conf";
    std::ofstream(config) << "set -g status off\n"
                             "set -g default-terminal tmux-256color\n"
                             "set -g remain-on-exit on\n";
    std::vector<std::string> command = {"new-session", "-d", "-s", "test", "-x", std::to_string(options.columns),
                                        "-y", std::to_string(options.rows)};
    for (const auto& [name, value] : options.environment) {
        command.push_back("-e");
        command.push_back(name + "=" + value);
    }
    command.insert(command.end(), {"/bin/sh", "-c", kWrapper, "sh"});
    command.insert(command.end(), argv.begin(), argv.end());
    std::vector<std::string> full = {"tmux", "-u", "-S", socket_, "-f", config.string()};
    full.insert(full.end(), command.begin(), command.end());
    const ToolResult started = runArgv(full);
    if (started.exitCode != 0)
        throw std::runtime_error("tmux did not start: " + text(started));
}

TmuxSession::~TmuxSession()
{
    tmux({"kill-server"});
}

ToolResult TmuxSession::tmux(const std::vector<std::string>& arguments) const
{
    std::vector<std::string> full = {"tmux", "-u", "-S", socket_};
    full.insert(full.end(), arguments.begin(), arguments.end());
    return runArgv(full);
}

void TmuxSession::sendKeys(std::initializer_list<std::string> keys)
{
    std::vector<std::string> arguments = {"send-keys", "-t", "test"};
    arguments.insert(arguments.end(), keys.begin(), keys.end());
    tmux(arguments);
}

void TmuxSession::typeText(const std::string& typed)
{
    tmux({"send-keys", "-t", "test", "-l", typed});
}

std::string TmuxSession::capture() const
{
    return text(tmux({"capture-pane", "-p", "-t", "test"}));
}

bool TmuxSession::waitFor(const std::string& wanted)
{
    for (int poll = 0; poll < maxPolls_; ++poll) {
        lastScreen_ = capture();
        if (lastScreen_.find(wanted) != std::string::npos)
            return true;
        std::this_thread::sleep_for(kPollInterval);
    }
    return false;
}

bool TmuxSession::waitForGone(const std::string& gone)
{
    for (int poll = 0; poll < maxPolls_; ++poll) {
        lastScreen_ = capture();
        if (lastScreen_.find(gone) == std::string::npos)
            return true;
        std::this_thread::sleep_for(kPollInterval);
    }
    return false;
}

std::optional<int> TmuxSession::waitForExit()
{
    static const std::regex exitLine(R"(\[exit (\d+)\])");
    if (!waitFor("[tty "))
        return std::nullopt;
    std::smatch match;
    if (!std::regex_search(lastScreen_, match, exitLine))
        return std::nullopt;
    return std::stoi(match[1].str());
}

std::string TmuxSession::paneFormat(const std::string& format) const
{
    std::string value = text(tmux({"display-message", "-p", "-t", "test", format}));
    while (!value.empty() && value.back() == '\n')
        value.pop_back();
    return value;
}

int TmuxSession::programPid() const
{
    const std::string shell = paneFormat("#{pane_pid}");
    std::ifstream children("/proc/" + shell + "/task/" + shell + "/children");
    int pid = 0;
    children >> pid;
    return pid;
}

void TmuxSession::saveScreen(const std::filesystem::path& file) const
{
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << capture();
}

void expectTerminalGivenBack(TmuxSession& session)
{
    EXPECT_EQ(session.paneFormat("#{alternate_on}"), "0");
    EXPECT_EQ(session.paneFormat("#{cursor_flag}"), "1");
    EXPECT_EQ(session.paneFormat("#{keypad_cursor_flag}"), "0");
    ASSERT_TRUE(session.waitFor("[tty ")) << session.lastScreen();
    const std::string screen = session.lastScreen();
    const std::string modes = screen.substr(screen.find("[tty "));
    for (const char* mode : {" icanon", " echo", " isig", " icrnl", " opost"})
        EXPECT_NE(modes.find(mode), std::string::npos) << mode << " is off: " << modes;
}

}  // namespace druvex::test
