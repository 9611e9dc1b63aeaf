// A download listener for the tests: it records every call as a line, keeps
// the data, can refuse data or ask for retries, and lets a test wait for
// the end of a request.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "liveupdate/download_request.h"

namespace druvex::test {

class RecordingListener final : public DownloadListener {
public:
    void onContentLength(DownloadRequest&, std::uint64_t length) override
    {
        record("length " + std::to_string(length));
    }
    void onBegin(DownloadRequest&) override { record("begin"); }
    bool onData(DownloadRequest&, std::uint32_t size, std::uint32_t flags, const std::uint8_t* bytes) override
    {
        std::lock_guard lock(mutex_);
        if (flags != 0)
            events_.push_back("flags " + std::to_string(flags));
        if (bytes)
            data_.append(reinterpret_cast<const char*>(bytes), size);
        dataBytes_ += size;
        ++pieces_;
        changed_.notify_all();
        return !refuseData;
    }
    void onFinished(DownloadRequest& request, int status, bool& retry) override
    {
        std::lock_guard lock(mutex_);
        events_.push_back("finished " + std::to_string(status));
        statuses_.push_back(status);
        finishers_.push_back(&request);
        finishThreads_.push_back(std::this_thread::get_id());
        retry = retryOn && retryOn(status, static_cast<int>(statuses_.size()));
        if (retry)
            data_.clear();
        changed_.notify_all();
    }

    // Waits for the `count`th onFinished; false after 20 seconds.
    bool waitFinished(std::size_t count = 1)
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(20), [&] { return statuses_.size() >= count; });
    }
    bool waitForData(std::uint64_t bytes)
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(20), [&] { return dataBytes_ >= bytes; });
    }

    std::vector<std::string> events() const { return locked(events_); }
    int status() const
    {
        std::lock_guard lock(mutex_);
        return statuses_.empty() ? -1 : statuses_.back();
    }
    std::string data() const { return locked(data_); }
    std::uint64_t dataBytes() const { return locked(dataBytes_); }
    int pieces() const { return locked(pieces_); }
    std::vector<DownloadRequest*> finishers() const { return locked(finishers_); }
    std::vector<std::thread::id> finishThreads() const { return locked(finishThreads_); }

    // Set before the request starts. retryOn is called in onFinished, with
    // the listener's lock held; its answer is the retry flag.
    bool refuseData = false;
    std::function<bool(int status, int finishedCount)> retryOn;

private:
    template <class T>
    T locked(const T& field) const
    {
        std::lock_guard lock(mutex_);
        return field;
    }
    void record(std::string line)
    {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(line));
        changed_.notify_all();
    }

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> events_;
    std::vector<int> statuses_;
    std::vector<DownloadRequest*> finishers_;
    std::vector<std::thread::id> finishThreads_;
    std::string data_;
    std::uint64_t dataBytes_ = 0;
    int pieces_ = 0;
};

}  // namespace druvex::test
