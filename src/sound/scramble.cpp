#include "sound/scramble.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace quill {
namespace {

// As in unscrambling: the subtraction repeats every lcm(3, 256) bytes, so one
// period of it as a table makes the rule a plain byte-wise subtract.
constexpr std::size_t kPeriod = 768;

constexpr std::array<std::uint8_t, kPeriod> makePattern() {
    std::array<std::uint8_t, kPeriod> pattern{};
    for (std::size_t k = 0; k < kPeriod; k += 3) pattern[k] = static_cast<std::uint8_t>(k % 256);
    return pattern;
}

constexpr auto kPattern = makePattern();

}  // namespace

void scrambleInto(std::span<const std::byte> samples, std::size_t firstIndex, std::span<std::byte> out) {
    const auto* in = reinterpret_cast<const std::uint8_t*>(samples.data());
    auto* to = reinterpret_cast<std::uint8_t*>(out.data());
    std::size_t phase = firstIndex % kPeriod;
    for (std::size_t i = 0; i < samples.size();) {
        const std::size_t run = std::min(samples.size() - i, kPeriod - phase);
        const std::uint8_t* subtract = kPattern.data() + phase;
        for (std::size_t j = 0; j < run; ++j) to[i + j] = static_cast<std::uint8_t>(in[i + j] - subtract[j]);
        i += run;
        phase = 0;
    }
}

}  // namespace quill
