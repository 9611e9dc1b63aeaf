#include "platform/registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

#include "text/diag.h"
#include "platform/input_limits.h"
#include "platform/registry_file.h"
#include "platform/win_error.h"
#include "text/mutex.h"

namespace druvex {

namespace {

constexpr RegistryKey kLastHandle = 0x7FFFFFFF;  // handles stay below the roots

// The components of a sub-key path; empty ones are passed over.
std::vector<std::u16string_view> splitKeyPath(std::u16string_view path)
{
    std::vector<std::u16string_view> components;
    while (!path.empty()) {
        const std::size_t split = path.find(u'\\');
        const std::u16string_view component = path.substr(0, split);
        if (!component.empty())
            components.push_back(component);
        if (split == std::u16string_view::npos)
            break;
        path.remove_prefix(split + 1);
    }
    return components;
}

// Every key of the subtree, without recursion on its depth.
void markDeleted(RegistryKeyNode& top)
{
    std::vector<RegistryKeyNode*> pending{&top};
    while (!pending.empty()) {
        RegistryKeyNode* node = pending.back();
        pending.pop_back();
        node->deleted = true;
        for (auto& [folded, subKey] : node->subKeys)
            pending.push_back(subKey.get());
    }
}

SharedString hostPathText(const std::string& hostPath)
{
    return fromUtf8(hostPath);
}

// One log line that names what failed, the file and the system's reason.
std::uint32_t fileFailure(const char* action, const std::string& hostPath, int errnoValue, SharedString* reason)
{
    SharedString line;
    line.format(u"Registry: cannot %hs %s: %hs", action, hostPathText(hostPath), std::strerror(errnoValue));
    logPrintf(u"%s", line);
    if (reason)
        *reason = line;
    return kErrorRegistryIoFailed;
}

bool writeAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The file's bytes, at most `limit` and one more: enough for the reader to
// name the line where a file too large passes the limit, without holding the
// rest. Nullopt with errno set when it cannot be read.
std::optional<std::string> readFileUpTo(const std::string& hostPath, std::uint64_t limit)
{
    const int fd = ::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::string text;
    // Room for the whole file at once: grown piece by piece, a large file
    // would be held up to three times while it moves.
    struct stat status {};
    if (::fstat(fd, &status) == 0 && status.st_size > 0)
        text.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(status.st_size, limit + 1)));
    char buffer[65536];
    while (text.size() <= limit) {
        const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof buffer, limit + 1 - text.size()));
        const ssize_t n = ::read(fd, buffer, wanted);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int saved = errno;
            ::close(fd);
            errno = saved;
            return std::nullopt;
        }
        if (n == 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return text;
}

}  // namespace

DeviceRegistry::DeviceRegistry() = default;
DeviceRegistry::~DeviceRegistry() = default;

std::uint32_t DeviceRegistry::configure(const std::string& hostPath, SharedString* reason)
{
    RegistryTree tree;
    if (!hostPath.empty()) {
        const std::optional<std::string> text = readFileUpTo(hostPath, kMaxRegistryFileSize);
        if (!text && errno != ENOENT)
            return fileFailure("read", hostPath, errno, reason);
        RegistryTextError error;
        if (text && !readRegistryText(*text, tree, error)) {
            SharedString line;
            line.format(u"Registry: %s:%d: %hs", hostPathText(hostPath), error.line, error.reason);
            logPrintf(u"%s", line);
            if (reason)
                *reason = line;
            return kErrorRegistryCorrupt;
        }
    }
    MutexLock lock(mutex_);
    std::swap(tree_.roots, tree.roots);
    handles_.clear();
    file_ = hostPath;
    return kErrorSuccess;
}

std::string DeviceRegistry::filePath() const
{
    MutexLock lock(mutex_);
    return file_;
}

std::uint32_t DeviceRegistry::resolve(RegistryKey key, std::shared_ptr<RegistryKeyNode>& node) const
{
    if (key >= kRegistryClassesRoot && key <= kRegistryUsers) {
        node = tree_.roots[key - kRegistryClassesRoot];
        return kErrorSuccess;
    }
    const auto found = handles_.find(key);
    if (found == handles_.end())
        return kErrorInvalidHandle;
    if (found->second->deleted)
        return kErrorKeyDeleted;
    node = found->second;
    return kErrorSuccess;
}

std::uint32_t DeviceRegistry::newHandle(std::shared_ptr<RegistryKeyNode> node, RegistryKey& key)
{
    if (nextHandle_ > kLastHandle)
        return kErrorNotEnoughMemory;
    key = nextHandle_++;
    handles_.emplace(key, std::move(node));
    return kErrorSuccess;
}

