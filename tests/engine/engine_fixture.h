// What the engine's tests share beyond the payload tests' support: a
// fault-injecting host around the device host, and the device tree as a set
// of paths.
#pragma once

#include <filesystem>
#include <memory>
#include <set>
#include <string>

#include "../payload/payload_test_support.h"
#include "support/fault_injecting_hal.h"

namespace druvex::test {

class EngineHostFixture : public PayloadHostFixture {
protected:
    void SetUp() override
    {
        PayloadHostFixture::SetUp();
        faulty_ = std::make_shared<FaultInjectingHal>(host_);
    }
    void TearDown() override
    {
        faulty_.reset();
        PayloadHostFixture::TearDown();
    }

    // Every path below the device's fs/, relative, with '/'.
    std::set<std::string> deviceTree()
    {
        std::set<std::string> paths;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(device().fsFolder()))
            paths.insert(std::filesystem::relative(entry.path(), device().fsFolder()).generic_string());
        return paths;
    }

    std::shared_ptr<FaultInjectingHal> faulty_;
};

}  // namespace druvex::test
