// Messages to the top-level windows of other programs on the device (the data
// of a WM_COPYDATA sent to a window found by its title), stood in for by local
// datagram sockets: the window titled T is the socket "windows/T" in the
// device directory, which the program that owns the window binds. Sending
// never waits for the receiver.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace druvex {

// The host path of the socket that stands for the top-level window titled
// `title`; empty without an active device, or when the title cannot be a file
// name (empty, ".", "..", a '/' or a zero in it) or the path is too long for
// a socket.
std::string windowSocketPath(std::u16string_view title);

// Sends `data` as one message to the top-level window titled `title`. False
// when there is no such window (no device, no socket bound at that name, or
// its owner has gone) or the message could not be delivered whole.
bool sendCopyData(std::u16string_view title, std::span<const std::uint8_t> data);

}  // namespace druvex
