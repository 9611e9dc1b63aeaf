// PackageInstaller: the installation's step for online features, whose
// packages are not in the installer archive. It plans one download job per
// such package (or, in the new-version download, one for the new installer),
// checks that the server has them, downloads them through the controller's
// web downloader into temporary files, reports progress, rate and the retry
// or skip questions, and hands each package that arrived whole to its owner,
// which unpacks it while the other downloads go on.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "data/wizard_ids.h"
#include "fileutil/rate_estimator.h"
#include "hal/hal_file.h"
#include "liveupdate/download_request.h"
#include "text/mutex.h"
#include "text/shared_string.h"

namespace druvex {

class Feature;
class HalAccess;
class HttpClock;
class InstallationProcessListener;
class PackageCache;
class PackageInstaller;
class WStringMultimap;
class WebDownloader;
using FeaturePtr = std::shared_ptr<Feature>;

// The last component of a URL's path, without a query or fragment.
SharedString urlFileName(const SharedString& url);

// What the package installer takes from the controller, which implements it.
// Called on the installation thread while jobs are planned and started, and
// on the downloader's worker while they run.
class PackageInstallerContext {
public:
    virtual ~PackageInstallerContext() = default;
    // The run's downloader; it outlives the package installer.
    virtual WebDownloader& getWebDownloader() = 0;
    // The host of the target, where the packages are downloaded to.
    virtual std::shared_ptr<HalAccess> getHalOut() = 0;
    virtual PackageCache& packageCache() = 0;
    // Where each package can be taken from; downloads are the sources of kind
    // kSourceDownload, whose location is the package's URL.
    virtual const WStringMultimap& getPackageSources() = 0;
    // The answer to whether optional features whose download failed are
    // skipped.
    virtual bool getSkipFeatureChoice() = 0;
    virtual void setSkipFeatureChoice(bool skip) = 0;
    virtual WizardMode getWizardMode() = 0;
    // In the new-version download: the new installer's URL and size, and the
    // file to save it as.
    virtual void getNewVersionDownload(SharedString& url, std::uint64_t& size, SharedString& target) = 0;
};

class PackageJob;

// The owner of the step (the installation process) learns here what became
// of each package. The calls come on the downloader's worker thread.
class PackageInstallerListener {
public:
    virtual ~PackageInstallerListener() = default;
    virtual void onPackageStarted(const FeaturePtr& feature, PackageJob& job) = 0;
    // The transfer rate in bytes per second (0 while there is none yet) and
    // the bytes of the package still missing.
    virtual void onPackageRate(std::uint64_t rate, std::uint64_t missing) = 0;
    // The package arrived whole, with its size and digest checked, at `path`.
    virtual void onPackageReady(const FeaturePtr& feature, const SharedString& path) = 0;
    virtual void onPackageSkipped(const FeaturePtr& feature) = 0;
    // Every job has ended; comes once, after the last job's own report.
    virtual void onAllPackagesHandled() = 0;
    // A package failed and was not skipped: every download of the run is
    // cancelled. Comes once for each job that ends so.
    virtual void onPackagesFailed() = 0;
};

// One package to download: the listener of its own request, writing what
// arrives into its target through the host.
class PackageJob final : public DownloadListener {
public:
    PackageJob(PackageInstaller& installer, FeaturePtr feature, SharedString url, std::uint64_t size,
               SharedString target);

    const FeaturePtr feature;
    const SharedString url;
    const SharedString digest;  // the feature's Digest; empty: not checked
    const std::uint64_t size;   // the bytes the package must have
    const SharedString target;  // the temporary file, a device path

    void onContentLength(DownloadRequest& request, std::uint64_t length) override;
    // A new attempt: nothing received yet.
    void onBegin(DownloadRequest& request) override;
    // Creates the target on the first piece of an attempt and writes the
    // piece; refuses a piece that cannot be written whole or that would take
    // the package past its size.
    bool onData(DownloadRequest& request, std::uint32_t size, std::uint32_t flags,
                const std::uint8_t* bytes) override;
    // Closes the target, deletes it unless the package arrived whole, and
    // lets the installer decide what follows.
    void onFinished(DownloadRequest& request, int status, bool& retry) override;

private:
    friend class PackageInstaller;

