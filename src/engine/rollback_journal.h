// RollbackJournal: what an installation run changed on the target, in order,
// so that a run that fails or is canceled can be undone: folders and files it
// created are removed, files it replaced, moved or removed come back from the
// "Rollback" folder where they were kept, and registry keys and values return
// to what they held. JournalingHal, the run's target host, fills it; the run
// either commits it (the kept files go) or undoes it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/registry_tree.h"
#include "text/mutex.h"
#include "text/shared_string.h"

namespace druvex {

class HalAccess;

// One registry value as it was before the run changed it.
struct JournalRegistryValue {
    SharedString name;
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
};

// A registry key with everything below it, as it was before the run deleted it.
struct JournalRegistryKey {
    SharedString name;
    std::vector<JournalRegistryValue> values;
    std::vector<JournalRegistryKey> subKeys;
};

class RollbackJournal {
public:
    // `host` is the target host itself (changes made through it are not
    // journaled again); `storeFolder` the folder where files are kept until
    // the run ends. Both must stay valid for the journal's life.
    RollbackJournal(std::shared_ptr<HalAccess> host, SharedString storeFolder);
    RollbackJournal(const RollbackJournal&) = delete;
    RollbackJournal& operator=(const RollbackJournal&) = delete;

    const std::shared_ptr<HalAccess>& host() const { return host_; }
    const SharedString& storeFolder() const { return storeFolder_; }

    // --- What the journaling host tells it --------------------------------
    void noteFolderCreated(const SharedString& path);
    void noteFileCreated(const SharedString& path);
    // Keeps the file at `path` before the run replaces, changes or removes
    // it: moved into the store (it is gone from its place afterwards) or,
    // with `copy`, copied there. True when the file is kept, or needs no
    // keeping (the run made it, or kept it already); false when it could not
    // be kept, and then the change must not go ahead.
    bool keepFile(const SharedString& path, bool copy);
    // Keeps a file about to be written over: moved into the store or, when
    // it cannot be moved (an application holds it open), copied there, the
    // file then being written over in place.
    bool keepFileToOverwrite(const SharedString& path);
    // Removes the file at `path`, which the caller found to be a file: one
    // the run made or kept already goes at once, any other is moved into the
    // store. True when it is gone from its place.
    bool removeFile(const SharedString& path);
    void noteMoved(const SharedString& from, const SharedString& to);
    void noteFolderRemoved(const SharedString& path);
    // `path` is the first key of the path that did not exist.
    void noteRegistryKeyCreated(RegistryKey root, const SharedString& path);
    // The value before its first change in this run; nothing when it did not exist.
    void noteRegistryValue(RegistryKey root, const SharedString& keyPath, const SharedString& name,
                           std::optional<JournalRegistryValue> before);
    void noteRegistryKeyDeleted(RegistryKey root, const SharedString& path, JournalRegistryKey before);

    // The run made or kept the file already: a further change needs nothing.
    bool covers(const SharedString& path) const;
    // The key lies in a key that the run created: removing that undoes it.
    bool coversRegistryKey(RegistryKey root, const SharedString& path) const;
    // The value's state before the run is known already.
    bool coversRegistryValue(RegistryKey root, const SharedString& keyPath, const SharedString& name) const;

    bool hasChanges() const;
    std::size_t changeCount() const;

    // Undoes every change, the newest first, then removes the store. True
    // when every change was undone; what could not be undone is logged.
    bool undo();
    // The changes stay: the kept files are deleted with the store.
    void commit();

private:
    enum class Keeping { Move, Copy, MoveElseCopy };
    bool keep(const SharedString& path, Keeping way);
    // Keeps the file, which is not covered yet, in a new place of the store.
    bool keepInStore(const std::u16string& key, const SharedString& path, Keeping way) REQUIRES(mutex_);

    enum class Kind { FolderCreated, FileCreated, Kept, Moved, FolderRemoved, KeyCreated, Value, KeyDeleted };
    struct Entry {
        Entry(Kind kind_, SharedString path_, SharedString other_ = {}, RegistryKey root_ = 0)
            : kind(kind_), path(std::move(path_)), other(std::move(other_)), root(root_)
        {
        }
        Kind kind;
        SharedString path;   // the target path, the key path
        SharedString other;  // the kept copy, the move's target, the value name
        RegistryKey root = 0;
        std::optional<JournalRegistryValue> value;
        std::shared_ptr<JournalRegistryKey> key;
    };

    bool ensureStore() REQUIRES(mutex_);
    void removeStore() REQUIRES(mutex_);
    bool undoEntry(const Entry& entry, std::vector<SharedString>& foldersLeft);
    static std::u16string registryKeyOf(RegistryKey root, const SharedString& path);

    std::shared_ptr<HalAccess> host_;
    SharedString storeFolder_;
    mutable Mutex mutex_;
    std::vector<Entry> entries_ GUARDED_BY(mutex_);
    // Paths by installPathKey that the run created or kept.
    std::unordered_set<std::u16string> covered_ GUARDED_BY(mutex_);
    std::unordered_set<std::u16string> createdKeys_ GUARDED_BY(mutex_);
    std::unordered_set<std::u16string> knownValues_ GUARDED_BY(mutex_);
    bool storeReady_ GUARDED_BY(mutex_) = false;
    // The store folder was made by this journal: no earlier run left files
    // in it whose numbers a kept file could meet.
    bool storeMadeNow_ GUARDED_BY(mutex_) = false;
    // The store folder and the parents that making it created, outermost first.
    std::vector<SharedString> storeMade_ GUARDED_BY(mutex_);
    std::uint32_t nextKept_ GUARDED_BY(mutex_) = 0;
};

}  // namespace druvex
