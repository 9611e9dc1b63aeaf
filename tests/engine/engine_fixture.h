// What the engine's tests share: a device with its standard folders, a device
// host over it and a fault-injecting host around that; feeding a package
// stream to an unpacker in pieces; and the device tree as a set of paths.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>

#include "host/hal_access_wince.h"
#include "payload/package_unpacker.h"
#include "support/device_fixture.h"
#include "support/fault_injecting_hal.h"

namespace druvex::test {

inline Bytes textBytes(std::string_view text)
{
    return Bytes(text.begin(), text.end());
}

// Feeds the stream in pieces of the sizes `next` gives (whole without it);
// false at the first refused piece.
inline bool feedPackage(PackageUnpacker& unpacker, const Bytes& stream,
                        const std::function<std::size_t()>& next = nullptr)
{
    unpacker.begin(static_cast<std::uint32_t>(stream.size()), 0);
    for (std::size_t at = 0; at < stream.size();) {
        const std::size_t piece = std::min(next ? next() : stream.size(), stream.size() - at);
        if (!unpacker.write(static_cast<std::uint32_t>(piece), stream.data() + at))
            return false;
        at += piece;
    }
    return unpacker.finish();
}

class EngineHostFixture : public DeviceFixture {
protected:
    void SetUp() override
    {
        DeviceFixture::SetUp();
        device().makeStandardFolders();
        host_ = std::make_shared<HalAccessWinCE>();
        faulty_ = std::make_shared<FaultInjectingHal>(host_);
    }
    void TearDown() override
    {
        faulty_.reset();
        host_.reset();
        DeviceFixture::TearDown();
    }

    // Every path below the device's fs/, relative, with '/'.
    std::set<std::string> deviceTree()
    {
        std::set<std::string> paths;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(device().fsFolder()))
            paths.insert(std::filesystem::relative(entry.path(), device().fsFolder()).generic_string());
        return paths;
    }

    std::shared_ptr<HalAccessWinCE> host_;
    std::shared_ptr<FaultInjectingHal> faulty_;
};

}  // namespace druvex::test
