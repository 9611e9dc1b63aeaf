#include "engine/installed_file_finder.h"

#include "data/content_tree.h"
#include "data/installed_log.h"
#include "engine/install_plan.h"
#include "text/char_class.h"

namespace druvex {

namespace {

// Gathers the lower-cased names of the file nodes of a content tree. The
// names are compared as the log holds them: only the path asked for has its
// '\' turned into '/'.
class FileNameCollector final : public ContentVisitor {
public:
    explicit FileNameCollector(std::unordered_set<std::u16string>& names) : names_(names) {}

    void visitFile(ContentFile& file) override
    {
        std::u16string name(file.getName().view());
        for (char16_t& unit : name)
            unit = toLowerChar(unit);
        names_.insert(std::move(name));
    }
    void visitFolder(ContentFolder& folder) override
    {
        for (const std::shared_ptr<ContentItem>& child : folder.children())
            child->accept(*this);
    }

private:
    std::unordered_set<std::u16string>& names_;
};

}  // namespace

InstalledFileFinder::InstalledFileFinder(const InstalledLog* log)
{
    if (!log)
        return;
    FileNameCollector collector(names_);
    for (int i = 0; i < log->getFeatureCount(); ++i) {
        const FeaturePtr& feature = log->getFeature(i);
        if (feature && feature->contentFolder())
            feature->contentFolder()->accept(collector);
    }
}

bool InstalledFileFinder::contains(const SharedString& path) const
{
    return names_.contains(installPathKey(path.view()));
}

}  // namespace druvex
