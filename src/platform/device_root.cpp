#include "platform/device_root.h"

#include <dirent.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "core/text/char_class.h"
#include "core/text/text_convert.h"
#include "platform/device_config.h"
#include "platform/wildcard.h"
#include "platform/win_error.h"

namespace druvex {

namespace {

// Beyond this many cached folders the cache starts again; one package rarely
// spans more, and the memory stays bounded whatever a script walks.
constexpr std::size_t kMaxCachedFolders = 1024;
// The longest component the host accepts, in UTF-8 bytes.
constexpr std::size_t kMaxComponentBytes = 255;

bool isSeparator(char16_t unit)
{
    return unit == u'\\' || unit == u'/';
}

bool appendUtf8(std::string& out, std::u16string_view text)
{
    if (text.empty())
        return true;
    const int units = static_cast<int>(text.size());
    const int bytes = utf16ToUtf8(text.data(), units, nullptr, 0);
    if (bytes < 0)
        return false;
    const std::size_t start = out.size();
    out.resize(start + static_cast<std::size_t>(bytes));
    return utf16ToUtf8(text.data(), units, out.data() + start, bytes) == bytes;
}

bool fromUtf8Name(std::string_view name, std::u16string& out)
{
    out.clear();
    if (name.empty())
        return true;
    const int bytes = static_cast<int>(name.size());
    const int units = utf8ToUtf16(name.data(), bytes, nullptr, 0);
    if (units < 0)
        return false;
    out.resize(static_cast<std::size_t>(units));
    return utf8ToUtf16(name.data(), bytes, out.data(), units) == units &&
           out.find(u'\0') == std::u16string::npos;
}

std::u16string lowerCase(std::u16string_view text)
{
    std::u16string lower(text);
    for (char16_t& unit : lower)
        unit = toLowerChar(unit);
    return lower;
}

// Orders names without regard to case; names that differ only in case keep a
// fixed order by their code units.
bool nameLess(const SharedString& a, const SharedString& b)
{
    const int byCase = compareNoCase(a.c_str(), b.c_str());
    if (byCase != 0)
        return byCase < 0;
    return a.view() < b.view();
}

// A character the device's file system refuses in a name.
bool isInvalidNameChar(char16_t unit)
{
    return unit < 0x20 || unit == u':' || unit == u'"' || unit == u'<' || unit == u'>' || unit == u'|';
}

bool hasUnpairedSurrogate(std::u16string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF)
                return true;
            ++i;
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            return true;
        }
    }
    return false;
}

std::uint32_t checkComponent(std::u16string_view component, bool wildcardsAllowed)
{
    for (char16_t unit : component) {
        if (isInvalidNameChar(unit))
            return kErrorInvalidName;
        if ((unit == u'*' || unit == u'?') && !wildcardsAllowed)
            return kErrorInvalidName;
    }
    return hasUnpairedSurrogate(component) ? kErrorInvalidName : kErrorSuccess;
}

// Splits a device path into the components below the root: empty components
// and "." are dropped, ".." takes one back and may not leave the root.
std::uint32_t splitDevicePath(std::u16string_view path, DevicePathKind kind,
                              std::vector<std::u16string_view>& components)
{
    components.clear();
    if (path.empty())
        return kErrorPathNotFound;
    std::size_t lastStart = path.size();
    for (std::size_t i = path.size(); i > 0 && !isSeparator(path[i - 1]); --i)
        lastStart = i - 1;
    std::size_t start = 0;
    while (start < path.size()) {
        std::size_t end = start;
        while (end < path.size() && !isSeparator(path[end]))
            ++end;
        const std::u16string_view component = path.substr(start, end - start);
        const bool last = start == lastStart;
        start = end + 1;
        if (component.empty() || component == u".")
            continue;
        if (component == u"..") {
            if (components.empty())
                return kErrorPathNotFound;
            components.pop_back();
            continue;
        }
        if (const std::uint32_t error = checkComponent(component, last && kind == DevicePathKind::kPattern))
            return error;
        components.push_back(component);
    }
    return kErrorSuccess;
}

// The identity mapping: separators become '/', runs of them collapse, and a
// trailing one goes (except for the root itself).
std::uint32_t identityHostPath(std::u16string_view path, std::string& hostPath)
{
    hostPath.clear();
    if (path.empty())
        return kErrorPathNotFound;
    if (path.find(u'\0') != std::u16string_view::npos || hasUnpairedSurrogate(path))
        return kErrorInvalidName;
    std::string converted;
    if (!appendUtf8(converted, path))
        return kErrorInvalidName;
    hostPath.reserve(converted.size());
    for (char ch : converted) {
        if (ch == '\\')
            ch = '/';
        if (ch == '/' && !hostPath.empty() && hostPath.back() == '/')
            continue;
        hostPath.push_back(ch);
    }
    if (hostPath.size() > 1 && hostPath.back() == '/')
        hostPath.pop_back();
    return kErrorSuccess;
}

