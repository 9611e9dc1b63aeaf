// InstalledProductRegistry: the installed logs of other products that scripts
// open by product name, each with a queue of actions the scripts ask of that
// product (such as removing one of its features). Handles are 1-based
// positions in the list of loaded products. One mutex guards every operation,
// since scripts may run on the installation thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "data/installed_log.h"
#include "text/mutex.h"
#include "text/shared_string.h"

namespace druvex {

class HalAccess;

// What the registry needs of the installer controller, which implements it.
class InstalledProductsController {
public:
    virtual ~InstalledProductsController() = default;
    // The host of the machine being installed, where products keep their logs.
    virtual std::shared_ptr<HalAccess> getHalOut() const = 0;
    // The data folder of the product `name` on `host`, with the merge-projects
    // folder between when `merge` is set.
    virtual SharedString getProductDataRoot(HalAccess& host, bool merge, const SharedString& name) const = 0;
};

// The action value scripts send to remove a feature of another product.
constexpr std::int32_t kInstalledProductActionRemove = 1;

class InstalledProductRegistry {
public:
    // `controller` must outlive the registry.
    explicit InstalledProductRegistry(InstalledProductsController& controller);
    InstalledProductRegistry(const InstalledProductRegistry&) = delete;
    InstalledProductRegistry& operator=(const InstalledProductRegistry&) = delete;

    // The handle of the product: the one it got before when the name (ignoring
    // case) was loaded already; else the product is appended with its
    // "InstalledLog.xml", or with no log when that file cannot be read, and
    // its handle is the new count. 0, with nothing added, when the file reads
    // but does not parse, and for a name that is no single folder name (empty,
    // ".", "..", or holding a separator).
    int load(const SharedString& productName);
    // Null for an unknown handle and for a product loaded without a log.
    std::shared_ptr<InstalledLog> getLog(int handle) const;
    // Empty for an unknown handle.
    SharedString getProductName(int handle) const;
    // Queues the action for the product; nothing for an unknown handle.
    void sendAction(int handle, std::int32_t action, const SharedString& featureName);
    // The handles of the products with queued actions, in list order; true
    // when there are any.
    bool listHandles(std::vector<int>& handles) const;

    struct FeatureIterator {
        int handle = 0;
        std::size_t position = 0;
    };
    // Walks a product's queue in order.
    FeatureIterator featureIterator(int handle) const;
    // The next queued pair; false after the last one (and for an unknown handle).
    bool nextFeature(FeatureIterator& iterator, std::int32_t& action, SharedString& featureName) const;

private:
    struct Product {
        std::shared_ptr<InstalledLog> log;
        SharedString name;
        std::vector<std::pair<std::int32_t, SharedString>> actions;
    };

    // Null for a handle outside the list; the lock must be held.
    const Product* productAt(int handle) const REQUIRES(mutex_);

    InstalledProductsController& controller_;
    mutable Mutex mutex_;
    std::vector<Product> products_ GUARDED_BY(mutex_);
    // Handle by name folded with toLowerText: a script may load many products,
    // and each load must not look through all loaded before it.
    std::unordered_map<std::u16string, int> handles_ GUARDED_BY(mutex_);
};

}  // namespace druvex
