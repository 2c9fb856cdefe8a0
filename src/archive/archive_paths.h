#pragma once

#include <string>

namespace quill {

// The three places an archive lives, all following from the list's path by
// the unpacker's rules: the resource beside it, and the data directory
// beside the resource (ending in a separator).
struct ArchivePaths {
    std::string list;
    std::string resource;
    std::string dataDirectory;

    // A list path without a dot names its own resource.
    bool listIsResource() const { return list == resource; }
};

ArchivePaths archivePaths(const std::string& listPath);

}  // namespace quill
