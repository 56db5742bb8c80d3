// Stand-in for the built-in functions until they are written: every call fails with 148
// ("FEATUREREMOVED") and the function's name as detail text.
#include "expr/funcs.h"

#include "runtime/error.h"

namespace vx::expr {

u16 fn_call(u16 number, Str, Value& out) {
    out = val_num(0);
    return rt::fail_with_detail(rt::E_FEATUREREMOVED, fn_name(number), false);
}

}  // namespace vx::expr
