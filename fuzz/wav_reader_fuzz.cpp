// The .WAV reader on arbitrary bytes: no read outside them, an accepted file's
// samples are a "data" chunk's body inside them and its format is the one the
// game plays, a refusal is printable text. Then the same bytes as an entry:
// the unpacker's header and unscrambled samples, read back and scrambled (in
// two pieces split where the input says), give the bytes again.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "sound/dig_to_wav.h"
#include "sound/scramble.h"
#include "sound/wav_reader.h"

namespace {

[[noreturn]] void broken(const char* what) {
    std::fprintf(stderr, "wav reader invariant broken: %s\n", what);
    std::abort();
}

bool textAt(const std::byte* at, const char* text) { return std::memcmp(at, text, std::strlen(text)) == 0; }

std::uint32_t sizeAt(const std::byte* at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | std::to_integer<std::uint32_t>(at[i]);
    return value;
}

void checkReader(std::span<const std::byte> file) {
    quill::WavContents wav;
    std::string refusal;
    const bool riffWave = file.size() >= 12 && textAt(file.data(), "RIFF") && textAt(file.data() + 8, "WAVE");
    if (quill::readWav(file, wav, refusal) == quill::WavReadResult::refused) {
        if (refusal.empty()) broken("refusal without a reason");
        for (char c : refusal) {
            if (c < 0x20 || c > 0x7e) broken("refusal not printable");
        }
        if (!riffWave && refusal != "not a RIFF/WAVE file") broken("not RIFF/WAVE, refused for another reason");
        return;
    }
    if (!riffWave) broken("accepted without RIFF/WAVE");
    const auto begin = reinterpret_cast<std::uintptr_t>(file.data());
    const auto samples = reinterpret_cast<std::uintptr_t>(wav.samples.data());
    if (samples < begin + 20 || samples - begin > file.size() || wav.samples.size() > file.size() - (samples - begin)) {
        broken("samples outside the file");
    }
    const std::byte* header = wav.samples.data() - 8;
    if (!textAt(header, "data") || sizeAt(header + 4) != wav.samples.size()) broken("samples not a data chunk's body");
    const quill::WavFormat& f = wav.format;
    if ((f.tag != 1 && f.tag != 0xFFFE) || !f.encodingKnown || f.encoding != 1 || f.channels != 1 ||
        f.samplesPerSecond != 11025 || f.bitsPerSample != 8 || f.blockAlign != 1 || f.bytesPerSecond != 11025 ||
        f.validBitsPerSample > 8) {
        broken("accepted another format");
    }
}

void checkRoundTrip(std::span<const std::byte> entry) {
    const quill::WavHeader header = quill::makeWavHeader(static_cast<std::uint32_t>(entry.size()));
    std::vector<std::byte> file(header.begin(), header.end());
    file.resize(header.size() + entry.size());
    quill::unscrambleInto(entry, 0, std::span(file).subspan(header.size()));

    quill::WavContents wav;
    std::string refusal;
    if (quill::readWav(file, wav, refusal) != quill::WavReadResult::accepted) broken("the unpacker's .WAV refused");
    if (wav.samples.data() != file.data() + header.size() || wav.samples.size() != entry.size()) {
        broken("the unpacker's .WAV samples misplaced");
    }
    const std::size_t split =
        entry.empty() ? 0 : (std::to_integer<std::size_t>(entry[0]) * 257 + entry.size()) % (entry.size() + 1);
    std::vector<std::byte> back(entry.size());
    quill::scrambleInto(wav.samples.first(split), 0, std::span(back).first(split));
    quill::scrambleInto(wav.samples.subspan(split), split, std::span(back).subspan(split));
    if (!std::equal(back.begin(), back.end(), entry.begin())) broken("round trip changed the bytes");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A block of exactly the input's size, so that any read past it is caught
    // when replayed as well as under libFuzzer.
    const auto copy = std::make_unique<std::byte[]>(size);
    if (size > 0) std::memcpy(copy.get(), data, size);
    const std::span<const std::byte> input(copy.get(), size);
    checkReader(input);
    checkRoundTrip(input);
    return 0;
}
