// The device's connection state, as the update check asks it: whether the
// device may go online at all ([Network] Connected of the device profile),
// whether an address answers a connection, and the kind of connection (a LAN,
// through a proxy when the profile names one). The address the check uses
// when no update server is configured comes from the profile too (CheckUrl).
#pragma once

#include <cstdint>
#include <string_view>

#include "text/shared_string.h"

namespace druvex {

// The error of a check made while the device is offline.
constexpr std::uint32_t kErrorNotConnected = 2250;

// The flags of getInternetConnectedState.
constexpr std::uint32_t kInternetConnectionLan = 2;
constexpr std::uint32_t kInternetConnectionProxy = 4;

// How long the connection check waits for an answer.
constexpr std::uint32_t kConnectionCheckTimeoutMs = 5000;

// 0 when the device may go online; kErrorNotConnected when the profile says
// it is offline.
std::uint32_t internetAttemptConnect();

// True when a connection to the URL's host and port (80 for http, 443 for
// https) opens within kConnectionCheckTimeoutMs. Offline devices give false
// with kErrorNotConnected; a refused or unanswered connection gives false with
// kErrorInternetCannotConnect, a URL that is not http or https false with
// kErrorInternetInvalidUrl. Nothing is sent.
bool internetCheckConnection(std::u16string_view url, std::uint32_t& error);

// True when the device is online; `flags` gets kInternetConnectionLan, plus
// kInternetConnectionProxy when the profile names a proxy (0 when offline).
bool internetGetConnectedState(std::uint32_t& flags);

// The profile's CheckUrl: the address to check without an update server.
SharedString connectionCheckUrl();

}  // namespace druvex
