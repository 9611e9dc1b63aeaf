// InstallPlan: the run's record of what each feature installs (its folders
// and files as they were created on the target, with their flags, and the
// bytes written), which the run's rollback and its installed log are made
// from; and ItemObserver, the run's observer of each folder and file about to
// be created.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "text/shared_string.h"

namespace druvex {

class ContentFile;
class ContentFolder;
class Feature;

// One folder or file of the plan: its path with '/' between the names, and
// the Flags word of its content node.
struct InstallPlanEntry {
    SharedString path;
    std::int32_t flags = 0;
};

// What one feature installed, in the order of creation.
struct InstallPlanItem {
    std::shared_ptr<Feature> feature;
    std::vector<InstallPlanEntry> folders;
    std::vector<InstallPlanEntry> files;
    std::uint64_t totalBytes = 0;
};

class InstallPlan {
public:
    InstallPlan() = default;
    InstallPlan(const InstallPlan&) = delete;
    InstallPlan& operator=(const InstallPlan&) = delete;

    // Opens the record of the feature; what follows belongs to it. A feature
    // that has a record already (a package extracted again) reopens it.
    void addItem(std::shared_ptr<Feature> feature);
    // Records a folder with the node's Flags (0 without a node): '\' becomes
    // '/' and one trailing '/' is dropped.
    void addFolder(const ContentFolder* node, const SharedString& path);
    // Records a file with its Flags word: '\' becomes '/'.
    void addFile(const SharedString& path, std::int32_t flags);
    // Adds to the open record's byte total.
    void addToTotal(std::uint64_t bytes);

    // A folder or file created twice for one feature (a package extracted
    // again, the "lng.ini" of a language folder) is recorded once, where it
    // was first created; the device ignores case, so the paths do too.
    // Records made before any addItem go to a record without a feature.
    int getItemCount() const { return static_cast<int>(items_.size()); }
    // Throws std::out_of_range outside the list.
    const InstallPlanItem& getItem(int index) const;
    // Whether any record of the run holds the file; '\' and '/' alike,
    // without regard to case.
    bool containsFile(const SharedString& path) const;

private:
    // The paths already recorded in each item, by installPathKey.
    struct Keys {
        std::unordered_set<std::u16string> folders;
        std::unordered_set<std::u16string> files;
    };

    // The open record, made without a feature when none is open.
    int current();

    std::vector<InstallPlanItem> items_;
    std::vector<Keys> keys_;
    int current_ = -1;
    std::unordered_set<std::u16string> runFileKeys_;
};

// The key under which the plan and the managed-folder clean-up compare
// target paths: '\' turned into '/', lower-cased by the program's one case
// mapping.
std::u16string installPathKey(std::u16string_view path);

// Told of every folder and file that a feature's installation is about to
// create, before it is created. The answers are not used; the base does nothing.
class ItemObserver {
public:
    virtual ~ItemObserver();
    virtual bool beforeFolder(ContentFolder* node);
    virtual bool beforeFile(ContentFile* node, const SharedString& path);
};

}  // namespace druvex
