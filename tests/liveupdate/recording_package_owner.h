// The installation process's side of the package installer, for the tests:
// what became of each package, one line each, and the rate reports.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "data/feature.h"
#include "liveupdate/liveupdate_test_text.h"
#include "liveupdate/package_installer.h"

namespace druvex::test {

class RecordingPackageOwner final : public PackageInstallerListener {
public:
    void onPackageStarted(const FeaturePtr& feature, PackageJob&) override
    {
        record("started " + narrow(feature->getNameRef()));
    }
    void onPackageRate(std::uint64_t, std::uint64_t missing) override
    {
        std::lock_guard lock(mutex_);
        missing_.push_back(missing);
        changed_.notify_all();
    }
    void onPackageReady(const FeaturePtr& feature, const SharedString& path) override
    {
        record("ready " + narrow(feature->getNameRef()) + " " + narrow(path));
    }
    void onPackageSkipped(const FeaturePtr& feature) override { record("skipped " + narrow(feature->getNameRef())); }
    void onAllPackagesHandled() override { record("all handled"); }
    void onPackagesFailed() override { record("failed"); }

    // Each waits up to 20 seconds.
    bool waitAllHandled()
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(20), [&] {
            return std::find(events_.begin(), events_.end(), "all handled") != events_.end();
        });
    }
    bool waitForData()
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(20), [&] { return !missing_.empty(); });
    }
    std::vector<std::string> events() const
    {
        std::lock_guard lock(mutex_);
        return events_;
    }
    std::vector<std::uint64_t> missing() const
    {
        std::lock_guard lock(mutex_);
        return missing_;
    }

private:
    void record(std::string line)
    {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(line));
        changed_.notify_all();
    }

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> events_;
    std::vector<std::uint64_t> missing_;
};

}  // namespace druvex::test
