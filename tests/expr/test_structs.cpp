// Data-file structures: definition limits, fields and offsets, placeholders, keys and
// default keys, dictionary lines and relation markers, and the saved states of "RESTORE".
#include <string>
#include <vector>

#include "expr/structs.h"
#include "runtime/error.h"
#include "runtime/sysvars.h"
#include "support.h"

using namespace vx::rt;
using namespace vx::expr;
using vx::test::text;

namespace {

using Struct = vx::test::VarTest;

u16 define(const char* name, u16 number = 1) { return struct_define(number, str_from_cstr(name), S("data")); }
u16 field(const char* name, u16 width, char type = 'A') { return struct_add_field(str_from_cstr(name), width, type); }

StructDesc info(u16 s) {
    StructDesc d;
    EXPECT_EQ(struct_info(s, &d), 0) << s;
    return d;
}


}  // namespace

TEST_F(Struct, FieldsLieAtTheSumOfTheWidthsBeforeThem) {
    ASSERT_EQ(define("Clientes", 7), 0);
    ASSERT_EQ(field("CODIGO", 6, 'N'), 0);
    ASSERT_EQ(field("NOMBRE", 30), 0);
    ASSERT_EQ(field("ALTA", 8, 'D'), 0);
    ASSERT_EQ(define("facturas"), 0);
    ASSERT_EQ(field("NUMERO", 8, 'N'), 0);
    StructDesc d = info(1);
    EXPECT_EQ(text(d.name), "clientes");
    EXPECT_EQ(text(d.folder), "data");
    EXPECT_EQ(d.number, 7);
    EXPECT_EQ(d.fields, 3);
    EXPECT_EQ(d.record_length, 44);
    FieldDesc f;
    ASSERT_EQ(struct_field(1, 3, &f), 0);
    EXPECT_EQ(text(f.name), "ALTA");
    EXPECT_EQ(f.type, 'D');
    EXPECT_EQ(f.offset, 36);
    EXPECT_EQ(f.global, 3);
    ASSERT_EQ(struct_field(2, 1, &f), 0);
    EXPECT_EQ(f.offset, 0);
    EXPECT_EQ(f.global, 4);   // one numbering over all structures
    EXPECT_EQ(struct_field(1, 4, &f), E_DATAOUTBOUND);
    EXPECT_EQ(struct_field(1, 0, &f), E_DATAOUTBOUND);
    EXPECT_EQ(struct_field(3, 1, &f), E_BADFILENUMBER);
    EXPECT_EQ(struct_field_find(1, S("nombre")), 2);
}

