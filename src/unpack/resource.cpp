// Loading the resource file whole, and checking entries against it.
#include <cstdint>

#include "unpack/unpack.h"

namespace quill {

LoadResult loadResourceImage(Host& host, const std::string& resourcePath, ResourceImage& image) {
    // The image is a copy of its own, not a mapping of the file: whatever
    // happens to the file once it is read must not reach the output. A size
    // beyond 32 bits cannot be described by the list.
    WholeFile file;
    switch (loadWholeFile(host, resourcePath, NameCase::ignoreWhenMissing, INT32_MAX, file)) {
        case LoadStatus::loaded: break;
        case LoadStatus::cannotOpen:
        case LoadStatus::shortRead: return LoadResult::openFailed;
        case LoadStatus::empty:
        case LoadStatus::tooLarge:
        case LoadStatus::noMemory: return LoadResult::allocationFailed;
    }
    image.memory = std::move(file.memory);
    image.size = static_cast<std::int32_t>(file.size);
    return LoadResult::ok;
}

bool checkEntry(const ListEntry& entry, std::int32_t imageSize) {
    return entry.offset >= 0 && entry.length >= 1 && entry.offset < imageSize &&
           entry.length <= imageSize - entry.offset;
}

}  // namespace quill
