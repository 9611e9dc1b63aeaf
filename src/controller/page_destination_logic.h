// PageDestinationLogic: the logic of the destination page (id 7) of device
// targets: the storages the program can go to, the target folder on the one
// chosen, and whether the features to install fit there. The free space (with
// what a wiped old installation gives back) is worked out on a thread of its
// own, which the logic joins before it goes.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "controller/page_feature_logic_base.h"
#include "controller/page_sink_slot.h"
#include "core/thread_utils.h"
#include "text/shared_string.h"

namespace druvex {

class HalAccess;

// Implemented by the destination page. Called on the space computation's thread.
class DestinationPageSink {
public:
    virtual ~DestinationPageSink() = default;
    // (false, 0) when the old installation's files are about to be counted;
    // (true, bytes) with the space available once the computation is done.
    virtual void onSpaceComputation(bool done, std::uint64_t bytes) = 0;
};

// The states of the space computation.
constexpr std::uint32_t kSpaceNotStarted = 0;
constexpr std::uint32_t kSpaceRunning = 1;
constexpr std::uint32_t kSpaceDone = 2;

class PageDestinationLogic final : public PageFeatureLogicBase {
public:
    // `targetHost`: the host of the machine being installed.
    PageDestinationLogic(WizardController& controller, std::shared_ptr<HalAccess> targetHost);
    // Stops and joins the space computation.
    ~PageDestinationLogic() override;

    // Null stops the reports; waits for a report in progress.
    void setSink(DestinationPageSink* sink) { sink_.set(sink); }

    bool onNext() override { return true; }
    bool onBack() override { return true; }
    // No wipe; the storages listed and the first chosen. False when the
    // target has no storage at all.
    bool runUnattended() override;

    // Total stations and the devices without storage cards offer no choice.
    bool canChooseStorage() const;
    int getStorageCount() const { return static_cast<int>(names_.size()); }
    // Empty outside the list.
    SharedString getStorageName(int index) const;
    // The position of the chosen storage in the list; 0 when it is not there.
    int findSelectedStorage() const;
    // The path of that position; empty when the list does not reach it.
    SharedString getSelectedStoragePath() const;
    // A KT 41 installing to its extended storage.
    bool isExtendedStorageSelected() const;

    // Lists the target's storages anew; without a chosen storage the
    // device type's usual one is chosen ("SystemCF" on a KT 61, "/HardDisk"
    // on an LQ5, "/Extended Storage" on a KT 41), else the first.
    void refreshStorages();
    // The program folder of that storage with InstallFolderMobile (or the
    // ProgramName) becomes the destination folder and the storage the chosen
    // one. False, changing nothing, outside the list.
    bool selectStorage(int index);
    // Starts the space computation anew (a running one is stopped first).
    void startSpaceComputation();
    std::uint32_t getSpaceComputationState() const { return state_.load(); }
    // The free space where the destination folder lies, plus what the old
    // installation gives back; 0 when the host cannot tell.
    std::uint64_t getAvailableSpace() const;
    // True when the available space exceeds what the selection needs;
    // otherwise shows the not-enough-space message with the bytes missing.
    bool checkSpace() const;
    // With a feature left to select the feature page checks the space later;
    // otherwise checkSpace.
    bool validate() const;
    // The free space of the chosen storage; 0 when the host cannot tell.
    std::uint64_t getFreeSpace() const;

    bool getWipeOldInstallation() const;
    void setWipeOldInstallation(bool wipe);

private:
    void stopSpaceComputation();
    void computeSpace(std::uint64_t freeBytes, const SharedString& targetFolder, bool wipe);
    // The bytes of the files below the folder; stops early when asked to.
    std::uint64_t sumFolder(const SharedString& folder);
    void report(bool done, std::uint64_t bytes);
    // The name of the storage holding `path`: the longest storage path it
    // lies in; the chosen storage when none.
    SharedString storageNameOf(const SharedString& path) const;

    std::shared_ptr<HalAccess> targetHost_;
    PageSinkSlot<DestinationPageSink> sink_;
    std::vector<SharedString> names_;
    std::vector<SharedString> paths_;
    std::atomic<bool> stop_{false};
    std::atomic<std::uint32_t> state_{kSpaceNotStarted};
    WorkerThread thread_;
};

}  // namespace druvex
