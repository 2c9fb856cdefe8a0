// A .WAV as the unpacker writes it (its header, then the entry unscrambled),
// read back and scrambled, gives the entry's bytes.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "sound/dig_to_wav.h"
#include "sound/scramble.h"
#include "sound/wav_reader.h"

namespace quill {
namespace {

using Bytes = std::vector<std::byte>;

// convertDigToWav writes exactly this; dig_to_wav_test.cpp holds it to that.
Bytes unpackersWav(const Bytes& entry) {
    const WavHeader header = makeWavHeader(static_cast<std::uint32_t>(entry.size()));
    Bytes wav(header.begin(), header.end());
    wav.resize(header.size() + entry.size());
    unscrambleInto(entry, 0, std::span(wav).subspan(header.size()));
    return wav;
}

TEST(WavRoundTrip, TheUnpackersWavReadBackAndScrambledIsTheEntry) {
    std::mt19937 random(11025);
    std::vector<std::size_t> lengths = {1, 2, 3, 4, 767, 768, 769, 1535, 1536, 1537, 2303, 2304, 2305};
    for (int i = 0; i < 300; ++i) lengths.push_back(std::uniform_int_distribution<std::size_t>(1, 4000)(random));

    for (const std::size_t length : lengths) {
        Bytes entry(length);
        for (auto& b : entry) b = static_cast<std::byte>(random());
        const Bytes wav = unpackersWav(entry);

        WavContents contents;
        std::string refusal;
        ASSERT_EQ(readWav(wav, contents, refusal), WavReadResult::accepted) << length << ": " << refusal;
        ASSERT_EQ(contents.samples.data(), wav.data() + kWavHeaderSize) << length;
        ASSERT_EQ(contents.samples.size(), length);
        Bytes back(length);
        scrambleInto(contents.samples, 0, back);
        ASSERT_EQ(back, entry) << "length " << length;
    }
}

}  // namespace
}  // namespace quill
