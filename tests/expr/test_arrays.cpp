// Arrays: declaration on first read, positions and bounds, element conversions, string
// elements and the declaration errors.
#include <string>

#include "expr/vars.h"
#include "runtime/error.h"
#include "support.h"

using namespace vx::rt;
using namespace vx::expr;
using namespace vx::test;

namespace {

using Array = vx::test::VarTest;

}  // namespace

TEST_F(Array, FirstReadDeclaresWithItsSubscripts) {
    EXPECT_EQ(read_text("X#(2;3)"), "0.00");
    ArrayInfo info;
    ASSERT_EQ(array_info(S("X#"), &info), 0);
    EXPECT_EQ(info.type, ARRAY_NUM);
    EXPECT_EQ(info.dims, 2);
    EXPECT_EQ(info.sizes[0], 3);
    EXPECT_EQ(info.sizes[1], 4);
    EXPECT_EQ(info.count, 12u);
    EXPECT_EQ(read_text("X#(3;0)"), "<error 168>");   // position 12 of 12
    EXPECT_EQ(read_text("X#(0;5)"), "0.00");          // position 5: inside the block
    EXPECT_EQ(read_text("X#(0;-1)"), "<error 168>");
    EXPECT_EQ(read_text("X#(1;2;0)"), "<error 149>"); // more subscripts than dimensions
}

TEST_F(Array, AssignmentNeedsAnExistingArray) {
    EXPECT_EQ(assign("Y#(1)", num("5")), E_DIMSTRUC);
    EXPECT_FALSE(var_find(S("Y#(1)")).found());
    EXPECT_EQ(read_text("Z(1;1;1;1;1)"), "<error 149>");
    EXPECT_FALSE(var_find(S("Z(1)")).found());
}

TEST_F(Array, ElementsTakeTheArraysKind) {
    u16 dims[] = {4, 2};
    ASSERT_EQ(array_declare(S("I"), ARRAY_INT, dims, 2, 0), 0);
    ASSERT_EQ(array_declare(S("N#"), ARRAY_NUM, dims, 2, 0), 0);
    ASSERT_EQ(array_declare(S("T$"), ARRAY_STR, dims, 2, 5), 0);
    struct Case { const char* element; vx::expr::Value value; const char* reads; } cases[] = {
        {"I(1;1)", num("3.6"), "3.00"},      // truncated toward zero, unlike integer variables
        {"I(2;0)", num("-3.6"), "-3.00"},
        {"I(4;2)", num("40000.9"), "-25536.00"},
        {"N#(0;2)", num("7.25"), "7.25"},
        {"T$(3;1)", str("abcdefgh"), "abcde"},   // cut to the element width
        {"T$(3;2)", str("ab"), "ab"},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(assign(c.element, c.value), 0) << c.element;
        EXPECT_EQ(read_text(c.element), c.reads) << c.element;
    }
    EXPECT_EQ(read_text("N#(1;1)"), "0.00");
    EXPECT_EQ(read_text("T$(0;0)"), "");
    EXPECT_EQ(assign("T$(0;0)", num("1")), E_TYPEMISMATCH);
    EXPECT_EQ(assign("N#(0;0)", str("x")), E_TYPEMISMATCH);
    // Subscripts may be variables and named constants.
    ASSERT_EQ(assign("K", num("4")), 0);
    EXPECT_EQ(read_text("I(K;.null$)"), "<error 128>");
    EXPECT_EQ(read_text("I(K;2)"), "-25536.00");
}

TEST_F(Array, DeclarationErrors) {
    u16 five[] = {1, 1, 1, 1, 1};
    u16 zeros[] = {0, 0};
    u16 one[] = {1};
    struct Case { const char* name; u16 type; const u16* dims; u16 n; u16 code; } cases[] = {
        {"A", ARRAY_INT, five, 5, E_DIMSTRUC},
        {"A", 9, one, 1, E_TYPEMISMATCH},
        {"A", ARRAY_INT, zeros, 2, E_SYNTAX},
        {"A", ARRAY_INT, zeros, 0, E_SYNTAX},
        {"A,B", ARRAY_INT, one, 1, E_VARNAME},
    };
    for (const auto& c : cases)
        EXPECT_EQ(array_declare(str_from_cstr(c.name), c.type, c.dims, c.n, 0), c.code) << c.name << " " << c.n;
    u16 huge[] = {65534, 65534};
    EXPECT_EQ(array_declare(S("H#"), ARRAY_NUM, huge, 2, 0), E_OUTOFMEMORY);
}

TEST_F(Array, DeclaringAgainGivesANewZeroedArray) {
    u16 small[] = {2};
    u16 larger[] = {9, 9};
    ASSERT_EQ(array_declare(S("R#"), ARRAY_NUM, small, 1, 0), 0);
    ASSERT_EQ(array_declare(S("Q#"), ARRAY_NUM, small, 1, 0), 0);
    ASSERT_EQ(assign("R#(2)", num("5")), 0);
    ASSERT_EQ(assign("Q#(2)", num("6")), 0);
    ASSERT_EQ(array_declare(S("R#"), ARRAY_NUM, small, 1, 0), 0);
    EXPECT_EQ(read_text("R#(2)"), "0.00");
    for (int i = 0; i < 200; i++) ASSERT_EQ(array_declare(S("R#"), ARRAY_NUM, larger, 2, 0), 0);
    EXPECT_EQ(read_text("R#(9;9)"), "0.00");
    EXPECT_EQ(read_text("Q#(2)"), "6.00");
}
