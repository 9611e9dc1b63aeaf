// What the host tests share beyond the device host itself: a check that a
// call was refused with its error, and a fixture whose tests choose the
// device model.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "support/host_fixture.h"

namespace druvex::test {

// The call answered false and left `error` as the host's last error.
inline testing::AssertionResult refused(HalAccess& hal, bool answer, std::uint32_t error)
{
    if (!answer && hal.getLastError() == error)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "answered " << answer << " with last error " << hal.getLastError();
}

class DeviceModelFixture : public HostFixture {
protected:
    // The device becomes `type` with just these stores, identified afresh by a new host.
    void setDeviceType(DeviceType type, std::vector<DeviceStore> stores = {})
    {
        DeviceConfig config = device().config();
        config.forceDeviceType = static_cast<int>(type);
        config.stores = std::move(stores);
        device().reconfigure(config);
        resetDeviceIdentificationForTests();
        host_ = std::make_shared<HalAccessWinCE>();
    }
};

}  // namespace druvex::test
