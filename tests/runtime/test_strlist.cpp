// Tests of lists (comma lists and others, quote-aware) and option strings.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "support/fixtures.h"
#include "runtime/arena.h"
#include "runtime/error.h"
#include "runtime/str.h"

using namespace vx::rt;

namespace {

using vx::test::text;

using ListFixture = vx::test::MemTest;
class ListOps : public ListFixture {};
class ListEdit : public ListFixture {};
class OptStrings : public ListFixture {};

}  // namespace

TEST_F(ListOps, CountAndItems) {
    struct Case {
        const char* list;
        u16 count;
    } counts[] = {
        {"", 0},       {"a", 1}, {"a,b,", 3}, {",", 2}, {"'a,b',c", 2}, {"\"a,'b\",c,'d", 3},
        {"a,'b,c", 2},
    };
    for (const Case& c : counts)
        EXPECT_EQ(list_count(str_from_cstr(c.list), ','), c.count) << c.list;

    const Str ab = S("a,b");
    EXPECT_EQ(text(list_item(ab, ',', 2)), "b");
    EXPECT_EQ(text(list_item(ab, ',', 3)), "");
    EXPECT_EQ(list_item(ab, ',', 3).p, ab.p + ab.n);
    EXPECT_EQ(text(list_item(ab, ',', 0)), "");
    EXPECT_EQ(text(list_item(S("'x,y',z"), ',', 1)), "'x,y'");
    EXPECT_EQ(text(list_item(S("a,b,"), ',', 3)), "");
    // NUL-separated lists are split plainly: quotes do not protect a separator.
    const Str nul = S("a'\0b'\0c");
    EXPECT_EQ(list_count(nul, '\0'), 3);
    EXPECT_EQ(text(list_item(nul, '\0', 2)), "b'");
}

// Finding, counting and indexing must agree with splitting item by item, also around
// quotes, empty items and separators that cross 16-byte blocks.
TEST_F(ListOps, FindAgreesWithSplit) {
    std::mt19937 rng(777);
    const std::string dense = "ab,,,'\"", sparse = "abcdefghijklmnop,,,,'\"";
    for (int round = 0; round < 2000; round++) {
        const std::string& alphabet = round % 2 ? dense : sparse;
        std::string list(rng() % 100, ' ');
        for (char& c : list) c = alphabet[rng() % alphabet.size()];
        const Str l{list.data(), u16(list.size())};
        const u16 mark = tmp_mark();
        const StrArray items = list_split(l, ',');
        ASSERT_EQ(items.count, list_count(l, ','));
        for (u16 n = 1; n <= items.count + 1; n++) {
            const Str probe = array_item(items, n);
            ASSERT_TRUE(str_equal(list_item(l, ',', n), probe)) << list << " item " << n;
            u16 first = 0;
            for (u16 k = 1; k <= items.count && !first; k++)
                if (str_equal(array_item(items, k), probe)) first = k;
            ASSERT_EQ(list_find(l, ',', probe), first) << list << " find " << text(probe);
        }
        tmp_release(mark);
    }
}

TEST_F(ListOps, FindAndLengths) {
    EXPECT_EQ(list_find(S("a,b"), ',', S("A")), 0);
    EXPECT_EQ(list_find(S("a,b"), ',', S("b")), 2);
    EXPECT_EQ(list_find(S("ab,b"), ',', S("b")), 2);  // whole items only
    EXPECT_EQ(list_find(S("a,,b"), ',', S("")), 2);
    EXPECT_EQ(list_find(S(""), ',', S("")), 0);
    EXPECT_EQ(list_find(S("'a,b',c"), ',', S("'a,b'")), 1);
    EXPECT_EQ(list_find(S("a"), ',', S("abc")), 0);
    EXPECT_EQ(list_max_len(S("'abc',de,\"\""), ','), 3);
    EXPECT_EQ(list_min_len(S("'abc',de,\"\""), ','), 0);
    EXPECT_EQ(list_min_len(S("abc,de"), ','), 2);
    EXPECT_EQ(list_max_len(S(""), ','), 0);
    EXPECT_EQ(list_min_len(S(""), ','), 0);
    EXPECT_EQ(list_item_int(S("a, 12 ,yes"), ',', 2), 12);
    EXPECT_EQ(list_item_int(S("a, 12 ,yes"), ',', 3), 1);
}

