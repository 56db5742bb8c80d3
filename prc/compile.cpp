// The procedure compiler: the keyword lookup, pass 1 (lines to statements, labels and entry
// points), the assembly of the record in one block, and pass 2 (jump targets and blocks).
#include <cstring>

#include "prc/compile.h"
#include "prc/compile_impl.h"
#include "runtime/arena.h"
#include "runtime/error.h"

namespace vx::prc {

using namespace vx::rt;

namespace {

using detail::Compiler;

constexpr u16 DETAIL_NAME_MAX = 200;  // bytes of a name quoted in a detail text
constexpr u16 DETAIL_TEXT_MAX = 400;

// ---- Faults: their codes and detail texts ----
enum Fault : u8 {
    // a name and the statement
    F_LABEL_MISSING, F_LABEL_TWICE, F_ENTRY_TWICE,
    // the statement
    F_CLOSER_ALONE, F_OPENER_ALONE, F_LABEL_UNNAMED, F_ENTRY_UNNAMED, F_BINARY,
    // a limit and the statement
    F_LABELS, F_ENTRIES, F_NESTING, F_STATEMENTS, F_TEXTS, F_SOURCE, F_LINE,
    F_COUNT
};
enum FaultArgs : u8 { WITH_NAME, STATEMENT_ONLY, WITH_LIMIT };
struct FaultText {
    u16 code;
    FaultArgs args;
    const char* format;
};
constexpr FaultText FAULTS[] = {
    {E_SYNTAX, WITH_NAME, "\r\nLabel '%.*s' in line %u (+ remmarks) not found"},
    {E_SYNTAX, WITH_NAME, "\r\nLabel '%.*s' in line %u (+ remmarks) declared twice"},
    {E_SYNTAX, WITH_NAME, "\r\nEntry point '%.*s' in line %u (+ remmarks) declared twice"},
    {E_SYNTAX, STATEMENT_ONLY,
     "\r\nFinal of Conditional or loop without \r\nBegin (Loop, Endif...) in line %u (+ remmarks)"},
    {E_SYNTAX, STATEMENT_ONLY,
     "\r\nBegin of Conditional or loop without \r\nFinal (Endif, Loop...) in line %u (+ remmarks)"},
    {E_SYNTAX, STATEMENT_ONLY, "\r\nLabel without a name in line %u (+ remmarks)"},
    {E_SYNTAX, STATEMENT_ONLY, "\r\nEntry point without a name in line %u (+ remmarks)"},
    {E_SYNTAX, STATEMENT_ONLY, "\r\nNUL byte in line %u (+ remmarks)"},
    {E_OUTOFMEMORY, WITH_LIMIT, "\r\nMore than %u labels in line %u (+ remmarks)"},
    {E_OUTOFMEMORY, WITH_LIMIT, "\r\nMore than %u entry points in line %u (+ remmarks)"},
    {E_OUTOFMEMORY, WITH_LIMIT,
     "\r\nConditionals or loops nested deeper than %u in line %u (+ remmarks)"},
    {E_OUTOFMEMORY, WITH_LIMIT, "\r\nMore than %u statements in line %u (+ remmarks)"},
    {E_OUTOFMEMORY, WITH_LIMIT, "\r\nTexts longer than %u bytes in line %u (+ remmarks)"},
    {E_OUTOFMEMORY, WITH_LIMIT, "\r\nProcedure longer than %u bytes in line %u (+ remmarks)"},
    {E_STRINGTOOLONG, WITH_LIMIT, "\r\nLine longer than %u bytes in line %u (+ remmarks)"},
};
static_assert(sizeof FAULTS / sizeof *FAULTS == F_COUNT);

// Records a fault of statement number `statement` (from 1) with module 7 and its detail.
u16 fault(Fault which, u32 statement, Str name = Str{}, u32 limit = 0) {
    const FaultText& f = FAULTS[which];
    TmpScope scope;
    Str text;
    if (f.args == WITH_NAME) {
        int n = name.n < DETAIL_NAME_MAX ? name.n : DETAIL_NAME_MAX;
        text = str_format(DETAIL_TEXT_MAX, f.format, n, name.p, unsigned(statement));
    } else if (f.args == WITH_LIMIT) {
        text = str_format(DETAIL_TEXT_MAX, f.format, unsigned(limit), unsigned(statement));
    } else {
        text = str_format(DETAIL_TEXT_MAX, f.format, unsigned(statement));
    }
    fail_with_detail(f.code, text, false);
    return error_raise(M_EXEC_COMPILER, f.code);
}

u16 fail(Compiler& c, Fault which, Str name = Str{}, u32 limit = 0) {
    c.error = fault(which, u32(c.stored) + 1, name, limit);
    return c.error;
}

bool is_remark(u8 ch) { return ch == ';' || ch == '#' || ch == '/'; }

// Keeps a text (and its NUL) with the others; its offset in *at.
u16 keep_text(Compiler& c, Str s, u32* at) {
    if (std::uint64_t(c.texts.used) + s.n + 1 > PRC_MAX_TEXT)
        return fail(c, F_TEXTS, Str{}, PRC_MAX_TEXT);
    u16 rc = expr::pool_append(c.texts, TAG_PROC, s.p, s.n, at);
    u32 nul_at;
    if (rc == 0) rc = expr::pool_append(c.texts, TAG_PROC, nullptr, 1, &nul_at);
    if (rc) c.error = error_raise(M_EXEC_COMPILER, rc);
    return rc;
}

// Index of name among names[0..count) as kept in the texts, NOT_FOUND when absent.
u16 find_name(const char* texts, const PrcName* names, u16 count, Str name) {
    for (u16 i = 0; i < count; i++)
        if (names[i].len == name.n && std::memcmp(texts + names[i].text, name.p, name.n) == 0)
            return i;
    return NOT_FOUND;
}

// A label or an entry point: it stands for the next statement stored.
u16 add_name(Compiler& c, PrcName* names, u16& count, u16 max, Str name, Fault too_many,
             Fault twice) {
    if (count == max) return fail(c, too_many, Str{}, max);
    if (find_name(c.texts.p, names, count, name) != NOT_FOUND) return fail(c, twice, name);
    PrcName& slot = names[count];
    if (keep_text(c, name, &slot.text)) return c.error;
    slot.len = name.n;
    slot.pos = c.stored;
    count++;
    return 0;
}

u16 add_statement(Compiler& c, u16 code, Str text) {
    if (c.stored == PRC_MAX_STATEMENTS) return fail(c, F_STATEMENTS, Str{}, PRC_MAX_STATEMENTS);
    PrcInstr ins;
    if (keep_text(c, text, &ins.text)) return c.error;
    ins.len = text.n;
    ins.code = code;
    if (u16 rc = expr::pool_push(c.instr, TAG_PROC, ins))
        return c.error = error_raise(M_EXEC_COMPILER, rc);
    c.stored++;
    return 0;
}

// The first word (up to the first space) and the argument text (the rest, trimmed).
void split_word(Str line, Str* word, Str* arg) {
    u16 sp = str_find_char(line, 0, ' ', PLAIN);
    if (sp == NOT_FOUND) {
        *word = line;
        *arg = str_empty();
        return;
    }
    *word = Str{line.p, sp};
    *arg = str_trim(str_substr(line, sp + 1, NOT_FOUND), TRIM_BOTH);
}

// ---- Pass 2 ----

// Jump targets of GOTO and GOSUB, and the partners of block openers and closers.
u16 resolve_targets(PrcRecord& rec, PrcInstr* instr) {
    u16 open[PRC_MAX_NESTING];
    u16 depth = 0;
    for (u16 k = 0; k < rec.count; k++) {
        PrcInstr& s = instr[k];
        if (s.code == PC_GOTO || s.code == PC_GOSUB) {
            Str label = prc_text(rec, k);
            u16 pos = prc_label_find(rec, label);
            if (pos == NOT_FOUND) return fault(F_LABEL_MISSING, u32(k) + 1, label);
            s.target = pos;
        }
        if (prc_closes_block(s.code)) {
            if (depth == 0) return fault(F_CLOSER_ALONE, u32(k) + 1);
            u16 j = open[--depth];
            instr[j].target = k + 1;
            s.target = j;
        }
        if (prc_opens_block(s.code)) {
            if (depth == PRC_MAX_NESTING)
                return fault(F_NESTING, u32(k) + 1, Str{}, PRC_MAX_NESTING);
            open[depth++] = k;
        }
    }
    // A block left open would jump to statement 0 when its condition fails.
    if (depth) return fault(F_OPENER_ALONE, u32(open[depth - 1]) + 1);
    return 0;
}

// ---- Assembly: one block holding instructions, entries, labels and texts ----

u16 assemble(Compiler& c, PrcRecord* rec) {
    const u32 instr_bytes = c.instr.used;
    const u32 entry_bytes = u32(c.entry_count) * sizeof(PrcName);
    const u32 label_bytes = u32(c.label_count) * sizeof(PrcName);
    const u32 size = instr_bytes + entry_bytes + label_bytes + c.texts.used;
    char* block = static_cast<char*>(mem_alloc(TAG_PROC, size, NO_FILL));
    if (!block) return error_raise(M_EXEC_COMPILER, E_OUTOFMEMORY);
    char* at = block;
    auto place = [&at](const void* from, u32 n) {
        if (n) std::memcpy(at, from, n);
        char* was = at;
        at += n;
        return was;
    };
    PrcInstr* instr = reinterpret_cast<PrcInstr*>(place(c.instr.p, instr_bytes));
    *rec = PrcRecord{};
    rec->block = block;
    rec->instr = instr;
    rec->entries = reinterpret_cast<const PrcName*>(place(c.entries, entry_bytes));
    rec->labels = reinterpret_cast<const PrcName*>(place(c.labels, label_bytes));
    rec->texts = place(c.texts.p, c.texts.used);
    rec->texts_len = c.texts.used;
    rec->name_len = c.name_len;
    rec->count = c.stored;
    rec->entry_count = c.entry_count;
    rec->label_count = c.label_count;
    u16 rc = resolve_targets(*rec, instr);
    if (rc) prc_release(rec);
    return rc;
}

}  // namespace

// ---- Keywords ----

namespace {

struct KeywordTable {
    Str word[PRC_KEYWORD_COUNT + 1];  // entry 0 unused
    KeywordTable() {
        Str list = str_from_cstr(PRC_KEYWORDS);
        u16 from = 0;
        for (u16 code = 1; code <= PRC_KEYWORD_COUNT; code++) {
            u16 comma = str_find_char(list, from, ',', PLAIN);
            u16 end = comma == NOT_FOUND ? list.n : comma;
            word[code] = Str{list.p + from, u16(end - from)};
            from = end + 1;
        }
    }
};

const KeywordTable& keywords() {
    static const KeywordTable table;
    return table;
}

}  // namespace

u16 prc_keyword_code(Str word) {
    if (!word.ok() || word.n == 0) return PC_EXPR;
    const KeywordTable& t = keywords();
    for (u16 code = 1; code <= PRC_KEYWORD_COUNT; code++)
        if (str_equal_nocase(word, t.word[code])) return code;
    return PC_EXPR;
}

Str prc_keyword(u16 code) {
    return code >= 1 && code <= PRC_KEYWORD_COUNT ? keywords().word[code] : str_empty();
}

// ---- Pass 1 ----

namespace detail {

u16 compile_begin(Compiler& c, Str name) {
    run_hook_install();
    if (!name.ok()) name = str_empty();
    c.name_len = name.n;
    u32 at;
    return keep_text(c, name, &at);
}

u16 compile_line(Compiler& c, const char* p, u32 n) {
    if (c.error) return c.error;
    c.lines++;
    if (n > PRC_MAX_LINE) return fail(c, F_LINE, Str{}, PRC_MAX_LINE);
    c.bytes += n + 1;
    if (c.bytes > PRC_MAX_SOURCE) return fail(c, F_SOURCE, Str{}, PRC_MAX_SOURCE);
    Str line = str_trim(Str{p, u16(n)}, TRIM_BOTH);
    if (line.n == 0 || is_remark(line.at(0))) return 0;
    if (std::memchr(line.p, 0, line.n)) return fail(c, F_BINARY);
    Str word, arg;
    split_word(line, &word, &arg);
    if (word.at(0) == ':') {
        if (word.n == 1) return fail(c, F_LABEL_UNNAMED);
        return add_name(c, c.labels, c.label_count, PRC_MAX_LABELS, str_substr(word, 1, NOT_FOUND),
                        F_LABELS, F_LABEL_TWICE);
    }
    u16 code = prc_keyword_code(word);
    if (code == PC_DEF_FN) {
        if (arg.n == 0) return fail(c, F_ENTRY_UNNAMED);
        return add_name(c, c.entries, c.entry_count, PRC_MAX_ENTRIES, arg, F_ENTRIES,
                        F_ENTRY_TWICE);
    }
    return add_statement(c, code, code == PC_EXPR ? line : arg);
}

u16 compile_finish(Compiler& c, PrcRecord* rec) {
    *rec = PrcRecord{};
    u16 rc = c.error ? c.error : assemble(c, rec);
    compile_abandon(c);
    rec->error = rc;
    return rc;
}

void compile_abandon(Compiler& c) {
    expr::pool_free(c.instr, TAG_PROC);
    expr::pool_free(c.texts, TAG_PROC);
}

}  // namespace detail

u16 prc_compile(Str name, const char* text, u32 n, PrcRecord* rec) {
    Compiler c;
    detail::compile_begin(c, name);
    const char* end = text + n;
    for (const char* p = text; c.error == 0 && p < end;) {
        const char* nl = static_cast<const char*>(std::memchr(p, '\n', u32(end - p)));
        const char* stop = nl ? nl : end;
        u32 len = u32(stop - p);
        if (nl && len && stop[-1] == '\r') len--;
        detail::compile_line(c, p, len);
        p = nl ? nl + 1 : end;
    }
    return detail::compile_finish(c, rec);
}

u16 prc_release(PrcRecord* rec, u16 tag) {
    u16 rc = rec->block ? mem_free(tag, rec->block) : 0;
    if (rc == 0) *rec = PrcRecord{};
    return rc;
}

// ---- Reading a record ----

Str prc_text(const PrcRecord& rec, u16 i) {
    if (i >= rec.count) return str_empty();
    return Str{rec.texts + rec.instr[i].text, rec.instr[i].len};
}

Str prc_name_text(const PrcRecord& rec, const PrcName& name) {
    return Str{rec.texts + name.text, name.len};
}

Str prc_file_name(const PrcRecord& rec) {
    return rec.texts ? Str{rec.texts, rec.name_len} : str_empty();
}

u16 prc_entry_find(const PrcRecord& rec, Str name) {
    if (!name.ok()) return NOT_FOUND;
    return find_name(rec.texts, rec.entries, rec.entry_count, name);
}

u16 prc_label_find(const PrcRecord& rec, Str name) {
    if (!name.ok()) return NOT_FOUND;
    u16 i = find_name(rec.texts, rec.labels, rec.label_count, name);
    return i == NOT_FOUND ? NOT_FOUND : rec.labels[i].pos;
}

}  // namespace vx::prc
