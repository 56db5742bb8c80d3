// Built-in functions as the evaluator sees them: finding a function by name and calling it.
//
// The function list is one comma-separated text; a function's number is its 1-based
// position. On first use the list is cached in environment entry 8 with its commas turned
// into NUL bytes and looked up there afterwards. A call receives the raw text between the
// brackets of its argument list and evaluates the arguments itself through the entry
// points of expr/eval.h.
#pragma once

#include "expr/value.h"

namespace vx::expr {

inline constexpr const char* FUNCTION_LIST =
    "_#,FN#FLEN,FN#SLEN,FN#PARM,FN#VALN,FN#ACUM,CHK#,FILEFIND,FILEREL,FILELOCATE,FILESEL,"
    "FN$CHNG,FN$CHRS,FN$DATE,FN$FLDS,FN$MASK,FN$MIDS,FN$PARM,FN$TRIM,ENVELOP$,CHK$,SORT$,"
    "EXEC$,READ$,WRITE,MACRO$,ENVRON$,_$,KEY$,TIME$,IER,EXP$,SQLCHILD";
inline constexpr u16 FUNCTION_COUNT = 33;

// The number of the function called name (looked up as written, then upper-cased), 0 when
// it is not a built-in function.
u16 fn_find(Str name);
// The name of function number (a view), empty for a number outside the list.
Str fn_name(u16 number);

// Calls function number with the raw text of its argument list. Returns the result code of
// an evaluation: 0 for a number, 1 for a string (the newest temporary of the arena), or a
// code of 122 and above (an error from 128 on, with its detail text).
u16 fn_call(u16 number, Str raw_args, Value& out);

}  // namespace vx::expr