TEST_F(ListOps, SplitIntoDescriptors) {
    const u16 mark = tmp_mark();
    StrArray a = list_split(S("x,'y,z',,w"), ',');
    ASSERT_EQ(a.error, 0);
    ASSERT_EQ(a.count, 4);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(a.items) % alignof(Str), 0u);
    EXPECT_EQ(text(array_item(a, 2)), "'y,z'");
    EXPECT_EQ(text(array_item(a, 3)), "");
    EXPECT_EQ(text(array_item(a, 4)), "w");
    EXPECT_EQ(text(array_item(a, 5)), "");
    EXPECT_EQ(text(array_item(a, 0)), "");
    EXPECT_EQ(tmp_mark(), mark + 1);
    EXPECT_EQ(list_split(S(""), ',').count, 0);
    EXPECT_EQ(list_split(str_error(150), ',').error, 150);
    std::string many(20000, ',');  // 20001 descriptors do not fit one allocation
    EXPECT_EQ(list_split(Str{many.data(), u16(many.size())}, ',').error, E_OUTOFMEMORY);
}

TEST_F(ListOps, Ranges) {
    struct Case {
        const char* item;
        i64 value;
        bool in;
    } cases[] = {
        {"1-5", 3, true}, {"1-5", 5, true},   {"1-5", 6, false}, {"7", 7, true},
        {"7", 8, false},  {"1-3-9", 8, true}, {"", 0, false},    {" 10 - 20 ", 10, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(range_contains(str_from_cstr(c.item), c.value), c.in) << c.item << " " << c.value;
    EXPECT_EQ(list_find_range(S("1-3,5,8-9"), 8), 3);
    EXPECT_EQ(list_find_range(S("1-3,5,8-9"), 4), 0);
}

TEST_F(ListOps, ViewsLeaveTheArenaAlone) {
    const u16 mark = tmp_mark();
    const Str list = S("NEW,TOP,PRV,'R,LD',NXT");
    EXPECT_EQ(list_count(list, ','), 5);
    EXPECT_EQ(list_find(list, ',', S("NXT")), 5);
    list_item(list, ',', 4);
    list_max_len(list, ',');
    list_find_range(S("1-2"), 1);
    list_item_int(S("A"), ',', 1);
    opt_find(S("K=1"), S("K"), 0);
    opt_value(S("K='1'"), S("K"), OPT_UNQUOTE);
    EXPECT_EQ(tmp_mark(), mark);
}

TEST_F(ListEdit, SetItem) {
    struct Case {
        const char* list;
        int n;
        const char* value;
        const char* want;
    } cases[] = {
        {"a,b", 4, "x", "a,b,,x"},
        {"a,b", 0, "x", "a,b,x"},
        {"a,b", -1, "", "b"},
        {"a,b", -2, "", "a"},
        {"", 1, "x", "x"},
        {"", 3, "x", ",,x"},
        {"", 0, "x", "x"},
        {"a,b,c", 2, "XY", "a,XY,c"},
        {"a,b", -3, "", "a,b"},
        {"a", -1, "", ""},
        {"'a,b',c", 2, "d", "'a,b',d"},
        {"'a,b',c", -1, "", "c"},
        {"a,b,c", -2, "", "a,c"},
        {"a,b", INT32_MIN, "", "a,b"},
        {"a,", 2, "z", "a,z"},
    };
    for (const Case& c : cases) {
        const u16 mark = tmp_mark();
        EXPECT_EQ(text(list_set_item(str_from_cstr(c.list), ',', c.n, str_from_cstr(c.value))),
                  c.want)
            << c.list << " " << c.n;
        tmp_release(mark);
    }
    EXPECT_EQ(str_error_code(list_set_item(S("a"), ',', 70000, S("x"))), E_STRINGTOOLONG);
    EXPECT_EQ(str_error_code(list_set_item(S("a"), ',', 1, str_error(150))), 150);
}

TEST_F(ListEdit, UnionAndDifference) {
    EXPECT_EQ(text(list_union(S("a,b"), ',', S("b,c"), ',')), "a,b,c");
    EXPECT_EQ(text(list_union(S(""), ',', S("x,y"), ',')), "x,y");
    EXPECT_EQ(text(list_union(S("a;b"), ';', S("b,c,,d"), ',')), "a;b;c;d");
    EXPECT_EQ(text(list_difference(S("a,b,c"), ',', S("b"), ',')), "a,c");
    EXPECT_EQ(text(list_difference(S("a,b"), ',', S("a,b"), ',')), "");
    EXPECT_EQ(text(list_difference(S("a;'b;c';d"), ';', S("d"), ',')), "a;'b;c'");
    EXPECT_EQ(str_error_code(list_union(str_error(150), ',', S("a"), ',')), 150);
}

TEST_F(OptStrings, ValuesByKey) {
    struct Case {
        const char* text;
        const char* key;
        u8 flags;
        const char* want;
    } cases[] = {
        {"/APNAME=VX /X=1", "APNAME", 0, "VX"},
        {"XAPNAME=1 /APNAME=2", "APNAME", 0, "2"},  // a longer key ending in KEY is not KEY
        {"XAPNAME=1", "APNAME", 0, ""},
        {"APNAMEX=1 APNAME=2", "APNAME", 0, "2"},
        {"A=1 A:2", "A", 0, "2"},  // ':' is tried first
        {"NAME:'a b' X:1", "NAME", OPT_UNQUOTE, "a b"},
        {"NAME:'a b' X:1", "NAME", 0, "'a b'"},
        {"K=' a:b '", "K", OPT_CLEANED, " a:b "},
        {"K=abc&L=2", "K", OPT_CLEANED, "ABC"},
        {"T='x K=1' K=2", "K", 0, "2"},         // inside quotes in quote-aware mode
        {"T='x K=1' K=2", "K", OPT_PLAIN, ""},  // plain mode wants NUL before the key
        {"K=", "K", 0, ""},
        {"k=1", "K", 0, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(text(opt_value(str_from_cstr(c.text), str_from_cstr(c.key), c.flags)), c.want)
            << c.text << " / " << c.key;

    const Str plain = S("A=1\0B=a b\0C:3");
    EXPECT_EQ(text(opt_value(plain, S("B"), OPT_PLAIN)), "a b");
    EXPECT_EQ(text(opt_value(plain, S("C"), OPT_PLAIN)), "3");
    EXPECT_EQ(text(opt_value(S("XB=2"), S("B"), OPT_PLAIN)), "");
}

TEST_F(OptStrings, PositionsAndCopies) {
    OptPos at = opt_find(S("/K=12 x"), S("K"), 0);
    EXPECT_EQ(at.pos, 3);
    EXPECT_EQ(at.len, 2);
    EXPECT_FALSE(opt_find(S("/K=12"), S(""), 0).found());
    EXPECT_TRUE(opt_find(S("K="), S("K"), 0).found());

    const Str line = S("%APNAME%='x' K='y'");
    const u16 mark = tmp_mark();
    Str raw = opt_value_copy(line, S("%APNAME%"));
    EXPECT_EQ(text(raw), "'x'");
    EXPECT_TRUE(raw.p < line.p || raw.p >= line.p + line.n);  // a copy, not a view
    EXPECT_EQ(text(opt_value_copy(line, S("K"))), "y");
    EXPECT_EQ(text(opt_value_copy(line, S("Z"))), "");
    EXPECT_EQ(tmp_mark(), mark + 3);
    EXPECT_EQ(str_error_code(opt_value(str_error(150), S("K"), 0)), 150);
    EXPECT_EQ(str_error_code(opt_value_copy(S("K=1"), str_error(151))), 151);
}
