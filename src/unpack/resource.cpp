// Loading the resource file whole, and checking entries against it.
#include <cstdint>

#include "unpack/unpack.h"

namespace quill {

MeasureResult openAndMeasure(Host& host, const std::string& path, std::unique_ptr<ReadFile>& file,
                             std::int64_t& size) {
    file = host.openForReading(path, NameCase::ignoreWhenMissing);
    if (!file) return MeasureResult::cannotOpen;
    if (!file->measure(size) || size < 0) {
        file.reset();
        return MeasureResult::cannotOpen;
    }
    return MeasureResult::opened;
}

LoadResult loadResourceImage(Host& host, const std::string& resourcePath, ResourceImage& image) {
    std::unique_ptr<ReadFile> file;
    std::int64_t size = 0;
    if (openAndMeasure(host, resourcePath, file, size) != MeasureResult::opened) return LoadResult::openFailed;
    // An empty file gives no block, and a size beyond 32 bits cannot be described.
    if (size == 0 || size > INT32_MAX) return LoadResult::allocationFailed;
    // The image is a copy of its own, not a mapping of the file: whatever
    // happens to the file once it is read must not reach the output.
    auto memory = host.allocate(static_cast<std::size_t>(size));
    if (!memory) return LoadResult::allocationFailed;
    // A short read would leave part of the image unfilled: treat it as unreadable.
    if (file->read({memory->data(), static_cast<std::size_t>(size)}) != static_cast<std::size_t>(size)) {
        return LoadResult::openFailed;
    }
    image.memory = std::move(memory);
    image.size = static_cast<std::int32_t>(size);
    return LoadResult::ok;
}

bool checkEntry(const ListEntry& entry, std::int32_t imageSize) {
    return entry.offset >= 0 && entry.length >= 1 && entry.offset < imageSize &&
           entry.length <= imageSize - entry.offset;
}

}  // namespace quill
