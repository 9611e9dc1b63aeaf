// The prerequisites logic on a test device: a product controller with an
// installer archive, a sink that records what the logic reports (from any
// thread) and lets a test wait for a report, and waits whose length the test
// decides (the settling pauses take no time).
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <algorithm>
#include <string>
#include <vector>

#include "../payload/payload_test_support.h"
#include "controller/installed_state_fixture.h"
#include "controller/page_prerequisites_logic.h"
#include "controller/prerequisites_sink.h"
#include "controller/recording_ui_callback.h"
#include "core/device_profile.h"
#include "data/installed_log.h"
#include "fileutil/file_util.h"
#include "hal/device_identity.h"
#include "liveupdate/web_downloader.h"
#include "platform/manual_reset_event.h"
#include "support/shared_string_print.h"

namespace druvex::test {

class RecordingPrerequisitesSink final : public PrerequisitesSink {
public:
    // Called on the payload check's thread with each progress report, before
    // it is recorded.
    std::function<void(std::uint64_t)> onProgress;

    std::vector<std::string> events() const
    {
        std::lock_guard lock(mutex_);
        return events_;
    }
    void clear()
    {
        std::lock_guard lock(mutex_);
        events_.clear();
    }
    int count(const std::string& event) const
    {
        std::lock_guard lock(mutex_);
        return static_cast<int>(std::count(events_.begin(), events_.end(), event));
    }
    // Waits until `event` has been recorded; false after a generous limit
    // (a safety net, not a measurement).
    bool waitFor(const std::string& event) const
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(30), [&] {
            return std::find(events_.begin(), events_.end(), event) != events_.end();
        });
    }

    void checksRestarted() override { add("restarted"); }
    void onlineChecksFinished() override { add("online finished"); }
    void payloadCheckFinished(bool ok, std::uint32_t state) override
    {
        add("payload " + std::to_string(ok) + " " + std::to_string(state));
    }
    void payloadCheckProgress(std::uint64_t percent) override
    {
        if (onProgress)
            onProgress(percent);
        add("progress " + std::to_string(percent));
    }
    void deviceCheckBegins() override { add("device check"); }
    void deviceCheckResult(int result, const SharedString& text, DeviceType type) override
    {
        add("device " + std::to_string(result) + " " + std::string(toUtf8(text).view()) + " " +
            std::to_string(static_cast<int>(type)));
    }
    void connectionCheckBegins() override { add("connection check"); }
    void connectionCheckResult(bool connected) override { add("connected " + std::to_string(connected)); }
    // Sizes depend on the server's chunks: not recorded.
    void downloadProgress(std::uint64_t) override {}
    void dataReceived(std::uint64_t) override {}
    void downloadFinished(int result) override { add("download " + std::to_string(result)); }
    void downloadsReady(int kind) override { add("ready " + std::to_string(kind)); }
    void newInstallerStarted() override { add("new installer started"); }

private:
    void add(std::string event)
    {
        {
            std::lock_guard lock(mutex_);
            events_.push_back(std::move(event));
        }
        changed_.notify_all();
    }

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<std::string> events_;
};

// The settling pauses take no time; the waiter's first wait lasts as asked,
// or ends at once when the test says so.
class PrerequisitesWaits final : public WaitTimeouts {
public:
    std::chrono::milliseconds effectiveTimeout(std::uint32_t requestedMs) override
    {
        if (requestedMs == PagePrerequisitesLogic::kSettleMs || expireAtOnce)
            return std::chrono::milliseconds(0);
        return std::chrono::milliseconds(requestedMs);
    }
    bool expireAtOnce = false;
};

class PrerequisitesFixture : public InstalledStateFixture {
protected:
    void SetUp() override
    {
        InstalledStateFixture::SetUp();
        resetPrerequisitesProcessStateForTests();
        setUseProxy(false);
    }
    void TearDown() override
    {
        logic_.reset();
        InstalledStateFixture::TearDown();
        resetPrerequisitesProcessStateForTests();
        setUseProxy(false);
    }

    // The product controller with a recording UI callback, for a controller
    // build (installer platform "Controller") that serves `mask`.
    InstallerController& makePrerequisitesProduct(std::int32_t mask = platformMask(kPlatformQm40))
    {
        logic_.reset();
        InstallerController& controller = makeProduct();
        ui_ = std::make_shared<RecordingUiCallback>();
        controller.setUiCallback(ui_);
        controller.getBuildConfiguration().setInstallerPlatform(kInstallerPlatformController);
        controller.getBuildConfiguration().setTargetPlatformMask(mask);
        controller.setTargetPlatform(kPlatformCount);
        return controller;
    }

    // The archive written to the device and opened as the controller's payload.
    void openArchive(const Bytes& archive)
    {
        device().writeFile("Temp/payload.bin", std::string(archive.begin(), archive.end()));
        int error = 0;
        ASSERT_TRUE(controller().getPayloadArchive().open(SharedString(u"\\Temp\\payload.bin"), error)) << error;
    }

    // The device identifies itself by these lines of its profile's [Device] section.
    void useDeviceProfile(const std::string& lines)
    {
        device().writeDeviceFile("device.ini", "[Device]\n" + lines + "\n");
        std::string error;
        ASSERT_TRUE(activateDeviceProfile(device().directory().string(), error)) << error;
        resetDeviceIdentificationForTests();
    }

    PagePrerequisitesLogic& makeLogic()
    {
        logic_.reset();
        logic_ = std::make_unique<PagePrerequisitesLogic>(controller(), controller().getWebDownloader());
        logic_->setSink(&sink_);
        logic_->setWaitTimeouts(&waits_);
        return *logic_;
    }
    PagePrerequisitesLogic& logic() { return *logic_; }

    RecordingPrerequisitesSink sink_;
    PrerequisitesWaits waits_;
    std::shared_ptr<RecordingUiCallback> ui_;
    std::unique_ptr<PagePrerequisitesLogic> logic_;
};

}  // namespace druvex::test
