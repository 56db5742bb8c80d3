// Field references NAME{FILE} in expressions: resolving file and field, reading the current
// image of the record buffer, writing fitted values, the mixed-operand rule, and errors with
// their contexts.
#include <string>

#include "expr/fieldref.h"
#include "expr/structs.h"
#include "runtime/store.h"
#include "runtime/sysvars.h"
#include "test_eval_support.h"

using namespace vx::rt;
using namespace vx::expr;
using namespace vx::test;

namespace {

// Structure 1 "sales": CODE A5, AMOUNT 2 (8), QTY N4, DAY D8, OK L1, PASS P4 (30 bytes);
// structure 2 "empty" with one field and no record buffer.
class FieldRefTest : public EvalTest {
protected:
    void SetUp() override {
        EvalTest::SetUp();
        ASSERT_EQ(struct_define(1, S("sales"), S("data")), 0);
        for (auto f : {F{"CODE", 5, 'A'}, F{"AMOUNT", 8, '2'}, F{"QTY", 4, 'N'}, F{"DAY", 8, 'D'},
                       F{"OK", 1, 'L'}, F{"PASS", 4, 'P'}})
            ASSERT_EQ(struct_add_field(str_from_cstr(f.name), f.width, f.type), 0);
        ASSERT_EQ(struct_define(2, S("empty"), S("data")), 0);
        ASSERT_EQ(struct_add_field(S("NAME"), 6, 'A'), 0);
        std::string current = "AB123 1234.50  1220240131" "1" "0042";
        ASSERT_EQ(current.size(), 30u);
        record = current + current;
        ASSERT_EQ(store_set(RECORD_LIST, 0, view(record)), 0);
    }
    std::string image(u16 file) {
        Str r = store_get(RECORD_LIST, u16(file - 1));
        return std::string(r.p, r.n);
    }
    struct F {
        const char* name;
        u16 width;
        char type;
    };
    std::string record;
};
using FieldRefs = FieldRefTest;

}  // namespace

TEST_F(FieldRefs, Reading) {
    sysint_set(SV_CURFIL, 1);
    struct Case {
        const char* text;
        const char* result;
    } cases[] = {
        {"CODE{sales}", "'AB123'"},     {"AMOUNT{1}", "1234.50"},       {"AMOUNT{sales}*2", "2469.00"},
        {"QTY{}", "12.00"},             {"2{1}", "1234.50"},            {"DAY{1}", "'20240131'"},
        {"OK{1}", "1.00"},              {"PASS{1}", "'0042'"},          {"CODE{1}=='ab*'", "1.00"},
        {"AMOUNT{1}>'1000'", "1.00"},   {"'1000'<AMOUNT{1}", "1.00"},   {"AMOUNT{1}+'x'", "1234.50"},
        {"CODE{1}+1", "<128>"},         {"NAME{empty}", "'      '"},    {"(AMOUNT{1})+'1'", "<128>"},
    };
    for (const auto& c : cases) EXPECT_EQ(eval(c.text), c.result) << c.text;
}

TEST_F(FieldRefs, WritingFitsTheValueIntoTheCurrentImage) {
    EXPECT_EQ(eval("AMOUNT{1}=99.5"), "99.50");
    EXPECT_EQ(eval("CODE{sales}='XYZ'"), "'XYZ'");
    EXPECT_EQ(eval("QTY{1}=7.6"), "7.60");
    EXPECT_EQ(eval("DAY{1}=20250101"), "20250101.00");
    EXPECT_EQ(eval("OK{1}=0"), "0.00");
    EXPECT_EQ(image(1).substr(0, 30), "XYZ     99.50   820250101" "0" "0042");
    EXPECT_EQ(image(1).substr(30), record.substr(30));   // the saved image is untouched
    EXPECT_EQ(eval("AMOUNT{1}=AMOUNT{1}+0.5;AMOUNT{1}"), "100.00");
    // A file without a buffer gets a blank one of two images.
    EXPECT_EQ(eval("NAME{2}='Ana'"), "'Ana'");
    EXPECT_EQ(image(2), "Ana         ");
}

