// The Copy task: the server-paths file, copying one table between the server's folder and
// a local folder, and saving every table or loading one.
#include "data/copy.h"

#include "data/sqltext.h"
#include "platform/os.h"
#include "runtime/arena.h"
#include "runtime/error.h"
#include "runtime/files.h"
#include "runtime/msg.h"
#include "runtime/msgbox.h"
#include "runtime/paths.h"
#include "runtime/startup.h"
#include "runtime/tasks.h"

namespace vx::data {

using namespace vx::rt;

namespace {

constexpr u16 MSG_PATHS_FORM = 118, MSG_SERVER_ONLY = 121, MSG_CHOOSE = 49;
constexpr u16 CODE_CANCELLED = 122, CODE_SERVER_ONLY = 121, CODE_NOT_TABLE = 163, CODE_FILE = 175;

CopyUi ui;

// One value of the server: the first cell of a one-row query, "" when it fails.
Str server_value(const char* query) {
    u16 slot = SLOT_FREE;
    u32 rows = 0;
    if (sql_exec_into(str_from_cstr(query), slot, &rows)) {
        error_detail_clear();
        return str_empty();
    }
    Str v = str_copy(sql_value(0, 0));
    sql_clear();
    return v;
}

// The host the connection was opened with (the first item of the login's parameters),
// lower-cased; one left to libpq's defaults is the local server, "localhost".
Str conn_host() {
    Str h = str_lower(str_trim(sql_connection_host(), TRIM_BOTH));
    return h.n ? h : S("localhost");
}
// The database the connection was opened with; when none was named, the server's.
Str conn_database() {
    Str d = str_trim(sql_connection_database(), TRIM_BOTH);
    return d.n ? d : server_value("SELECT current_database()");
}

Str paths_key() { return str_concat(conn_host(), S("$")); }

Str paths_file_text() {
    u16 h = file_open(str_from_cstr(SERVER_PATHS_FILE), FM_READ | FM_NOUPDATE | FM_QUIET);
    if (!file_handle_ok(h)) {
        error_detail_clear();
        return str_empty();
    }
    Str text = str_empty();
    while (!file_at_end(h) && text.n < SERVER_PATHS_MAX) {
        Str line = file_read_line(h);
        if (!line.p) break;
        text = str_concat(text, line);
    }
    file_close(h);
    error_detail_clear();
    return text;
}

// Rewrites the file: the new entry first, earlier entries with other keys after it.
u16 paths_store(Str key, Str value) {
    Str out = str_concat(key, str_concat(S("=\""), str_concat(value, S("\""))));
    Str old = paths_file_text();
    for (u16 i = 1, n = list_count(old, ';'); i <= n; i++) {
        Str entry = list_item(old, ';', i);
        if (!entry.n || str_find_sub(entry, str_concat(key, S("=")), PLAIN) == 0) continue;
        out = str_join(out, S(";"), entry);
    }
    return file_write_all(str_from_cstr(SERVER_PATHS_FILE), FILE_DELETE_FIRST, out);
}

// The first "%s" of text replaced by value.
Str fill_placeholder(Str text, Str value) {
    u16 at = str_find_sub(text, S("%s"), PLAIN);
    if (at == NOT_FOUND) return text;
    return str_concat(str_substr(text, 0, at), str_concat(value, str_substr(text, at + 2, u16(text.n - at - 2))));
}

Str path_item(Str paths, u16 n) { return str_clean(list_item(paths, ',', n)); }

// A byte-for-byte copy of one file over another. The target is replaced in one step, never
// emptied or deleted first, so two spellings of one file (a link, "./", "//") leave it whole;
// a local dump is private to its owner.
u16 file_copy(Str from, Str to, bool owner_only) {
    const char* source = str_to_cstr(from);
    const char* target = str_to_cstr(to);
    if (!os::path_exists(source)) return fail_with_detail(CODE_FILE, from, false);
    if (os::same_file(source, target)) return 0;
    return os::file_copy(source, target, owner_only) ? 0 : fail_with_detail(CODE_FILE, to, false);
}

u16 copy_statement(Str table, Str server_file, bool load) {
    Str sql = str_concat(S("COPY "), sql_ident(table));
    sql = str_concat(sql, load ? S(" FROM ") : S(" TO "));
    sql = str_concat(sql, str_concat(sql_escape(server_file), S(";")));
    return sql_exec(sql);
}

// Folders below the current one, made one level at a time.
Str backup_folder() {
    Str folder = path_join(path_cwd(), str_from_cstr(BACKUP_FOLDER));
    folder_make(folder);
    Str parts[] = {conn_host(), conn_database()};
    for (Str p : parts) {
        if (!copy_name_safe(p)) break;
        folder = path_join(folder, p);
        folder_make(folder);
    }
    error_detail_clear();
    return folder;
}

// Load: the chosen file must be named as a table; gives its number and its folder.
u16 chosen_table(Str file, u16* table, Str* folder) {
    u16 cut = str_find_last_char(file, '/', PLAIN);
    Str name = cut == NOT_FOUND ? file : str_substr(file, cut + 1, u16(file.n - cut - 1));
    *folder = cut == NOT_FOUND ? path_cwd() : str_substr(file, 0, cut);
    *table = copy_name_safe(name) ? list_find(sql_table_list(), ',', name) : 0;
    if (!*table) return fail_with_detail(CODE_NOT_TABLE, name, false);
    return 0;
}

u16 copy_run(u16 mode, Str local, u16 table) {
    QueryProgressHook before = reinterpret_cast<QueryProgressHook>(sql_get_hook(HOOK_QUERY_PROGRESS));
    sql_set_hook(HOOK_QUERY_PROGRESS, reinterpret_cast<AnyFn>(ui.poll));
    u16 count = mode == COPY_SAVE_ALL ? sql_table_count() : 0;
    if (ui.progress_open) ui.progress_open(count);
    ProgressStep step = copy_step();
    u16 rc = 0;
    if (mode == COPY_SAVE_ALL) {
        for (u16 t = 1; t <= count; t++) {
            u16 r = copy_table(t, local, mode, step);
            if (r) rc = r;
            if (r >= FIRST_ERROR) break;
        }
    } else {
        rc = copy_table(table, local, mode, step);
    }
    if (ui.progress_close) ui.progress_close();
    sql_set_hook(HOOK_QUERY_PROGRESS, reinterpret_cast<AnyFn>(before));
    return rc;
}

u16 copy_serve(Str args) {
    TmpScope scope;
    return copy_task(u16(str_to_int(str_trim(args, TRIM_BOTH))));
}

}  // namespace

void copy_ui_set(const CopyUi& u) { ui = u; }
const CopyUi& copy_ui() { return ui; }
ProgressStep copy_step() { return ui.progress_step ? ui.progress_step : [] {}; }

bool copy_name_safe(Str name) {
    if (!name.p || !name.n) return false;
    if (str_equal(name, S(".")) || str_equal(name, S(".."))) return false;
    for (u16 i = 0; i < name.n; i++)
        if (name.p[i] == '/' || name.p[i] == '\\' || name.p[i] == '\0') return false;
    return true;
}

Str server_paths(u16 mode) {
    Str key = paths_key();
    Str stored = str_copy(opt_value(str_replace_each(paths_file_text(), S(";"), S(":")), key, OPT_CLEANED));
    if (mode != COPY_EDIT_PATHS && stored.n) return stored;
    if (!ui.form) return str_empty();
    Str def = fill_placeholder(msg_text_id(MSG_PATHS_FORM), path_item(stored, 1));
    def = fill_placeholder(def, path_item(stored, 2));
    Str values = str_empty();
    bool confirmed = false;
    if (ui.form(str_empty(), def, &values, &confirmed) || !confirmed || !values.n) {
        error_detail_clear();
        return str_empty();
    }
    paths_store(key, values);
    return values;
}

u16 copy_table(u16 table, Str local, u16 mode, ProgressStep step) {
    TmpScope scope;
    Str name = list_item(sql_table_list(), ',', table);
    name = str_unquote(name);
    if (!copy_name_safe(name)) return fail_with_detail(CODE_NOT_TABLE, name, false);
    Str paths = server_paths(mode == COPY_LOAD_ONE ? COPY_LOAD_ONE : COPY_SAVE_ALL);
    if (!paths.n) return fail_with_detail(CODE_NOT_TABLE, str_from_cstr(SERVER_PATHS_FILE), false);
    Str server_dir = path_item(paths, 1), shared_dir = path_item(paths, 2);
    if (!server_dir.n) return fail_with_detail(CODE_NOT_TABLE, str_from_cstr(SERVER_PATHS_FILE), false);
    Str server_file = str_concat(server_dir, str_concat(S("/"), name));
    Str shared_file = shared_dir.n ? path_join(shared_dir, name) : str_empty();
    bool load = mode == COPY_LOAD_ONE;
    if (load) {
        if (!local.n) return fail_with_detail(CODE_NOT_TABLE, name, false);
        if (!shared_file.n) return fail_with_detail(CODE_FILE, server_file, false);
        if (file_copy(path_join(local, name), shared_file, false)) return CODE_FILE;
    }
    step();
    // A load replaces the rows in one transaction: a COPY that fails leaves them as they were.
    if (load)
        if (u16 rc = sql_exec(S("BEGIN;"))) return rc;
    u16 rc = load ? sql_exec(str_concat(S("DELETE FROM ONLY "), str_concat(sql_ident(name), S(";")))) : 0;
    if (!rc) rc = copy_statement(name, server_file, load);
    if (load) sql_exec(rc ? S("ROLLBACK;") : S("COMMIT;"));
    if (rc) return rc;
    if (!load && local.n && shared_file.n) {
        if (file_copy(shared_file, path_join(local, name), true)) return CODE_FILE;
    }
    if (!shared_file.n) return fail_with_detail(CODE_SERVER_ONLY, msg_text_id(MSG_SERVER_ONLY), false);
    return 0;
}

u16 copy_task(u16 mode) {
    TmpScope scope;
    if (mode > COPY_EDIT_PATHS) return fail_with_detail(CODE_NOT_TABLE, int_to_text(i16(mode)), false);
    // Without a server there is nothing to copy, and no host to keep folders for.
    if (u16 rc = sql_check_connection()) return rc;
    Str paths = server_paths(mode);
    if (!paths.n || mode == COPY_EDIT_PATHS) return 0;
    Str start = backup_folder();
    Str local = str_empty();
    u16 table = 0;
    if (mode == COPY_SAVE_ALL) {
        local = ui.choose_folder ? ui.choose_folder(start, msg_text_id(MSG_CHOOSE)) : str_empty();
        if (!local.n) return CODE_CANCELLED;
    } else {
        Str file = ui.choose_file ? ui.choose_file() : str_empty();
        if (!file.n) return CODE_CANCELLED;
        if (u16 rc = chosen_table(file, &table, &local)) return rc;
    }
    u16 rc = copy_run(mode, local, table);
    if (rc == 0) error_show(0);
    return rc;
}

void copy_install() {
    task_serve(TASK_COPY, copy_serve);
    task_serve(TASK_REORG, [](Str) -> u16 { return reindex_task(); });
}

}  // namespace vx::data
