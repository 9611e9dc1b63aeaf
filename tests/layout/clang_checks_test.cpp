// The clang pass (scripts/clang-checks, which .ci/run runs over the whole
// tree): a planted class that reads and writes guarded data without its lock
// makes the pass fail, and the same class with the lock taken, or with the
// lock required of its caller, passes; so does a dropped HalAccess result, an
// override that does not say so, and a switch without default: that leaves an
// enumerator unnamed, each of which g++ lets through. clang belongs to the
// set-up, so a machine without it fails here rather than skip the check.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/external_tool.h"

namespace druvex {
namespace {

namespace fs = std::filesystem;

struct PassResult {
    int exitCode = -1;
    std::string messages;
};

// Runs the pass over `body`, compiled with src/ on the include path after
// `includes` (mutex.h by default).
PassResult runPass(const std::string& body, const std::string& includes = "#include \"text/mutex.h\"\n")
{
    test::ScratchDir scratch;
    const fs::path source = fs::path(DRUVEX_SOURCE_DIR);
    const fs::path planted = scratch.path() / "planted" / "planted.cpp";
    fs::create_directories(planted.parent_path());
    const std::string text = includes + "namespace druvex {\n" + body + "}\n";
    test::writeFileBytes(planted, test::Bytes(text.begin(), text.end()));
    const std::string database = "[{\"directory\": \"" + scratch.path().string() + "\", \"command\": \"c++ -I" +
                                 (source / "src").string() + " -Wall -Wextra -std=c++20 -o planted.o -c " +
                                 planted.string() + "\", \"file\": \"" + planted.string() + "\"}]\n";
    test::writeFileBytes(scratch.path() / "compile_commands.json", test::Bytes(database.begin(), database.end()));
    const test::ToolResult run = test::runTool((source / "scripts" / "clang-checks").string() + " --sources " +
                                               (scratch.path() / "planted").string() + " " +
                                               scratch.path().string() + " 2>&1");
    return {run.exitCode, std::string(run.output.begin(), run.output.end())};
}

const char* const kCounter = R"(
class Counter {
public:
    void add();
    int value();
private:
    void addLocked() REQUIRES(mutex_) { ++count_; }
    Mutex mutex_;
    ConditionVariable changed_;
    int count_ GUARDED_BY(mutex_) = 0;
};
)";

TEST(ThreadSafetyPass, FailsOnAnUnguardedAccess)
{
    ASSERT_TRUE(test::toolInstalled("clang++-16"));
    const PassResult read = runPass(std::string(kCounter) + R"(
void Counter::add() { MutexLock lock(mutex_); addLocked(); }
int Counter::value() { return count_; }
)");
    EXPECT_EQ(read.exitCode, 1) << read.messages;
    EXPECT_NE(read.messages.find("reading variable 'count_' requires holding mutex 'mutex_'"), std::string::npos)
        << read.messages;

    const PassResult call = runPass(std::string(kCounter) + R"(
void Counter::add() { addLocked(); }
int Counter::value() { MutexLock lock(mutex_); return count_; }
)");
    EXPECT_EQ(call.exitCode, 1) << call.messages;
    EXPECT_NE(call.messages.find("calling function 'addLocked' requires holding mutex 'mutex_'"), std::string::npos)
        << call.messages;

    // A lock let go before the access no longer counts.
    const PassResult released = runPass(std::string(kCounter) + R"(
void Counter::add() { MutexLock lock(mutex_); lock.unlock(); addLocked(); }
int Counter::value() { MutexLock lock(mutex_); return count_; }
)");
    EXPECT_EQ(released.exitCode, 1) << released.messages;
}

TEST(ThreadSafetyPass, PassesOnGuardedAccesses)
{
    ASSERT_TRUE(test::toolInstalled("clang++-16"));
    const PassResult guarded = runPass(std::string(kCounter) + R"(
void Counter::add()
{
    MutexLock lock(mutex_);
    addLocked();
    lock.unlock();
    changed_.notify_all();
}
int Counter::value()
{
    MutexLock lock(mutex_);
    changed_.wait(mutex_, [this]() REQUIRES(mutex_) { return count_ > 0; });
    return count_;
}
)");
    EXPECT_EQ(guarded.exitCode, 0) << guarded.messages;
    EXPECT_NE(guarded.messages.find("1 sources checked, 0 failed"), std::string::npos) << guarded.messages;
}

// g++ 12 says nothing when the answer of a virtual [[nodiscard]] call goes
// unused, which is every HalAccess operation.
TEST(ClangChecks, FailOnADroppedHostResult)
{
    ASSERT_TRUE(test::toolInstalled("clang++-16"));
    const std::string includes = "#include \"hal/hal_access.h\"\n";
    const PassResult dropped = runPass(R"(
bool removePackage(HalAccess& host, const SharedString& path)
{
    host.deleteFile(path);
    return true;
}
)",
                                       includes);
    EXPECT_EQ(dropped.exitCode, 1) << dropped.messages;
    EXPECT_NE(dropped.messages.find("ignoring return value of function declared with 'nodiscard' attribute"),
              std::string::npos)
        << dropped.messages;

    const PassResult used = runPass(R"(
bool removePackage(HalAccess& host, const SharedString& path)
{
    return host.deleteFile(path);
}
)",
                                    includes);
    EXPECT_EQ(used.exitCode, 0) << used.messages;
}

TEST(ClangChecks, FailOnAnOverrideThatDoesNotSaySo)
{
    ASSERT_TRUE(test::toolInstalled("clang++-16"));
    const std::string base = R"(
class Step {
public:
    virtual ~Step() = default;
    virtual bool run() = 0;
    virtual void undo() {}
};
)";
    // Beside members that say so, and in a class where none does.
    for (const char* step : {"class Copy : public Step {\npublic:\n    bool run() override;\n    void undo();\n};\n",
                             "class Copy : public Step {\npublic:\n    bool run();\n};\n"}) {
        const PassResult silent = runPass(base + step);
        EXPECT_EQ(silent.exitCode, 1) << silent.messages;
        EXPECT_NE(silent.messages.find("overrides a member function but is not marked 'override'"), std::string::npos)
            << silent.messages;
    }
    const PassResult marked = runPass(base + "class Copy : public Step {\npublic:\n"
                                             "    bool run() override;\n    void undo() override;\n};\n");
    EXPECT_EQ(marked.exitCode, 0) << marked.messages;
}

TEST(ClangChecks, FailOnASwitchThatLeavesAValueUnnamed)
{
    ASSERT_TRUE(test::toolInstalled("clang++-16"));
    const std::string tide = "enum class Tide { kLow, kHigh, kSlack };\n";
    const PassResult unnamed = runPass(tide + R"(
int height(Tide tide)
{
    switch (tide) {
    case Tide::kLow:
        return 0;
    case Tide::kHigh:
        return 2;
    }
    return -1;
}
)");
    EXPECT_EQ(unnamed.exitCode, 1) << unnamed.messages;
    EXPECT_NE(unnamed.messages.find("enumeration value 'kSlack' not handled in switch"), std::string::npos)
        << unnamed.messages;

    // A number outside the set is handled after the switch.
    const PassResult named = runPass(tide + R"(
int height(Tide tide)
{
    switch (tide) {
    case Tide::kLow:
        return 0;
    case Tide::kHigh:
        return 2;
    case Tide::kSlack:
        return 1;
    }
    return -1;
}
)");
    EXPECT_EQ(named.exitCode, 0) << named.messages;
}

}  // namespace
}  // namespace druvex
