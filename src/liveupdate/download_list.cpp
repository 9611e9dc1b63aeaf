#include "liveupdate/download_list.h"

#include <utility>

#include "fileutil/file_util.h"
#include "fileutil/operation_log.h"
#include "hal/hal_access.h"
#include "liveupdate/web_downloader.h"
#include "text/mutex.h"

namespace druvex {

DownloadListItem::DownloadListItem(DownloadList& list, std::shared_ptr<HalAccess> host, SharedString target,
                                   int id, SharedString digest, SharedString url)
    : id(id),
      digest(std::move(digest)),
      url(std::move(url)),
      target(std::move(target)),
      list_(list),
      host_(std::move(host))
{
}

void DownloadListItem::onContentLength(DownloadRequest&, std::uint64_t)
{
    if (file_.isOpen())
        return;
    created_ = file_.openForWrite(host_, target);
}

void DownloadListItem::onBegin(DownloadRequest&) {}

bool DownloadListItem::onData(DownloadRequest&, std::uint32_t size, std::uint32_t flags, const std::uint8_t* bytes)
{
    if (flags != 0 || !file_.isOpen())
        return false;
    return file_.write(bytes, size) == static_cast<std::int64_t>(size);
}

void DownloadListItem::onFinished(DownloadRequest& request, int status, bool&)
{
    if (file_.isOpen() && !file_.close() && status == kDownloadOk) {
        // What was written may not all be on the device.
        logCloseFailed();
        status = kDownloadTransferFailed;
    }
    // Deleted before the list hears of it, so that a finished batch leaves
    // no failed file behind.
    if (status != kDownloadOk && created_)
        deleteFileOrLog(*host_, target);
    created_ = false;
    list_.itemFinished(*this, request, status);
    // Last: once the list has seen this, it and the item may go.
    list_.endReported();
}

DownloadList::DownloadList(std::shared_ptr<HalAccess> host, WebDownloader& downloader,
                           DownloadListener* batchListener)
    : host_(std::move(host)), downloader_(downloader), batchListener_(batchListener)
{
}

DownloadList::~DownloadList()
{
    clear();
}

void DownloadList::add(const SharedString& target, int id, const SharedString& digest, const SharedString& url)
{
    auto item = std::make_shared<DownloadListItem>(*this, host_, target, id, digest, url);
    MutexLock lock(mutex_);
    items_.push_back(std::move(item));
}

std::size_t DownloadList::count() const
{
    MutexLock lock(mutex_);
    return items_.size();
}

void DownloadList::clear()
{
    std::vector<std::shared_ptr<DownloadListItem>> removed;
    {
        MutexLock lock(mutex_);
        removed.swap(items_);
    }
    cancelRequests(removed);
    // What the cancels could not stop is an end the worker reports already.
    MutexLock lock(endMutex_);
    endsChanged_.wait(endMutex_, [this]() REQUIRES(endMutex_) { return endsDue_ == 0; });
}

std::shared_ptr<DownloadListItem> DownloadList::item(std::size_t index) const
{
    MutexLock lock(mutex_);
    return index < items_.size() ? items_[index] : nullptr;
}

void DownloadList::startAll()
{
    std::vector<std::shared_ptr<DownloadListItem>> items;
    {
        MutexLock lock(mutex_);
        items = items_;
        starting_ = true;
        starter_ = std::this_thread::get_id();
    }
    // Kept until the reports held back have been delivered.
    std::vector<std::shared_ptr<DownloadRequest>> requests;
    for (std::size_t i = 0; i < items.size(); ++i) {
        DownloadListItem& item = *items[i];
        {
            MutexLock ends(endMutex_);
            ++endsDue_;
        }
        std::shared_ptr<DownloadRequest> request;
        downloader_.enqueue(item.url, item.digest, kItemTimeoutMs, &item, request);
        {
            MutexLock lock(mutex_);
            item.request = request;
        }
        requests.push_back(request);
        if (i == 0 && batchListener_)
            batchListener_->onContentLength(*request, kItemWeight * items.size());
    }
    std::vector<std::pair<ItemReport, bool>> heldBack;
    {
        MutexLock lock(mutex_);
        starting_ = false;
        for (const ItemReport& report : heldBack_)
            heldBack.emplace_back(report, isLast(*report.item));
        heldBack_.clear();
    }
    announced_.notify_all();
    for (const auto& [report, last] : heldBack)
        reportToBatch(report, last);
}

void DownloadList::cancelAll()
{
    std::vector<std::shared_ptr<DownloadListItem>> items;
    {
        MutexLock lock(mutex_);
        items = items_;
    }
    cancelRequests(items);
}

void DownloadList::cancelRequests(const std::vector<std::shared_ptr<DownloadListItem>>& items)
{
    std::vector<std::shared_ptr<DownloadRequest>> requests;
    {
        MutexLock lock(mutex_);
        // A batch that another thread starts is left to queue all its files
        // first, so that none of them escapes the cancel.
        const std::thread::id self = std::this_thread::get_id();
        announced_.wait(mutex_, [&]() REQUIRES(mutex_) { return !starting_ || starter_ == self; });
        for (const auto& item : items)
            requests.push_back(item->request);
    }
    // Last first: the files still queued go before the one in work, which
    // would otherwise make way for the next of them to start.
    for (auto request = requests.rbegin(); request != requests.rend(); ++request)
        downloader_.cancel(*request);
}

void DownloadList::endReported()
{
    // Notified under the lock: a waiting teardown may free the condition as
    // soon as it can see the count.
    MutexLock lock(endMutex_);
    --endsDue_;
    endsChanged_.notify_all();
}

void DownloadList::itemFinished(DownloadListItem& item, DownloadRequest& request, int status)
{
    const ItemReport report{&item, &request, status};
    bool last = false;
    {
        MutexLock lock(mutex_);
        const std::thread::id self = std::this_thread::get_id();
        if (starting_ && starter_ == self) {
            heldBack_.push_back(report);
            return;
        }
        announced_.wait(mutex_, [this]() REQUIRES(mutex_) { return !starting_; });
        last = isLast(item);
    }
    reportToBatch(report, last);
}

bool DownloadList::isLast(const DownloadListItem& item) const
{
    return !items_.empty() && items_.back().get() == &item;
}

void DownloadList::reportToBatch(const ItemReport& report, bool last)
{
    if (!batchListener_)
        return;
    if (report.status == kDownloadOk)
        batchListener_->onData(*report.request, static_cast<std::uint32_t>(kItemWeight), 0, nullptr);
    if (last) {
        bool retry = false;
        batchListener_->onFinished(*report.request, report.status, retry);
    }
}

}  // namespace druvex