std::uint32_t DeviceRegistry::persist() const
{
    if (file_.empty())
        return kErrorSuccess;
    // The old file stays whole until the new one is complete: a failed write
    // leaves it as it was.
    const std::string text = writeRegistryText(tree_);
    if (text.size() > kMaxRegistryFileSize) {
        logPrintf(u"Registry: %s: the change is refused: the file would hold %I64u bytes, more than %I64u",
                  hostPathText(file_), static_cast<std::uint64_t>(text.size()), kMaxRegistryFileSize);
        return kErrorNotEnoughMemory;
    }
    const std::string temp = file_ + "." + std::to_string(::getpid()) + ".tmp";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return fileFailure("create", temp, errno, nullptr);
    const bool written = writeAll(fd, text);
    const int writeErrno = errno;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed) {
        const int saved = !written ? writeErrno : errno;
        ::unlink(temp.c_str());
        return fileFailure("write", temp, saved, nullptr);
    }
    if (::rename(temp.c_str(), file_.c_str()) != 0) {
        const int saved = errno;
        ::unlink(temp.c_str());
        return fileFailure("replace", file_, saved, nullptr);
    }
    return kErrorSuccess;
}

std::uint32_t DeviceRegistry::openKey(RegistryKey parent, std::u16string_view subKey, RegistryKey& key)
{
    MutexLock lock(mutex_);
    std::shared_ptr<RegistryKeyNode> target;
    if (const std::uint32_t error = resolve(parent, target))
        return error;
    for (const std::u16string_view component : splitKeyPath(subKey)) {
        const auto found = target->subKeys.find(foldRegistryName(component));
        if (found == target->subKeys.end())
            return kErrorFileNotFound;
        target = found->second;
    }
    return newHandle(std::move(target), key);
}

std::uint32_t DeviceRegistry::createKey(RegistryKey parent, std::u16string_view subKey, RegistryKey& key,
                                        bool* created)
{
    MutexLock lock(mutex_);
    std::shared_ptr<RegistryKeyNode> target;
    if (const std::uint32_t error = resolve(parent, target))
        return error;
    // The first key made hangs under `madeUnder`; dropping it undoes the call.
    RegistryKeyNode* madeUnder = nullptr;
    std::u16string madeName;
    for (const std::u16string_view component : splitKeyPath(subKey)) {
        std::u16string folded = foldRegistryName(component);
        auto& slot = target->subKeys[folded];
        if (!slot) {
            if (!isValidRegistryKeyName(component) || target->depth >= kMaxRegistryKeyDepth) {
                target->subKeys.erase(folded);
                if (madeUnder)
                    madeUnder->subKeys.erase(madeName);
                return kErrorInvalidParameter;
            }
            slot = std::make_shared<RegistryKeyNode>();
            slot->name.assign(component);
            slot->depth = target->depth + 1;
            if (!madeUnder) {
                madeUnder = target.get();
                madeName = std::move(folded);
            }
        }
        target = slot;
    }
    if (madeUnder) {
        if (const std::uint32_t error = persist()) {
            madeUnder->subKeys.erase(madeName);
            return error;
        }
    }
    if (created)
        *created = madeUnder != nullptr;
    return newHandle(std::move(target), key);
}

std::uint32_t DeviceRegistry::closeKey(RegistryKey key)
{
    MutexLock lock(mutex_);
    if (key >= kRegistryClassesRoot && key <= kRegistryUsers)
        return kErrorSuccess;
    return handles_.erase(key) == 1 ? kErrorSuccess : kErrorInvalidHandle;
}

std::uint32_t DeviceRegistry::deleteKey(RegistryKey parent, std::u16string_view subKey)
{
    MutexLock lock(mutex_);
    std::shared_ptr<RegistryKeyNode> node;
    if (const std::uint32_t error = resolve(parent, node))
        return error;
    const std::vector<std::u16string_view> components = splitKeyPath(subKey);
    if (components.empty())
        return kErrorInvalidParameter;
    for (std::size_t i = 0; i + 1 < components.size(); ++i) {
        const auto found = node->subKeys.find(foldRegistryName(components[i]));
        if (found == node->subKeys.end())
            return kErrorFileNotFound;
        node = found->second;
    }
    const std::u16string folded = foldRegistryName(components.back());
    const auto found = node->subKeys.find(folded);
    if (found == node->subKeys.end())
        return kErrorFileNotFound;
    std::shared_ptr<RegistryKeyNode> removed = std::move(found->second);
    node->subKeys.erase(found);
    if (const std::uint32_t error = persist()) {
        node->subKeys.emplace(folded, std::move(removed));
        return error;
    }
    markDeleted(*removed);
    return kErrorSuccess;
}

