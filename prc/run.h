// Running compiled procedures: the statement executor, the run loop that hands commands to a
// command executor, named entry, CALL with its parameters and LOCALVARS, the clean-up of
// what a run opened, the procedure trace, the run operation of hook slot 1 (EXEC$) and the
// PrcExec task.
//
// A run works on a copy of the record's header, so the loaded record keeps position 0 and an
// empty return stack, and nothing is allocated per statement: each statement's temporaries
// live in the arena, which is released to the run's mark before the next statement.
#pragma once

#include "expr/funcs_hooks.h"
#include "prc/compile.h"
#include "runtime/loop.h"

namespace vx::prc {

using rt::i16;
using rt::u8;

// ---- Limits ----
inline constexpr u16 PRC_NESTING_MAX = 24;       // runs inside runs (CALL, EXEC$, tasks)
// Every nested run may have loaded its own file, and a task its libraries besides: the table
// of loaded procedures must hold them all, so that the nesting limit is the one a recursion
// meets.
static_assert(PRC_TABLE_MAX >= 2 * PRC_NESTING_MAX);
inline constexpr u16 PRC_CALL_PARAMS_MAX = 16;   // expressions a CALL passes
inline constexpr u16 PRC_COMMAND_ARGS_MAX = 16;  // arguments a command passes
inline constexpr u16 PRC_EXECUTOR_SLOTS = 16;
inline constexpr u16 PRC_PUMP_EVERY = rt::LOOP_PUMP_EVERY;  // statements between two event pumps

// Run flags. RUN_LOCAL as given by a caller keeps the variable scope local; as handed to a
// run of a record it asks for the clean-up of what the run opened (set when the run starts
// at statement 0). RUN_KEEP_RESULT pushes the last value on LIST_RESULTS at END.
using expr::RUN_KEEP_RESULT;
using expr::RUN_LOCAL;
inline constexpr u16 RUN_CLEANUP = RUN_LOCAL;

// ---- Command executors ----
// Called with the command code (PC_ACCEPT..PC_SYSTEM) and its arguments in order: the result
// code of each (0 number, 1 string), the whole value of each number (16 bits) and the text
// of each (a number as text). Answers 0 or an error code.
using CommandExecutor = u16 (*)(u16 code, u16 nargs, const u8* types, const i16* values,
                                const Str* texts);
// Slot 0..15 (null empties it): 0, or 168 for a slot past the table. A run uses the executor
// of the first slot that holds one; with none, a command ends the run with 148.
u16 prc_executor_set(u16 slot, CommandExecutor fn);

// ---- Registration points for the layers above ----
// The selection box of the PrcExec pattern form: the number of the chosen item (from 1) of a
// comma list, 0 when cancelled.
using PrcChooser = u16 (*)(Str title, Str items);
void prc_chooser_set(PrcChooser fn);
// Asked before every statement: true ends the run with 122 (the user cancelled).
using PrcCancelPoll = bool (*)();
void prc_cancel_poll_set(PrcCancelPoll fn);
// The windows a run may leave open, for its clean-up: whether the progress window is open
// and closing it, the number of windows on the window stack and destroying the top one
// (non-zero when there is none left to destroy). A run from its first statement closes a
// progress window it opened and destroys the windows stacked above the ones it found.
struct PrcWindows {
    bool (*progress_open)() = nullptr;
    void (*progress_close)() = nullptr;
    u16 (*count)() = nullptr;
    u16 (*destroy_top)() = nullptr;
};
void prc_windows_set(const PrcWindows& windows);

// ---- Running ----
// Runs the entry point `entry` (newest record declaring it) or, with an empty entry, the
// newest record from statement 0; a non-empty file is loaded first and unloaded after.
// 0 or an error code. This is the run operation of hook slot 1.
u16 prc_run(Str entry, Str file, u16 flags);
// Runs a copy of rec from its position rec.pos. 0 or an error code.
u16 prc_run_record(const PrcRecord& rec, u16 flags);
// The CALL statement: "entry,file[,local] expr;expr…". 0 or an error code.
u16 prc_call(Str text);
// The LOCALVARS statement: takes the parameter stack into the named variables, last name
// from the top. 0 or an error code.
u16 prc_take_parameters(Str text);
// The PrcExec task: "files,entry,expressions…", or a file pattern (with '*') in the data
// folder offered in the chooser, every chosen file run until the user cancels.
u16 prc_task(Str args);
u16 prc_nesting();   // runs in progress

}  // namespace vx::prc
