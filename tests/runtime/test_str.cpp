// Tests of the string library: descriptors, searching, changing, conversions, numbers and
// the arrays kept inside strings.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "runtime/arena.h"
#include "runtime/error.h"
#include "runtime/str.h"
#include "support/fixtures.h"

using namespace vx::rt;

namespace {

using vx::test::text;
Str view(const std::string& s) {
    return Str{s.data(), u16(s.size())};
}

using StrFixture = vx::test::MemTest;
class StrMake : public StrFixture {};
class StrSearch : public StrFixture {};
class StrChange : public StrFixture {};
class StrConvert : public StrFixture {};
class StrErrors : public StrFixture {};

// Quote-aware search done the slow way: a state machine over every byte.
u16 ref_find_sub(const std::string& s, size_t from, const std::string& pat) {
    char quote = 0;
    for (size_t i = from; i < s.size(); i++) {
        char b = s[i];
        if (quote) {
            if (b == quote) quote = 0;
        } else if (b == '\'' || b == '"') {
            quote = b;
        } else if (i + pat.size() <= s.size() && s.compare(i, pat.size(), pat) == 0) {
            return u16(i);
        }
    }
    return NOT_FOUND;
}

}  // namespace

TEST_F(StrMake, CopiesFillsAndJoins) {
    EXPECT_EQ(str_error_code(str_from_cstr(nullptr)), E_DATA);
    EXPECT_EQ(text(str_from_cstr("abc")), "abc");
    EXPECT_EQ(text(str_fill(3, '\xFF')), "\xFF\xFF\xFF");  // 255 is a byte, not "no fill"
    EXPECT_EQ(text(str_repeat(S("ab"), 3)), "ababab");
    EXPECT_EQ(text(str_repeat(S("ab"), 0)), "");
    EXPECT_EQ(text(str_join(S(""), S(","), S("b"))), "b");
    EXPECT_EQ(text(str_join(S("a"), S(","), S(""))), "a");
    EXPECT_EQ(text(str_join(S("a"), S(", "), S("b"))), "a, b");
    EXPECT_EQ(text(str_join_kv(S("k"), S("v"))), "k=v");
    EXPECT_EQ(str_error_code(str_join_kv(S(""), S("v"))), E_DATA);
    EXPECT_EQ(str_error_code(str_join_kv(S("k"), S(""))), E_DATA);
    EXPECT_STREQ(str_to_cstr(S("a\0b")), "a");
    EXPECT_STREQ(str_to_cstr(str_error(150)), "");
    EXPECT_EQ(text(str_overwrite(S("abcdef"), 2, S("XYZW1234"))), "abXYZW");
    EXPECT_EQ(text(str_overwrite(S("abcdef"), -2, S("XYZ"))), "abcdXY");
    EXPECT_EQ(text(str_overwrite(S("abc"), -9, S("X"))), "Xbc");
    EXPECT_EQ(text(str_overwrite(S("abc"), 7, S("X"))), "abc");
}

TEST_F(StrMake, SixteenBitLimits) {
    std::string big(40000, 'x');
    EXPECT_EQ(str_error_code(str_concat(view(big), view(big))), E_STRINGTOOLONG);
    EXPECT_EQ(str_error_code(str_repeat(S("ab"), 0x80000000u)), E_STRINGTOOLONG);
    EXPECT_EQ(str_error_code(str_fill(65536, 'x')), E_STRINGTOOLONG);
    {
        TmpScope scope;  // the longest string is one allocation
        EXPECT_EQ(str_fill(65535, 'x').n, 65535);
    }
    {
        TmpScope scope;
        std::string most(65534, 'x');
        EXPECT_EQ(str_concat(view(most), S("y")).n, 65535);
    }
    std::string s(65535, 'y');
    EXPECT_EQ(str_error_code(str_quote(view(s), '\'')), E_STRINGTOOLONG);
    EXPECT_EQ(str_error_code(str_from_cstr(std::string(70000, 'z').c_str())), E_STRINGTOOLONG);
}

