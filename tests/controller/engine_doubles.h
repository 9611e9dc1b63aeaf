// Stand-ins for what the engine gives the controller: installation runs that
// play a script to their listener and record what they were asked, and a
// package unpacker that writes the files a test gives it.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "controller/installation_run.h"
#include "controller/package_folder_unpacker.h"
#include "core/thread_utils.h"
#include "data/install_item.h"
#include "data/package_sources.h"
#include "fileutil/file_util.h"
#include "support/xlate_file.h"

namespace druvex::test {

using Script = std::function<void(InstallationProcessListener&)>;

// What the scripted runs were asked, kept outside them.
struct RunJournal {
    std::mutex mutex;
    std::vector<std::string> calls;
    void add(std::string call)
    {
        std::lock_guard lock(mutex);
        calls.push_back(std::move(call));
    }
};

// A run that plays its script to the listener when started: at once, or on
// a thread of its own like the engine's.
class ScriptedRun final : public InstallationRun {
public:
    ScriptedRun(InstallationProcessListener* listener, Script script, bool threaded, bool removes, RunJournal& journal)
        : listener_(listener), script_(std::move(script)), threaded_(threaded), removes_(removes), journal_(journal)
    {
    }
    ~ScriptedRun() override
    {
        if (worker_.joinable())
            worker_.join();
    }
    void start() override
    {
        journal_.add("start");
        if (!script_)
            return;
        if (!threaded_) {
            script_(*listener_);
            return;
        }
        WorkerThread worker([this] { script_(*listener_); });
        worker_ = std::move(worker);
    }
    void pause() override { journal_.add("pause"); }
    bool removeOldInstallations() override
    {
        journal_.add("remove old");
        return removes_;
    }
    void resume() override { journal_.add("resume"); }
    void cancel() override { journal_.add("cancel"); }
    std::int32_t getRunState() const override { return kRunStateRunning; }
    bool hasPendingPackages() const override { return true; }
    // 5,120 KB and a half.
    std::uint64_t getTotalBytes() const override { return 5 * 1024 * 1024 + 512; }
    SharedString getFailedFeatureName() const override { return SharedString(u"Feature/Help"); }

private:
    InstallationProcessListener* listener_;
    Script script_;
    bool threaded_;
    bool removes_;
    RunJournal& journal_;
    WorkerThread worker_;
};

class ScriptedFactory final : public InstallationProcessFactory {
public:
    explicit ScriptedFactory(RunJournal& journal) : journal_(journal) {}
    std::unique_ptr<InstallationRun> makeProcess(RunController&, PayloadArchive&,
                                                 InstallationProcessListener* listener) override
    {
        return std::make_unique<ScriptedRun>(listener, script, threaded, removes, journal_);
    }

    Script script;
    bool threaded = false;
    // What removeOldInstallations answers.
    bool removes = true;

private:
    RunJournal& journal_;
};

// Stands in for the engine's unpacker: writes its text files (UTF-16LE, as
// scripts are stored) into the folder through the host and records each
// request as "<name>|<source kind>|<location>|<folder>".
class FakeUnpacker final : public PackageFolderUnpacker {
public:
    bool unpackToFolder(const InstallItem& item, const std::vector<PackageSource>& sources, HalAccess& host,
                        const SharedString& folder) override
    {
        const PackageSource source = sources.empty() ? PackageSource{} : sources.front();
        requests.push_back(item.getNameRef() + u"|" + fromUtf8(std::to_string(source.sourceKind)) + u"|" +
                           source.location + u"|" + folder);
        if (!createDirectoryRecursive(host, folder))
            return false;
        for (const auto& [name, text] : files) {
            const std::string bytes = utf16leFromUtf8(text);
            if (!writeBufferToFile(host, std::vector<std::uint8_t>(bytes.begin(), bytes.end()),
                                   joinPath(folder, fromUtf8(name))))
                return false;
        }
        return true;
    }

    std::vector<std::pair<std::string, std::string>> files;
    std::vector<SharedString> requests;
};

}  // namespace druvex::test
