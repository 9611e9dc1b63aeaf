#include "controller/page_license_logic.h"

#include <algorithm>
#include <utility>

#include "controller/installer_ui_callback.h"
#include "controller/wizard_controller.h"
#include "data/install_data.h"
#include "data/package_sources.h"
#include "fileutil/file_util.h"
#include "fileutil/operation_log.h"
#include "hal/hal_access.h"
#include "liveupdate/web_downloader.h"
#include "payload/package_text.h"
#include "platform/input_limits.h"
#include "text/byte_order_mark.h"
#include "text/mutex.h"

namespace druvex {
namespace {

// The connect and idle time-out of a licence download.
constexpr std::uint32_t kEulaDownloadTimeoutMs = 8000;

// A licence text file: UTF-16 with its mark, else UTF-8 (with or without one).
SharedString decodeText(const std::vector<std::uint8_t>& bytes)
{
    int markLength = 0;
    const TextFileEncoding encoding = detectTextEncoding(bytes.data(), bytes.size(), &markLength);
    const std::uint8_t* first = bytes.data() + markLength;
    const std::uint8_t* end = bytes.data() + bytes.size();
    if (encoding == kEncodingUtf16LE) {
        std::u16string units;
        for (const std::uint8_t* p = first; p + 1 < end; p += 2)
            units.push_back(static_cast<char16_t>(p[0] | (p[1] << 8)));
        return SharedString(std::u16string_view(units));
    }
    SharedString text;
    decodeUtf8ToString(first, end, text);
    return text;
}

}  // namespace

PageLicenseLogic::PageLicenseLogic(WizardController& controller) : controller_(controller) {}

PageLicenseLogic::~PageLicenseLogic()
{
    setSink(nullptr);
    cancelAndWait();
}

void PageLicenseLogic::setSink(LicensePageSink* sink)
{
    MutexLock lock(mutex_);
    sink_ = sink;
}

bool PageLicenseLogic::runUnattended()
{
    loadLocalEula();
    // A silent run takes the licence as accepted without showing it; one
    // whose text is missing from the installer is said so in the log, as the
    // wizard would show it, so that the product maker learns it before a
    // user does.
    SharedString text;
    if (hasEula() && !loadEulaText(text))
        logInfo(u"The silent run goes on: it takes the licence as accepted without its text");
    return true;
}

void PageLicenseLogic::loadLocalEula()
{
    controller_.setEula(controller_.findEula());
}

bool PageLicenseLogic::hasEula() const
{
    return controller_.getEula() != nullptr;
}

void PageLicenseLogic::clearEula()
{
    controller_.setEula(nullptr);
}

bool PageLicenseLogic::loadEulaText(SharedString& text)
{
    text = SharedString();
    const EulaRecordPtr eula = controller_.getEula();
    if (!eula)
        return false;
    const FeaturePtr item = controller_.getInstallData().findItemByPath(eula->path.view());
    if (!item) {
        logError(u"The license agreement \"" + std::u16string(eula->path.view()) +
                 u"\" is no item of the installer data");
        return false;
    }
    std::vector<PackageSource> sources;
    controller_.getPackageSources().equalRange(*item, sources);
    HalAccess& host = *controller_.getHalIn();
    int length = 0;
    // Where the text was looked for, so that a licence packed under another
    // name can be found from the log.
    std::u16string lookedFor;
    if (!sources.empty() && sources.front().sourceKind == kSourceLocalFile) {
        length = extractPackageBuffer(host, sources.front().location, text);
        lookedFor = u"the package file \"" + std::u16string(sources.front().location.view()) + u"\"";
    } else if (sources.empty() || sources.front().sourceKind == kSourceArchiveEntry) {
        length = extractPayloadFolder(controller_.getPayloadArchive(), host, *item, text);
        lookedFor = u"the installer archive's entry \"" + std::u16string(item->getName().view()) + u"\"";
    }
    // A licence only the update server holds is downloaded by the page.
    if (length <= 0) {
        if (!lookedFor.empty()) {
            logError(SharedString().format(u"No license agreement for the language %d: looked for %s",
                                           eula->localeId, SharedString(std::u16string_view(lookedFor)))
                         .view());
        }
        text = SharedString();
        return false;
    }
    return true;
}

void PageLicenseLogic::startEulaDownload(const SharedString& url)
{
    cancelAndWait();
    {
        MutexLock lock(mutex_);
        // Each download shows its own text only.
        buffer_.clear();
        total_ = 0;
        textReady_ = false;
        text_ = SharedString();
        running_ = true;
    }
    std::shared_ptr<DownloadRequest> request;
    controller_.getWebDownloader().enqueue(url, SharedString(), kEulaDownloadTimeoutMs, this, request);
    MutexLock lock(mutex_);
    // A downloader that has shut down has reported the end already.
    if (running_)
        request_ = std::move(request);
}

bool PageLicenseLogic::stopEulaDownload(bool force)
{
    if (!isDownloading())
        return true;
    if (!force && controller_.getUiCallback()->askStopEulaDownload() == 0)
        return false;
    cancelAndWait();
    return true;
}

void PageLicenseLogic::cancelAndWait()
{
    std::shared_ptr<DownloadRequest> request;
    {
        MutexLock lock(mutex_);
        if (!running_)
            return;
        request = request_;
    }
    // Not under the lock: the cancel waits for a report in progress, which takes it.
    controller_.getWebDownloader().cancel(request);
    MutexLock lock(mutex_);
    ended_.wait(mutex_, [this]() REQUIRES(mutex_) { return !running_; });
}

bool PageLicenseLogic::isDownloading() const
{
    MutexLock lock(mutex_);
    return running_;
}

bool PageLicenseLogic::isTextReady() const
{
    MutexLock lock(mutex_);
    return textReady_;
}

SharedString PageLicenseLogic::getEulaText() const
{
    MutexLock lock(mutex_);
    return text_;
}

void PageLicenseLogic::onContentLength(DownloadRequest&, std::uint64_t length)
{
    MutexLock lock(mutex_);
    total_ = length;
}

void PageLicenseLogic::onBegin(DownloadRequest&) {}

bool PageLicenseLogic::onData(DownloadRequest&, std::uint32_t size, std::uint32_t, const std::uint8_t* bytes)
{
    LicensePageSink* sink = nullptr;
    std::uint64_t received = 0;
    std::uint64_t total = 0;
    {
        MutexLock lock(mutex_);
        // A server that sends more than a licence can be is not believed,
        // whether it announced the length or not.
        if (std::max<std::uint64_t>(total_, buffer_.size() + size) > kMaxLicenseTextSize) {
            logError(SharedString().format(u"The licence download is refused: it is longer than %I64u bytes",
                                           kMaxLicenseTextSize));
            return false;
        }
        buffer_.insert(buffer_.end(), bytes, bytes + size);
        received = buffer_.size();
        total = total_;
        sink = sink_;
    }
    if (sink)
        sink->onDownloadProgress(received, total);
    return true;
}

void PageLicenseLogic::onFinished(DownloadRequest&, int status, bool&)
{
    std::vector<std::uint8_t> bytes;
    {
        MutexLock lock(mutex_);
        request_.reset();
        bytes.swap(buffer_);
    }
    SharedString text;
    const bool read = status == kDownloadOk && readDownloadedText(bytes, text);
    LicensePageSink* sink = nullptr;
    {
        MutexLock lock(mutex_);
        if (read) {
            text_ = text;
            textReady_ = true;
        }
        sink = sink_;
    }
    if (sink)
        sink->onDownloadFinished(status);
    // Last: once this is seen, the logic may go.
    MutexLock lock(mutex_);
    running_ = false;
    ended_.notify_all();
}

bool PageLicenseLogic::readDownloadedText(const std::vector<std::uint8_t>& bytes, SharedString& text) const
{
    HalAccess& host = *controller_.getHalIn();
    const SharedString path = joinPath(controller_.getWorkFolder(), SharedString(u"license.txt"));
    if (!writeBufferToFile(host, bytes, path)) {
        logError(SharedString(u"The licence cannot be written to ") + path);
        return false;
    }
    std::vector<std::uint8_t> stored;
    const bool read = readFileToBuffer(host, stored, path);
    deleteFileOrLog(host, path);
    if (!read)
        return false;
    text = decodeText(stored);
    return true;
}

}  // namespace druvex