TEST_F(StrMake, FormatStaysInItsBound) {
    EXPECT_EQ(text(str_format(20, "%s-%d-%04x-%ld-%u", "ab", -3, 255, 7L, 9u)), "ab--3-00ff-7-9");
    EXPECT_EQ(text(str_format(5, "%s", "abcde")), "abcde");

    Str free = tmp_free_space();
    std::memset(str_mut(free), 'Z', 32);
    u16 mark = tmp_mark();
    EXPECT_EQ(str_error_code(str_format(5, "%s", "abcdef")), E_STRINGTOOLONG);
    EXPECT_EQ(free.p[6], 'Z');  // five bytes and the terminator at most
    EXPECT_EQ(tmp_mark(), mark);
    EXPECT_EQ(error_code(), E_STRINGTOOLONG);
    EXPECT_EQ(error_module(), M_FORMATSTRINGS);
}

TEST_F(StrMake, Substrings) {
    struct Case {
        const char* s;
        int start;
        u16 count;
        const char* want;
    } cases[] = {
        {"abcdef", -2, 1, "ef"},     {"abcdef", -2, NOT_FOUND, "ef"},
        {"abc", -9, 1, "abc"},       {"abc", 5, 1, ""},
        {"abc", 1, NOT_FOUND, "bc"}, {"abc", 1, 1, "b"},
        {"abc", 2, 9, "c"},          {"abc", 3, 0, ""},
    };
    for (const Case& c : cases) {
        Str s = str_from_cstr(c.s);
        Str r = str_substr(s, c.start, c.count);
        EXPECT_EQ(text(r), c.want) << c.s << " " << c.start;
        EXPECT_TRUE(r.p >= s.p && r.p + r.n <= s.p + s.n);
    }
}

TEST_F(StrSearch, CharPlainAndQuoted) {
    struct Case {
        const char* s;
        u16 from;
        char ch;
        u16 quoted;
        u16 plain;
    } cases[] = {
        {"'a,b',c", 0, ',', 5, 2},
        {"a'b,c", 0, ',', NOT_FOUND, 3},
        {"a,'b", 0, ',', 1, 1},
        {"'a'", 0, '\'', NOT_FOUND, 0},
        {"\"x'y\",'z\"w',q", 0, ',', 5, 5},
        {"\"x'y\",'z\"w',q", 6, ',', 11, 11},
        {"abc", 3, 'c', NOT_FOUND, NOT_FOUND},
        {"abc", 9, 'a', NOT_FOUND, NOT_FOUND},
    };
    for (const Case& c : cases) {
        Str s = str_from_cstr(c.s);
        EXPECT_EQ(str_find_char(s, c.from, c.ch, QUOTED), c.quoted) << c.s;
        EXPECT_EQ(str_find_char(s, c.from, c.ch, PLAIN), c.plain) << c.s;
    }
    EXPECT_EQ(str_find_last_char(S("a,'b,c',d"), ',', QUOTED), 7);
    EXPECT_EQ(str_find_last_char(S("a,'b,c',d"), ',', PLAIN), 7);
    EXPECT_EQ(str_find_last_char(S("a,b,'c,d"), ',', QUOTED), 3);
    EXPECT_EQ(str_find_any(S("x'a;b'c;d"), 0, S(";,"), QUOTED), 7);
    EXPECT_EQ(str_find_any(S("x'a;b'c;d"), 0, S(";,"), PLAIN), 3);
    EXPECT_EQ(str_find_last_any(S("a;b,'c;'"), S(";,"), QUOTED), 3);
    EXPECT_EQ(str_find_nth_char(S("a,'b,c',d,e"), 0, ',', 2, QUOTED), 7);
    EXPECT_EQ(str_find_nth_char(S("a,'b,c',d,e"), 0, ',', 2, PLAIN), 4);
    EXPECT_EQ(str_find_nth_char(S("a,b"), 0, ',', 2, QUOTED), NOT_FOUND);
    EXPECT_EQ(str_find_nth_char(S("a,b"), 0, ',', 0, QUOTED), NOT_FOUND);
    EXPECT_EQ(str_count_char(S("a,'b,c',d,e"), ',', QUOTED), 3);
    EXPECT_EQ(str_count_char(S("a,'b,c',d,e"), ',', PLAIN), 4);
    EXPECT_EQ(str_count_char(S("a,b,'c,d"), ',', QUOTED), 2);  // stops at the open quote
    EXPECT_EQ(str_cstr_len(S("ab\0c")), 2);
    EXPECT_EQ(str_cstr_len(S("abc")), NOT_FOUND);
}

