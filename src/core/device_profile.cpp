#include "core/device_profile.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <unordered_map>
#include <vector>

#include "core/ini_file.h"
#include "text/text_convert.h"

namespace druvex {
namespace {

constexpr std::u16string_view kStorePrefix = u"Store:";

bool startsWith(const SharedString& text, std::u16string_view prefix)
{
    return text.view().substr(0, prefix.size()) == prefix;
}

std::string utf8(const SharedString& text)
{
    const SharedStringA bytes = toUtf8(text);
    return std::string(bytes.view());
}

// Only decimal digits, nothing around them.
bool parseDigits(std::u16string_view text, std::uint64_t& value)
{
    if (text.empty() || text.size() > 19)
        return false;
    value = 0;
    for (char16_t ch : text) {
        if (ch < u'0' || ch > u'9')
            return false;
        value = value * 10 + static_cast<std::uint64_t>(ch - u'0');
    }
    return true;
}

class ProfileReader {
public:
    ProfileReader(const std::string& fileName, DeviceConfig& config, std::string& error)
        : fileName_(fileName), config_(config), error_(error)
    {
        for (std::size_t i = 0; i < config_.stores.size(); ++i)
            storeIndex_.try_emplace(std::u16string(config_.stores[i].path.view()), i);
    }

    bool read(const std::uint8_t* bytes, std::size_t size)
    {
        IniFile ini;
        IniLoadReport report;
        if (!ini.parse(bytes, size, nullptr, &report)) {
            error_ = fileName_ + ": line " + std::to_string(report.failedLine) + ": " + report.reason + ": \"" +
                     utf8(report.failedText) + "\"";
            return false;
        }
        keyLines_ = &report.keyLines;
        for (const auto& [section, keys] : ini.sections()) {
            for (const auto& [key, value] : keys) {
                if (!readKey(section, key, value))
                    return false;
            }
        }
        return true;
    }

private:
    bool fail(const SharedString& section, const SharedString& key, const std::string& reason)
    {
        const auto line = keyLines_->find({section, key});
        error_ = fileName_ + ": line " + std::to_string(line == keyLines_->end() ? 0 : line->second) + ": ";
        if (!section.isEmpty())
            error_ += "[" + utf8(section) + "] ";
        error_ += utf8(key) + ": " + reason;
        return false;
    }

    bool readKey(const SharedString& section, const SharedString& key, const SharedString& value)
    {
        const std::u16string_view k = key.view();
        const std::u16string_view v = value.view();
        if (k.back() == u' ' || k.back() == u'\t' || (!v.empty() && (v.front() == u' ' || v.front() == u'\t')))
            return fail(section, key, "no blanks around '='");
        if (!v.empty() && (v.back() == u' ' || v.back() == u'\t'))
            return fail(section, key, "no blanks after a value");
        if (v.find(u" ;") != std::u16string_view::npos || v.find(u"\t;") != std::u16string_view::npos)
            return fail(section, key, "no comments after a value (comments are lines of their own)");
        if (section.isEmpty())
            return fail(section, key, "a key before any section");
        if (section == u"Device")
            return readDevice(section, key, value);
        if (section == u"SpecialFolders")
            return readSpecialFolder(section, key, value);
        if (startsWith(section, kStorePrefix))
            return readStore(section, key, value);
        if (section == u"Programs") {
            if (value.isEmpty())
                return fail(section, key, "names no program");
            config_.programs.push_back({key, utf8(value)});
            return true;
        }
        if (section == u"Network")
            return readNetwork(section, key, value);
        if (section == u"Vendor") {
            config_.vendor[key] = value;
            return true;
        }
        return fail(section, key, "unknown section");
    }

    bool number(const SharedString& section, const SharedString& key, const SharedString& value,
                std::uint64_t maximum, std::uint64_t& out)
    {
        if (!parseDigits(value.view(), out))
            return fail(section, key, "\"" + utf8(value) + "\" is not a decimal number");
        if (out > maximum)
            return fail(section, key, utf8(value) + " is larger than " + std::to_string(maximum));
        return true;
    }

    bool flag(const SharedString& section, const SharedString& key, const SharedString& value, bool& out)
    {
        if (value != u"0" && value != u"1")
            return fail(section, key, "\"" + utf8(value) + "\" is not 0 or 1");
        out = value == u"1";
        return true;
    }

