// FeatureNodeWriter: the writer through which every folder and file of one
// feature reaches the target. It forwards to the engine's HostNodeWriter and
// adds what an installation needs around it: the run's pause and cancel
// checks and queued requests, the install plan and item observer, progress
// and timing, the clean-up of managed folders, room for files that other
// processes hold open on desktop targets, the copy of a file from its local
// source path, and the "lng.ini" files of language features.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "engine/installed_file_finder.h"
#include "payload/package_node_writer.h"
#include "text/shared_string.h"

namespace druvex {

class Feature;
class FeatureInstallRun;
class HostNodeWriter;
class InstallPlan;
class ItemObserver;
struct LanguageTemplate;

class FeatureNodeWriter final : public PackageNodeWriter {
public:
    // Opens the feature's record in the plan, and for a language feature
    // whose template writes "lng.ini" files either arms the one beside every
    // file or, for English, writes the empty one at once. `drain`: handle the
    // run's queued requests before each file (clear for a feature installed
    // from a queued request). Every reference must outlive the writer.
    FeatureNodeWriter(HostNodeWriter& nodeWriter, FeatureInstallRun& run, InstallPlan& plan, ItemObserver& observer,
                      std::shared_ptr<Feature> feature, bool drain);
    FeatureNodeWriter(const FeatureNodeWriter&) = delete;
    FeatureNodeWriter& operator=(const FeatureNodeWriter&) = delete;
    ~FeatureNodeWriter() override;

    // False when the run is canceled; a managed folder (Flags value 4) loses
    // the files that no installed feature and no feature of this run lists.
    bool createFolder(ContentFolder* node, const SharedString& path) override;
    // False when the run is canceled, a queued request or the "lng.ini"
    // fails, a file held open cannot be made room for, or the local source
    // (the node's OrigPath, unless it is an "http://" address) cannot be
    // copied whole.
    bool createFile(ContentFile* node, const SharedString& path) override;
    // False when the run is canceled; the open file is closed first.
    bool writeData(std::uint32_t size, const std::uint8_t* bytes) override;
    bool finishFile() override;

    // The user gave up a file that another process holds open.
    bool isAbandoned() const { return abandoned_; }
    // False once a file to replace was found without write access.
    bool isWritable() const { return writable_; }

private:
    bool isCanceled();
    void writeEnglishLngIni(const LanguageTemplate& languageTemplate);
    // The "lng.ini" at `path` (the destination folder's on a desktop target)
    // naming the file of `source`, or empty without a source.
    bool writeLngIni(const SharedString& path, const SharedString* source);
    bool createPlannedFolder(const SharedString& path);
    void cleanManagedFolder(const SharedString& path);
    bool makeRoomForFile(const SharedString& path);
    bool copyFromLocalSource(const SharedString& source);

    HostNodeWriter& nodeWriter_;
    FeatureInstallRun& run_;
    InstallPlan& plan_;
    ItemObserver& observer_;
    std::shared_ptr<Feature> feature_;
    SharedString currentPath_;
    bool drain_;
    bool lngIniPerFile_ = false;
    std::uint64_t writtenBytes_ = 0;
    bool abandoned_ = false;
    bool writable_ = true;
    bool administrator_;
    // Built at the first managed folder: the installed log does not change
    // while a feature is installed.
    std::optional<InstalledFileFinder> installedFiles_;
};

}  // namespace druvex
