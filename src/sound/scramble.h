#pragma once

#include <cstddef>
#include <span>

namespace quill {

// The inverse of unscrambleInto (sound/dig_to_wav.h): writes into out (same
// size) the entry bytes that unscramble to samples. firstIndex is the position
// of samples[0] within its entry: every third byte of an entry, from its
// first, has its index (mod 256) subtracted.
void scrambleInto(std::span<const std::byte> samples, std::size_t firstIndex, std::span<std::byte> out);

}  // namespace quill
