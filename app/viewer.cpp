// varnox: the viewer's entry point, start-up hook and task handler.
#include "app/viewer.h"

#include <algorithm>
#include <string>
#include <vector>

#include "app/menus.h"
#include "app/shell.h"
#include "data/sql.h"
#include "expr/eval.h"
#include "expr/vars.h"
#include "output/chart.h"
#include "output/report_def.h"
#include "platform/os.h"
#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/error.h"
#include "runtime/files.h"
#include "runtime/msg.h"
#include "runtime/msgbox.h"
#include "runtime/paths.h"
#include "runtime/startup.h"
#include "runtime/sysvars.h"
#include "runtime/tasks.h"
#include "screens/mainwin.h"
#include "screens/selbox.h"
#include "screens/status.h"

namespace vx::app {

using namespace vx::rt;

namespace {

constexpr u16 LOGIN_FLAGS = data::LOGIN_FIELDS;   // discover the tables as data files
constexpr u16 MSG_LOGIN_TITLE = 90;          // "Acceso a Datos"
constexpr const char* WORK_SUBFOLDER = "datas";
constexpr const char* DATA_BESIDE = "../data";
constexpr const char* SAFE_CHAR = "_";
constexpr const char* LANG_MARK = "%s";
constexpr u16 MSG_NOT_FOUND = 7;             // "Datos no Encontrados"
constexpr u16 MSG_ERROR_CAPTION = 12;
constexpr u16 REPORT_ITEMS_MAX = 2;          // a file name, then "Edit"
constexpr u16 REPORT_ITEMS_RUN = 1;
constexpr u16 MSG_REPORT_CHOICE = 114;       // "Selection de Informe"
constexpr u16 REPORT_ARG_MAX = 1024;
constexpr u16 REPORT_LIST_MAX = 0xFF00;      // bytes of the titles offered
constexpr char LIST_SEP = ',';
constexpr char TITLE_SEP_STANDIN = ';';
constexpr u16 EVAL_FAILED = 122;             // evaluation codes from here on are failures

// One folder name from a host or database name: separators and a leading dot cannot lead
// out of the working folder.
Str safe_component(Str name) {
    Str s = str_trim(name, TRIM_BOTH);
    if (!s.n) return str_from_cstr(SAFE_CHAR);
    s = str_replace(s, S("/"), str_from_cstr(SAFE_CHAR), PLAIN);
    s = str_replace(s, S("\\"), str_from_cstr(SAFE_CHAR), PLAIN);
    if (s.ok() && s.n && s.p[0] == '.') s = str_concat(str_from_cstr(SAFE_CHAR), s);
    return s;
}

// The current folder becomes host/database/datas (made when missing, with ../data beside
// it); the data folder becomes ../data from there.
u16 enter_data_folders(Str host, Str database) {
    TmpScope scope;
    if (!host.n && !database.n) return 0;
    Str work = path_relative(path_cwd(), viewer_work_folder(host, database));
    if (!work.ok()) return str_error_code(work);
    if (!os::change_dir(str_to_cstr(work))) {
        if (u16 rc = folder_make(work)) return rc;
        if (!os::change_dir(str_to_cstr(work))) return fail_with_detail(E_FILENOTFOUND, work, false);
        if (u16 rc = folder_make(path_relative(path_cwd(), str_from_cstr(DATA_BESIDE)))) return rc;
    }
    if (u16 rc = env_set(ENV_DATA, path_relative(path_cwd(), str_from_cstr(DATA_BESIDE)))) return rc;
    sysint_or(SV_AUXSTAT, AUXSTAT_DATA_FOLDERS);
    return 0;
}

// A parameter file: its lines joined with ";" and evaluated as one expression list. A
// missing file is no error.
u16 read_parameter_file(const char* pattern) {
    TmpScope scope;
    Str path = path_find(env_get(ENV_DATA), path_expand(str_from_cstr(pattern)));
    if (!path.ok() || !path.n) return 0;
    u16 h = file_open(path, FM_READ | FM_NOUPDATE);
    if (!file_handle_ok(h)) return h;
    Str text = str_empty();
    while (text.ok() && !file_at_end(h)) {
        Str line = str_trim(file_read_line(h), TRIM_BOTH);
        if (!line.ok()) break;
        if (line.n) text = text.n ? str_join(text, S(";"), line) : line;
    }
    file_close(h);
    if (!text.ok()) return fail_with_detail(str_error_code(text), path, false);
    expr::Value v;
    u16 rc = expr::expr_eval(text, v);
    return rc >= EVAL_FAILED ? rc : 0;
}

// The help folder: the program's folder, with "%s" (when there is one) the language code.
u16 set_help_folder() {
    TmpScope scope;
    Str folder = path_resolve(APPPATH_RUNPATH);
    Str lang = str_lower(env_get(ENV_LANG));
    return env_set(ENV_HELP, str_replace(folder, str_from_cstr(LANG_MARK), lang, PLAIN));
}

u16 stage_ready() {
    TmpScope scope;
    u16 rc = data::sql_login(str_from_cstr(data::SQL_PARAMS_FILE), LOGIN_FLAGS, msg_text_id(MSG_LOGIN_TITLE));
    if (!rc) rc = viewer_prepare();
    sysint_or(SV_UPSTAT, UPSTAT_STARTED);
    u16 help = set_help_folder();
    u16 id = env_set(ENV_APNAME, str_from_cstr(VIEWER_ID));
    return rc ? rc : help ? help : id;
}

u16 report_file_missing() {
    msg_box(msg_text_id(MSG_NOT_FOUND), msg_text_id(MSG_ERROR_CAPTION), BOX_INFO);
    return 0;
}

// The selection list: one title per definition; a comma in a title would split it, so it
// shows as a semicolon.
Str report_titles(const std::vector<out::ChartEntry>& entries) {
    TmpScope scope;
    std::string list;
    for (const out::ChartEntry& e : entries) {
        if (!list.empty()) list += LIST_SEP;
        std::string title = e.title;
        std::replace(title.begin(), title.end(), LIST_SEP, TITLE_SEP_STANDIN);
        list += title;
        if (list.size() > REPORT_LIST_MAX) return scope.keep(str_error(E_STRINGTOOLONG));
    }
    return scope.keep(str_copy(Str{list.data(), u16(list.size())}));
}

// The definitions of a file offered in the selection box, by title; in run mode without
// those kept out of menus. *number receives the one chosen, 0 when none was.
u16 choose_definition(Str path, bool run_mode, u16* number) {
    TmpScope scope;
    *number = 0;
    std::vector<out::ChartEntry> entries;
    if (u16 rc = out::chart_definitions(path, &entries)) return rc;
    // A definition without a title only feeds another one (LOAD$): it is never offered.
    std::erase_if(entries, [run_mode](const out::ChartEntry& e) {
        return e.title.empty() || (run_mode && e.hidden);
    });
    Str titles = report_titles(entries);
    if (!titles.ok()) return str_error_code(titles);
    u16 k =
        scr::select_box(msg_text_id(MSG_REPORT_CHOICE), titles, scr::SEL_WINDOW | scr::SEL_LIST);
    if (k != 0 && k != scr::SEL_NONE && k <= entries.size()) *number = entries[k - 1].number;
    return 0;
}

// The run mode: choose a definition, run it, and again until the user cancels.
u16 report_choose_and_run(Str path) {
    for (;;) {
        TmpScope scope;
        u16 number = 0;
        if (u16 rc = choose_definition(path, true, &number)) return rc;
        if (!number) return 0;
        u16 rc = out::chart_run(
            str_format(REPORT_ARG_MAX, "%.*s,%u", int(path.n), path.p, unsigned(number)));
        if (rc == E_NODATA) error_show(rc);
        else if (rc >= FIRST_ERROR) return rc;
    }
}

// Creating a definition: the configuration forms, then a new definition in the
// application's definition file. A person who cancels a form ends it quietly.
u16 report_create() {
    TmpScope scope;
    Str path = out::report_def_path();
    if (!path.ok()) return str_error_code(path);
    out::ChartDefinition definition;
    definition.path.assign(path.p, path.n);
    u16 rc = out::chart_configure(0, &definition);
    if (rc >= FIRST_ERROR) return rc;
    return definition.table ? out::chart_definition_save(path, definition, nullptr) : u16(0);
}

// The edit mode: choose a definition, start the forms from it and write it back under its
// number, again until the user cancels the choice. A form cancelled leaves the definition
// as it was.
u16 report_choose_and_edit(Str path) {
    for (;;) {
        TmpScope scope;
        u16 number = 0;
        if (u16 rc = choose_definition(path, false, &number)) return rc;
        if (!number) return 0;
        out::ChartDefinition definition;
        u16 rc = out::chart_definition_load(path, number, &definition);
        if (!rc) rc = out::chart_configure(out::DOC_EDIT, &definition);
        if (!rc && definition.table) rc = out::chart_definition_save(path, definition, nullptr);
        if (rc == E_NODATA)
            error_show(rc);
        else if (rc >= FIRST_ERROR)
            return rc;
    }
}

// The help address the user set: the HELPURL key, else the variable HELPURL$. "" for none.
Str help_address() {
    Str key = cmd_key_named(str_from_cstr(HELP_ADDRESS_KEY));
    if (key.ok() && key.n) return key;
    Str name = str_from_cstr(HELP_ADDRESS_VARIABLE);
    expr::Value v;
    if (expr::var_kind(name) != expr::KIND_STR || expr::var_read(name, v) || !v.is_str) return str_empty();
    return str_trim(v.str, TRIM_BOTH);
}

}  // namespace

Str viewer_work_folder(Str host, Str database) {
    TmpScope scope;
    Str path = path_join(path_join(safe_component(host), safe_component(database)), str_from_cstr(WORK_SUBFOLDER));
    return scope.keep(path);
}

u16 viewer_prepare() {
    TmpScope scope;
    Str db = env_get(ENV_DB);
    Str host = str_unquote(str_trim(list_item(db, ',', 1), TRIM_BOTH));
    Str database = str_unquote(str_trim(list_item(db, ',', 2), TRIM_BOTH));
    if (u16 rc = enter_data_folders(host, database)) return rc;
    for (const char* file : PARAMETER_FILES)
        if (u16 rc = read_parameter_file(file)) return rc;
    return 0;
}

u16 viewer_stage(u16 code) {
    switch (code % 16) {
    case STAGE_READY: return stage_ready();
    case STAGE_SHUTDOWN: data::sql_release_all(); return 0;
    default: return 0;
    }
}

u16 viewer_report(Str args) {
    TmpScope scope;
    Str a = str_trim(args, TRIM_BOTH);
    u16 items = a.n ? list_count(a, ',') : 0;
    if (items > REPORT_ITEMS_MAX) return task_not_defined();
    if (items == 0) return report_create();
    Str file = path_expand(str_trim(list_item(a, ',', 1), TRIM_BOTH));
    Str found = path_find(path_resolve(APPPATH_DATA), file);
    if (!found.ok() || !found.n) return report_file_missing();
    return items == REPORT_ITEMS_RUN ? report_choose_and_run(found) : report_choose_and_edit(found);
}

u16 viewer_help(Str args) {
    TmpScope scope;
    if (str_trim(args, TRIM_BOTH).n) return scr::task_help(args);
    Str address = help_address();
    if (address.ok() && address.n) {
        if (scr::help_open(address) == 0) return 0;
        error_detail_clear();  // the local page is tried instead
    }
    return scr::task_help(str_empty());
}

u16 viewer_task(u32 request, Str args) {
    u16 type = u16(request >> 16), status = u16(request & 0xFFFF);
    if (status) return task_not_defined();
    switch (type) {
    case TASK_REPORT: return viewer_report(args);
    case TASK_HELP: viewer_help(args); return 0;
    default: return 0;
    }
}

int viewer_main(int argc, const char* const* argv) {
    mem_set_arena_size(VIEWER_ARENA_KB);
    task_handler_set(viewer_task);
    install_layers();
    u16 rc = runtime_start_args(nullptr, argc, argv, str_empty(), str_from_cstr(VIEWER_DESCRIPTION),
                                VIEWER_FLAGS, viewer_stage);
    if (rc) return rc;
    sysint_or(SV_AUXSTAT, AUXSTAT_VIEWER);
    u16 result;
    {
        TmpScope scope;
        Str written;
        Str menu = menu_choose(&written);
        sysint_or(SV_AUXSTAT, scr::AUXSTAT_QUIET_CLOSE);
        result = runtime_run(menu);
        if (written.n) file_delete(written);
    }
    return runtime_stop(viewer_stage, result);
}

}  // namespace vx::app
