#include "payload/package_node_writer.h"

namespace druvex {

PackageNodeWriter::~PackageNodeWriter() = default;

PackagePathResolver::~PackagePathResolver() = default;

}  // namespace druvex
