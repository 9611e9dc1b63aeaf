#include "controller/installed_product_registry.h"

#include <algorithm>

#include "core/app_log.h"
#include "core/xml_reader.h"
#include "fileutil/file_util.h"
#include "hal/hal_access.h"
#include "platform/path_components.h"
#include "text/char_class.h"
#include "text/mutex.h"

namespace druvex {
namespace {

// Scripts name the product, and the name becomes a folder of the path read:
// it must stay one folder below the data root.
bool isSingleFolderName(std::u16string_view name)
{
    if (name.empty() || name == u"." || name == u"..")
        return false;
    return std::none_of(name.begin(), name.end(), isPathSeparator);
}

}  // namespace

InstalledProductRegistry::InstalledProductRegistry(InstalledProductsController& controller) : controller_(controller)
{
}

int InstalledProductRegistry::load(const SharedString& productName)
{
    MutexLock lock(mutex_);
    if (!isSingleFolderName(productName.view())) {
        logPrintf(u"Installed product name refused: \"%s\"", productName);
        return 0;
    }
    // The device's file system ignores case, so both spellings name one log.
    std::u16string key = toLowerText(productName.view());
    if (const auto known = handles_.find(key); known != handles_.end())
        return known->second;
    std::shared_ptr<InstalledLog> log;
    const std::shared_ptr<HalAccess> host = controller_.getHalOut();
    if (host) {
        const SharedString path =
            joinPath(controller_.getProductDataRoot(*host, false, productName), SharedString(u"InstalledLog.xml"));
        std::vector<std::uint8_t> bytes;
        if (readFileToBuffer(*host, bytes, path)) {
            log = std::make_shared<InstalledLog>();
            XmlParseError error;
            if (!log->loadFromBuffer(bytes.data(), bytes.size(), &error)) {
                logPrintf(u"The installed log %s does not parse: at byte %I64u: %hs", path,
                          static_cast<std::uint64_t>(error.offset), error.rule);
                return 0;
            }
        }
    }
    products_.push_back(Product{std::move(log), productName, {}});
    const int handle = static_cast<int>(products_.size());
    handles_.emplace(std::move(key), handle);
    return handle;
}

const InstalledProductRegistry::Product* InstalledProductRegistry::productAt(int handle) const
{
    if (handle < 1 || static_cast<std::size_t>(handle) > products_.size())
        return nullptr;
    return &products_[static_cast<std::size_t>(handle - 1)];
}

std::shared_ptr<InstalledLog> InstalledProductRegistry::getLog(int handle) const
{
    MutexLock lock(mutex_);
    const Product* product = productAt(handle);
    return product ? product->log : nullptr;
}

SharedString InstalledProductRegistry::getProductName(int handle) const
{
    MutexLock lock(mutex_);
    const Product* product = productAt(handle);
    return product ? product->name : SharedString();
}

void InstalledProductRegistry::sendAction(int handle, std::int32_t action, const SharedString& featureName)
{
    MutexLock lock(mutex_);
    if (!productAt(handle))
        return;
    products_[static_cast<std::size_t>(handle - 1)].actions.emplace_back(action, featureName);
}

bool InstalledProductRegistry::listHandles(std::vector<int>& handles) const
{
    MutexLock lock(mutex_);
    handles.clear();
    for (std::size_t index = 0; index < products_.size(); ++index) {
        if (!products_[index].actions.empty())
            handles.push_back(static_cast<int>(index + 1));
    }
    return !handles.empty();
}

InstalledProductRegistry::FeatureIterator InstalledProductRegistry::featureIterator(int handle) const
{
    return FeatureIterator{handle, 0};
}

bool InstalledProductRegistry::nextFeature(FeatureIterator& iterator, std::int32_t& action,
                                           SharedString& featureName) const
{
    MutexLock lock(mutex_);
    const Product* product = productAt(iterator.handle);
    if (!product || iterator.position >= product->actions.size())
        return false;
    action = product->actions[iterator.position].first;
    featureName = product->actions[iterator.position].second;
    ++iterator.position;
    return true;
}

}  // namespace druvex
