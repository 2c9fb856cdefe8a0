#include <algorithm>
#include <array>
#include <cstdint>

#include "sound/dig_to_wav.h"
#include "sound/scramble.h"

namespace quill {
namespace {

// Scrambling and unscrambling both repeat every lcm(3, 256) bytes, so one
// period of the amounts as a table serves both ways.
constexpr std::size_t kPeriod = 768;

constexpr std::array<std::uint8_t, kPeriod> makePattern() {
    std::array<std::uint8_t, kPeriod> pattern{};
    for (std::size_t k = 0; k < kPeriod; k += 3) pattern[k] = static_cast<std::uint8_t>(k % 256);
    return pattern;
}

constexpr auto kPattern = makePattern();

// Every byte of one period at a time against the table: a plain byte-wise
// operation the compiler can vectorise.
template <typename Operation>
void everyThird(std::span<const std::byte> samples, std::size_t firstIndex, std::span<std::byte> out,
                Operation operation) {
    const auto* in = reinterpret_cast<const std::uint8_t*>(samples.data());
    auto* to = reinterpret_cast<std::uint8_t*>(out.data());
    std::size_t phase = firstIndex % kPeriod;
    for (std::size_t i = 0; i < samples.size();) {
        const std::size_t run = std::min(samples.size() - i, kPeriod - phase);
        const std::uint8_t* pattern = kPattern.data() + phase;
        for (std::size_t j = 0; j < run; ++j) to[i + j] = operation(in[i + j], pattern[j]);
        i += run;
        phase = 0;
    }
}

}  // namespace

void unscrambleInto(std::span<const std::byte> samples, std::size_t firstIndex, std::span<std::byte> out) {
    everyThird(samples, firstIndex, out,
               [](std::uint8_t byte, std::uint8_t k) { return static_cast<std::uint8_t>(byte + k); });
}

void scrambleInto(std::span<const std::byte> samples, std::size_t firstIndex, std::span<std::byte> out) {
    everyThird(samples, firstIndex, out,
               [](std::uint8_t byte, std::uint8_t k) { return static_cast<std::uint8_t>(byte - k); });
}

}  // namespace quill
