// Field types: the type letters, fitting values, typed input, display forms in Spanish and
// English, logical values and the _COMPAT switches that change field conversions.
#include <string>

#include "expr/dates.h"
#include "expr/fields.h"
#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/sysvars.h"
#include "support.h"

using namespace vx::rt;
using namespace vx::expr;
using vx::test::text;

namespace {

using FieldTest = vx::test::VarTest;
class FieldTypes : public FieldTest {};
class FieldFit : public FieldTest {};
class FieldParse : public FieldTest {};
class FieldDisplay : public FieldTest {};
class FieldCompat : public FieldTest {};
class Logical : public FieldTest {};

// One conversion of a field: type, width, input and the expected text.
struct Conv {
    char type;
    u16 width;
    const char* in;
    const char* out;
};

using Op = Str (*)(char, Str, u16);

void check(Op op, const Conv* cases, size_t count, const char* lang) {
    for (size_t i = 0; i < count; i++) {
        const Conv& c = cases[i];
        TmpScope scope;
        EXPECT_EQ(text(op(c.type, str_from_cstr(c.in), c.width)), c.out)
            << lang << " " << c.type << c.width << " \"" << c.in << "\"";
    }
}

template <size_t N>
void check(Op op, const Conv (&cases)[N], const char* lang = "") {
    check(op, cases, N, lang);
}

}  // namespace

TEST_F(FieldTypes, LettersAndKinds) {
    for (char t : std::string("123456789ABCDFLNTV")) EXPECT_TRUE(field_type_valid(t)) << t;
    for (char t : std::string("0PEZa#")) EXPECT_FALSE(field_type_valid(t)) << t;
    EXPECT_FALSE(field_type_valid('\0'));
    for (char t : std::string("ABCDFPTVX")) EXPECT_TRUE(field_type_is_text(t)) << t;
    for (char t : std::string("NL19")) EXPECT_FALSE(field_type_is_text(t)) << t;
}

TEST_F(FieldFit, ValuesToTheStoredForm) {
    const Conv cases[] = {
        {'2', 3, "1234.50", "<error 168>"},
        {'2', 8, "1234.50", " 1234.50"},
        {'2', 7, "1234.50", "1234.50"},
        {'2', 6, "1234.567", "1234.6"},  // decimals given up, rounded
        {'2', 6, "-1234.567", " -1235"},
        {'2', 3, "999.7", "<error 168>"},  // rounding carries past the width
        {'N', 3, "12345", "<error 168>"},
        {'N', 3, "-123", "<error 168>"},
        {'N', 3, "-12", "-12"},
        {'N', 3, " 7 ", "  7"},
        {'N', 0, "", ""},
        {'L', 1, "1", "1"},
        {'L', 1, " ", " "},
        {'A', 5, "ABC", "ABC  "},
        {'A', 3, "ABCDEF", "ABC"},
        {'P', 4, "pw", "pw  "},
        {'B', 4, "12a", "12a "},
        {'C', 4, "12", "12  "},
        {'V', 5, "ABC", "     "},
        {'T', 2, "ABC", "  "},
        {'D', 6, "20170131", "170131"},
        {'D', 8, "20170131", "20170131"},
        {'F', 10, "20170131", "20170131  "},
        {'D', 6, "2017013", "201701"},
        {'X', 3, "xy", "xy "},  // unknown letters as text
    };
    check(field_fit, cases);
}

TEST_F(FieldParse, TypedInputToTheStoredForm) {
    const Conv spanish[] = {
        {'B', 6, "12-34a", "1234  "},
        {'C', 5, "123", "00123"},
        {'C', 4, "1 2", "0102"},
        {'C', 3, "  ", "   "},
        {'C', 3, "12345", "123"},
        {'D', 8, "31/12/99", "19991231"},
        {'D', 6, "31/12/99", "991231"},
        {'D', 8, "32/12/99", "        "},
        {'F', 8, "", "        "},
        {'F', 8, "1/2/17", "20170201"},
        {'L', 1, "s", "1"},
        {'L', 1, "S", "1"},
        {'L', 1, "n", "0"},
        {'L', 1, "y", " "},
        {'L', 1, "", " "},
        {'N', 5, "12.7", "   13"},
        {'N', 5, "007", "    7"},
        {'N', 3, "12345", "<error 168>"},
        {'2', 9, "1234,5", "  1234.50"},
        {'2', 9, "1.234,5", "     1.23"},
        {'2', 6, "-0,5", " -0.50"},
        {'2', 6, "abc", "      "},
        {'2', 6, "", "      "},
        {'A', 3, "hello", "hel"},
        {'V', 2, "x", "  "},
    };
    vx::test::use_language("ES");
    check(field_parse, spanish, "ES");
    const Conv english[] = {
        {'D', 8, "12/31/05", "20051231"}, {'L', 1, "y", "1"},          {'L', 1, "s", " "},
        {'2', 8, "1.5", "    1.50"},      {'2', 8, "1,5", "    1.00"}, {'N', 5, "-3.5", "   -4"},
    };
    vx::test::use_language("EN");
    check(field_parse, english, "EN");
}

