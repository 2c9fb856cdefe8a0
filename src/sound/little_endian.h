#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace quill {

// The count (at most 4) bytes at `at` as a little-endian number; the caller
// has checked that they are there.
inline std::uint32_t loadLittleEndian(std::span<const std::byte> bytes, std::size_t at, std::size_t count) {
    std::uint32_t value = 0;
    for (std::size_t i = count; i-- > 0;) value = (value << 8) | std::to_integer<std::uint32_t>(bytes[at + i]);
    return value;
}

}  // namespace quill