    // Forgets the attempt that failed: the file is closed and deleted.
    void resetAttempt();

    PackageInstaller& installer_;
    std::shared_ptr<DownloadRequest> request_;
    HalFile file_;
    // The target was made by this job and not deleted since.
    bool created_ = false;
    std::uint64_t received_ = 0;
};

class PackageInstaller {
public:
    // The connect and idle time-out of the probes and downloads.
    static constexpr std::uint32_t kTimeoutMs = 10000;

    // Reads the packages folder from the context's cache. `clock` (null: the
    // steady clock) times the transfer rate; it must outlive the installer.
    PackageInstaller(PackageInstallerContext& context, PackageInstallerListener& owner, HttpClock* clock = nullptr);
    // Waits until every job that was started has ended; cancel first to end
    // them soon.
    ~PackageInstaller();
    PackageInstaller(const PackageInstaller&) = delete;
    PackageInstaller& operator=(const PackageInstaller&) = delete;

    // Sorts the features into those whose package is downloaded (exactly one
    // source, a download with a size) and the rest, and adds a job for each
    // download, named "tmp%04d_" and the feature's Name in the packages
    // folder. The new-version download plans its one job instead.
    void planDownloads(const std::vector<FeaturePtr>& features, std::vector<FeaturePtr>& downloaded,
                       std::vector<FeaturePtr>& local);
    // A job for the package; nothing without a feature, a size, a URL or a target.
    void addPackage(const FeaturePtr& feature, const SharedString& url, std::uint64_t size,
                    const SharedString& target);
    // Asks the server for each package's size. At the first that is missing
    // or of another size: the error "Package at <url> is not present", its
    // feature in `missing` (when given), every job removed, false.
    bool checkPackagesPresent(FeaturePtr* missing = nullptr);
    // Tells the listener (may be null) the total and queues every job. Once.
    void start(InstallationProcessListener* listener);
    // Cancels every download of the controller's downloader: the jobs end
    // without a question and without their files. Any thread.
    void cancel();
    // Waits until the started jobs have ended, then removes every job.
    void reset();

    std::size_t jobCount() const;
    std::shared_ptr<PackageJob> job(std::size_t index) const;
    // The sizes of the jobs added up.
    std::uint64_t totalBytes() const;
    const SharedString& packagesFolder() const { return packagesFolder_; }

private:
    friend class PackageJob;

    // A piece of `job` was written.
    void reportProgress(PackageJob& job, std::uint32_t bytes);
    // The outcome of one attempt of `job`.
    void jobFinished(PackageJob& job, int status);
    // The job ended for good.
    void jobHandled(PackageJob& job, int status);
    void waitForStartedJobs();

    PackageInstallerContext& context_;
    PackageInstallerListener& owner_;
    HttpClock& clock_;
    const std::shared_ptr<HalAccess> host_;
    SharedString packagesFolder_;

    mutable Mutex mutex_;  // guards everything below
    ConditionVariable finished_;
    std::vector<std::shared_ptr<PackageJob>> jobs_ GUARDED_BY(mutex_);
    std::uint64_t total_ GUARDED_BY(mutex_) = 0;
    std::uint64_t done_ GUARDED_BY(mutex_) = 0;
    std::size_t started_ GUARDED_BY(mutex_) = 0;   // jobs queued by start
    std::size_t handled_ GUARDED_BY(mutex_) = 0;   // jobs that ended for good
    std::size_t finishedCount_ GUARDED_BY(mutex_) = 0;  // handled jobs that made their last call
    InstallationProcessListener* listener_ GUARDED_BY(mutex_) = nullptr;
    RateEstimator rate_ GUARDED_BY(mutex_);
    bool askSkip_ GUARDED_BY(mutex_) = false;
    bool cancelled_ GUARDED_BY(mutex_) = false;
};

}  // namespace druvex
