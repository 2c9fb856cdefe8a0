// UTF-16 names to the tool's UTF-8 paths and back, as the Windows host and
// its entry points convert them.
#include <gtest/gtest.h>

#include <string>

#include "host/utf16.h"

namespace quill {
namespace {

struct Both {
    const char* what;
    std::u16string wide;
    std::string utf8;
};

void PrintTo(const Both& c, std::ostream* out) { *out << c.what; }

class Utf16BothWays : public ::testing::TestWithParam<Both> {};

TEST_P(Utf16BothWays, EachSpellingGivesTheOther) {
    const auto& c = GetParam();
    EXPECT_EQ(utf8FromUtf16(c.wide), c.utf8);
    std::u16string back = u"left over";
    ASSERT_TRUE(utf16FromUtf8(c.utf8, back));
    EXPECT_EQ(back, c.wide);
}

INSTANTIATE_TEST_SUITE_P(
    Names, Utf16BothWays,
    ::testing::Values(
        Both{"empty", u"", ""},
        Both{"ASCII with separators", u"C:\\game\\S.RD", "C:\\game\\S.RD"},
        Both{"a NUL inside", std::u16string(u"A\0B", 3), std::string("A\0B", 3)},
        Both{"two-byte letters", u"Caf\u00e9 \u00ff", "Caf\xC3\xA9 \xC3\xBF"},
        Both{"the last two-byte and first three-byte", u"\u07FF\u0800", "\xDF\xBF\xE0\xA0\x80"},
        Both{"Greek and Cyrillic", u"\u0395\u03bb\\\u041a", "\xCE\x95\xCE\xBB\\\xD0\x9A"},
        Both{"the euro sign and the last BMP character", u"\u20AC\uFFFF", "\xE2\x82\xAC\xEF\xBF\xBF"},
        Both{"a pair: four bytes", u"\U0001F600", "\xF0\x9F\x98\x80"},
        Both{"the last code point", u"\U0010FFFF", "\xF4\x8F\xBF\xBF"},
        // Surrogates without a partner, which Windows names may hold: three bytes each.
        Both{"a lone high surrogate", std::u16string(1, char16_t(0xD83D)) + u"x", "\xED\xA0\xBDx"},
        Both{"a lone low surrogate", std::u16string(1, char16_t(0xDE00)), "\xED\xB8\x80"},
        Both{"a high surrogate at the end", u"a" + std::u16string(1, char16_t(0xDBFF)), "a\xED\xAF\xBF"},
        Both{"low before high is no pair", std::u16string{char16_t(0xDC00), char16_t(0xD800)},
             "\xED\xB0\x80\xED\xA0\x80"}));

struct NotUtf8 {
    const char* what;
    std::string bytes;
};

void PrintTo(const NotUtf8& c, std::ostream* out) { *out << c.what; }

class Utf8Refused : public ::testing::TestWithParam<NotUtf8> {};

TEST_P(Utf8Refused, IsNoName) {
    std::u16string wide;
    EXPECT_FALSE(utf16FromUtf8(GetParam().bytes, wide));
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, Utf8Refused,
    ::testing::Values(NotUtf8{"a code-page byte", "A\xE4.BIN"},
                      NotUtf8{"a stray continuation byte", "\x80"},
                      NotUtf8{"a lead byte at the end", "ab\xCE"},
                      NotUtf8{"a lead byte before ASCII", "\xCE" "A"},
                      NotUtf8{"a three-byte sequence cut short", "\xE2\x82"},
                      NotUtf8{"a four-byte sequence cut short", "\xF0\x9F\x98"},
                      NotUtf8{"an overlong slash", "\xC0\xAF"},
                      NotUtf8{"an overlong dot in three bytes", "\xE0\x80\xAE"},
                      NotUtf8{"an overlong BMP character in four bytes", "\xF0\x8F\xBF\xBF"},
                      NotUtf8{"past the last code point", "\xF4\x90\x80\x80"},
                      NotUtf8{"a lead byte no sequence has", "\xF8\x88\x80\x80\x80"},
                      NotUtf8{"0xFF", "\xFF"},
                      // The pair has one spelling, in four bytes.
                      NotUtf8{"a pair spelt as two halves", "\xED\xA0\xBD\xED\xB8\x80"}));

TEST(Utf16, EveryUnitAloneAndInPairsComesBackUnchanged) {
    int checked = 0;
    for (unsigned unit = 0; unit <= 0xFFFF; ++unit) {
        const std::u16string wide{u'[', static_cast<char16_t>(unit), u']'};
        std::u16string back;
        ASSERT_TRUE(utf16FromUtf8(utf8FromUtf16(wide), back)) << unit;
        ASSERT_EQ(back, wide) << unit;
        ++checked;
    }
    for (unsigned high = 0xD800; high <= 0xDBFF; high += 0x3F) {
        for (unsigned low = 0xDC00; low <= 0xDFFF; low += 0x3F) {
            const std::u16string wide{static_cast<char16_t>(high), static_cast<char16_t>(low)};
            const std::string text = utf8FromUtf16(wide);
            ASSERT_EQ(text.size(), 4u) << high << " " << low;
            std::u16string back;
            ASSERT_TRUE(utf16FromUtf8(text, back)) << high << " " << low;
            ASSERT_EQ(back, wide);
            ++checked;
        }
    }
    EXPECT_GT(checked, 0x10000);
}

}  // namespace
}  // namespace quill
