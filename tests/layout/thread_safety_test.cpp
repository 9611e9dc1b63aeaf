// The thread-safety pass (scripts/thread-safety, which .ci/run runs over the
// whole tree): a planted class that reads and writes guarded data without its
// lock makes the pass fail, and the same class with the lock taken, or with
// the lock required of its caller, passes. clang belongs to the set-up, so a
// machine without it fails here rather than skip the check.
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

// Runs the pass over `body`, a class compiled with src/ on the include path.
PassResult runPass(const std::string& body)
{
    test::ScratchDir scratch;
    const fs::path source = fs::path(DRUVEX_SOURCE_DIR);
    const fs::path planted = scratch.path() / "planted" / "planted.cpp";
    fs::create_directories(planted.parent_path());
    const std::string text = "#include \"text/mutex.h\"\nnamespace druvex {\n" + body + "}\n";
    test::writeFileBytes(planted, test::Bytes(text.begin(), text.end()));
    const std::string database = "[{\"directory\": \"" + scratch.path().string() + "\", \"command\": \"c++ -I" +
                                 (source / "src").string() + " -Wall -Wextra -std=c++20 -o planted.o -c " +
                                 planted.string() + "\", \"file\": \"" + planted.string() + "\"}]\n";
    test::writeFileBytes(scratch.path() / "compile_commands.json", test::Bytes(database.begin(), database.end()));
    const test::ToolResult run = test::runTool((source / "scripts" / "thread-safety").string() + " --sources " +
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

}  // namespace
}  // namespace druvex
