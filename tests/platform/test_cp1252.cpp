// Windows-1252 and Unicode: the whole table, round trips and malformed UTF-8.
#include <gtest/gtest.h>

#include <string>

#include "platform/cp1252.h"

using namespace vx::platform;

TEST(Cp1252, SpecialRangeAndLatin1) {
    struct Case {
        unsigned char byte;
        char16_t unicode;
    } cases[] = {
        {0x00, 0x0000}, {'A', u'A'},    {0x7F, 0x007F}, {0x80, 0x20AC}, {0x81, 0x0081},
        {0x82, 0x201A}, {0x8A, 0x0160}, {0x8D, 0x008D}, {0x8F, 0x008F}, {0x90, 0x0090},
        {0x92, 0x2019}, {0x96, 0x2013}, {0x99, 0x2122}, {0x9D, 0x009D}, {0x9F, 0x0178},
        {0xA0, 0x00A0}, {0xBF, 0x00BF}, {0xE1, 0x00E1}, {0xF1, 0x00F1}, {0xFF, 0x00FF},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(cp1252_to_unicode(c.byte), c.unicode) << int(c.byte);
        EXPECT_EQ(cp1252_from_unicode(c.unicode), c.byte) << int(c.byte);
    }
}

TEST(Cp1252, EveryByteSurvivesBothRoundTrips) {
    std::string all;
    for (int b = 0; b < 256; b++) all += char(b);
    EXPECT_EQ(utf8_to_cp1252(cp1252_to_utf8(all)), all);
    EXPECT_EQ(utf16_to_cp1252(cp1252_to_utf16(all)), all);
    for (int b = 0; b < 256; b++) EXPECT_EQ(cp1252_from_unicode(cp1252_to_unicode(b)), b);
}

TEST(Cp1252, CharactersWithoutAByte) {
    EXPECT_EQ(cp1252_from_unicode(0x0080), -1) << "the byte 0x80 is the euro sign, not U+0080";
    EXPECT_EQ(cp1252_from_unicode(0x0100), -1);
    EXPECT_EQ(cp1252_from_unicode(0x1F600), -1);
    EXPECT_EQ(utf8_to_cp1252("a\xE2\x82\xAC"
                             "b\xC4\x80"
                             "c\xF0\x9F\x98\x80"),
              "a\x80"
              "b?c?");
    EXPECT_EQ(utf16_to_cp1252(u"\u20AC\u0100\U0001F600x"), "\x80??x");
}

TEST(Cp1252, MalformedUtf8BecomesQuestionMarks) {
    struct Case {
        std::string in, out;
    } cases[] = {
        {"\xC3", "?"},  // cut short at the end
        {"\xC3"
         "A",
         "?A"},                        // continuation missing
        {"\x80\xBF", "??"},            // stray continuation bytes
        {"\xC0\xAF", "??"},            // overlong form of '/'
        {"\xE0\x80\xAF", "???"},       // overlong three-byte form
        {"\xED\xA0\x80", "???"},       // a surrogate
        {"\xF4\x90\x80\x80", "????"},  // past U+10FFFF
        {"\xFF"
         "z",
         "?z"},
        {"caf\xC3\xA9", "caf\xE9"},
    };
    for (const auto& c : cases) EXPECT_EQ(utf8_to_cp1252(c.in), c.out);
    EXPECT_EQ(utf16_to_cp1252(std::u16string(1, char16_t(0xD800)) + u"x"), "?x")
        << "a lone surrogate";
}
