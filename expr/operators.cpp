// The binary operators of the expression language on numbers and on strings (assignment is
// the evaluator's own): one table row per operator.
#include <cstring>

#include "expr/eval.h"
#include "expr/eval_impl.h"
#include "expr/scan.h"
#include "runtime/arena.h"
#include "runtime/error.h"
#include "runtime/sysvars.h"

namespace vx::expr::detail {

using namespace vx::rt;

namespace {

constexpr i64 PER_CENT = 100;
constexpr u64 TRUTH_BITS = 0xFFFF;   // truth of && || is in the low 16 bits
constexpr u16 NUMBER_TEXT_MAX = 48;

struct Scale {
    i64 unit;      // 10^decimals
    u16 decimals;  // _PRECIS
};

using NumberRule = i64 (*)(i64 a, i64 b, Scale s);
enum StringRule : u8 { S_NONE, S_CONCAT, S_COMPARE };

i64 truth(bool b, Scale s) { return b ? s.unit : 0; }
bool true_low16(i64 v) { return (u64(v) & TRUTH_BITS) != 0; }
i64 whole(i64 v, Scale s) { return v / s.unit; }   // truncated toward zero

i64 per_cent(i64 a, i64 b, Scale s) { return div_half_away(div_half_away(wrap_mul(a, b), PER_CENT), s.unit); }

// a rounded half away from zero to the number of decimals given by b's whole part; the
// result stays in the current scale.
i64 round_to(i64 a, i64 b, Scale s) {
    i64 d = whole(b, s);
    if (d >= s.decimals) return a;
    if (d < i64(s.decimals) - POW10_MAX) return 0;
    i64 unit = pow10(u16(s.decimals - d));
    return wrap_mul(div_half_away(a, unit), unit);
}

i64 either_bits(i64 a, i64 b, Scale s) {
    i64 x = whole(a, s), y = whole(b, s);
    return (x & y) == 0 ? wrap_mul(x | y, s.unit) : 0;
}

struct OperatorRule {
    NumberRule number;
    StringRule string;
};

// By operator number; row 0 and the assignment have no rule here.
constexpr OperatorRule RULES[OP_COUNT + 1] = {
    {nullptr, S_NONE},
    {[](i64 a, i64 b, Scale s) { return div_half_away(wrap_mul(a, b), s.unit); }, S_NONE},
    {[](i64 a, i64 b, Scale s) { return b == 0 ? 0 : div_half_away(wrap_mul(a, s.unit), b); }, S_NONE},
    {round_to, S_NONE},
    {per_cent, S_NONE},
    {[](i64 a, i64 b, Scale s) { return wrap_sub(a, per_cent(a, b, s)); }, S_NONE},
    {[](i64 a, i64 b, Scale) { return wrap_add(a, b); }, S_CONCAT},
    {[](i64 a, i64 b, Scale) { return wrap_sub(a, b); }, S_NONE},
    {nullptr, S_NONE},
    {[](i64 a, i64 b, Scale s) { return truth(a > b, s); }, S_COMPARE},
    {[](i64 a, i64 b, Scale s) { return truth(a < b, s); }, S_COMPARE},
    {[](i64 a, i64 b, Scale s) { return truth(a == b, s); }, S_COMPARE},
    {[](i64 a, i64 b, Scale s) { return truth(a >= b, s); }, S_COMPARE},
    {[](i64 a, i64 b, Scale s) { return truth(a <= b, s); }, S_COMPARE},
    {[](i64 a, i64 b, Scale s) { return truth(a != b, s); }, S_COMPARE},
    {[](i64 a, i64 b, Scale s) { return wrap_mul(whole(a, s) & whole(b, s), s.unit); }, S_NONE},
    {either_bits, S_NONE},
    {either_bits, S_NONE},
    {[](i64 a, i64 b, Scale s) { return truth(true_low16(a) && true_low16(b), s); }, S_NONE},
    {[](i64 a, i64 b, Scale s) { return truth(true_low16(a) || true_low16(b), s); }, S_NONE},
    {[](i64 a, i64 b, Scale s) {
         i64 x = whole(a, s), y = whole(b, s);
         return truth((x | y) != 0 && (x & y) == 0, s);
     },
     S_NONE},
};

u8 fold(u8 b) { return b >= 'a' && b <= 'z' ? u8(b - 'a' + 'A') : b; }

bool same_folded(const char* a, const char* b, u16 n) {
    for (u16 i = 0; i < n; i++)
        if (fold(u8(a[i])) != fold(u8(b[i]))) return false;
    return true;
}

// -1, 0 or 1: bytes compared unsigned over the shorter length, then the shorter is smaller.
int compare_bytes(Str a, Str b) {
    u16 n = a.n < b.n ? a.n : b.n;
    int c = n ? std::memcmp(a.p, b.p, n) : 0;
    if (c) return c < 0 ? -1 : 1;
    return a.n == b.n ? 0 : a.n < b.n ? -1 : 1;
}

// "abc*": the text before the first "*" after the first byte equals as many leading bytes
// of the left operand, both upper-cased.
bool prefix_match(Str left, Str right) {
    const void* star = right.n > 1 ? std::memchr(right.p + 1, '*', right.n - 1) : nullptr;
    if (!star) return false;
    u16 n = u16(static_cast<const char*>(star) - right.p);
    return left.n >= n && same_folded(left.p, right.p, n);
}

// "*abc": the text after the leading "*" up to the next "*" occurs in the left operand,
// both upper-cased.
bool inner_match(Str left, Str right) {
    if (right.n == 0 || right.p[0] != '*') return false;
    const char* pat = right.p + 1;
    const void* star = right.n > 1 ? std::memchr(pat, '*', right.n - 1) : nullptr;
    u16 n = star ? u16(static_cast<const char*>(star) - pat) : u16(right.n - 1);
    for (u32 i = 0; i + n <= left.n; i++)
        if (same_folded(left.p + i, pat, n)) return true;
    return false;
}

bool compare_rule(u8 op, int c) {
    switch (op) {
        case OP_GT: return c > 0;
        case OP_LT: return c < 0;
        case OP_GE: return c >= 0;
        case OP_LE: return c <= 0;
        case OP_NE: return c != 0;
        default: return c == 0;
    }
}

}  // namespace

bool strings_match(Str left, Str right) {
    if (compare_bytes(left, right) == 0) return true;
    if (sysint_bit(SV_AUXSTAT, AUXSTAT_NO_WILDCARD)) return false;
    return prefix_match(left, right) || inner_match(left, right);
}

u16 apply_numbers(u8 op, i64 a, i64 b, i64* out) {
    if (op > OP_COUNT || !RULES[op].number) return E_SYNTAX;
    *out = RULES[op].number(a, b, Scale{scale(), precis()});
    return 0;
}

u16 apply_strings(u8 op, Str a, Str b, Value& out) {
    StringRule rule = op <= OP_COUNT ? RULES[op].string : S_NONE;
    if (rule == S_NONE) return E_SYNTAX;
    if (rule == S_CONCAT) {
        out = val_str(str_concat(a, b));
        return out.str.ok() ? 0 : str_error_code(out.str);
    }
    bool yes = op == OP_EQ ? strings_match(a, b) : compare_rule(op, compare_bytes(a, b));
    out = val_num(yes ? scale() : 0);
    return 0;
}

Str number_text(i64 scaled, u16 decimals) {
    u16 p = precis();
    i64 v = decimals <= p ? div_half_away(scaled, pow10(u16(p - decimals)))
                          : wrap_mul(scaled, pow10(u16(decimals - p)));
    char buf[NUMBER_TEXT_MAX];
    u16 at = NUMBER_TEXT_MAX;
    u64 m = magnitude(v);
    for (u16 d = 0; d < decimals && at > 2; d++, m /= 10) buf[--at] = char('0' + m % 10);
    if (decimals) buf[--at] = '.';
    do {
        buf[--at] = char('0' + m % 10);
        m /= 10;
    } while (m && at > 1);
    if (v < 0) buf[--at] = '-';
    Str r = tmp_alloc(u32(NUMBER_TEXT_MAX - at), NO_FILL);
    if (r.ok()) std::memcpy(str_mut(r), buf + at, r.n);
    return r;
}

}  // namespace vx::expr::detail

namespace vx::expr {

bool expr_compare(u8 op, const Value& a, const Value& b) {
    if (a.is_str != b.is_str) return false;
    if (!a.is_str) {
        i64 r = 0;
        return detail::apply_numbers(op, a.num, b.num, &r) == 0 && r != 0;
    }
    Value r;
    return detail::apply_strings(op, a.str, b.str, r) == 0 && !r.is_str && r.num != 0;
}

}  // namespace vx::expr
