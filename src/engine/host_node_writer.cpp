#include "engine/host_node_writer.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "data/content_tree.h"
#include "fileutil/file_util.h"
#include "fileutil/operation_log.h"
#include "hal/hal_access.h"
#include "platform/win_error.h"

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
    // A file left open by a failed pass is closed before the next one
    // starts; what it still held is dropped with it.
    held_ = 0;
    (void)file_.close();
    if (!file_.openForWrite(host_, path))
        return false;
    path_ = path;
    timeStamp_ = node ? static_cast<std::int64_t>(node->getTimeValue()) : 0;
    expected_ = node ? node->getSize() : 0;
    received_ = 0;
    openToEveryone(*host_, node, path);
    return true;
}

bool HostNodeWriter::writeData(std::uint32_t size, const std::uint8_t* bytes)
{
    if (!file_.isOpen())
        return false;
    received_ += size;
    while (size > 0) {
        // A piece of a block or more (a local file's copy) needs no copy.
        if (held_ == 0 && size >= kHostWriteBlockBytes)
            return writeOut(bytes, size);
        if (!block_)
            block_ = std::make_unique<std::uint8_t[]>(kHostWriteBlockBytes);
        const std::size_t taken = std::min<std::size_t>(size, kHostWriteBlockBytes - held_);
        std::memcpy(block_.get() + held_, bytes, taken);
        held_ += taken;
        bytes += taken;
        size -= static_cast<std::uint32_t>(taken);
        if (held_ == kHostWriteBlockBytes && !flush())
            return false;
    }
    if (expected_ > 0 && received_ >= expected_)
        return flush();
    return true;
}

bool HostNodeWriter::writeOut(const std::uint8_t* bytes, std::size_t size)
{
    if (file_.write(bytes, size) == static_cast<std::int64_t>(size))
        return true;
    const std::uint32_t error = host_->getLastError();
    logError((u"Cannot write to " + path_ + SharedString().format(u" (error %u", error) +
              (error == kErrorDiskFull ? u": the store is full)" : u")"))
                 .view());
    return false;
}

bool HostNodeWriter::flush()
{
    const std::size_t size = std::exchange(held_, 0);
    return size == 0 || writeOut(block_.get(), size);
}

bool HostNodeWriter::finishFile()
{
    if (!file_.isOpen())
        return false;
    const bool written = flush();
    if (!file_.close() || !written)
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
