#include "controller/custom_action_hooks.h"
#include "controller/redistributables_manager.h"

namespace druvex {
namespace {

class NoRedistributables final : public RedistributablesManager {
public:
    void loadDefinitions() override {}
    void registerDownloads() override {}
    void runChecks() override {}
    void evaluateRequired() override {}
    bool needsInstall() const override { return false; }
};

class NoCustomActionHooks final : public CustomActionHooks {
public:
    bool runHook(const SharedString&) override { return true; }
};

}  // namespace

std::shared_ptr<RedistributablesManager> makeNoRedistributables()
{
    return std::make_shared<NoRedistributables>();
}

std::shared_ptr<CustomActionHooks> makeNoCustomActionHooks()
{
    return std::make_shared<NoCustomActionHooks>();
}

}  // namespace druvex
