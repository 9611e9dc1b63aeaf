#include "support/device_fixture.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "platform/device_root.h"

namespace druvex::test {

namespace {

void writeText(const std::filesystem::path& path, std::string_view content)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

// Tells the mapper about entries made around it, from fs/ down to `path`.
void noteCreatedBelow(const std::filesystem::path& fsFolder, const std::filesystem::path& path)
{
    // The mapper keys its cache by the canonical spelling of fs/.
    std::filesystem::path current = DeviceRoot::instance().rootFolder();
    for (const auto& component : path.lexically_relative(fsFolder)) {
        current /= component;
        DeviceRoot::instance().noteCreated(current.string());
    }
}

}  // namespace

TestDevice::TestDevice(std::string_view deviceIni, DeviceConfig config) : config_(std::move(config))
{
    std::filesystem::create_directories(fsFolder());
    if (!deviceIni.empty())
        writeDeviceFile("device.ini", deviceIni);
    config_.deviceDirectory = directory().string();
    activateDevice(config_);
}

TestDevice::~TestDevice()
{
    deactivateDevice();
}

std::filesystem::path TestDevice::hostPath(std::string_view relative) const
{
    return fsFolder() / std::filesystem::path(relative).relative_path();
}

void TestDevice::writeFile(std::string_view relative, std::string_view content) const
{
    writeText(hostPath(relative), content);
    noteCreatedBelow(fsFolder(), hostPath(relative));
}

void TestDevice::makeFolder(std::string_view relative) const
{
    std::filesystem::create_directories(hostPath(relative));
    noteCreatedBelow(fsFolder(), hostPath(relative));
}

std::string TestDevice::readFile(std::string_view relative) const
{
    std::ifstream in(hostPath(relative), std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + hostPath(relative).string());
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool TestDevice::exists(std::string_view relative) const
{
    std::error_code error;
    return std::filesystem::exists(hostPath(relative), error);
}

void TestDevice::makeStandardFolders() const
{
    for (const char* folder : {"Windows/Start Menu/Programs", "Windows/Desktop", "Temp", "Program Files",
                               "My Documents", "Application Data"})
        makeFolder(folder);
}

void TestDevice::writeDeviceFile(std::string_view name, std::string_view content) const
{
    writeText(directory() / std::filesystem::path(name), content);
}

void TestDevice::reconfigure(DeviceConfig config)
{
    config_ = std::move(config);
    config_.deviceDirectory = directory().string();
    activateDevice(config_);
}

}  // namespace druvex::test
