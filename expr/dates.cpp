// Dates: validity, the day count behind the arithmetic, parsing typed dates, the display
// modes and the six-character date fields.
#include "expr/dates.h"

#include <cstring>
#include <string>

#include "expr/masks.h"
#include "platform/os.h"
#include "runtime/arena.h"
#include "runtime/paths.h"
#include "runtime/sysvars.h"

namespace vx::expr {

using namespace vx::rt;

namespace {

struct Ymd {
    i32 y = -1;
    i32 m = 0;
    i32 d = 0;
};

constexpr i32 MONTH_DAYS[MONTHS] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
constexpr i32 YEAR_MAX = 9999;
constexpr i32 LEAP_EVERY = 4;
constexpr i32 YEAR_DAYS = 365;
constexpr i32 CYCLE_DAYS = LEAP_EVERY * YEAR_DAYS + 1;  // four years, the first a leap year
constexpr i32 CENTURY = 100;
constexpr i32 MONTHS_I = MONTHS;

constexpr char DATE_SEPARATORS[] = "-./";
constexpr char DIGITS[] = "0123456789";
constexpr u16 DATE_FIELDS = 3;
constexpr u16 SHORT_YEAR_DIGITS = 2;  // a year of at most this many digits is windowed
constexpr u16 FIELD_DIGITS_MAX = 4;   // digits of one part of a separated date
constexpr u16 COMPACT_SHORT = 6;      // DDMMYY
constexpr u16 COMPACT_LONG = 8;       // YYYYMMDD
constexpr u16 SHORT_MONTH = 3;        // letters of the month in DATE_MONTH_YEAR
constexpr char MONTH_YEAR_TEMPLATE[] = "[M] [Y]";
constexpr char TEMPLATE_MARKS[] = "DMY";  // [D] day, [M] month name, [Y] year
constexpr u16 DATE_TEXT_MAX = 16;
constexpr u8 DECADE_FIRST = 'A';
constexpr u8 DECADE_LAST = 'J';
constexpr u8 CENTURY_19_LAST = '@';  // first characters up to this get "19"

bool leap(i32 y) {
    return y % LEAP_EVERY == 0;
}

bool valid(const Ymd& a) {
    return date_valid(a.y, a.m, a.d);
}

Ymd split(i32 value) {
    if (value < 0) return Ymd{};
    return Ymd{value / DATE_YEAR, value / DATE_MONTH % DATE_MONTH, value % DATE_MONTH};
}

i32 join(const Ymd& a) {
    return valid(a) ? a.y * DATE_YEAR + a.m * DATE_MONTH + a.d : 0;
}

// Days since 1 January of the year 0.
i64 day_number(const Ymd& a) {
    i64 n = i64(YEAR_DAYS) * a.y + (a.y + LEAP_EVERY - 1) / LEAP_EVERY;
    for (i32 m = 1; m < a.m; m++) n += date_month_days(a.y, m);
    return n + a.d - 1;
}

Ymd from_day_number(i64 n) {
    if (n < 0) return Ymd{};
    i64 y = LEAP_EVERY * (n / CYCLE_DAYS);
    i32 r = i32(n % CYCLE_DAYS);
    if (r >= YEAR_DAYS + 1) {
        r -= YEAR_DAYS + 1;
        y += 1 + r / YEAR_DAYS;
        r %= YEAR_DAYS;
    }
    if (y > YEAR_MAX) return Ymd{};
    i32 m = 1;
    while (r >= date_month_days(i32(y), m)) r -= date_month_days(i32(y), m++);
    return Ymd{i32(y), m, r + 1};
}

// ---- Parsing ----

// A part of a separated date: 1 to FIELD_DIGITS_MAX digits.
bool field_number(Str s, i32& out) {
    if (s.n == 0 || s.n > FIELD_DIGITS_MAX || !str_all_in_set(s, S(DIGITS))) return false;
    out = i32(text_to_int64(s));
    return true;
}

// A two-digit year below _BKYEAR lies in the century _BYEAR, else in the one before.
i32 window_year(i32 yy) {
    const i32 base = sysint_get(SV_BYEAR);
    return yy < sysint_get(SV_BKYEAR) ? base + yy : base - CENTURY + yy;
}

Ymd read_separated(Str t) {
    Str parts[DATE_FIELDS];
    u16 count = 0;
    for (u16 from = 0;;) {
        const u16 at = str_find_any(t, from, S(DATE_SEPARATORS), PLAIN);
        if (count == DATE_FIELDS) return Ymd{};
        const u16 end = at == NOT_FOUND ? t.n : at;
        parts[count++] = str_trim(str_substr(t, from, u16(end - from)), TRIM_BOTH);
        if (at == NOT_FOUND) break;
        from = u16(at + 1);
    }
    i32 n[DATE_FIELDS] = {};
    if (count != DATE_FIELDS) return Ymd{};
    for (u16 k = 0; k < DATE_FIELDS; k++)
        if (!field_number(parts[k], n[k])) return Ymd{};
    const i32 year = parts[2].n <= SHORT_YEAR_DIGITS ? window_year(n[2]) : n[2];
    const bool day_first = lang_params().day_first;
    Ymd a{year, day_first ? n[1] : n[0], day_first ? n[0] : n[1]};
    return a.y && a.m && a.d ? a : Ymd{};
}

i32 digits_at(Str t, u16 from, u16 count) {
    return i32(text_to_int64(str_substr(t, from, count)));
}

Ymd read_compact(Str t) {
    if (!str_all_in_set(t, S(DIGITS))) return Ymd{};
    if (t.n == COMPACT_SHORT)
        return Ymd{window_year(digits_at(t, 4, 2)), digits_at(t, 2, 2), digits_at(t, 0, 2)};
    if (t.n == COMPACT_LONG) return Ymd{digits_at(t, 0, 4), digits_at(t, 4, 2), digits_at(t, 6, 2)};
    return Ymd{};
}

Ymd today() {
    const os::DateTime now = os::now_local();
    return Ymd{now.year, now.month, now.day};
}

// The date of a typed text; y = -1 when there is none.
Ymd read_typed(Str text) {
    if (!text.ok()) return Ymd{};
    const Str t = str_trim(text, TRIM_BOTH);
    if (t.n == 0) return sysint_bit(SV_AUXSTAT, AUX_DATE_EMPTY) ? Ymd{} : today();
    if (str_find_any(t, 0, S(DATE_SEPARATORS), PLAIN) != NOT_FOUND) return read_separated(t);
    return read_compact(t);
}

// The date of a file's last change, its name expanded (%NAME%) and, when not found as
// written, looked up without regard to case.
Ymd file_date(Str name) {
    TmpScope scope;
    const char* path = str_to_cstr(path_expand(str_trim(name, TRIM_BOTH)));
    os::DateTime dt{};
    if (!os::file_changed_at(path, &dt)) {
        const std::string other = *path ? os::find_nocase(path) : std::string();
        if (other.empty() || !os::file_changed_at(other.c_str(), &dt)) return Ymd{};
    }
    return Ymd{dt.year, dt.month, dt.day};
}

// ---- Formatting ----

// Writes v as digits digits, zero-filled, and returns the end.
char* put_digits(char* p, i32 v, u16 digits) {
    for (u16 k = digits; k > 0; k--) {
        p[k - 1] = char('0' + v % 10);
        v /= 10;
    }
    return p + digits;
}

Str text_of(const char* buf, const char* end) {
    return str_copy(Str{buf, u16(end - buf)});
}

Str format_stored(const Ymd& a) {
    char buf[DATE_TEXT_MAX];
    char* p = put_digits(buf, a.y, 4);
    p = put_digits(p, a.m, 2);
    return text_of(buf, put_digits(p, a.d, 2));
}

// Day and month in the language's order, then the year, joined by "-".
Str format_numeric(const Ymd& a, u16 year_digits) {
    const bool day_first = lang_params().day_first;
    char buf[DATE_TEXT_MAX];
    char* p = put_digits(buf, day_first ? a.d : a.m, 2);
    *p++ = '-';
    p = put_digits(p, day_first ? a.m : a.d, 2);
    *p++ = '-';
    return text_of(buf, put_digits(p, year_digits == 2 ? a.y % CENTURY : a.y, year_digits));
}

// A template in which [D], [M] and [Y] stand for the two-digit day, the month name (cut to
// month_len characters) and the four-digit year.
Str fill_template(Str tpl, const Ymd& a, u16 month_len) {
    char day[2];
    char year[4];
    put_digits(day, a.d, 2);
    put_digits(year, a.y, 4);
    Str month = lang_params().months[a.m - 1];
    if (month.n > month_len) month.n = month_len;
    const Str pieces[] = {Str{day, 2}, month, Str{year, 4}};  // in the order of TEMPLATE_MARKS
    StrBuilder b;
    for (u16 i = 0; i < tpl.n; i++) {
        const bool marker = tpl.at(i) == '[' && i + 2 < tpl.n && tpl.at(u16(i + 2)) == ']';
        const void* hit = marker ? std::memchr(TEMPLATE_MARKS, tpl.at(u16(i + 1)), 3) : nullptr;
        if (!hit) {
            b.put(tpl.p + i, 1);
            continue;
        }
        b.put(pieces[static_cast<const char*>(hit) - TEMPLATE_MARKS]);
        i = u16(i + 2);
    }
    return b.finish();
}

Str format_short(const Ymd& a) {
    return format_numeric(a, 2);
}
Str format_full(const Ymd& a) {
    return format_numeric(a, 4);
}
Str format_month_year(const Ymd& a) {
    return fill_template(S(MONTH_YEAR_TEMPLATE), a, SHORT_MONTH);
}
Str format_long(const Ymd& a) {
    return fill_template(lang_params().long_date, a, NOT_FOUND);
}

using Formatter = Str (*)(const Ymd&);
constexpr Formatter FORMATTERS[] = {format_stored, format_short, format_full, format_month_year,
                                    format_long};
constexpr u16 MODE_COUNT = sizeof(FORMATTERS) / sizeof(FORMATTERS[0]);

// ---- Arithmetic ----

Ymd clamp_day(i32 y, i32 m, i32 d) {
    const i32 last = date_month_days(y, m);
    return Ymd{y, m, d > last ? last : d};
}

Ymd add_days(const Ymd& a, i32 n) {
    return from_day_number(day_number(a) + n);
}

Ymd add_months(const Ymd& a, i32 n) {
    const i64 total = i64(a.y) * MONTHS_I + (a.m - 1) + n;
    if (total < 0 || total > i64(YEAR_MAX) * MONTHS_I + MONTHS_I - 1) return Ymd{};
    return clamp_day(i32(total / MONTHS_I), i32(total % MONTHS_I) + 1, a.d);
}

Ymd add_years(const Ymd& a, i32 n) {
    const i64 y = i64(a.y) + n;
    if (y < 0 || y > YEAR_MAX) return Ymd{};
    return clamp_day(i32(y), a.m, a.d);
}

i32 diff_days(const Ymd& a, const Ymd& b) {
    return i32(day_number(a) - day_number(b));
}
i32 diff_months(const Ymd& a, const Ymd& b) {
    return (a.y - b.y) * MONTHS_I + (a.m - b.m);
}
i32 diff_years(const Ymd& a, const Ymd& b) {
    return a.y - b.y;
}

struct PartRule {
    u16 part;
    Ymd (*add)(const Ymd&, i32);
    i32 (*diff)(const Ymd&, const Ymd&);
};
constexpr PartRule PART_RULES[] = {
    {PART_DAY, add_days, diff_days},
    {PART_MONTH, add_months, diff_months},
    {PART_YEAR, add_years, diff_years},
    {PART_WHOLE, add_days, diff_days},
};

const PartRule* rule_of(u16 part) {
    for (const PartRule& r : PART_RULES)
        if (r.part == part) return &r;
    return nullptr;
}

}  // namespace

bool date_valid(i32 year, i32 month, i32 day) {
    return year >= 0 && year <= YEAR_MAX && day >= 1 && day <= date_month_days(year, month);
}

bool date_value_valid(i32 value) {
    return valid(split(value));
}

i32 date_month_days(i32 year, i32 month) {
    if (month < 1 || month > MONTHS_I) return 0;
    return month == 2 && leap(year) ? MONTH_DAYS[1] + 1 : MONTH_DAYS[month - 1];
}

i32 date_today() {
    return join(today());
}

i32 date_read(Str text) {
    return join(read_typed(text));
}

Str date_parse(Str typed) {
    if (!typed.ok()) return typed;
    return date_text(date_read(typed));
}

Str date_text(i32 value) {
    return date_format_value(value, DATE_STORED);
}

Str date_format(Str date, u16 mode) {
    if (!date.ok()) return date;
    const i32 value = join((mode & DATE_OF_FILE) ? file_date(date) : read_typed(date));
    return date_format_value(value, mode & DATE_MODE_BITS);
}

Str date_format_value(i32 value, u16 mode) {
    const Ymd a = split(value);
    if (!valid(a) || mode >= MODE_COUNT) return str_empty();
    return FORMATTERS[mode](a);
}

Str date_long(u32 yyyymmdd) {
    return yyyymmdd > u32(YEAR_MAX) * DATE_YEAR + 1231
               ? str_empty()
               : date_format_value(i32(yyyymmdd), DATE_LONG);
}

Str date_long_today() {
    return date_format_value(date_today(), DATE_LONG);
}

i32 date_part(i32 value, u16 part) {
    const Ymd a = split(value);
    if (!valid(a)) return 0;
    switch (part) {
        case PART_DAY:
            return a.d;
        case PART_MONTH:
            return a.m;
        case PART_YEAR:
            return a.y;
        case PART_WHOLE:
            return value;
        default:
            return 0;
    }
}

i32 date_add(i32 value, u16 part, i32 count) {
    const Ymd a = split(value);
    const PartRule* r = rule_of(part);
    if (!valid(a) || !r) return 0;
    return join(r->add(a, count));
}

i32 date_diff(i32 value, i32 other, u16 part) {
    const Ymd a = split(value);
    const Ymd b = split(other);
    const PartRule* r = rule_of(part);
    if (!valid(a) || !valid(b) || !r) return 0;
    return r->diff(a, b);
}

i32 date_calc(i32 value, u16 part, i32 arg) {
    return arg < DATE_COUNT_LIMIT ? date_add(value, part, arg) : date_diff(value, arg, part);
}

Str date_widen6(Str six) {
    if (!six.ok() || six.n != COMPACT_SHORT) return six;
    const u8 first = six.at(0);
    char buf[COMPACT_LONG];
    if (first <= CENTURY_19_LAST) {
        std::memcpy(buf, first == ' ' ? "  " : "19", 2);
        std::memcpy(buf + 2, six.p, COMPACT_SHORT);
    } else if (first >= DECADE_FIRST && first <= DECADE_LAST) {
        std::memcpy(buf, "20", 2);
        buf[2] = char('0' + (first - DECADE_FIRST));
        std::memcpy(buf + 3, six.p + 1, COMPACT_SHORT - 1);
    } else {
        return six;
    }
    if (buf[0] != ' ')
        for (char& c : buf)
            if (c == ' ') c = '0';
    return str_copy(Str{buf, COMPACT_LONG});
}

Str date_narrow6(Str eight, bool decade_letters) {
    if (!eight.ok() || eight.n != COMPACT_LONG) return eight;
    Str last6 = str_substr(eight, COMPACT_LONG - COMPACT_SHORT, COMPACT_SHORT);
    const bool in_2000s =
        eight.at(0) == '2' && eight.at(1) == '0' && eight.at(2) >= '0' && eight.at(2) <= '9';
    if (!decade_letters || !in_2000s) return str_copy(last6);
    char buf[COMPACT_SHORT];
    buf[0] = char(DECADE_FIRST + (eight.at(2) - '0'));
    std::memcpy(buf + 1, eight.p + 3, COMPACT_SHORT - 1);
    return str_copy(Str{buf, COMPACT_SHORT});
}

}  // namespace vx::expr
