#include "engine/host_folder_unpacker.h"

#include "data/content_tree.h"
#include "data/install_item.h"
#include "data/package_sources.h"
#include "engine/host_node_writer.h"
#include "fileutil/file_util.h"
#include "fileutil/operation_log.h"
#include "hal/hal_access.h"
#include "hal/hal_file.h"
#include "payload/entry_decoder.h"
#include "payload/package_unpacker.h"
#include "payload/payload_archive.h"

namespace druvex {

namespace {

// Puts the package's top-level folder, whatever its name, at one folder.
class FolderResolver final : public PackagePathResolver {
public:
    explicit FolderResolver(const SharedString& folder) : folder_(folder) {}

    SharedString resolveQualifiedHostPath(const ContentItem& node) override
    {
        SharedString top;
        SharedString rest;
        node.splitTopFolder(top, rest);
        // A file at the top level has no folder of its own to stand for.
        if (rest.isEmpty() && node.isFile())
            rest = top;
        if (rest.isEmpty())
            return folder_;
        rest.replaceChar(u'/', u'\\');
        return joinPath(folder_, rest);
    }

private:
    SharedString folder_;
};

}  // namespace

bool decodePackageFile(const std::shared_ptr<HalAccess>& host, const SharedString& path, PayloadSink& sink)
{
    HalFile file;
    if (!file.openForRead(host, path)) {
        logError((u"Cannot open " + path).view());
        return false;
    }
    HostFileInput input(*host, file.handle());
    return decodeLzmaEntry(input, sink);
}

HostFolderUnpacker::HostFolderUnpacker(PayloadArchive& archive) : archive_(archive) {}

bool HostFolderUnpacker::unpackToFolder(const InstallItem& item, const std::vector<PackageSource>& sources,
                                        HalAccess& host, const SharedString& folder)
{
    // The writer and the package files want a shared host; the caller keeps
    // this one alive for the call.
    const std::shared_ptr<HalAccess> shared(std::shared_ptr<HalAccess>(), &host);
    for (const PackageSource& source : sources) {
        // An item of the installer data without a package of its own is
        // registered under its archive name all the same; such a source is
        // no package that failed, only none.
        if (source.sourceKind == kSourceArchiveEntry && archive_.findEntry(source.location) < 0)
            continue;
        if (unpackFrom(source, shared, folder))
            return true;
    }
    logError((u"The package of " + item.getNameRef() + u" could not be unpacked from any of its " +
              SharedString().format(u"%d", static_cast<int>(sources.size())) + u" sources")
                 .view());
    return false;
}

bool HostFolderUnpacker::unpackFrom(const PackageSource& source, const std::shared_ptr<HalAccess>& host,
                                    const SharedString& folder)
{
    FolderResolver resolver(folder);
    HostNodeWriter writer(host);
    PackageUnpacker unpacker(&resolver, writer, *host);
    bool unpacked = false;
    switch (source.sourceKind) {
    case kSourceArchiveEntry:
        unpacked = archive_.extract(source.location, unpacker);
        break;
    case kSourceLocalFile:
        unpacked = decodePackageFile(host, source.location, unpacker);
        break;
    default:
        logError((u"The package at " + source.location + u" would have to be downloaded first").view());
        return false;
    }
    if (unpacked && unpacker.finish())
        return true;
    std::uint64_t bytes = 0;
    unpacker.discardWritten(bytes);
    logError((u"The package " + source.location + u" could not be unpacked into " + folder).view());
    return false;
}

}  // namespace druvex
