// Change notices for folders from the kernel (inotify), read by a thread of
// their own as they come and handed to one handler, so that a cache of folder
// listings can trust what it holds without a look at the disk for every
// lookup, and still see what other processes change.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace druvex {

struct FolderChange {
    enum class Kind {
        kAdded,       // `name` appeared in the folder (made, or moved there)
        kRemoved,     // `name` left the folder (deleted, or moved away)
        kFolderGone,  // the folder itself was deleted or moved: its watch ends
        kOverflow,    // notices were lost: nothing watched can be trusted
    };
    int watch = -1;  // the folder's watch; -1 with kOverflow
    Kind kind = Kind::kOverflow;
    std::string name;
    bool isFolder = false;  // `name` is a folder
};

class FolderWatcher {
public:
    // The handler runs on the watcher's thread, or on the thread that calls
    // catchUp, never on two at once.
    using Handler = std::function<void(const std::vector<FolderChange>&)>;

    explicit FolderWatcher(Handler handler);
    // Ends the watcher's thread and waits for it; the handler is not called
    // after.
    ~FolderWatcher();
    FolderWatcher(const FolderWatcher&) = delete;
    FolderWatcher& operator=(const FolderWatcher&) = delete;

    // The watch of a folder (the same number for the same folder, whatever
    // path reached it), or -1 when notices cannot be had (no inotify, too many
    // watches, or a process forked from the one that started watching).
    int watch(const std::string& hostFolder);
    // Whether notices are being read for this process.
    bool active() const;
    // Reads and hands over, on the calling thread, every notice the kernel has
    // queued until now: after it returns, every change made before the call
    // has reached the handler.
    void catchUp();

private:
    struct State;
    std::shared_ptr<State> state_;
    std::thread thread_;
};

}  // namespace druvex
