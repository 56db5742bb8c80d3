// The window layer's default task servers: MantAux (screen records), Help (the About box or
// the local help page) and FontSet (the font file through a selection box).
#include "runtime/tasks.h"

#include <string>
#include <string_view>

#include "platform/os.h"
#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/error.h"
#include "runtime/files.h"
#include "runtime/fonts.h"
#include "runtime/msg.h"
#include "runtime/msgbox.h"
#include "runtime/paths.h"
#include "runtime/sysvars.h"
#include "screens/mainwin.h"
#include "screens/screen.h"
#include "screens/selbox.h"

namespace vx::scr {

using namespace vx::rt;

namespace {

constexpr const char* FONT_TITLE = "Font";
constexpr const char* INDEX_PAGE = "index.html";
constexpr const char* SHIPPED_HELP = "help";  // in the shared folder
constexpr u16 MANTAUX_OPEN = 0, MANTAUX_CLOSE = 1;
constexpr std::size_t CHOICES_MAX = 0xFFFE;  // bytes of the list offered

// ---- MantAux: 0 opens a screen record for the next window made, 1 closes the current one ----

// The text after "0," is the device text of a serial scanner (attribute 26 of the record).
u16 mantaux_open(Str rest) {
    if (rest.n > ATTR_TEXT_MAX) return E_DATAOUTBOUND;
    if (u16 rc = screen_open(0)) return rc;
    return rest.n ? screen_attr_set(ATTR_SCANNER, rest) : 0;
}
u16 mantaux_close(Str) {
    return screen_close();
}

struct AuxOp {
    u16 number;
    u16 (*run)(Str rest);
};
constexpr AuxOp AUX_OPS[] = {{MANTAUX_OPEN, mantaux_open}, {MANTAUX_CLOSE, mantaux_close}};

// ---- Help ----

// The data folder, the help folder, then the help pages the programs ship with.
Str help_folders() {
    Str shipped = path_join(path_shared(), str_from_cstr(SHIPPED_HELP));
    return str_join(str_join(env_get(ENV_DATA), S(","), env_get(ENV_HELP)), S(","), shipped);
}

// The name alone, then with the language suffix.
Str help_try(Str folders, Str name) {
    Str hit = path_find(folders, name);
    if (hit.ok() && hit.n) return hit;
    Str local = path_localised(name, lang_index(env_get(ENV_LANG)));
    if (!local.ok() || str_equal(local, name)) return str_empty();
    return path_find(folders, local);
}

Str absolute(Str path) {
    if (!path.ok() || path.n == 0 || path.at(0) == '/') return path;
    return path_join(path_cwd(), path);
}

// ---- FontSet ----

// The non-blank lines of the font file as a comma list (a line holding a comma or a quote
// is quoted); *count gets their number, FONT_LINES_MAX + 1 for a longer file.
Str font_choices(Str path, u16* count) {
    *count = 0;
    u16 h = file_open(path, FM_READ | FM_NOUPDATE);
    if (!file_handle_ok(h)) return str_error(h);
    std::string items;
    while (*count <= FONT_LINES_MAX && !file_at_end(h)) {
        TmpScope line_scope;
        Str line = file_read_line(h);
        if (!line.ok()) break;
        if (str_trim(line, TRIM_BOTH).n == 0) continue;
        if (++*count > FONT_LINES_MAX) break;
        std::string_view text(line.p, line.n);
        bool quote = text.find_first_of(",\"'") != std::string_view::npos;
        if (!items.empty()) items += ',';
        items += quote ? "\"" + std::string(text) + "\"" : std::string(text);
    }
    file_close(h);
    if (items.size() > CHOICES_MAX) return str_error(E_STRINGTOOLONG);
    return str_copy(str_view(items.data(), u16(items.size())));
}

u16 font_apply_first(Str path) {
    u16 h = file_open(path, FM_READ | FM_NOUPDATE);
    if (!file_handle_ok(h)) return h;
    Str line = file_read_line(h);
    file_close(h);
    FontSpec f;
    if (!line.ok() || font_parse(line, &f)) return 0;  // an unusable line keeps the font
    font_register(f.height, f.width, i16(f.weight), str_from_cstr(f.face));
    return 0;
}

}  // namespace

u16 task_mantaux(Str args) {
    Str first = str_trim(list_item(args, ',', 1), TRIM_BOTH);
    if (!first.ok() || first.n == 0 || !str_all_in_set(first, S("0123456789")))
        return task_not_defined();
    i16 number = str_to_int(first);
    u16 comma = str_find_char(args, 0, ',', QUOTED);
    Str rest = comma == NOT_FOUND ? str_empty() : str_trim(str_substr(args, int(comma) + 1, u16(args.n - comma - 1)), TRIM_BOTH);
    for (const AuxOp& op : AUX_OPS)
        if (op.number == number) return op.run(rest);
    return task_not_defined();
}

u16 help_open(Str page) {
    if (cmd_batch()) {  // nobody looks at a browser: say what would be opened
        msg_box(page, msg_text_id(MSG_HELP_CAPTION), BOX_INFO);
        return 0;
    }
    if (!os::open_with_viewer(str_to_cstr(page))) return fail_with_detail(E_CHILDEXEC, page, false);
    return 0;
}

Str help_page_find() {
    TmpScope scope;
    Str folders = help_folders();
    const Str names[] = {str_concat(app_prefix(), str_from_cstr(INDEX_PAGE)),
                         str_from_cstr(INDEX_PAGE)};
    for (const Str& name : names) {
        if (!name.ok()) continue;
        Str hit = help_try(folders, name);
        if (hit.ok() && hit.n) return scope.keep(absolute(hit));
    }
    return scope.keep(str_empty());
}

u16 task_help(Str args) {
    TmpScope scope;
    if (args.ok() && str_trim(args, TRIM_BOTH).n) {
        about_show(int_to_text(sysint_get(SV_PRECIS)));
        return 0;
    }
    Str page = help_page_find();
    if (page.ok() && page.n) {
        if (help_open(page) == 0) return 0;
        // No browser could be started: the person learns where the page is.
        error_detail_clear();
        Str text = str_concat(str_concat(msg_text_id(MSG_BROWSER_FAILED), S("\r\n")), page);
        msg_box(text, msg_text_id(MSG_HELP_CAPTION), BOX_WARNING);
        return 0;
    }
    msg_box(str_concat(msg_text_id(MSG_HELP_MISSING), S("\r\n")), msg_text_id(MSG_HELP_CAPTION),
            BOX_INFO);
    return 0;
}

u16 task_fontset(Str) {
    TmpScope scope;
    Str path = font_file_path();
    if (!path.ok() || path.n == 0)
        return fail_with_detail(E_FILENOTFOUND, str_from_cstr(FONT_FILE), false);
    u16 count = 0;
    Str items = font_choices(path, &count);
    if (!items.ok()) return str_error_code(items);
    // A longer file could not be written back whole: better to leave it as it is.
    if (count > FONT_LINES_MAX) return fail_with_detail(E_DATAOUTBOUND, path, false);
    u16 chosen = select_box(str_from_cstr(FONT_TITLE), items, SEL_WINDOW | SEL_LIST);
    if (chosen == 0 || chosen == SEL_NONE) return 0;
    if (u16 rc = font_file_choose(chosen)) return rc;
    return font_apply_first(path);
}

void tasks_install() {
    task_serve(TASK_MANTAUX, task_mantaux);
    task_serve(TASK_HELP, task_help);
    task_serve(TASK_FONTSET, task_fontset);
}

}  // namespace vx::scr
