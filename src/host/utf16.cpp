#include "host/utf16.h"

#include <cstdint>

namespace quill {
namespace {

bool isHighSurrogate(std::uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(std::uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void appendUtf8(std::string& text, std::uint32_t point) {
    const auto byte = [&text](std::uint32_t value) { text += static_cast<char>(value); };
    if (point < 0x80) {
        byte(point);
    } else if (point < 0x800) {
        byte(0xC0 | (point >> 6));
        byte(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
        byte(0xE0 | (point >> 12));
        byte(0x80 | ((point >> 6) & 0x3F));
        byte(0x80 | (point & 0x3F));
    } else {
        byte(0xF0 | (point >> 18));
        byte(0x80 | ((point >> 12) & 0x3F));
        byte(0x80 | ((point >> 6) & 0x3F));
        byte(0x80 | (point & 0x3F));
    }
}

// One sequence from `at` on; false when it is not well formed. Surrogates are
// let through here: the caller decides about pairs.
bool decodeOne(std::string_view text, std::size_t& at, std::uint32_t& point) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 0;
    std::uint32_t minimum = 0;
    if (lead < 0x80) {
        point = lead;
        ++at;
        return true;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        minimum = 0x80;
        point = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        minimum = 0x800;
        point = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        minimum = 0x10000;
        point = lead & 0x07u;
    } else {
        return false;
    }
    if (text.size() - at < length) return false;
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0) != 0x80) return false;
        point = (point << 6) | (next & 0x3Fu);
    }
    if (point < minimum || point > 0x10FFFF) return false;
    at += length;
    return true;
}

}  // namespace

std::string utf8FromUtf16(std::u16string_view wide) {
    std::string text;
    text.reserve(wide.size());
    for (std::size_t i = 0; i < wide.size(); ++i) {
        std::uint32_t point = wide[i];
        if (isHighSurrogate(point) && i + 1 < wide.size() && isLowSurrogate(wide[i + 1])) {
            point = 0x10000 + ((point - 0xD800) << 10) + (wide[i + 1] - 0xDC00u);
            ++i;
        }
        appendUtf8(text, point);
    }
    return text;
}

bool utf16FromUtf8(std::string_view text, std::u16string& wide) {
    wide.clear();
    wide.reserve(text.size());
    bool afterHighSurrogate = false;
    for (std::size_t at = 0; at < text.size();) {
        std::uint32_t point = 0;
        if (!decodeOne(text, at, point)) return false;
        // A pair has one spelling, the four-byte one: two halves side by side
        // would give a second name for the same file.
        if (afterHighSurrogate && isLowSurrogate(point)) return false;
        afterHighSurrogate = isHighSurrogate(point);
        if (point >= 0x10000) {
            point -= 0x10000;
            wide += static_cast<char16_t>(0xD800 + (point >> 10));
            wide += static_cast<char16_t>(0xDC00 + (point & 0x3FF));
        } else {
            wide += static_cast<char16_t>(point);
        }
    }
    return true;
}

}  // namespace quill
