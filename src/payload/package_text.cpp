#include "payload/package_text.h"

#include "data/install_item.h"
#include "fileutil/operation_log.h"
#include "hal/hal_access.h"
#include "payload/entry_decoder.h"
#include "payload/package_unpacker.h"
#include "payload/payload_archive.h"
#include "payload/text_collector.h"

namespace druvex {

int extractPayloadFolder(PayloadArchive& archive, HalAccess& host, const InstallItem& item, SharedString& text)
{
    const SharedString name = item.getName();
    TextCollector collector(text);
    PackageUnpacker unpacker(nullptr, collector, host);
    unpacker.setPlainNames();
    if (!archive.extract(name, unpacker)) {
        logError(u"Cannot unpack the text of " + std::u16string(name.view()));
        return 0;
    }
    return text.length();
}

int extractPackageBuffer(HalAccess& host, const SharedString& path, SharedString& text)
{
    bool unpacked = false;
    const FileHandle handle = host.openFileForRead(path);
    if (handle != kInvalidFileHandle) {
        std::uint64_t size = 0;
        if (host.getOpenFileSize(handle, size) && size > 0) {
            HostFileInput input(host, handle, size);
            TextCollector collector(text);
            PackageUnpacker unpacker(nullptr, collector, host);
            unpacker.setPlainNames();
            unpacked = decodeLzmaEntry(input, unpacker);
        }
        host.closeFileAfterReading(handle);
    }
    if (!unpacked) {
        logError(u"Cannot unpack the text of " + std::u16string(path.view()));
        return 0;
    }
    return text.length();
}

}  // namespace druvex
