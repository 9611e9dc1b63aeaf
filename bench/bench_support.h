// What the benchmark programs that scripts/bench runs share: the options it
// passes, interleaved timing of our side and a reference, the lines it reads
// back, installer-like content, cached inputs and the peak memory of child
// processes. The goals themselves live in bench/goals.txt and nowhere else.
#pragma once

#include <sys/ptrace.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <benchmark/benchmark.h>

namespace druvex::bench {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

struct Options {
    int rounds = 5;
    // Only the interleaved rounds and their "measure" lines, no Google Benchmark run.
    bool table = false;
    // Where generated inputs that are slow to make are kept between runs (empty: nowhere).
    fs::path dataDirectory;
};

// Takes --rounds=N, --table and --data=DIR out of argv; the rest stays for Google Benchmark.
inline Options parseOptions(int& argc, char** argv)
{
    Options options;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument.starts_with("--rounds="))
            options.rounds = std::max(0, std::atoi(argv[i] + 9));
        else if (argument == "--table")
            options.table = true;
        else if (argument.starts_with("--data="))
            options.dataDirectory = std::string(argument.substr(7));
        else
            argv[kept++] = argv[i];
    }
    argc = kept;
    argv[argc] = nullptr;
    return options;
}

// Runs the program's Google Benchmark cases unless only the table is asked
// for; false when the command line holds an argument that neither knows.
inline bool runGoogleBenchmarks(const Options& options, int& argc, char** argv)
{
    if (options.table)
        return true;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return false;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return true;
}

[[noreturn]] inline void fail(const std::string& what)
{
    std::fprintf(stderr, "bench: %s\n", what.c_str());
    std::exit(1);
}

inline void run(const std::string& command)
{
    if (std::system(command.c_str()) != 0)
        fail("command failed: " + command);
}

