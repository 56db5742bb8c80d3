// Member names by number, member keys and values from the parameter-record stack, and
// parameter files of kinds 0 to 6.
#include "expr/members.h"

#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/error.h"
#include "runtime/files.h"
#include "runtime/paths.h"
#include "runtime/store.h"
#include "runtime/sysvars.h"

namespace vx::expr {

using namespace vx::rt;

namespace {

// A member number is reduced by the largest threshold not above it; the rest selects the
// item (from 1) of that threshold's list.
struct MemberList {
    u16 threshold;
    const char* names;
};
constexpr MemberList MEMBER_LISTS[] = {
    {100, "ACCEPT_PRC%,WINNAME$,PROG_MODE$,PARM_FILE$,PARM_FILE_WRITE$,SOURCEFILE%,IMP_MODE%,RD_EXP$,"
          "WR_EXP$,EOT_EXP$,RD_COND$,TARGET$,LOAD_IMPORT$,MNU_IMPORT$,AUTO_IMPORT$,STRUCT$"},
    {90, "DEVICE$,DOCNAME$,ACBOUND$,INDEX%,LIMITS$,AUXLOAD$,RESET$,STEPS$,PRCNAME$"},
    {70, "ATEND$,BRKEND$,BREAK$,COND$,MAXLINE%,LINESTEP%,TOTALBASE%,CONTINUE%,EXTRASTEP%,TITLE$,WD"},
    {50, "FD$,ALARM$,ASSIGN$,LNASSIGN$,FILEDEF$,PERFORM$,UPDFIELDS$,WIDTHS$,TYPES$,WINDOWS$,CLEAR$,"
         "ON_CONFIRM$,ON_CANCEL$,USR_COND$,IK$(1),IK$(2),IK$(3)"},
    {30, "NUMCAB$,WRITECAB0$,WRITECABS$,WRITELINS$,FITCLC$,FTCLC$,READCABS$,READLINS$,LNINS$,LNDEL$,"
         "ALARMLINS$,BOUNDS$,DOCTYPETXT$,MODE$,FASTFIND$,FLDUPDATE$,BEGINFLD%,MAXLIN%"},
    {10, "SCREENSIZE$,SET$,OPEN$,EDIT$,NOEDIT$,WRITE$,DOC$,DOCSETS$,HELP$,SAVED$,HIDDEN$,RELOPT%,"
         "UNICNDX%,AUTONDX%,KEYMAP%,SCANDEF$,SCANWIN$,SCANSET$,VOIDMODE%"},
    {0, "MODULES$,MENU$,CALLER$,SUBMENU$,LOAD$,EXEC$,COUNTER$,MAX_IDS_ATTR%,STATMSG$"},
};

// Old names of the menu members, read with _COMPAT bit 16.
constexpr const char* OLD_MODULES = "MODULOS$";
constexpr const char* OLD_SUBMENU = "SUBMENU$";
constexpr const char* OLD_MODULE = "MODULO$";
constexpr const char* OLD_OPTIONS = "OPTIONS$";

constexpr char RECORD_SEP = ':';

// Columns of the record code and of the text by file kind (0-based; code_len 0: no code).
struct ParmColumns {
    u16 code_at, code_len, text_at;
    bool drop_last;
};
constexpr ParmColumns PARM_COLUMNS[PARM_KINDS] = {
    {0, 0, 0, false},   // 0: every line, code 0
    {0, 2, 3, false},   // 1
    {1, 2, 3, true},    // 2
    {0, 4, 5, false},   // 3
    {0, 2, 2, false},   // 4
    {0, 0, 0, false},   // 5
    {0, 5, 0, false},   // 6
};

// The line's code: blanks and missing columns count as zeros; false when another byte
// stands in the code field.
bool line_code(Str line, const ParmColumns& cols, u32* code) {
    u32 v = 0;
    for (u16 i = cols.code_at; i < cols.code_at + cols.code_len; i++) {
        char c = i < line.n ? line.p[i] : ' ';
        if (c == ' ') c = '0';
        if (c < '0' || c > '9') return false;
        v = v * 10 + u32(c - '0');
    }
    *code = v;
    return true;
}

Str line_text(Str line, const ParmColumns& cols) {
    Str t = str_substr(line, cols.text_at, NOT_FOUND);
    if (!t.ok()) return str_empty();
    if (cols.drop_last && t.n) t.n--;
    return t;
}

Str old_menu_value(u16 number, Str record) {
    if (number == MEMBER_MODULES) return opt_value(record, str_from_cstr(OLD_MODULES), 0);
    Str sub = opt_value(record, str_from_cstr(OLD_SUBMENU), 0);
    if (sub.n) return sub;
    Str module = opt_value(record, str_from_cstr(OLD_MODULE), 0);
    Str options = opt_value(record, str_from_cstr(OLD_OPTIONS), 0);
    if (module.n == 0) return options;
    if (options.n == 0) return module;
    return str_join(module, S(","), options);
}

// Reads the file's lines with the code and joins their texts; the joined text is the
// only string left above the caller's mark.
u16 read_record(Str file, u16 kind, u32 code, u16 mode, Str* record, u16* lines) {
    Str path = path_find(env_get(ENV_DATA), file);
    u16 h = file_open(path.n ? path : file, mode);
    if (!file_handle_ok(h)) return h;
    const ParmColumns& cols = PARM_COLUMNS[kind];
    u16 mark = tmp_mark();
    Str acc = str_empty();
    *lines = 0;
    u16 rc = 0;
    while (rc == 0 && !file_at_end(h)) {
        u16 line_mark = tmp_mark();
        Str line = file_read_line(h);
        u32 line_code_v = 0;
        if (!line.ok()) rc = str_error_code(line);
        else if (line_code(line, cols, &line_code_v) && line_code_v == code) {
            Str joined = *lines ? str_join(acc, str_view(&RECORD_SEP, 1), line_text(line, cols)) : line_text(line, cols);
            acc = tmp_release_keep(mark, joined);
            if (!acc.ok()) rc = str_error_code(acc);
            ++*lines;
            continue;
        }
        tmp_release(line_mark);
    }
    file_close(h);
    *record = acc;
    return rc == E_DISKIO ? 0 : rc;
}

}  // namespace

Str member_name(u16 number) {
    for (const MemberList& l : MEMBER_LISTS)
        if (number >= l.threshold) return list_item(str_from_cstr(l.names), ',', u16(number - l.threshold));
    return str_empty();
}

Str member_key(u16 number) {
    Str name = member_name(number);
    i16 aux = sysint_get(SV_AUX);
    if (aux <= 0 || name.n == 0) return str_copy(name);
    TmpScope scope;
    Str prefix = list_item(env_get(ENV_STRUCT_PREFIXES), ',', u16(aux));
    if (prefix.n == 0) return scope.keep(str_copy(name));
    return scope.keep(str_concat(str_concat(prefix, S(".")), name));
}

Str member_value(u16 number) {
    TmpScope scope;
    Str record = parm_top();
    Str key = member_key(number);
    OptPos at = opt_find(record, key, 0);
    if (at.found()) return scope.keep(str_copy(Str{record.p + at.pos, at.len}));
    bool old_names = sysint_bit(SV_COMPAT, COMPAT_OLD_MENU) && (number == MEMBER_MODULES || number == MEMBER_SUBMENU);
    return scope.keep(str_copy(old_names ? old_menu_value(number, record) : str_empty()));
}

u16 parm_load(Str file, u16 kind, u32 code, u16* lines) {
    if (kind >= PARM_KINDS) return error_raise(M_VARSTRUCT, E_DATA);
    TmpScope scope;
    Str record;
    u16 found = 0;
    u16 rc = read_record(file, kind, code, FM_READ | FM_NOUPDATE, &record, &found);
    if (rc == 0 && found == 0) rc = E_NODATA;
    if (rc == 0) rc = store_push(LIST_PARMS, record);
    if (lines) *lines = rc == 0 ? found : 0;
    return rc;
}

u16 parm_load_always(Str file, u16 kind, u32 code) {
    TmpScope scope;
    Str record = str_empty();
    u16 found = 0;
    if (kind >= PARM_KINDS || read_record(file, kind, code, FM_READ | FM_NOUPDATE | FM_QUIET, &record, &found))
        record = str_empty();
    return store_push(LIST_PARMS, record);
}

u16 parm_push(Str record) { return store_push(LIST_PARMS, record); }
void parm_pop() { store_drop(LIST_PARMS); }
Str parm_top() { return store_count(LIST_PARMS) ? store_get(LIST_PARMS, store_top(LIST_PARMS)) : str_empty(); }
u16 parm_depth() { return store_count(LIST_PARMS); }

}  // namespace vx::expr
