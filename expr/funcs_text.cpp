// Built-in functions on texts and lists: FN#SLEN, FN#PARM, FN$CHNG, FN$CHRS, FN$MIDS,
// FN$PARM, FN$TRIM, ENVELOP$, FN$MASK, EXP$ and MACRO$.
//
// FN$TRIM and FN$MIDS run once per record in charts: they answer views of their argument
// where they can, and the dispatcher copies the result down to the caller's mark.
#include <cstring>

#include "expr/eval.h"
#include "expr/funcs_impl.h"
#include "expr/masks.h"
#include "expr/scan.h"
#include "runtime/arena.h"
#include "runtime/error.h"

namespace vx::expr::fn {

using namespace vx::rt;

namespace {

constexpr char LIST_SEP = ',';
constexpr i64 CHAR_CODE_MAX = 255;
constexpr i64 REPEAT_MAX = MAX_STR;
constexpr i64 OPTIONS_MAX = 0xFFFF;
constexpr i64 MASK_DEFAULT_OPTIONS = 255;

// ---- FN$TRIM ----

constexpr const char* TRIM_MODES[] = {"LEFTTRIM", "RIGHTRIM", "BOTHTRIM", "FIT"};
enum TrimMode : u16 { MODE_LEFT = 1, MODE_RIGHT, MODE_BOTH, MODE_FIT };
constexpr u8 TRIM_SIDES[] = {0, TRIM_LEFT, TRIM_RIGHT, TRIM_BOTH, TRIM_BOTH};

// Blanks off both ends, then one pair of enclosing quotes; upper case when neither step
// found anything to remove.
Str fit(Str s) {
    Str t = str_trim(s, TRIM_BOTH);
    bool removed = t.n != s.n;
    if (t.n >= 2 && is_quote(t.p[0]) && t.p[t.n - 1] == t.p[0]) {
        t = Str{t.p + 1, u16(t.n - 2)};
        removed = true;
    }
    return removed ? t : str_upper(t);
}

// ---- FN$CHNG ----

constexpr const char* CHANGE_WORDS[] = {"UCASE", "LCASE", "CLEAN", "FILTER"};
enum ChangeWord : u16 { CHANGE_UCASE = 1, CHANGE_LCASE, CHANGE_CLEAN, CHANGE_FILTER };

u16 change_by_word(Call& c, u16 word, Str text, Value& out) {
    switch (word) {
        case CHANGE_UCASE:
            out = val_str(str_upper(text));
            return 0;
        case CHANGE_LCASE:
            out = val_str(str_lower(text));
            return 0;
        case CHANGE_CLEAN:
            out = val_str(str_collapse(text, ' ', QUOTED));
            return 0;
        default:
            break;
    }
    Str by;
    if (u16 rc = arg_text(c, 2, str_empty(), &by)) return rc;
    if (arg_is_str(c, 3)) {
        // by holds one group per character of the option, all of the same length.
        Str into = c.arg[3].str;
        if (into.n == 0 || by.n % into.n != 0) return E_SYNTAX;
        out = val_str(str_replace_each(text, by, into));
        return 0;
    }
    out = val_str(str_keep(text, by));
    return 0;
}

// ---- FN#PARM ----

bool is_digit(char ch) {
    return ch >= '0' && ch <= '9';
}

// A plain decimal number ("-12", "3.50"), blanks around it allowed.
bool number_shaped(Str s) {
    s = str_trim(s, TRIM_BOTH);
    u16 i = s.n && s.p[0] == '-' ? 1 : 0;
    u16 digits = 0;
    for (; i < s.n && is_digit(s.p[i]); i++) digits++;
    if (i < s.n && s.p[i] == '.')
        for (i++; i < s.n && is_digit(s.p[i]); i++) digits++;
    return digits && i == s.n;
}

// Position of a numeric key: the first item that is a number of the same value.
u16 find_number(Str list, i64 key) {
    TmpScope scope;
    StrArray items = list_split(list, LIST_SEP);
    for (u16 k = 0; k < items.count; k++)
        if (number_shaped(items.items[k]) && num_parse(items.items[k]) == key) return u16(k + 1);
    return 0;
}

u16 key_position(const Call& c, Str list) {
    return c.arg[1].is_str ? list_find(list, LIST_SEP, c.arg[1].str)
                           : find_number(list, c.arg[1].num);
}

u16 items_counted(Str list) {
    u16 n = list_count(list, LIST_SEP);
    return n == NOT_FOUND ? 0 : n;
}

// ---- FN$PARM ----

// Item k of n counted from 1, or from the end when negative; 0 when there is none.
u16 item_number(i64 k, u16 n) {
    if (k < 0) k += i64(n) + 1;
    return k >= 1 && k <= n ? u16(k) : 0;
}

// ---- EXP$ ----

Str marker(u16 n) {
    return str_format(8, "$%u_", unsigned(n));
}

}  // namespace

u16 f_slen(Call& c, Value& out) {
    Str s;
    if (u16 rc = arg_text(c, 0, str_empty(), &s)) return rc;
    out = val_num(num_from_whole(s.n));
    return 0;
}

u16 f_parm_num(Call& c, Value& out) {
    Str list;
    if (u16 rc = arg_text(c, 0, str_empty(), &list)) return rc;
    i64 result = 0;
    if (c.count == 1) {
        result = items_counted(list);
    } else if (!given(c, 1)) {
        result = 0;
    } else if (c.count == 2 || !given(c, 2)) {
        result = key_position(c, list);
    } else if (c.arg[2].is_str) {
        u16 k = key_position(c, list);
        out = val_num(k ? num_parse(list_item(c.arg[2].str, LIST_SEP, k)) : 0);
        return 0;
    } else {
        i64 key = num_round_whole(c.arg[1].is_str ? num_parse(c.arg[1].str) : c.arg[1].num);
        result = list_find_range(list, key);
    }
    out = val_num(num_from_whole(result));
    return 0;
}

u16 f_chng(Call& c, Value& out) {
    Str text, what;
    if (u16 rc = arg_text(c, 0, str_empty(), &text)) return rc;
    if (u16 rc = arg_text(c, 1, str_empty(), &what)) return rc;
    if (u16 word = word_index(what, CHANGE_WORDS)) return change_by_word(c, word, text, out);
    Str by;
    if (u16 rc = arg_text(c, 2, str_empty(), &by)) return rc;
    // A numeric option other than 0 searches quoted runs too; a string option counts as 0.
    bool everywhere = given(c, 3) && !c.arg[3].is_str && c.arg[3].num != 0;
    out = val_str(str_replace(text, what, by, everywhere ? PLAIN : QUOTED));
    return 0;
}

u16 f_chrs(Call& c, Value& out) {
    i64 times;
    if (u16 rc = arg_whole_in(c, 1, 1, -REPEAT_MAX, REPEAT_MAX, &times)) return rc;
    if (times < 0) times = 0;
    if (!arg_is_str(c, 0)) {
        i64 code;
        if (u16 rc = arg_whole_in(c, 0, 0, 0, CHAR_CODE_MAX, &code)) return rc;
        out = val_str(str_fill(u32(times), char(code)));
        return 0;
    }
    out = val_str(str_repeat(c.arg[0].str, u32(times)));
    return 0;
}

u16 f_mids(Call& c, Value& out) {
    Str s;
    i64 start, count;
    if (u16 rc = arg_text(c, 0, str_empty(), &s)) return rc;
    if (u16 rc = arg_whole(c, 1, 1, &start)) return rc;
    if (u16 rc = arg_whole(c, 2, -1, &count)) return rc;
    i64 n = s.n;
    i64 from = start < 0 ? n + start : start - 1;
    if (from < 0) from = 0;
    if (from >= n || count == 0) {
        out = val_str(str_empty());
        return 0;
    }
    i64 len = count < 0 || count > n - from ? n - from : count;
    out = val_str(Str{s.p + from, u16(len)});
    return 0;
}

u16 f_parm_text(Call& c, Value& out) {
    Str list;
    i64 k, sep;
    if (u16 rc = arg_text(c, 0, str_empty(), &list)) return rc;
    if (u16 rc = arg_whole(c, 1, -1, &k)) return rc;
    if (u16 rc = arg_whole_in(c, 2, LIST_SEP, 0, CHAR_CODE_MAX, &sep)) return rc;
    u16 n = list_count(list, char(sep));
    u16 at = n == NOT_FOUND ? 0 : item_number(k, n);
    out = val_str(at ? list_item(list, char(sep), at) : str_empty());
    return 0;
}

u16 f_trim(Call& c, Value& out) {
    Str s, mode;
    if (u16 rc = arg_text_any(c, 0, str_empty(), &s)) return rc;
    if (u16 rc = arg_text(c, 1, S("BOTHTRIM"), &mode)) return rc;
    u16 m = word_index(mode, TRIM_MODES);
    if (m == 0) return E_SYNTAX;
    out = val_str(m == MODE_FIT ? fit(s) : str_trim(s, TRIM_SIDES[m]));
    return 0;
}

u16 f_envelop(Call& c, Value& out) {
    Str s, open;
    if (u16 rc = arg_text(c, 0, str_empty(), &s)) return rc;
    if (u16 rc = arg_text(c, 1, S("'"), &open)) return rc;
    // Only an opening bracket has a partner of its own.
    constexpr char OPENERS[] = "[({<";
    char partner = open.n == 1 && std::memchr(OPENERS, open.p[0], sizeof OPENERS - 1)
                       ? str_partner(open.p[0])
                       : 0;
    StrBuilder b;
    b.put(open);
    b.put(s);
    b.put(partner ? Str{&partner, 1} : open);
    out = val_str(b.finish());
    return 0;
}

u16 f_mask(Call& c, Value& out) {
    Str mask, value;
    i64 options;
    if (u16 rc = arg_text(c, 0, str_empty(), &mask)) return rc;
    if (u16 rc = arg_text_any(c, 1, str_empty(), &value)) return rc;
    if (u16 rc = arg_whole_in(c, 2, MASK_DEFAULT_OPTIONS, 0, OPTIONS_MAX, &options)) return rc;
    out = val_str(mask_apply(mask, value, u16(options)));
    return 0;
}

u16 f_exp(Call& c, Value& out) {
    Str s;
    if (u16 rc = arg_text(c, 0, str_empty(), &s)) return rc;
    u16 mark = tmp_mark();
    u32 pos = next_item(c.raw, 0);
    for (u16 n = 1; pos <= c.raw.n && s.ok(); n++) {
        u32 next = next_item(c.raw, pos);
        Str argument{c.raw.p + pos, u16(next - 1 - pos)};
        s = tmp_release_keep(mark, str_replace(s, marker(n), argument, PLAIN));
        pos = next;
    }
    out = val_str(s);
    return 0;
}

u16 f_macro(Call& c, Value& out) {
    constexpr i64 KEYS = 4, EVALUATE = 8, LOW_BYTE = 0xFF;
    constexpr u16 KEY_EXPANSION = EXPAND_IN_QUOTES | EXPAND_KEYS | EXPAND_EMPTY_BLANK;
    Str text, extra;
    i64 options;
    if (u16 rc = arg_text(c, 0, str_empty(), &text)) return rc;
    if (u16 rc = arg_whole_in(c, 1, 0, 0, OPTIONS_MAX, &options)) return rc;
    if (u16 rc = arg_text(c, 2, str_empty(), &extra)) return rc;
    Str expanded = (options & KEYS) ? expr_expand(text, KEY_EXPANSION, extra)
                                    : expr_expand(text, u16(options & LOW_BYTE), str_empty());
    if (!expanded.ok()) return str_error_code(expanded);
    if (!(options & EVALUATE)) {
        out = val_str(expanded);
        return 0;
    }
    u16 code = eval_value(str_trim(expanded, TRIM_BOTH), out);
    return code == E_NULLEXPR ? 0 : code;
}

}  // namespace vx::expr::fn
