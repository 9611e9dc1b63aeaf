// PageLicenseLogic: the logic of the licence page (id 5): the licence the
// installer data carries for the current language, its text taken from the
// installer archive or a package file, or downloaded from the update server.
// The wizard goes on only while a licence is held.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <vector>

#include "controller/page_logic.h"
#include "liveupdate/download_request.h"
#include "text/mutex.h"
#include "text/shared_string.h"

namespace druvex {

class WizardController;

// Implemented by the licence page. Called on the web downloader's thread (a
// cancel's end on the thread that cancels).
class LicensePageSink {
public:
    virtual ~LicensePageSink() = default;
    // Bytes received so far of `total` (0 while the server announced none).
    virtual void onDownloadProgress(std::uint64_t received, std::uint64_t total) = 0;
    // The download ended with a download result (kDownloadOk, ...).
    virtual void onDownloadFinished(int error) = 0;
};

class PageLicenseLogic final : public PageLogic, private DownloadListener {
public:
    explicit PageLicenseLogic(WizardController& controller);
    // Cancels a download still running and waits for its end report, so that
    // the downloader never reports into a logic that is gone.
    ~PageLicenseLogic() override;
    PageLicenseLogic(const PageLicenseLogic&) = delete;
    PageLicenseLogic& operator=(const PageLicenseLogic&) = delete;

    // Null stops the reports.
    void setSink(LicensePageSink* sink);

    bool onNext() override { return hasEula(); }
    bool onBack() override { return true; }
    // Holds the installer data's licence.
    bool runUnattended() override;

    // The controller holds the installer data's licence for the language.
    void loadLocalEula();
    bool hasEula() const;
    void clearEula();

    // The text of the held licence: unpacked from a package file of the
    // update or custom folder, or from the installer archive. False, with
    // the text empty, when there is no licence or it lies on the server.
    [[nodiscard]] bool loadEulaText(SharedString& text);

    // Downloads the licence text at `url` (a download still running is
    // stopped first, and what it received dropped).
    void startEulaDownload(const SharedString& url);
    // True when no download runs; otherwise, unless `force`, asks the user
    // and answers false when the user lets it go on; then cancels it.
    bool stopEulaDownload(bool force);
    bool isDownloading() const;
    // The last downloaded licence text and whether one is ready.
    bool isTextReady() const;
    SharedString getEulaText() const;

private:
    void onContentLength(DownloadRequest& request, std::uint64_t length) override;
    void onBegin(DownloadRequest& request) override;
    bool onData(DownloadRequest& request, std::uint32_t size, std::uint32_t flags, const std::uint8_t* bytes) override;
    void onFinished(DownloadRequest& request, int status, bool& retry) override;

    // Cancels the running download and waits for its end report.
    void cancelAndWait();
    // The bytes received as text, through "license.txt" in the work folder.
    bool readDownloadedText(const std::vector<std::uint8_t>& bytes, SharedString& text) const;

    WizardController& controller_;
    mutable Mutex mutex_;
    ConditionVariable ended_;
    LicensePageSink* sink_ GUARDED_BY(mutex_) = nullptr;
    // The request running; null when none. A request's end report clears it.
    std::shared_ptr<DownloadRequest> request_ GUARDED_BY(mutex_);
    bool running_ GUARDED_BY(mutex_) = false;
    std::vector<std::uint8_t> buffer_ GUARDED_BY(mutex_);
    std::uint64_t total_ GUARDED_BY(mutex_) = 0;
    bool textReady_ GUARDED_BY(mutex_) = false;
    SharedString text_ GUARDED_BY(mutex_);
};

}  // namespace druvex
