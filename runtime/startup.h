// Start-up, run and shutdown of the run-time, the hook table, and the registration points
// through which later subsystems take part in start-up without this layer depending on them.
#pragma once

#include "runtime/str.h"

namespace vx::rt {

// The application's start-up hook: called with flags * 16 + stage.
using StartupHook = u16 (*)(u16 code);
enum StartStage : u16 { STAGE_BEFORE_ENV = 1, STAGE_READY = 2, STAGE_SHUTDOWN = 3 };
enum StartFlags : u16 {
    START_DICT = 2,           // run the dictionary step
    START_DICT_OPTIONAL = 4,  // a missing dictionary (156, 164) is not a failure
    START_DICT_ANYID = 8,     // run it also when the application id differs
};

// Trace bits read at start-up.
enum TraceBits : u16 { TRACE_ON = 1, TRACE_LOG = 16, TRACE_REPORT = 256 };
// Bits of _SCRSTAT.
enum ScrStatBits : u16 { SCR_RUNKEY = 8 };

// Services of higher layers. Each one that is still null succeeds and does nothing,
// except show_error, which writes the message to standard error.
struct RuntimeServices {
    u16 (*vars_create)() = nullptr;             // variable tables and system variables
    void (*vars_free)() = nullptr;              // at shutdown, with the structures' memory
    void (*screens_free)() = nullptr;           // at shutdown, before the variables
    void (*data_free)() = nullptr;              // at shutdown, after the screens, before the variables
    void (*prc_free)() = nullptr;               // at shutdown, after the data layer, before the variables
    void (*var_hook_install)() = nullptr;       // hook slot 0
    Str (*lang_texts)() = nullptr;              // text of environment entry 0
    u16 (*expr_init)() = nullptr;
    u16 (*dict_load)(Str folder) = nullptr;     // loads the application's dictionary files
    u16 (*dict_declare)() = nullptr;            // declares the loaded data files
    u16 (*fonts_load)() = nullptr;
    void (*about_show)() = nullptr;
    void (*show_error)(u16 code) = nullptr;     // shows a code as a message
    u16 (*menu_run)(Str menu) = nullptr;
    u16 (*after_start)() = nullptr;             // language variables: a failure ends start-up
    u16 (*language)() = nullptr;                // after stage 1: the language asked for
};
RuntimeServices& runtime_services();

// The hook table: 25 optional callbacks, slot 0 the variable hook, slot 1 run-procedure,
// slot 23 the query progress hook. Users cast to the slot's own signature.
inline constexpr u16 HOOK_SLOTS = 25;
enum HookSlot : u16 { HOOK_VARIABLE = 0, HOOK_RUNPRC = 1, HOOK_QUERY_PROGRESS = 23 };
using AnyFn = void (*)();
void hook_set(u16 slot, AnyFn fn);
AnyFn hook_get(u16 slot);

// Slots whose number comes from outside the program (a member of a parameter file names the
// slot of an accept form's result hook) are read with the function's type: a slot holding a
// function of another type, or one stored untyped with hook_set, reads as empty, so that no
// text can have a function called with arguments it does not take.
using HookType = const void*;
template <typename Fn>
HookType hook_type() {
    static const char tag = 0;
    return &tag;
}
void hook_set_typed(u16 slot, AnyFn fn, HookType type);
AnyFn hook_get_typed(u16 slot, HookType type);
template <typename Fn>
void hook_put(u16 slot, Fn fn) {
    hook_set_typed(slot, reinterpret_cast<AnyFn>(fn), hook_type<Fn>());
}
// The slot's function when it was stored as an Fn; null otherwise.
template <typename Fn>
Fn hook_find(u16 slot) {
    return reinterpret_cast<Fn>(hook_get_typed(slot, hook_type<Fn>()));
}

u16 runtime_start(void* instance, Str command_line, Str application_id, Str description,
                  u16 flags, StartupHook hook);
// The same with an argument vector: the program and its arguments joined by blanks.
u16 runtime_start_args(void* instance, int argc, const char* const* argv, Str application_id,
                       Str description, u16 flags, StartupHook hook);
u16 runtime_run(Str menu_name);
u16 runtime_stop(StartupHook hook, u16 run_result);
bool runtime_started();
void* runtime_instance();

// The exit code of a run: below 128 becomes 0.
u16 exit_code_of(u16 code);

// The value of a command-line key that names a file (INPUT, OUTPUT), as a path from the
// folder the program was started in: an application may move to a working folder of its
// own during start-up, and the names a person typed still mean the files beside them.
Str runtime_file_key(u16 key);

}  // namespace vx::rt
