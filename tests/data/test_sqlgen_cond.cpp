// Conditions of the expression language as SQL: comparisons of fields with evaluated values,
// NULL rows, wildcards, groups, and what is left out so that the server never drops a
// record the evaluator would accept.
#include <string>

#include "data/sqlcond.h"
#include "sqlgen_support.h"

using namespace vx::data;
using namespace vx::rt;
using vx::test::text;

namespace {

class SqlCond : public vx::test::SqlGenTest {
protected:
    void SetUp() override {
        SqlGenTest::SetUp();
        sysint_set(SV_CURFIL, 1);
    }
};

std::string cond(const char* expression, u16 s = 1) {
    TmpScope scope;
    return text(sql_condition(s, str_from_cstr(expression)));
}

}  // namespace

TEST_F(SqlCond, ComparisonsOfFieldsWithValues) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"R{}>5", "\"R\" > 5"},
        {"R{clientes} >= 2.5 && P{1}=='ab'", "\"R\" >= 2.5 AND \"P\" = 'ab'"},
        {"R{}>5||Q{}<>'x    '", "\"R\" > 5 OR (\"Q\" IS NULL OR \"Q\" <> 'x')"},
        // The evaluator pads the field to its width: "x    " differs from 'x' and is greater.
        {"Q{}<>'x'", ""},
        {"Q{}>'x  '", "\"Q\" >= 'x'"},
        {"5<R{} && R{}>1", "\"R\" > 1"},         // a field not first in its item is left out
        {"P{}==\"O'B\"", "\"P\" = E'O\\x27B'"},  // text values are escaped
        {"P{}==\"x' OR '1'='1\"", "\"P\" = E'x\\x27 OR \\x271\\x27=\\x271'"},
        {"R{}>'12'", "\"R\" > 12"},   // a text read as a number, as the evaluator does
        {"P{}>''", ""},               // every blank field is greater than ''
        {"P{}==''", "\"P\" = NULL"},  // and none equals it
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(cond(c.in), c.out) << c.in;
}

TEST_F(SqlCond, NullRowsReadAsZeroOrBlanks) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"R{}==0", "(\"R\" IS NULL OR \"R\" = 0)"},
        {"R{}<5", "(\"R\" IS NULL OR \"R\" < 5)"},
        {"R{}<=-5", "(\"R\" IS NULL OR \"R\" <= -5)"},
        {"R{}<>5", "(\"R\" IS NULL OR \"R\" <> 5)"},
        {"R{}>-1", "(\"R\" IS NULL OR \"R\" > -1)"},
        {"R{}>=0", "(\"R\" IS NULL OR \"R\" >= 0)"},
        {"R{}>0", "\"R\" > 0"},
        {"R{}<>0", "\"R\" <> 0"},
        {"P{}<'B'", "(\"P\" IS NULL OR \"P\" < 'B')"},  // blanks sort before B
        {"P{}>'B'", "\"P\" >= 'B'"},
    };
    for (const Case& c : cases) EXPECT_EQ(cond(c.in), c.out) << c.in;
}

TEST_F(SqlCond, WildcardsBecomeIlikePatternsOfTheSameMeaning) {
    define("fechas", {{"ALTA", 8, 'D'}});
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"NOMBRE{}=='AB*'", "\"NOMBRE\" ILIKE 'AB%'"},
        {"NOMBRE{}=='AB*CD'", "\"NOMBRE\" ILIKE 'AB%'"},   // only the head counts
        {"NOMBRE{}=='*abc'", "\"NOMBRE\" ILIKE '%abc%'"},  // found anywhere
        {"NOMBRE{}=='*ab *cd'", "\"NOMBRE\" ILIKE '%ab%'"},
        {"NOMBRE{}=='a_b%*'",
         "\"NOMBRE\" ILIKE E'a\\\\_b\\\\%%'"},  // LIKE's specials stand for themselves
        {"NOMBRE{}=='*'", "(\"NOMBRE\" IS NULL OR \"NOMBRE\" ILIKE '%%')"},
        {"NOMBRE{}>'AB*'", "\"NOMBRE\" >= 'AB*'"},
    };
    for (const Case& c : cases) EXPECT_EQ(cond(c.in), c.out) << c.in;
    // A date column has no pattern match and takes nothing but whole dates.
    EXPECT_EQ(cond("ALTA{fechas}=='2017*' && ALTA{fechas}>'2016' && ALTA{fechas}<='20161231'", 4),
              "(\"ALTA\" IS NULL OR \"ALTA\" <= '20161231')");
    // With exact string comparison the star is an ordinary character.
    sysint_set(SV_AUXSTAT, 128);
    EXPECT_EQ(cond("NOMBRE{}=='AB*'"), "\"NOMBRE\" = 'AB*'");
}

