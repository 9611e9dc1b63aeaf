// The controller on a test device: a device host whose installer path and
// device type a test can set and that keeps the ids of the processes it
// starts, options to start from, and page logics that record what the
// controller asks of them.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "controller/installer_controller.h"
#include "controller/page_logic.h"
#include "platform/manual_reset_event.h"
#include "platform/process.h"
#include "support/host_fixture.h"

namespace druvex::test {

class ScriptedHost final : public HalAccessWinCE {
public:
    bool getInstallerPath(SharedString& path) override
    {
        if (!installerPath)
            return HalAccessWinCE::getInstallerPath(path);
        path = *installerPath;
        return true;
    }
    ConnectionState getDeviceType(DeviceType& type, bool refresh) override
    {
        if (connection) {
            type = deviceType.value_or(DeviceType::NONE);
            return *connection;
        }
        if (!deviceType)
            return HalAccessWinCE::getDeviceType(type, refresh);
        type = *deviceType;
        return deviceFound ? ConnectionState::DEVICE_CONNECTED : ConnectionState::DEVICE_NOT_FOUND;
    }
    bool createProcess(const SharedString& application, const SharedString& commandLine, std::uint32_t flags,
                       ProcessInformation& information) override
    {
        if (!HalAccessWinCE::createProcess(application, commandLine, flags, information))
            return false;
        startedProcessIds.push_back(information.processId);
        if (waitForStartedProcesses)
            waitForProcess(information.process, kInfiniteWait);
        return true;
    }

    std::optional<SharedString> installerPath;
    std::optional<DeviceType> deviceType;
    bool deviceFound = true;
    // When set, the answer of every device-type query, whatever the type.
    std::optional<ConnectionState> connection;
    // Each process started is waited for before createProcess returns.
    bool waitForStartedProcesses = false;
    // Every process started, so that a test can end one left running.
    std::vector<std::uint32_t> startedProcessIds;
};

// What the recording page logics saw, kept outside them since the
// controller destroys them.
struct PageLogicJournal {
    std::vector<std::string> events;
    std::vector<PageLogicArguments> arguments;
    bool answerNext = true;
    bool answerBack = true;

    void add(std::string event) { events.push_back(std::move(event)); }
};

class RecordingPageLogic : public PageLogic {
public:
    RecordingPageLogic(PageLogicJournal& journal, WizardPageId id) : journal_(journal), id_(id)
    {
        journal_.add("make " + std::to_string(wizardPageNumber(id_)));
    }
    ~RecordingPageLogic() override { journal_.add("delete " + std::to_string(wizardPageNumber(id_))); }

    bool onNext() override
    {
        journal_.add("next " + std::to_string(wizardPageNumber(id_)));
        return journal_.answerNext;
    }
    bool onBack() override
    {
        journal_.add("back " + std::to_string(wizardPageNumber(id_)));
        return journal_.answerBack;
    }
    void onLeave(WizardPageId nextPage) override
    {
        journal_.add("leave " + std::to_string(wizardPageNumber(id_)) + " for " + std::to_string(wizardPageNumber(nextPage)));
    }

protected:
    PageLogicJournal& journal_;
    const WizardPageId id_;
};

// Makes a RecordingPageLogic for every page and keeps the arguments.
class RecordingPageLogicFactory final : public PageLogicFactory {
public:
    explicit RecordingPageLogicFactory(PageLogicJournal& journal) : journal_(journal) {}

    std::unique_ptr<PageLogic> makePageLogic(InstallerController&, WizardPageId id,
                                             const PageLogicArguments& arguments) override
    {
        journal_.arguments.push_back(arguments);
        return std::make_unique<RecordingPageLogic>(journal_, id);
    }

private:
    PageLogicJournal& journal_;
};

class ControllerFixture : public HostFixture {
protected:
    void SetUp() override
    {
        HostFixture::SetUp();
        source_ = std::make_shared<ScriptedHost>();
        target_ = std::make_shared<ScriptedHost>();
    }
    void TearDown() override
    {
        controller_.reset();
        source_.reset();
        target_.reset();
        HostFixture::TearDown();
    }

    // A controller whose source host is `source_` and whose target host is
    // the same object, or `target_` when `separateTarget`.
    InstallerController& makeController(bool separateTarget = false)
    {
        controller_.reset();
        std::shared_ptr<HalAccess> target = separateTarget ? target_ : source_;
        controller_ = std::make_unique<InstallerController>(options_, source_, target);
        return *controller_;
    }
    InstallerController& controller() { return *controller_; }
    void destroyController() { controller_.reset(); }

    InstallerOptions options_;
    // Outlives the controller, whose page logics write into it to the end.
    PageLogicJournal journal_;
    std::shared_ptr<ScriptedHost> source_;
    std::shared_ptr<ScriptedHost> target_;
    std::unique_ptr<InstallerController> controller_;
};

}  // namespace druvex::test
