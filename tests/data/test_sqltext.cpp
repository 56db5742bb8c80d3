// Literals and identifiers of generated SQL: nothing in a text can close them early.
#include <cstring>

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
        // A backslash reads the same on every server only inside E'...'.
        {"a\\b", "E'a\\\\b'"},
        {"\\'; DROP TABLE t; --", "E'\\\\\\x27; DROP TABLE t; --'"},
        {"x\\", "E'x\\\\'"},
    };
    for (const Case& c : cases) {
        TmpScope scope;
        EXPECT_EQ(text(sql_escape(str_from_cstr(c.in))), c.out) << c.in;
    }
}

TEST_F(SqlText, ServerTextsBecomePlainAsciiLiterals) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"abc", "E'abc'"},
        {"", "E''"},
        {"\xE6\xBC\xA2\xE5\xAD\x97", "E'\\u6F22\\u5B57'"},  // CJK
        {"a\xF0\x9F\x98\x80"
         "b",
         "E'a\\U0001F600b'"},  // emoji beyond the BMP
        {"ni\xC3\xB1o", "E'ni\\u00F1o'"},
        {"O'B\"\\", "E'O\\x27B\\x22\\\\'"},
        {"\xFF\xC3", "E'\\xFF\\xC3'"},  // malformed: byte by byte
        {"\xE6\xBC", "E'\\xE6\\xBC'"},  // cut short
    };
    for (const Case& c : cases) {
        TmpScope scope;
        EXPECT_EQ(text(sql_escape_server(c.in, u32(std::strlen(c.in)))), c.out) << c.in;
    }
}

TEST_F(SqlText, IdentifiersDoubleTheirQuotes) {
    TmpScope scope;
    EXPECT_EQ(text(sql_ident(S("clientes"))), "\"clientes\"");
    EXPECT_EQ(text(sql_ident(S("a\"b"))), "\"a\"\"b\"");
}
