// The text of labels: Latin-1 bytes to UTF-8, the characters of typed text,
// the escaping for terminals and the width in the table.
#include "batch/label_text.h"

#include <gtest/gtest.h>

#include "batch/options.h"

namespace {

using namespace batch;

TEST(LabelText, EachByteIsOneCharacter) {
    struct Case {
        std::string bytes;
        std::string utf8;
    };
    for (const Case& c : std::vector<Case>{{"Base Fx", "Base Fx"},
                                           {"M\xf8ment", "M\u00f8ment"},
                                           {"\xe9\xff\x80", "\u00e9\u00ff\u0080"},
                                           // Bytes that happen to be UTF-8 are Latin-1 too.
                                           {"\xc3\xa9", "\u00c3\u00a9"},
                                           {std::string("a\0b", 3), std::string("a\0b", 3)},
                                           {"", ""}}) {
        const std::string u = label_utf8(c.bytes);
        EXPECT_EQ(u, c.utf8) << c.bytes;
        EXPECT_EQ(text_width(u), c.bytes.size()) << c.bytes;
        EXPECT_EQ(code_points(u).size(), c.bytes.size()) << c.bytes;
    }
    // Typed text: UTF-8 where well-formed, other bytes as Latin-1.
    EXPECT_EQ(code_points("M\u00f8"), U"M\u00f8");
    EXPECT_EQ(code_points("M\xf8"), U"M\u00f8");
    EXPECT_EQ(code_points("\xe0\x80\x80"), U"\u00e0\u0080\u0080");  // overlong
    EXPECT_EQ(code_points("\xed\xa0\x80"), U"\u00ed\u00a0\u0080");  // surrogate
    EXPECT_EQ(code_points("\xc3"), U"\u00c3");                      // cut short
    EXPECT_EQ(text_width("M\xf8\xa9 \u20ac"), 5U);
}

TEST(LabelText, ControlCharactersAreShownEscaped) {
    struct Case {
        std::string text;
        std::string shown;
    };
    for (const Case& c : std::vector<Case>{
             {"Fx\r\nTotal\t1", "Fx\\r\\nTotal\\t1"},
             {"\x1b[31mred\x1b[0m", "\\x1b[31mred\\x1b[0m"},
             {std::string("\0\x01\x1f\x7f", 4), "\\x00\\x01\\x1f\\x7f"},
             {label_utf8("\x80\x9b\x9f\xa0\xe9"), "\\x80\\x9b\\x9f\u00a0\u00e9"},
             {"back\\slash ~", "back\\slash ~"},
             {"\xff\xfe raw", "\xff\xfe raw"},  // not UTF-8: kept, no control character
             {"\u20ac", "\u20ac"}}) {
        EXPECT_EQ(printable(c.text), c.shown) << c.text;
    }
}

TEST(LabelText, PatternsMatchCharacters) {
    const std::string moment = label_utf8("M\xf8ment");
    struct Case {
        std::string pattern;
        bool match;
    };
    for (const Case& c : std::vector<Case>{{"m?ment", true},
                                           {"m??ment", false},
                                           {"M\u00d8MENT", true},
                                           {"m\xf8*", true},
                                           {"[\u00f8\u00d8]*", false},
                                           {"?[\u00d8]ment", true},
                                           {"m[a-z]ment", false},
                                           {"m[\u00e0-\u00fe]ment", true},
                                           {"*ENT", true}}) {
        EXPECT_EQ(glob_match(c.pattern, moment), c.match) << c.pattern;
    }
}

}  // namespace
