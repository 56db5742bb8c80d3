// Literals and identifiers of generated SQL: nothing in a text can close them early.
#include "data/sqltext.h"
#include "support/fixtures.h"

using namespace vx::data;
using namespace vx::rt;
using vx::test::text;

namespace {

class SqlText : public vx::test::MemTest {};

}  // namespace

TEST_F(SqlText, LiteralsQuoteOrEscapeEveryQuote) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"abc", "'abc'"},
        {"", "''"},
        {"O'Brien", "E'O\\x27Brien'"},
        {"say \"hi\"", "E'say \\x22hi\\x22'"},
        {"a\\b", "'a\\b'"},  // without quotes the backslash is an ordinary character
        {"\\'; DROP TABLE t; --", "E'\\\\\\x27; DROP TABLE t; --'"},
        {"x\\", "'x\\'"},
    };
    for (const Case& c : cases) {
        TmpScope scope;
        EXPECT_EQ(text(sql_escape(str_from_cstr(c.in))), c.out) << c.in;
    }
}

TEST_F(SqlText, IdentifiersDoubleTheirQuotes) {
    TmpScope scope;
    EXPECT_EQ(text(sql_ident(S("clientes"))), "\"clientes\"");
    EXPECT_EQ(text(sql_ident(S("a\"b"))), "\"a\"\"b\"");
}
