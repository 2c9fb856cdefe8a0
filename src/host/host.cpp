#include "host/host.h"

#include <new>

namespace quill {

std::unique_ptr<std::byte[]> Host::allocate(std::size_t size) {
    // Not value-initialised: the block is filled from the file straight away.
    return std::unique_ptr<std::byte[]>(new (std::nothrow) std::byte[size]);
}

}  // namespace quill
