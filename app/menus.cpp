// The viewer's menus: built-in menus kept as messages, the temporary menu file and the choice
// of the menu to run.
#include "app/menus.h"

#include "expr/structs.h"
#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/files.h"
#include "runtime/msg.h"
#include "runtime/paths.h"

namespace vx::app {

using namespace vx::rt;

namespace {

// The built-in menus in the order they are written, with the task type that takes the place
// of "[$]" in their lines.
struct BuiltinMenu {
    u16 flag;
    u16 message;
    const char* task_type;
};
constexpr BuiltinMenu BUILTIN_MENUS[] = {
    {MENU_REPORTS, 110, "Report"},
    {MENU_TRANSFER, 111, "FileTrans"},
    {MENU_REORG, 119, "Reorg"},
    {MENU_HELP, 120, "Help"},
};
constexpr const char* TYPE_MARK = "[$]";
constexpr const char* LINE_END = "\r\n";
constexpr u16 FILES_MENU_MESSAGE = 22;              // its first item is the title
constexpr const char* FILES_MENU_LINE = "\t%.*s,MantAuto %u,1\r\n";
constexpr u16 FILES_MENU_LINE_MAX = 128;
constexpr const char* MENU_SUFFIX = ",1";
constexpr const char* START_MENU = "MENU";          // prefix + this: the application's own menu

// A menu kept as a message: a comma list of quoted lines, "[$]" standing for the task type
// and a blank (none for a menu without a type).
Str message_lines(u16 message, const char* task_type) {
    Str items = msg_text_id(message);
    Str type = task_type ? str_concat(str_from_cstr(task_type), S(" ")) : str_empty();
    Str out = str_empty();
    u16 n = list_count(items, ',');
    for (u16 i = 1; i <= n && out.ok(); i++) {
        Str line = str_clean(list_item(items, ',', i));
        if (task_type) line = str_replace(line, str_from_cstr(TYPE_MARK), type, PLAIN);
        out = str_concat(out, str_concat(line, str_from_cstr(LINE_END)));
    }
    return out;
}

Str builtin_menu_lines(const BuiltinMenu& m) { return message_lines(m.message, m.task_type); }

// "Mantenimiento de Ficheros" with one MantAuto entry per data file.
Str files_menu_lines() {
    Str title = str_trim(list_item(msg_text_id(FILES_MENU_MESSAGE), ',', 1), TRIM_BOTH);
    Str out = str_concat(title, str_from_cstr(LINE_END));
    for (u16 s = 1; s <= expr::struct_count() && out.ok(); s++) {
        expr::StructDesc d;
        if (expr::struct_info(s, &d)) continue;
        out = str_concat(out, str_format(FILES_MENU_LINE_MAX, FILES_MENU_LINE, int(d.name.n), d.name.p, unsigned(s)));
    }
    return out;
}

// The run-time's own choice: APSTART, or the application's menu file, when it exists in the
// data folder as PMT or PPN.
Str start_menu() {
    Str name = cmd_key(KEY_APSTART);
    if (!name.n) name = str_concat(app_prefix(), str_from_cstr(START_MENU));
    return menu_file_exists(name) ? name : str_empty();
}

}  // namespace

bool menu_file_exists(Str name) {
    TmpScope scope;
    Str first = list_item(name, ',', 1);
    static constexpr u16 KINDS[] = {KIND_PMT, KIND_PPN};
    for (u16 kind : KINDS) {
        Str hit = path_find(env_get(ENV_DATA), path_ext_join(first, file_kind_ext(kind, true)));
        if (hit.ok() && hit.n) return true;
    }
    return false;
}

Str menu_file_write(u16 flags, Str text) {
    TmpScope scope;
    Str body = text;
    if (flags & MENU_FILES) body = str_concat(body, files_menu_lines());
    for (const BuiltinMenu& m : BUILTIN_MENUS)
        if (flags & m.flag) body = str_concat(body, builtin_menu_lines(m));
    if (!body.ok()) return scope.keep(body);
    Str path = temp_name(KIND_PMT);
    if (!path.ok()) return scope.keep(path);
    if (u16 rc = file_write_all(path, FILE_DELETE_FIRST, body)) {
        file_delete(path);
        return scope.keep(str_error(rc));
    }
    return scope.keep(path);
}

Str default_menu_text() {
    TmpScope scope;
    return scope.keep(message_lines(MSG_DEFAULT_MENU, nullptr));
}

Str menu_name_of(Str path) {
    TmpScope scope;
    Str bare = path_part(path, PART_DRIVE | PART_FOLDER | PART_NAME);
    return scope.keep(str_concat(bare, str_from_cstr(MENU_SUFFIX)));
}

Str menu_choose(Str* written) {
    *written = str_empty();
    Str folders = str_concat(path_resolve(APPPATH_RUNPATH), str_concat(S(","), str_from_cstr(OWN_MENU_FOLDERS)));
    Str own = path_find(folders, str_from_cstr(OWN_MENU_FILE));
    if (own.ok() && own.n) return path_part(own, PART_DRIVE | PART_FOLDER | PART_NAME);
    Str start = start_menu();
    if (start.n) return start;
    Str path = menu_file_write(MENU_HELP, default_menu_text());
    if (!path.ok()) return str_empty();
    *written = path;
    return menu_name_of(path);
}

}  // namespace vx::app
