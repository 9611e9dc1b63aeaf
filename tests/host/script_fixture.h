// A device with its host for script tests, an installer script runner whose
// hosts In, In-admin and Out are that host (or others a test gives) and whose
// installer state is what a test gives, and helpers that run a few lines of
// Lua and hand back their results as texts.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/installer_script_runner.h"
#include "host/installer_script_services.h"
#include "host/script_host_services.h"
#include "support/host_fixture.h"
#include "support/shared_string_print.h"

namespace druvex::test {

// A text for failure messages.
inline std::string utf8(const SharedString& text)
{
    return toUtf8(text).c_str();
}

class FakeScriptHost final : public ScriptHostServices {
public:
    std::shared_ptr<HalAccess> in;
    std::shared_ptr<HalAccess> inAdmin;
    std::shared_ptr<HalAccess> out;
    // The installer state the installer functions reach; none unless set.
    InstallerScriptServices* installer = nullptr;

    std::shared_ptr<HalAccess> getHalIn() override { return in; }
    std::shared_ptr<HalAccess> getHalInAdmin() override { return inAdmin; }
    std::shared_ptr<HalAccess> getHalOut() override { return out; }
    InstallerScriptServices* getInstallerScriptServices() override { return installer; }
};

class ScriptFixture : public HostFixture {
protected:
    void SetUp() override
    {
        HostFixture::SetUp();
        services_.in = services_.inAdmin = services_.out = host_;
    }
    void TearDown() override
    {
        runner_.reset();
        services_ = FakeScriptHost();
        HostFixture::TearDown();
    }

    // A new runner with `script` loaded; the test fails when it does not load.
    InstallerScriptRunner& load(std::u16string_view script)
    {
        runner_.emplace(&services_);
        EXPECT_EQ(runner_->loadScriptText(SharedString(script)), 1) << utf8(runner_->errorText());
        return *runner_;
    }

    // Runs `body` as the function Main of a new script and answers its first
    // `count` results; a failing call fails the test.
    std::vector<SharedString> run(std::u16string_view body, int count = 1)
    {
        InstallerScriptRunner& runner = load(u"function Main()\n" + std::u16string(body) + u"\nend");
        std::vector<SharedString> results(static_cast<std::size_t>(count));
        EXPECT_TRUE(runner.callFunction(nullptr, 0, nullptr, count, results.data())) << utf8(runner.errorText());
        return results;
    }
    SharedString run1(std::u16string_view body) { return run(body, 1)[0]; }

    // Runs `body` as Main and answers the error text; a call that succeeds
    // fails the test.
    SharedString failure(std::u16string_view body)
    {
        InstallerScriptRunner& runner = load(u"function Main()\n" + std::u16string(body) + u"\nend");
        EXPECT_FALSE(runner.callFunction(nullptr, 0, nullptr, 0, nullptr));
        EXPECT_EQ(runner.errorCode(), kScriptErrorLua);
        return runner.errorText();
    }

    FakeScriptHost services_;
    std::optional<InstallerScriptRunner> runner_;
};

}  // namespace druvex::test
