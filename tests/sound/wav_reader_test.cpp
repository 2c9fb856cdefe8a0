#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sound/dig_to_wav.h"
#include "sound/wav_builder.h"
#include "sound/wav_reader.h"

namespace quill {
namespace {

using namespace testing::wav;

const Bytes kOdd = bytes({0x80, 0x81, 0x7f, 0x00, 0xff});  // odd-sized: a pad byte follows
const Bytes kEven = bytes({0x10, 0x20, 0x30, 0x40});
const Bytes kList = chunk("LIST", [] {
    Bytes b;
    text(b, "INFOISFT");
    le(b, 6, 4);
    text(b, "Tool\0\0");
    return b;
}());
const Bytes kFmt = chunk("fmt ", fmtBody({}));

struct Accepted {
    const char* name;
    Bytes file;
    Bytes samples;
};

std::vector<Accepted> acceptedFiles() {
    Bytes fmt18 = fmtBody({});
    le(fmt18, 0, 2);  // WAVEFORMATEX's empty extension
    Bytes oddExtra;
    text(oddExtra, "abc");
    return {
        {"plain", riff({kFmt, chunk("data", kEven)}), kEven},
        {"odd data with its pad byte", riff({kFmt, chunk("data", kOdd)}), kOdd},
        {"odd data without a final pad byte", riff({kFmt, chunk("data", kOdd, false)}), kOdd},
        {"fmt of 18 bytes", riff({chunk("fmt ", fmt18), chunk("data", kEven)}), kEven},
        {"extensible PCM", riff({chunk("fmt ", extensibleBody({}, 8, 1)), chunk("data", kOdd)}), kOdd},
        {"extensible PCM, valid bits unsaid", riff({chunk("fmt ", extensibleBody({}, 0, 1)), chunk("data", kOdd)}),
         kOdd},
        {"LIST before fmt", riff({kList, kFmt, chunk("data", kOdd)}), kOdd},
        {"LIST between fmt and data", riff({kFmt, kList, chunk("data", kOdd)}), kOdd},
        {"LIST after data", riff({kFmt, chunk("data", kOdd), kList}), kOdd},
        {"odd-sized extra chunk and its pad byte",
         riff({kFmt, chunk("junk", oddExtra), chunk("fact", bytes({5, 0, 0, 0})), chunk("data", kOdd)}), kOdd},
        {"fmt after data", riff({chunk("data", kEven), kFmt}), kEven},
        {"RIFF size too large", riff({kFmt, chunk("data", kEven)}, 0xFFFFFFF0u), kEven},
        {"RIFF size too small", riff({kFmt, chunk("data", kEven)}, 0), kEven},
        {"RIFF size counting the missing pad byte", riff({kFmt, chunk("data", kOdd, false)}, 4 + 24 + 8 + 6), kOdd},
        {"a tag cut short after data", riff({kFmt, chunk("data", kOdd), cutShort("id3 ", 1000, kEven)}), kOdd},
        {"fewer than 8 bytes after data", riff({kFmt, chunk("data", kEven), bytes({0, 0, 0, 0, 0, 0, 0})}), kEven},
        {"empty data", riff({kFmt, chunk("data", {})}), {}},
    };
}

TEST(WavReader, AcceptsEightBitMonoPcmAt11025HzHoweverItsChunksStand) {
    // The builder lays out a plain file as the unpacker's header does (that
    // header is checked against literal bytes in dig_to_wav_test.cpp).
    const WavHeader header = makeWavHeader(static_cast<std::uint32_t>(kEven.size()));
    Bytes written(header.begin(), header.end());
    written.insert(written.end(), kEven.begin(), kEven.end());
    ASSERT_EQ(riff({kFmt, chunk("data", kEven)}), written);

    for (const auto& [name, file, samples] : acceptedFiles()) {
        WavContents wav;
        std::string refusal;
        ASSERT_EQ(readWav(file, wav, refusal), WavReadResult::accepted) << name << ": " << refusal;
        EXPECT_EQ(Bytes(wav.samples.begin(), wav.samples.end()), samples) << name;
        EXPECT_GE(wav.samples.data(), file.data()) << name;
        EXPECT_LE(wav.samples.data() + wav.samples.size(), file.data() + file.size()) << name;
        EXPECT_EQ(wav.format.encoding, 1u) << name;
        EXPECT_EQ(wav.format.channels, 1u) << name;
        EXPECT_EQ(wav.format.samplesPerSecond, 11025u) << name;
        EXPECT_EQ(wav.format.bitsPerSample, 8u) << name;
    }
}

struct Refused {
    const char* name;
    Bytes file;
    std::string message;
};

// A format refusal: what the file is, then what is needed.
std::string is(const char* what) { return std::string(what) + "; needs PCM 8-bit, 1 channel, 11025 Hz"; }

std::vector<Refused> refusedFiles() {
    const Bytes data = chunk("data", kOdd);
    Bytes avi;
    text(avi, "RIFF");
    le(avi, 4, 4);
    text(avi, "AVI ");
    Bytes rifx = riff({kFmt, data});
    rifx[3] = std::byte{'X'};
    Bytes fmt14 = fmtBody({});
    fmt14.resize(14);
    Bytes extensibleShort = fmtBody({0xFFFE});
    le(extensibleShort, 0, 2);
    Bytes unprintable = bytes({0x01, 'a', 'b', 0x7f});
    le(unprintable, 100, 4);
    const Bytes stereo16 = fmtBody({1, 2, 44100, 176400, 4, 16});
    Bytes extensionTooSmall = extensibleBody({}, 8, 1);
    extensionTooSmall[16] = std::byte{21};
    Bytes eleven = riff({});
    eleven.pop_back();
    return {
        {"empty file", {}, "not a RIFF/WAVE file"},
        {"11 bytes", eleven, "not a RIFF/WAVE file"},
        {"AVI", avi, "not a RIFF/WAVE file"},
        {"big-endian RIFX", rifx, "not a RIFF/WAVE file"},
        {"16-bit stereo 44100 Hz", riff({chunk("fmt ", stereo16), data}), is("PCM 16-bit, 2 channels, 44100 Hz")},
        {"16-bit mono", riff({chunk("fmt ", fmtBody({1, 1, 11025, 22050, 2, 16})), data}),
         is("PCM 16-bit, 1 channel, 11025 Hz")},
        {"8-bit stereo", riff({chunk("fmt ", fmtBody({1, 2, 11025, 22050, 2, 8})), data}),
         is("PCM 8-bit, 2 channels, 11025 Hz")},
        {"22050 Hz", riff({chunk("fmt ", fmtBody({1, 1, 22050, 22050, 1, 8})), data}),
         is("PCM 8-bit, 1 channel, 22050 Hz")},
        {"IMA ADPCM", riff({chunk("fmt ", fmtBody({0x11, 1, 11025, 5588, 256, 4})), data}),
         is("compressed (format 0x0011)")},
        {"float", riff({chunk("fmt ", fmtBody({3, 1, 11025, 44100, 4, 32})), data}),
         is("floating-point 32-bit, 1 channel, 11025 Hz")},
        {"extensible 16-bit stereo", riff({chunk("fmt ", extensibleBody({1, 2, 44100, 176400, 4, 16}, 16, 1)), data}),
         is("PCM 16-bit, 2 channels, 44100 Hz")},
        {"extensible float", riff({chunk("fmt ", extensibleBody({1, 1, 11025, 44100, 4, 32}, 32, 3)), data}),
         is("floating-point 32-bit, 1 channel, 11025 Hz")},
        {"extensible MP3", riff({chunk("fmt ", extensibleBody({}, 8, 0x55)), data}), is("compressed (format 0x0055)")},
        {"extensible, a code past 16 bits", riff({chunk("fmt ", extensibleBody({}, 8, 0x10001)), data}),
         is("compressed (format 0x10001)")},
        {"extensible, unknown sub-format", riff({chunk("fmt ", extensibleBody({}, 8, 0)), data}),
         is("format 0xFFFE with an unknown sub-format")},
        // What the file is comes before what else is wrong with it.
        {"16-bit stereo cut short", riff({chunk("fmt ", stereo16), cutShort("data", 9, kEven)}),
         is("PCM 16-bit, 2 channels, 44100 Hz")},
        {"16-bit stereo twice", riff({chunk("fmt ", stereo16), kFmt, data}), is("PCM 16-bit, 2 channels, 44100 Hz")},
        {"block align 2", riff({chunk("fmt ", fmtBody({1, 1, 11025, 11025, 2, 8})), data}),
         "PCM 8-bit, 1 channel, 11025 Hz, but block align 2; needs block align 1"},
        {"byte rate 22050", riff({chunk("fmt ", fmtBody({1, 1, 11025, 22050, 1, 8})), data}),
         "PCM 8-bit, 1 channel, 11025 Hz, but 22050 bytes per second; needs 11025 bytes per second"},
        {"16 valid bits of 8", riff({chunk("fmt ", extensibleBody({}, 16, 1)), data}),
         "PCM 8-bit, 1 channel, 11025 Hz, but 16 valid bits per sample; needs at most 8"},
        {"fmt of 14 bytes", riff({chunk("fmt ", fmt14), data}), "\"fmt \" chunk is too short (14 bytes)"},
        {"extensible fmt of 18 bytes", riff({chunk("fmt ", extensibleShort), data}),
         "\"fmt \" chunk is too short for format 0xFFFE"},
        {"extensible fmt of 40 bytes declaring 21 of extension", riff({chunk("fmt ", extensionTooSmall), data}),
         "\"fmt \" chunk is too short for format 0xFFFE"},
        {"nothing after WAVE", riff({}), "no \"fmt \" chunk"},
        {"no fmt", riff({kList, data}), "no \"fmt \" chunk"},
        {"no data", riff({kFmt, kList}), "no \"data\" chunk"},
        {"IDs in the wrong case", riff({kFmt, chunk("DATA", kOdd)}), "no \"data\" chunk"},
        {"data cut short", riff({kFmt, cutShort("data", 100, kOdd)}), "\"data\" chunk runs past the end of the file"},
        {"data size of 2^32 - 1", riff({kFmt, cutShort("data", 0xFFFFFFFFu, kOdd)}),
         "\"data\" chunk runs past the end of the file"},
        {"fmt cut short", riff({cutShort("fmt ", 16, bytes({1, 0, 1, 0}))}),
         "\"fmt \" chunk runs past the end of the file"},
        {"LIST cut short before data", riff({kFmt, cutShort("LIST", 50, kEven)}),
         "\"LIST\" chunk runs past the end of the file"},
        {"unprintable ID cut short", riff({kFmt, unprintable}), "\"?ab?\" chunk runs past the end of the file"},
        {"two data chunks", riff({kFmt, data, chunk("data", kEven)}), "more than one \"data\" chunk"},
        {"two data chunks, the second cut short", riff({kFmt, data, cutShort("data", 100, kEven)}),
         "more than one \"data\" chunk"},
        {"two fmt chunks", riff({kFmt, data, kFmt}), "more than one \"fmt \" chunk"},
    };
}

TEST(WavReader, RefusesAnythingElseSayingWhatItIsAndWhatIsNeeded) {
    for (const auto& [name, file, message] : refusedFiles()) {
        WavContents wav;
        std::string refusal;
        EXPECT_EQ(readWav(file, wav, refusal), WavReadResult::refused) << name;
        EXPECT_EQ(refusal, message) << name;
    }
}

}  // namespace
}  // namespace quill
