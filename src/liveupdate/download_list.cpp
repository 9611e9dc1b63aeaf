#include "liveupdate/download_list.h"

#include <utility>

#include "fileutil/file_util.h"
#include "fileutil/operation_log.h"
#include "hal/hal_access.h"
#include "liveupdate/web_downloader.h"

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
    std::lock_guard lock(mutex_);
    items_.push_back(std::move(item));
}

std::size_t DownloadList::count() const
{
    std::lock_guard lock(mutex_);
    return items_.size();
}

void DownloadList::clear()
{
    std::vector<std::shared_ptr<DownloadListItem>> removed;
    {
        std::lock_guard lock(mutex_);
        removed.swap(items_);
    }
    cancelRequests(removed);
    // What the cancels could not stop is an end the worker reports already.
    std::unique_lock lock(endMutex_);
    endsChanged_.wait(lock, [this] { return endsDue_ == 0; });
}

std::shared_ptr<DownloadListItem> DownloadList::item(std::size_t index) const
{
    std::lock_guard lock(mutex_);
    return index < items_.size() ? items_[index] : nullptr;
}

void DownloadList::startAll()
{
    std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < items_.size(); ++i) {
        DownloadListItem& item = *items_[i];
        {
            std::lock_guard ends(endMutex_);
            ++endsDue_;
        }
        downloader_.enqueue(item.url, item.digest, kItemTimeoutMs, &item, item.request);
        if (i == 0 && batchListener_)
            batchListener_->onContentLength(*item.request, kItemWeight * items_.size());
    }
}

void DownloadList::cancelAll()
{
    std::vector<std::shared_ptr<DownloadListItem>> items;
    {
        std::lock_guard lock(mutex_);
        items = items_;
    }
    cancelRequests(items);
}

void DownloadList::cancelRequests(const std::vector<std::shared_ptr<DownloadListItem>>& items)
{
    std::vector<std::shared_ptr<DownloadRequest>> requests;
    {
        std::lock_guard lock(mutex_);
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
    std::lock_guard lock(endMutex_);
    --endsDue_;
    endsChanged_.notify_all();
}

void DownloadList::itemFinished(DownloadListItem& item, DownloadRequest& request, int status)
{
    bool last = false;
    {
        std::lock_guard lock(mutex_);
        last = !items_.empty() && items_.back().get() == &item;
    }
    if (!batchListener_)
        return;
    if (status == kDownloadOk)
        batchListener_->onData(request, static_cast<std::uint32_t>(kItemWeight), 0, nullptr);
    if (last) {
        bool retry = false;
        batchListener_->onFinished(request, status, retry);
    }
}

}  // namespace druvex