bool sameTime(const struct timespec& a, const struct timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// The folder as the cache last saw it: a folder changed by anyone, or
// replaced by another of the same name (which may reuse the inode number),
// no longer matches.
struct FolderStamp {
    ino_t inode = 0;
    struct timespec modified {};
    struct timespec changed {};

    static FolderStamp of(const struct stat& status) { return {status.st_ino, status.st_mtim, status.st_ctim}; }
    bool operator==(const FolderStamp& other) const
    {
        return inode == other.inode && sameTime(modified, other.modified) && sameTime(changed, other.changed);
    }
};

std::string absoluteFolder(const std::string& folder)
{
    if (folder.empty())
        return folder;
    if (char* real = ::realpath(folder.c_str(), nullptr)) {
        std::string result(real);
        std::free(real);
        return result;
    }
    std::string result = folder;
    if (result.front() != '/') {
        char cwd[PATH_MAX];
        if (::getcwd(cwd, sizeof cwd))
            result = std::string(cwd) + "/" + result;
    }
    while (result.size() > 1 && result.back() == '/')
        result.pop_back();
    return result;
}

std::uint32_t failWith(std::uint32_t error)
{
    setLastError(error);
    return error;
}

}  // namespace

// One folder's names by their lower-case form, valid while the folder's
// stamp is the one recorded.
struct FolderNames {
    FolderStamp stamp;
    std::unordered_map<std::u16string, std::string> byLowerName;
};

struct DeviceRoot::Impl {
    std::mutex mutex;
    std::string deviceDirectory;
    std::string rootFolder;
    std::unordered_map<std::string, FolderNames> folders;

    // The names of a folder whose status is `status`, loaded when missing or
    // out of date; null when the folder cannot be read.
    FolderNames* namesOf(const std::string& hostFolder, const struct stat& status);
    // The real name of `name` in `hostFolder` (whose status is given); empty
    // when no entry matches.
    std::string realName(const std::string& hostFolder, const struct stat& status, std::u16string_view name);
    void noteChange(const std::string& hostPath, bool present);
    void forgetFolderTree(const std::string& hostFolder);
};

FolderNames* DeviceRoot::Impl::namesOf(const std::string& hostFolder, const struct stat& status)
{
    auto found = folders.find(hostFolder);
    if (found != folders.end() && found->second.stamp == FolderStamp::of(status))
        return &found->second;
    DIR* dir = ::opendir(hostFolder.c_str());
    if (!dir) {
        if (found != folders.end())
            folders.erase(found);
        return nullptr;
    }
    if (found == folders.end()) {
        if (folders.size() >= kMaxCachedFolders)
            folders.clear();
        found = folders.emplace(hostFolder, FolderNames{}).first;
    }
    FolderNames& names = found->second;
    names.stamp = FolderStamp::of(status);
    names.byLowerName.clear();
    std::u16string wide;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name(entry->d_name);
        if (name == "." || name == ".." || !fromUtf8Name(name, wide))
            continue;
        auto [slot, inserted] = names.byLowerName.try_emplace(lowerCase(wide), name);
        // Names that differ only in case: keep the smallest, whatever the directory order.
        if (!inserted && std::string_view(slot->second) > name)
            slot->second = name;
    }
    ::closedir(dir);
    return &names;
}

std::string DeviceRoot::Impl::realName(const std::string& hostFolder, const struct stat& status,
                                       std::u16string_view name)
{
    FolderNames* names = namesOf(hostFolder, status);
    if (!names)
        return {};
    const auto found = names->byLowerName.find(lowerCase(name));
    return found == names->byLowerName.end() ? std::string() : found->second;
}

void DeviceRoot::Impl::forgetFolderTree(const std::string& hostFolder)
{
    const std::string prefix = hostFolder + "/";
    std::erase_if(folders, [&](const auto& item) {
        return item.first == hostFolder || item.first.starts_with(prefix);
    });
}

