// The device of the benchmarks that write through the device host: a folder
// of the host, with the folders asked for made below its fs/, activated as
// the device for the object's life, and a device host over it.
#pragma once

#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>

#include "bench_support.h"
#include "host/wince_hal_access.h"
#include "platform/device_config.h"

namespace druvex::bench {

struct ActiveDevice {
    std::shared_ptr<HalAccessWinCE> host;

    ActiveDevice(const fs::path& folder, std::initializer_list<const char*> folders)
    {
        for (const char* sub : folders)
            fs::create_directories(folder / "fs" / sub);
        DeviceConfig config;
        config.deviceDirectory = folder.string();
        std::string error;
        if (!activateDevice(config, &error))
            fail("cannot activate the device: " + error);
        host = std::make_shared<HalAccessWinCE>();
    }
    ~ActiveDevice()
    {
        host.reset();
        deactivateDevice();
    }
    ActiveDevice(const ActiveDevice&) = delete;
    ActiveDevice& operator=(const ActiveDevice&) = delete;
};

}  // namespace druvex::bench
