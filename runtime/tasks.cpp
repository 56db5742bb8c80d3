// Task lines and the dispatcher: parsing a line into type and arguments, the process's
// handler, and the run-time's default handler with the servers other layers register.
#include "runtime/tasks.h"

#include "runtime/arena.h"
#include "runtime/error.h"
#include "runtime/msg.h"

namespace vx::rt {

namespace {

constexpr u16 NOT_DEFINED_MSG = 31;  // "Proceso no definido"

struct Tasks {
    TaskHandler handler = nullptr;
    TaskServer servers[TASK_TYPE_COUNT + 1] = {};
    LineExpander expander = nullptr;
};

Tasks tasks;

}  // namespace

void task_handler_set(TaskHandler handler) { tasks.handler = handler; }
TaskHandler task_handler() { return tasks.handler; }
void task_expander_set(LineExpander expander) { tasks.expander = expander; }

void task_serve(u16 type, TaskServer server) {
    if (type >= 1 && type <= TASK_TYPE_COUNT) tasks.servers[type] = server;
}

u16 task_not_defined() {
    TmpScope scope;
    return fail_with_detail(E_DATA, msg_text_id(NOT_DEFINED_MSG), false);
}

TaskRequest task_parse(Str line) {
    TaskRequest req;
    TmpScope scope;
    Str text = tasks.expander ? tasks.expander(line) : line;
    if (!text.ok()) {
        req.status = str_error_code(text);
        req.args = scope.keep(text);
        return req;
    }
    char sep = str_find_char(text, 0, ' ', QUOTED) != NOT_FOUND ? ' ' : ',';
    Str name = list_item(text, sep, 1);
    req.type = list_find(str_from_cstr(TASK_TYPES), ',', name);
    req.status = req.type ? 0 : E_DATA;
    req.args = scope.keep(list_set_item(text, sep, -1, str_empty()));
    return req;
}

u16 task_run(Str line, TaskHandler default_handler) {
    if (!tasks.handler) tasks.handler = default_handler;
    TmpScope scope;
    TaskRequest req = task_parse(line);
    if (!req.args.ok()) return str_error_code(req.args);
    if (!tasks.handler) return task_not_defined();
    return tasks.handler(req.packed(), req.args);
}

u16 task_default_handler(u32 request, Str args) {
    u16 type = task_type_of(request);
    if (task_status_of(request) || type == 0 || type > TASK_TYPE_COUNT || !tasks.servers[type])
        return task_not_defined();
    return tasks.servers[type](args);
}

}  // namespace vx::rt
