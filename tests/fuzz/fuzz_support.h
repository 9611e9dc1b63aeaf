// What the fuzz targets share: diagnostics that go nowhere, so that a parser's
// refusals neither make a log nor flood standard error, and one scratch device
// (a device folder in a temporary folder, active for the whole process) for
// the parsers that read through the device host.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "text/shared_string.h"

namespace druvex::fuzz {

// Installs a sink that drops every diagnostics line; idempotent. Every
// program that links this support starts with it installed.
void quietDiagnostics();

// The process's scratch device, made and activated on first use; quiet
// diagnostics come with it. Its folder is removed when the process ends.
class FuzzDevice {
public:
    static FuzzDevice& instance();

    const std::string& directory() const { return directory_; }
    // Writes `bytes` to the file at `relative` below fs/ (with '/' between
    // folders) and returns its device path ("\relative").
    SharedString writeFile(std::string_view relative, std::span<const std::uint8_t> bytes);
    // Removes everything below fs/, so that no input sees another's files.
    void clear();

    FuzzDevice(const FuzzDevice&) = delete;
    FuzzDevice& operator=(const FuzzDevice&) = delete;

private:
    FuzzDevice();
    ~FuzzDevice();

    std::string directory_;
};

}  // namespace druvex::fuzz
