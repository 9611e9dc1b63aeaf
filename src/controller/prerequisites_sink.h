// PrerequisitesSink: what the prerequisites page's logic reports to the page
// that shows it (or, in silent runs and the update check, to the waiter that
// stands in for the page). Calls come from the page's own thread, from the
// payload check's thread and from the web downloader's worker; an
// implementation hands them on to its own thread and never calls back into
// the logic's sink registration from inside a call.
#pragma once

#include <cstdint>

#include "hal/device_identity.h"
#include "text/shared_string.h"

namespace druvex {

// The check state of the payload check.
constexpr std::uint32_t kPayloadCheckNotStarted = 0;
constexpr std::uint32_t kPayloadCheckRunning = 1;
constexpr std::uint32_t kPayloadCheckPaused = 2;
constexpr std::uint32_t kPayloadCheckPassed = 3;
constexpr std::uint32_t kPayloadCheckDamaged = 4;
// Passed by an earlier logic of this process.
constexpr std::uint32_t kPayloadCheckPassedEarlier = 5;

// The results of the device and platform check.
constexpr int kDeviceCheckAccepted = 1;
// A requirement's script refused the device; its message goes with it.
constexpr int kDeviceCheckRequirementFailed = 2;
// The device refused the connection (access denied).
constexpr int kDeviceCheckAccessDenied = 3;
// A controller of a platform the installer does not serve.
constexpr int kDeviceCheckPlatformNotServed = 5;
// No device is connected to this computer.
constexpr int kDeviceCheckNoDevice = 6;
// The installer runs on a device that it cannot identify.
constexpr int kDeviceCheckNoDeviceHere = 7;
// A 64-bit system for an installer of the 32-bit desktop version only.
constexpr int kDeviceCheckOnly32BitOs = 8;
// A 32-bit system for an installer of the 64-bit desktop version only.
constexpr int kDeviceCheckOnly64BitOs = 9;
// A desktop computer the installer does not serve, or whose system is older
// than the program needs (the required version goes with it).
constexpr int kDeviceCheckDesktopNotServed = 10;

// The kinds of download the logic asks the page to start (downloadsReady).
constexpr int kDownloadsNewInstaller = 0;
constexpr int kDownloadsLanguageFiles = 1;

class PrerequisitesSink {
public:
    virtual ~PrerequisitesSink() = default;

    // The checks start again (retryChecks).
    virtual void checksRestarted() = 0;
    // The online checks have ended, with or without the update server.
    virtual void onlineChecksFinished() = 0;
    // The payload check ended: ok, and the check state it left.
    virtual void payloadCheckFinished(bool ok, std::uint32_t state) = 0;
    virtual void payloadCheckProgress(std::uint64_t percent) = 0;
    virtual void deviceCheckBegins() = 0;
    // A kDeviceCheck... result with its text (a requirement's message, the
    // required system version) and the device type found.
    virtual void deviceCheckResult(int result, const SharedString& text, DeviceType deviceType) = 0;
    virtual void connectionCheckBegins() = 0;
    virtual void connectionCheckResult(bool connected) = 0;
    // The received and announced size of the running download, in KB.
    virtual void downloadProgress(std::uint64_t kilobytes) = 0;
    // A piece of data arrived, in KB.
    virtual void dataReceived(std::uint64_t kilobytes) = 0;
    // The bulletin's or the newer installer's download ended: 0, a download
    // status, or 3 for a bulletin that is not valid.
    virtual void downloadFinished(int result) = 0;
    // Downloads of kDownloadsNewInstaller or kDownloadsLanguageFiles wait to
    // be started.
    virtual void downloadsReady(int kind) = 0;
    // The newer installer runs: this installer has to end.
    virtual void newInstallerStarted() = 0;
};

}  // namespace druvex
