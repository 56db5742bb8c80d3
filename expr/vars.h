// Variables of the expression language: the four kinds and their name lists, the value
// stores, arrays, system variables, named constants, the variable hook for "_" names,
// variable formats and the variable scope.
//
// The kind of a variable follows from its name: a name with "(" is an array element, else
// one with "$" a string, else one with "#" a number, else a 16-bit integer (the first of
// these characters found decides). Each kind keeps one comma list of declared names; a
// variable's slot is its 0-based position in that list and its value lives at that slot of
// the kind's value store. Names are compared exactly and are only removed by cutting a
// scope back. The first 44 integer slots are the system variables of runtime/sysvars.h, so
// sysint_get and procedures see the same values.
#pragma once

#include "expr/value.h"

namespace vx::expr {

enum VarKind : u8 { KIND_INT = 0, KIND_NUM = 1, KIND_STR = 2, KIND_ARRAY = 3 };
inline constexpr u16 VAR_KINDS = 4;
inline constexpr u16 NO_SLOT = 0xFFFF;          // "not declared"

// String variables declared after the integer system variables.
inline constexpr const char* SYSVAR_STRINGS = "_ACUM$,_ACUMX$,_LTEXT$";

// ---- Life cycle ----
u16 vars_create();      // name lists, value stores, system variables; 124 when already made
void vars_free();       // everything, structures and their memory included
bool vars_ready();

// ---- Names, kinds and slots ----
struct VarRef {
    u8 kind = KIND_INT;
    u16 slot = NO_SLOT;     // NO_SLOT when the name is not declared
    bool found() const { return slot != NO_SLOT; }
};
VarKind var_kind(Str name);
// Kind and slot of a name; for an array element ("X#(1;2)") the array's own name ("X#").
VarRef var_find(Str name);
// Declares the name when it is new; 0, or 157 when it cannot be declared (empty, holds a
// comma, or its kind's name list is full).
u16 var_declare(Str name, VarRef* ref);
Str var_names(u8 kind);          // the comma list (a view, valid until the next declaration)
u16 var_count(u8 kind);

// ---- Reading and assigning by name ----
// Reads a variable: the hook first for "_" names, then the stores; a named constant for
// ".name"; an array element for "NAME(i;j)". A string result is a new string in the arena.
// Undeclared names read as 0 or "". Array elements: 147, 149, 168 as for array_read.
u16 var_read(Str name, Value& out);
// Assigns a variable, declaring it when new: 0, 128 when a string meets a number variable
// or the reverse, 157 when the name cannot be declared; array elements as array_assign.
// A failed assignment leaves the variable unchanged.
u16 var_assign(Str name, const Value& value);

// ---- Values by slot (no hook, no checks of kind) ----
i16 var_int(u16 slot);
void var_set_int(u16 slot, i16 value);
i64 var_num(u16 slot);
void var_set_num(u16 slot, i64 value);
Str var_str(u16 slot);           // a view, valid until the next string assignment
u16 var_set_str(u16 slot, Str value);   // 0 or 145

// ---- Arrays ----
enum ArrayType : u16 { ARRAY_INT = 0, ARRAY_NUM = 1, ARRAY_STR = 2 };
inline constexpr u16 ARRAY_DIMS_MAX = 4;
inline constexpr u16 ARRAY_STR_WIDTH = 64;      // element width of string arrays made by a read
inline constexpr u32 ARRAY_MAX_BYTES = 16u << 20;

struct ArrayInfo {
    u16 type = ARRAY_INT;
    u16 width = 0;               // bytes per element
    u16 dims = 0;                // number of dimensions
    u16 sizes[ARRAY_DIMS_MAX] = {};   // each declared dimension + 1
    u32 count = 0;               // elements
};

// Declares (or declares again) an array with dimensions d1..dn, each allowing subscripts
// 0..d: 0; 149 for more than 4 dimensions; 128 for an unknown type; 147 when every
// dimension is 0; 157 when the name cannot be declared; 145 when too large.
u16 array_declare(Str name, u16 type, const u16* dims, u16 ndims, u16 width);
// Element access with whole-number subscripts. Reading an array that does not exist
// declares it with the subscripts as dimensions (type from the name). 168 when the element
// lies beyond the array, 149 on assignment to an array that does not exist or with more
// subscripts than dimensions. Integer elements take the value truncated toward zero.
u16 array_read(Str name, const i64* subs, u16 nsubs, Value& out);
u16 array_assign(Str name, const i64* subs, u16 nsubs, const Value& value);
u16 array_info(Str name, ArrayInfo* info);   // 0 or 149 when there is no such array

// Evaluates one subscript text of "NAME(i;j)" to a scaled number. The default reads a
// number literal, a named constant or a variable; the evaluator installs its own.
using SubscriptEval = u16 (*)(Str text, i64* scaled);
void vars_set_subscript_eval(SubscriptEval fn);   // null: the default

// ---- Named constants ----
// ".lf$", ".tab$", ".pchr$", ".null$" and the numbers of the environment list; any other
// ".name" reads as the number literal "name".
u16 const_read(Str name, Value& out);

// ---- The variable hook ----
// Asked first for names beginning with "_": mode VAR_HOOK_READ puts the value as text in
// *answer (in the arena); VAR_HOOK_WRITE receives the value as text. Answers 0 when it
// served the name, 163 when the name is not its own, or an error code.
enum VarHookMode : u16 { VAR_HOOK_READ = 0, VAR_HOOK_WRITE = 1 };
using VarHook = u16 (*)(u16 mode, Str name, Str value, Str* answer);
// Registers the hook and installs it in slot 0 of the hook table; start-up installs the
// registered hook again each time the run-time starts.
void var_hook_register(VarHook fn);
void var_hook_install();

// ---- Variable formats ----
// The format of screen field or report column n: the string variable "_V<n>$", whose first
// byte is the type letter and the rest the width. 181 when there is no such variable.
struct VarFormat {
    char type = 0;
    u16 width = 0;
};
u16 var_format(u16 n, VarFormat* format);

// ---- Variable scope ----
struct ScopeMark {
    u32 list_bytes[VAR_KINDS] = {};
    u16 names[VAR_KINDS] = {};
    u16 values[VAR_KINDS] = {};   // entries of the integer, number, string and array stores
};
ScopeMark scope_mark();
// Discards every variable declared after the mark: 0, or 141 (nothing changed) when a name
// list is already shorter than the mark.
u16 scope_cut(const ScopeMark& mark);

}  // namespace vx::expr
