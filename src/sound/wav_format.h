#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace quill {

inline constexpr std::uint16_t kWavFormatPcm = 1;
inline constexpr std::uint16_t kWavFormatFloat = 3;
inline constexpr std::uint16_t kWavFormatExtensible = 0xFFFE;

// What a "fmt " chunk declares. encoding is the tag, or for an extensible
// chunk the format code its sub-format GUID carries; encodingKnown is false
// for an extensible chunk whose GUID is not of that standard form.
struct WavFormat {
    std::uint16_t tag = 0;
    std::uint32_t encoding = 0;
    bool encodingKnown = false;
    std::uint16_t channels = 0;
    std::uint32_t samplesPerSecond = 0;
    std::uint32_t bytesPerSecond = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bitsPerSample = 0;
    std::uint16_t validBitsPerSample = 0;  // extensible only
};

// Reads a "fmt " chunk's body. False, with the problem described, when it is
// too short to say what it needs to.
bool parseWavFormat(std::span<const std::byte> body, WavFormat& format, std::string& problem);

// True for what the game plays: PCM, 1 channel, 11025 Hz, 8 bits, with block
// align, byte rate and valid bits that agree. Otherwise false, with a problem
// saying what the format is and what is needed.
bool checkWavFormat(const WavFormat& format, std::string& problem);

}  // namespace quill
