#include "engine/install_plan.h"

#include <stdexcept>

#include "data/content_tree.h"
#include "data/feature.h"
#include "text/char_class.h"

namespace druvex {

namespace {

SharedString withForwardSlashes(const SharedString& path)
{
    SharedString text = path;
    text.replaceChar(u'\\', u'/');
    return text;
}

}  // namespace

std::u16string installPathKey(std::u16string_view path)
{
    std::u16string key(path);
    for (char16_t& unit : key)
        unit = unit == u'\\' ? u'/' : toLowerChar(unit);
    return key;
}

int InstallPlan::current()
{
    if (current_ < 0) {
        items_.emplace_back();
        keys_.emplace_back();
        current_ = static_cast<int>(items_.size()) - 1;
    }
    return current_;
}

void InstallPlan::addItem(std::shared_ptr<Feature> feature)
{
    for (std::size_t i = 0; i < items_.size(); ++i) {
        if (feature && items_[i].feature == feature) {
            current_ = static_cast<int>(i);
            return;
        }
    }
    items_.push_back(InstallPlanItem{std::move(feature), {}, {}, 0});
    keys_.emplace_back();
    current_ = static_cast<int>(items_.size()) - 1;
}

void InstallPlan::addFolder(const ContentFolder* node, const SharedString& path)
{
    SharedString folder = withForwardSlashes(path);
    if (folder.view().ends_with(u'/'))
        folder = SharedString(folder.view().substr(0, folder.view().size() - 1));
    const int index = current();
    if (!keys_[index].folders.insert(installPathKey(folder.view())).second)
        return;
    items_[index].folders.push_back({folder, node ? node->getFlags() : 0});
}

void InstallPlan::addFile(const SharedString& path, std::int32_t flags)
{
    const SharedString file = withForwardSlashes(path);
    std::u16string key = installPathKey(file.view());
    const int index = current();
    if (!keys_[index].files.insert(key).second)
        return;
    items_[index].files.push_back({file, flags});
    runFileKeys_.insert(std::move(key));
}

void InstallPlan::addToTotal(std::uint64_t bytes)
{
    items_[current()].totalBytes += bytes;
}

const InstallPlanItem& InstallPlan::getItem(int index) const
{
    if (index < 0 || index >= getItemCount())
        throw std::out_of_range("InstallPlan::getItem");
    return items_[static_cast<std::size_t>(index)];
}

bool InstallPlan::containsFile(const SharedString& path) const
{
    return runFileKeys_.contains(installPathKey(path.view()));
}

ItemObserver::~ItemObserver() = default;

bool ItemObserver::beforeFolder(ContentFolder*)
{
    return true;
}

bool ItemObserver::beforeFile(ContentFile*, const SharedString&)
{
    return true;
}

}  // namespace druvex