TEST_F(FieldParse, EmptyDateIsTodayButBlankInF) {
    TmpScope scope;
    const std::string today = text(date_text(date_today()));
    EXPECT_EQ(text(field_parse('D', S(""), 8)), today);
    EXPECT_EQ(text(field_parse('F', S(" "), 8)), "        ");
    sysint_set(SV_AUXSTAT, AUX_DATE_EMPTY);
    EXPECT_EQ(text(field_parse('D', S(""), 8)), "        ");
}

TEST_F(FieldDisplay, StoredValuesAsShown) {
    const Conv spanish[] = {
        {'2', 8, " 1234.50", " 1234,50"},
        {'2', 8, "-0.5", "   -0,50"},
        {'2', 8, "123456789", "********"},  // never wrong digits
        {'N', 3, "  7", "  7"},
        {'N', 3, "", "   "},
        {'D', 8, "20170805", "05-08-17"},
        {'D', 10, "20170805  ", "05-08-2017"},
        {'D', 8, "        ", "        "},
        {'F', 8, "", "        "},
        {'D', 8, "20170231", "        "},
        {'D', 6, "170805", "170805"},
        {'L', 1, "1", "SI"},
        {'L', 1, "0", "NO"},
        {'L', 1, " ", "  "},
        {'L', 1, "x", "NO"},
        {'L', 4, "1", "SI  "},
        {'A', 4, "ab", "ab  "},
        {'V', 3, "   ", "   "},
    };
    vx::test::use_language("ES");
    check(field_display, spanish, "ES");
    const Conv english[] = {
        {'2', 8, "1234.5", " 1234.50"},
        {'D', 8, "20170805", "08-05-17"},
        {'D', 10, "20170805", "08-05-2017"},
        {'L', 1, "1", "YES"},
        {'L', 1, "0", "NO "},
    };
    vx::test::use_language("EN");
    check(field_display, english, "EN");
}

TEST_F(FieldDisplay, WidthOfLogicalFieldsHoldsTheWords) {
    vx::test::use_language("ES");
    EXPECT_EQ(field_display_width('L', 1), 2);
    EXPECT_EQ(field_display_width('L', 5), 5);
    vx::test::use_language("EN");
    EXPECT_EQ(field_display_width('L', 1), 3);
    EXPECT_EQ(field_display_width('A', 1), 1);
}

TEST_F(FieldCompat, Bit64WidensDigitTypes) {
    EXPECT_EQ(field_display_width('2', 5), 5);
    sysint_set(SV_COMPAT, COMPAT_WHOLE_WIDTH);
    EXPECT_EQ(field_display_width('2', 5), 8);
    EXPECT_EQ(field_display_width('8', 5), 14);
    EXPECT_EQ(field_display_width('9', 5), 5);
    EXPECT_EQ(field_display_width('N', 5), 5);
    TmpScope scope;
    EXPECT_EQ(text(field_display('2', S("12345.67"), 5)), "12345.67");
}

TEST_F(FieldCompat, Bit4WidensSixCharacterDates) {
    TmpScope scope;
    EXPECT_EQ(text(field_read('D', S("991231"))), "991231");
    EXPECT_EQ(text(field_fit('D', S("20051231"), 6)), "051231");
    sysint_set(SV_COMPAT, COMPAT_WIDE_DATES);
    EXPECT_EQ(text(field_read('D', S("991231"))), "19991231");
    EXPECT_EQ(text(field_read('F', S("A51231"))), "20051231");
    EXPECT_EQ(text(field_read('A', S("991231"))), "991231");
    EXPECT_EQ(text(field_read('D', S("19991231"))), "19991231");
    // A date of the 2000s keeps its century through a six-character field.
    for (const char* date : {"20051231", "19991231", "20990101"}) {
        Str stored = field_fit('D', str_from_cstr(date), 6);
        EXPECT_EQ(text(field_read('D', stored)), date);
    }
}

TEST_F(FieldCompat, Bit8CutsDataFileNames) {
    EXPECT_EQ(text(datafile_base_name(S("CUSTOMERS_2017"))), "CUSTOMERS_2017");
    sysint_set(SV_COMPAT, COMPAT_SHORT_NAMES);
    EXPECT_EQ(text(datafile_base_name(S("CUSTOMERS_2017"))), "CUSTOMER");
    EXPECT_EQ(text(datafile_base_name(S("ITEMS"))), "ITEMS");
}

TEST_F(Logical, TypedLettersAndShownWords) {
    struct Case {
        const char* lang;
        const char* typed;
        const char* stored;
        const char* shown;
    } cases[] = {
        {"ES", "s", "1", "SI"},  {"ES", "Si", "1", "SI"}, {"ES", "n", "0", "NO"},
        {"ES", " ", " ", "  "},  {"ES", "y", " ", "  "},  {"EN", "y", "1", "YES"},
        {"EN", "N", "0", "NO "}, {"EN", "s", " ", "   "}, {"EN", "", " ", "   "},
    };
    for (const Case& c : cases) {
        vx::test::use_language(c.lang);
        TmpScope scope;
        Str stored = logical_parse(str_from_cstr(c.typed));
        EXPECT_EQ(text(stored), c.stored) << c.lang << " " << c.typed;
        EXPECT_EQ(text(logical_display(stored, field_display_width('L', 1))), c.shown)
            << c.lang << " " << c.typed;
    }
}
