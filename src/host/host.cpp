#include "host/host.h"

#include <new>

namespace quill {
namespace {

class HeapMemory final : public ImageMemory {
public:
    explicit HeapMemory(std::unique_ptr<std::byte[]> block) : block_(std::move(block)) {}
    std::byte* data() override { return block_.get(); }

private:
    std::unique_ptr<std::byte[]> block_;
};

}  // namespace

std::unique_ptr<ImageMemory> Host::allocate(std::size_t size) {
    // Not value-initialised: the block is filled from the file straight away.
    std::unique_ptr<std::byte[]> block(new (std::nothrow) std::byte[size]);
    if (!block) return nullptr;
    return std::make_unique<HeapMemory>(std::move(block));
}

LoadStatus loadWholeFile(Host& host, const std::string& path, NameCase nameCase, std::int64_t maxSize,
                         WholeFile& file) {
    const auto input = host.openForReading(path, nameCase);
    if (!input) return LoadStatus::cannotOpen;
    std::int64_t size = 0;
    if (!input->measure(size) || size < 0) return LoadStatus::cannotOpen;
    // Checked before asking for memory: an empty file gives no block, and an
    // oversized one must not cost an allocation.
    if (size == 0) return LoadStatus::empty;
    if (size > maxSize) return LoadStatus::tooLarge;
    auto memory = host.allocate(static_cast<std::size_t>(size));
    if (!memory) return LoadStatus::noMemory;
    // A short read would leave part of the block unfilled.
    if (input->read({memory->data(), static_cast<std::size_t>(size)}) != static_cast<std::size_t>(size)) {
        return LoadStatus::shortRead;
    }
    file.memory = std::move(memory);
    file.size = size;
    return LoadStatus::loaded;
}

}  // namespace quill