TEST_F(StrSearch, SubstringsPlainAndQuoted) {
    EXPECT_EQ(str_find_sub(S("ab 'xy' xy"), S("xy"), QUOTED), 8);
    EXPECT_EQ(str_find_sub(S("ab 'xy' xy"), S("xy"), PLAIN), 4);
    EXPECT_EQ(str_find_sub(S("ab"), S("abc"), PLAIN), NOT_FOUND);
    EXPECT_EQ(str_find_sub(S("abc"), S(""), PLAIN), NOT_FOUND);
    EXPECT_EQ(str_find_sub(S("a'b c"), S("'b"), QUOTED), NOT_FOUND);  // starts on a quote
    EXPECT_EQ(str_find_sub(S("x a'b' a'b'"), S("a'b'"), QUOTED), 2);
    EXPECT_EQ(str_find_sub_from(S("xyxy"), 1, S("xy"), PLAIN), 2);
    EXPECT_EQ(str_find_last_sub(S("aaa"), S("aa"), PLAIN), 1);
    EXPECT_EQ(str_find_last_sub(S("ab'ab'ab'"), S("ab"), QUOTED), 6);
    EXPECT_EQ(str_count_sub(S("aaaa"), S("aa"), PLAIN), 2);
    EXPECT_EQ(str_count_sub(S("a,'a,a',a"), S("a"), QUOTED), 2);
}

// Random texts of quotes, separators and letters, long enough to cross 16-byte blocks.
TEST_F(StrSearch, QuotedSearchMatchesStateMachine) {
    std::mt19937 rng(12345);
    const std::string dense = "ab,,'\"", sparse = "abcdefghijklmnopqrstuvwxyz,,,,'\"";
    for (int round = 0; round < 4000; round++) {
        const std::string& alphabet = round % 2 ? dense : sparse;
        std::string s(rng() % 150, ' ');
        for (char& c : s) c = alphabet[rng() % alphabet.size()];
        std::string pat = round % 2 ? "," : std::string("a,b").substr(rng() % 3);
        size_t from = s.empty() ? 0 : rng() % (s.size() + 1);
        EXPECT_EQ(str_find_sub_from(view(s), u16(from), view(pat), QUOTED),
                  ref_find_sub(s, from, pat))
            << s << " from " << from << " pat " << pat;
        if (pat.size() == 1) {
            EXPECT_EQ(str_find_char(view(s), u16(from), pat[0], QUOTED),
                      ref_find_sub(s, from, pat));
        }
    }
}

TEST_F(StrSearch, CompareAndEquality) {
    EXPECT_EQ(str_compare(S("ab"), S("abc")), NOT_FOUND);
    EXPECT_EQ(str_compare(S("b"), S("abc")), 1);
    EXPECT_EQ(str_compare(S("abc"), S("abc")), 0);
    EXPECT_EQ(str_compare(S("\x80"), S("a")), 1);  // bytes compare unsigned
    EXPECT_EQ(str_compare_n(S("abcX"), S("abcY"), 3), 0);
    EXPECT_EQ(str_compare_n(S("ab"), S("abc"), 3), NOT_FOUND);
    EXPECT_EQ(str_compare_n(str_error(150), S("a"), 1), E_STROUTBOUND);
    EXPECT_TRUE(str_equal_nocase(S("Si\xe9"), S("sI\xe9")));
    EXPECT_FALSE(str_equal_nocase(S("\xe9"), S("\xc9")));  // only ASCII letters fold
    EXPECT_TRUE(str_all_in_set(S(""), S("x")));
    EXPECT_FALSE(str_all_in_set(S("12a"), S("0123456789")));
    EXPECT_TRUE(str_enclosed(S("(a)"), '('));
    EXPECT_FALSE(str_enclosed(S("("), '('));
}

