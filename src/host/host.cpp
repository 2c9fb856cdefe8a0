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

}  // namespace quill
