// Edit masks: the cached language parameters, the number editor, text masks, the masks of
// field types and the normalising of typed numbers.
#include "expr/masks.h"

#include <cstring>

#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/error.h"

namespace vx::expr {

using namespace vx::rt;

namespace {

// ---- Language parameters ----

constexpr char DEFAULT_MASK_PARAMS[] = ".,'0123456789.-D',' NY','  ,NO,YES'";
constexpr char DEFAULT_DATE_TEXTS[] =
    "'Enero,Febrero,Marzo,Abril,Mayo,Junio,Julio,Agosto,Septiembre,Octubre,Noviembre,"
    "Diciembre','[D] de [M] de [Y]'";
constexpr char DAY_FIRST_LANGS[] = "ES,FR,IT";
constexpr u16 LANG_TEXTS_MAX = 2048;  // bytes of entry 0 looked at
constexpr u16 LANG_CODE_MAX = 16;     // bytes of entry 4 looked at
constexpr u16 SEPARATORS = 2;         // the two separator characters before the items
constexpr u16 LOGICAL_STATES = 3;

struct LangCache {
    bool filled = false;
    u16 texts_n = 0;
    u16 lang_n = 0;
    char texts[LANG_TEXTS_MAX];
    char lang[LANG_CODE_MAX];
    LangParams params;
};

LangCache cache;

Str env_entry(u16 entry, u16 max) {
    if (!mem_ready()) return str_empty();
    Str s = env_get(entry);
    if (!s.ok()) return str_empty();
    return Str{s.p, s.n > max ? max : s.n};
}

bool same_bytes(Str s, const char* kept, u16 kept_n) {
    return s.n == kept_n && (s.n == 0 || std::memcmp(s.p, kept, s.n) == 0);
}

// The part of s before the first NUL, and the part after it.
Str before_nul(Str s) {
    const void* z = s.n ? std::memchr(s.p, 0, s.n) : nullptr;
    return z ? Str{s.p, u16(static_cast<const char*>(z) - s.p)} : s;
}
Str after_nul(Str s) {
    Str head = before_nul(s);
    return head.n < s.n ? Str{s.p + head.n + 1, u16(s.n - head.n - 1)} : Str{s.p + s.n, 0};
}

Str quoted_item(Str list, u16 n) {
    return str_unquote(str_trim(list_item(list, ',', n), TRIM_BOTH));
}

// Item n of the quoted items, or the same item of the defaults when it is missing or has
// fewer than min_len characters.
Str item_or_default(Str items, Str defaults, u16 n, u16 min_len) {
    Str v = quoted_item(items, n);
    return v.n >= min_len ? v : quoted_item(defaults, n);
}

void parse_mask_params(Str text, LangParams& lp) {
    const Str def = S(DEFAULT_MASK_PARAMS);
    if (text.n < SEPARATORS) text = def;
    lp.decimal = text.p[0];
    lp.thousands = text.p[1];
    Str items = str_substr(text, SEPARATORS, NOT_FOUND);
    Str def_items = str_substr(def, SEPARATORS, NOT_FOUND);
    lp.accepted = item_or_default(items, def_items, 1, 1);
    lp.letters = item_or_default(items, def_items, 2, LOGICAL_STATES);
    Str words = quoted_item(items, 3);
    if (list_count(words, ',') < LOGICAL_STATES) words = quoted_item(def_items, 3);
    for (u16 k = 0; k < LOGICAL_STATES; k++) lp.words[k] = list_item(words, ',', u16(k + 1));
}

void parse_date_texts(Str text, LangParams& lp) {
    const Str def = S(DEFAULT_DATE_TEXTS);
    Str months = quoted_item(text, 1);
    if (list_count(months, ',') != MONTHS) months = quoted_item(def, 1);
    for (u16 k = 0; k < MONTHS; k++)
        lp.months[k] = str_trim(list_item(months, ',', u16(k + 1)), TRIM_BOTH);
    lp.long_date = quoted_item(text, 2);
    if (lp.long_date.n == 0) lp.long_date = quoted_item(def, 2);
}

void refill_cache(Str texts, Str lang) {
    if (texts.n) std::memcpy(cache.texts, texts.p, texts.n);
    if (lang.n) std::memcpy(cache.lang, lang.p, lang.n);
    cache.texts_n = texts.n;
    cache.lang_n = lang.n;
    Str kept{cache.texts, cache.texts_n};
    LangParams lp;
    parse_mask_params(before_nul(kept), lp);
    parse_date_texts(before_nul(after_nul(kept)), lp);
    lp.day_first = list_find(S(DAY_FIRST_LANGS), ',', Str{cache.lang, cache.lang_n}) != 0;
    cache.params = lp;
    cache.filled = true;
}

// ---- Characters ----

bool is_digit(u8 c) {
    return c >= '0' && c <= '9';
}
bool is_digit_pos(u8 c) {
    return c == '#' || c == '0';
}
bool in_set(Str set, u8 c) {
    return set.n && std::memchr(set.p, c, set.n) != nullptr;
}

constexpr u16 NONE = NOT_FOUND;

constexpr u16 MAX_MASK_DECIMALS = 18;  // decimals a ",." marker may ask for
constexpr char DECIMAL_MARKER[] = ",.";
constexpr u16 MARKER_ITEM_DIGITS = 2;  // digits of a decimal count in environment entry 10

// ---- The value of a number edit ----
//
// The value text is trimmed; then come an optional sign, the whole digits (commas between
// them are taken as thousands separators and skipped), an optional "." and the decimals.
// Whatever follows is ignored.
struct NumValue {
    bool negative = false;
    bool any_digit = false;   // false for a value with no digit at all (shown blank)
    Str whole;                // whole digits and commas, leading zeros skipped
    u32 whole_n = 0;          // whole digits without leading zeros
    bool whole_nines = true;  // every whole digit is 9 (also when there is none)
    Str frac;                 // the decimals as written
    u16 frac_nines = 0;       // leading nines of the decimals
    u16 frac_nonzero = 0;     // index of the first decimal that is not 0 (frac.n when none)
};

NumValue read_value(Str value) {
    NumValue v;
    Str t = str_trim(value, TRIM_BOTH);
    u16 i = 0;
    if (i < t.n && (t.at(i) == '-' || t.at(i) == '+')) v.negative = t.at(i++) == '-';
    for (; i < t.n && (t.at(i) == '0' || t.at(i) == ','); i++)
        if (t.at(i) == '0') v.any_digit = true;
    const u16 whole_from = i;
    for (; i < t.n && (is_digit(t.at(i)) || t.at(i) == ','); i++) {
        if (!is_digit(t.at(i))) continue;
        v.whole_n++;
        if (t.at(i) != '9') v.whole_nines = false;
    }
    v.whole = Str{t.p + whole_from, u16(i - whole_from)};
    u16 frac_from = i;
    if (i < t.n && t.at(i) == '.') {
        frac_from = ++i;
        while (i < t.n && is_digit(t.at(i))) i++;
    }
    v.frac = Str{t.p + frac_from, u16(i - frac_from)};
    v.any_digit = v.any_digit || v.whole_n || v.frac.n;
    while (v.frac_nines < v.frac.n && v.frac.at(v.frac_nines) == '9') v.frac_nines++;
    v.frac_nonzero = v.frac.n;
    for (u16 k = 0; k < v.frac.n && v.frac_nonzero == v.frac.n; k++)
        if (v.frac.at(k) != '0') v.frac_nonzero = k;
    return v;
}

// Rounding to d decimals, half away from zero, looks only at decimal d.
bool rounds_up(const NumValue& v, u16 d) {
    return d < v.frac.n && v.frac.at(d) >= '5';
}

// Whole digits after rounding to d decimals: one more when the carry runs through.
u32 whole_len(const NumValue& v, u16 d) {
    bool carry = rounds_up(v, d) && v.frac_nines >= d && v.whole_nines;
    return v.whole_n + (carry ? 1 : 0);
}

bool nonzero_at(const NumValue& v, u16 d) {
    return v.whole_n > 0 || v.frac_nonzero < d || rounds_up(v, d);
}

// Positions the whole part needs with d decimals: its digits and the minus sign.
u32 positions_needed(const NumValue& v, u16 d) {
    return whole_len(v, d) + (v.negative && nonzero_at(v, d) ? 1 : 0);
}

// ---- The mask of a number edit ----

struct MaskLayout {
    u16 first = NONE;  // digit area: first and last "#" or "0"
    u16 last = NONE;
    u16 point = NONE;   // the "." inside the digit area
    u32 whole_pos = 0;  // digit positions before the point
    u32 commas = 0;     // "," before the point
    u16 decimals = 0;   // digit positions after the point
};

MaskLayout layout_of(Str m) {
    MaskLayout L;
    for (u16 i = 0; i < m.n; i++) {
        if (!is_digit_pos(m.at(i))) continue;
        if (L.first == NONE) L.first = i;
        L.last = i;
    }
    if (L.first == NONE) return L;
    for (u16 i = L.first; i <= L.last; i++) {
        u8 c = m.at(i);
        if (c == '.' && L.point == NONE)
            L.point = i;
        else if (is_digit_pos(c) && L.point == NONE)
            L.whole_pos++;
        else if (is_digit_pos(c))
            L.decimals++;
        else if (c == ',' && L.point == NONE)
            L.commas++;
    }
    return L;
}

struct Plan {
    u16 decimals = 0;
    bool commas_as_digits = false;
    bool fits = true;
};

// Fitting the whole part: first the mask's commas become digit positions, then the point
// moves right one digit position at a time; giving up the last decimal removes the point.
Plan plan_for(const NumValue& v, const MaskLayout& L) {
    const u16 md = L.decimals;
    if (!v.any_digit || positions_needed(v, md) <= L.whole_pos) return Plan{md, false, true};
    const u32 base = L.whole_pos + L.commas;
    if (positions_needed(v, md) <= base) return Plan{md, true, true};
    for (u16 k = 1; k <= md; k++) {
        const u16 d = u16(md - k);
        const u32 room = base + (d > 0 ? k : u32(md) + 1);
        if (positions_needed(v, d) <= room) return Plan{d, true, true};
    }
    return Plan{md, false, false};
}

// Rewrites the working mask w for the plan and returns the index of its point.
u16 reshape(char* w, const MaskLayout& L, const Plan& p) {
    const u16 whole_end = L.point == NONE ? L.last : L.point;
    if (p.commas_as_digits)
        for (u16 i = L.first; i <= whole_end; i++)
            if (w[i] == ',') w[i] = '#';
    if (p.decimals == L.decimals) return L.point;
    const u16 k = u16(L.decimals - p.decimals);
    w[L.point] = '#';
    u16 seen = 0;
    for (u16 i = u16(L.point + 1); i <= L.last; i++) {
        if (!is_digit_pos(u8(w[i])) || ++seen < k) continue;
        if (p.decimals == 0) return NONE;
        w[i] = '.';
        return i;
    }
    return NONE;
}

// The value's digits rounded to d decimals, in a scratch string of the arena: whole digits
// then exactly d decimals. whole_n tells where the decimals start.
struct Digits {
    Str s;
    u32 whole_n = 0;
    bool zero = true;
};

Digits digits_for(const NumValue& v, u16 d) {
    Digits out;
    const u32 n = v.whole_n + 1 + d;  // a leading slot takes the carry
    Str buf = tmp_alloc(n, NO_FILL);
    if (!buf.ok()) {
        out.s = buf;
        return out;
    }
    char* b = str_mut(buf);
    u32 j = 0;
    b[j++] = '0';
    for (u16 i = 0; i < v.whole.n; i++)
        if (is_digit(v.whole.at(i))) b[j++] = v.whole.p[i];
    for (u16 k = 0; k < d; k++) b[j++] = k < v.frac.n ? v.frac.p[k] : '0';
    if (rounds_up(v, d)) {
        u32 at = n - 1;
        while (b[at] == '9') b[at--] = '0';
        b[at]++;
    }
    const u32 skip = b[0] == '0' ? 1 : 0;
    out.s = Str{b + skip, u16(n - skip)};
    out.whole_n = n - skip - d;
    for (u16 i = 0; i < out.s.n && out.zero; i++) out.zero = out.s.p[i] == '0';
    return out;
}

// Where the minus sign may go once the digits are in place.
struct Lead {
    u16 at = NONE;       // leftmost digit shown in the whole part
    bool fill = false;   // that digit is a fill "0", not a digit of the value
    u16 free_at = NONE;  // a blank position written just left of it
};

// Fills the working mask from its right end (rules 5 and 6 of the number editor).
Lead pour(char* w, const MaskLayout& L, u16 point, const NumValue& v, const Digits& dg, char dec,
          char thou) {
    Lead lead;
    const char* wd = dg.s.ok() ? dg.s.p : "";
    u32 wi = v.any_digit ? dg.whole_n : 0;
    u32 fi = v.any_digit ? dg.s.n - dg.whole_n : 0;
    bool zero_pending = v.any_digit && dg.whole_n == 0;
    auto shown = [&](u16 i, bool fill) {
        lead.at = i;
        lead.fill = fill;
    };
    auto blank = [&](u16 i) {
        w[i] = ' ';
        if (lead.at != NONE && lead.at == i + 1) lead.free_at = i;
    };
    for (int i = L.last; i >= int(L.first); i--) {
        const u16 at = u16(i);
        const u8 c = u8(w[at]);
        if (point != NONE && at > point) {
            if (is_digit_pos(c)) w[at] = fi ? wd[dg.whole_n + --fi] : (c == '0' ? '0' : ' ');
        } else if (at == point) {
            w[at] = !v.any_digit && w[at - 1] == '#' ? ' ' : dec;
        } else if (is_digit_pos(c)) {
            if (wi) {
                w[at] = wd[--wi];
                shown(at, false);
            } else if (zero_pending || c == '0') {
                w[at] = '0';
                zero_pending = false;
                shown(at, true);
            } else {
                blank(at);
            }
        } else if (c == ',') {
            if (wi || w[at - 1] != '#')
                w[at] = thou;
            else
                blank(at);
        }
    }
    return lead;
}

// The minus sign takes the blank position left of the leftmost digit, else a fill zero.
bool place_sign(char* w, const Lead& lead) {
    if (lead.at == NONE) return false;
    if (lead.at > 0 && lead.free_at == lead.at - 1) {
        w[lead.free_at] = '-';
        return true;
    }
    if (!lead.fill) return false;
    w[lead.at] = '-';
    return true;
}

// Decimals asked for by a ",." marker followed by count: item count + 1 of environment
// entry 10 when it holds a whole number, else the count itself.
u16 marker_decimals(u32 count) {
    Str list = env_entry(ENV_MASKS, NOT_FOUND);
    Str item =
        count < NOT_FOUND ? str_trim(list_item(list, ',', u16(count + 1)), TRIM_BOTH) : str_empty();
    if (item.n && item.n <= MARKER_ITEM_DIGITS && str_all_in_set(item, S("0123456789")))
        count = u32(text_to_int64(item));
    return u16(count > MAX_MASK_DECIMALS ? MAX_MASK_DECIMALS : count);
}

// A mask holding ",." after its first character is rewritten before use. The marker is
// followed by a count: the digits written there, or, when only "#" stand there, how many
// (an empty run counts 0). The marker and the count are replaced by the decimal point and
// as many decimal positions as marker_decimals() gives, filled with the mask character
// before the marker when that is "#" or "0" (else "#"); with 0 decimals no point is
// written. The rest of the mask follows unchanged. "########0,.2" becomes "########0.00".
Str rewrite_marker(Str mask) {
    const u16 at = str_find_sub(mask, S(DECIMAL_MARKER), PLAIN);
    if (at == NONE || at == 0) return mask;
    u16 i = u16(at + 2);
    u32 written = 0;
    u16 hashes = 0;
    bool has_digits = false;
    for (; i < mask.n && (is_digit(mask.at(i)) || mask.at(i) == '#'); i++) {
        if (mask.at(i) == '#') {
            hashes++;
        } else {
            has_digits = true;
            if (written <= MAX_MASK_DECIMALS) written = written * 10 + (mask.at(i) - '0');
        }
    }
    const u16 decimals = marker_decimals(has_digits ? written : hashes);
    const char fill = is_digit_pos(mask.at(at - 1)) ? char(mask.at(at - 1)) : '#';
    StrBuilder b;
    b.put(mask.p, at);
    if (decimals) {
        b.put(".", 1);
        b.fill(fill, decimals);
    }
    b.put(mask.p + i, u32(mask.n - i));
    return b.finish();
}

// A mask whose number does not fit: its digit area shows "*" instead of wrong digits.
Str overflow_text(Str mask) {
    Str out = str_copy(mask);
    if (!out.ok()) return out;
    MaskLayout L = layout_of(out);
    char* w = str_mut(out);
    for (u16 i = L.first; L.first != NONE && i <= L.last; i++)
        if (is_digit_pos(u8(w[i])) || w[i] == ',' || w[i] == '.') w[i] = '*';
    return out;
}

}  // namespace

// ---- Language parameters ----

const LangParams& lang_params() {
    Str texts = env_entry(ENV_LANGTEXTS, LANG_TEXTS_MAX);
    Str lang = env_entry(ENV_LANG, LANG_CODE_MAX);
    if (!cache.filled || !same_bytes(texts, cache.texts, cache.texts_n) ||
        !same_bytes(lang, cache.lang, cache.lang_n))
        refill_cache(texts, lang);
    return cache.params;
}

// ---- Masks ----

Str mask_for_type(char type, u16 width) {
    const u16 decimals = type >= '1' && type <= '9' ? u16(type - '0') : 0;
    if (decimals || type == 'N') return mask_for_number(width, decimals);
    return str_fill(width, '\\');
}

Str mask_for_number(u16 width, u16 decimals) {
    Str m = str_fill(width, '#');
    const u16 room = width > 2 ? u16(width - 2) : 0;  // a whole position and the point
    if (decimals > room) decimals = room;
    if (m.ok() && decimals) str_mut(m)[width - decimals - 1] = '.';
    return m;
}

// The number editor:
// 1. the value is read by read_value();
// 2. the digit area runs from the first to the last "#" or "0" of the mask;
// 3. a whole part wider than the mask's whole positions turns the commas into digit
//    positions, then moves the point right, giving up decimals (plan_for);
// 4. the value is rounded half away from zero to the decimals kept, or padded with zeros;
// 5. the mask is filled from its right end (pour);
// 6. a value below 1 shows "0" in the first whole position;
// 7. the minus sign goes left of the leftmost digit (place_sign).
// A value without any digit leaves "#" positions blank.
Str mask_number(Str mask, Str value, bool neutral) {
    if (!mask.ok()) return mask;
    if (!value.ok()) return value;
    TmpScope scope;
    Str m = rewrite_marker(mask);
    if (!m.ok()) return scope.keep(m);
    Str out = str_copy(m);
    if (!out.ok()) return scope.keep(out);
    const MaskLayout L = layout_of(out);
    if (L.first == NONE) return scope.keep(out);
    const NumValue v = read_value(value);
    const Plan p = plan_for(v, L);
    if (!p.fits) return scope.keep(str_error(E_DATAOUTBOUND));
    char* w = str_mut(out);
    const u16 point = reshape(w, L, p);
    const Digits dg = v.any_digit ? digits_for(v, p.decimals) : Digits{};
    if (v.any_digit && !dg.s.ok()) return scope.keep(dg.s);
    const LangParams& lp = lang_params();
    const Lead lead =
        pour(w, L, point, v, dg, neutral ? '.' : lp.decimal, neutral ? ',' : lp.thousands);
    if (v.negative && !dg.zero && !place_sign(w, lead))
        return scope.keep(str_error(E_DATAOUTBOUND));
    return scope.keep(out);
}

Str mask_text(Str mask, Str value, bool positional) {
    if (!mask.ok()) return mask;
    if (!value.ok()) return value;
    Str out = str_copy(mask);
    if (!out.ok()) return out;
    char* w = str_mut(out);
    u16 next = 0;
    auto take = [&]() { return next < value.n ? value.p[next++] : ' '; };
    for (u16 i = 0; i < mask.n;) {
        const u8 c = mask.at(i);
        if (c == '\\' || (c == '?' && !positional)) {
            w[i++] = take();
        } else if (c == '?') {
            w[i] = i < value.n ? value.p[i] : ' ';
            i++;
        } else if (c == ' ' && i > 0 && mask.at(i - 1) == '\\') {
            u16 j = i;
            while (j < mask.n && mask.at(j) == ' ') j++;
            const bool enclosed = j < mask.n && mask.at(j) == '\\';
            for (; i < j; i++)
                if (enclosed) w[i] = take();
        } else {
            i++;
        }
    }
    return out;
}

Str mask_apply(Str mask, Str value, u16 options) {
    if (!mask.ok()) return mask;
    if (!value.ok()) return value;
    const u16 at = str_find_any(mask, 0, S("\\?#0"), PLAIN);
    if (at != NONE && is_digit_pos(mask.at(at))) {
        if ((options & MASK_NUMBER) || str_all_in_set(value, S(MASK_NUMBER_CHARS))) {
            Str r = mask_number(mask, value, (options & MASK_NEUTRAL) != 0);
            if (str_error_code(r) != E_DATAOUTBOUND) return r;
            TmpScope scope;
            return scope.keep(overflow_text(rewrite_marker(mask)));
        }
        if (str_find_any(mask, 0, S("\\?"), PLAIN) == NONE) return str_copy(mask);
    }
    return mask_text(mask, value, (options & MASK_POSITIONAL) != 0);
}

// ---- Typed numbers ----

Str num_normalise(Str typed) {
    if (!typed.ok()) return typed;
    const LangParams& lp = lang_params();
    const Str t = str_trim(typed, TRIM_BOTH);
    auto is_point = [&](u8 c) { return c == '.' || c == u8(lp.decimal); };
    auto accepted = [&](u8 c) { return is_point(c) || (c != '-' && in_set(lp.accepted, c)); };
    char buf[TYPED_NUMBER_MAX];
    u16 n = 0;
    u16 i = 0;
    if (i < t.n && t.at(i) == '-' && in_set(lp.accepted, '-')) buf[n++] = char(t.at(i++));
    // A leading "0" goes unless the number ends with it or the decimal point follows it.
    while (i + 1 < t.n && t.at(i) == '0' && accepted(t.at(i + 1)) && !is_point(t.at(i + 1))) i++;
    bool point = false;
    for (; i < t.n && n < TYPED_NUMBER_MAX; i++) {
        const u8 c = t.at(i);
        if (!accepted(c) || (is_point(c) && point)) break;
        point = point || is_point(c);
        buf[n++] = is_point(c) ? '.' : char(c);
    }
    return str_copy(Str{buf, n});
}

}  // namespace vx::expr
