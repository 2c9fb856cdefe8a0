#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "sound/dig_to_wav.h"
#include "sound/scramble.h"

namespace quill {
namespace {

using Bytes = std::vector<std::byte>;

// Entry index -> what a byte of 0x10 there becomes when scrambled; worked out by hand.
struct IndexCase {
    std::size_t index;
    int expected;
};
const IndexCase kIndexCases[] = {
    {0, 0x10},    {1, 0x10},   {2, 0x10},    {3, 0x0d},    {4, 0x10},    {5, 0x10},
    {6, 0x0a},    {255, 0x11},  // 0x10 - 255 wraps
    {257, 0x10},  {258, 0x0e},  // 258 mod 256 = 2
    {259, 0x10},  {765, 0x13},  // 765 mod 256 = 253
    {767, 0x10},  {768, 0x10},  // a new period: 768 mod 256 = 0
    {771, 0x0d},  {1023, 0x11}, {1026, 0x0e}, {1100, 0x10}};

TEST(Scramble, SubtractsTheEntryIndexFromEveryThirdByteWhereverTheSpanStarts) {
    for (std::size_t first : {0u, 1u, 2u, 3u, 257u, 258u, 767u, 768u, 1000u}) {
        const Bytes samples(1200 - first, std::byte{0x10});
        Bytes out(samples.size());
        scrambleInto(samples, first, out);
        for (const auto& [index, expected] : kIndexCases) {
            if (index < first) continue;
            EXPECT_EQ(std::to_integer<int>(out[index - first]), expected) << "index " << index << ", first " << first;
        }
    }
}

// The rule written out byte by byte, independent of the table.
std::byte scrambledModel(std::byte sample, std::size_t index) {
    const unsigned subtract = index % 3 == 0 ? static_cast<unsigned>(index % 256) : 0u;
    return static_cast<std::byte>((std::to_integer<unsigned>(sample) + 256u - subtract) & 0xffu);
}

TEST(Scramble, MatchesTheRuleAndUndoesUnscramblingInAnyPieces) {
    std::mt19937 random(20261210);
    for (int round = 0; round < 200; ++round) {
        const std::size_t size = std::uniform_int_distribution<std::size_t>(1, 3000)(random);
        const std::size_t first = std::uniform_int_distribution<std::size_t>(0, 100000)(random);
        Bytes samples(size);
        for (auto& b : samples) b = static_cast<std::byte>(random());

        Bytes scrambled(size);
        std::size_t done = 0;
        while (done < size) {
            const std::size_t count = std::uniform_int_distribution<std::size_t>(1, size - done)(random);
            scrambleInto(std::span(samples).subspan(done, count), first + done,
                         std::span(scrambled).subspan(done, count));
            done += count;
        }
        for (std::size_t i = 0; i < size; ++i) {
            ASSERT_EQ(scrambled[i], scrambledModel(samples[i], first + i)) << "round " << round << ", byte " << i;
        }

        Bytes back(size);
        unscrambleInto(scrambled, first, back);
        ASSERT_EQ(back, samples) << "round " << round;
        unscrambleInto(samples, first, back);
        scrambleInto(back, first, scrambled);
        ASSERT_EQ(scrambled, samples) << "round " << round;
    }
}

}  // namespace
}  // namespace quill
