// The one mapping from the program's 32-bit exit codes to the 8-bit status a
// Linux parent sees. Taken raw, 0xBADE0000 (crash) or 0x80000000 (no
// connection) would read as 0, success; the mapping never gives 0 for a
// non-zero code.
#pragma once

#include <cstdint>

namespace druvex {

// Exit codes with a status of their own.
constexpr std::uint32_t kExitCodeCrash = 0xBADE0000;            // a fault ended the program
constexpr std::uint32_t kExitCodeCrashInCrash = 0xBADEE000;     // a fault while handling a fault
constexpr std::uint32_t kExitCodeNoConnection = 0x80000000;     // update check: no connection
constexpr std::uint32_t kExitCodeUpdateInfoNotWritten = 0x8000000;  // update check mask bit

// code                                    status
// 0, 1, 3                                 0, 1, 3
// -1, -2, -3                              255, 254, 253
// 0xBADE0000                              222
// 0xBADEE000                              238
// update-check mask of 1, 2, 0x8000000    1, 2 and 4, or-ed together
// 0x80000000                              128
// any other code (version numbers too)    its low 8 bits, or 1 when they are 0
int exitStatusFromCode(std::uint32_t code) noexcept;

// Logs the full code (decimal and hexadecimal) with the status it maps to, and
// returns that status.
int logExitStatus(std::uint32_t code);

}  // namespace druvex
