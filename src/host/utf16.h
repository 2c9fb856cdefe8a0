#pragma once

#include <string>
#include <string_view>

// Windows keeps names as UTF-16 and the tool's paths are UTF-8 there. A name
// may hold a surrogate without its partner, which no UTF-8 can spell: such a
// surrogate travels as the three bytes its code point would take (the scheme
// known as WTF-8), so every name the system can hold crosses over and back
// unchanged.
namespace quill {

std::string utf8FromUtf16(std::u16string_view wide);

// False, `wide` unspecified, when the bytes are not text of that form: a stray
// or missing continuation byte, an overlong or out-of-range sequence, or a
// surrogate pair spelt as two sequences instead of one.
bool utf16FromUtf8(std::string_view text, std::u16string& wide);

}  // namespace quill
