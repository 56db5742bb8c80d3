// Entry points of the expression evaluator, bracket expansion, and the registration points
// of the evaluator.
//
// Every entry point takes the expression as a descriptor and leaves the arena as it found
// it, apart from its one result: a string result is the newest temporary. The result code
// of an evaluation is 0 for a number, 1 for a string, or a code of 122 and above (128 and
// above are errors; their detail text names the failing operand and the rest of the text,
// and the first one is recorded with module ExpExec). An empty expression gives code 123
// with the number 0.
#pragma once

#include "expr/value.h"

namespace vx::expr {

inline constexpr u16 EVAL_DEPTH_MAX = 96;   // nesting of groups, signs, assignments and calls
inline constexpr u16 CALL_ARGS_MAX = 16;    // arguments of an application function

inline constexpr u16 AUXSTAT_NO_WILDCARD = 128;   // _AUXSTAT: string == compares exactly

// ---- Evaluation ----
u16 expr_eval(Str text, Value& out);
// 1 for an empty (or blank) text; for a number 1 when it is not 0, else 0; 0 for a string;
// the code itself when it is 122 or above.
u16 expr_condition(Str text);
// Whether "a op b" holds under the evaluator's rules (op a comparison operator of the scanner;
// both values numbers or both strings); false for anything else.
bool expr_compare(u8 op, const Value& a, const Value& b);
// The value as text: a number with _PRECIS decimals, a string as it is, "" for an empty
// expression; an error descriptor for code 122 or 128 and above.
Str expr_text(Str text);
// The scaled number (a string result read as a number); 0 on failure.
i64 expr_number(Str text);
// The value rounded half away from zero to a whole number; 0 on failure.
i64 expr_whole(Str text);
// 0, or the error code (128 and above).
u16 expr_check(Str text);

// ---- Bracket expansion ----
enum ExpandOption : u16 {
    EXPAND_IN_QUOTES = 1,     // brackets inside quoted runs count too
    EXPAND_NO_TRIM = 2,       // values keep their blanks
    EXPAND_KEYS = 4,          // contents are keys: caller's KEY=value list, command line, environment
    EXPAND_EMPTY_BLANK = 16,  // an empty expression gives "" instead of "0"
    EXPAND_QUOTE = 32,        // values enclosed in single quotes
    EXPAND_DQUOTE = 64,       // values enclosed in double quotes
    EXPAND_AGAIN = 128,       // the search goes on at the start of each inserted value
    EXPAND_ESCAPES = 256,     // afterwards "\{" becomes "[" and "\}" becomes "]"
};
inline constexpr u16 EXPAND_PAIRS_MAX = 4096;   // replacements in one text (129 beyond)

// The text with every [expression] replaced by its value; an error descriptor when a
// content fails. keys is the KEY=value list of EXPAND_KEYS.
Str expr_expand(Str text, u16 options, Str keys);

// ---- Registration ----
// Application functions: "_NAME(args)" operands. Mode APP_FN_READ fills *value; mode
// APP_FN_WRITE receives the value assigned. Answers 0 or a code. Without a hook such an
// operand fails with 147.
enum AppFnMode : u16 { APP_FN_READ = 0, APP_FN_WRITE = 1 };
using AppFunctionHook = u16 (*)(u16 mode, Str name, const Value* args, u16 nargs, Value* value);
void app_function_hook_set(AppFunctionHook hook);

// The built-in function dispatcher (null: fn_call of expr/funcs.h).
using FunctionDispatch = u16 (*)(u16 number, Str raw_args, Value& out);
void function_dispatch_set(FunctionDispatch dispatch);

// Registers the evaluator with the run-time: the bracket expander of task lines and the
// subscript evaluator of array elements. Call once at start-up.
void eval_install();

// Forgets the scans kept for recently evaluated texts.
void eval_cache_clear();

}  // namespace vx::expr
