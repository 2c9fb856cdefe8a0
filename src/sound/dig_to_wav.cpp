#include "sound/dig_to_wav.h"

#include <algorithm>
#include <cstring>

#include "common/ascii_case.h"

namespace quill {
namespace {

std::size_t firstDot(std::string_view name) { return name.find('.'); }

}  // namespace

bool isSoundName(std::string_view name) {
    const auto dot = firstDot(name);
    return dot != std::string_view::npos && equalsIgnoringAsciiCase(name.substr(dot), ".DIG");
}

std::string wavNameFor(std::string_view soundName) {
    return std::string(soundName.substr(0, firstDot(soundName))) + ".WAV";
}

std::vector<std::byte> companionBytes(std::span<const std::byte> sound) {
    const WavHeader header = makeWavHeader(static_cast<std::uint32_t>(sound.size()));
    std::vector<std::byte> file(header.size() + sound.size());
    std::copy(header.begin(), header.end(), file.begin());
    unscrambleInto(sound, 0, std::span(file).subspan(header.size()));
    return file;
}

WavResult convertDigToWav(Host& host, const std::string& wavPath, std::span<const std::byte> samples,
                          WavBuffer& buffer) {
    auto file = host.createForWriting(wavPath);
    if (!file) return WavResult::failed;
    const WavHeader header = makeWavHeader(static_cast<std::uint32_t>(samples.size()));
    std::memcpy(buffer.data(), header.data(), header.size());

    std::size_t headerBytes = kWavHeaderSize;
    for (std::size_t done = 0; done < samples.size();) {
        const std::size_t count = std::min(samples.size() - done, kWavChunk);
        const auto out = std::span(buffer).subspan(headerBytes, count);
        unscrambleInto(samples.subspan(done, count), done, out);
        if (!file->write(std::span(buffer).first(headerBytes + count))) return WavResult::failed;
        done += count;
        headerBytes = 0;
    }
    return file->close() ? WavResult::written : WavResult::failed;
}

}  // namespace quill
