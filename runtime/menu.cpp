// Menu files: finding them, queueing their lines, and building the menu through a sink.
//
// A "PPN" menu definition is the run-time's own form of a menu: its lines, joined with ':'
// as in every PPN file, are split again at ':' outside quotes, and each item is one menu
// element written with its level as leading '>' characters instead of tabs:
//     Informes:>Crear Nuevo,Report:>Informes,Report %APNAME%report.ppn
// is the same menu as the three PMT lines "Informes", "\tCrear Nuevo,Report" and
// "\tInformes,Report %APNAME%report.ppn".
#include "runtime/menu.h"

#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/error.h"
#include "runtime/files.h"
#include "runtime/paths.h"
#include "runtime/store.h"

namespace vx::rt {

namespace {

constexpr char LEVEL_MARK = '>';   // the level of an element of a PPN menu definition

u16 pending_lines() { return store_count(LIST_MENU_LINES) + store_count(LIST_MENU_GENERATED); }

// The path of the menu file name.ext in the data folder, or "".
Str find_menu_file(Str name, u16 kind) {
    TmpScope scope;
    Str file = path_ext_join(path_part(name, PART_DRIVE | PART_FOLDER | PART_NAME), file_kind_ext(kind, true));
    return scope.keep(path_find(env_get(ENV_DATA), file));
}

// Calls take(line) for every line of a file until it answers non-zero; 0 or that code.
template <typename Take>
u16 each_line(Str path, Take take) {
    u16 h = file_open(path, FM_READ | FM_NOUPDATE);
    if (!file_handle_ok(h)) return h;
    u16 rc = 0;
    while (rc == 0 && !file_at_end(h)) {
        TmpScope scope;
        Str line = file_read_line(h);
        rc = line.ok() ? take(line) : str_error_code(line);
    }
    file_close(h);
    return rc;
}

// Reads every line of a file into the queue list.
u16 queue_lines(Str path, u16 list) {
    return each_line(path, [list](Str line) { return store_push(list, line); });
}

// Turns the elements of a PPN menu definition into menu lines with tabs.
u16 queue_definition(Str path) {
    return each_line(path, [](Str line) -> u16 {
        u16 items = list_count(line, ':');
        for (u16 i = 1; i <= items; i++) {
            TmpScope scope;
            Str item = str_trim(list_item(line, ':', i), TRIM_BOTH);
            if (item.n == 0) continue;
            u16 level = 0;
            while (level < item.n && item.at(level) == LEVEL_MARK) level++;
            Str element = str_concat(str_fill(level, '\t'), str_substr(item, level, NOT_FOUND));
            u16 rc = element.ok() ? store_push(LIST_MENU_GENERATED, element) : str_error_code(element);
            if (rc) return rc;
        }
        return u16(0);
    });
}

// Takes the next pending line: PMT lines first, then generated ones.
Str next_line(bool* any) {
    static constexpr u16 QUEUES[] = {LIST_MENU_LINES, LIST_MENU_GENERATED};
    for (u16 list : QUEUES) {
        if (store_count(list)) {
            *any = true;
            return store_pop(list);
        }
    }
    *any = false;
    return str_empty();
}

struct Builder {
    const MenuSink& sink;
    u16 open = 0;        // submenus open
    u16 level = 0;       // level of the previous line
    u16 entries = 0;

    void close_to(u16 depth) {
        while (open > depth) {
            if (sink.close) sink.close(sink.ctx);
            open--;
        }
    }
    u16 add(const MenuLine& m) {
        if (m.level < level) close_to(open > level - m.level ? open - (level - m.level) : 0);
        level = m.level;
        if (m.title()) {
            if (open >= MENU_LEVEL_MAX) return fail_with_detail(E_DATA, m.label, false);
            if (sink.open) sink.open(sink.ctx, m.label);
            open++;
            return 0;
        }
        u16 rc = store_set(LIST_MENU_TASKS, entries, m.task);
        if (rc) return rc;
        if (sink.entry) sink.entry(sink.ctx, u16(MENU_FIRST_ID + entries), m.label);
        entries++;
        return 0;
    }
};

}  // namespace

MenuLine menu_line_parse(Str line) {
    MenuLine m;
    Str s = str_trim_set(line, TRIM_RIGHT, S(" \r\n"));
    // The level is the number of tabs outside quotes; the text starts after that many bytes.
    u16 tabs = 0;
    for (u16 at = str_find_char(s, 0, '\t', QUOTED); at != NOT_FOUND; at = str_find_char(s, at + 1, '\t', QUOTED))
        tabs++;
    m.level = tabs;
    Str text = str_substr(s, tabs, NOT_FOUND);
    u16 comma = str_find_char(text, 0, ',', QUOTED);
    m.label = comma == NOT_FOUND ? text : str_substr(text, 0, comma);
    m.task = comma == NOT_FOUND ? str_empty() : str_substr(text, comma + 1, NOT_FOUND);
    return m;
}

u16 menu_queue_file(Str name) {
    TmpScope scope;
    Str first = str_trim(list_item(name, ',', 1), TRIM_BOTH);
    Str pmt = first.n ? find_menu_file(first, KIND_PMT) : str_empty();
    if (pmt.n) return queue_lines(pmt, LIST_MENU_LINES);
    Str ppn = first.n ? find_menu_file(first, KIND_PPN) : str_empty();
    if (ppn.n) return queue_definition(ppn);
    if (pending_lines()) return 0;
    return fail_with_detail(E_FILENOTFOUND, first.n ? first : name, false);
}

u16 menu_build(const MenuSink& sink, u16* entries) {
    Builder b{sink};
    store_truncate(LIST_MENU_TASKS, 0);
    u16 rc = 0;
    bool any = true;
    while (rc == 0) {
        TmpScope scope;
        Str line = next_line(&any);
        if (!any) break;
        if (!line.ok()) {
            rc = str_error_code(line);
            break;
        }
        MenuLine m = menu_line_parse(line);
        if (m.label.n == 0 && m.task.n == 0) continue;
        rc = b.add(m);
        // Each line must leave the arena room for a few more temporaries.
        if (rc == 0 && tmp_stats().slots - tmp_stats().current <= MENU_ARENA_SLOTS) rc = E_OUTOFMEMORY;
    }
    b.close_to(0);
    store_truncate(LIST_MENU_LINES, 0);
    store_truncate(LIST_MENU_GENERATED, 0);
    if (entries) *entries = b.entries;
    return rc;
}

u16 menu_load(Str name, const MenuSink& sink, u16* entries) {
    if (entries) *entries = 0;
    u16 rc = menu_queue_file(name);
    if (rc == 0) rc = menu_build(sink, entries);
    if (rc) error_show(rc);
    return rc;
}

Str menu_task(u16 command_id) {
    if (command_id < MENU_FIRST_ID || command_id >= MENU_FIRST_ID + MENU_REACHABLE) return str_empty();
    return store_get(LIST_MENU_TASKS, u16(command_id - MENU_FIRST_ID));
}

}  // namespace vx::rt
