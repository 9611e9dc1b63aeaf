// The device registry: keys under the four predefined roots, opened through
// handles and read and written with calls shaped like the device's registry
// functions, kept in memory and, when a device is configured, in the file
// "registry.reg" of the device directory, which is rewritten after every
// change. The device host's registry operations and the program's own reads
// share the one process-wide instance.
//
// Rules of the device kept here: names of keys and values ignore case and keep
// their spelling; deleting a key deletes its subkeys; a value keeps the exact
// bytes and type it was given. Sub-key paths separate components with '\'
// (empty components are passed over). Every call returns 0 or a device error
// code (win_error.h), never throws, and may come from any thread. A change
// after which the file would hold more than kMaxRegistryFileSize bytes is
// refused (kErrorNotEnoughMemory, as on a device whose registry is full) and
// undone.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "text/mutex.h"
#include "text/shared_string.h"
#include "platform/registry_tree.h"

namespace druvex {

// The device's registry errors beyond win_error.h.
constexpr std::uint32_t kErrorRegistryCorrupt = 1015;   // the registry file does not parse
constexpr std::uint32_t kErrorRegistryIoFailed = 1016;  // the registry file cannot be read or written
constexpr std::uint32_t kErrorKeyDeleted = 1018;        // the key of this handle was deleted

class DeviceRegistry {
public:
    // An empty registry in memory only.
    DeviceRegistry();
    ~DeviceRegistry();
    DeviceRegistry(const DeviceRegistry&) = delete;
    DeviceRegistry& operator=(const DeviceRegistry&) = delete;

    // Replaces the whole content with the registry file `hostPath` (UTF-8), which
    // is then rewritten after every change; a file that does not exist is an
    // empty registry, written at the first change. An empty path gives an empty
    // registry in memory only. Every handle opened before becomes invalid.
    // Returns 0, kErrorRegistryCorrupt (the file and line named in `reason` and
    // in the log) or kErrorRegistryIoFailed; on failure nothing changes.
    std::uint32_t configure(const std::string& hostPath, SharedString* reason = nullptr);
    // The registry file; empty when the registry lives in memory only.
    std::string filePath() const;

    // Opens an existing key below `parent` (a root or an open key; an empty
    // sub-key opens `parent` again). kErrorFileNotFound when it does not exist.
    std::uint32_t openKey(RegistryKey parent, std::u16string_view subKey, RegistryKey& key);
    // Opens the key, creating it and its missing parents; `created` tells
    // whether it was new. kErrorInvalidParameter for a name that cannot be
    // stored or a key deeper than kMaxRegistryKeyDepth below its root.
    std::uint32_t createKey(RegistryKey parent, std::u16string_view subKey, RegistryKey& key,
                            bool* created = nullptr);
    // Closing a root is allowed and does nothing; an unknown handle gives
    // kErrorInvalidHandle.
    std::uint32_t closeKey(RegistryKey key);
    // Deletes the sub-key with all its subkeys and values. Handles still open on
    // them then fail with kErrorKeyDeleted. An empty sub-key is refused
    // (kErrorInvalidParameter): a root is never deleted.
    std::uint32_t deleteKey(RegistryKey parent, std::u16string_view subKey);

    // The value `name` (empty: the key's default value). `type` and `size` may
    // be null. Without `data`, reports type and byte size; with `data`, `size`
    // gives its room: too small gives kErrorMoreData and the size needed.
    std::uint32_t queryValue(RegistryKey key, std::u16string_view name, std::uint32_t* type, void* data,
                             std::uint32_t* size);
    // Stores `size` bytes of `data` as the value with this type (any number).
    // More than kMaxRegistryValueSize bytes are refused (kErrorInvalidParameter).
    std::uint32_t setValue(RegistryKey key, std::u16string_view name, std::uint32_t type, const void* data,
                           std::uint32_t size);
    std::uint32_t deleteValue(RegistryKey key, std::u16string_view name);

    // Subkeys and values by index, sorted by name without regard to case (the
    // default value first); kErrorNoMoreItems past the last.
    std::uint32_t enumKey(RegistryKey key, std::uint32_t index, SharedString& name);
    std::uint32_t enumValue(RegistryKey key, std::uint32_t index, SharedString& name, std::uint32_t* type);
    // How many subkeys and values the key holds; either pointer may be null.
    std::uint32_t queryInfoKey(RegistryKey key, std::uint32_t* subKeys, std::uint32_t* values);

private:
    std::uint32_t resolve(RegistryKey key, std::shared_ptr<RegistryKeyNode>& node) const REQUIRES(mutex_);
    std::uint32_t newHandle(std::shared_ptr<RegistryKeyNode> node, RegistryKey& key) REQUIRES(mutex_);
    // Writes the whole tree to the file through a temporary file; 0 in memory.
    std::uint32_t persist() const REQUIRES(mutex_);

    mutable Mutex mutex_;
    RegistryTree tree_ GUARDED_BY(mutex_);
    std::unordered_map<RegistryKey, std::shared_ptr<RegistryKeyNode>> handles_ GUARDED_BY(mutex_);
    RegistryKey nextHandle_ GUARDED_BY(mutex_) = 0x1000;  // never reused in a process
    std::string file_ GUARDED_BY(mutex_);
};

// The process-wide registry: in memory until the device start-up configures it
// with the device directory's "registry.reg".
DeviceRegistry& deviceRegistry();

// Reads a string value: clears `text`; false for a null or empty sub-key, a
// key that cannot be opened or a value that cannot be queried. A value of type
// 1 or 2 is read into `text`, cut at its first zero, and the result is whether
// that read succeeded; a value of another type gives true and an empty text.
bool readRegistryString(DeviceRegistry& registry, RegistryKey root, const char16_t* subKey,
                        const char16_t* valueName, SharedString& text);
// The same on the process-wide registry.
bool readRegistryString(RegistryKey root, const char16_t* subKey, const char16_t* valueName, SharedString& text);

}  // namespace druvex