TEST_F(Struct, NumbersByNameNumberTextOrCurrentFile) {
    ASSERT_EQ(define("uno"), 0);
    ASSERT_EQ(define("DOS"), 0);
    sysint_set(SV_CURFIL, 2);
    struct Case { const char* text; u16 number; } cases[] = {
        {"uno", 1}, {"dos", 2}, {"DOS", 2}, {"2", 2}, {"3", 0}, {"0", 0}, {"", 2}, {"tres", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(struct_number(str_from_cstr(c.text)), c.number) << c.text;
    sysint_set(SV_CURFIL, 9);
    EXPECT_EQ(struct_number(S("")), 0);
    // With _AUXSTAT bit 8 names keep their case and are looked up as written.
    sysint_set(SV_AUXSTAT, AUXSTAT_KEEP_CASE);
    ASSERT_EQ(define("Tres"), 0);
    EXPECT_EQ(text(info(3).name), "Tres");
    EXPECT_EQ(struct_number(S("Tres")), 3);
    EXPECT_EQ(struct_number(S("tres")), 0);
}

TEST_F(Struct, ThirtyStructuresAtMostAndFieldsOnlyOnTheFirst29) {
    EXPECT_EQ(field("EARLY", 1), E_FILEOUTBOUND);   // no structure yet
    for (int i = 1; i <= 29; i++) ASSERT_EQ(define(("s" + std::to_string(i)).c_str()), 0);
    EXPECT_EQ(field("F", 2), 0);
    ASSERT_EQ(define("s30"), 0);
    EXPECT_EQ(field("F", 2), E_FILEOUTBOUND);
    EXPECT_EQ(define("s31"), E_FILEOUTBOUND);
    EXPECT_EQ(struct_count(), 30);
}

TEST_F(Struct, RecordLengthIsBounded) {
    ASSERT_EQ(define("big"), 0);
    ASSERT_EQ(field("A", 30000), 0);
    EXPECT_EQ(field("B", 2768), E_DATAOUTBOUND);
    ASSERT_EQ(field("C", 2767), 0);
    EXPECT_EQ(info(1).record_length, RECORD_MAX);
}

TEST_F(Struct, TrailingPlaceholdersAreNotDataFields) {
    struct Case { std::vector<const char*> names; u16 data_fields; } cases[] = {
        {{"A", "B", "NUL", "OTHER"}, 2},
        {{"A", "NUL", "B"}, 3},
        {{"A", "AVOID", "NULL", "NUL"}, 1},
        {{"NUL"}, 0},
        {{"A", "other"}, 2},   // the names are compared as written
    };
    u16 s = 0;
    for (const auto& c : cases) {
        ASSERT_EQ(define("t"), 0);
        s++;
        for (const char* n : c.names) ASSERT_EQ(field(n, 2), 0);
        EXPECT_EQ(info(s).data_fields, c.data_fields) << s;
        EXPECT_EQ(info(s).fields, c.names.size()) << s;
    }
}

TEST_F(Struct, EarlierStructuresGetDefaultKeysBeforeALaterOnesFirstKey) {
    ASSERT_EQ(define("plain"), 0);
    ASSERT_EQ(field("CODE", 6), 0);
    ASSERT_EQ(field("NAME", 20), 0);
    ASSERT_EQ(define("lines"), 0);
    ASSERT_EQ(field("DOC", 8), 0);
    ASSERT_EQ(field("N_LINE", 4), 0);
    ASSERT_EQ(field("TEXT", 40), 0);
    ASSERT_EQ(define("empty"), 0);
    ASSERT_EQ(define("keyed"), 0);
    ASSERT_EQ(field("K", 3), 0);
    KeyPart parts[] = {{0, 3}, {10, 2}};
    ASSERT_EQ(struct_add_key(4, parts, 2), 0);
    EXPECT_EQ(vx::test::key_text(1, 1), "0+6");    // field 1
    EXPECT_EQ(vx::test::key_text(2, 1), "0+12");   // up to the end of N_LINE
    EXPECT_EQ(info(3).keys, 0);          // nothing to key on
    EXPECT_EQ(vx::test::key_text(4, 1), "0+3,10+2");
    KeyDesc d;
    ASSERT_EQ(struct_key(4, 1, &d), 0);
    EXPECT_EQ(d.global, 3);
    // A second key of a structure that has one adds no default keys.
    ASSERT_EQ(struct_add_key(4, parts, 1), 0);
    EXPECT_EQ(struct_keys_total(), 4);
    EXPECT_EQ(vx::test::key_text(4, 2), "0+3");
    EXPECT_EQ(vx::test::key_text(4, 3), "<error 168>");
    EXPECT_EQ(struct_add_key(5, parts, 1), E_DATA);
    KeyPart six[6] = {};
    EXPECT_EQ(struct_add_key(1, six, 6), E_DIMSTRUC);
}

TEST_F(Struct, DictionaryLinesAndRelationMarkers) {
    ASSERT_EQ(define("a"), 0);
    ASSERT_EQ(struct_add_dict(1, S("2R1K3 UPDATE X")), 0);
    ASSERT_EQ(struct_add_dict(1, S("12R1K7;3R2K15")), 0);
    EXPECT_EQ(text(struct_dict(1)), "2R1K3 UPDATE X:12R1K7;3R2K15");
    struct Case { u16 target, relation, value; } cases[] = {{2, 1, 3}, {12, 1, 7}, {3, 2, 15}, {3, 1, 0}, {1, 1, 0}};
    for (const auto& c : cases) EXPECT_EQ(struct_relation(1, c.target, c.relation), c.value) << c.target << "R" << c.relation;
    EXPECT_EQ(struct_add_dict(2, S("x")), E_BADFILENUMBER);
    std::string long_line(40000, 'x');
    ASSERT_EQ(struct_add_dict(1, str_from_cstr(long_line.c_str())), 0);
    EXPECT_EQ(struct_add_dict(1, str_from_cstr(long_line.c_str())), E_STRINGTOOLONG);
}

TEST_F(Struct, RestoreGoesBackToTheSavedState) {
    ASSERT_EQ(define("base"), 0);
    ASSERT_EQ(field("A", 4), 0);
    ASSERT_EQ(struct_save(), 0);
    ASSERT_EQ(field("B", 4), 0);        // changes the saved structure too
    ASSERT_EQ(struct_add_dict(1, S("later")), 0);
    ASSERT_EQ(define("extra"), 0);
    ASSERT_EQ(field("C", 9), 0);
    KeyPart part{0, 9};
    ASSERT_EQ(struct_add_key(2, &part, 1), 0);
    ASSERT_EQ(struct_define(0, S("RESTORE"), S("")), 0);
    EXPECT_EQ(struct_count(), 1);
    EXPECT_EQ(info(1).fields, 1);
    EXPECT_EQ(info(1).record_length, 4);
    EXPECT_EQ(info(1).keys, 0);
    EXPECT_EQ(text(struct_dict(1)), "");
    EXPECT_EQ(struct_fields_total(), 1);
    EXPECT_EQ(struct_keys_total(), 0);
    ASSERT_EQ(define("again"), 0);
    EXPECT_EQ(text(info(2).name), "again");
    EXPECT_EQ(struct_define(0, S("RESTORE"), S("")), E_INTERNAL);   // nothing saved
    EXPECT_EQ(struct_count(), 2);
}

TEST_F(Struct, AtMostSevenSavedStates) {
    for (int i = 0; i < STRUCT_SAVES_MAX; i++) {
        ASSERT_EQ(struct_save(), 0);
        ASSERT_EQ(define(("s" + std::to_string(i)).c_str()), 0);
    }
    EXPECT_EQ(struct_save(), E_DATAOUTBOUND);
    for (int i = STRUCT_SAVES_MAX; i > 0; i--) {
        ASSERT_EQ(struct_restore(), 0);
        EXPECT_EQ(struct_count(), i - 1);
    }
    EXPECT_EQ(struct_restore(), E_INTERNAL);
}