TEST_F(SqlCond, ValuesAreEvaluatedOnce) {
    ASSERT_EQ(vx::test::assign("A#", vx::test::num("2")), 0);
    ASSERT_EQ(vx::test::assign("N$", vx::test::str("x")), 0);
    EXPECT_EQ(cond("R{}>A#+1"), "\"R\" > 3");
    EXPECT_EQ(cond("R{}>A#*-2 && P{}==N$+'y'"), "(\"R\" IS NULL OR \"R\" > -4) AND \"P\" = 'xy'");
    EXPECT_EQ(cond("R{}>(A#+1)/4"), "\"R\" > 0.75");
    error_clear();
    EXPECT_EQ(cond("R{}>'a'-'b'"), "<error 147>");
    EXPECT_EQ(text(error_detail()), "R{}>'a'-'b'");
    EXPECT_EQ(cond("(R{}>1"), "<error 129>");
}

TEST_F(SqlCond, GroupsAndWhatIsLeftOut) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"(R{}>5||R{}<2)&&P{}=='x'", "(\"R\" > 5 OR (\"R\" IS NULL OR \"R\" < 2)) AND \"P\" = 'x'"},
        {"((R{}>5))", "((\"R\" > 5))"},
        // Left out of an AND chain, an item only widens the result.
        {"A#>1 && R{}>5", "\"R\" > 5"},
        {"R{}>5 && X{pair}=='a' && P{}=='x'", "\"R\" > 5 AND \"P\" = 'x'"},  // another file's field
        {"R{}&4 && R{}>5", "\"R\" > 5"},  // bits say nothing to SQL
        {"R{}+1>5 && R{}>5", "\"R\" > 5"},
        {"R{} && R{}>5", "\"R\" > 5"},
        // Left out of an OR, it would narrow the result: the whole level goes.
        {"A#>1 || R{}>5", ""},
        {"R{}>5 @@ A#>1", ""},
        {"(A#>1 || R{}>5) && P{}=='x'", "\"P\" = 'x'"},
        {"R{}>1;R{}<5", ""},                           // a list: only the last item decides
        {"R{}>IMPORTE{} && P{}=='x'", "\"P\" = 'x'"},  // the value changes with the record
        {"R{}>X{pair}+1 && P{}=='x'", "\"P\" = 'x'"},
    };
    for (const Case& c : cases) EXPECT_EQ(cond(c.in), c.out) << c.in;
}

TEST_F(SqlCond, NotNullColumnsNeedNoNullRows) {
    vx::data::schema_set_not_null(1, 3, true);
    EXPECT_EQ(cond("R{}<5"), "\"R\" < 5");
    EXPECT_EQ(cond("R{}==0"), "\"R\" = 0");
    EXPECT_EQ(cond("R{}>=0 && P{}<'B'"), "\"R\" >= 0 AND (\"P\" IS NULL OR \"P\" < 'B')");
}

TEST_F(SqlCond, SqlTextPassesUnchanged) {
    sysint_set(SV_AUXSTAT, i16(AUXSTAT_CONDITION_IS_SQL));
    EXPECT_EQ(cond("\"R\" BETWEEN 1 AND 2"), "\"R\" BETWEEN 1 AND 2");
}
