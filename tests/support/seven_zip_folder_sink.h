// A SevenZipSink that restores an archive into a folder on a host, as the
// backup restorer does: folders first, then every file written through the
// host. Header-only, for the payload tests and the benchmark (which link the
// payload library themselves).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "hal/hal_access.h"
#include "hal/hal_file.h"
#include "payload/seven_zip_reader.h"

namespace druvex::test {

class SevenZipFolderSink final : public SevenZipSink {
public:
    // `target`: a device folder that exists, without a trailing separator.
    SevenZipFolderSink(std::shared_ptr<HalAccess> host, std::u16string target)
        : host_(std::move(host)), target_(std::move(target))
    {
    }

    int beginFile(const SharedString& name, std::uint64_t) override
    {
        makeParents(name.view());
        return file_.openForWrite(host_, pathOf(name.view())) ? kSevenZipReceive : kSevenZipStop;
    }
    int write(const std::uint8_t* data, std::uint32_t count) override
    {
        return file_.write(data, count) == static_cast<std::int64_t>(count) ? 0 : 1;
    }
    int endFile(const SevenZipReaderEntry& entry, bool crcMatched) override
    {
        const bool closed = file_.close();
        if (!crcMatched)
            badFiles.push_back(std::u16string(entry.name.view()));
        return closed ? 0 : 1;
    }
    void createFolder(const SharedString& name, const SevenZipReaderEntry&) override
    {
        // A folder that stands already is what is wanted; one that cannot be
        // made shows in the test's checks of what was extracted.
        makeParents(name.view());
        (void)host_->createDirectory(pathOf(name.view()));
    }

    std::vector<std::u16string> badFiles;

private:
    SharedString pathOf(std::u16string_view name) const
    {
        std::u16string path = target_ + u"/";
        path += name;
        return SharedString(std::u16string_view(path));
    }
    void makeParents(std::u16string_view name)
    {
        for (std::size_t slash = name.find(u'/'); slash != std::u16string_view::npos;
             slash = name.find(u'/', slash + 1))
            (void)host_->createDirectory(pathOf(name.substr(0, slash)));
    }

    std::shared_ptr<HalAccess> host_;
    std::u16string target_;
    HalFile file_;
};

}  // namespace druvex::test
