#include "platform/device_config.h"

#include <algorithm>

#include "text/char_class.h"
#include "text/mutex.h"
#include "text/text_convert.h"
#include "platform/device_root.h"
#include "platform/path_components.h"
#include "platform/registry.h"
#include "platform/store_space.h"

namespace druvex {

namespace {

bool sameComponent(std::u16string_view a, std::u16string_view b)
{
    return equalsNoCase(a, b);
}

bool equalNoCase(std::u16string_view a, const SharedString& b)
{
    return sameComponent(a, b.view());
}

struct ActiveDevice {
    Mutex mutex;
    std::shared_ptr<const DeviceConfig> config GUARDED_BY(mutex) = std::make_shared<const DeviceConfig>();
    // One per store of the configuration, in its order; null where the
    // profile states no free space.
    std::vector<std::shared_ptr<StoreSpace>> spaces GUARDED_BY(mutex);
};

ActiveDevice& activeDevice()
{
    // Never destroyed: threads may read the device while static objects go.
    static ActiveDevice* device = new ActiveDevice;
    return *device;
}

// The free space of each store that states it, counted from the files its
// folder holds when first asked.
std::vector<std::shared_ptr<StoreSpace>> makeStoreSpaces(const DeviceConfig& config)
{
    const std::size_t count = config.stores.size();
    std::vector<std::shared_ptr<StoreSpace>> spaces(count);
    if (config.deviceDirectory.empty())
        return spaces;
    std::vector<std::string> roots(count);
    std::vector<std::size_t> byRoot;
    for (std::size_t i = 0; i < count; ++i) {
        if (DeviceRoot::instance().toHostPath(config.stores[i].path.view(), roots[i]) == 0 && !roots[i].empty())
            byRoot.push_back(i);
    }
    // In the order of their roots the stores below a folder stand together
    // from where the folder's prefix would go: a store finds those nested in
    // it without looking at every other store.
    const auto rootLess = [&roots](std::size_t a, std::size_t b) { return roots[a] < roots[b]; };
    std::sort(byRoot.begin(), byRoot.end(), rootLess);
    for (const std::size_t i : byRoot) {
        if (!config.stores[i].free)
            continue;
        const std::string prefix = roots[i].ends_with('/') ? roots[i] : roots[i] + '/';
        const auto below = [&roots](std::size_t index, const std::string& text) { return roots[index] < text; };
        auto next = std::lower_bound(byRoot.begin(), byRoot.end(), prefix, below);
        std::vector<std::string> nested;
        for (; next != byRoot.end() && roots[*next].starts_with(prefix); ++next) {
            // A root that ends in '/' is its own prefix.
            if (*next != i)
                nested.push_back(roots[*next]);
        }
        spaces[i] = std::make_shared<StoreSpace>(roots[i], *config.stores[i].free, std::move(nested));
    }
    return spaces;
}

}  // namespace

std::map<int, SharedString> DeviceConfig::defaultSpecialFolders()
{
    return {
        {0, u"\\Windows\\Desktop"},
        {2, u"\\Windows\\Start Menu\\Programs"},
        {5, u"\\My Documents"},
        {6, u"\\Windows\\Favorites"},
        {7, u"\\Windows\\StartUp"},
        {8, u"\\Windows\\Recent"},
        {11, u"\\Windows\\Start Menu"},
        {13, u"\\My Documents\\My Music"},
        {14, u"\\My Documents\\My Videos"},
        {16, u"\\Windows\\Desktop"},
        {20, u"\\Windows\\Fonts"},
        {21, u"\\Windows\\Templates"},
        {26, u"\\Application Data"},
        {36, u"\\Windows"},
        {38, u"\\Program Files"},
        {39, u"\\My Documents\\My Pictures"},
    };
}

const DeviceProgram* DeviceConfig::findProgram(std::u16string_view deviceName) const
{
    for (const DeviceProgram& program : programs) {
        if (equalNoCase(deviceName, program.deviceName))
            return &program;
    }
    return nullptr;
}

const DeviceStore* DeviceConfig::findStore(std::u16string_view devicePath) const
{
    const std::vector<std::u16string_view> path = splitPathComponents(devicePath);
    const DeviceStore* best = nullptr;
    std::size_t bestLength = 0;
    for (const DeviceStore& store : stores) {
        const std::vector<std::u16string_view> prefix = splitPathComponents(store.path.view());
        if (prefix.size() > path.size() || (best && prefix.size() < bestLength))
            continue;
        if (std::equal(prefix.begin(), prefix.end(), path.begin(), sameComponent)) {
            best = &store;
            bestLength = prefix.size();
        }
    }
    return best;
}

const SharedString* DeviceConfig::findVendorValue(std::u16string_view key) const
{
    for (const auto& [name, value] : vendor) {
        if (equalNoCase(key, name))
            return &value;
    }
    return nullptr;
}

std::shared_ptr<const DeviceConfig> activeDeviceConfig()
{
    ActiveDevice& device = activeDevice();
    MutexLock lock(device.mutex);
    return device.config;
}

bool isOnReadOnlyStore(const std::string& hostPath)
{
    const std::shared_ptr<const DeviceConfig> config = activeDeviceConfig();
    if (config->stores.empty())
        return false;
    SharedString devicePath;
    if (!DeviceRoot::instance().toDevicePath(hostPath, devicePath))
        return false;
    const DeviceStore* store = config->findStore(devicePath.view());
    return store && store->readOnly;
}

std::shared_ptr<StoreSpace> storeSpaceFor(const std::string& hostPath)
{
    std::shared_ptr<const DeviceConfig> config;
    std::vector<std::shared_ptr<StoreSpace>> spaces;
    {
        ActiveDevice& device = activeDevice();
        MutexLock lock(device.mutex);
        if (std::none_of(device.spaces.begin(), device.spaces.end(), [](const auto& space) { return space; }))
            return nullptr;
        config = device.config;
        spaces = device.spaces;
    }
    SharedString devicePath;
    if (!DeviceRoot::instance().toDevicePath(hostPath, devicePath))
        return nullptr;
    const DeviceStore* store = config->findStore(devicePath.view());
    if (!store)
        return nullptr;
    return spaces[static_cast<std::size_t>(store - config->stores.data())];
}

bool activateDevice(const DeviceConfig& config, std::string* error)
{
    auto copy = std::make_shared<const DeviceConfig>(config);
    {
        ActiveDevice& device = activeDevice();
        MutexLock lock(device.mutex);
        DeviceRoot::instance().configure(*copy);
        setAnsiCodePage(copy->ansiCodePage);
        device.spaces = makeStoreSpaces(*copy);
        device.config = std::move(copy);
    }
    // Outside the lock: a registry file that does not load is reported, and
    // the report may make the log, which asks the device for its folders.
    const std::string registryFile =
        config.deviceDirectory.empty() ? std::string() : config.deviceDirectory + "/registry.reg";
    SharedString reason;
    if (deviceRegistry().configure(registryFile, &reason) == 0)
        return true;
    if (error)
        *error = toUtf8(reason).c_str();
    return false;
}

void deactivateDevice()
{
    ActiveDevice& device = activeDevice();
    MutexLock lock(device.mutex);
    DeviceRoot::instance().reset();
    deviceRegistry().configure(std::string());
    setAnsiCodePage(0);
    device.spaces.clear();
    device.config = std::make_shared<const DeviceConfig>();
}

}  // namespace druvex
