// Built-in functions on text files and procedures: READ$, WRITE (with the KEY=value
// parameter files of mode -2), FILESEL on text files, FN#FLEN and EXEC$. Every file goes
// through the run-time's text files by name and mode; names are trimmed and their %NAME%
// references replaced first.
//
// Text read by name has its lines ended by CR LF, the run-time's own line end, whatever
// ended them in the file; the last line has one only when the file's last line had one.
#include <cstddef>
#include <cstring>

#include "expr/eval.h"
#include "expr/funcs_hooks.h"
#include "expr/funcs_impl.h"
#include "expr/scan.h"
#include "runtime/arena.h"
#include "runtime/error.h"
#include "runtime/files.h"
#include "runtime/paths.h"
#include "runtime/startup.h"
#include "runtime/store.h"

namespace vx::expr::fn {

using namespace vx::rt;

namespace {

constexpr u16 STD_HANDLES = 3;  // standard input, output and error
constexpr u16 READ_QUIETLY = FM_READ | FM_NOUPDATE | FM_QUIET;
constexpr i64 OPEN_MODE_MAX = 255;
constexpr Str LINE_END{"\r\n", 2};

// ---- Reading ----

// Whether the last of `lines` lines had a line end, from the bytes the line ends took:
// CR LF lines without a last one take 2n - 2 bytes, LF lines without a last one n - 1.
bool last_line_ended(i64 size, i64 line_bytes, i64 lines) {
    i64 ends = size - line_bytes;
    return !(ends == 2 * lines - 2 || ends == lines - 1);
}

// Bytes from..from+count of the file's text (count -1: to the end).
u16 read_text(u16 h, i64 from, i64 count, Str* out) {
    i64 size = file_size(h);
    i64 room = 2 * (size > 0 ? size : 0) + LINE_END.n;
    if (count >= 0 && count < room) room = count;
    if (room > ARENA_MAX_ALLOC) room = ARENA_MAX_ALLOC;
    Str buf = tmp_alloc(u32(room), NO_FILL);
    if (!buf.ok()) return str_error_code(buf);
    i64 end = count < 0 ? INT64_MAX : from + count;
    i64 at = 0, used = 0, line_bytes = 0, lines = 0;
    bool too_long = false;
    // Puts the part of a piece of the text that falls inside from..end.
    auto put = [&](Str piece) {
        i64 lo = at > from ? at : from, hi = at + piece.n < end ? at + piece.n : end;
        if (hi > lo) {
            if (used + (hi - lo) > room)
                too_long = true;
            else
                std::memcpy(str_mut(buf) + used, piece.p + (lo - at), std::size_t(hi - lo));
            used += hi - lo;
        }
        at += piece.n;
    };
    for (;;) {
        u16 mark = tmp_mark();
        Str line = file_read_line(h);
        if (!line.ok()) break;
        lines++;
        line_bytes += line.n;
        bool last = file_at_end(h);
        put(line);
        tmp_release(mark);
        if (!last || last_line_ended(size, line_bytes, lines)) put(LINE_END);
        if (last || at >= end) break;
    }
    if (too_long) return E_STRINGTOOLONG;
    *out = Str{buf.p, u16(used)};
    return 0;
}

u16 read_by_name(Str name, i64 from, i64 count, Value& out) {
    out = val_str(str_empty());
    if (count == 0) return 0;
    u16 h = file_open(file_name(name), READ_QUIETLY);
    if (!file_handle_ok(h)) return 0;
    if (h < STD_HANDLES) return 0;  // the standard streams are read by handle
    Str text = str_empty();
    u16 rc = read_text(h, from < 0 ? 0 : from, count, &text);
    file_close(h);
    out = val_str(text);
    return rc;
}

// The next line of an open file, or with count 0 "1" at its end and "0" before.
u16 read_by_handle(i64 h, i64 count, Value& out) {
    out = val_str(str_empty());
    if (h < 0 || h >= FILE_HANDLES) return 0;
    if (count == 0) {
        out = val_str(file_at_end(u16(h)) ? S("1") : S("0"));
        return 0;
    }
    Str line = file_read_line(u16(h));
    if (line.ok()) out = val_str(line);
    return 0;
}

// ---- Writing ----

enum WriteMode : i64 { WRITE_APPEND = -1, WRITE_PARAMETERS = -2, WRITE_PARAMETERS_TOO = -3 };

u16 write_by_handle(i64 h, Str text) {
    if (h < 0 || h >= FILE_HANDLES) return E_BADFILENUMBER;
    return file_write(u16(h), FILE_AT_END, text) == text.n ? 0 : E_FILEIO;
}

u16 write_by_mode(Str name, u16 mode, Str text) {
    u16 h = file_open(name, mode);
    if (!file_handle_ok(h)) return h;
    u16 written = file_write(h, (mode & FM_APPEND) ? FILE_AT_END : 0, text);
    u16 closed = h >= STD_HANDLES ? file_close(h) : 0;
    return written == text.n && closed == 0 ? 0 : E_FILEIO;
}

// ---- Parameter files: one KEY=value item per line ----

constexpr u16 PARAMETER_ITEMS_MAX = 64;
constexpr char ITEM_ENDS[] = ": &/\r\n";  // what ends an item's value, outside quotes
constexpr char KEY_ENDS[] = "=:";

struct Item {
    Str key;
    Str value;
    bool stored = false;
};

bool is_item_end(char ch) {
    return std::strchr(ITEM_ENDS, ch) != nullptr && ch;
}

// The KEY=value (or KEY:value) items of a text; a word without a value is no item.
u16 parse_items(Str text, Item* items, u16* n) {
    *n = 0;
    u16 i = 0;
    while (i < text.n) {
        while (i < text.n && is_item_end(text.p[i])) i++;
        u16 start = i;
        while (i < text.n && !std::strchr(KEY_ENDS, text.p[i]) && !is_item_end(text.p[i])) i++;
        if (i >= text.n || !std::strchr(KEY_ENDS, text.p[i])) continue;
        if (i == start) {
            i++;  // a separator without a key
            continue;
        }
        Str key{text.p + start, u16(i - start)};
        u16 v = ++i;
        while (i < text.n && !is_item_end(text.p[i]))
            i = is_quote(text.p[i]) ? skip_quoted(text, i) : u16(i + 1);
        if (*n == PARAMETER_ITEMS_MAX) return E_SYNTAX;
        items[(*n)++] = Item{key, Str{text.p + v, u16(i - v)}};
    }
    return 0;
}

Str line_key(Str line) {
    u16 end = str_find_any(line, 0, S(KEY_ENDS), PLAIN);
    return end == NOT_FOUND ? str_empty() : str_trim(Str{line.p, end}, TRIM_BOTH);
}

void put_item(StrBuilder& b, Item& item) {
    b.put(item.key);
    b.put("=", 1);
    b.put(item.value);
    b.put(LINE_END);
    item.stored = true;
}

// The file's lines with each item's key replaced by the item (later lines of the same key
// dropped), then the items whose keys were not there.
u16 write_parameters(Str name, Str text) {
    Item items[PARAMETER_ITEMS_MAX];
    u16 n = 0;
    if (u16 rc = parse_items(text, items, &n)) return rc;
    Str old = str_empty();
    u16 h = file_open(name, READ_QUIETLY);
    if (file_handle_ok(h)) {
        u16 rc = read_text(h, 0, -1, &old);
        if (h >= STD_HANDLES) file_close(h);
        if (rc) return rc;
    }
    StrBuilder b;
    for (u16 at = 0; at < old.n;) {
        u16 nl = str_find_char(old, at, '\n', PLAIN);
        u16 stop = nl == NOT_FOUND ? old.n : nl;
        Str line{old.p + at, u16(stop - at)};
        if (line.n && line.p[line.n - 1] == '\r') line.n--;
        at = nl == NOT_FOUND ? old.n : u16(nl + 1);
        Str key = line_key(line);
        Item* item = nullptr;
        for (u16 k = 0; k < n && key.n; k++)
            if (str_equal(items[k].key, key)) item = &items[k];
        if (!item) {
            b.put(line);
            b.put(LINE_END);
        } else if (!item->stored) {
            put_item(b, *item);
        }
    }
    for (u16 k = 0; k < n; k++)
        if (!items[k].stored) put_item(b, items[k]);
    Str content = b.finish();
    if (!content.ok()) return str_error_code(content);
    return file_write_all(name, FILE_DELETE_FIRST, content);
}

// ---- EXEC$ ----

constexpr char EXEC_DETAIL[] = "EXEC$()";
constexpr u16 RUN_FLAGS = RUN_LOCAL | RUN_KEEP_RESULT;

// The file's lines, trimmed, the empty ones left out, joined with ";".
u16 joined_lines(u16 h, Str* out) {
    u16 mark = tmp_mark();
    Str text = str_empty();
    for (;;) {
        Str line = file_read_line(h);
        if (!line.ok()) break;
        line = str_trim(line, TRIM_BOTH);
        if (line.n == 0) continue;
        Str joined = text.n ? str_join(text, S(";"), line) : line;
        text = tmp_release_keep(mark, joined);
        if (!text.ok()) return str_error_code(text);
    }
    *out = text;
    return 0;
}

// A file of expressions: the documents folder unless the name has a folder of its own.
u16 exec_file(Str name, Value& out) {
    Str path = file_name(name);
    if (path_part(path, PART_DRIVE | PART_FOLDER).n == 0)
        path = path_join(path_resolve(APPPATH_DOCS), path);
    u16 h = file_open(path, READ_QUIETLY);
    if (!file_handle_ok(h)) return fail(E_FILENOTFOUND, path);
    Str text;
    u16 rc = joined_lines(h, &text);
    if (h >= STD_HANDLES) file_close(h);
    if (rc) return rc;
    Value v;
    u16 code = expr_eval(text, v);
    out = val_str(str_empty());
    return stops(code) ? code : 0;
}

// A procedure through the run hook: "entry" or "entry,file"; its parameters alone stay on
// the parameter stack while it runs, and the text it leaves on the result stack is the
// result.
u16 exec_procedure(Call& c, Str name, Value& out) {
    auto run = reinterpret_cast<RunProcedureHook>(hook_get(HOOK_RUNPRC));
    if (!run) return fail(E_FEATUREREMOVED, S(EXEC_DETAIL));
    param_cut(c.stack_base);
    u16 pushed = given(c, 1) ? param_push(c.arg[1]) : 0;
    if (pushed) return pushed;
    u16 results = store_count(LIST_RESULTS);
    u16 code = run(str_trim(list_item(name, ',', 1), TRIM_BOTH),
                   str_trim(list_item(name, ',', 2), TRIM_BOTH), RUN_FLAGS);
    out = val_str(str_empty());
    if (!stops(code) && store_count(LIST_RESULTS) > results) out = val_str(store_pop(LIST_RESULTS));
    if (store_count(LIST_RESULTS) > results) store_truncate(LIST_RESULTS, results);
    return stops(code) ? code : 0;
}

}  // namespace

u16 f_read(Call& c, Value& out) {
    i64 from, count;
    if (u16 rc = arg_whole(c, 1, 0, &from)) return rc;
    if (u16 rc = arg_whole(c, 2, -1, &count)) return rc;
    if (arg_is_str(c, 0)) return read_by_name(c.arg[0].str, from, count, out);
    i64 h;
    if (u16 rc = arg_whole(c, 0, -1, &h)) return rc;
    return read_by_handle(h, count, out);
}

u16 f_write(Call& c, Value& out) {
    i64 mode;
    Str text;
    if (u16 rc = arg_whole(c, 1, 0, &mode)) return rc;
    if (u16 rc = arg_text_any(c, 2, str_empty(), &text)) return rc;
    out = val_num(0);
    if (!arg_is_str(c, 0)) {
        i64 h;
        if (u16 rc = arg_whole(c, 0, -1, &h)) return rc;
        return write_by_handle(h, text);
    }
    Str name = file_name(c.arg[0].str);
    switch (mode) {
        case WRITE_PARAMETERS:
        case WRITE_PARAMETERS_TOO:
            return write_parameters(name, text);
        case WRITE_APPEND:
            return write_by_mode(name, FM_APPEND, text);
        default:
            break;
    }
    if (mode < 0 || mode > OPEN_MODE_MAX) return E_SYNTAX;
    return write_by_mode(name, u16(mode), text);
}

u16 f_filesel(Call& c, Value& out) {
    out = val_num(0);
    if (c.count == 1 && arg_is_str(c, 0)) return open_set_select(c.arg[0].str);
    if (c.count == 1) {
        i64 h;
        if (u16 rc = arg_whole(c, 0, -1, &h)) return rc;
        return h >= 0 && h < FILE_HANDLES ? file_close(u16(h)) : u16(E_BADFILENUMBER);
    }
    Str name;
    i64 mode;
    if (u16 rc = arg_text(c, 0, str_empty(), &name)) return rc;
    if (u16 rc = arg_whole(c, 1, 1, &mode)) return rc;
    if (mode < 0 || mode > OPEN_MODE_MAX) return E_SYNTAX;
    u16 h = file_open(file_name(name), u16(mode));
    if (!file_handle_ok(h)) return h;
    out = val_num(num_from_whole(h));
    return 0;
}

u16 f_flen(Call& c, Value& out) {
    Str name;
    if (u16 rc = arg_text(c, 0, str_empty(), &name)) return rc;
    i64 size = 0;
    u16 rc = datafile_records(name, &size);
    if (rc == E_NODATA) {
        size = 0;
        u16 h = file_open(file_name(name), READ_QUIETLY);
        if (file_handle_ok(h) && h >= STD_HANDLES) {
            size = file_size(h);
            file_close(h);
        }
        rc = 0;
    }
    if (rc >= FIRST_ERROR) return rc;
    out = val_num(num_from_whole(size < 0 ? 0 : size));
    return 0;
}

u16 f_exec(Call& c, Value& out) {
    Str name;
    if (u16 rc = arg_text(c, 0, str_empty(), &name)) return rc;
    if (c.count == 1 && path_part(str_trim(name, TRIM_BOTH), PART_EXT).n)
        return exec_file(name, out);
    return exec_procedure(c, name, out);
}

}  // namespace vx::expr::fn
