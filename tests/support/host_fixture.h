// The device the host tests run on: the standard folders, a registry kept in
// the device directory, identification answers of earlier devices forgotten,
// and a fresh device host per test.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "hal/device_identity.h"
#include "host/wince_hal_access.h"
#include "platform/registry.h"
#include "platform/win_error.h"
#include "support/device_fixture.h"

namespace druvex::test {

class HostFixture : public DeviceFixture {
protected:
    void SetUp() override
    {
        DeviceFixture::SetUp();
        device().makeStandardFolders();
        ASSERT_EQ(deviceRegistry().configure((device().directory() / "registry.reg").string()), kErrorSuccess);
        resetDeviceIdentificationForTests();
        host_ = std::make_shared<HalAccessWinCE>();
    }
    void TearDown() override
    {
        host_.reset();
        deviceRegistry().configure(std::string());
        resetDeviceIdentificationForTests();
        DeviceFixture::TearDown();
    }

    HalAccessWinCE& host() { return *host_; }

    std::shared_ptr<HalAccessWinCE> host_;
};

}  // namespace druvex::test
