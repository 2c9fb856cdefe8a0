// .WAV files assembled byte by byte for the reader's tests, independently of
// the code under test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace quill::testing::wav {

using Bytes = std::vector<std::byte>;

inline void text(Bytes& out, std::string_view s) {
    for (char c : s) out.push_back(static_cast<std::byte>(c));
}

inline void le(Bytes& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::byte>((value >> (8 * i)) & 0xffu));
}

inline Bytes bytes(std::initializer_list<int> values) {
    Bytes out;
    for (int v : values) out.push_back(static_cast<std::byte>(v));
    return out;
}

// A chunk: ID, size, body, and the pad byte after an odd-sized body unless left out.
inline Bytes chunk(std::string_view id, const Bytes& body, bool pad = true) {
    Bytes out;
    text(out, id);
    le(out, static_cast<std::uint32_t>(body.size()), 4);
    out.insert(out.end(), body.begin(), body.end());
    if (pad && body.size() % 2 == 1) out.push_back(std::byte{0});
    return out;
}

// A chunk header declaring more bytes than follow it.
inline Bytes cutShort(std::string_view id, std::uint32_t declared, const Bytes& present) {
    Bytes out;
    text(out, id);
    le(out, declared, 4);
    out.insert(out.end(), present.begin(), present.end());
    return out;
}

inline constexpr std::uint32_t kRightSize = 0xFFFFFFFFu;

// "RIFF", its size (the right one unless given), "WAVE", then the chunks as they are.
inline Bytes riff(std::initializer_list<Bytes> chunks, std::uint32_t riffSize = kRightSize) {
    Bytes rest;
    text(rest, "WAVE");
    for (const auto& c : chunks) rest.insert(rest.end(), c.begin(), c.end());
    Bytes out;
    text(out, "RIFF");
    le(out, riffSize == kRightSize ? static_cast<std::uint32_t>(rest.size()) : riffSize, 4);
    out.insert(out.end(), rest.begin(), rest.end());
    return out;
}

struct Fmt {
    std::uint32_t tag = 1;
    std::uint32_t channels = 1;
    std::uint32_t rate = 11025;
    std::uint32_t byteRate = 11025;
    std::uint32_t blockAlign = 1;
    std::uint32_t bits = 8;
};

// The 16 bytes every "fmt " chunk starts with.
inline Bytes fmtBody(const Fmt& f) {
    Bytes out;
    le(out, f.tag, 2);
    le(out, f.channels, 2);
    le(out, f.rate, 4);
    le(out, f.byteRate, 4);
    le(out, f.blockAlign, 2);
    le(out, f.bits, 2);
    return out;
}

// WAVE_FORMAT_EXTENSIBLE: the 16 bytes with tag 0xFFFE, extension size 22,
// valid bits, channel mask, then the sub-format GUID
// {code-0000-0010-8000-00AA00389B71}, or an unrelated GUID when code is 0.
inline Bytes extensibleBody(Fmt f, std::uint32_t validBits, std::uint32_t code) {
    f.tag = 0xFFFE;
    Bytes out = fmtBody(f);
    le(out, 22, 2);
    le(out, validBits, 2);
    le(out, 4, 4);  // front centre
    if (code == 0) {
        const Bytes other = bytes({0x21, 0x07, 0xd3, 0x11, 0x86, 0x44, 0xc8, 0xc1,
                                   0xca, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00});
        out.insert(out.end(), other.begin(), other.end());
    } else {
        le(out, code, 4);
        const Bytes tail = bytes({0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71});
        out.insert(out.end(), tail.begin(), tail.end());
    }
    return out;
}

}  // namespace quill::testing::wav
