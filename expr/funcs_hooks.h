// What the built-in functions share with the layers above the expression layer: the
// parameter stack through which every call passes its arguments, the registration points
// that the data-file and procedure layers fill, the open sets of data files, the navigation
// verbs, and the clock of TIME$.
#pragma once

#include "expr/value.h"

namespace vx::expr {

// ---- Lists of the string store used by the functions ----
inline constexpr u16 LIST_PARAMS = 35;     // parameter stack (.fnparm)
inline constexpr u16 LIST_RESULTS = 30;    // procedure results, read by EXEC$
inline constexpr u16 LIST_OPEN_SETS = 33;  // open sets of data files (.fsel)

// ---- The parameter stack ----
// Each entry is one typed value: a type byte, then the eight bytes of the scaled number or
// the text of the string.
enum ParamType : u8 { PARAM_NUMBER = 0, PARAM_STRING = 1 };
// 0; 146 for a string too long to carry its type byte; or the store's code when it is full.
u16 param_push(const Value& v);
// Entry index (0 is the bottom): 0 with the value (a string copied into the arena), 168
// when there is no such entry, 163 for an entry that is not a typed value.
u16 param_read(u16 index, Value& out);
u16 param_depth();
void param_cut(u16 depth);  // drops every entry above depth

// ---- Procedures (EXEC$) ----
// The procedure layer's run operation, installed in slot HOOK_RUNPRC of the run-time's
// hook table: runs the entry of a procedure file (either may be empty) and answers 0 or a
// code. EXEC$ leaves its parameters on the parameter stack and reads the result that the
// run leaves on LIST_RESULTS.
using RunProcedureHook = u16 (*)(Str entry, Str file, u16 flags);
enum RunFlags : u16 { RUN_LOCAL = 1, RUN_KEEP_RESULT = 2 };

// ---- Data files ----
// The data layer's side of FILEFIND, FILEREL, FILELOCATE, KEY$, IER, FN#FLEN, FILESEL and
// SORT$. Files arrive as structure numbers (the current one already put in for an omitted
// file). Each answers a status below 128 or an error code; a missing entry makes its
// function fail with 148 and the function's name as detail.
struct DataFileCalls {
    u16 (*find)(u16 file, Str key, u16 key_number, u16 flags) = nullptr;
    u16 (*relation)(u16 file, u16 relation, u16 key_number, u16 flags, Str text) = nullptr;
    u16 (*locate)(u16 file, u16 verb_code) = nullptr;
    // The key of a record image (1 current, 2 saved), cut to length (0: whole).
    u16 (*key)(u16 file, u16 key_number, u16 image, u16 length, Str* out) = nullptr;
    u16 (*status)(u16 file) = nullptr;
    u16 (*count)(u16 file, i64* records) = nullptr;
    // One flag byte per data file, file 1 first: non-zero opens with those flags, 0 closes.
    u16 (*open_set)(Str flags) = nullptr;
    // SORT$ whose first argument is not an operation of the sort buffer.
    u16 (*sort)(Str operation, const Value* args, u16 nargs, Value& out) = nullptr;
};
void datafile_calls_set(const DataFileCalls* calls);  // null: none (the table is copied)

// Open sets: a comma list of items "file" or "file;flags" (file by name or number) becomes
// one flag byte per data file: named files get their flags or 1, the last item gets flag 8
// as well, the others 0. The set is pushed on LIST_OPEN_SETS and applied through
// DataFileCalls::open_set. "RESTORE" drops the top set and applies the one below it (141
// when there is none). 166 with the item as detail for an unknown file.
u16 open_set_select(Str text);

// ---- Navigation verbs ----
inline constexpr const char* VERBS =
    "NEW,TOP,PRV,RLD,NXT,BOT,FND,SVE,INS,DEL,LST,NLS,BLS,IMP,MDE,DDE,PRN,TSL";
inline constexpr const char* VERB_WORDS = "NEXT=NXT:PREVIOUS=PRV:BOTTOM=BOT";
inline constexpr u16 VERB_NONE = 0x00FF;
// The code of a verb (without regard to case, long words accepted); VERB_NONE otherwise.
u16 verb_code(Str verb);

// ---- Clock ----
// Milliseconds since midnight; TIME$ takes the current time from here.
using TimeOfDay = i64 (*)();
void fn_clock_set(TimeOfDay clock);  // null: the system clock

}  // namespace vx::expr
