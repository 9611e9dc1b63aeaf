#include "platform/device_root.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <optional>
#include <pthread.h>
#include <utility>
#include <unordered_map>
#include <unordered_set>

#include "text/char_class.h"
#include "text/mutex.h"
#include "text/text_convert.h"
#include "platform/device_config.h"
#include "platform/folder_watch.h"
#include "platform/path_components.h"
#include "platform/wildcard.h"
#include "platform/win_error.h"

namespace druvex {

namespace {

// Beyond this many cached folders the cache starts again; one package rarely
// spans more, and the memory stays bounded whatever a script walks.
constexpr std::size_t kMaxCachedFolders = 1024;
// The longest component the host accepts, in UTF-8 bytes.
constexpr std::size_t kMaxComponentBytes = 255;

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
    for (std::size_t i = path.size(); i > 0 && !isPathSeparator(path[i - 1]); --i)
        lastStart = i - 1;
    std::size_t start = 0;
    while (start < path.size()) {
        std::size_t end = start;
        while (end < path.size() && !isPathSeparator(path[end]))
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
// stamp is the one recorded, or while the kernel's change notices keep them
// current (trusted).
struct FolderNames {
    FolderStamp stamp;
    bool trusted = false;
    std::unordered_map<std::u16string, std::string> byLowerName;
    // Lower-case forms that more than one name shares: only an exact look at
    // the folder tells which of them a spelling means.
    std::unordered_set<std::u16string> ambiguous;
};

// What the cache knows about one name in a folder.
enum class CachedName { kAbsent, kFound, kUnsure };

namespace {

// The names of a folder read from the disk, stamped with `stamp`; nothing
// when the folder cannot be read.
std::optional<FolderNames> readFolderNames(const std::string& hostFolder, const FolderStamp& stamp)
{
    DIR* dir = ::opendir(hostFolder.c_str());
    if (!dir)
        return std::nullopt;
    FolderNames names;
    names.stamp = stamp;
    std::u16string wide;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name(entry->d_name);
        if (name == "." || name == ".." || !fromUtf8Name(name, wide))
            continue;
        std::u16string lower = lowerCase(wide);
        auto [slot, inserted] = names.byLowerName.try_emplace(lower, name);
        if (inserted)
            continue;
        // Names that differ only in case: keep the smallest, whatever the directory order.
        names.ambiguous.insert(std::move(lower));
        if (std::string_view(slot->second) > name)
            slot->second = name;
    }
    ::closedir(dir);
    return names;
}

CachedName lookUp(const FolderNames& names, const std::u16string& lower, std::string& real)
{
    const auto found = names.byLowerName.find(lower);
    if (found == names.byLowerName.end())
        return CachedName::kAbsent;
    real = found->second;
    return names.ambiguous.count(lower) ? CachedName::kUnsure : CachedName::kFound;
}

// One name made or removed in a folder whose names are held; false when only
// a new look at the folder can tell what it holds now.
bool applyName(FolderNames& names, const std::string& name, bool present)
{
    std::u16string wide;
    if (!fromUtf8Name(name, wide))
        return false;
    std::u16string lower = lowerCase(wide);
    const auto entry = names.byLowerName.find(lower);
    if (!present && names.ambiguous.count(lower))
        return false;  // which of the names sharing the form remain is only known to the folder
    if (present && entry == names.byLowerName.end()) {
        names.byLowerName.emplace(std::move(lower), name);
    } else if (present && entry->second != name) {
        if (name < entry->second)
            entry->second = name;
        names.ambiguous.insert(std::move(lower));
    } else if (!present && entry != names.byLowerName.end() && entry->second == name) {
        names.byLowerName.erase(entry);
    }
    return true;
}

// The folder our last change went to, held open: many changes in a row land
// in one folder, and a descriptor of it spares a walk of the whole path for
// each. Closed when the last holder lets go.
struct NotedFolder {
    NotedFolder(std::string folder, int descriptor) : path(std::move(folder)), fd(descriptor) {}
    ~NotedFolder() { ::close(fd); }
    NotedFolder(const NotedFolder&) = delete;
    NotedFolder& operator=(const NotedFolder&) = delete;

    const std::string path;
    const int fd;
};

}  // namespace

// The mutex guards the fields below it and nothing else: it is never held
// while the disk is touched. Whoever needs the disk takes what it needs under
// the lock, looks at the disk without it and takes the lock again to publish;
// the folder stamps make a listing that another thread replaced meanwhile, or
// that was read before a change, harmless (the next look by path reloads).
//
// Where the kernel gives change notices, a folder read while it (and every
// folder above it up to the root) was watched, with no notice arriving during
// the read, is trusted: lookups in it touch no disk at all, and the notices,
// read by the watcher's thread as they come, keep it current, whoever
// changes the folder.
struct DeviceRoot::Impl {
    Mutex mutex;
    std::string deviceDirectory GUARDED_BY(mutex);
    std::string rootFolder GUARDED_BY(mutex);
    // Raised by every configuration: what was read for an earlier one is not published.
    std::uint64_t generation GUARDED_BY(mutex) = 0;
    std::unordered_map<std::string, FolderNames> folders GUARDED_BY(mutex);
    std::shared_ptr<const NotedFolder> noted GUARDED_BY(mutex);
    // The watched folders by watch and by path, with the count of notices at
    // the last one about the folder (or at the start of its watch); the count
    // rises with every notice applied.
    struct WatchedFolder {
        int watch = -1;
        std::uint64_t lastNotice = 0;
    };
    std::unordered_map<int, std::string> watchedPaths GUARDED_BY(mutex);
    std::unordered_map<std::string, WatchedFolder> watchOf GUARDED_BY(mutex);
    std::uint64_t noticeCount GUARDED_BY(mutex) = 0;

