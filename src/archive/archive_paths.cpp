#include "archive/archive_paths.h"

#include "unpack/unpack.h"

namespace quill {

ArchivePaths archivePaths(const std::string& listPath) {
    ArchivePaths paths{listPath, deriveResourcePath(listPath), {}};
    paths.dataDirectory = paths.resource;
    deriveOutputDirectory(paths.dataDirectory);
    return paths;
}

}  // namespace quill
