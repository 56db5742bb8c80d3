// The Reorg task: rebuilding the indexes of one data file's table and checking that its
// record count did not change.
#include "data/copy.h"
#include "data/datafile.h"
#include "data/sqltext.h"
#include "expr/structs.h"
#include "runtime/arena.h"
#include "runtime/error.h"
#include "runtime/msg.h"

namespace vx::data {

using namespace vx::rt;
using namespace vx::expr;

namespace {

constexpr u16 MSG_TABLE_CHOICE = 85;
constexpr u16 CODE_CANCELLED = 122, CODE_COUNT_CHANGED = 141, CODE_NO_FILE = 151;
constexpr u16 COUNT_KEY = 1;

u16 count_records(u16 file, i64* records) {
    return sql_count(file, COUNT_KEY, str_empty(), str_empty(), str_empty(), records);
}

// The names of the defined data files, a comma list in structure order.
Str file_names() {
    Str list = str_empty();
    for (u16 s = 1, n = struct_count(); s <= n; s++) {
        StructDesc d;
        if (struct_info(s, &d)) return list;
        list = s == 1 ? str_copy(d.name) : str_join(list, S(","), d.name);
    }
    return list;
}

}  // namespace

u16 reindex_table(u16 file, ProgressStep step) {
    TmpScope scope;
    StructDesc d;
    if (!file || file > struct_count() || struct_info(file, &d))
        return fail_with_detail(CODE_NO_FILE, int_to_text(i16(file)), false);
    i64 before = 0, after = 0;
    if (u16 rc = count_records(file, &before); rc >= FIRST_ERROR) return rc;
    step();
    Str sql = str_concat(S("REINDEX TABLE "), str_concat(sql_ident(d.name), S(";")));
    for (u16 run = 0; run < REINDEX_RUNS; run++) {
        if (u16 rc = sql_exec(sql)) return rc;
        step();
    }
    if (u16 rc = count_records(file, &after); rc >= FIRST_ERROR) return rc;
    if (after != before)
        return fail_with_detail(CODE_COUNT_CHANGED, str_format(64, "%lld / %lld", (long long)before, (long long)after), false);
    step();
    return 0;
}

u16 reindex_task() {
    TmpScope scope;
    const CopyUi& ui = copy_ui();
    u16 file = ui.choose_item ? ui.choose_item(msg_text_id(MSG_TABLE_CHOICE), file_names()) : 0;
    if (!file || file > struct_count()) return CODE_CANCELLED;
    if (ui.progress_open) ui.progress_open(REINDEX_STEPS);
    u16 rc = reindex_table(file, copy_step());
    if (ui.progress_close) ui.progress_close();
    if (rc == 0) error_show(0);
    return rc;
}

}  // namespace vx::data
