#include "sound/dig_to_wav.h"

namespace quill {
namespace {

void putText(WavHeader& header, std::size_t at, std::string_view text) {
    for (char c : text) header[at++] = static_cast<std::byte>(c);
}

void putLittleEndian(WavHeader& header, std::size_t at, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) header[at + static_cast<std::size_t>(i)] = static_cast<std::byte>(value >> (8 * i));
}

}  // namespace

WavHeader makeWavHeader(std::uint32_t dataSize) {
    constexpr std::uint32_t kSampleRate = 11025;
    WavHeader header{};
    putText(header, 0, "RIFF");
    putLittleEndian(header, 4, dataSize + 36, 4);
    putText(header, 8, "WAVE");
    putText(header, 12, "fmt ");
    putLittleEndian(header, 16, 16, 4);           // format chunk size
    putLittleEndian(header, 20, 1, 2);            // uncompressed PCM
    putLittleEndian(header, 22, 1, 2);            // channels
    putLittleEndian(header, 24, kSampleRate, 4);  // samples per second
    putLittleEndian(header, 28, kSampleRate, 4);  // bytes per second
    putLittleEndian(header, 32, 1, 2);            // block alignment
    putLittleEndian(header, 34, 8, 2);            // bits per sample
    putText(header, 36, "data");
    putLittleEndian(header, 40, dataSize, 4);
    return header;
}

}  // namespace quill
