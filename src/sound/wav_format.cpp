// The "fmt " chunk: what it declares, and whether the game can play it.
#include "sound/wav_format.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "sound/little_endian.h"

namespace quill {
namespace {

constexpr std::size_t kPlainSize = 16;
constexpr std::size_t kExtensibleSize = 40;
constexpr std::uint32_t kExtensionSize = 22;

// The last 12 bytes of a standard sub-format GUID, {xxxxxxxx-0000-0010-8000-00AA00389B71}
// as stored; its first 4 bytes are the format code.
constexpr std::array<unsigned char, 12> kGuidTail = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                                     0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

const char* const kNeeded = "PCM 8-bit, 1 channel, 11025 Hz";

std::string hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(value));
    return text;
}

std::string describe(const WavFormat& format) {
    if (format.tag == kWavFormatExtensible && !format.encodingKnown) {
        return "format " + hex(format.tag) + " with an unknown sub-format";
    }
    std::string kind;
    if (format.encoding == kWavFormatPcm) {
        kind = "PCM";
    } else if (format.encoding == kWavFormatFloat) {
        kind = "floating-point";
    } else {
        return "compressed (format " + hex(format.encoding) + ")";
    }
    return kind + " " + std::to_string(format.bitsPerSample) + "-bit, " + std::to_string(format.channels) +
           (format.channels == 1 ? " channel, " : " channels, ") + std::to_string(format.samplesPerSecond) + " Hz";
}

bool refuse(std::string& problem, std::string text) {
    problem = std::move(text);
    return false;
}

}  // namespace

bool parseWavFormat(std::span<const std::byte> body, WavFormat& format, std::string& problem) {
    if (body.size() < kPlainSize) {
        return refuse(problem, "\"fmt \" chunk is too short (" + std::to_string(body.size()) + " bytes)");
    }
    format = WavFormat{};
    format.tag = static_cast<std::uint16_t>(loadLittleEndian(body, 0, 2));
    format.channels = static_cast<std::uint16_t>(loadLittleEndian(body, 2, 2));
    format.samplesPerSecond = loadLittleEndian(body, 4, 4);
    format.bytesPerSecond = loadLittleEndian(body, 8, 4);
    format.blockAlign = static_cast<std::uint16_t>(loadLittleEndian(body, 12, 2));
    format.bitsPerSample = static_cast<std::uint16_t>(loadLittleEndian(body, 14, 2));
    format.encoding = format.tag;
    format.encodingKnown = true;
    if (format.tag != kWavFormatExtensible) return true;

    if (body.size() < kExtensibleSize || loadLittleEndian(body, 16, 2) < kExtensionSize) {
        return refuse(problem, "\"fmt \" chunk is too short for format " + hex(format.tag));
    }
    format.validBitsPerSample = static_cast<std::uint16_t>(loadLittleEndian(body, 18, 2));
    // The channel mask (bytes 20 to 23) says where the speakers stand; one channel plays anywhere.
    format.encoding = loadLittleEndian(body, 24, 4);
    const auto tail = body.subspan(28, kGuidTail.size());
    format.encodingKnown = std::equal(tail.begin(), tail.end(), kGuidTail.begin(),
                                      [](std::byte a, unsigned char b) { return std::to_integer<unsigned char>(a) == b; });
    return true;
}

bool checkWavFormat(const WavFormat& format, std::string& problem) {
    if (!format.encodingKnown || format.encoding != kWavFormatPcm || format.bitsPerSample != 8 ||
        format.channels != 1 || format.samplesPerSecond != 11025) {
        return refuse(problem, describe(format) + "; needs " + kNeeded);
    }
    // These follow from the fields above; a header where they do not is not
    // to be guessed at (it may be the bit depth that is wrong).
    const std::string but = std::string(kNeeded) + ", but ";
    if (format.blockAlign != 1) {
        return refuse(problem, but + "block align " + std::to_string(format.blockAlign) + "; needs block align 1");
    }
    if (format.bytesPerSecond != 11025) {
        return refuse(problem, but + std::to_string(format.bytesPerSecond) +
                                   " bytes per second; needs 11025 bytes per second");
    }
    // 0 leaves it unsaid; fewer than 8 still fills whole bytes the game plays as they are.
    if (format.validBitsPerSample > 8) {
        return refuse(problem, but + std::to_string(format.validBitsPerSample) +
                                   " valid bits per sample; needs at most 8");
    }
    return true;
}

}  // namespace quill
