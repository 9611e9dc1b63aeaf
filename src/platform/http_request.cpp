#include "platform/http_request.h"

#include <curl/curl.h>

#include <chrono>
#include <memory>
#include <mutex>

#include "platform/device_config.h"
#include "platform/http_headers.h"

namespace druvex {

namespace {

// How long one wait for socket activity lasts at most: the longest a stop
// request or a passed idle time-out goes unnoticed.
constexpr int kPollIntervalMs = 50;
// The size of the pieces libcurl hands on.
constexpr long kReceiveBufferBytes = 256 * 1024;

class SteadyHttpClock final : public HttpClock {
public:
    std::uint64_t nowMs() override
    {
        return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                              std::chrono::steady_clock::now().time_since_epoch())
                                              .count());
    }
};

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiDeleter {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct CurlTextDeleter {
    void operator()(char* text) const { curl_free(text); }
};

// What the callbacks of one transfer share.
struct Transfer {
    HttpReceiver& receiver;
    HttpClock& clock;
    HttpHeaderCollector headers;
    std::uint64_t lastActivityMs = 0;
    bool stoppedByReceiver = false;
    bool headersComplete = false;
};

std::size_t onHeaderLine(char* data, std::size_t size, std::size_t count, void* context)
{
    Transfer& transfer = *static_cast<Transfer*>(context);
    const std::size_t bytes = size * count;
    transfer.lastActivityMs = transfer.clock.nowMs();
    switch (transfer.headers.addLine(std::string_view(data, bytes))) {
    case HttpHeaderCollector::LineResult::More:
        return bytes;
    case HttpHeaderCollector::LineResult::TooLarge:
        return 0;
    case HttpHeaderCollector::LineResult::Complete:
        break;
    }
    transfer.headersComplete = true;
    if (transfer.receiver.onHeaders(transfer.headers.block()))
        return bytes;
    transfer.stoppedByReceiver = true;
    return 0;
}

std::size_t onBodyPiece(char* data, std::size_t size, std::size_t count, void* context)
{
    Transfer& transfer = *static_cast<Transfer*>(context);
    const std::size_t bytes = size * count;
    transfer.lastActivityMs = transfer.clock.nowMs();
    // A reply whose header block never completed has no business sending a body.
    if (!transfer.headersComplete)
        return 0;
    if (transfer.receiver.onBody(reinterpret_cast<const std::uint8_t*>(data), bytes))
        return bytes;
    transfer.stoppedByReceiver = true;
    return 0;
}

HttpResult failed(HttpFailure failure, std::uint32_t error, const char16_t* call)
{
    HttpResult result;
    result.failure = failure;
    result.error = error;
    result.call = call;
    return result;
}

// The parsed URL, or a failure when it is not an http or https URL with a host.
HttpResult crackUrl(std::string_view text, std::unique_ptr<CURLU, UrlDeleter>& url)
{
    url.reset(curl_url());
    if (!url)
        return failed(HttpFailure::Open, CURLE_OUT_OF_MEMORY, u"InternetConnect");
    const std::string copy(text);
    if (text.find('\0') != std::string_view::npos || curl_url_set(url.get(), CURLUPART_URL, copy.c_str(), 0) != CURLUE_OK)
        return failed(HttpFailure::Open, kErrorInternetInvalidUrl, u"InternetConnect");
    char* scheme = nullptr;
    if (curl_url_get(url.get(), CURLUPART_SCHEME, &scheme, 0) != CURLUE_OK)
        return failed(HttpFailure::Open, kErrorInternetUnrecognizedScheme, u"InternetConnect");
    const std::unique_ptr<char, CurlTextDeleter> owned(scheme);
    const std::string_view name(scheme);
    if (name != "http" && name != "https")
        return failed(HttpFailure::Open, kErrorInternetUnrecognizedScheme, u"InternetConnect");
    return {};
}

// The device profile's proxy, when the request is to use one; "" otherwise,
// which also keeps libcurl from taking one from the environment.
std::string proxyFor(const HttpRequestOptions& options)
{
    if (!options.useProxy)
        return {};
    const std::shared_ptr<const DeviceConfig> config = activeDeviceConfig();
    std::string proxy;
    for (char16_t unit : config->proxy.view())
        proxy += unit < 0x80 ? static_cast<char>(unit) : '?';
    return proxy;
}

bool configure(CURL* easy, CURLU* url, const HttpRequestOptions& options, const std::string& proxy,
               Transfer& transfer)
{
    const long timeoutMs = options.timeoutMs != 0 ? static_cast<long>(options.timeoutMs)
                                                  : static_cast<long>(kHttpDefaultTimeoutMs);
    bool ok = curl_easy_setopt(easy, CURLOPT_CURLU, url) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_USERAGENT, kHttpUserAgent) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_PROXY, proxy.c_str()) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_NOPROXY, "") == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L) == CURLE_OK;
    // Sizes and digests are of the bytes as sent: never decode them.
    ok = ok && curl_easy_setopt(easy, CURLOPT_HTTP_CONTENT_DECODING, 0L) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, timeoutMs) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, kReceiveBufferBytes) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, onHeaderLine) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_HEADERDATA, &transfer) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, onBodyPiece) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer) == CURLE_OK;
    if (options.head)
        ok = ok && curl_easy_setopt(easy, CURLOPT_NOBODY, 1L) == CURLE_OK;
    return ok;
}

