// Start-up and shutdown of the window layer, the font file and the variable hook.
#include "screens/install.h"

#include <cstring>

#include "data/copy.h"
#include "data/sql.h"
#include "expr/vars.h"
#include "prc/run.h"
#include "platform/gui.h"
#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/error.h"
#include "runtime/files.h"
#include "runtime/fonts.h"
#include "runtime/paths.h"
#include "runtime/startup.h"
#include "runtime/tasks.h"
#include "screens/accept.h"
#include "screens/dialogs.h"
#include "screens/mainwin.h"
#include "screens/progress.h"
#include "screens/selbox.h"
#include "screens/state.h"

namespace vx::scr {

using namespace vx::rt;

namespace {

constexpr const char* DEFAULT_FACE = "Lucida Console";
constexpr i16 DEFAULT_HEIGHT = 24, DEFAULT_WIDTH = 12, WEIGHT_NORMAL = FONT_WEIGHT_NORMAL;
constexpr u16 DEFAULT_GRID_W = 70, DEFAULT_GRID_H = 12;

struct Served {
    const char* name;
    VarReader read;
    VarWriter write;
};

struct Install {
    Served served[SERVED_MAX] = {};
    u16 served_count = 0;
};

Install inst;

void register_defaults() {
    Screens& st = state();
    st = Screens{};
    metrics_set(Metrics{DEFAULT_GRID_W, DEFAULT_GRID_H, {0, 0, 0, 0}});
    font_register(DEFAULT_HEIGHT, DEFAULT_WIDTH, WEIGHT_NORMAL, str_from_cstr(DEFAULT_FACE));
}

const Served* served_of(Str name) {
    for (u16 i = 0; i < inst.served_count; i++)
        if (str_equal(name, str_from_cstr(inst.served[i].name))) return &inst.served[i];
    return nullptr;
}

// The first line of the font file is the font in use; an unusable line keeps the default.
u16 register_font_line(Str line) {
    FontSpec f;
    if (font_parse(line, &f)) {
        error_detail_clear();
        return 0;
    }
    font_register(f.height, f.width, i16(f.weight), str_from_cstr(f.face));  // a seventh is ignored
    return 0;
}

// The login form of the data layer: the accept form, collecting its values.
u16 run_login_form(Str title, Str definition, Str* values, bool* confirmed) {
    AcceptResult result;
    u16 rc = accept_run(title, definition, ACC_COLLECT, &result);
    *values = result.values;
    *confirmed = accept_key_confirms(result.key);
    return rc;
}

}  // namespace

void screens_reset() {
    platform::gui_close_all();
    progress_reset();
    mainwin_reset();
    register_defaults();
}

void screens_install() {
    register_defaults();
    expr::var_hook_register(var_hook);
    RuntimeServices& s = runtime_services();
    s.fonts_load = fonts_load;
    s.screens_free = screens_reset;
    s.menu_run = menu_run;
    tasks_install();
    task_serve(TASK_ACCEPTRUN, accept_task);
    data::sql_login_form_set(run_login_form);
    data::copy_ui_set(data::CopyUi{
        run_login_form, [](Str start, Str title) { return ask_folder(title, start); },
        [] { return ask_file(false, str_empty(), str_empty(), str_empty(), str_empty()); },
        [](Str title, Str items) { return select_box(title, items, SEL_WINDOW | SEL_LIST); },
        [](u32 total) { progress_open(PROGRESS_WIDTH_UNSET, total); }, [] { progress_step(1); },
        progress_close, progress_poll});
    data::copy_install();
    data::sql_slow_hook_set(progress_wait);
    prc::prc_chooser_set(
        [](Str title, Str items) { return select_box(title, items, SEL_WINDOW | SEL_LIST); });
    prc::prc_cancel_poll_set([] {   // the Cancel button of an open progress window
        ProgressView v = progress_view();
        return v.window != 0 && v.cancelled;
    });
    prc::prc_windows_set(prc::PrcWindows{[] { return progress_view().window != 0; }, progress_close,
                                         window_count, window_destroy});
}

u16 fonts_load() {
    TmpScope scope;
    Str name = font_file_path();
    if (name.n == 0) return 0;
    u16 h = file_open(name, FM_READ | FM_NOUPDATE | FM_QUIET);
    if (!file_handle_ok(h)) return 0;
    Str line = file_read_line(h);
    file_close(h);
    return line.ok() ? register_font_line(line) : 0;
}

u16 var_serve(const char* name, VarReader read, VarWriter write) {
    if (!name || name[0] != '_') return E_DATA;
    if (inst.served_count >= SERVED_MAX) return E_DATAOUTBOUND;
    inst.served[inst.served_count++] = Served{name, read, write};
    return 0;
}

u16 var_hook(u16 mode, Str name, Str value, Str* answer) {
    const Served* s = served_of(name);
    if (!s) return E_DATA;
    if (mode == expr::VAR_HOOK_WRITE) return s->write ? s->write(value) : u16(E_DATA);
    if (!s->read || !answer) return E_DATA;
    *answer = s->read();
    return answer->ok() ? 0 : str_error_code(*answer);
}

}  // namespace vx::scr
