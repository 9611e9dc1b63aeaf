// HostNodeWriter: the engine's PackageNodeWriter, which creates a package's
// folders and files on the target through its HalAccess, opens those whose
// flags ask for it to every user, and gives each finished file the time stamp
// its node carries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "hal/hal_file.h"
#include "payload/package_node_writer.h"

namespace druvex {

// Flags bit 4: the folder or file is opened to every user.
constexpr std::uint32_t kNodeFlagForEveryone = 16;
// The pieces of a file reach the host in blocks of this size (its last
// block smaller).
constexpr std::size_t kHostWriteBlockBytes = 64 * 1024;

class HostNodeWriter : public PackageNodeWriter {
public:
    explicit HostNodeWriter(std::shared_ptr<HalAccess> host);

    // True when the folder stands afterwards: made now (with its parents when
    // needed) or there already. A file of that name is not a folder.
    bool createFolder(ContentFolder* node, const SharedString& path) override;
    // Creates the file for writing, replacing one that exists.
    bool createFile(ContentFile* node, const SharedString& path) override;
    // True when the host wrote every byte given so far, or holds them for
    // the file's next block. A file's last byte (by its node's size) sends
    // the rest out, so a write the host refuses is told by the piece that
    // completes the block or the file, never first by the close.
    bool writeData(std::uint32_t size, const std::uint8_t* bytes) override;
    // Writes what is held, then closes the file; false when no file is open
    // or the write or the close fails. A positive time stamp on the node
    // becomes the file's last-write time.
    bool finishFile() override;

private:
    bool writeOut(const std::uint8_t* bytes, std::size_t size);
    bool flush();

    std::shared_ptr<HalAccess> host_;
    HalFile file_;
    SharedString path_;
    std::int64_t timeStamp_ = 0;
    // The file's size as its node gives it (0: unknown), and what came so far.
    std::uint64_t expected_ = 0;
    std::uint64_t received_ = 0;
    std::unique_ptr<std::uint8_t[]> block_;
    std::size_t held_ = 0;
};

}  // namespace druvex
