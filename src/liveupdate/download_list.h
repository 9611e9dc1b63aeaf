// DownloadList: a batch of small files (the installer's language files)
// fetched into files on the target, each through its own request on the
// web downloader, and reported to the requester as one batch: a total of
// 10,240 per file at the start, 10,240 more for each file that arrives, and
// one end report when the last file's request ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "hal/hal_file.h"
#include "liveupdate/download_request.h"
#include "text/mutex.h"
#include "text/shared_string.h"

namespace druvex {

class DownloadList;
class HalAccess;
class WebDownloader;

// One file of a list: the listener of its own request, writing what arrives
// into its target through the host.
class DownloadListItem final : public DownloadListener {
public:
    DownloadListItem(DownloadList& list, std::shared_ptr<HalAccess> host, SharedString target, int id,
                     SharedString digest, SharedString url);

    const int id;               // the requester's number (the language id)
    const SharedString digest;  // the expected SHA-1; empty: not checked
    const SharedString url;
    const SharedString target;  // the file to write, a device path
    // The request while it runs; written and read under the list's lock.
    std::shared_ptr<DownloadRequest> request;

    // Opens the target (create or truncate) unless it is open.
    void onContentLength(DownloadRequest& request, std::uint64_t length) override;
    void onBegin(DownloadRequest& request) override;
    // Writes the bytes; true only when all were written and the flags are 0.
    bool onData(DownloadRequest& request, std::uint32_t size, std::uint32_t flags,
                const std::uint8_t* bytes) override;
    // Closes the file, deletes it when the download failed, and tells the list.
    void onFinished(DownloadRequest& request, int status, bool& retry) override;

private:
    DownloadList& list_;
    std::shared_ptr<HalAccess> host_;
    HalFile file_;
    // Only a file this item made is deleted on failure: a request that never
    // got as far as opening it leaves an existing file alone.
    bool created_ = false;
};

class DownloadList {
public:
    static constexpr std::uint32_t kItemTimeoutMs = 8000;
    // What each file counts in the batch's progress (pseudo-bytes).
    static constexpr std::uint64_t kItemWeight = 10240;

    // `batchListener` (not owned) gets the batch's progress and end.
    DownloadList(std::shared_ptr<HalAccess> host, WebDownloader& downloader, DownloadListener* batchListener);
    // Cancels what still runs and waits for an end report in progress, so
    // that no request calls into a freed item or list.
    ~DownloadList();
    DownloadList(const DownloadList&) = delete;
    DownloadList& operator=(const DownloadList&) = delete;

    void add(const SharedString& target, int id, const SharedString& digest, const SharedString& url);
    std::size_t count() const;
    // Removes every item; requests of removed items that still run are
    // cancelled, and an end report in progress is waited for. Not to be
    // called from within the list's own reports.
    void clear();
    std::shared_ptr<DownloadListItem> item(std::size_t index) const;

    // Queues every item in order; right after the first, the batch listener's
    // onContentLength gets the first item's request and kItemWeight per item.
    // No item's report reaches the batch listener before that announcement:
    // the downloader's reports wait for it, and those a shut-down downloader
    // makes at once, on this thread, are delivered after it, before startAll
    // returns.
    void startAll();
    // Cancels every item's request.
    void cancelAll();

private:
    friend class DownloadListItem;

    // An item's end, as the batch listener hears it.
    struct ItemReport {
        DownloadListItem* item;
        DownloadRequest* request;
        int status;
    };

    void itemFinished(DownloadListItem& item, DownloadRequest& request, int status);
    // The last thing an item does in its end report.
    void endReported();
    void reportToBatch(const ItemReport& report, bool last);
    bool isLast(const DownloadListItem& item) const REQUIRES(mutex_);
    void cancelRequests(const std::vector<std::shared_ptr<DownloadListItem>>& items);

    std::shared_ptr<HalAccess> host_;
    WebDownloader& downloader_;
    DownloadListener* batchListener_;
    // Never held while calling out, so that a report on the starting thread
    // finds it free.
    mutable Mutex mutex_;
    ConditionVariable announced_;
    std::vector<std::shared_ptr<DownloadListItem>> items_ GUARDED_BY(mutex_);
    // While a batch starts: which thread starts it, and the reports made on
    // that thread, to be delivered once the total is announced.
    bool starting_ GUARDED_BY(mutex_) = false;
    std::thread::id starter_ GUARDED_BY(mutex_);
    std::vector<ItemReport> heldBack_ GUARDED_BY(mutex_);
    // Requests started whose end report has not yet run to its end. The
    // worker marks a request finished before it reports the end, so a cancel
    // may find nothing to cancel while that report is still to come or under
    // way: the teardown waits for the count instead.
    Mutex endMutex_;
    ConditionVariable endsChanged_;
    std::size_t endsDue_ GUARDED_BY(endMutex_) = 0;
};

}  // namespace druvex
