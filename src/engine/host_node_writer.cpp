#include "engine/host_node_writer.h"

#include "data/content_tree.h"
#include "fileutil/file_util.h"
#include "fileutil/operation_log.h"
#include "hal/hal_access.h"

namespace druvex {

namespace {

// Opens what the node marks for every user. What was made stands either way,
// so a failure is logged and the installation goes on.
void openToEveryone(HalAccess& host, const ContentItem* node, const SharedString& path)
{
    if (!node || (static_cast<std::uint32_t>(node->getFlags()) & kNodeFlagForEveryone) == 0)
        return;
    if (!host.setFileForEveryone(path))
        logHostFailure(host, u"Opening to every user", path);
}

}  // namespace

HostNodeWriter::HostNodeWriter(std::shared_ptr<HalAccess> host) : host_(std::move(host)) {}

bool HostNodeWriter::createFolder(ContentFolder* node, const SharedString& path)
{
    bool isFolder = false;
    const bool stands = host_->createDirectory(path) || (host_->exists(path, &isFolder) && isFolder) ||
                        createDirectoryRecursive(*host_, path);
    if (!stands)
        return false;
    openToEveryone(*host_, node, path);
    return true;
}

bool HostNodeWriter::createFile(ContentFile* node, const SharedString& path)
{
    // A file left open by a failed pass is closed before the next one starts.
    file_.close();
    if (!file_.openForWrite(host_, path))
        return false;
    path_ = path;
    timeStamp_ = node ? static_cast<std::int64_t>(node->getTimeValue()) : 0;
    openToEveryone(*host_, node, path);
    return true;
}

bool HostNodeWriter::writeData(std::uint32_t size, const std::uint8_t* bytes)
{
    if (!file_.isOpen())
        return false;
    if (size == 0)
        return true;
    if (file_.write(bytes, size) == static_cast<std::int64_t>(size))
        return true;
    logError((u"Cannot write to " + path_ + u" (" + describeHostError(host_->getLastError()) + u")").view());
    return false;
}

bool HostNodeWriter::finishFile()
{
    if (!file_.isOpen())
        return false;
    if (!file_.close())
        return false;
    // The file holds its bytes whatever its time: a time that cannot be set
    // is logged, and the installation goes on.
    if (timeStamp_ > 0) {
        const std::uint64_t lastWrite = static_cast<std::uint64_t>(timeStamp_);
        if (!host_->setFileTimes(path_, nullptr, nullptr, &lastWrite))
            logHostFailure(*host_, u"Setting the time of", path_);
    }
    return true;
}

}  // namespace druvex