    FolderWatcher watcher{[this](const std::vector<FolderChange>& changes) { applyNotices(changes); }};

    bool isCached(const std::string& hostFolder);
    // The real name of `name` in `hostFolder` (whose status is given), from
    // the cache, or from the folder read anew when the cache is missing or
    // out of date.
    CachedName realName(const std::string& hostFolder, const struct stat& status, std::u16string_view name,
                        std::string& real);
    void noteChange(const std::string& hostPath, bool present);
    // Takes the folder and everything below it out of the cache; the noted
    // folder, when it lies there, is handed back for the caller to let go of
    // after unlocking.
    std::shared_ptr<const NotedFolder> forgetFolderTree(const std::string& hostFolder) REQUIRES(mutex);
    // The status of the folder that our last change went to.
    bool folderStatus(const std::string& folder, struct stat& status);
    // Watches `hostFolder` and every folder above it up to the root; true
    // when all of them are watched under these paths.
    bool watchUpToRoot(const std::string& hostFolder) EXCLUDES(mutex);
    // The notices of the watcher's thread (or of catchUp) applied to the cache.
    void applyNotices(const std::vector<FolderChange>& changes) EXCLUDES(mutex);
    // `hostPath` resolved from trusted listings alone; false when some folder
    // on the way is not trusted or a name there is ambiguous.
    bool resolveTrusted(const std::string& root, const std::vector<std::u16string_view>& components,
                        std::size_t resolved, std::string& folder, std::size_t& count);
};

bool DeviceRoot::Impl::isCached(const std::string& hostFolder)
{
    MutexLock lock(mutex);
    return folders.count(hostFolder) != 0;
}

CachedName DeviceRoot::Impl::realName(const std::string& hostFolder, const struct stat& status,
                                      std::u16string_view name, std::string& real)
{
    const std::u16string lower = lowerCase(name);
    const FolderStamp stamp = FolderStamp::of(status);
    {
        MutexLock lock(mutex);
        const auto found = folders.find(hostFolder);
        if (found != folders.end() && (found->second.trusted || found->second.stamp == stamp))
            return lookUp(found->second, lower, real);
    }
    const bool watched = watcher.watch(hostFolder) >= 0 && watchUpToRoot(hostFolder);
    std::uint64_t seen = 0;
    std::uint64_t seenNotices = 0;
    {
        MutexLock lock(mutex);
        seen = generation;
        seenNotices = noticeCount;
    }
    std::optional<FolderNames> listed = readFolderNames(hostFolder, stamp);
    MutexLock lock(mutex);
    const bool current = generation == seen;
    auto found = folders.find(hostFolder);
    if (!listed) {
        if (current && found != folders.end())
            folders.erase(found);
        return CachedName::kUnsure;
    }
    if (!current)
        return lookUp(*listed, lower, real);
    // Trusted only when no notice about the folder came while it was read
    // (one may have been applied before the listing was published), and it is
    // still watched under this path (not forgotten with a folder above it).
    const auto watch = watchOf.find(hostFolder);
    listed->trusted = watched && watch != watchOf.end() && watch->second.lastNotice <= seenNotices;
    // Another thread may have published the same state meanwhile; any other
    // entry is replaced, and should it have been the newer one, the next look
    // finds the stamps differ and reads the folder again.
    if (found != folders.end() && (found->second.trusted || found->second.stamp == stamp))
        return lookUp(found->second, lower, real);
    if (found == folders.end()) {
        if (folders.size() >= kMaxCachedFolders)
            folders.clear();
        found = folders.emplace(hostFolder, std::move(*listed)).first;
    } else {
        found->second = std::move(*listed);
    }
    return lookUp(found->second, lower, real);
}

bool DeviceRoot::Impl::watchUpToRoot(const std::string& hostFolder)
{
    std::string root;
    std::uint64_t seen = 0;
    {
        MutexLock lock(mutex);
        root = rootFolder;
        seen = generation;
    }
    if (root.empty() || (hostFolder != root && !hostFolder.starts_with(root + "/")))
        return false;
    std::vector<std::pair<std::string, int>> watches;
    for (std::size_t end = hostFolder.size();;) {
        const std::string folder = hostFolder.substr(0, end);
        const int watch = watcher.watch(folder);
        if (watch < 0)
            return false;
        watches.emplace_back(folder, watch);
        if (end <= root.size())
            break;
        end = hostFolder.rfind('/', end - 1);
    }
    MutexLock lock(mutex);
    if (generation != seen)
        return false;
    bool all = true;
    for (const auto& [folder, watch] : watches) {
        const auto [slot, added] = watchedPaths.try_emplace(watch, folder);
        if (!added && slot->second != folder) {
            all = false;  // one folder reached by two paths: its notices name only one
            continue;
        }
        const auto [known, fresh] = watchOf.try_emplace(folder, WatchedFolder{watch, 0});
        if (fresh || known->second.watch != watch)
            known->second = WatchedFolder{watch, ++noticeCount};
    }
    return all;
}

void DeviceRoot::Impl::applyNotices(const std::vector<FolderChange>& changes)
{
    std::vector<std::shared_ptr<const NotedFolder>> forgotten;
    MutexLock lock(mutex);
    // Forgets a folder, everything below it and their watches' paths.
    const auto forgetTree = [&](const std::string& path) REQUIRES(mutex) {
        forgotten.push_back(forgetFolderTree(path));
        const std::string prefix = path + "/";
        std::erase_if(watchOf, [&](const auto& item) REQUIRES(mutex) {
            if (item.first != path && !item.first.starts_with(prefix))
                return false;
            watchedPaths.erase(item.second.watch);
            return true;
        });
    };
    for (const FolderChange& change : changes) {
        if (change.kind == FolderChange::Kind::kOverflow) {
            for (auto& item : folders)
                item.second.trusted = false;
            watchedPaths.clear();
            watchOf.clear();
            continue;
        }
        const auto watched = watchedPaths.find(change.watch);
        if (watched == watchedPaths.end())
            continue;
        const std::string path = watched->second;
        watchOf[path].lastNotice = ++noticeCount;
        if (change.kind == FolderChange::Kind::kFolderGone) {
            forgetTree(path);
            continue;
        }
        const bool present = change.kind == FolderChange::Kind::kAdded;
        if (!present || change.isFolder)
            forgetTree(path + "/" + change.name);  // what was cached below that name is not there now
        const auto found = folders.find(path);
        if (found != folders.end() && !applyName(found->second, change.name, present))
            folders.erase(found);
    }
}

bool DeviceRoot::Impl::resolveTrusted(const std::string& root, const std::vector<std::u16string_view>& components,
                                      std::size_t resolved, std::string& folder, std::size_t& count)
{
    MutexLock lock(mutex);
    folder = root;
    std::string real;
    for (count = 0; count < resolved; ++count) {
        const auto found = folders.find(folder);
        if (found == folders.end() || !found->second.trusted)
            return false;
        switch (lookUp(found->second, lowerCase(components[count]), real)) {
        case CachedName::kAbsent:
            return true;
        case CachedName::kUnsure:
            return false;
        case CachedName::kFound:
            folder += '/';
            folder += real;
            break;
        }
    }
    return true;
}

std::shared_ptr<const NotedFolder> DeviceRoot::Impl::forgetFolderTree(const std::string& hostFolder)
{
    const std::string prefix = hostFolder + "/";
    std::shared_ptr<const NotedFolder> forgotten;
    if (noted && (noted->path == hostFolder || noted->path.starts_with(prefix)))
        forgotten = std::move(noted);
    std::erase_if(folders, [&](const auto& item) {
        return item.first == hostFolder || item.first.starts_with(prefix);
    });
    return forgotten;
}

void DeviceRoot::Impl::noteChange(const std::string& hostPath, bool present)
{
    const std::size_t slash = hostPath.rfind('/');
    if (slash == std::string::npos || slash + 1 >= hostPath.size())
        return;
    const std::string folder = slash == 0 ? std::string("/") : hostPath.substr(0, slash);
    const std::string name = hostPath.substr(slash + 1);
    std::shared_ptr<const NotedFolder> forgotten;
    std::uint64_t seen = 0;
    {
        MutexLock lock(mutex);
        if (!present)
            forgotten = forgetFolderTree(hostPath);
        const auto found = folders.find(folder);
        if (found == folders.end())
            return;
        if (found->second.trusted) {
            // The notice of the change will say the same; meanwhile the cache
            // already knows.
            if (!applyName(found->second, name, present))
                folders.erase(found);
            return;
        }
        seen = generation;
    }
    // The folder's new stamp is ours. A change by anyone else between the
    // last look at the folder and this one is taken for ours too; callers
    // note right after looking and changing, so the window is short.
    struct stat status {};
    const bool statted = folderStatus(folder, status);
    MutexLock lock(mutex);
    const auto found = folders.find(folder);
    if (generation != seen || found == folders.end())
        return;
    if (!statted || !applyName(found->second, name, present)) {
        folders.erase(found);
        return;
    }
    found->second.stamp = FolderStamp::of(status);
}

bool DeviceRoot::Impl::folderStatus(const std::string& folder, struct stat& status)
{
    // Should the path come to name another folder, the stamp taken through the
    // descriptor has the old inode, and the next look by path reloads.
    std::shared_ptr<const NotedFolder> held;
    {
        MutexLock lock(mutex);
        held = noted;
    }
    if (held && held->path == folder)
        return ::fstat(held->fd, &status) == 0;
    const int fd = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return ::stat(folder.c_str(), &status) == 0;
    auto opened = std::make_shared<const NotedFolder>(folder, fd);
    const bool statted = ::fstat(fd, &status) == 0;
    MutexLock lock(mutex);
    // The folder noted before goes when `held` does, after the lock.
    held = std::exchange(noted, std::move(opened));
    return statted;
}

DeviceRoot::DeviceRoot() : impl_(std::make_unique<Impl>())
{
    // A fork while the watcher's thread applies notices would leave the lock
    // held in the child for good.
    static DeviceRoot* forking = nullptr;
    forking = this;
    // Taken before the fork and let go after it, in the parent and the child:
    // a pairing across three functions that the checker cannot follow.
    ::pthread_atfork([]() NO_THREAD_SAFETY_ANALYSIS { forking->impl_->mutex.lock(); },
                     []() NO_THREAD_SAFETY_ANALYSIS { forking->impl_->mutex.unlock(); },
                     []() NO_THREAD_SAFETY_ANALYSIS { forking->impl_->mutex.unlock(); });
}

void DeviceRoot::catchUp()
{
    impl_->watcher.catchUp();
}

DeviceRoot::~DeviceRoot() = default;

DeviceRoot& DeviceRoot::instance()
{
    // Never destroyed: threads that outlive main (a worker still unwinding, a
    // crash handler) may map paths while static objects are torn down.
    static DeviceRoot* root = new DeviceRoot;
    return *root;
}

void DeviceRoot::configure(const std::string& deviceDirectory)
{
    std::string directory = absoluteFolder(deviceDirectory);
    std::string root = directory.empty() ? std::string() : absoluteFolder(directory + "/fs");
    std::shared_ptr<const NotedFolder> forgotten;
    MutexLock lock(impl_->mutex);
    impl_->deviceDirectory = std::move(directory);
    impl_->rootFolder = std::move(root);
    impl_->folders.clear();
    impl_->watchedPaths.clear();
    impl_->watchOf.clear();
    ++impl_->generation;
    forgotten = std::move(impl_->noted);
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
    MutexLock lock(impl_->mutex);
    return impl_->rootFolder.empty();
}

std::string DeviceRoot::deviceDirectory() const
{
    MutexLock lock(impl_->mutex);
    return impl_->deviceDirectory;
}

std::string DeviceRoot::rootFolder() const
{
    MutexLock lock(impl_->mutex);
    return impl_->rootFolder;
}

std::uint32_t DeviceRoot::toHostPath(std::u16string_view devicePath, std::string& hostPath, DevicePathKind kind)
{
    hostPath.clear();
    const std::string root = rootFolder();
    if (root.empty()) {
        const std::uint32_t error = identityHostPath(devicePath, hostPath);
        return error ? failWith(error) : error;
    }

    std::vector<std::u16string_view> components;
    if (const std::uint32_t error = splitDevicePath(devicePath, kind, components))
        return failWith(error);
    // The host path of all components spelled as given, and where each ends.
    std::string given = root;
    std::vector<std::size_t> ends;
    ends.reserve(components.size());
    for (const std::u16string_view component : components) {
        given += '/';
        const std::size_t start = given.size();
        if (!appendUtf8(given, component) || given.size() - start > kMaxComponentBytes)
            return failWith(kErrorInvalidName);
        ends.push_back(given.size());
    }
    const bool lastIsPattern =
        kind == DevicePathKind::kPattern && !components.empty() && hasWildcard(components.back());
    const std::size_t resolved = lastIsPattern ? components.size() - 1 : components.size();
    const auto prefixLength = [&](std::size_t count) { return count == 0 ? root.size() : ends[count - 1]; };
    // The resolved folder `folder` (holding `count` components) followed by the
    // remaining components as given.
    const auto finish = [&](std::string folder, std::size_t count) {
        folder.append(given, prefixLength(count), std::string::npos);
        hostPath = std::move(folder);
        return kErrorSuccess;
    };
    if (resolved == 0)
        return finish(root, 0);

    // Every folder on the way trusted: a name seen before costs no look at the
    // disk at all. A name not seen may have just been made by someone else,
    // so the notices queued until now are read first.
    const bool watching = impl_->watcher.active();
    if (watching) {
        std::string folder;
        std::size_t count = 0;
        if (impl_->resolveTrusted(root, components, resolved, folder, count) && count == resolved)
            return finish(std::move(folder), count);
        impl_->watcher.catchUp();
        if (impl_->resolveTrusted(root, components, resolved, folder, count))
            return finish(std::move(folder), count);
    }

    struct stat status {};
    std::string real;
    // When the last folder's names are cached already, one look at that
    // folder settles the name, which keeps many creations in one folder cheap.
    const std::string parent = given.substr(0, prefixLength(resolved - 1));
    if (!watching && impl_->isCached(parent) && ::stat(parent.c_str(), &status) == 0) {
        switch (impl_->realName(parent, status, components[resolved - 1], real)) {
        case CachedName::kAbsent:
            return finish(given, resolved);
        case CachedName::kFound:
            return finish(parent + "/" + real, resolved);
        case CachedName::kUnsure:
            break;
        }
    }

    // The exact spelling first; otherwise the deepest prefix that exists as
    // spelled, and from there one component at a time through the name cache.
    // With notices, from the root down, so that every folder on the way is
    // read and watched once and trusted from then on.
    std::size_t known = watching ? 0 : resolved;
    while (::stat(given.substr(0, prefixLength(known)).c_str(), &status) != 0) {
        if (known == 0)
            return finish(given, 0);  // not even the root: nothing to resolve against
        --known;
    }
    std::string result = given.substr(0, prefixLength(known));
    std::size_t index = known;
    for (; index < resolved; ++index) {
        real.clear();
        const CachedName cached = impl_->realName(result, status, components[index], real);
        if (cached == CachedName::kAbsent)
            break;
        if (cached == CachedName::kUnsure) {
            // Several names share the form, or the folder cannot be read: the
            // exact spelling when it exists, else the cache's choice.
            const std::size_t from = prefixLength(index);
            const std::string exact = result + given.substr(from, ends[index] - from);
            struct stat exactStatus {};
            if (::stat(exact.c_str(), &exactStatus) == 0) {
                result = exact;
                status = exactStatus;
                continue;
            }
            if (real.empty())
                break;
        }
        result += '/';
        result += real;
        if (index + 1 < resolved && ::stat(result.c_str(), &status) != 0) {
            ++index;
            break;
        }
    }
    return finish(std::move(result), index);
}

bool DeviceRoot::toDevicePath(std::string_view hostPath, SharedString& devicePath) const
{
    devicePath.clear();
    const std::string root = rootFolder();
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
    impl_->noteChange(hostPath, true);
}

void DeviceRoot::noteRemoved(const std::string& hostPath)
{
    impl_->noteChange(hostPath, false);
}

void DeviceRoot::noteRenamed(const std::string& fromHostPath, const std::string& toHostPath)
{
    impl_->noteChange(fromHostPath, false);
    impl_->noteChange(toHostPath, true);
}

}  // namespace druvex