TEST_F(FieldRefs, Errors) {
    error_detail_clear();
    EXPECT_EQ(eval("QTY{1}=12345"), "<168>");
    EXPECT_EQ(text(error_detail()).rfind("(File:1, Field:3)", 0), 0u) << text(error_detail());
    EXPECT_EQ(image(1), record);
    struct Case {
        const char* text;
        const char* result;
        const char* context;
    } cases[] = {
        {"X{9}", "<161>", "Field:X{9}"},        {"X{0}", "<161>", "Field:X{0}"},
        {"X{nosuch}", "<161>", "Field:X{nosuch}"}, {"NOPE{1}", "<168>", "Field:NOPE{1}"},
        {"code{1}", "<168>", "Field:code{1}"},  {"9{1}", "<168>", "Field:9{1}"},
        {"CODE{1}X", "<147>", "Field:CODE{1}X"}, {"{1}", "<147>", "Field:{1}"},
        {"NOPE{1}=1", "<168>", "Field:NOPE{1}"},
    };
    for (const auto& c : cases) {
        error_detail_clear();
        EXPECT_EQ(eval(c.text), c.result) << c.text;
        EXPECT_EQ(text(error_detail()).rfind(c.context, 0), 0u) << c.text << ": " << text(error_detail());
    }
    sysint_set(SV_CURFIL, 0);
    EXPECT_EQ(eval("CODE{}"), "<161>");
}

TEST_F(FieldRefs, FileAndFieldTypeAreResolvedOnEveryEvaluation) {
    ASSERT_EQ(struct_define(3, S("other"), S("data")), 0);
    ASSERT_EQ(struct_add_field(S("CODE"), 3, 'N'), 0);
    ASSERT_EQ(store_set(RECORD_LIST, 2, S(" 42 42")), 0);
    sysint_set(SV_CURFIL, 1);
    EXPECT_EQ(eval("CODE{}"), "'AB123'");
    sysint_set(SV_CURFIL, 3);
    EXPECT_EQ(eval("CODE{}"), "42.00");
    EXPECT_EQ(eval("CODE{}+'1'"), "43.00");
}

// References are resolved once and kept: what is kept must follow the structures, the case
// rule of names and the current file, or an expression would read the wrong bytes.
TEST_F(FieldRefs, KeptReferencesFollowTheStructures) {
    EXPECT_EQ(eval("CODE{sales}"), "'AB123'");
    EXPECT_EQ(eval("QTY{other}"), "<161>");
    ASSERT_EQ(struct_define(3, S("other"), S("data")), 0);
    ASSERT_EQ(struct_add_field(S("QTY"), 3, 'N'), 0);
    ASSERT_EQ(store_set(RECORD_LIST, 2, S("  7  7")), 0);
    EXPECT_EQ(eval("QTY{other}"), "7.00");

    // The same names over another layout: CODE now follows AMOUNT.
    structs_free();
    ASSERT_EQ(struct_define(1, S("sales"), S("data")), 0);
    for (auto f : {F{"AMOUNT", 8, '2'}, F{"CODE", 5, 'A'}})
        ASSERT_EQ(struct_add_field(str_from_cstr(f.name), f.width, f.type), 0);
    ASSERT_EQ(store_set(RECORD_LIST, 0, S("   12.50ZZ999   12.50ZZ999")), 0);
    EXPECT_EQ(eval("CODE{sales}"), "'ZZ999'");
    EXPECT_EQ(eval("AMOUNT{sales}"), "12.50");

    // A name of another case names no file once names keep their case.
    EXPECT_EQ(eval("CODE{SALES}"), "'ZZ999'");
    i16 aux = sysint_get(SV_AUXSTAT);
    sysint_set(SV_AUXSTAT, i16(aux | AUXSTAT_KEEP_CASE));
    EXPECT_EQ(eval("CODE{SALES}"), "<161>");
    sysint_set(SV_AUXSTAT, aux);
    EXPECT_EQ(eval("CODE{SALES}"), "'ZZ999'");

    // Taking back a saved state takes back what was resolved under it.
    ASSERT_EQ(struct_save(), 0);
    ASSERT_EQ(struct_define(2, S("more"), S("data")), 0);
    ASSERT_EQ(struct_add_field(S("X"), 2, 'A'), 0);
    ASSERT_EQ(store_set(RECORD_LIST, 1, S("ababab")), 0);
    EXPECT_EQ(eval("X{more}"), "'ab'");
    ASSERT_EQ(struct_restore(), 0);
    EXPECT_EQ(eval("X{more}"), "<161>");
}