void DeviceRoot::Impl::noteChange(const std::string& hostPath, bool present)
{
    const std::size_t slash = hostPath.rfind('/');
    if (slash == std::string::npos || slash + 1 >= hostPath.size())
        return;
    const std::string folder = slash == 0 ? std::string("/") : hostPath.substr(0, slash);
    const std::string name = hostPath.substr(slash + 1);
    if (!present)
        forgetFolderTree(hostPath);
    const auto found = folders.find(folder);
    if (found == folders.end())
        return;
    struct stat status {};
    std::u16string wide;
    if (::stat(folder.c_str(), &status) != 0 || !fromUtf8Name(name, wide)) {
        folders.erase(found);
        return;
    }
    FolderNames& names = found->second;
    names.stamp = FolderStamp::of(status);
    const std::u16string lower = lowerCase(wide);
    if (present) {
        names.byLowerName.try_emplace(lower, name);
        return;
    }
    const auto entry = names.byLowerName.find(lower);
    if (entry != names.byLowerName.end() && entry->second == name)
        names.byLowerName.erase(entry);
}

DeviceRoot::DeviceRoot() : impl_(new Impl) {}

DeviceRoot::~DeviceRoot() = default;

DeviceRoot& DeviceRoot::instance()
{
    // Never destroyed: threads may still map paths while static objects go.
    static DeviceRoot* root = new DeviceRoot;
    return *root;
}

void DeviceRoot::configure(const std::string& deviceDirectory)
{
    std::string directory = absoluteFolder(deviceDirectory);
    std::string root = directory.empty() ? std::string() : absoluteFolder(directory + "/fs");
    std::lock_guard lock(impl_->mutex);
    impl_->deviceDirectory = std::move(directory);
    impl_->rootFolder = std::move(root);
    impl_->folders.clear();
}

void DeviceRoot::configure(const DeviceConfig& config)
{
    configure(config.deviceDirectory);
}

void DeviceRoot::reset()
{
    configure(std::string());
}

bool DeviceRoot::isIdentity() const
{
    std::lock_guard lock(impl_->mutex);
    return impl_->rootFolder.empty();
}

std::string DeviceRoot::deviceDirectory() const
{
    std::lock_guard lock(impl_->mutex);
    return impl_->deviceDirectory;
}

std::string DeviceRoot::rootFolder() const
{
    std::lock_guard lock(impl_->mutex);
    return impl_->rootFolder;
}

std::uint32_t DeviceRoot::toHostPath(std::u16string_view devicePath, std::string& hostPath, DevicePathKind kind)
{
    hostPath.clear();
    std::unique_lock lock(impl_->mutex);
    if (impl_->rootFolder.empty()) {
        lock.unlock();
        const std::uint32_t error = identityHostPath(devicePath, hostPath);
        return error ? failWith(error) : error;
    }

    std::vector<std::u16string_view> components;
    if (const std::uint32_t error = splitDevicePath(devicePath, kind, components))
        return failWith(error);
    // The host path of the first n components, spelled as given.
    std::vector<std::string> names(components.size());
    for (std::size_t i = 0; i < components.size(); ++i) {
        if (!appendUtf8(names[i], components[i]) || names[i].size() > kMaxComponentBytes)
            return failWith(kErrorInvalidName);
    }
    const bool lastIsPattern =
        kind == DevicePathKind::kPattern && !components.empty() && hasWildcard(components.back());
    const std::size_t resolved = lastIsPattern ? components.size() - 1 : components.size();

    hostPath = impl_->rootFolder;
    std::vector<std::size_t> ends;  // where each component ends in hostPath
    for (const std::string& name : names) {
        hostPath += '/';
        hostPath += name;
        ends.push_back(hostPath.size());
    }

    // The exact spelling first; otherwise the deepest prefix that exists as
    // spelled, and from there one component at a time through the name cache.
    struct stat status {};
    std::size_t known = resolved;
    while (true) {
        const std::size_t length = known == 0 ? impl_->rootFolder.size() : ends[known - 1];
        if (::stat(hostPath.substr(0, length).c_str(), &status) == 0)
            break;
        if (known == 0)
            return kErrorSuccess;  // not even the root: nothing to resolve against
        --known;
    }
    if (known == resolved)
        return kErrorSuccess;

    std::string result = hostPath.substr(0, known == 0 ? impl_->rootFolder.size() : ends[known - 1]);
    std::size_t index = known;
    for (; index < resolved; ++index) {
        const std::string real = impl_->realName(result, status, components[index]);
        if (real.empty())
            break;
        result += '/';
        result += real;
        if (index + 1 < resolved && ::stat(result.c_str(), &status) != 0) {
            ++index;
            break;
        }
    }
    for (; index < names.size(); ++index) {
        result += '/';
        result += names[index];
    }
    hostPath = std::move(result);
    return kErrorSuccess;
}

