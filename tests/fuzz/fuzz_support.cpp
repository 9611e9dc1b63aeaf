#include "fuzz/fuzz_support.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>

#include "platform/device_config.h"
#include "text/diag.h"

namespace druvex::fuzz {
namespace {

namespace fs = std::filesystem;

class QuietSink final : public DiagSink {
public:
    void writeLine(std::u16string_view) override {}
};

}  // namespace

void quietDiagnostics()
{
    static QuietSink* sink = new QuietSink;  // never freed: any thread may still report
    if (currentDiagSink() != sink)
        setDiagSink(sink);
}

namespace {

// Every target starts quiet, also one that never asks: its refusals must not
// make a log file beside the program for each input.
[[maybe_unused]] const bool g_quietFromTheStart = (quietDiagnostics(), true);

}  // namespace

FuzzDevice& FuzzDevice::instance()
{
    static FuzzDevice device;
    return device;
}

FuzzDevice::FuzzDevice()
{
    quietDiagnostics();
    std::string pattern = (fs::temp_directory_path() / "druvex-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    directory_ = pattern;
    fs::create_directories(fs::path(directory_) / "fs");
    DeviceConfig config;
    config.deviceDirectory = directory_;
    std::string error;
    if (!activateDevice(config, &error))
        throw std::runtime_error("the scratch device does not activate: " + error);
}

FuzzDevice::~FuzzDevice()
{
    deactivateDevice();
    std::error_code ignored;
    fs::remove_all(directory_, ignored);
}

SharedString FuzzDevice::writeFile(std::string_view relative, std::span<const std::uint8_t> bytes)
{
    const fs::path path = fs::path(directory_) / "fs" / fs::path(relative);
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
    std::u16string device = u"\\";
    for (const char ch : relative)
        device += ch == '/' ? u'\\' : static_cast<char16_t>(static_cast<unsigned char>(ch));
    return SharedString(std::u16string_view(device));
}

void FuzzDevice::clear()
{
    std::error_code ignored;
    for (const fs::directory_entry& entry : fs::directory_iterator(fs::path(directory_) / "fs", ignored))
        fs::remove_all(entry.path(), ignored);
}

}  // namespace druvex::fuzz
