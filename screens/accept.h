// Accept forms: a window of labelled input fields described by one definition text, run
// modally, confirmed or cancelled; the captured values left in list 9 of the string store.
//
// Definition: field definitions separated by ","; optionally " /" and the form options,
// pushed as a parameter record while the form is open. A field definition has up to five
// items separated by ":" (";" when it holds no ":"): label, type and width ('A30'), target,
// default, assignment target. One item is a bare field reference NAME{FILE} (label, type,
// width and start value of the data file's field); a label that is a field reference shows
// the field's name. "/ROW=n" and "/COL=n" place the field; the definition proper ends at the
// first of them. A label that begins with {row,col} is placed there. Labels stand in one
// column as wide as the longest; a D field is shown at most 8 wide unless its width is 8.
//
// Keys: Enter ends the form; Tab and Down go to the next field and end the form on the last;
// Shift+Tab and Up go back; Esc and the close box cancel; Ctrl+End and the keys of form
// buttons (Page Down, Page Up, F3-F11) end it. The exit key number is left in _LASTKEY;
// Enter, Tab, Down, Page Down and Ctrl+End confirm, every other key cancels (122, nothing
// assigned). Ctrl+End leaves _LASTKEY 0 after the collection.
//
// Field flags follow from the definition. A target that ends with a comparison operator
// (==, >=, <=, <>, >, <), as in 'Desde:':'A10':CODE{}>=, asks for a condition instead of an
// assignment: only item 5 receives its value. Trailing spaces are removed from every value
// but a password's (type P). In a condition, the values of text fields are quoted; those of
// numeric fields are written as the number they read as.
//
// Results: entry 7 of list 9 holds the captured values, each in single quotes, separated by
// ","; entry 1 the conditions, "target op value" for each condition field that is not empty,
// joined with "&&"; entry 6 the definition, so that the same definition opened again starts
// from the values captured last time. While a form is open, the layer's metrics are the
// form's grid (at least 80 x 25) and its screen counts one more accept window.
//
// Unattended, the answer is the next line of the INPUT file: the field values as a comma
// list (items may be quoted), confirmed as with Enter; "\ENTER" confirms the values shown;
// "\ESC", an empty line or the end of the input cancels. Values are cut to their field's
// width as the field's control would.
#pragma once

#include "runtime/str.h"

namespace vx::scr {

inline constexpr rt::u16 ACCEPT_FIELDS_MAX = 256;   // fields of one form
inline constexpr rt::u16 ACCEPT_LIST = 9;           // list of the result texts
inline constexpr rt::u16 ACCEPT_CONDITIONS = 1;     // its entries
inline constexpr rt::u16 ACCEPT_DEFINITION = 6;
inline constexpr rt::u16 ACCEPT_VALUES = 7;
inline constexpr const char* ANSWER_ENTER = "\\ENTER";

enum AcceptOptions : rt::u16 {
    ACC_COLLECT = 1,   // collect even when the exit key number is 0
};

struct AcceptResult {
    rt::u16 key = 0;        // the exit key number
    rt::Str values{"", 0};  // captured values text (a view of list 9 entry 7)
    rt::Str conditions{"", 0};
    rt::u16 code = 0;       // 0, 122 cancelled, or the error that stopped the form
};

// Runs a form: 0, 122 when cancelled (nothing assigned), 163 for a definition without a
// usable target or type, or the error of an assignment.
rt::u16 accept_run(rt::Str title, rt::Str definition, rt::u16 options, AcceptResult* out);

// The n-th captured value of the last form, unquoted and trimmed (a view; "" when absent).
rt::Str accept_value(rt::u16 n);

// Form from variables: one field for each integer or string name of the comma list
// (numbers and arrays are skipped), of type A32 or A511, the name as target and a default
// that shows the variable's value (its field-th item when field is not 0). A definition
// text in the arena.
enum FromVarsFlags : rt::u16 {
    FROM_VARS_NO_TARGET = 1,     // the target is left out
    FROM_VARS_AS_WRITTEN = 2,    // the default names the variable as written, else in capitals
};
rt::Str accept_from_vars(rt::Str names, rt::u16 flags, rt::u16 field);

// Saving and restoring the open form's screen: text evaluates to "SCRBACK=NAME$"; the field
// texts are saved into the string variable as a quoted comma list, or put back from it when
// it has no more items than the form has fields and each fits its field (else 168). 163 for
// another text or when no form is open.
rt::u16 accept_screen_back(rt::Str text, bool restore);

// The classification of an exit key: true when it confirms the form.
bool accept_key_confirms(rt::u16 key);

// The AcceptRun task. args "file[,code[,kind]]" name the parameter file (kind 0 unless
// given) and the record (code 0 unless given). The record's ACBOUND$ holds the definitions
// and WINNAME$ the title; the form always collects. When values were captured, the result
// hook in the hook table slot given by ACCEPT_PRC% (the caller's slot when it gives one) gets
// the result and its answer is the task's. Result hooks are stored with their type
// (rt::hook_put<AcceptHook>); a slot that holds any other function is refused. 163 with the
// member name as detail for a missing ACBOUND$, a missing or unusable ACCEPT_PRC%, or a slot
// that holds no accept hook.
rt::u16 accept_task(rt::Str args);
// The same for the parameter record on top of the stack, which stays for the caller to pop
// (hook_slot 0: the slot named by ACCEPT_PRC%; an empty slot answers 0).
rt::u16 accept_task_record(rt::u16 hook_slot);
using AcceptHook = rt::u16 (*)(const AcceptResult& r);

}  // namespace vx::scr
