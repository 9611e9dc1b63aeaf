#include "platform/network_state.h"

#include <curl/curl.h>

#include <memory>
#include <string>

#include "platform/device_config.h"
#include "platform/http_request.h"

namespace druvex {

namespace {

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};

bool isHttpUrl(const std::string& url)
{
    std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> parsed(curl_url(), curl_url_cleanup);
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK)
        return false;
    char* scheme = nullptr;
    if (curl_url_get(parsed.get(), CURLUPART_SCHEME, &scheme, 0) != CURLUE_OK)
        return false;
    const bool http = std::string_view(scheme) == "http" || std::string_view(scheme) == "https";
    curl_free(scheme);
    return http;
}

}  // namespace

std::uint32_t internetAttemptConnect()
{
    return activeDeviceConfig()->networkConnected ? 0 : kErrorNotConnected;
}

bool internetCheckConnection(std::u16string_view url, std::uint32_t& error)
{
    if (!activeDeviceConfig()->networkConnected) {
        error = kErrorNotConnected;
        return false;
    }
    const std::string text(toUtf8(SharedString(url)).view());
    if (text.find('\0') != std::string::npos || !isHttpUrl(text)) {
        error = kErrorInternetInvalidUrl;
        return false;
    }
    const std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    if (!easy) {
        error = kErrorInternetCannotConnect;
        return false;
    }
    // Only the connection is made: a TCP connect for http, the TLS handshake
    // as well for https.
    curl_easy_setopt(easy.get(), CURLOPT_URL, text.c_str());
    curl_easy_setopt(easy.get(), CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy.get(), CURLOPT_CONNECT_ONLY, 1L);
    curl_easy_setopt(easy.get(), CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy.get(), CURLOPT_PROXY, "");
    curl_easy_setopt(easy.get(), CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(kConnectionCheckTimeoutMs));
    if (curl_easy_perform(easy.get()) != CURLE_OK) {
        error = kErrorInternetCannotConnect;
        return false;
    }
    error = 0;
    return true;
}

bool internetGetConnectedState(std::uint32_t& flags)
{
    const std::shared_ptr<const DeviceConfig> config = activeDeviceConfig();
    if (!config->networkConnected) {
        flags = 0;
        return false;
    }
    flags = kInternetConnectionLan | (config->proxy.isEmpty() ? 0 : kInternetConnectionProxy);
    return true;
}

SharedString connectionCheckUrl()
{
    return activeDeviceConfig()->checkUrl;
}

}  // namespace druvex
