// The prerequisite checks the installer carries: packages under
// "ExtraData/ReqInfo" whose folders each hold one check, a "Check.lua" script
// and a description of what it requires.
#include "controller/installer_controller.h"

#include <string_view>
#include <vector>

#include "core/app_log.h"
#include "platform/input_limits.h"
#include "data/content_tree.h"
#include "data/scriptable.h"
#include "fileutil/file_util.h"
#include "payload/package_unpacker.h"
#include "payload/payload_archive.h"
#include "text/char_class.h"

namespace druvex {
namespace {

constexpr std::u16string_view kCheckEntryPrefix = u"ExtraData/ReqInfo";

struct CollectedFile {
    SharedString folder;
    SharedString name;
    std::vector<std::uint8_t> bytes;
};

// Keeps each file of a package in memory with the folder that holds it: the
// path below the package's top-level folder, empty for a file directly in it.
class CheckFileCollector final : public PackageNodeWriter {
public:
    bool createFolder(ContentFolder*, const SharedString&) override { return true; }
    bool createFile(ContentFile* node, const SharedString& path) override
    {
        CollectedFile file;
        file.name = path;
        if (node && node->parent()) {
            SharedString top;
            node->parent()->splitTopFolder(top, file.folder);
        }
        files.push_back(std::move(file));
        return true;
    }
    bool writeData(std::uint32_t size, const std::uint8_t* bytes) override
    {
        if (files.empty() || total_ + size > kMaxInMemoryExtraction)
            return false;
        total_ += size;
        files.back().bytes.insert(files.back().bytes.end(), bytes, bytes + size);
        return true;
    }
    bool finishFile() override { return true; }

    std::vector<CollectedFile> files;

private:
    std::uint64_t total_ = 0;
};

bool isCheckEntry(std::u16string_view name)
{
    return name.starts_with(kCheckEntryPrefix) &&
           (name.size() == kCheckEntryPrefix.size() || name[kCheckEntryPrefix.size()] == u'/');
}

}  // namespace

void InstallerController::loadPrerequisiteChecks()
{
    for (std::uint32_t i = 0; i < payloadArchive_->entryCount(); ++i) {
        const SharedString entry = payloadArchive_->entryAt(static_cast<std::int32_t>(i)).name;
        if (!isCheckEntry(entry.view()))
            continue;
        CheckFileCollector collector;
        PackageUnpacker unpacker(nullptr, collector, *sourceHost_);
        unpacker.setPlainNames();
        if (!payloadArchive_->extract(entry, unpacker)) {
            logPrintf(u"The prerequisite checks of %s cannot be unpacked", entry);
            continue;
        }
        for (const CollectedFile& file : collector.files) {
            if (file.folder.isEmpty() || file.bytes.empty())
                continue;
            std::shared_ptr<PrerequisiteCheck>& check = prerequisiteChecks_[file.folder];
            if (!check) {
                check = std::make_shared<PrerequisiteCheck>();
                check->setName(file.folder);
            }
            if (equalsNoCase(file.name.view(), u"Check.lua")) {
                SharedString script;
                decodeUtf8ToString(file.bytes.data(), file.bytes.data() + file.bytes.size(), script);
                check->setScript(script);
                continue;
            }
            if (!check->parseXml(file.bytes.data(), file.bytes.size()))
                logPrintf(u"The description %s of the prerequisite check %s does not parse", file.name, file.folder);
        }
    }
}

}  // namespace druvex