TEST_F(StrChange, TrimUnquoteClean) {
    struct Case {
        const char* s;
        const char* clean;
    } cases[] = {
        {" abc ", "abc"},           {"abc", "ABC"}, {"'abc'", "abc"}, {"\t'a b' ", "a b"},
        {"\xe9t\xe9", "\xe9T\xe9"}, {"'", "'"},     {"\"a'", "\"A'"}, {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(text(str_clean(str_from_cstr(c.s))), c.clean) << c.s;
    EXPECT_EQ(text(str_trim(S(" \ta \t"), TRIM_LEFT)), "a \t");
    EXPECT_EQ(text(str_trim(S(" \ta \t"), TRIM_RIGHT)), " \ta");
    EXPECT_EQ(text(str_trim_set(S("00120"), TRIM_BOTH, S("0"))), "12");
    EXPECT_EQ(text(str_lower(S("AbC\xC9"))), "abc\xC9");
}

TEST_F(StrChange, QuoteWrapBetween) {
    EXPECT_EQ(text(str_quote(S("ab"), '\'')), "'ab'");
    EXPECT_EQ(text(str_quote(S("a\"b"), '"')), "'a\"b'");
    EXPECT_EQ(str_error_code(str_quote(S("a'\"b"), '"')), E_DATA);
    EXPECT_EQ(text(str_wrap(S("x"), '[')), "[x]");
    EXPECT_EQ(str_partner('<'), '>');
    EXPECT_EQ(str_partner(']'), '[');
    EXPECT_EQ(str_partner('%'), '%');
    struct Case {
        const char* s;
        char open;
        const char* want;
    } cases[] = {
        {"f((a)b)c", '(', "(a)b"}, {"%APNAME%x", '%', "APNAME"},
        {"((a)", '(', ""},         {"abc", '(', ""},
        {"%abc", '%', ""},         {"[a']'b]", '[', "a'"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(text(str_between(str_from_cstr(c.s), c.open, PLAIN)), c.want) << c.s;
    EXPECT_EQ(text(str_between(S("[a']'b]"), '[', QUOTED)), "a']'b");
}

TEST_F(StrChange, ReplaceAndFriends) {
    struct Case {
        const char* s;
        const char* pat;
        const char* rep;
        SearchMode mode;
        const char* want;
    } cases[] = {
        {"a.b.c", ".", "::", PLAIN, "a::b::c"}, {"aaa", "aa", "b", PLAIN, "ba"},
        {"x'a'a", "a", "b", QUOTED, "x'a'b"},   {"x'a'a", "'", "\"", QUOTED, "x\"a\"a"},
        {"abc", "", "z", PLAIN, "abc"},         {"abc", "abc", "", PLAIN, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(text(str_replace(str_from_cstr(c.s), str_from_cstr(c.pat), str_from_cstr(c.rep),
                                   c.mode)),
                  c.want)
            << c.s;

    std::string big(30000, 'a');
    EXPECT_EQ(str_error_code(str_replace(view(big), S("a"), S("bbb"), PLAIN)), E_MEMTEST);
    EXPECT_EQ(error_code(), E_MEMTEST);
    EXPECT_EQ(error_module(), M_STRCONCAT);

    EXPECT_EQ(text(str_collapse(S(",,a,,,b,"), ',', PLAIN)), ",a,b,");
    EXPECT_EQ(text(str_collapse(S("'a  b'  c"), ' ', QUOTED)), "'a  b' c");
    EXPECT_EQ(text(str_keep(S("a1b2c3"), S("0123456789"))), "123");
    EXPECT_EQ(text(str_translate(S("a-b_c"), S("-_"), S("  "))), "a b c");
    EXPECT_EQ(text(str_translate(S("abc"), S("ab"), S("X"))), "Xbc");  // no byte for 'b'
    u16 mark = tmp_mark();
    EXPECT_EQ(text(str_replace_each(S("a&lt;b&gt;"), S("&lt;&gt;"), S("<>"))), "a<b>");
    EXPECT_EQ(tmp_mark(), mark + 1);  // only the result is left
}

TEST_F(StrConvert, YesIntegersAndText) {
    for (const char* yes : {"YES", "si", "Y", "s", "On"})
        EXPECT_TRUE(str_is_yes(str_from_cstr(yes))) << yes;
    for (const char* no : {"", "NO", "YESS", " Y"})
        EXPECT_FALSE(str_is_yes(str_from_cstr(no))) << no;
    struct Case {
        const char* s;
        i16 value;
    } cases[] = {
        {" -12x", -12}, {"+7", 7}, {"si", 1}, {"abc", 0}, {"70000", 4464}, {"\t42", 42}, {"- 1", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(str_to_int(str_from_cstr(c.s)), c.value) << c.s;
    EXPECT_EQ(text_to_int64(S(" -9223372036854775808")), INT64_MIN);
    EXPECT_EQ(text_to_int64(S("12345678901")), 12345678901LL);

    EXPECT_EQ(text(int_to_text(0)), "0");
    EXPECT_EQ(text(int_to_text(-32768)), "-32768");
    EXPECT_EQ(text(int_to_text_base(255, 16)), "FF");
    EXPECT_EQ(text(int_to_text_base(-5, 2)), "-101");
    EXPECT_EQ(text(int_to_text_base(35, 36)), "Z");
    EXPECT_EQ(str_error_code(int_to_text_base(5, 1)), E_DATA);
    EXPECT_EQ(text(int_to_text_padded(5, 3, '0')), "005");
    EXPECT_EQ(text(int_to_text_padded(-1234, 3, '0')), "-1234");
}

TEST_F(StrConvert, DivisionAndRounding) {
    struct Div {
        i64 a, b, q;
    } divs[] = {
        {7, 2, 4}, {-7, 2, -4}, {3, 2, 2},   {1, 2, 0},  {5, 1, 5}, {5, 0, 0},
        {4, 3, 1}, {5, 3, 2},   {-5, 3, -2}, {10, 4, 3}, {9, 4, 2}, {INT64_MIN, -1, INT64_MIN},
    };
    for (const Div& d : divs) EXPECT_EQ(div_round(d.a, d.b), d.q) << d.a << "/" << d.b;
    struct Round {
        i64 v;
        int from, to;
        i64 want;
    } rounds[] = {
        {12345, 3, 1, 12300}, {12350, 3, 1, 12400}, {-12350, 3, 1, -12400}, {50, 2, 0, 100},
        {49, 2, 0, 0},        {5, 0, 2, 500},       {7, 2, 2, 7},
    };
    for (const Round& r : rounds)
        EXPECT_EQ(round_to_decimals(r.v, r.from, r.to), r.want)
            << r.v << " " << r.from << ">" << r.to;
}

TEST_F(StrConvert, ArraysInsideStrings) {
    struct Rec {
        std::int8_t small;
        u8 pad;
        u16 word;
        i64 big;
    };
    Rec recs[3] = {{-5, 0, 7, -9}, {3, 0, 65535, 40}, {-7, 0, 1, 2}};
    const u16 step1 = sizeof(Rec) - 1;
    EXPECT_EQ(array_extreme(&recs[0].small, 3, 1, step1, true), 3);
    EXPECT_EQ(array_extreme(&recs[0].small, 3, 1, step1, false), -7);
    EXPECT_EQ(array_extreme(&recs[0].word, 3, 2, sizeof(Rec) - 2, true), 65535);
    EXPECT_EQ(array_extreme(&recs[0].big, 3, 8, sizeof(Rec) - 8, false), -9);
    EXPECT_EQ(array_extreme(&recs[0].big, 0, 8, 0, true), 0);

    Str block = tmp_alloc(7, 0);  // three whole 16-bit elements
    arr16_set(block, 1, 0xBEEF);
    arr16_set(block, 3, 0x1111);  // beyond: ignored
    EXPECT_EQ(arr16_get(block, 1), 0xBEEF);
    EXPECT_EQ(arr16_get(block, 3), 0);
    EXPECT_EQ(block.p[6], 0);

    Str descs[2] = {S("one"), S("two")};
    Str packed{reinterpret_cast<const char*>(descs), u16(sizeof descs)};
    EXPECT_EQ(text(arrdesc_get(packed, 1)), "two");
    EXPECT_EQ(text(arrdesc_get(packed, 2)), "");

    u32 slots[4] = {5, 6, 0, 0};
    const u32 zero = 0;
    EXPECT_EQ(array_find(slots, 4, &zero, 4), 2);
    EXPECT_EQ(array_find(slots, 2, &zero, 4), NOT_FOUND);
}

TEST_F(StrErrors, ErrorDescriptorsPassThrough) {
    const Str e = str_error(150);
    const u16 mark = tmp_mark();
    const Str results[] = {
        str_copy(e),
        str_repeat(e, 2),
        str_concat(S("a"), e),
        str_concat(e, S("a")),
        str_join(e, S(","), S("b")),
        str_join_kv(S("k"), e),
        str_overwrite(e, 0, S("x")),
        str_substr(e, 0, 1),
        str_trim(e, TRIM_BOTH),
        str_unquote(e),
        str_clean(e),
        str_upper(e),
        str_quote(e, '\''),
        str_wrap(e, '('),
        str_between(e, '(', PLAIN),
        str_replace(e, S("a"), S("b"), PLAIN),
        str_replace(S("a"), S("a"), e, PLAIN),
        str_collapse(e, ' ', PLAIN),
        str_keep(e, S("a")),
        str_translate(e, S("a"), S("b")),
        str_replace_each(e, S("ab"), S("x")),
    };
    for (const Str& r : results) EXPECT_EQ(str_error_code(r), 150);
    EXPECT_EQ(tmp_mark(), mark);
    EXPECT_EQ(error_code(), 0);  // passing an error on records nothing
    EXPECT_EQ(str_find_char(e, 0, 'a', QUOTED), NOT_FOUND);
    EXPECT_EQ(str_find_sub(e, S("a"), PLAIN), NOT_FOUND);
    EXPECT_EQ(str_count_sub(e, S("a"), PLAIN), 0);
    EXPECT_EQ(str_compare(e, S("a")), E_STROUTBOUND);
    EXPECT_FALSE(str_equal(e, e));
    EXPECT_FALSE(str_is_yes(e));
    EXPECT_EQ(str_to_int(e), 0);
    EXPECT_EQ(str_error_code(Str{nullptr, 0}), NOT_FOUND);
}

TEST_F(StrErrors, ViewsLeaveTheArenaAlone) {
    const u16 mark = tmp_mark();
    const ArenaStats before = tmp_stats();
    Str s = S(" 'a,b' , c ");
    str_trim(s, TRIM_BOTH);
    str_unquote(s);
    str_substr(s, 2, 3);
    str_between(s, '\'', PLAIN);
    str_clean(S(" x "));
    str_find_sub(s, S("c"), QUOTED);
    EXPECT_EQ(tmp_mark(), mark);
    EXPECT_EQ(tmp_stats().used, before.used);
}
