// The table of loaded procedures: loading a procedure file into it, unloading, finding the
// newest record that declares an entry point, and the layer's release at shutdown.
//
// A handle is an index in the table. Unloading leaves a free slot (the table only shrinks
// from its end), so the handles of the other procedures stay valid.
#include "prc/compile.h"
#include "prc/compile_impl.h"
#include "prc/run.h"
#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/error.h"
#include "runtime/files.h"
#include "runtime/paths.h"
#include "runtime/startup.h"
#include "runtime/tasks.h"

namespace vx::prc {

using namespace vx::rt;

namespace {

struct Procs {
    PrcRecord table[PRC_TABLE_MAX];
    u16 count = 0;           // one past the newest slot in use
    AnyFn run = nullptr;     // the run operation for hook slot 1
};

Procs procs;

bool in_use(u16 h) { return h < procs.count && procs.table[h].block; }

u16 not_found(Str file) {
    fail_with_detail(E_FILENOTFOUND, file, false);
    return error_raise(M_EXEC_COMPILER, E_FILENOTFOUND);
}

// Pass 1 over every line of an open file. Each line is read into the arena, which must have
// room for a line longer than the limit, so that such a line is seen whole and refused
// rather than taken in pieces.
u16 read_lines(detail::Compiler& c, u16 h) {
    while (c.error == 0 && !file_at_end(h)) {
        TmpScope scope;
        Str room = tmp_free_space();
        if (!room.ok() || room.n <= PRC_MAX_LINE)
            return c.error = error_raise(M_EXEC_COMPILER, E_OUTOFMEMORY);
        Str line = file_read_line(h);
        if (!line.ok()) break;
        detail::compile_line(c, line.p, line.n);
    }
    return c.error;
}

u16 compile_file(Str file, Str path, PrcRecord* rec) {
    u16 h = file_open(path, FM_READ | FM_NOUPDATE | FM_QUIET);
    if (!file_handle_ok(h)) return not_found(file);
    detail::Compiler c;
    if (detail::compile_begin(c, file) == 0) read_lines(c, h);
    file_close(h);
    if (c.error == 0 && c.lines == 0) c.error = not_found(file);
    return detail::compile_finish(c, rec);
}

}  // namespace

namespace detail {

void run_hook_install() {
    if (procs.run) hook_set(HOOK_RUNPRC, procs.run);
}

}  // namespace detail

u16 prc_load(Str file) {
    if (!file.ok()) return str_error_code(file);
    TmpScope scope;
    Str path = path_find(env_get(ENV_DATA), file);
    if (!path.ok() || path.n == 0) return not_found(file);
    PrcRecord rec;
    if (u16 rc = compile_file(file, path, &rec)) return rc;
    if (procs.count == PRC_TABLE_MAX) {
        prc_release(&rec);
        fail_with_detail(E_INTERNAL, file, false);
        return error_raise(M_EXEC_COMPILER, E_INTERNAL);
    }
    u16 h = procs.count++;
    procs.table[h] = rec;
    return h;
}

u16 prc_unload(u16 handle, u16 tag) {
    if (handle >= E_CANCELLED) return handle;
    if (!in_use(handle)) return error_raise(M_EXEC_COMPILER, E_DATAOUTBOUND);
    if (u16 rc = prc_release(&procs.table[handle], tag)) return error_raise(M_EXEC_COMPILER, rc);
    while (procs.count && !procs.table[procs.count - 1].block) procs.count--;
    return 0;
}

u16 prc_table_count() { return procs.count; }

u16 prc_loaded() {
    u16 n = 0;
    for (u16 h = 0; h < procs.count; h++) n += in_use(h);
    return n;
}

const PrcRecord* prc_record(u16 handle) { return in_use(handle) ? &procs.table[handle] : nullptr; }

u16 prc_find(Str name, u16* entry) {
    *entry = NOT_FOUND;
    if (!name.ok()) return NOT_FOUND;
    for (u16 h = procs.count; h-- > 0;) {
        if (!in_use(h)) continue;
        if (name.n == 0) return h;
        u16 e = prc_entry_find(procs.table[h], name);
        if (e != NOT_FOUND) {
            *entry = e;
            return h;
        }
    }
    return NOT_FOUND;
}

void prc_run_op_set(AnyFn run) { procs.run = run; }

void prc_free() {
    for (u16 h = 0; h < procs.count; h++) prc_release(&procs.table[h]);
    procs.count = 0;
}

void prc_install() {
    runtime_services().prc_free = prc_free;
    prc_run_op_set(reinterpret_cast<AnyFn>(&prc_run));
    detail::run_hook_install();   // EXEC$ can run a procedure before any has been compiled
    task_serve(TASK_PRCEXEC, prc_task);
}

}  // namespace vx::prc