template <class Work>
double seconds(Work&& work)
{
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Both sides `rounds` times, the order alternating so that neither always
// meets a warm cache or the same moment of a busy machine's load; the ratios
// ours / theirs, one a round.
template <class Ours, class Theirs>
std::vector<double> interleaved(int rounds, Ours&& ours, Theirs&& theirs)
{
    std::vector<double> ratios;
    for (int round = 0; round < rounds; ++round) {
        double mine = 0;
        double reference = 0;
        if (round % 2 == 0) {
            mine = seconds(ours);
            reference = seconds(theirs);
        } else {
            reference = seconds(theirs);
            mine = seconds(ours);
        }
        ratios.push_back(mine / reference);
    }
    return ratios;
}

// The line scripts/bench reads: "measure ID VALUE...".
inline void report(std::string_view id, const std::vector<double>& values)
{
    std::printf("measure %.*s", static_cast<int>(id.size()), id.data());
    for (const double value : values)
        std::printf(" %.4f", value);
    std::printf("\n");
    std::fflush(stdout);
}

inline double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Keeps this thread, and the threads and children it starts from now on, to
// the first `count` of the cores that the process could use when it first
// asked, so that a benchmark and its references meet the same cores.
inline void useCores(unsigned count)
{
    static const cpu_set_t initial = [] {
        cpu_set_t cores;
        CPU_ZERO(&cores);
        if (::sched_getaffinity(0, sizeof cores, &cores) != 0)
            fail("cannot read the cores of this process");
        return cores;
    }();
    cpu_set_t chosen;
    CPU_ZERO(&chosen);
    unsigned taken = 0;
    for (int cpu = 0; cpu < CPU_SETSIZE && taken < count; ++cpu) {
        if (CPU_ISSET(cpu, &initial)) {
            CPU_SET(cpu, &chosen);
            ++taken;
        }
    }
    if (taken < count)
        fail("fewer than " + std::to_string(count) + " cores to run on");
    if (::sched_setaffinity(0, sizeof chosen, &chosen) != 0)
        fail("cannot set the cores of this process");
}

// File-system work runs on tmpfs where the machine has one, so that a busy
// disk of other engineers' builds does not decide the ratio.
inline fs::path scratchBase()
{
    std::error_code error;
    if (fs::is_directory("/dev/shm", error))
        return "/dev/shm";
    return fs::temp_directory_path();
}

// A fresh scratch folder for one program run, removed with the object.
struct ScratchFolder {
    fs::path path;
    explicit ScratchFolder(const std::string& name)
        : path(scratchBase() / ("druvex-" + name + "-" + std::to_string(::getpid())))
    {
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~ScratchFolder()
    {
        std::error_code error;
        fs::remove_all(path, error);
    }
};

// Installer content: every fourth file incompressible (images, packed data),
// the others survey-job-like text, point records of a random walk, which
// compress about as real job files do; or a program's help pages, which LZMA
// codes to about a quarter as it does real ones. The same seed gives the
// same files.
class ContentMaker {
public:
    explicit ContentMaker(unsigned seed = 42) : random_(seed) {}

    std::mt19937& random() { return random_; }

    Bytes incompressible(std::size_t size)
    {
        Bytes data;
        data.reserve(size);
        while (data.size() < size)
            data.push_back(static_cast<std::uint8_t>(random_() >> 11));
        return data;
    }

    // HTML pages of prose: sentences of words drawn as often as a language
    // uses them (the n-th word about 1/n as often as the first), with
    // headings, lists, links and the boilerplate every page repeats.
    Bytes helpPages(std::size_t size)
    {
        if (words_.empty())
            makeWords();
        std::string text;
        text.reserve(size + 4096);
        while (text.size() < size) {
            ++page_;
            const std::string title = capitalizedWords(2 + random_() % 3);
            text += "<html>\r\n<head>\r\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">\r\n"
                    "<title>" + title + "</title>\r\n"
                    "<link rel=\"stylesheet\" type=\"text/css\" href=\"../styles/help.css\">\r\n</head>\r\n<body>\r\n"
                    "<div class=\"nav\"><a href=\"index.htm\">Contents</a> | <a href=\"search.htm\">Search</a> | "
                    "<a href=\"topic" + std::to_string(page_ - 1) + ".htm\">Previous</a> | <a href=\"topic" +
                    std::to_string(page_ + 1) + ".htm\">Next</a></div>\r\n<h1>" + title + "</h1>\r\n";
            for (unsigned section = 2 + random_() % 5; section > 0; --section) {
                text += "<h2>" + capitalizedWords(1 + random_() % 3) + "</h2>\r\n";
                for (unsigned paragraph = 1 + random_() % 4; paragraph > 0; --paragraph) {
                    text += "<p>";
                    for (unsigned sentences = 2 + random_() % 5; sentences > 0; --sentences)
                        text += sentence() + (sentences > 1 ? " " : "");
                    text += "</p>\r\n";
                }
                if (random_() % 10 < 4) {
                    text += "<ul>\r\n";
                    for (unsigned items = 2 + random_() % 5; items > 0; --items)
                        text += "<li>" + sentence() + "</li>\r\n";
                    text += "</ul>\r\n";
                }
                if (random_() % 10 < 2)
                    text += "<p class=\"note\"><b>Note:</b> " + sentence() + "</p>\r\n";
            }
            text += "<div class=\"footer\">Copyright &copy; Survey Systems. All rights reserved.</div>\r\n"
                    "</body>\r\n</html>\r\n";
        }
        text.resize(size);
        return Bytes(text.begin(), text.end());
    }

    Bytes file(int index, std::size_t size)
    {
        if (index % 4 == 3)
            return incompressible(size);
        Bytes data;
        data.reserve(size + 128);
        char line[128];
        while (data.size() < size) {
            east_ += static_cast<double>(random_() % 2001) / 1000.0 - 1.0;
            north_ += static_cast<double>(random_() % 2001) / 1000.0 - 1.0;
            height_ += static_cast<double>(random_() % 201) / 1000.0 - 0.1;
            const int length =
                std::snprintf(line, sizeof line, "PT%06u,%.3f,%.3f,%.3f,CODE%02u,%s\r\n", point_++ % 1000000, east_,
                              north_, height_, static_cast<unsigned>(random_() % 40), random_() % 5 == 0 ? "CHECK" : "");
            data.insert(data.end(), line, line + length);
        }
        data.resize(size);
        return data;
    }

private:
    void makeWords()
    {
        static constexpr const char* kSyllables[] = {
            "a",  "e",  "i",  "o",  "u",  "ba", "be", "ca", "co", "de", "di",   "fa",   "fe", "ga",  "gi", "ha",
            "in", "io", "ka", "la", "le", "li", "lo", "ma", "me", "mi", "mo",   "na",   "ne", "ni",  "no", "pa",
            "pe", "pi", "po", "ra", "re", "ri", "ro", "sa", "se", "si", "so",   "ta",   "te", "ti",  "to", "va",
            "ve", "vi", "ze", "al", "er", "ed", "ly", "ing", "ous", "ive", "ure", "ent", "ment", "tion"};
        constexpr std::size_t kWords = 1000;
        double total = 0;
        while (words_.size() < kWords) {
            std::string word;
            for (unsigned syllables = 1 + random_() % 3 + (random_() % 4 == 0 ? 1 : 0); syllables > 0; --syllables)
                word += kSyllables[random_() % std::size(kSyllables)];
            if (std::find(words_.begin(), words_.end(), word) != words_.end())
                continue;
            words_.push_back(word);
            total += 1.0 / static_cast<double>(words_.size());
            frequency_.push_back(total);
        }
    }
    const std::string& word()
    {
        const double drawn = static_cast<double>(random_()) / 4294967296.0 * frequency_.back();
        const auto found = std::upper_bound(frequency_.begin(), frequency_.end(), drawn);
        return words_[std::min<std::size_t>(static_cast<std::size_t>(found - frequency_.begin()), words_.size() - 1)];
    }
    std::string capitalizedWords(unsigned count)
    {
        std::string text;
        for (unsigned i = 0; i < count; ++i) {
            std::string next = word();
            next[0] = static_cast<char>(next[0] - 'a' + 'A');
            text += (i > 0 ? " " : "") + next;
        }
        return text;
    }
    std::string sentence()
    {
        std::string text;
        for (unsigned count = 6 + random_() % 17, i = 0; i < count; ++i) {
            const unsigned markup = random_() % 100;
            std::string next = word();
            if (i == 0)
                next[0] = static_cast<char>(next[0] - 'a' + 'A');
            if (markup < 4)
                next = "<b>" + next + "</b>";
            else if (markup < 7)
                next = "<a href=\"topic" + std::to_string(1 + random_() % 400) + ".htm\">" + next + "</a>";
            text += (i > 0 ? " " : "") + next;
        }
        static constexpr const char* kEnds[] = {".", ".", ".", ",", ":"};
        return text + kEnds[random_() % std::size(kEnds)];
    }

    std::mt19937 random_;
    std::vector<std::string> words_;
    std::vector<double> frequency_;
    unsigned page_ = 0;
    double east_ = 500000.0;
    double north_ = 5400000.0;
    double height_ = 420.0;
    unsigned point_ = 0;
};

// A file made once by `make` (which writes the given path) and kept in the
// data folder between runs under `name`; without a data folder it is made in
// `scratch`.
inline fs::path cachedInput(const Options& options, const fs::path& scratch, const std::string& name,
                            const std::function<void(const fs::path&)>& make)
{
    if (options.dataDirectory.empty()) {
        const fs::path path = scratch / name;
        make(path);
        return path;
    }
    const fs::path path = options.dataDirectory / name;
    if (fs::exists(path))
        return path;
    fs::create_directories(options.dataDirectory);
    const fs::path partial = options.dataDirectory / (name + ".partial");
    make(partial);
    fs::rename(partial, path);
    return path;
}

inline Bytes readWhole(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void writeWhole(const fs::path& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush())
        fail("cannot write " + path.string());
}

// Children started by peakMegabytes: the program, its arguments, and the file
// its standard input and output are connected to ("" for the inherited one).
struct Child {
    Child(std::vector<std::string> programAndArguments, std::string inputFile = {}, std::string outputFile = {})
        : arguments(std::move(programAndArguments)), input(std::move(inputFile)), output(std::move(outputFile))
    {
    }
    std::vector<std::string> arguments;
    std::string input;
    std::string output;
};

// The high-water mark of the process's resident memory in kB (VmHWM), while
// it is still there to ask; 0 when it cannot be read.
inline double residentPeakKilobytes(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmHWM:"))
            return std::atof(line.c_str() + 6);
    }
    return 0;
}

// Runs the children as one pipeline (each one's output into the next one's
// input) and gives the sum of their peak resident memory in MB: what the
// machine had to hold at most while they ran side by side. Each peak is the
// child's own, read when it ends: the kernel's figure of a child (wait4)
// starts from what its parent held when it was made, so a child of a large
// process reads as large as that process. Fails when one of them fails.
inline double peakMegabytes(const std::vector<Child>& children)
{
    std::vector<pid_t> pids;
    int previousRead = -1;
    for (std::size_t i = 0; i < children.size(); ++i) {
        const Child& child = children[i];
        int pipeEnds[2] = {-1, -1};
        if (child.output.empty() && i + 1 < children.size() && ::pipe(pipeEnds) != 0)
            fail("pipe");
        std::vector<char*> argv;
        for (const std::string& argument : child.arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        const pid_t pid = ::fork();
        if (pid < 0)
            fail("cannot start " + child.arguments[0]);
        if (pid == 0) {
            // Stopped by its tracer at the exec and again at its end, when
            // its memory is still there to be read.
            if (::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0)
                ::_exit(126);
            int input = previousRead;
            if (!child.input.empty())
                input = ::open(child.input.c_str(), O_RDONLY);
            if (input >= 0)
                ::dup2(input, 0);
            if (!child.output.empty())
                ::dup2(::open(child.output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
            else if (pipeEnds[1] >= 0)
                ::dup2(pipeEnds[1], 1);
            if (pipeEnds[0] >= 0)
                ::close(pipeEnds[0]);
            ::execvp(argv[0], argv.data());
            ::_exit(127);
        }
        if (previousRead >= 0)
            ::close(previousRead);
        if (pipeEnds[1] >= 0)
            ::close(pipeEnds[1]);
        previousRead = pipeEnds[0];
        pids.push_back(pid);
    }
    if (previousRead >= 0)
        ::close(previousRead);
    std::vector<double> peaks(pids.size(), 0);
    std::size_t running = pids.size();
    while (running > 0) {
        int status = 0;
        const pid_t pid = ::waitpid(-1, &status, __WALL);
        if (pid < 0)
            fail("waitpid");
        const auto found = std::find(pids.begin(), pids.end(), pid);
        if (found == pids.end())
            continue;
        const std::size_t index = static_cast<std::size_t>(found - pids.begin());
        if (WIFSTOPPED(status)) {
            const int event = status >> 16;
            int signal = 0;
            if (WSTOPSIG(status) == SIGTRAP && event == 0) {
                // The stop at its exec: from now on, stop it at its end too.
                ::ptrace(PTRACE_SETOPTIONS, pid, nullptr, reinterpret_cast<void*>(PTRACE_O_TRACEEXIT));
            } else if (WSTOPSIG(status) == SIGTRAP && event == PTRACE_EVENT_EXIT) {
                peaks[index] = residentPeakKilobytes(pid) / 1024.0;
            } else {
                signal = WSTOPSIG(status);
            }
            ::ptrace(PTRACE_CONT, pid, nullptr, reinterpret_cast<void*>(static_cast<std::intptr_t>(signal)));
            continue;
        }
        --running;
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            fail("failed: " + children[index].arguments[0]);
        if (peaks[index] == 0)
            fail("no peak memory of " + children[index].arguments[0]);
    }
    double megabytes = 0;
    for (const double peak : peaks)
        megabytes += peak;
    return megabytes;
}

// This program's own path, to start itself as a lean child.
inline std::string selfPath()
{
    return fs::read_symlink("/proc/self/exe").string();
}

}  // namespace druvex::bench
