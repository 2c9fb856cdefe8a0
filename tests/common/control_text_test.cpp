// Which bytes of a name reach a terminal as commands: quillpack escapes them,
// quillfane's progress line shows '?' for each.
#include <gtest/gtest.h>

#include "common/control_text.h"
#include "pack/pack.h"

namespace quill {
namespace {

TEST(ControlText, C0C1AndTheirUtf8FormsAreEscapedOtherTextIsKept) {
    const struct {
        const char* what;
        std::string name;
        std::string shown;
    } cases[] = {
        {"plain", "SFX\\A.DIG", "SFX\\A.DIG"},
        {"escape and bell", "\x1b[2J\x07", "\\x1B[2J\\x07"},
        {"DEL", "A\x7f", "A\\x7F"},
        {"raw CSI and OSC (8-bit terminals)", "A\x9b" "2J\x9d", "A\\x9B2J\\x9D"},
        {"UTF-8 CSI and OSC", "A\xc2\x9b" "2J\xc2\x9d", "A\\xC2\\x9B2J\\xC2\\x9D"},
        {"UTF-8 text past 0x7F kept", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8e\xb5", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8e\xb5"},
        {"UTF-8 with a continuation byte in 0x80-0x9F kept", "\xe2\x80\x94\xc3\x89", "\xe2\x80\x94\xc3\x89"},
        {"Latin-1 letters kept", "caf\xe9", "caf\xe9"},
        {"a lone continuation byte in C1", "\xc3\xa9\x85", "\xc3\xa9\\x85"},
        {"a C2 lead before text", "\xc2\xa0X", "\xc2\xa0X"},
    };
    for (const auto& c : cases) EXPECT_EQ(pack::shownName(c.name), c.shown) << c.what;
}

}  // namespace
}  // namespace quill
