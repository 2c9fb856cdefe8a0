#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "sound/dig_to_wav.h"
#include "support/memory_host.h"

namespace quill {
namespace {

using testing::Bytes;
using testing::toBytes;

TEST(WavHeader, IsTheFortyFourBytesOfAnEightBitMonoPcmFile) {
    const unsigned char expected[44] = {
        'R', 'I', 'F', 'F', 0x2c, 0x01, 0x01, 0x00,  // 65800 + 36
        'W', 'A', 'V', 'E', 'f',  'm',  't',  ' ',  0x10, 0x00, 0x00, 0x00,  // fmt chunk of 16 bytes
        0x01, 0x00, 0x01, 0x00,                                            // PCM, one channel
        0x11, 0x2b, 0x00, 0x00, 0x11, 0x2b, 0x00, 0x00,                    // 11025 Hz, 11025 bytes/s
        0x01, 0x00, 0x08, 0x00,                                            // alignment 1, 8 bits
        'd', 'a', 't', 'a', 0x08, 0x01, 0x01, 0x00};                       // 65800 sample bytes
    const WavHeader header = makeWavHeader(65800);
    EXPECT_EQ(std::memcmp(header.data(), expected, sizeof expected), 0);
}

TEST(Unscramble, AddsTheIndexToEveryThirdByteOnly) {
    Bytes samples(800, std::byte{0x10});
    Bytes out(samples.size());
    unscrambleInto(samples, 0, out);
    const auto at = [&](std::size_t i) { return std::to_integer<int>(out[i]); };
    EXPECT_EQ(at(0), 0x10);
    EXPECT_EQ(at(3), 0x13);
    EXPECT_EQ(at(255), 0x10 + 255 - 256);  // wraps at 256
    EXPECT_EQ(at(258), 0x12);              // 258 mod 256
    EXPECT_EQ(at(768), 0x10);              // next period
    EXPECT_EQ(at(771), 0x13);
    for (std::size_t i : {1u, 2u, 4u, 5u, 257u, 259u, 799u}) EXPECT_EQ(at(i), 0x10) << i;
}

TEST(Unscramble, AnyChunkingGivesTheSameResult) {
    Bytes samples(5000);
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<std::byte>(i * 7);
    Bytes whole(samples.size());
    unscrambleInto(samples, 0, whole);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const auto expected = static_cast<std::byte>(static_cast<unsigned>(samples[i]) + (i % 3 == 0 ? i % 256 : 0));
        ASSERT_EQ(whole[i], expected) << i;
    }
    Bytes pieces(samples.size());
    for (std::size_t start = 0; start < samples.size(); start += 1001) {
        const std::size_t count = std::min<std::size_t>(1001, samples.size() - start);
        unscrambleInto(std::span(samples).subspan(start, count), start, std::span(pieces).subspan(start, count));
    }
    EXPECT_EQ(pieces, whole);
}

TEST(SoundNames, AreThoseWhoseTextFromTheFirstDotIsDig) {
    const std::vector<std::pair<const char*, const char*>> sounds = {
        {"SHOT.DIG", "SHOT.WAV"}, {"shot.dig", "shot.WAV"}, {"A.DiG", "A.WAV"},
        {"SFX\\BANG.DIG", "SFX\\BANG.WAV"}, {".DIG", ".WAV"}};
    for (const auto& [name, companion] : sounds) {
        EXPECT_TRUE(isSoundName(name)) << name;
        EXPECT_EQ(wavNameFor(name), companion);
    }
    for (const char* name : {"A.B.DIG", "SHOT.DIGI", "SHOT.DI", "SHOT", "SHOTDIG", "SHOT.WAV", "SFX.X\\BANG.DIG",
                             "SHOT.D\xc9G"}) {
        EXPECT_FALSE(isSoundName(name)) << name;
    }
}

TEST(ConvertDigToWav, WritesHeaderAndUnscrambledSamplesLeavingThemAlone) {
    testing::MemoryHost host;
    host.directories.insert("d");
    Bytes image(2000);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::byte>(i * 13 + 5);
    const Bytes before = image;

    const auto buffer = std::make_unique<WavBuffer>();
    ASSERT_EQ(convertDigToWav(host, "d\\s.WAV", std::span(image).subspan(100, 1500), *buffer), WavResult::written);
    EXPECT_EQ(image, before);
    const Bytes& wav = host.files.at("d\\s.WAV");
    ASSERT_EQ(wav.size(), 44u + 1500u);
    const WavHeader header = makeWavHeader(1500);
    EXPECT_TRUE(std::equal(header.begin(), header.end(), wav.begin()));
    // Every third byte from the first gets its index (mod 256) added; written out here, not by the code under test.
    for (std::size_t k = 0; k < 1500; ++k) {
        const auto add = static_cast<unsigned>(k % 3 == 0 ? k % 256 : 0);
        ASSERT_EQ(std::to_integer<unsigned>(wav[44 + k]), (std::to_integer<unsigned>(before[100 + k]) + add) & 0xff)
            << k;
    }
}

TEST(ConvertDigToWav, ReportsFailures) {
    testing::MemoryHost host;
    host.directories.insert("d");
    const Bytes samples(10);
    const auto buffer = std::make_unique<WavBuffer>();
    EXPECT_EQ(convertDigToWav(host, "missing\\A.WAV", samples, *buffer), WavResult::failed);
    host.unwritable.insert("d\\A.WAV");
    EXPECT_EQ(convertDigToWav(host, "d\\A.WAV", samples, *buffer), WavResult::failed);
}

}  // namespace
}  // namespace quill
