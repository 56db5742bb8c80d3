// The PrcExec task: a procedure with its libraries, entry point and argument expressions, or
// the files of a pattern in the data folder offered one choice at a time.
#include <string>

#include "expr/eval.h"
#include "platform/gui.h"
#include "platform/os.h"
#include "prc/run.h"
#include "prc/run_impl.h"
#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/error.h"
#include "runtime/msg.h"
#include "runtime/paths.h"
#include "runtime/tasks.h"

namespace vx::prc {

using namespace vx::rt;

namespace {

constexpr u16 MSG_NOT_DEFINED = 31;     // "Proceso no definido"
constexpr u16 MSG_CHOOSE_FILE = 88;     // "Selección de Fichero"
constexpr char NAME_SEP = ',';

PrcChooser chooser = nullptr;

void pump() {
    if (platform::gui_ready()) platform::gui_pump();
}

// Evaluates the argument expressions (items 3 on), stopping at the first error.
u16 eval_arguments(Str args) {
    u16 n = list_count(args, ',');
    for (u16 k = 3; k <= n; k++) {
        TmpScope scope;
        u16 rc = expr::expr_check(str_clean(list_item(args, ',', k)));
        if (rc) return rc;
    }
    return 0;
}

// Unloads every procedure above `count`, newest first.
void unload_above(u16 count) {
    for (u16 h = prc_table_count(); h-- > count;)
        if (prc_record(h)) prc_unload(h);
}

// "main;lib1;lib2,entry,expr,…": the libraries are loaded from the last to the first, the
// main file runs the entry, and everything loaded here is unloaded afterwards.
u16 run_named(Str args) {
    if (u16 rc = eval_arguments(args)) return rc;
    Str files = str_trim(list_item(args, ',', 1), TRIM_BOTH);
    Str entry = str_trim(list_item(args, ',', 2), TRIM_BOTH);
    u16 count = prc_table_count();
    u16 rc = 0;
    for (u16 k = list_count(files, ';'); rc == 0 && k > 1; k--) {
        u16 h = prc_load(str_trim(list_item(files, ';', k), TRIM_BOTH));
        if (h >= FIRST_ERROR) rc = h;
    }
    if (rc == 0) rc = prc_run(entry, str_trim(list_item(files, ';', 1), TRIM_BOTH), RUN_LOCAL);
    unload_above(count);
    pump();
    return rc;
}

Str data_folder() {
    Str folder = str_trim(list_item(env_get(ENV_DATA), ',', 1), TRIM_BOTH);
    return folder.n ? folder : path_cwd();
}

// The files of the pattern in the data folder, offered until the user cancels; each chosen
// one runs from its first statement. A failing run ends the task with its code.
u16 run_chosen(Str pattern) {
    if (!chooser) return task_not_defined();
    Str folder = data_folder();
    std::string names = os::list_matching(str_to_cstr(folder),
                                                    str_to_cstr(pattern), NAME_SEP);
    if (names.empty()) return fail_with_detail(E_DATA, msg_text_id(MSG_NOT_DEFINED), false);
    if (names.size() > MAX_STR) return fail_with_detail(E_STRINGTOOLONG, pattern, false);
    Str items = str_view(names.data(), u16(names.size()));
    for (;;) {
        TmpScope scope;
        u16 k = chooser(msg_text_id(MSG_CHOOSE_FILE), items);
        if (k == 0 || k > list_count(items, NAME_SEP)) return 0;
        Str file = path_join(folder, list_item(items, NAME_SEP, k));
        if (u16 rc = prc_run(str_empty(), file, RUN_LOCAL)) return rc;
        pump();
    }
}

}  // namespace

void prc_chooser_set(PrcChooser fn) { chooser = fn; }

u16 prc_task(Str args) {
    if (!args.ok()) return str_error_code(args);
    args = str_trim(args, TRIM_BOTH);
    if (str_find_char(args, 0, '*', PLAIN) != NOT_FOUND) return run_chosen(args);
    return run_named(args);
}

}  // namespace vx::prc