std::uint32_t DeviceRegistry::queryValue(RegistryKey key, std::u16string_view name, std::uint32_t* type,
                                         void* data, std::uint32_t* size)
{
    MutexLock lock(mutex_);
    std::shared_ptr<RegistryKeyNode> node;
    if (const std::uint32_t error = resolve(key, node))
        return error;
    if (data != nullptr && size == nullptr)
        return kErrorInvalidParameter;
    const auto found = node->values.find(foldRegistryName(name));
    if (found == node->values.end())
        return kErrorFileNotFound;
    const RegistryValue& value = found->second;
    if (type)
        *type = value.type;
    if (size == nullptr)
        return kErrorSuccess;
    const auto needed = static_cast<std::uint32_t>(value.data.size());
    const std::uint32_t room = *size;
    *size = needed;
    if (data == nullptr)
        return kErrorSuccess;
    if (room < needed)
        return kErrorMoreData;
    if (needed > 0)
        std::memcpy(data, value.data.data(), needed);
    return kErrorSuccess;
}

std::uint32_t DeviceRegistry::setValue(RegistryKey key, std::u16string_view name, std::uint32_t type,
                                       const void* data, std::uint32_t size)
{
    MutexLock lock(mutex_);
    std::shared_ptr<RegistryKeyNode> node;
    if (const std::uint32_t error = resolve(key, node))
        return error;
    if ((data == nullptr && size > 0) || !isValidRegistryValueName(name))
        return kErrorInvalidParameter;
    if (size > kMaxRegistryValueSize) {
        logPrintf(u"Registry: the value \"%s\" is refused: it holds %u bytes, more than %I64u",
                  SharedString(name), size, kMaxRegistryValueSize);
        return kErrorInvalidParameter;
    }
    const std::u16string folded = foldRegistryName(name);
    const auto found = node->values.find(folded);
    std::optional<RegistryValue> previous;
    if (found != node->values.end())
        previous = found->second;
    RegistryValue& value = node->values[folded];
    if (!previous)
        value.name.assign(name);  // an existing value keeps its spelling
    value.type = type;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    value.data.assign(bytes, bytes + size);
    if (const std::uint32_t error = persist()) {
        if (previous)
            value = std::move(*previous);
        else
            node->values.erase(folded);
        return error;
    }
    return kErrorSuccess;
}

std::uint32_t DeviceRegistry::deleteValue(RegistryKey key, std::u16string_view name)
{
    MutexLock lock(mutex_);
    std::shared_ptr<RegistryKeyNode> node;
    if (const std::uint32_t error = resolve(key, node))
        return error;
    const auto found = node->values.find(foldRegistryName(name));
    if (found == node->values.end())
        return kErrorFileNotFound;
    auto entry = node->values.extract(found);
    if (const std::uint32_t error = persist()) {
        node->values.insert(std::move(entry));
        return error;
    }
    return kErrorSuccess;
}

std::uint32_t DeviceRegistry::enumKey(RegistryKey key, std::uint32_t index, SharedString& name)
{
    MutexLock lock(mutex_);
    std::shared_ptr<RegistryKeyNode> node;
    if (const std::uint32_t error = resolve(key, node))
        return error;
    if (index >= node->subKeys.size())
        return kErrorNoMoreItems;
    name = SharedString(std::u16string_view(std::next(node->subKeys.begin(), index)->second->name));
    return kErrorSuccess;
}

std::uint32_t DeviceRegistry::enumValue(RegistryKey key, std::uint32_t index, SharedString& name,
                                        std::uint32_t* type)
{
    MutexLock lock(mutex_);
    std::shared_ptr<RegistryKeyNode> node;
    if (const std::uint32_t error = resolve(key, node))
        return error;
    if (index >= node->values.size())
        return kErrorNoMoreItems;
    const RegistryValue& value = std::next(node->values.begin(), index)->second;
    name = SharedString(std::u16string_view(value.name));
    if (type)
        *type = value.type;
    return kErrorSuccess;
}

std::uint32_t DeviceRegistry::queryInfoKey(RegistryKey key, std::uint32_t* subKeys, std::uint32_t* values)
{
    MutexLock lock(mutex_);
    std::shared_ptr<RegistryKeyNode> node;
    if (const std::uint32_t error = resolve(key, node))
        return error;
    if (subKeys)
        *subKeys = static_cast<std::uint32_t>(node->subKeys.size());
    if (values)
        *values = static_cast<std::uint32_t>(node->values.size());
    return kErrorSuccess;
}

DeviceRegistry& deviceRegistry()
{
    // Never destroyed: other threads may read the registry while the program exits.
    static DeviceRegistry* instance = new DeviceRegistry;
    return *instance;
}

}  // namespace druvex
