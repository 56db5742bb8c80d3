// Built-in functions on numbers, dates and times: the accumulator array _#, FN#VALN,
// FN$DATE and TIME$ (with its clock, which tests may replace).
#include <cstring>
#include <string>

#include "expr/dates.h"
#include "expr/funcs_hooks.h"
#include "expr/funcs_impl.h"
#include "expr/masks.h"
#include "expr/vars.h"
#include "platform/os.h"
#include "runtime/arena.h"
#include "runtime/error.h"

namespace vx::expr {

using namespace vx::rt;

namespace {

i64 system_time_of_day();

struct Clock {
    TimeOfDay now = system_time_of_day;
};
Clock time_source;

constexpr i64 MS_PER_SECOND = 1000;
constexpr i64 MS_PER_MINUTE = 60 * MS_PER_SECOND;
constexpr i64 MS_PER_HOUR = 60 * MS_PER_MINUTE;
constexpr i64 MS_PER_DAY = 24 * MS_PER_HOUR;

i64 time_of_day(int hour, int minute, int second, int millis) {
    return hour * MS_PER_HOUR + minute * MS_PER_MINUTE + second * MS_PER_SECOND + millis;
}

i64 system_time_of_day() {
    os::DateTime t = os::now_local();
    return time_of_day(t.hour, t.minute, t.second, t.millis);
}

}  // namespace

void fn_clock_set(TimeOfDay now) {
    time_source.now = now ? now : system_time_of_day;
}

namespace fn {

namespace {

// ---- _# ----

constexpr char ACCUMULATORS[] = "_#";
constexpr char ACCUMULATOR_NAMES[] = "_ACUMX$";
constexpr char CLEAR_WORD[] = "CLS";
constexpr char ELEMENT_WORD[] = "DIM";

// Subscripts of the element at a row-major index; false beyond the array.
bool element_subscripts(const ArrayInfo& a, i64 index, i64* subs) {
    if (index < 0 || index >= i64(a.count)) return false;
    for (u16 d = a.dims; d-- > 0;) {
        subs[d] = index % a.sizes[d];
        index /= a.sizes[d];
    }
    return true;
}

// The element at index; 0 while the array does not exist.
u16 read_accumulator(i64 index, Value& out) {
    Str name = S(ACCUMULATORS);
    ArrayInfo a;
    out = val_num(0);
    if (array_info(name, &a) != 0) return 0;
    i64 subs[ARRAY_DIMS_MAX];
    if (!element_subscripts(a, index, subs)) return E_DATAOUTBOUND;
    if (u16 rc = array_read(name, subs, a.dims, out)) return rc;
    if (out.is_str) out = val_num(num_parse(out.str));
    return 0;
}

// Elements from index first up to, not including, index end (0: to the end) become 0.
u16 clear_accumulators(i64 end, i64 first) {
    Str name = S(ACCUMULATORS);
    ArrayInfo a;
    if (array_info(name, &a) != 0) return 0;
    if (end <= 0 || end > i64(a.count)) end = a.count;
    Value zero = a.type == ARRAY_STR ? val_str(str_empty()) : val_num(0);
    i64 subs[ARRAY_DIMS_MAX];
    for (i64 k = first < 0 ? 0 : first; k < end; k++) {
        element_subscripts(a, k, subs);
        if (u16 rc = array_assign(name, subs, a.dims, zero)) return rc;
    }
    return 0;
}

// The index of an accumulator name: its position in _ACUMX$ less one, -1 when absent.
i64 accumulator_index(Str name) {
    TmpScope scope;
    Value names;
    if (var_read(S(ACCUMULATOR_NAMES), names) != 0 || !names.is_str) return -1;
    u16 k = list_find(names.str, ',', name);
    return k ? i64(k) - 1 : -1;
}

// ---- FN#VALN ----

constexpr char NUMBER_KIND = 'N';
constexpr char DATE_KINDS[] = "DMYV";
constexpr u16 DATE_KIND_PARTS[] = {PART_DAY, PART_MONTH, PART_YEAR, PART_WHOLE};

u8 upper(char ch) {
    return ch >= 'a' && ch <= 'z' ? u8(ch - 'a' + 'A') : u8(ch);
}

i32 date_value_of(const Value& v) {
    return v.is_str ? date_read(v.str) : i32(num_round_whole(v.num));
}

// ---- FN$DATE ----

constexpr i64 DATE_FORMAT_MAX = 255;

// ---- TIME$ ----

constexpr i64 TIME_FORMAT_MAX = 255;
constexpr u16 TIME_OF_FILE = 128;
enum TimeBits : u16 { TIME_SEPARATORS = 1, TIME_SECONDS = 2, TIME_MILLIS = 4 };
constexpr u16 TIME_ITEMS_MAX = 3;
constexpr u16 TIME_ITEM_DIGITS = 9;
constexpr u16 MILLI_DIGITS = 3;

bool is_digit(char ch) {
    return ch >= '0' && ch <= '9';
}

// "s", "m:s" or "h:m:s", the last item with an optional "." and up to three digits of a
// second's fraction; each item digits only (empty reads 0). 147 otherwise.
u16 parse_time(Str text, i64* ms) {
    i64 items[TIME_ITEMS_MAX] = {};
    u16 n = 0, digits = 0;
    i64 millis = 0;
    u16 i = 0;
    for (; i < text.n && text.p[i] != '.'; i++) {
        char ch = text.p[i];
        if (ch == ':') {
            if (++n == TIME_ITEMS_MAX) return E_SYNTAX;
            digits = 0;
        } else if (is_digit(ch) && digits < TIME_ITEM_DIGITS) {
            items[n] = items[n] * 10 + (ch - '0');
            digits++;
        } else {
            return E_SYNTAX;
        }
    }
    if (i < text.n) {
        u16 fraction = 0;
        for (i++; i < text.n; i++, fraction++) {
            if (!is_digit(text.p[i]) || fraction == MILLI_DIGITS) return E_SYNTAX;
            millis = millis * 10 + (text.p[i] - '0');
        }
        for (; fraction < MILLI_DIGITS; fraction++) millis *= 10;
    }
    // The items fill hours, minutes and seconds from the right.
    i64 hms[TIME_ITEMS_MAX] = {};
    for (u16 k = 0; k <= n; k++) hms[TIME_ITEMS_MAX - 1 - n + k] = items[k];
    *ms = (hms[0] * MS_PER_HOUR + hms[1] * MS_PER_MINUTE + hms[2] * MS_PER_SECOND + millis) %
          MS_PER_DAY;
    return 0;
}

u16 file_time(Str name, i64* ms) {
    TmpScope scope;
    const char* path = str_to_cstr(file_name(name));
    if (!path) return E_OUTOFMEMORY;
    os::DateTime t{};
    if (!os::file_changed_at(path, &t)) {
        std::string other = *path ? os::find_nocase(path) : std::string();
        if (other.empty() || !os::file_changed_at(other.c_str(), &t))
            return fail(E_FILENOTFOUND, name);
    }
    *ms = time_of_day(t.hour, t.minute, t.second, t.millis);
    return 0;
}

char* put_two(char* w, i64 v) {
    w[0] = char('0' + v / 10 % 10);
    w[1] = char('0' + v % 10);
    return w + 2;
}

// HHMM, then seconds when asked (or when milliseconds are), then milliseconds.
Str time_text(i64 ms, u16 format) {
    char buf[16];
    char* w = buf;
    bool sep = format & TIME_SEPARATORS;
    w = put_two(w, ms / MS_PER_HOUR);
    if (sep) *w++ = ':';
    w = put_two(w, ms / MS_PER_MINUTE % 60);
    if (format & (TIME_SECONDS | TIME_MILLIS)) {
        if (sep) *w++ = ':';
        w = put_two(w, ms / MS_PER_SECOND % 60);
    }
    if (format & TIME_MILLIS) {
        if (sep) *w++ = '.';
        i64 m = ms % MS_PER_SECOND;
        *w++ = char('0' + m / 100);
        w = put_two(w, m % 100);
    }
    return str_copy(Str{buf, u16(w - buf)});
}

}  // namespace

u16 f_accumulator(Call& c, Value& out) {
    i64 second, third;
    if (u16 rc = arg_whole(c, 1, 0, &second)) return rc;
    if (u16 rc = arg_whole(c, 2, 0, &third)) return rc;
    if (!arg_is_str(c, 0)) {
        i64 x;
        if (u16 rc = arg_whole(c, 0, 0, &x)) return rc;
        return read_accumulator(x + second, out);
    }
    Str x = c.arg[0].str;
    if (str_equal(x, S(CLEAR_WORD))) {
        out = val_num(0);
        return clear_accumulators(second, third);
    }
    if (str_equal(x, S(ELEMENT_WORD))) return read_accumulator(second, out);
    i64 index = accumulator_index(x);
    if (index < 0) {
        out = val_num(0);
        return 0;
    }
    return read_accumulator(index + second, out);
}

u16 f_valn(Call& c, Value& out) {
    Str kind;
    if (u16 rc = arg_text(c, 1, S("N"), &kind)) return rc;
    if (kind.n != 1) return E_SYNTAX;
    char k = char(upper(kind.p[0]));
    const Value& v = c.arg[0];
    if (k == NUMBER_KIND) {
        out = val_num(!given(c, 0) ? 0 : v.is_str ? num_parse(num_normalise(v.str)) : v.num);
        return 0;
    }
    const char* at = std::strchr(DATE_KINDS, k);
    if (!at || !k) return E_SYNTAX;
    u16 part = DATE_KIND_PARTS[at - DATE_KINDS];
    i32 date = given(c, 0) ? date_value_of(v) : date_read(str_empty());
    i32 result =
        given(c, 2) ? date_calc(date, part, date_value_of(c.arg[2])) : date_part(date, part);
    out = val_num(num_from_whole(result));
    return 0;
}

u16 f_date(Call& c, Value& out) {
    i64 format;
    if (u16 rc = arg_whole_in(c, 1, DATE_STORED, 0, DATE_FORMAT_MAX, &format)) return rc;
    if (given(c, 0) && !c.arg[0].is_str) {
        if (format & DATE_OF_FILE) return E_TYPEMISMATCH;
        out = val_str(
            date_format_value(i32(num_round_whole(c.arg[0].num)), u16(format & DATE_MODE_BITS)));
        return 0;
    }
    Str date = given(c, 0) ? c.arg[0].str : str_empty();
    out = val_str(date_format(date, u16(format)));
    return 0;
}

u16 f_time(Call& c, Value& out) {
    Str time;
    i64 format, ms = 0;
    if (u16 rc = arg_text(c, 0, str_empty(), &time)) return rc;
    if (u16 rc = arg_whole_in(c, 1, 0, 0, TIME_FORMAT_MAX, &format)) return rc;
    time = str_trim(time, TRIM_BOTH);
    u16 rc = (format & TIME_OF_FILE) ? file_time(time, &ms) : time.n ? parse_time(time, &ms) : 0;
    if (rc) return rc;
    if (!(format & TIME_OF_FILE) && time.n == 0) ms = time_source.now() % MS_PER_DAY;
    out = val_str(time_text(ms, u16(format)));
    return 0;
}

}  // namespace fn

}  // namespace vx::expr
