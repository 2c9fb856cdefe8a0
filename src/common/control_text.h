#pragma once

#include <cstddef>
#include <string_view>

// Bytes of a name a terminal would take as a command rather than text: C0
// controls and DEL, the C1 controls (0x80-0x9F, which a terminal in an 8-bit
// character set reads as CSI, OSC, ...), and their UTF-8 forms (U+0080 to
// U+009F), which a UTF-8 terminal reads the same way.
namespace quill {

// How many bytes from `at` form one control (1, or 2 for a UTF-8 C1); 0
// when the byte there is not the start of one. Other bytes past 0x7F, valid
// UTF-8 or not, are text.
inline std::size_t controlLength(std::string_view text, std::size_t at) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte < 0x20 || byte == 0x7f) return 1;
    if (byte == 0xc2 && at + 1 < text.size()) {
        const auto next = static_cast<unsigned char>(text[at + 1]);
        if (next >= 0x80 && next <= 0x9f) return 2;
    }
    if (byte >= 0x80 && byte <= 0x9f) {
        // A continuation byte of a longer UTF-8 character is text.
        std::size_t start = at;
        while (start > 0 && at - start < 3 && (static_cast<unsigned char>(text[start - 1]) & 0xc0) == 0x80) --start;
        if (start > 0) {
            const auto lead = static_cast<unsigned char>(text[start - 1]);
            const std::size_t follow = lead >= 0xf0 && lead < 0xf8 ? 3 : lead >= 0xe0 ? 2 : lead >= 0xc3 ? 1 : 0;
            if (lead >= 0xc3 && at - (start - 1) <= follow) return 0;
        }
        return 1;
    }
    return 0;
}

}  // namespace quill
