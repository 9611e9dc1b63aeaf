// The crash dump store: ten numbered slot folders under the data folder's
// "SupportInfo/Dumps", the slot written last kept in "dumps.ini". A dump
// empties its slot, copies the application log into it, has the device
// capture a dump (coredll.dll's CaptureDumpFileOnDevice) into the system's
// dump directory, and moves what that capture produced into the slot.
#pragma once

#include <cstdint>

#include "text/shared_string.h"

namespace druvex {

class WaitTimeouts;

constexpr int kCrashDumpSlots = 10;
// How long the device is given to finish writing its dump.
constexpr std::uint32_t kCrashDumpSettleMs = 5000;

// The data folder's "/SupportInfo/Dumps".
SharedString crashDumpFolder();

// Writes one dump into the next slot. False, after its "APPCRASH: ..." log
// line, when "dumps.ini" cannot be saved (nothing else is touched then), when
// the capture function or the dump directory setting is missing, or when the
// capture's files cannot be copied; also false when the log could not be
// copied. Only files the capture added are taken from the dump directory:
// other programs' dumps stay where they are.
bool writeCrashDump();

// Decides how long the settle time really lasts (null: 5,000 ms). Tests let it
// pass at once; the object must live until the program ends.
void setCrashDumpWaits(WaitTimeouts* timeouts);

}  // namespace druvex