bool DeviceRoot::toDevicePath(std::string_view hostPath, SharedString& devicePath) const
{
    devicePath.clear();
    std::string root;
    {
        std::lock_guard lock(impl_->mutex);
        root = impl_->rootFolder;
    }
    std::u16string wide;
    if (root.empty()) {
        if (!fromUtf8Name(hostPath, wide))
            return false;
        devicePath = SharedString(std::u16string_view(wide));
        return true;
    }
    if (!hostPath.starts_with(root))
        return false;
    std::string_view rest = hostPath.substr(root.size());
    if (!rest.empty() && rest.front() != '/')
        return false;
    std::vector<std::string_view> components;
    while (!rest.empty()) {
        const std::size_t slash = rest.find('/');
        const std::string_view component = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (component.empty() || component == ".")
            continue;
        if (component == "..") {
            if (components.empty())
                return false;
            components.pop_back();
            continue;
        }
        components.push_back(component);
    }
    std::u16string result;
    for (const std::string_view component : components) {
        if (!fromUtf8Name(component, wide))
            return false;
        result += u'\\';
        result += wide;
    }
    devicePath = result.empty() ? SharedString(u"\\") : SharedString(std::u16string_view(result));
    return true;
}

std::uint32_t DeviceRoot::listFolder(const std::string& hostFolder, std::vector<DeviceFolderEntry>& entries,
                                     std::u16string_view pattern)
{
    entries.clear();
    DIR* dir = ::opendir(hostFolder.empty() ? "." : hostFolder.c_str());
    if (!dir) {
        const int error = errno;
        return failWith(error == EACCES || error == EPERM ? kErrorAccessDenied : kErrorPathNotFound);
    }
    std::u16string wide;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name(entry->d_name);
        if (name == "." || name == ".." || !fromUtf8Name(name, wide))
            continue;
        if (!pattern.empty() && !matchesWildcard(wide, pattern))
            continue;
        DeviceFolderEntry item;
        item.hostName = name;
        item.name = SharedString(std::u16string_view(wide));
        item.isFolder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
            struct stat status {};
            const std::string full = (hostFolder.empty() ? std::string(".") : hostFolder) + "/" + item.hostName;
            item.isFolder = ::stat(full.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
        }
        entries.push_back(std::move(item));
    }
    ::closedir(dir);
    std::sort(entries.begin(), entries.end(),
              [](const DeviceFolderEntry& a, const DeviceFolderEntry& b) { return nameLess(a.name, b.name); });
    return kErrorSuccess;
}

std::uint32_t DeviceRoot::findEntries(std::u16string_view devicePattern, std::string& hostFolder,
                                      std::vector<DeviceFolderEntry>& entries)
{
    entries.clear();
    hostFolder.clear();
    std::string hostPath;
    if (const std::uint32_t error = toHostPath(devicePattern, hostPath, DevicePathKind::kPattern))
        return error;
    const std::size_t slash = hostPath.rfind('/');
    if (slash == std::string::npos) {
        hostFolder.clear();
    } else {
        hostFolder = slash == 0 ? std::string("/") : hostPath.substr(0, slash);
    }
    const std::string last = slash == std::string::npos ? hostPath : hostPath.substr(slash + 1);
    if (last.empty() || hostPath == rootFolder())
        return failWith(kErrorFileNotFound);  // the root itself is not an entry of a folder
    std::u16string pattern;
    if (!fromUtf8Name(last, pattern))
        return failWith(kErrorInvalidName);
    if (hasWildcard(pattern)) {
        if (const std::uint32_t error = listFolder(hostFolder, entries, pattern))
            return error;
        return entries.empty() ? failWith(kErrorFileNotFound) : kErrorSuccess;
    }
    struct stat status {};
    if (::stat(hostPath.c_str(), &status) != 0) {
        const std::string folder = hostFolder.empty() ? std::string(".") : hostFolder;
        struct stat folderStatus {};
        return failWith(::stat(folder.c_str(), &folderStatus) == 0 ? kErrorFileNotFound : kErrorPathNotFound);
    }
    DeviceFolderEntry item;
    item.hostName = last;
    item.name = SharedString(std::u16string_view(pattern));
    item.isFolder = S_ISDIR(status.st_mode);
    entries.push_back(std::move(item));
    return kErrorSuccess;
}

void DeviceRoot::noteCreated(const std::string& hostPath)
{
    std::lock_guard lock(impl_->mutex);
    impl_->noteChange(hostPath, true);
}

void DeviceRoot::noteRemoved(const std::string& hostPath)
{
    std::lock_guard lock(impl_->mutex);
    impl_->noteChange(hostPath, false);
}

void DeviceRoot::noteRenamed(const std::string& fromHostPath, const std::string& toHostPath)
{
    std::lock_guard lock(impl_->mutex);
    impl_->noteChange(fromHostPath, false);
    impl_->noteChange(toHostPath, true);
}

}  // namespace druvex