// A failure's phase by libcurl's code and whether the header block was complete.
HttpResult classify(CURLcode code, const Transfer& transfer)
{
    HttpResult result;
    result.headersComplete = transfer.headersComplete;
    if (code == CURLE_OK)
        return result;
    result.error = static_cast<std::uint32_t>(code);
    if (transfer.stoppedByReceiver) {
        result.failure = HttpFailure::Stopped;
        return result;
    }
    // The URL was checked before: an unsupported protocol now is a reply
    // without a status line (HTTP/0.9), which is no reply.
    switch (code) {
    case CURLE_FAILED_INIT:
    case CURLE_URL_MALFORMAT:
    case CURLE_OUT_OF_MEMORY:
        result.failure = HttpFailure::Open;
        result.call = u"HttpOpenRequest";
        return result;
    default:
        break;
    }
    if (!transfer.headersComplete) {
        result.failure = HttpFailure::Send;
        result.call = u"HttpSendRequest";
        return result;
    }
    result.failure = HttpFailure::Receive;
    result.call = u"InternetReadFile";
    result.endedEarly = code == CURLE_PARTIAL_FILE;
    return result;
}

}  // namespace

void initHttpOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

HttpClock& HttpClock::steady()
{
    static SteadyHttpClock clock;
    return clock;
}

HttpResult performHttpRequest(std::string_view urlText, const HttpRequestOptions& options, HttpReceiver& receiver)
{
    std::unique_ptr<CURLU, UrlDeleter> url;
    if (HttpResult refused = crackUrl(urlText, url); refused.failure != HttpFailure::None)
        return refused;

    HttpClock& clock = options.clock ? *options.clock : HttpClock::steady();
    Transfer transfer{receiver, clock, {}, clock.nowMs()};
    const std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    if (!easy)
        return failed(HttpFailure::Open, CURLE_FAILED_INIT, u"InternetOpen");
    const std::string proxy = proxyFor(options);
    if (!configure(easy.get(), url.get(), options, proxy, transfer))
        return failed(HttpFailure::Open, CURLE_FAILED_INIT, u"HttpOpenRequest");
    const std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
    if (!multi || curl_multi_add_handle(multi.get(), easy.get()) != CURLM_OK)
        return failed(HttpFailure::Open, CURLE_FAILED_INIT, u"InternetOpen");

    const std::uint64_t idleLimitMs = options.timeoutMs != 0 ? options.timeoutMs : kHttpDefaultTimeoutMs;
    CURLcode outcome = CURLE_OK;
    bool done = false;
    bool stopped = false;
    bool idle = false;
    while (!done) {
        int running = 0;
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
            outcome = CURLE_FAILED_INIT;
            break;
        }
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi.get(), &queued)) {
            if (message->msg == CURLMSG_DONE) {
                outcome = message->data.result;
                done = true;
            }
        }
        if (done)
            break;
        if (receiver.shouldStop()) {
            stopped = true;
            break;
        }
        if (clock.nowMs() - transfer.lastActivityMs > idleLimitMs) {
            idle = true;
            break;
        }
        curl_multi_poll(multi.get(), nullptr, 0, kPollIntervalMs, nullptr);
    }
    curl_multi_remove_handle(multi.get(), easy.get());

    if (stopped) {
        HttpResult result = failed(HttpFailure::Stopped, CURLE_ABORTED_BY_CALLBACK, u"");
        result.headersComplete = transfer.headersComplete;
        return result;
    }
    if (idle) {
        HttpResult result = transfer.headersComplete
                                ? failed(HttpFailure::Receive, kErrorInternetTimeout, u"InternetReadFile")
                                : failed(HttpFailure::Send, kErrorInternetTimeout, u"HttpSendRequest");
        result.headersComplete = transfer.headersComplete;
        return result;
    }
    HttpResult result = classify(outcome, transfer);
    // A transfer that ended cleanly without a header block (no status line at
    // all) is no reply.
    if (result.failure == HttpFailure::None && !transfer.headersComplete)
        return failed(HttpFailure::Send, CURLE_GOT_NOTHING, u"HttpSendRequest");
    return result;
}

}  // namespace druvex
