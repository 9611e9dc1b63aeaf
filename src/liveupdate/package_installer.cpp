#include "liveupdate/package_installer.h"

#include <algorithm>
#include <string>
#include <utility>

#include "data/feature.h"
#include "data/package_sources.h"
#include "fileutil/file_util.h"
#include "fileutil/installation_process_listener.h"
#include "fileutil/operation_log.h"
#include "hal/hal_access.h"
#include "liveupdate/package_cache.h"
#include "liveupdate/web_downloader.h"
#include "platform/http_request.h"
#include "text/mutex.h"

namespace druvex {

SharedString urlFileName(const SharedString& url)
{
    std::u16string_view path = url.view();
    path = path.substr(0, std::min(path.find(u'?'), path.find(u'#')));
    const std::size_t slash = path.find_last_of(u'/');
    return SharedString(slash == std::u16string_view::npos ? path : path.substr(slash + 1));
}

namespace {


// "tmp%04d_" and the feature's Name. A separator in the Name would put the
// file into another folder (or none), so it becomes '_' like in archive names.
SharedString temporaryName(int counter, const Feature& feature)
{
    SharedString name;
    name.format(u"tmp%04d_", counter);
    std::u16string featureName(feature.getNameRef().view());
    std::replace(featureName.begin(), featureName.end(), u'/', u'_');
    std::replace(featureName.begin(), featureName.end(), u'\\', u'_');
    return name + SharedString(std::u16string_view(featureName));
}

}  // namespace

PackageJob::PackageJob(PackageInstaller& installer, FeaturePtr feature, SharedString url, std::uint64_t size,
                       SharedString target)
    : feature(std::move(feature)),
      url(std::move(url)),
      digest(this->feature->getDigest()),
      size(size),
      target(std::move(target)),
      installer_(installer)
{
}

void PackageJob::onContentLength(DownloadRequest&, std::uint64_t) {}

void PackageJob::onBegin(DownloadRequest&)
{
    received_ = 0;
    installer_.owner_.onPackageStarted(feature, *this);
}

bool PackageJob::onData(DownloadRequest&, std::uint32_t count, std::uint32_t flags, const std::uint8_t* bytes)
{
    if (flags != 0)
        return false;
    if (count > size - std::min(received_, size)) {
        // More than the package has: it is not the package that was planned.
        logError(u"Bad file size");
        return false;
    }
    if (!file_.isOpen()) {
        if (!file_.openForWrite(installer_.host_, target)) {
            logFileCreated(target.view(), false, false);
            return false;
        }
        created_ = true;
    }
    // A piece that is not all on the device would leave a package that
    // passes the digest check of the bytes received and still fails to unpack.
    if (file_.write(bytes, count) != static_cast<std::int64_t>(count)) {
        logWriteFailed();
        return false;
    }
    received_ += count;
    installer_.reportProgress(*this, count);
    return true;
}

void PackageJob::onFinished(DownloadRequest&, int status, bool& retry)
{
    retry = false;
    if (file_.isOpen() && !file_.close() && status == kDownloadOk) {
        logCloseFailed();
        status = kDownloadTransferFailed;
    }
    // The server's length and the digest were checked; the size the package
    // must have was not, unless the server's length matched it.
    if (status == kDownloadOk && received_ != size) {
        logError(u"Bad file size");
        status = kDownloadTransferFailed;
    }
    if (status != kDownloadOk)
        resetAttempt();
    request_.reset();
    installer_.jobFinished(*this, status);
}

void PackageJob::resetAttempt()
{
    file_.letGo();
    if (created_)
        deleteFileOrLog(*installer_.host_, target);
    created_ = false;
}

PackageInstaller::PackageInstaller(PackageInstallerContext& context, PackageInstallerListener& owner,
                                   HttpClock* clock)
    : context_(context),
      owner_(owner),
      clock_(clock ? *clock : HttpClock::steady()),
      host_(context.getHalOut())
{
    context_.packageCache().downloadFolder(packagesFolder_);
}

PackageInstaller::~PackageInstaller()
{
    waitForStartedJobs();
}

void PackageInstaller::planDownloads(const std::vector<FeaturePtr>& features, std::vector<FeaturePtr>& downloaded,
                                     std::vector<FeaturePtr>& local)
{
    if (context_.getWizardMode() == kModeDownload) {
        SharedString url;
        std::uint64_t size = 0;
        SharedString target;
        context_.getNewVersionDownload(url, size, target);
        FeaturePtr installer = makeFeaturePtr();
        installer->setName(urlFileName(url));
        installer->setCompressedSize(static_cast<std::int64_t>(size));
        addPackage(installer, url, size, target);
        return;
    }
    int counter = 0;
    std::vector<PackageSource> sources;
    for (const FeaturePtr& feature : features) {
        if (!feature)
            continue;
        const bool online = context_.getPackageSources().equalRange(*feature, sources) && sources.size() == 1 &&
                            sources[0].sourceKind == kSourceDownload &&
                            (sources[0].sizeLow != 0 || sources[0].sizeHigh != 0);
        if (!online) {
            local.push_back(feature);
            continue;
        }
        const std::uint64_t size = (static_cast<std::uint64_t>(sources[0].sizeHigh) << 32) | sources[0].sizeLow;
        addPackage(feature, sources[0].location, size, joinPath(packagesFolder_, temporaryName(counter, *feature)));
        ++counter;
        downloaded.push_back(feature);
    }
}

void PackageInstaller::addPackage(const FeaturePtr& feature, const SharedString& url, std::uint64_t size,
                                  const SharedString& target)
{
    if (!feature || size == 0 || url.isEmpty() || target.isEmpty())
        return;
    auto job = std::make_shared<PackageJob>(*this, feature, url, size, target);
    MutexLock lock(mutex_);
    jobs_.push_back(std::move(job));
    total_ += size;
}

bool PackageInstaller::checkPackagesPresent(FeaturePtr* missing)
{
    std::vector<std::shared_ptr<PackageJob>> jobs;
    {
        MutexLock lock(mutex_);
        jobs = jobs_;
    }
    for (const auto& job : jobs) {
        if (context_.getWebDownloader().probeSize(job->url, kTimeoutMs, job->size))
            continue;
        logError(u"Package at " + std::u16string(job->url.view()) + u" is not present");
        if (missing)
            *missing = job->feature;
        MutexLock lock(mutex_);
        jobs_.clear();
        total_ = 0;
        return false;
    }
    return true;
}

void PackageInstaller::start(InstallationProcessListener* listener)
{
    std::vector<std::shared_ptr<PackageJob>> jobs;
    std::uint64_t total = 0;
    {
        MutexLock lock(mutex_);
        if (started_ != 0 || jobs_.empty())
            return;
        listener_ = listener;
        jobs = jobs_;
        started_ = jobs.size();
        total = total_;
    }
    if (listener)
        listener->onDownloadBegin(total);
    // A downloader that was shut down ends a request at once, on this thread.
    for (const auto& job : jobs)
        context_.getWebDownloader().enqueue(job->url, job->digest, kTimeoutMs, job.get(), job->request_);
}

void PackageInstaller::cancel()
{
    {
        MutexLock lock(mutex_);
        cancelled_ = true;
    }
    context_.getWebDownloader().cancelAll();
}

void PackageInstaller::reset()
{
    waitForStartedJobs();
    MutexLock lock(mutex_);
    jobs_.clear();
    total_ = 0;
    done_ = 0;
    started_ = 0;
    handled_ = 0;
    finishedCount_ = 0;
    finished_.notify_all();
}

std::size_t PackageInstaller::jobCount() const
{
    MutexLock lock(mutex_);
    return jobs_.size();
}

std::shared_ptr<PackageJob> PackageInstaller::job(std::size_t index) const
{
    MutexLock lock(mutex_);
    return index < jobs_.size() ? jobs_[index] : nullptr;
}

std::uint64_t PackageInstaller::totalBytes() const
{
    MutexLock lock(mutex_);
    return total_;
}

void PackageInstaller::reportProgress(PackageJob& job, std::uint32_t bytes)
{
    const std::uint64_t received = std::min(job.received_, job.size);
    const std::uint64_t now = clock_.nowMs();
    std::uint64_t position = 0;
    std::uint64_t rate = 0;
    InstallationProcessListener* listener = nullptr;
    {
        MutexLock lock(mutex_);
        position = done_ + received;
        rate_.addSample(now, now, bytes);
        rate_.getRate(rate);
        listener = listener_;
    }
    if (listener)
        listener->onDownloadProgress(job.feature->getDisplayName(), position);
    const std::int64_t compressed = job.feature->getCompressedSize();
    const std::uint64_t expected = compressed > 0 ? static_cast<std::uint64_t>(compressed) : 0;
    owner_.onPackageRate(rate, expected > received ? expected - received : 0);
}

void PackageInstaller::jobFinished(PackageJob& job, int status)
{
    InstallationProcessListener* listener = nullptr;
    bool askSkip = false;
    {
        MutexLock lock(mutex_);
        // Once the run is cancelled a failure is the cancel's doing: no question.
        if (cancelled_ && status != kDownloadOk)
            status = kDownloadCancelled;
        listener = listener_;
        if (status != kDownloadOk && status != kDownloadCancelled) {
            askSkip = askSkip_;
            askSkip_ = false;
        }
    }
    if (status == kDownloadOk || status == kDownloadCancelled) {
        jobHandled(job, status);
        return;
    }
    const SharedString name = job.feature->getDisplayName();
    const bool skippable = job.feature->getSkippable();
    if (askSkip)
        context_.setSkipFeatureChoice(listener && listener->askSkipDownload(name));
    if (!(context_.getSkipFeatureChoice() && skippable) && listener && listener->askRetryDownload(name, status)) {
        bool queueAgain = false;
        {
            MutexLock lock(mutex_);
            queueAgain = !cancelled_;
            if (queueAgain && skippable)
                askSkip_ = true;
        }
        if (queueAgain) {
            // A new request rather than the downloader's retry flag: a retry
            // that meets a cancel is then still reported (as cancelled), so
            // the run never waits for a job that silently went away.
            job.received_ = 0;
            context_.getWebDownloader().enqueue(job.url, job.digest, kTimeoutMs, &job, job.request_);
            return;
        }
        status = kDownloadCancelled;
    }
    jobHandled(job, status);
}

void PackageInstaller::jobHandled(PackageJob& job, int status)
{
    bool last = false;
    {
        MutexLock lock(mutex_);
        done_ += std::min(job.received_, job.size);
        ++handled_;
        last = handled_ == started_;
    }
    int finalStatus = status;
    if (status != kDownloadOk) {
        if (context_.getSkipFeatureChoice() && job.feature->getSkippable()) {
            owner_.onPackageSkipped(job.feature);
            finalStatus = kDownloadOk;
        } else {
            cancel();
            owner_.onPackagesFailed();
        }
    } else {
        SharedString path = job.target;
        if (context_.getWizardMode() != kModeDownload && job.feature->storageKind() == kStorageFeature)
            context_.packageCache().storePackage(path, job.target);
        owner_.onPackageReady(job.feature, path);
    }
    if (last) {
        InstallationProcessListener* listener = nullptr;
        {
            MutexLock lock(mutex_);
            listener = listener_;
        }
        if (listener)
            listener->onDownloadFinished(finalStatus);
        owner_.onAllPackagesHandled();
    }
    // Notified under the lock: a waiting destructor may free the condition
    // as soon as it sees the count.
    MutexLock lock(mutex_);
    ++finishedCount_;
    finished_.notify_all();
}

void PackageInstaller::waitForStartedJobs()
{
    MutexLock lock(mutex_);
    finished_.wait(mutex_, [this]() REQUIRES(mutex_) { return finishedCount_ >= started_; });
}

}  // namespace druvex
