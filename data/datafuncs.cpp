// The data layer's side of the expression functions on data files: FILEFIND, FILEREL,
// FILELOCATE, KEY$, IER, FN#FLEN and FILESEL, registered with the expression layer at
// start-up.
#include "data/datafile_impl.h"
#include "data/sql.h"
#include "data/sqlcond.h"
#include "expr/eval.h"
#include "expr/funcs_hooks.h"
#include "expr/structs.h"
#include "runtime/arena.h"
#include "runtime/error.h"

namespace vx::data {

using namespace vx::rt;
using namespace df;

namespace {

constexpr u8 VERB_READ_MODE = 0xFF;   // low byte of a verb code
constexpr u16 VERB_WRITE_FLAGS = 0xFF00;
constexpr u16 RELATION_DELETE = FIND_INSERT | FIND_CONDITION;

// FILEFIND with flag 8: the first record, in the current key's order, that the condition
// accepts; the SQL does the coarse part and the evaluator decides.
u16 find_by_condition(u16 file, Str condition) {
    u16 n;
    if (u16 rc = use(file, &n)) return rc;
    SlotScope keep_slot;
    TmpScope scope;
    Str sql = sql_condition(n, condition);
    if (!sql.ok()) return str_error_code(sql);
    Str open_end{"\xFF", 1};
    u16 st = read_first_in_range(n, str_empty(), sql, open_end);
    while (st == STATUS_EXACT) {
        u16 c = expr::expr_condition(condition);
        if (c == 1) break;
        if (c != 0) return c;
        st = move_with(n, READ_NEXT, sql, open_end);
    }
    if (st == STATUS_NEIGHBOUR) st = STATUS_NONE;
    set_status(n, st);
    return st;
}

u16 call_find(u16 file, Str key, u16 key_number, u16 flags) {
    if (flags & FIND_CONDITION) return find_by_condition(file, key);
    u16 prepare = flags & FIND_INSERT ? u16(FIND_PREPARE_NEW) : u16(0);
    u16 st = datafile_find(file, key_number, key, u16((flags & (FIND_PREPARE_NEW | FIND_AT_OR_AFTER)) | prepare));
    if (st != STATUS_NONE || !(flags & FIND_INSERT) || key_number == 0) return st;
    if (u16 rc = datafile_write(file, WRITE_INSERT, str_empty(), false)) return rc;
    return datafile_find(file, key_number, key, 0);
}

// The key of the related file that a relation searches: the key number given, else the one
// the relation marker "<file>R<relation>K" names in the dictionary of the current data file
// (of the related file when there is no current one), else the related file's current key.
u16 relation_key(u16 file, u16 relation, u16 key_number) {
    if (key_number || !relation) return key_number;
    u16 from = datafile_number(0);
    return expr::struct_relation(from ? from : file, file, relation);
}

// FILEREL(file, relation, key number, flags, text): the related record of the current one.
// file is the related data file, whose record is searched (find by key with flags bits 1
// and 2) with the value of the key expression text, evaluated on the current records.
// _RELRES tells what followed: 4 missing, 2 the search went on to a following record, 12
// found and deleted (flags 4 and 8). With flags bit 4 and _UPSTAT bit 4, the relation
// hook (entry 3) performs the lookup when one is installed.
u16 call_relation(u16 file, u16 relation, u16 key_number, u16 flags, Str text) {
    key_number = relation_key(file, relation, key_number);
    sysint_set(SV_RELRES, 0);
    TmpScope scope;
    expr::Value v;
    u16 rc = expr::expr_eval(text, v);
    if (rc >= FIRST_ERROR) return rc;
    if (rc == E_NULLEXPR) return error_raise(M_DATAFILE, E_DATA);
    Str key = v.is_str ? v.str : expr::num_text(v.num);
    auto hook = reinterpret_cast<RelationHook>(sql_get_hook(HOOK_RELATION));
    if (hook && (flags & FIND_INSERT) && sysint_bit(SV_UPSTAT, UPSTAT_RELATION_HOOK))
        return hook(file, key, key_number, flags);
    u16 st = datafile_find(file, key_number, key, flags & (FIND_PREPARE_NEW | FIND_AT_OR_AFTER));
    if (st == STATUS_NONE) sysint_set(SV_RELRES, RELRES_MISSING);
    if (st == STATUS_NEIGHBOUR) sysint_set(SV_RELRES, RELRES_WENT_ON);
    if (st == STATUS_EXACT && (flags & RELATION_DELETE) == RELATION_DELETE) {
        if (u16 w = datafile_write(file, WRITE_DELETE, str_empty(), false)) return w;
        sysint_set(SV_RELRES, RELRES_DELETED);
    }
    return st;
}

u16 call_locate(u16 file, u16 verb) {
    if ((verb & VERB_WRITE_FLAGS) == (VERB_DEL & VERB_WRITE_FLAGS)) {
        u16 rc = datafile_write(file, verb & VERB_WRITE_FLAGS, str_empty(), true);
        if (rc >= FIRST_ERROR) return rc;
        if (u16 c = sql_commit_point()) return c;
        return u16(datafile_ctrl(file, CW_STATUS));
    }
    return datafile_move(file, u8(verb & VERB_READ_MODE));
}

u16 call_key(u16 file, u16 key_number, u16 which, u16 length, Str* out) {
    Str key = datafile_key(file, key_number, which == IMAGE_SAVED ? IMAGE_SAVED : IMAGE_CURRENT);
    if (!key.ok()) return str_error_code(key);
    if (length && length < key.n) key.n = length;
    *out = key;
    return 0;
}

u16 call_status(u16 file) {
    u16 n;
    if (u16 rc = use(file, &n)) return rc;
    return u16(state(n).ctrl[CW_STATUS]);
}

u16 call_count(u16 file, i64* records) {
    SlotScope keep_slot;
    return sql_count(file, 0, str_empty(), str_empty(), str_empty(), records);
}

const expr::DataFileCalls CALLS = [] {
    expr::DataFileCalls c;
    c.find = call_find;
    c.relation = call_relation;
    c.locate = call_locate;
    c.key = call_key;
    c.status = call_status;
    c.count = call_count;
    c.open_set = datafile_open_set;
    return c;
}();

}  // namespace

void datafile_install() { expr::datafile_calls_set(&CALLS); }

}  // namespace vx::data
