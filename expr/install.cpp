// The expression layer's part in start-up and shutdown.
#include "expr/install.h"

#include "expr/dates.h"
#include "expr/dict.h"
#include "expr/eval.h"
#include "expr/langvars.h"
#include "expr/vars.h"
#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/error.h"
#include "runtime/log.h"
#include "runtime/startup.h"
#include "runtime/tasks.h"

namespace vx::expr {

using namespace vx::rt;

namespace {

// The application's dictionary from the data folder(s); structures without a folder of
// their own get the first data folder.
u16 load_application_dictionary(Str folder) {
    return dict_load(folder, app_prefix(), list_item(folder, ',', 1));
}

// The ExpEval task: the arguments are evaluated as an expression; its value is dropped and
// a code of 122 or more is the task's result.
u16 run_expeval(Str args) {
    TmpScope scope;
    Value v;
    u16 code = expr_eval(args, v);
    return code >= E_CANCELLED ? code : 0;
}

}  // namespace

void vars_install() {
    RuntimeServices& s = runtime_services();
    s.vars_create = vars_create;
    s.vars_free = vars_free;
    s.var_hook_install = var_hook_install;
    s.dict_load = load_application_dictionary;
    s.dict_declare = dict_declare;
    s.after_start = langvars_load;   // at the end of start-up; a line that fails ends it
}

void expr_install() {
    vars_install();
    log_date_text_set(date_long);
    eval_install();
    task_serve(TASK_EXPEVAL, run_expeval);
}

}  // namespace vx::expr
