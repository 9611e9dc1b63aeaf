// The device's HTTP service, over libcurl: one GET or HEAD request with the
// behaviour the downloader was built against. The user agent is
// "DruvexInstaller/3.0"; only http and https URLs are fetched (anything else,
// a file:// URL from a bulletin included, is refused before any traffic);
// redirects are never followed; bodies arrive as the server sent them (no
// content decoding); a proxy comes only from the device profile, never from
// the environment; the time-out is a connect time-out plus an idle receive
// time-out (never a total one: packages take minutes); the receiver sees the
// raw header block of the final reply, status line first, before any body
// byte; and a stop request ends the transfer within a fraction of a second.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace druvex {

// libcurl's process-wide set-up: once in main(), before any thread starts.
void initHttpOnce();

inline constexpr char kHttpUserAgent[] = "DruvexInstaller/3.0";
// The connect and idle time-outs of a request whose time-out is 0.
constexpr std::uint32_t kHttpDefaultTimeoutMs = 60000;

// The errors of the device's HTTP service that our layer reports besides
// libcurl's own codes.
constexpr std::uint32_t kErrorInternetTimeout = 12002;
constexpr std::uint32_t kErrorInternetInvalidUrl = 12005;
constexpr std::uint32_t kErrorInternetUnrecognizedScheme = 12006;
constexpr std::uint32_t kErrorInternetCannotConnect = 12029;

// Milliseconds of a steady clock. The idle time-out is measured on it, so a
// test can let it pass without waiting.
class HttpClock {
public:
    virtual ~HttpClock() = default;
    virtual std::uint64_t nowMs() = 0;
    // The host's monotonic clock.
    static HttpClock& steady();
};

struct HttpRequestOptions {
    bool head = false;           // HEAD in place of GET
    std::uint32_t timeoutMs = 0; // connect and idle receive time-out; 0: kHttpDefaultTimeoutMs
    bool useProxy = false;       // through the device profile's [Network] Proxy, when it names one
    HttpClock* clock = nullptr;  // null: HttpClock::steady()
};

// What a transfer tells its caller, on the calling thread.
class HttpReceiver {
public:
    virtual ~HttpReceiver() = default;
    // The final reply's header block (HttpHeaderCollector), before any body
    // byte; false ends the transfer.
    virtual bool onHeaders(const std::string& block) = 0;
    // A piece of the body as it arrived; false ends the transfer.
    virtual bool onBody(const std::uint8_t* data, std::size_t size) = 0;
    // Asked often, also while the server sends nothing; true ends the transfer.
    virtual bool shouldStop() = 0;
};

enum class HttpFailure {
    None,     // the reply arrived completely
    Open,     // the URL or the request could not be set up: nothing was sent
    Send,     // no complete reply header arrived (refused, gone, silent, no reply)
    Receive,  // the body failed after the headers (cut, reset, idle time-out)
    Stopped,  // the receiver ended it (a false answer or shouldStop)
};

struct HttpResult {
    HttpFailure failure = HttpFailure::None;
    // libcurl's code, or one of the kErrorInternet codes above; 0 without failure.
    std::uint32_t error = 0;
    // The device API call that would have failed, for the log: "InternetConnect",
    // "HttpOpenRequest", "HttpSendRequest" or "InternetReadFile".
    const char16_t* call = u"";
    bool headersComplete = false;  // the receiver got onHeaders
    // A Receive failure because the server closed the connection before the
    // announced length: the data simply ended early.
    bool endedEarly = false;
};

// Runs one request to its end on the calling thread.
HttpResult performHttpRequest(std::string_view url, const HttpRequestOptions& options, HttpReceiver& receiver);

}  // namespace druvex
