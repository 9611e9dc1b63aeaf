// TextCollector: the node writer that unpacks a one-file package (a licence
// text) into a text instead of the target: the file's bytes are gathered and
// decoded once, by their byte-order mark, when the file is closed.
#pragma once

#include <cstdint>
#include <vector>

#include "text/shared_string.h"
#include "payload/package_node_writer.h"

namespace druvex {

class TextCollector final : public PackageNodeWriter {
public:
    // `text` must outlive the collector; it changes only when a file with
    // bytes is closed.
    explicit TextCollector(SharedString& text) : text_(text) {}

    // Always true: folders are not made.
    bool createFolder(ContentFolder* node, const SharedString& path) override;
    // True until a file has been closed: only the first file becomes the text.
    bool createFile(ContentFile* node, const SharedString& path) override;
    // False after the close and past kMaxInMemoryExtraction bytes.
    bool writeData(std::uint32_t size, const std::uint8_t* bytes) override;
    // Decodes the bytes into the text: after FF FE as UTF-16LE, after FE FF as
    // UTF-16BE (both without the mark), anything else as UTF-8, a UTF-8 mark
    // becoming a leading U+FEFF. An empty file leaves the text as it was.
    bool finishFile() override;

private:
    SharedString& text_;
    std::vector<std::uint8_t> bytes_;
    bool closed_ = false;
};

}  // namespace druvex
