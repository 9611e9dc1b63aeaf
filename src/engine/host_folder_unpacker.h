// HostFolderUnpacker: the engine's PackageFolderUnpacker. It unpacks the
// package of a custom action or a redistributable into one folder of a host
// with the HostNodeWriter, from the installer archive or from a local package
// file, whichever source comes first that works.
#pragma once

#include <memory>
#include <vector>

#include "controller/package_folder_unpacker.h"

namespace druvex {

class PayloadArchive;
class PayloadSink;

// An LZMA package file on `host`, decoded into the sink as it is read; false
// (with a log line) when the file cannot be opened or does not decode.
bool decodePackageFile(const std::shared_ptr<HalAccess>& host, const SharedString& path, PayloadSink& sink);

class HostFolderUnpacker final : public PackageFolderUnpacker {
public:
    // `archive` must outlive the unpacker.
    explicit HostFolderUnpacker(PayloadArchive& archive);

    // The package's top-level folder becomes `folder`, and a file at the top
    // level lands in it. A source that fails takes back what it wrote before
    // the next is tried; a download address is never fetched here.
    bool unpackToFolder(const InstallItem& item, const std::vector<PackageSource>& sources, HalAccess& host,
                        const SharedString& folder) override;

private:
    bool unpackFrom(const PackageSource& source, const std::shared_ptr<HalAccess>& host, const SharedString& folder);

    PayloadArchive& archive_;
};

}  // namespace druvex
