#include "liveupdate/web_downloader.h"

#include <string>
#include <vector>

#include "core/sha1.h"
#include "fileutil/operation_log.h"
#include "platform/http_headers.h"
#include "platform/http_request.h"
#include "text/mutex.h"

namespace druvex {

namespace {

std::atomic<bool> g_useProxy{false};

// A device could not keep a file of 4 GiB or more; neither do the callers'
// 32-bit sizes.
constexpr std::uint64_t kLargestDownload = 0xFFFFFFFFull;

std::string urlBytes(const SharedString& url)
{
    return std::string(toUtf8(url).view());
}

// The reply's header block as the device API gave it: a success status and
// the announced length (0: none). A refused block is logged.
bool acceptHeaders(const std::string& block, std::uint64_t& length)
{
    const std::u16string headers = widenHeaderBytes(block);
    length = 0;
    if (!parseForHttpResultOk(headers)) {
        logHttpResultParseError(headers);
        return false;
    }
    findContentLength(headers, length);
    return true;
}

void logOpenFailure(const HttpResult& result)
{
    logInvokeError(result.call, result.error);
}

}  // namespace

bool getUseProxy()
{
    return g_useProxy.load();
}

void setUseProxy(bool useProxy)
{
    g_useProxy.store(useProxy);
}

// One GET of a running request: the listener calls, the SHA-1 and the count,
// and the status when the transfer decided it.
class WebDownloader::Transfer final : public HttpReceiver {
public:
    Transfer(WebDownloader& downloader, DownloadRequest& request)
        : downloader_(downloader), request_(request), digesting_(!request.digest.isEmpty())
    {
    }

    bool onHeaders(const std::string& block) override
    {
        if (!acceptHeaders(block, length_))
            return decide(kDownloadRequestFailed);
        if (downloader_.stopping())
            return decide(kDownloadCancelled);
        // The state check and the calls in one region: a cancel between them
        // would otherwise see onBegin after its own onFinished.
        MutexLock delivery(request_.delivery_);
        if (request_.state() == kRequestCancelled)
            return decide(kDownloadCancelled);
        if (length_ != 0)
            request_.listener->onContentLength(request_, length_);
        request_.listener->onBegin(request_);
        return true;
    }

    bool onBody(const std::uint8_t* data, std::size_t size) override
    {
        if (downloader_.stopping())
            return decide(kDownloadCancelled);
        if (digesting_)
            sha1_.update(size, data);
        total_ += size;
        MutexLock delivery(request_.delivery_);
        if (request_.state() == kRequestCancelled)
            return decide(kDownloadCancelled);
        if (!request_.listener->onData(request_, static_cast<std::uint32_t>(size), 0, data)) {
            logError(u"progress.onProgress");
            return decide(kDownloadRefused);
        }
        return true;
    }

    bool shouldStop() override { return downloader_.stopping() || request_.state() == kRequestCancelled; }

    // The status once the transfer has ended.
    int status(const HttpResult& result)
    {
        if (status_ >= 0)
            return status_;
        switch (result.failure) {
        case HttpFailure::Open:
            logOpenFailure(result);
            return kDownloadOpenFailed;
        case HttpFailure::Send:
            logOpenFailure(result);
            return kDownloadRequestFailed;
        case HttpFailure::Stopped:
            return kDownloadCancelled;
        case HttpFailure::Receive:
            // A connection closed before the announced length is an early end
            // of data, which the size check names; without a length nothing
            // would show the loss, so any failure counts.
            if (result.endedEarly && length_ != 0)
                break;
            logInvokeError(length_ != 0 ? u"InternetReadFile" : u"Unknown error in download", result.error);
            return kDownloadTransferFailed;
        case HttpFailure::None:
            break;
        }
        if (length_ != 0 && (total_ != length_ || total_ > kLargestDownload)) {
            logError(u"Bad file size");
            return kDownloadTransferFailed;
        }
        if (digesting_ && sha1_.hexDigest(Sha1::kDigestBytes) != request_.digest) {
            logError(u"Bad digest");
            return kDownloadTransferFailed;
        }
        return kDownloadOk;
    }

private:
    bool decide(int status)
    {
        status_ = status;
        return false;
    }

    WebDownloader& downloader_;
    DownloadRequest& request_;
    const bool digesting_;
    Sha1 sha1_;
    std::uint64_t length_ = 0;
    std::uint64_t total_ = 0;
    int status_ = -1;
};

namespace {

// The HEAD probe's receiver: only the header block counts.
class HeadProbe final : public HttpReceiver {
public:
    bool onHeaders(const std::string& block) override
    {
        accepted = acceptHeaders(block, length);
        return accepted;
    }
    bool onBody(const std::uint8_t*, std::size_t) override { return true; }
    bool shouldStop() override { return false; }

