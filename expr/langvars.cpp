// The language variables file: string variables receive the message text quoted, other
// variables its value (0 for an empty text); each assignment is evaluated as an expression.
#include "expr/langvars.h"

#include "expr/eval.h"
#include "expr/masks.h"
#include "expr/vars.h"
#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/error.h"
#include "runtime/files.h"
#include "runtime/msg.h"
#include "runtime/paths.h"

namespace vx::expr {

using namespace vx::rt;

namespace {

// The assignment of one line, "NAME=message-id", as an expression.
Str assignment_of(Str line) {
    Str name = str_trim(list_item(line, '=', 1), TRIM_BOTH);
    Str id = str_trim(list_item(line, '=', 2), TRIM_BOTH);
    Str text = msg_text(id);
    Str value = var_kind(name) == KIND_STR ? str_quote(text, '\'') : (text.n ? text : S("0"));
    return str_concat(str_concat(name, S("=")), value);
}

}  // namespace

Str langvars_file_name() {
    TmpScope scope;
    return scope.keep(mask_text(str_from_cstr(LANGVARS_MASK), app_prefix(), false));
}

u16 langvars_load() {
    TmpScope scope;
    Str path = path_find(env_get(ENV_DATA), langvars_file_name());
    if (path.n == 0) return 0;
    u16 h = file_open(path, FM_READ | FM_NOUPDATE | FM_QUIET);
    if (!file_handle_ok(h)) return 0;
    u16 rc = 0;
    while (rc == 0 && !file_at_end(h)) {
        TmpScope line_scope;
        Str line = str_trim(file_read_line(h), TRIM_BOTH);
        if (!line.ok() || line.n == 0) continue;
        Value v;
        u16 code = expr_eval(assignment_of(line), v);
        if (code >= E_CANCELLED) rc = fail_with_detail(code, str_join(path, S(": "), line), true);
    }
    file_close(h);
    return rc;
}

}  // namespace vx::expr
