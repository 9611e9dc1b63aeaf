// The two services the package unpacker asks of the layer above it: a writer
// that creates folders and files on the target (the engine's, or one that
// collects a text), and the resolution of a content node to its target path
// (the run's destination record). Defined here so that the payload library
// does not depend on the engine that implements them.
#pragma once

#include <cstdint>

#include "text/shared_string.h"

namespace druvex {

class ContentFile;
class ContentFolder;
class ContentItem;

class PackageNodeWriter {
public:
    virtual ~PackageNodeWriter();
    // The folder at `path` exists afterwards. `node` may be null.
    virtual bool createFolder(ContentFolder* node, const SharedString& path) = 0;
    // Creates (or replaces) the file that the following writeData calls fill.
    // `node` may be null.
    virtual bool createFile(ContentFile* node, const SharedString& path) = 0;
    // True when all `size` bytes were written (0 bytes for an empty file).
    virtual bool writeData(std::uint32_t size, const std::uint8_t* bytes) = 0;
    // Closes the file; true when it was closed whole.
    virtual bool finishFile() = 0;
};

// The unpacker's name resolver context.
class PackagePathResolver {
public:
    virtual ~PackagePathResolver();
    // The target path of a folder or file node of the package's tree: its
    // top-level folder (such as "<TARGETDIR>") expanded for the run and joined
    // with the rest of the node's path. Empty when that fails.
    virtual SharedString resolveQualifiedHostPath(const ContentItem& node) = 0;
};

}  // namespace druvex
