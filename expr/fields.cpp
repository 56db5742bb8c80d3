// Field types: each type letter belongs to a kind, and each kind has its own way to fit a
// value, show a stored value and read typed input (the table KIND_OPS).
#include "expr/fields.h"

#include <cstring>

#include "expr/dates.h"
#include "expr/masks.h"
#include "runtime/arena.h"
#include "runtime/error.h"
#include "runtime/sysvars.h"

namespace vx::expr {

using namespace vx::rt;

namespace {

enum Kind : u8 { K_TEXT, K_DIGITS, K_CODE, K_DATE, K_DATE_BLANK, K_LOGICAL, K_NUMBER, K_HIDDEN };

struct TypeKind {
    char letter;
    Kind kind;
};
constexpr TypeKind TYPE_KINDS[] = {
    {'A', K_TEXT},    {'B', K_DIGITS}, {'C', K_CODE}, {'D', K_DATE},   {'F', K_DATE_BLANK},
    {'L', K_LOGICAL}, {'N', K_NUMBER}, {'P', K_TEXT}, {'T', K_HIDDEN}, {'V', K_HIDDEN},
};

constexpr char DIGITS_AND_SPACE[] = "0123456789 ";
constexpr u16 SHORT_DATE_WIDTH = 6;
constexpr u16 LONG_DATE_TEXT = 8;
constexpr u16 DATE_SHORT_WIDTH = 8;  // shown in DATE_SHORT
constexpr u16 DATE_FULL_WIDTH = 10;  // shown in DATE_FULL
constexpr u16 COMPAT_DECIMALS_MAX = 8;
constexpr u16 LOGICAL_STATES = 3;
constexpr const char* LOGICAL_STORED[LOGICAL_STATES] = {" ", "0", "1"};
constexpr u16 LOGICAL_NO = 1;

Kind kind_of(char type) {
    if (field_decimals(type)) return K_NUMBER;
    for (const TypeKind& t : TYPE_KINDS)
        if (t.letter == type) return t.kind;
    return K_TEXT;
}

// ---- Shared steps ----

Str pad_cut(Str s, u16 width) {
    if (!s.ok()) return s;
    Str out = tmp_alloc(width, ' ');
    if (out.ok() && s.n) std::memcpy(str_mut(out), s.p, s.n < width ? s.n : width);
    return out;
}

Str right_align(Str s, u16 width) {
    Str out = tmp_alloc(width, ' ');
    if (out.ok() && s.n) std::memcpy(str_mut(out) + (width - s.n), s.p, s.n);
    return out;
}

// Numbers and logicals: right-aligned; decimals that do not fit are given up by rounding.
Str fit_number(Str value, u16 width) {
    if (!value.ok()) return value;
    const Str t = str_trim(value, TRIM_BOTH);
    if (t.n <= width) return right_align(t, width);
    const u16 dot = str_find_char(t, 0, '.', PLAIN);
    const u16 whole = dot == NOT_FOUND ? t.n : dot;
    if (whole > width) return str_error(E_DATAOUTBOUND);
    const int room = int(width) - whole - 1;
    TmpScope scope;
    return scope.keep(mask_number(mask_for_number(width, u16(room > 0 ? room : 0)), t, true));
}

bool compat(u16 bit) {
    return sysint_bit(SV_COMPAT, bit);
}

// Shows a stored date in the mode of its field width; "" for no date.
Str show_date(Str stored, u16 mode) {
    const Str t = str_trim(stored, TRIM_BOTH);
    return t.n ? date_format_value(date_read(t), mode) : str_empty();
}

// ---- Fitting ----

Str fit_text(Str value, u16 width) {
    return pad_cut(value, width);
}

Str fit_date(Str value, u16 width) {
    if (width == SHORT_DATE_WIDTH && value.ok() && value.n == LONG_DATE_TEXT)
        return date_narrow6(value, compat(COMPAT_WIDE_DATES));
    return pad_cut(value, width);
}

Str fit_hidden(Str value, u16 width) {
    return value.ok() ? tmp_alloc(width, ' ') : value;
}

// ---- Display ----

Str show_text(char, Str stored, u16 width) {
    return pad_cut(stored, width);
}

Str show_date_field(char, Str stored, u16 width) {
    if (!stored.ok()) return stored;
    TmpScope scope;
    if (width == DATE_SHORT_WIDTH) return scope.keep(pad_cut(show_date(stored, DATE_SHORT), width));
    if (width == DATE_FULL_WIDTH) return scope.keep(pad_cut(show_date(stored, DATE_FULL), width));
    return scope.keep(pad_cut(stored, width));
}

Str show_logical(char type, Str stored, u16 width) {
    return logical_display(stored, field_display_width(type, width));
}

Str show_number(char type, Str stored, u16 width) {
    if (!stored.ok()) return stored;
    TmpScope scope;
    Str mask = mask_for_type(type, field_display_width(type, width));
    return scope.keep(mask_apply(mask, stored, MASK_NUMBER));
}

// ---- Typed input ----

Str parse_text(char type, Str typed, u16 width) {
    return field_fit(type, typed, width);
}

Str parse_digits(char, Str typed, u16 width) {
    if (!typed.ok()) return typed;
    TmpScope scope;
    return scope.keep(pad_cut(str_keep(typed, S(DIGITS_AND_SPACE)), width));
}

// A code keeps its digits right-aligned and shows zeros for the blanks around and between
// them, so that "123" in a field of 5 is "00123"; a blank code stays blank.
Str parse_code(char, Str typed, u16 width) {
    if (!typed.ok()) return typed;
    TmpScope scope;
    Str digits = str_trim(str_keep(typed, S(DIGITS_AND_SPACE)), TRIM_BOTH);
    if (digits.n == 0) return scope.keep(tmp_alloc(width, ' '));
    if (digits.n > width) digits.n = width;
    Str out = right_align(digits, width);
    if (!out.ok()) return scope.keep(out);
    for (u16 i = 0; i < out.n; i++)
        if (out.p[i] == ' ') str_mut(out)[i] = '0';
    return scope.keep(out);
}

Str parse_date(char, Str typed, u16 width) {
    if (!typed.ok()) return typed;
    TmpScope scope;
    return scope.keep(fit_date(date_parse(typed), width));
}

// A date that may stay blank: empty input is no date rather than today.
Str parse_date_blank(char type, Str typed, u16 width) {
    if (typed.ok() && str_trim(typed, TRIM_BOTH).n == 0) return tmp_alloc(width, ' ');
    return parse_date(type, typed, width);
}

Str parse_logical(char, Str typed, u16 width) {
    return fit_number(logical_parse(typed), width);
}

Str parse_number(char type, Str typed, u16 width) {
    if (!typed.ok()) return typed;
    TmpScope scope;
    Str edited = mask_number(mask_for_type(type, width), num_normalise(typed), true);
    return scope.keep(fit_number(edited, width));
}

// ---- The table of kinds ----

struct KindOps {
    Str (*fit)(Str value, u16 width);
    Str (*show)(char type, Str stored, u16 width);
    Str (*parse)(char type, Str typed, u16 width);
};

constexpr KindOps KIND_OPS[] = {
    /* K_TEXT */ {fit_text, show_text, parse_text},
    /* K_DIGITS */ {fit_text, show_text, parse_digits},
    /* K_CODE */ {fit_text, show_text, parse_code},
    /* K_DATE */ {fit_date, show_date_field, parse_date},
    /* K_DATE_BLANK */ {fit_date, show_date_field, parse_date_blank},
    /* K_LOGICAL */ {fit_number, show_logical, parse_logical},
    /* K_NUMBER */ {fit_number, show_number, parse_number},
    /* K_HIDDEN */ {fit_hidden, show_text, parse_text},
};

}  // namespace

bool field_type_valid(char type) {
    return type != 0 && std::memchr(FIELD_TYPES, type, sizeof(FIELD_TYPES) - 1) != nullptr;
}

bool field_type_is_text(char type) {
    return type == 0 ||
           std::memchr(NUMERIC_FIELD_TYPES, type, sizeof(NUMERIC_FIELD_TYPES) - 1) == nullptr;
}

u16 field_decimals(char type) {
    return type >= '1' && type <= '9' ? u16(type - '0') : 0;
}

u16 field_display_width(char type, u16 width) {
    const u16 decimals = field_decimals(type);
    u32 shown = width;
    if (decimals && decimals <= COMPAT_DECIMALS_MAX && compat(COMPAT_WHOLE_WIDTH))
        shown += decimals + 1u;
    if (kind_of(type) == K_LOGICAL) {
        const LangParams& lp = lang_params();
        for (const Str& w : lp.words)
            if (w.n > shown) shown = w.n;
    }
    return u16(shown > MAX_STR ? MAX_STR : shown);
}

Str field_fit(char type, Str value, u16 width) {
    return KIND_OPS[kind_of(type)].fit(value, width);
}

Str field_display(char type, Str stored, u16 width) {
    return KIND_OPS[kind_of(type)].show(type, stored, width);
}

Str field_parse(char type, Str typed, u16 width) {
    return KIND_OPS[kind_of(type)].parse(type, typed, width);
}

Str field_read(char type, Str stored) {
    const Kind k = kind_of(type);
    const bool date = k == K_DATE || k == K_DATE_BLANK;
    if (!date || !stored.ok() || stored.n != SHORT_DATE_WIDTH || !compat(COMPAT_WIDE_DATES))
        return stored;
    return date_widen6(stored);
}

Str logical_parse(Str typed) {
    if (!typed.ok()) return typed;
    const Str letters = lang_params().letters;
    u8 c = typed.n ? typed.at(0) : u8(' ');
    if (c >= 'a' && c <= 'z') c = u8(c - 'a' + 'A');
    for (u16 k = 0; k < LOGICAL_STATES && k < letters.n; k++)
        if (letters.at(k) == c) return str_from_cstr(LOGICAL_STORED[k]);
    return str_from_cstr(LOGICAL_STORED[0]);
}

Str logical_display(Str stored, u16 width) {
    if (!stored.ok()) return stored;
    const Str t = str_trim(stored, TRIM_BOTH);
    const u8 c = t.n ? t.at(0) : u8(' ');
    u16 state = LOGICAL_NO;
    for (u16 k = 0; k < LOGICAL_STATES; k++)
        if (u8(LOGICAL_STORED[k][0]) == c) state = k;
    return pad_cut(lang_params().words[state], width);
}

Str datafile_base_name(Str name) {
    if (!name.ok() || name.n <= SHORT_NAME_MAX || !compat(COMPAT_SHORT_NAMES)) return name;
    return Str{name.p, SHORT_NAME_MAX};
}

}  // namespace vx::expr
