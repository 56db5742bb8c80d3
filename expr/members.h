// Parameter records and their members. The larger commands of the run-time take their
// parameters as records of KEY=value (or KEY:value) items kept on the parameter-record stack
// (list 31 of the string store); a member is addressed by its number, which names its key.
// Records are read from parameter files: text files whose lines carry a record code in
// fixed columns that depend on the file kind.
#pragma once

#include "expr/value.h"

namespace vx::expr {

inline constexpr u16 LIST_PARMS = 31;            // the parameter-record stack
// Environment entry with the structure-prefix list: a comma list whose _AUX-th item,
// when not empty, prefixes member keys ("<item>.<member>"). The application fills it.
inline constexpr u16 ENV_STRUCT_PREFIXES = 13;
inline constexpr u16 COMPAT_OLD_MENU = 16;       // _COMPAT: old menu member names
inline constexpr u16 PARM_KINDS = 7;             // file kinds 0..6

// Member numbers of the menu members that have old names.
enum MenuMember : u16 { MEMBER_MODULES = 1, MEMBER_SUBMENU = 4 };

Str member_name(u16 number);     // "ACBOUND$" for 93; "" for a number that names nothing
Str member_key(u16 number);      // the name, or "<prefix>.<name>" under _AUX (arena)
// The member's value in the record on top of the stack, as written (arena); "" when absent.
Str member_value(u16 number);

// Loads the lines with the given code from a parameter file of kind 0..6 and pushes their
// texts joined with ":" as one record. 0 with *lines set, 127 when no line has the code
// (nothing pushed), 164 when the file is missing, 163 for an unknown kind, 156 when the
// store is full.
u16 parm_load(Str file, u16 kind, u32 code, u16* lines);
// The same, but pushes an empty record instead of failing when the file or the code is
// missing; 0 unless the store is full.
u16 parm_load_always(Str file, u16 kind, u32 code);
u16 parm_push(Str record);
void parm_pop();
Str parm_top();                  // a view; "" when the stack is empty
u16 parm_depth();

}  // namespace vx::expr