    bool accepted = false;
    std::uint64_t length = 0;
};

// A cancelled end, reported by whoever ended the request.
void reportCancelled(DownloadRequest& request)
{
    bool retry = false;
    request.listener->onFinished(request, kDownloadCancelled, retry);
}

}  // namespace

WebDownloader::WebDownloader(HttpClock* clock) : clock_(clock) {}

WebDownloader::~WebDownloader()
{
    shutdown();
}

void WebDownloader::enqueue(const SharedString& url, const SharedString& digest, std::uint32_t timeout,
                            DownloadListener* listener, std::shared_ptr<DownloadRequest>& request)
{
    auto made = std::make_shared<DownloadRequest>(url, digest, timeout, listener);
    request = made;
    {
        MutexLock lock(mutex_);
        if (!stop_.load()) {
            queue_.push_back(made);
            if (!thread_.joinable())
                thread_ = WorkerThread([this] { run(); });
            wake_.notify_one();
            return;
        }
        made->state_ = kRequestFinished;
    }
    reportCancelled(*made);
}

void WebDownloader::cancel(const std::shared_ptr<DownloadRequest>& request)
{
    if (!request)
        return;
    bool running = false;
    {
        MutexLock lock(mutex_);
        std::erase(queue_, request);
        const int state = request->state();
        if (state == kRequestCancelled || state == kRequestFinished)
            return;
        running = state == kRequestRunning;
        if (!running)
            request->state_ = kRequestCancelled;
    }
    if (running) {
        // Waits for a listener call of the worker in progress, so that none
        // comes after this cancel's report.
        MutexLock delivery(request->delivery_);
        MutexLock lock(mutex_);
        if (request->state() != kRequestRunning)
            return;
        request->state_ = kRequestCancelled;
    }
    reportCancelled(*request);
}

void WebDownloader::cancelAll()
{
    cancel_.store(true);
    wake_.notify_all();
}

void WebDownloader::shutdown()
{
    {
        MutexLock lock(mutex_);
        stop_.store(true);
    }
    wake_.notify_all();
    joinThread(thread_, kJoinThreadTimeoutMs, "WebDownloader::shutdown");
    MutexLock lock(mutex_);
    queue_.clear();
}

void WebDownloader::run()
{
    for (;;) {
        std::vector<std::shared_ptr<DownloadRequest>> flushed;
        std::shared_ptr<DownloadRequest> next;
        {
            MutexLock lock(mutex_);
            wake_.wait(mutex_, [this]() REQUIRES(mutex_) { return !queue_.empty() || stop_.load(); });
            if (stopping()) {
                // Finished, not cancelled: a later cancel must not report them again.
                for (auto& request : queue_) {
                    request->state_ = kRequestFinished;
                    flushed.push_back(std::move(request));
                }
                queue_.clear();
            } else {
                next = std::move(queue_.front());
                queue_.pop_front();
                next->state_ = kRequestRunning;
            }
        }
        for (const auto& request : flushed)
            reportCancelled(*request);
        if (next)
            runRequest(next);
        else if (flushed.empty() && stop_.load())
            return;
    }
}

void WebDownloader::runRequest(const std::shared_ptr<DownloadRequest>& request)
{
    for (;;) {
        const int status = download(*request);
        {
            MutexLock lock(mutex_);
            if (request->state() == kRequestCancelled)
                return;
            request->state_ = kRequestFinished;
        }
        bool retry = false;
        request->listener->onFinished(*request, status, retry);
        if (!retry)
            return;
        {
            MutexLock lock(mutex_);
            if (request->state() != kRequestFinished)
                return;
            if (!stopping()) {
                request->state_ = kRequestRunning;
                continue;
            }
        }
        // A downloader that is being stopped runs nothing again, but the
        // listener that asked for the retry still waits for an end.
        reportCancelled(*request);
        return;
    }
}

int WebDownloader::download(DownloadRequest& request)
{
    logDownloadStart(request.url.view());
    Transfer transfer(*this, request);
    HttpRequestOptions options;
    options.timeoutMs = request.timeout;
    options.useProxy = getUseProxy();
    options.clock = clock_;
    const HttpResult result = performHttpRequest(urlBytes(request.url), options, transfer);
    const int status = transfer.status(result);
    logDownloadResult(request.url.view(), status);
    return status;
}

bool WebDownloader::probeSize(const SharedString& url, std::uint32_t timeout, std::uint64_t expectedSize)
{
    HeadProbe probe;
    HttpRequestOptions options;
    options.head = true;
    options.timeoutMs = timeout;
    options.useProxy = getUseProxy();
    options.clock = clock_;
    const HttpResult result = performHttpRequest(urlBytes(url), options, probe);
    if (result.failure == HttpFailure::Open || result.failure == HttpFailure::Send)
        logOpenFailure(result);
    if (!probe.accepted || result.failure != HttpFailure::None)
        return false;
    return expectedSize == 0 || probe.length == expectedSize;
}

}  // namespace druvex
