// One request of the web downloader and the interface of its receiver: what
// requesters, the downloader's worker and the listeners share about one
// transfer.
#pragma once

#include <atomic>
#include <cstdint>

#include "text/mutex.h"
#include "text/shared_string.h"

namespace druvex {

class DownloadRequest;

// A request's outcome, as onFinished reports it.
constexpr int kDownloadOk = 0;              // complete and checked
constexpr int kDownloadOpenFailed = 1;      // the URL or the request could not be opened
constexpr int kDownloadRequestFailed = 2;   // not sent, no reply, or the status is not a success
constexpr int kDownloadTransferFailed = 3;  // the body failed, or its size or digest differ
constexpr int kDownloadRefused = 4;         // the listener refused a piece of data
constexpr int kDownloadCancelled = 5;

// A request's state.
constexpr int kRequestQueued = 0;
constexpr int kRequestRunning = 1;
constexpr int kRequestCancelled = 2;
constexpr int kRequestFinished = 3;

// The receiver of one request. Calls come on the downloader's worker thread,
// except onFinished of WebDownloader::cancel, which comes on the thread that
// cancels. After onFinished no further call comes (unless it asks to retry).
class DownloadListener {
public:
    virtual ~DownloadListener() = default;
    // The length the server announced, before any data; not called when it
    // announced none (or 0).
    virtual void onContentLength(DownloadRequest& request, std::uint64_t length) = 0;
    // The transfer starts.
    virtual void onBegin(DownloadRequest& request) = 0;
    // A piece of data as it arrived; `flags` is always 0. False aborts the
    // transfer with kDownloadRefused.
    virtual bool onData(DownloadRequest& request, std::uint32_t size, std::uint32_t flags,
                        const std::uint8_t* bytes) = 0;
    // The outcome. Setting `retry` runs the same request again at once, from
    // the start.
    virtual void onFinished(DownloadRequest& request, int status, bool& retry) = 0;
};

class DownloadRequest {
public:
    DownloadRequest(SharedString url, SharedString digest, std::uint32_t timeout, DownloadListener* listener)
        : url(std::move(url)), digest(std::move(digest)), timeout(timeout), listener(listener)
    {
    }
    DownloadRequest(const DownloadRequest&) = delete;
    DownloadRequest& operator=(const DownloadRequest&) = delete;

    const SharedString url;
    // The expected SHA-1 as 40 upper-case hexadecimal characters; empty: not checked.
    const SharedString digest;
    // Milliseconds for the connect and the idle receive time-outs; 0: the defaults.
    const std::uint32_t timeout;
    DownloadListener* const listener;  // not owned

    int state() const { return state_.load(); }

private:
    friend class WebDownloader;

    std::atomic<int> state_{kRequestQueued};
    // Held by the worker around each listener call of a running request, so
    // that a cancel never overtakes one.
    Mutex delivery_;
};

}  // namespace druvex
