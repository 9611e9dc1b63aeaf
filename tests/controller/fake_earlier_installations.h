// The installation engine's finders of earlier installations and its device
// uninstallers, as the controller tests script them: a finder finds the
// remover a test gives it or nothing, and every call is recorded.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "controller/earlier_installations.h"
#include "controller/uninstall_launcher.h"
#include "text/shared_string.h"

namespace druvex::test {

// A remover that starts nothing and answers as told.
class StubUninstallLauncher final : public UninstallLauncher {
public:
    int run(UninstallCancelCallback*) override { return answer; }
    bool isInstalledForAllUsers() const override { return forAllUsers; }
    int answer = kUninstallEnded;
    bool forAllUsers = false;
};

class FakeEarlierInstallations final : public EarlierInstallations {
public:
    bool findAppMgrInstallation(const std::shared_ptr<HalAccess>&, RunController&, std::int32_t flag,
                                std::shared_ptr<UninstallLauncher>& launcher) override
    {
        return find("find AppMgr", flag, launcher);
    }
    bool findUnloadInstallation(const std::shared_ptr<HalAccess>&, RunController&, std::int32_t flag,
                                std::shared_ptr<UninstallLauncher>& launcher) override
    {
        return find("find Unload", flag, launcher);
    }
    std::shared_ptr<UninstallLauncher> makeAppMgrUninstaller(const std::shared_ptr<HalAccess>&, RunController&,
                                                             const SharedString& cabProvider,
                                                             const SharedString& cabProgramName) override
    {
        return make("make AppMgr", cabProvider, cabProgramName);
    }
    std::shared_ptr<UninstallLauncher> makeUnloadUninstaller(const std::shared_ptr<HalAccess>&, RunController&,
                                                             const SharedString& cabProvider,
                                                             const SharedString& cabProgramName) override
    {
        return make("make Unload", cabProvider, cabProgramName);
    }

    // What a finder finds; null: nothing.
    std::shared_ptr<UninstallLauncher> previousInstallation;
    std::vector<std::string> calls;

private:
    bool find(const char* what, std::int32_t flag, std::shared_ptr<UninstallLauncher>& launcher)
    {
        calls.push_back(std::string(what) + " " + std::to_string(flag));
        launcher = previousInstallation;
        return previousInstallation != nullptr;
    }
    std::shared_ptr<UninstallLauncher> make(const char* what, const SharedString& provider, const SharedString& name)
    {
        calls.push_back(std::string(what) + " " + toUtf8(provider).c_str() + "/" + toUtf8(name).c_str());
        return std::make_shared<StubUninstallLauncher>();
    }
};

}  // namespace druvex::test
