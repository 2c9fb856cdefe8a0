// A .WAV the unpacker writes, read back and scrambled, gives the entry's bytes.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "sound/dig_to_wav.h"
#include "sound/scramble.h"
#include "sound/wav_reader.h"
#include "support/memory_host.h"

namespace quill {
namespace {

using testing::Bytes;

TEST(WavRoundTrip, TheUnpackersWavReadBackAndScrambledIsTheEntry) {
    std::mt19937 random(11025);
    std::vector<std::size_t> lengths = {1, 2, 3, 4, 767, 768, 769, 1535, 1536, 1537, 2303, 2304, 2305};
    for (int i = 0; i < 300; ++i) lengths.push_back(std::uniform_int_distribution<std::size_t>(1, 4000)(random));

    for (const std::size_t length : lengths) {
        // The entry stands at an offset in the image: unscrambling counts from the entry's start.
        const std::size_t offset = std::uniform_int_distribution<std::size_t>(0, 1000)(random);
        Bytes image(offset + length);
        for (auto& b : image) b = static_cast<std::byte>(random());
        const Bytes entry(image.begin() + static_cast<std::ptrdiff_t>(offset), image.end());

        testing::MemoryHost host;
        host.directories.insert("d");
        const ListEntry listed{"S.DIG", static_cast<std::int32_t>(offset), static_cast<std::int32_t>(length)};
        ASSERT_EQ(convertDigToWav(host, "d\\", listed, image), WavResult::written);
        const Bytes& wav = host.files.at("d\\S.WAV");

        WavContents contents;
        std::string refusal;
        ASSERT_EQ(readWav(wav, contents, refusal), WavReadResult::accepted) << length << ": " << refusal;
        ASSERT_EQ(contents.samples.data(), wav.data() + kWavHeaderSize) << length;
        ASSERT_EQ(contents.samples.size(), length);
        Bytes back(length);
        scrambleInto(contents.samples, 0, back);
        ASSERT_EQ(back, entry) << "length " << length << " at " << offset;
    }
}

}  // namespace
}  // namespace quill
