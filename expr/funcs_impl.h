// Shared by the source files of the built-in functions: one call with its argument items
// and evaluated arguments, the helpers that read arguments by position under the
// conventions of the function list (whole numbers, strings, defaults), and the function
// bodies that the dispatch table of funcs.cpp names. Not for use outside expr/.
#pragma once

#include "expr/value.h"

namespace vx::expr::fn {

inline constexpr u16 ARGS_MAX = 16;         // evaluated arguments of one call
inline constexpr u16 ITEMS_MAX = ARGS_MAX;  // items kept in a call record; more are counted

// One call. The first `evaluated` items have been evaluated into arg (and pushed on the
// parameter stack); an empty item is not given and reads as its default. Strings of arg
// live in the arena above the call's mark, or are views of the raw text, and stay valid
// for the whole call.
struct Call {
    u16 number = 0;
    Str raw;        // the text between the brackets
    u16 count = 0;  // items (the first ITEMS_MAX are kept in item)
    u16 evaluated = 0;
    u16 stack_base = 0;   // depth of the parameter stack the call gives back
    Str item[ITEMS_MAX];  // raw text of each item
    Value arg[ARGS_MAX];
    bool given[ARGS_MAX] = {};
};

using Body = u16 (*)(Call& c, Value& out);

// ---- Arguments by position (from 0) ----
bool given(const Call& c, u16 i);
bool arg_is_str(const Call& c, u16 i);
// A whole number rounded half away from zero; def when not given; 128 for a string.
u16 arg_whole(const Call& c, u16 i, i64 def, i64* out);
// The same, 168 when the number lies outside lo..hi.
u16 arg_whole_in(const Call& c, u16 i, i64 def, i64 lo, i64 hi, i64* out);
// A string; def when not given; 128 for a number.
u16 arg_text(const Call& c, u16 i, Str def, Str* out);
// A string, or a number as its text with _PRECIS decimals.
u16 arg_text_any(const Call& c, u16 i, Str def, Str* out);

// ---- Helpers ----
inline bool stops(u16 code) {
    return code >= 128 || code == 122;
}
// Records detail as the error detail text and returns code.
u16 fail(u16 code, Str detail);
// A number as its text with _PRECIS decimals, a string as it is.
Str value_text(const Value& v);
// Evaluates a text: 0 or 1 with the value, 123 with the number 0 for an empty text, or an
// error (128 and above, or 122).
u16 eval_value(Str text, Value& v);
// Evaluates a raw item as a whole number (def when the item is empty); 128 for a string.
u16 eval_whole(Str text, i64 def, i64* out);
// The item without one pair of enclosing round brackets.
Str unbracket(Str item);
// A quoted literal ('abc' or "abc"): its text without the quotes.
bool quoted_literal(Str item, Str* inner);
// A file name as given by the user: trimmed and with its %NAME% references replaced.
Str file_name(Str name);
// Position (from 1) of word in a table of words, compared exactly; 0 when absent.
u16 word_index(Str word, const char* const* words, u16 count);
template <u16 N>
u16 word_index(Str word, const char* const (&words)[N]) {
    return word_index(word, words, N);
}
// Where the item after the one that starts at pos begins (raw.n + 1 after the last one):
// items are separated by ";" or "," outside quotes and round brackets.
u32 next_item(Str raw, u32 pos);

// ---- Function bodies ----
u16 f_accumulator(Call& c, Value& out);  // _#
u16 f_flen(Call& c, Value& out);         // FN#FLEN
u16 f_slen(Call& c, Value& out);         // FN#SLEN
u16 f_parm_num(Call& c, Value& out);     // FN#PARM
u16 f_valn(Call& c, Value& out);         // FN#VALN
u16 f_acum(Call& c, Value& out);         // FN#ACUM
u16 f_chk_num(Call& c, Value& out);      // CHK#
u16 f_filefind(Call& c, Value& out);     // FILEFIND
u16 f_filerel(Call& c, Value& out);      // FILEREL
u16 f_filelocate(Call& c, Value& out);   // FILELOCATE
u16 f_filesel(Call& c, Value& out);      // FILESEL
u16 f_chng(Call& c, Value& out);         // FN$CHNG
u16 f_chrs(Call& c, Value& out);         // FN$CHRS
u16 f_date(Call& c, Value& out);         // FN$DATE
u16 f_flds(Call& c, Value& out);         // FN$FLDS
u16 f_mask(Call& c, Value& out);         // FN$MASK
u16 f_mids(Call& c, Value& out);         // FN$MIDS
u16 f_parm_text(Call& c, Value& out);    // FN$PARM
u16 f_trim(Call& c, Value& out);         // FN$TRIM
u16 f_envelop(Call& c, Value& out);      // ENVELOP$
u16 f_chk_text(Call& c, Value& out);     // CHK$
u16 f_sort(Call& c, Value& out);         // SORT$
u16 f_exec(Call& c, Value& out);         // EXEC$
u16 f_read(Call& c, Value& out);         // READ$
u16 f_write(Call& c, Value& out);        // WRITE
u16 f_macro(Call& c, Value& out);        // MACRO$
u16 f_environ(Call& c, Value& out);      // ENVRON$
u16 f_slots(Call& c, Value& out);        // _$
u16 f_key(Call& c, Value& out);          // KEY$
u16 f_time(Call& c, Value& out);         // TIME$
u16 f_ier(Call& c, Value& out);          // IER
u16 f_exp(Call& c, Value& out);          // EXP$
u16 f_sqlchild(Call& c, Value& out);     // SQLCHILD

// Shared between bodies: SORT$ of a data file and FN#FLEN of a data file go to the data
// layer (funcs_data.cpp).
u16 datafile_sort(Call& c, Str operation, Value& out);
// The record count of the data file named name: 0 with *records, 127 when name is no
// data file, or an error.
u16 datafile_records(Str name, i64* records);

// The name of function number in the dispatch table (checked against the function list).
const char* table_name(u16 number);

}  // namespace vx::expr::fn
