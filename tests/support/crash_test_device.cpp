#include "support/crash_test_device.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "core/app_paths.h"
#include "platform/device_config.h"
#include "platform/registry.h"

namespace druvex::test {

namespace fs = std::filesystem;

namespace {

constexpr const char* kDeviceVariable = "DRUVEX_CRASH_TEST_DEVICE";

// The sanitizers' handlers would take the faults before the program's do, and
// a leak report at the crash exit would change the exit status.
constexpr const char* kChildAsanOptions =
    "handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0:handle_abort=0:"
    "allow_user_segv_handler=1:detect_leaks=0";

void writeText(const fs::path& path, std::string_view content)
{
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

std::string readText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

CrashTestDevice::CrashTestDevice(bool withDumpDirectory)
{
    // The child must take the same style, or it would fork once more.
    previousStyle_ = GTEST_FLAG_GET(death_test_style);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    if (const char* inherited = std::getenv(kDeviceVariable)) {
        directory_ = inherited;
    } else {
        std::string pattern = (fs::temp_directory_path() / "druvex-crash-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        directory_ = pattern;
        owner_ = true;
        setenv(kDeviceVariable, directory_.c_str(), 1);
        if (const char* options = std::getenv("ASAN_OPTIONS")) {
            hadAsanOptions_ = true;
            previousAsanOptions_ = options;
        }
        const std::string options =
            hadAsanOptions_ ? previousAsanOptions_ + ":" + kChildAsanOptions : std::string(kChildAsanOptions);
        setenv("ASAN_OPTIONS", options.c_str(), 1);
    }
    fs::create_directories(directory_ / "fs");
    std::string registry = "DRUVEX-REGISTRY 1\n";
    if (withDumpDirectory)
        registry += "\n[HKEY_LOCAL_MACHINE\\System\\ErrorReporting\\DumpSettings]\n"
                    "\"DumpDirectory\"=\"\\\\Windows\\\\DumpFiles\"\n";
    writeText(directory_ / "registry.reg", registry);

    DeviceConfig config;
    config.deviceDirectory = directory_.string();
    activateDevice(config);
    if (deviceRegistry().configure((directory_ / "registry.reg").string()) != 0)
        throw std::runtime_error("registry.reg does not load");
    AppPaths::setInstance(SharedString(kProgramFile));
}

CrashTestDevice::~CrashTestDevice()
{
    AppPaths::resetInstance();
    deviceRegistry().configure(std::string());
    deactivateDevice();
    GTEST_FLAG_SET(death_test_style, previousStyle_);
    if (!owner_)
        return;
    unsetenv(kDeviceVariable);
    if (hadAsanOptions_)
        setenv("ASAN_OPTIONS", previousAsanOptions_.c_str(), 1);
    else
        unsetenv("ASAN_OPTIONS");
    std::error_code ignored;
    fs::remove_all(directory_, ignored);
}

fs::path CrashTestDevice::hostPath(std::string_view relative) const
{
    return directory_ / "fs" / fs::path(relative).relative_path();
}

bool CrashTestDevice::exists(std::string_view relative) const
{
    std::error_code ignored;
    return fs::exists(hostPath(relative), ignored);
}

std::string CrashTestDevice::readFile(std::string_view relative) const
{
    return readText(hostPath(relative));
}

void CrashTestDevice::writeFile(std::string_view relative, std::string_view content) const
{
    writeText(hostPath(relative), content);
}

std::string CrashTestDevice::lastLog() const
{
    const fs::path data = hostPath(kDataFolder);
    const std::string number = readText(data / "crashtest.seq.ini");
    if (number.empty())
        return {};
    return readText(data / ("crashtest" + number + ".log.txt"));
}

bool containsInOrder(std::string_view text, std::initializer_list<std::string_view> fragments)
{
    std::size_t from = 0;
    for (std::string_view fragment : fragments) {
        const std::size_t at = text.find(fragment, from);
        if (at == std::string_view::npos)
            return false;
        from = at + fragment.size();
    }
    return true;
}

}  // namespace druvex::test
