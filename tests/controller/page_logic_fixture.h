// What the page logic tests share: the product of the mode tests with the
// page logics' process-wide choices forgotten, custom-action hooks that
// record the hook points run (and can hold the "POST-EXIT" actions back), a
// redistributables manager whose answers a test sets, and the recording UI
// callback in place.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "controller/custom_action_hooks.h"
#include "controller/installed_state_fixture.h"
#include "controller/page_logic_state.h"
#include "controller/recording_ui_callback.h"
#include "controller/redistributables_manager.h"

namespace druvex::test {

class RecordingHooks final : public CustomActionHooks {
public:
    bool runHook(const SharedString& hook) override
    {
        std::lock_guard lock(mutex_);
        hooks_.emplace_back(toUtf8(hook).c_str());
        return true;
    }
    bool runHookCustomActions(const SharedString& hook, const HookArguments* arguments) override
    {
        std::unique_lock lock(mutex_);
        hooks_.emplace_back(toUtf8(hook).c_str());
        if (arguments)
            argumentsSeen_.push_back(*arguments);
        released_.wait(lock, [this] { return !holdBack_; });
        return answer;
    }
    void collectHookCustomActions(const SharedString&, std::vector<CustomActionPtr>& out) override { out = actions; }

    std::vector<std::string> hooks() const
    {
        std::lock_guard lock(mutex_);
        return hooks_;
    }
    // The arguments of each run with arguments, in order.
    std::vector<HookArguments> argumentsSeen() const
    {
        std::lock_guard lock(mutex_);
        return argumentsSeen_;
    }
    // While held back, the actions with arguments wait until released.
    void holdBack()
    {
        std::lock_guard lock(mutex_);
        holdBack_ = true;
    }
    void release()
    {
        std::lock_guard lock(mutex_);
        holdBack_ = false;
        released_.notify_all();
    }

    bool answer = true;
    std::vector<CustomActionPtr> actions;

private:
    mutable std::mutex mutex_;
    std::condition_variable released_;
    bool holdBack_ = false;
    std::vector<std::string> hooks_;
    std::vector<HookArguments> argumentsSeen_;
};

class ScriptedRedistributables final : public RedistributablesManager {
public:
    void loadDefinitions() override {}
    void registerDownloads() override {}
    void runChecks() override { ++checksRun; }
    void evaluateRequired() override { ++evaluations; }
    bool needsInstall() const override { return needed; }
    bool getWorstResult(SharedString& message) const override
    {
        message = worstMessage;
        return worstOk;
    }
    std::vector<SharedString> getRedistributablesToInstall() const override { return toInstall; }

    bool needed = false;
    bool worstOk = true;
    SharedString worstMessage;
    std::vector<SharedString> toInstall;
    int checksRun = 0;
    int evaluations = 0;
};

class PageLogicFixture : public InstalledStateFixture {
protected:
    void SetUp() override
    {
        InstalledStateFixture::SetUp();
        resetPageLogicProcessState();
    }
    void TearDown() override
    {
        InstalledStateFixture::TearDown();
        resetPageLogicProcessState();
    }

    // "Survey Pro" (see InstalledStateFixture) with nothing installed, the
    // recording hooks, callback and redistributables, in `mode`.
    InstallerController& makePageProduct(WizardMode mode = kModeInstall)
    {
        InstallerController& controller = makeProduct();
        hooks_ = std::make_shared<RecordingHooks>();
        ui_ = std::make_shared<RecordingUiCallback>();
        redistributables_ = std::make_shared<ScriptedRedistributables>();
        controller.setCustomActionHooks(hooks_);
        ui_->setController(&controller);
        controller.setUiCallback(ui_);
        controller.setRedistributables(redistributables_);
        controller.getPageSequence().buildForMode(mode);
        // What the page list asked counts for nothing.
        redistributables_->evaluations = 0;
        return controller;
    }

    // The messages shown, each as its text.
    std::vector<std::u16string> shownTexts() const
    {
        std::vector<std::u16string> texts;
        for (const auto& [text, severity, flag] : ui_->shown)
            texts.push_back(text);
        return texts;
    }

    std::shared_ptr<RecordingHooks> hooks_;
    std::shared_ptr<RecordingUiCallback> ui_;
    std::shared_ptr<ScriptedRedistributables> redistributables_;
};

}  // namespace druvex::test
