// Change notices for folders: what reaches the handler, on either thread,
// once catchUp has returned; the watcher's thread ends with the watcher.
#include "platform/folder_watch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "support/external_tool.h"

namespace druvex {
namespace {

namespace fs = std::filesystem;

struct Seen {
    std::mutex mutex;
    std::vector<FolderChange> changes;

    // "kind name" of each change about `watch`, in order.
    std::vector<std::string> about(int watch)
    {
        std::lock_guard lock(mutex);
        std::vector<std::string> result;
        for (const FolderChange& change : changes) {
            if (change.watch != watch)
                continue;
            const char* kinds[] = {"added", "removed", "gone", "overflow"};
            result.push_back(std::string(kinds[static_cast<int>(change.kind)]) + " " + change.name +
                             (change.isFolder ? "/" : ""));
        }
        return result;
    }
};

TEST(FolderWatch, NoticesAreInTheHandlerOnceCaughtUp)
{
    test::ScratchDir scratch;
    const fs::path folder = scratch.path() / "Watched";
    fs::create_directories(folder);
    Seen seen;
    FolderWatcher watcher([&](const std::vector<FolderChange>& changes) {
        std::lock_guard lock(seen.mutex);
        seen.changes.insert(seen.changes.end(), changes.begin(), changes.end());
    });
    const int watch = watcher.watch(folder.string());
    if (watch < 0)
        GTEST_SKIP() << "no change notices on this machine";
    EXPECT_TRUE(watcher.active());
    EXPECT_EQ(watcher.watch(folder.string()), watch);
    EXPECT_EQ(watcher.watch((scratch.path() / "Watched/.").string()), watch);  // the folder, not the path

    std::ofstream(folder / "File.txt").put('x');
    fs::create_directory(folder / "Sub");
    fs::rename(folder / "File.txt", folder / "FILE.TXT");
    fs::remove(folder / "FILE.TXT");
    watcher.catchUp();
    EXPECT_EQ(seen.about(watch), (std::vector<std::string>{"added File.txt", "added Sub/", "removed File.txt",
                                                            "added FILE.TXT", "removed FILE.TXT"}));
    fs::remove_all(folder);
    watcher.catchUp();
    const std::vector<std::string> after = seen.about(watch);
    ASSERT_GE(after.size(), 7u);
    EXPECT_EQ(after[5], "removed Sub/");
    EXPECT_EQ(after.back(), "gone ");
    EXPECT_EQ(watcher.watch((scratch.path() / "Missing").string()), -1);
}

// The threads of this process, from the kernel's list.
int threadCount()
{
    int count = 0;
    for ([[maybe_unused]] const fs::directory_entry& task : fs::directory_iterator("/proc/self/task"))
        ++count;
    return count;
}

TEST(FolderWatch, ThreadEndsWithTheWatcher)
{
    test::ScratchDir scratch;
    const fs::path folder = scratch.path() / "Watched";
    fs::create_directories(folder);
    const int before = threadCount();
    Seen seen;
    {
        FolderWatcher watcher([&](const std::vector<FolderChange>& changes) {
            std::lock_guard lock(seen.mutex);
            seen.changes.insert(seen.changes.end(), changes.begin(), changes.end());
        });
        if (watcher.watch(folder.string()) < 0)
            GTEST_SKIP() << "no change notices on this machine";
        EXPECT_EQ(threadCount(), before + 1);
    }
    // Joined, not left behind: no thread is left, and none reports a change
    // to a handler that has gone.
    EXPECT_EQ(threadCount(), before);
    std::ofstream(folder / "After.txt").put('x');
    std::lock_guard lock(seen.mutex);
    EXPECT_TRUE(seen.changes.empty());
}

}  // namespace
}  // namespace druvex
