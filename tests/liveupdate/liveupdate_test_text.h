// Text and bytes for the live-update tests: wide and narrow text, the SHA-1
// digest in hex as the bulletins carry it (from OpenSSL), and package-like
// bytes.
#pragma once

#include <openssl/sha.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "text/shared_string.h"

namespace druvex::test {

inline SharedString wide(std::string_view text)
{
    return SharedString::fromCodePage(std::string(text).c_str(), 0);
}

inline std::string narrow(const SharedString& text)
{
    const SharedStringA utf8 = toUtf8(text);
    return std::string(utf8.c_str(), static_cast<std::size_t>(utf8.length()));
}

inline std::string sha1Hex(std::string_view bytes, bool upper = true)
{
    unsigned char digest[SHA_DIGEST_LENGTH];
    SHA1(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest);
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string hex;
    for (unsigned char byte : digest) {
        hex += digits[byte >> 4];
        hex += digits[byte & 15];
    }
    return hex;
}

inline SharedString wideSha1(std::string_view bytes) { return wide(sha1Hex(bytes)); }

// Package-like bytes: every size and seed gives other bytes.
inline std::string packageBytes(std::size_t size, unsigned seed)
{
    std::string bytes(size, '\0');
    std::uint32_t state = seed * 2654435761u + 1;
    for (char& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
}

}  // namespace druvex::test
