// A temporary device for tests: a device directory with fs/ (the device's "\")
// and a device.ini given as text, made the process's active device (DeviceRoot
// and DeviceConfig) for the life of the object; afterwards paths map to
// themselves again. The configuration activated is the one given in code.
// Use TestDevice directly or derive a fixture from DeviceFixture.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/device_config.h"
#include "support/external_tool.h"

namespace druvex::test {

class TestDevice {
public:
    // Writes device.ini (when the text is not empty) and activates `config`
    // with its device directory set to the new folder.
    explicit TestDevice(std::string_view deviceIni = {}, DeviceConfig config = {});
    ~TestDevice();
    TestDevice(const TestDevice&) = delete;
    TestDevice& operator=(const TestDevice&) = delete;

    const std::filesystem::path& directory() const { return scratch_.path(); }
    std::filesystem::path fsFolder() const { return scratch_.path() / "fs"; }
    // The host path of a path below fs/, given with '/' and spelled as on the
    // host ("Windows/Start Menu/x.lnk").
    std::filesystem::path hostPath(std::string_view relative) const;

    // Files and folders below fs/, made without the program's own functions.
    void writeFile(std::string_view relative, std::string_view content = {}) const;
    void makeFolder(std::string_view relative) const;
    std::string readFile(std::string_view relative) const;
    bool exists(std::string_view relative) const;
    // \Windows, \Windows\Start Menu\Programs, \Windows\Desktop, \Temp,
    // \Program Files, \My Documents and \Application Data.
    void makeStandardFolders() const;

    // A file of the device directory itself (registry.reg, events.log, ...).
    void writeDeviceFile(std::string_view name, std::string_view content) const;

    const DeviceConfig& config() const { return config_; }
    // Activates a changed configuration (the device directory stays).
    void reconfigure(DeviceConfig config);

private:
    ScratchDir scratch_;
    DeviceConfig config_;
};

// A GoogleTest fixture with a fresh device per test. Override deviceIni() or
// configure() to change the device before it is activated.
class DeviceFixture : public ::testing::Test {
protected:
    virtual std::string deviceIni() const { return {}; }
    virtual void configure(DeviceConfig&) const {}

    void SetUp() override
    {
        DeviceConfig config;
        configure(config);
        device_.emplace(deviceIni(), std::move(config));
    }
    void TearDown() override { device_.reset(); }

    TestDevice& device() { return *device_; }

private:
    std::optional<TestDevice> device_;
};

}  // namespace druvex::test
