// Start-up, run and shutdown of the run-time.
//
// Start-up builds the memory layer and the environment, calls the application's hook
// before and after the environment is ready, loads the dictionary and fonts through the
// services that higher layers register, and may write the start-up report. The INPUT file
// is opened before stage 2, so that the forms of the application's start-up read their
// answers from it. The run executes the INPUT file's (remaining) task lines and the RUN key's
// line, or the menu. Shutdown releases everything and turns the results into the process
// exit code.
#include "runtime/startup.h"

#include <cstdio>
#include <string>

#include "platform/os.h"
#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/error.h"
#include "runtime/files.h"
#include "runtime/log.h"
#include "runtime/msg.h"
#include "runtime/paths.h"
#include "runtime/store.h"
#include "runtime/sysvars.h"
#include "runtime/tasks.h"

namespace vx::rt {

namespace {

constexpr const char* REPORT_LOG = "log.txt";
constexpr const char* NOTHING_TO_RUN = "Nada que ejecutar: ni menu, ni RUN, ni INPUT";
constexpr const char* DEFAULT_LANG = "ES";
constexpr const char* DICT_FALLBACK = "../APPS";

struct Startup {
    bool started = false;
    void* instance = nullptr;
    u16 flags = 0;
    RuntimeServices services;
    int argc = 0;                        // an argument vector given instead of a line
    const char* const* argv = nullptr;
    AnyFn hooks[HOOK_SLOTS] = {};
    HookType hook_types[HOOK_SLOTS] = {};   // null: stored untyped
    std::string start_folder;            // relative INPUT and OUTPUT names are taken from here
};

Startup st;

u16 call_hook(StartupHook hook, u16 stage) { return hook ? hook(u16(st.flags * 16 + stage)) : 0; }

// Without a message layer a code is shown on standard error.
void show_error(u16 code) {
    if (st.services.show_error) return st.services.show_error(code);
    TmpScope scope;
    Str detail = error_detail();
    std::fprintf(stderr, "Error %u%s%.*s\n", unsigned(code), detail.n ? ": " : "", int(detail.n), detail.p);
    error_detail_clear();
}

u16 run_task(Str line) { return task_run(line, task_default_handler); }

// Entry 0: the language texts, or two empty texts until the message layer gives them.
u16 set_language_texts() {
    TmpScope scope;
    if (st.services.lang_texts) return env_set(ENV_LANGTEXTS, st.services.lang_texts());
    return env_set(ENV_LANGTEXTS, Str{"\0\0 ", 3});
}

// Entry 2: the id (from the APNAME key or the application) with the application's name
// taken from the id itself, else from the previous entry 2, else from the id passed in.
u16 set_application_id(Str app_id) {
    TmpScope scope;
    Str key = cmd_key(KEY_APNAME);
    Str id = key.n ? key : app_id;
    if (id.n == 0) return 0;
    Str name = list_item(id, ':', 2);
    if (name.n == 0) name = list_item(env_get(ENV_APNAME), ':', 2);
    if (name.n == 0) name = list_item(app_id, ':', 2);
    return env_set(ENV_APNAME, str_join(list_item(id, ':', 1), S(":"), name));
}

u16 set_folders() {
    TmpScope scope;
    u16 rc = 0;
    if (env_get(ENV_DATA).n == 0) rc = env_set(ENV_DATA, path_resolve(APPPATH_RUNPATH));
    if (rc == 0 && env_get(ENV_HELP).n == 0) rc = env_set(ENV_HELP, path_resolve(APPPATH_HELP));
    return rc;
}

bool dictionary_wanted(Str app_id) {
    if (st.flags & START_DICT) return true;
    if (!(st.flags & START_DICT_ANYID)) return false;
    return !str_equal(list_item(app_id, ':', 1), list_item(env_get(ENV_APNAME), ':', 1));
}

// Loads the application's dictionary files from the data folder, once more from the
// DPATH folder (or ../APPS) when that fails.
u16 load_dictionary() {
    if (!st.services.dict_load) return 0;
    TmpScope scope;
    error_clear();
    u16 rc = E_LOADSTRERROR;
    if (app_prefix().n == 2) {
        rc = st.services.dict_load(env_get(ENV_DATA));
        if (rc != 0) {
            Str dpath = cmd_key(KEY_DPATH);
            if (dpath.n) env_set(ENV_DATA, dpath);
            else if (env_get(ENV_DATA).n && env_get(ENV_DATA).at(0) == '.')
                env_set(ENV_DATA, path_relative(path_cwd(), str_from_cstr(DICT_FALLBACK)));
            rc = st.services.dict_load(env_get(ENV_DATA));
        }
    }
    if ((st.flags & START_DICT_OPTIONAL) && (rc == E_LOADSTRERROR || rc == E_FILENOTFOUND)) {
        error_clear();
        rc = 0;
    } else if (rc == 0 && st.services.dict_declare) {
        rc = st.services.dict_declare();
    }
    return rc;
}

// With _TRACE bits 1 and 16: a fresh log.txt with the line "0,<language>", and start-up
// ends quietly with 121. With bit 1 alone: the About box.
u16 startup_report() {
    u16 trace = u16(sysint_get(SV_TRACE));
    if (!(trace & TRACE_REPORT)) return 0;
    if ((trace & TRACE_ON) && (trace & TRACE_LOG)) {
        TmpScope scope;
        Str name = str_from_cstr(REPORT_LOG);
        log_start(name);
        log_line(str_concat(S("0,"), env_get(ENV_LANG)), TRACE_ON);
        return E_SILENTSTOP;
    }
    if (st.services.about_show) st.services.about_show();
    return 0;
}

// The INPUT file is opened before the application's stage 2, so that the forms of its
// start-up (the login) read their answers from it; the run reads its task lines from the
// same file afterwards. A file that cannot be opened ends start-up with its error.
u16 open_input() {
    TmpScope scope;
    Str name = runtime_file_key(KEY_INPUT);
    if (!name.n || sysint_get(SV_INHND)) return 0;
    // A folder opens but cannot be read: it is no INPUT file.
    if (os::is_dir(str_to_cstr(name))) {
        fail_with_detail(E_FILENOTFOUND, name, false);
        return error_note(1, M_STREAMS, E_FILENOTFOUND, E_FILENOTFOUND);
    }
    u16 h = file_open(name, FM_READ | FM_NOUPDATE);
    if (!file_handle_ok(h)) return h;
    sysint_set(SV_INHND, i16(h));
    return 0;
}

void close_input() {
    u16 h = u16(sysint_get(SV_INHND));
    if (h) file_close(h);
    sysint_set(SV_INHND, 0);
}

u16 start_steps(void* instance, Str command_line, Str app_id, Str description, StartupHook hook) {
    // Memory, variables.
    st.instance = instance;
    u16 rc = mem_init();
    if (rc) return rc;
    sysint_reset();
    if (st.services.vars_create && (rc = st.services.vars_create())) return rc;
    // Hook slot 0, language texts, expression layer.
    if (st.services.var_hook_install) st.services.var_hook_install();
    if ((rc = set_language_texts())) return rc;
    if (st.services.expr_init && (rc = st.services.expr_init())) return rc;
    // Command line, then the application's first look at it.
    {
        TmpScope scope;
        Str line = st.argv ? cmdline_from_args(st.argc, st.argv) : cmdline_normalise(command_line);
        if ((rc = env_set(ENV_CMDLINE, line))) return rc;
        Str cwd = path_cwd();
        st.start_folder.assign(cwd.ok() ? cwd.p : "", cwd.ok() ? cwd.n : 0);
    }
    if ((rc = call_hook(hook, STAGE_BEFORE_ENV))) return rc;
    if (st.services.language && (rc = st.services.language())) return rc;
    if (env_get(ENV_LANG).n == 0 && (rc = env_set(ENV_LANG, str_from_cstr(DEFAULT_LANG)))) return rc;
    // Trace, identity, description, folders.
    sysint_set(SV_TRACE, i16(str_to_int(cmd_key(KEY_TRACE)) | TRACE_ON));
    if ((rc = set_application_id(app_id))) return rc;
    if (description.ok() && description.n && (rc = env_set(ENV_APDESC, description))) return rc;
    if ((rc = set_folders())) return rc;
    // Dictionary and fonts.
    if (dictionary_wanted(app_id)) rc = load_dictionary();
    if (rc == 0 && st.services.fonts_load) rc = st.services.fonts_load();
    if (rc == 0) rc = startup_report();
    if (rc == 0 || rc == E_LOADSTRERROR) {
        u16 input = open_input();
        rc = input ? input : call_hook(hook, STAGE_READY);
    }
    if (rc == 0) {
        error_clear();
        if (st.services.after_start) rc = st.services.after_start();
    }
    return rc;
}

}  // namespace

RuntimeServices& runtime_services() { return st.services; }

void hook_set(u16 slot, AnyFn fn) { hook_set_typed(slot, fn, nullptr); }

AnyFn hook_get(u16 slot) { return slot < HOOK_SLOTS ? st.hooks[slot] : nullptr; }

void hook_set_typed(u16 slot, AnyFn fn, HookType type) {
    if (slot >= HOOK_SLOTS) return;
    st.hooks[slot] = fn;
    st.hook_types[slot] = fn ? type : nullptr;
}

AnyFn hook_get_typed(u16 slot, HookType type) {
    if (slot >= HOOK_SLOTS || !type || st.hook_types[slot] != type) return nullptr;
    return st.hooks[slot];
}

bool runtime_started() { return st.started; }
void* runtime_instance() { return st.instance; }

u16 exit_code_of(u16 code) { return code < FIRST_ERROR ? 0 : code; }

Str runtime_file_key(u16 key) {
    Str name = cmd_key(key);
    if (!name.ok() || !name.n || st.start_folder.empty() || name.at(0) == '/' || name.at(0) == '\\')
        return name;
    TmpScope scope;
    Str folder = str_view(st.start_folder.data(), u16(st.start_folder.size()));
    return scope.keep(path_join(folder, name));
}

u16 runtime_start(void* instance, Str command_line, Str application_id, Str description,
                  u16 flags, StartupHook hook) {
    if (st.started || mem_ready()) return E_UNDEFWARN;
    st.flags = flags;
    u16 rc = start_steps(instance, command_line, application_id, description, hook);
    st.started = mem_ready();
    if (rc > E_SILENTSTOP) show_error(rc);
    return rc;
}

u16 runtime_start_args(void* instance, int argc, const char* const* argv, Str application_id,
                       Str description, u16 flags, StartupHook hook) {
    st.argc = argc;
    st.argv = argv;
    u16 rc = runtime_start(instance, str_empty(), application_id, description, flags, hook);
    st.argc = 0;
    st.argv = nullptr;
    return rc;
}

u16 runtime_run(Str menu_name) {
    TmpScope scope;
    Str run = cmd_key(KEY_RUN);
    Str input = cmd_key(KEY_INPUT);
    bool batch = cmd_batch();
    u16 rc = 0;
    if ((menu_name.n == 0 || batch) && run.n == 0 && input.n == 0) {
        rc = fail_with_detail(E_DATA, str_from_cstr(NOTHING_TO_RUN), false);
        show_error(rc);
        return rc;
    }
    if (cmd_key(KEY_OUTPUT).n) sysint_set(SV_OUTHND, 1);
    if (input.n) {
        // Normally open since start-up, its first lines perhaps read by the login.
        rc = open_input();
        for (u16 h = u16(sysint_get(SV_INHND)); rc == 0 && h && !file_at_end(h);) {
            TmpScope line_scope;
            Str line = str_trim(file_read_line(h), TRIM_BOTH);
            if (line.ok() && line.n) rc = run_task(line);
        }
        close_input();
    }
    if (rc == 0 && run.n) {
        sysint_or(SV_SCRSTAT, SCR_RUNKEY);
        rc = run_task(run);
    } else if (rc == 0 && !batch && (menu_name.n || !input.n)) {
        rc = st.services.menu_run ? st.services.menu_run(menu_name)
                                  : fail_with_detail(E_DATA, menu_name, false);
    }
    if (rc) show_error(rc);
    return rc;
}

u16 runtime_stop(StartupHook hook, u16 run_result) {
    u16 hook_rc = call_hook(hook, STAGE_SHUTDOWN);
    close_input();
    if (st.services.screens_free) st.services.screens_free();
    if (st.services.data_free) st.services.data_free();
    if (st.services.prc_free) st.services.prc_free();
    if (st.services.vars_free) st.services.vars_free();
    files_close_all();
    msg_shutdown();
    u16 leak = mem_shutdown();
    u16 shut = 0;
    if (leak) {
        std::fprintf(stderr, "Error %u: memory block of owner %u not released\n", unsigned(E_MEMLEAKS), unsigned(leak));
        shut = E_MEMLEAKS;
    }
    st.started = false;
    st.instance = nullptr;
    st.start_folder.clear();
    sysint_reset();
    u16 code = run_result ? run_result : hook_rc ? hook_rc : shut;
    return exit_code_of(code);
}

}  // namespace vx::rt
