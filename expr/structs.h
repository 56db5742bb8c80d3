// Data-file structures: up to 30 record descriptions, each with a name, a folder, a number
// from its definition, fields at fixed offsets, keys of up to five parts and dictionary
// lines (update expressions and relation markers). Structures are numbered from 1 in the
// order of definition; fields and keys of all structures are also numbered in one global
// sequence each. Saved structure states let a procedure go back to the structures it found
// (a definition named "RESTORE").
#pragma once

#include "expr/value.h"

namespace vx::expr {

inline constexpr u16 STRUCT_MAX = 30;
inline constexpr u16 STRUCT_WITH_FIELDS_MAX = 29;    // fields only while 1..29 are defined
inline constexpr u16 KEY_PARTS_MAX = 5;
inline constexpr u16 STRUCT_SAVES_MAX = 7;
inline constexpr u32 RECORD_MAX = 32767;            // two record images fit one string
inline constexpr const char* PLACEHOLDER_FIELDS = "NUL,NULL,OTHER,AVOID";
inline constexpr const char* DEFAULT_KEY_FIELD = "N_LINE";
inline constexpr const char* STRUCT_RESTORE = "RESTORE";
inline constexpr u16 AUXSTAT_KEEP_CASE = 8;         // _AUXSTAT: names keep their case

struct KeyPart {
    u16 offset = 0;     // from 0
    u16 length = 0;
};

struct KeyDesc {
    u16 parts = 0;
    KeyPart part[KEY_PARTS_MAX];
    u16 global = 0;     // number in the global key sequence
};

// Name texts are views into the structure tables, valid until the next change of them.
struct FieldDesc {
    Str name;
    char type = 0;
    u16 width = 0;
    u16 offset = 0;
    u16 global = 0;     // number in the global field sequence
};

struct StructDesc {
    Str name;
    Str folder;
    u16 number = 0;         // the number its definition gave
    u16 fields = 0;
    u16 data_fields = 0;    // fields before the trailing run of placeholders
    u16 keys = 0;
    u16 record_length = 0;  // sum of the field widths
};

// Definition. struct_define with the name "RESTORE" goes back to the last saved state.
u16 struct_define(u16 number, Str name, Str folder);   // 0 or 161
u16 struct_add_field(Str name, u16 width, char type);   // to the last structure: 0, 161, 168
u16 struct_add_key(u16 s, const KeyPart* parts, u16 nparts);   // 0, 163, 149
u16 struct_add_dict(u16 s, Str text);                   // 0, 151, 146
u16 struct_default_keys();   // every structure without a key gets its default key

// Reading.
u16 struct_count();
u16 struct_number(Str name_or_number);   // "" gives _CURFIL; 0 when unknown
u16 struct_info(u16 s, StructDesc* out);                 // 0 or 151
u16 struct_field(u16 s, u16 field, FieldDesc* out);      // 0, 151, 168
u16 struct_field_find(u16 s, Str name);                  // field number, 0 when absent
u16 struct_key(u16 s, u16 key, KeyDesc* out);            // 0, 151, 168
Str struct_dict(u16 s);              // the dictionary lines joined by ":" (arena)
// The whole number that follows the marker "<target>R<relation>K" in the dictionary of s,
// 0 when there is none.
u16 struct_relation(u16 s, u16 target, u16 relation);
u16 struct_fields_total();
u16 struct_keys_total();
// A number that changes whenever a structure, field or key is defined or taken back, so that
// what was looked up in the structures can be kept while it stays the same. Never 0.
u32 struct_generation();

// Saved states.
u16 struct_save();       // 0, or 168 when 7 states are held already
u16 struct_restore();    // 0, or 141 when none is held
u16 struct_saves();

void structs_free();

}  // namespace vx::expr

namespace vx::expr::detail {
// One remembered state apart from the saved states: the dictionary loader goes back to it
// when a load fails half-way.
void struct_checkpoint();
void struct_rollback();
}  // namespace vx::expr::detail
