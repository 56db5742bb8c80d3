// Task lines and the task dispatcher. A task line is a type name and its arguments
// ("Report %APNAME%report.ppn,Edit", "Help,About"); the dispatcher hands it to the process's
// task handler, or to the run-time's default handler in a program that registers none.
#pragma once

#include "runtime/str.h"

namespace vx::rt {

enum TaskType : u16 {
    TASK_MENU = 1, TASK_ACCEPT, TASK_ACCEPTRUN, TASK_MANTAUX, TASK_MANTMAIN, TASK_MANTAUTO,
    TASK_MANTMOVS, TASK_LNMANMAIN, TASK_LNNAVMAIN, TASK_PRCEXEC, TASK_REPORT, TASK_REORG,
    TASK_COPY, TASK_FILETRANS, TASK_HELP, TASK_PERFORM, TASK_FONTSET, TASK_WIZZSELECT,
    TASK_EXPEVAL,
    TASK_TYPE_COUNT = TASK_EXPEVAL
};
inline constexpr const char* TASK_TYPES =
    "Menu,Accept,AcceptRun,MantAux,MantMain,MantAuto,MantMovs,LnManMain,LnNavMain,PrcExec,"
    "Report,Reorg,Copy,FileTrans,Help,Perform,FontSet,WizzSelect,ExpEval";

// A parsed task line: the type number (0 when the name is unknown) and a status (0, or 163
// for an unknown name), packed for handlers as type << 16 | status.
struct TaskRequest {
    u16 type = 0;
    u16 status = 0;
    Str args;
    u32 packed() const { return (u32(type) << 16) | status; }
};
inline u16 task_type_of(u32 request) { return u16(request >> 16); }
inline u16 task_status_of(u32 request) { return u16(request & 0xFFFF); }

using TaskHandler = u16 (*)(u32 request, Str args);

void task_handler_set(TaskHandler handler);   // always replaces
TaskHandler task_handler();
TaskRequest task_parse(Str line);             // args in the arena
u16 task_run(Str line, TaskHandler default_handler);

// The run-time's default handler. Each task type it serves is filled in by the layer that
// implements it; a type nobody serves ends with 163 ("Proceso no definido").
using TaskServer = u16 (*)(Str args);
void task_serve(u16 type, TaskServer server);
u16 task_default_handler(u32 request, Str args);
u16 task_not_defined();                       // 163 with its detail text

// Square-bracket references in a task line are expanded by the expression layer.
using LineExpander = Str (*)(Str line);
void task_expander_set(LineExpander expander);

}  // namespace vx::rt
