// WebDownloader: fetches files from the update server over HTTP (bulletins,
// languages, licence texts, feature packages, a newer installer). Requests
// are queued and run one at a time, in order, on one worker thread; each
// streams its bytes to its DownloadListener and is checked against the
// length the server announced and, when one is given, a SHA-1 digest. A
// separate HEAD probe tells whether a package is on the server.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>

#include "core/thread_utils.h"
#include "liveupdate/download_request.h"
#include "text/mutex.h"
#include "text/shared_string.h"

namespace druvex {

class HttpClock;

class WebDownloader {
public:
    // No thread until the first request. `clock` (null: the steady clock)
    // measures the idle time-outs; it must outlive the downloader.
    explicit WebDownloader(HttpClock* clock = nullptr);
    // Shuts down: no listener call comes after this returns.
    ~WebDownloader();
    WebDownloader(const WebDownloader&) = delete;
    WebDownloader& operator=(const WebDownloader&) = delete;

    // Queues a request (handed back through `request` before it can run) and
    // starts the worker on the first call. After shutdown the request ends at
    // once with kDownloadCancelled, on the calling thread.
    void enqueue(const SharedString& url, const SharedString& digest, std::uint32_t timeout,
                 DownloadListener* listener, std::shared_ptr<DownloadRequest>& request);
    // A queued or running request ends with kDownloadCancelled, reported on
    // the calling thread before this returns; a running one stops at once. A
    // cancelled or finished request is left alone.
    void cancel(const std::shared_ptr<DownloadRequest>& request);
    // Every queued request, the running one and every later one end with
    // kDownloadCancelled, the later ones without any traffic. Never undone.
    void cancelAll();
    // Ends the running request, reports the queued ones as cancelled and joins
    // the worker. Safe to call more than once.
    void shutdown();

    // A HEAD request on the calling thread: true when the server answers with
    // a success and announces `expectedSize` bytes (any length when it is 0).
    bool probeSize(const SharedString& url, std::uint32_t timeout, std::uint64_t expectedSize);

private:
    class Transfer;

    void run();
    void runRequest(const std::shared_ptr<DownloadRequest>& request);
    int download(DownloadRequest& request);
    bool stopping() const { return stop_.load() || cancel_.load(); }

    HttpClock* clock_;
    Mutex mutex_;  // guards the queue, the start of the thread and the request states
    ConditionVariable wake_;
    std::deque<std::shared_ptr<DownloadRequest>> queue_ GUARDED_BY(mutex_);
    // Started under the lock; joined by shutdown without it, once stop_ keeps
    // enqueue from starting another.
    WorkerThread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> cancel_{false};
};

// Whether requests go through the proxy the device profile names; off at start.
bool getUseProxy();
void setUseProxy(bool useProxy);

}  // namespace druvex