    bool readDevice(const SharedString& section, const SharedString& key, const SharedString& value)
    {
        std::uint64_t n = 0;
        const std::u16string_view k = key.view();
        if (k == u"ForceDeviceType") {
            if (value.isEmpty()) {
                config_.forceDeviceType.reset();
                return true;
            }
            if (!number(section, key, value, 26, n))
                return false;
            config_.forceDeviceType = static_cast<int>(n);
            return true;
        }
        if (k == u"OsVersion") {
            const std::u16string_view v = value.view();
            const std::size_t dot = v.find(u'.');
            std::uint64_t major = 0, minor = 0;
            if (dot == std::u16string_view::npos || !parseDigits(v.substr(0, dot), major) ||
                !parseDigits(v.substr(dot + 1), minor) || major > 255 || minor > 255)
                return fail(section, key, "\"" + utf8(value) + "\" is not major.minor");
            config_.osVersion = {static_cast<int>(major), static_cast<int>(minor)};
            return true;
        }
        if (k == u"ScreenWidth" || k == u"ScreenHeight") {
            if (!number(section, key, value, 65535, n))
                return false;
            (k == u"ScreenWidth" ? config_.screenWidth : config_.screenHeight) = static_cast<int>(n);
            return true;
        }
        if (k == u"AnsiCodePage") {
            if (!number(section, key, value, 65535, n))
                return false;
            // Code page 0 would mean "the ANSI code page" itself.
            if (n == 0 || countWideChars("A", 1, static_cast<unsigned>(n)) != 1)
                return fail(section, key, "code page " + utf8(value) + " is not available");
            config_.ansiCodePage = static_cast<unsigned>(n);
            return true;
        }
        if (k == u"UserLocale") {
            if (!number(section, key, value, 0xFFFFFFFFu, n))
                return false;
            config_.userLocale = static_cast<unsigned>(n);
            return true;
        }
        if (k == u"Administrator")
            return flag(section, key, value, config_.administrator);
        if (k == u"PlatformType")
            config_.platformType = value;
        else if (k == u"OemInfo")
            config_.oemInfo = value;
        else if (k == u"TempPath")
            config_.tempPath = value;
        else if (k == u"UserName")
            config_.userName = value;
        else
            return fail(section, key, "unknown key");
        return true;
    }

    bool readSpecialFolder(const SharedString& section, const SharedString& key, const SharedString& value)
    {
        std::uint64_t id = 0;
        if (!parseDigits(key.view(), id) || id > 0xFFFF)
            return fail(section, key, "a special folder's key is its CSIDL number");
        if (value.isEmpty())
            return fail(section, key, "names no folder");
        config_.specialFolders[static_cast<int>(id)] = value;
        return true;
    }

    // Every key of a store section looks its store up: a profile of many
    // stores must not search them all each time.
    DeviceStore& store(const SharedString& section)
    {
        const std::u16string_view path = section.view().substr(kStorePrefix.size());
        const auto [known, added] = storeIndex_.try_emplace(std::u16string(path), config_.stores.size());
        if (added)
            config_.stores.push_back(DeviceStore{SharedString(path), {}, {}, false, false});
        return config_.stores[known->second];
    }

    bool readStore(const SharedString& section, const SharedString& key, const SharedString& value)
    {
        if (section.length() == static_cast<int>(kStorePrefix.size()))
            return fail(section, key, "a store section names the store's device path");
        DeviceStore& target = store(section);
        const std::u16string_view k = key.view();
        std::uint64_t n = 0;
        if (k == u"Total" || k == u"Free") {
            if (!number(section, key, value, UINT64_MAX, n))
                return false;
            (k == u"Total" ? target.total : target.free) = n;
            return true;
        }
        if (k == u"ReadOnly")
            return flag(section, key, value, target.readOnly);
        if (k == u"Mounted")
            return flag(section, key, value, target.mounted);
        return fail(section, key, "unknown key");
    }

    bool readNetwork(const SharedString& section, const SharedString& key, const SharedString& value)
    {
        const std::u16string_view k = key.view();
        if (k == u"Connected")
            return flag(section, key, value, config_.networkConnected);
        if (k == u"Proxy")
            config_.proxy = value;
        else if (k == u"CheckUrl")
            config_.checkUrl = value;
        else
            return fail(section, key, "unknown key");
        return true;
    }

    const std::string& fileName_;
    DeviceConfig& config_;
    std::string& error_;
    const std::map<std::pair<SharedString, SharedString>, int>* keyLines_ = nullptr;
    // Position in config_.stores by the store's path as the section names it.
    std::unordered_map<std::u16string, std::size_t> storeIndex_;
};

}  // namespace

bool parseDeviceProfile(const std::uint8_t* bytes, std::size_t size, const std::string& fileName,
                        DeviceConfig& config, std::string& error)
{
    ProfileReader reader(fileName, config, error);
    return reader.read(bytes, size);
}

bool loadDeviceProfile(const std::string& deviceDirectory, DeviceConfig& config, std::string& error)
{
    std::error_code status;
    if (deviceDirectory.empty() || !std::filesystem::is_directory(deviceDirectory, status)) {
        error = "the device directory \"" + deviceDirectory + "\" does not exist";
        return false;
    }
    // A host file: the device's path mapper must not see this path.
    const std::string fileName = (std::filesystem::path(deviceDirectory) / "device.ini").string();
    config.deviceDirectory = deviceDirectory;
    if (!std::filesystem::exists(fileName, status))
        return true;
    std::ifstream in(fileName, std::ios::binary);
    if (!in) {
        error = fileName + ": the file cannot be read";
        return false;
    }
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return parseDeviceProfile(bytes.data(), bytes.size(), fileName, config, error);
}

bool activateDeviceProfile(const std::string& deviceDirectory, std::string& error)
{
    DeviceConfig config;
    if (!loadDeviceProfile(deviceDirectory, config, error))
        return false;
    return activateDevice(config, &error);
}

bool activateDeviceFromEnvironment(std::string& error)
{
    const char* directory = std::getenv("DRUVEX_DEVICE");
    if (!directory || !*directory) {
        error = "no device: set DRUVEX_DEVICE to a device directory";
        return false;
    }
    return activateDeviceProfile(directory, error);
}

}  // namespace druvex
