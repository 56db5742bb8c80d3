// Names with a meaning of their own: the named constants (".lf$", ".next" ...), the
// variable hook for "_" names, the variable formats "_V<n>$" and the default evaluation of
// array subscripts.
#include <cstring>

#include "expr/vars.h"
#include "expr/vars_impl.h"
#include "runtime/arena.h"
#include "runtime/error.h"
#include "runtime/startup.h"

namespace vx::expr {

using namespace vx::rt;
using namespace detail;

namespace {

struct TextConstant {
    Str name;
    Str value;
};
const TextConstant TEXT_CONSTANTS[] = {
    {S(".lf$"), S("\r\n")},
    {S(".tab$"), S("\t")},
    {S(".pchr$"), S("\\")},
    {S(".null$"), S("")},
};

// The environment list and the number of each of its names.
constexpr const char* NUMBER_CONSTANTS =
    "envron,lang,cmdline,apname,apdesc,langmodule,docpath,docroot,helppath,funclist,butlabels,"
    "maskparms,datem,datey,envvar,maincond,pdfhead,dialog,aux,scrbuf,fsel,wret,fnparm,usrfil,"
    "fileln,usrfif,top,next,previous,bottom,noprint,iscgi";
constexpr i64 NUMBER_VALUES[] = {0, 0, 1, 2, 3, 4, 5, 5, 7, 8, 9, 10, 100, 10000, 9, 1, 3, 7,
                                 31, 32, 33, 34, 35, 36, 37, 38, 36, 16, 20, 32, 8192, 16384};

constexpr const char* FORMAT_PATTERN = "_V%u$";
constexpr u16 FORMAT_NAME_MAX = 16;

bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool starts_number(char c) { return (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+'; }

}  // namespace

u16 const_read(Str name, Value& out) {
    if (!name.ok() || name.n == 0) return E_SYNTAX;
    for (const TextConstant& c : TEXT_CONSTANTS)
        if (str_equal(name, c.name)) {
            out = val_str(str_copy(c.value));
            return out.str.ok() ? 0 : str_error_code(out.str);
        }
    Str bare = name.p[0] == '.' ? str_substr(name, 1, NOT_FOUND) : name;
    u16 n = list_find(str_from_cstr(NUMBER_CONSTANTS), ',', bare);
    out = val_num(n ? num_from_whole(NUMBER_VALUES[n - 1]) : num_parse(bare));
    return 0;
}

// ---- The variable hook ----

void var_hook_register(VarHook fn) {
    var_registry.hook = fn;
    hook_set(HOOK_VARIABLE, reinterpret_cast<AnyFn>(fn));
}

void var_hook_install() {
    if (var_registry.hook) hook_set(HOOK_VARIABLE, reinterpret_cast<AnyFn>(var_registry.hook));
}

// ---- Variable formats ----

u16 var_format(u16 n, VarFormat* format) {
    TmpScope scope;
    u16 slot = name_slot(KIND_STR, str_format(FORMAT_NAME_MAX, FORMAT_PATTERN, unsigned(n)));
    Str value = slot == NO_SLOT ? str_empty() : var_str(slot);
    if (value.n == 0) return E_SCREENFIELD;
    i64 width = text_to_int64(str_substr(value, 1, NOT_FOUND));
    format->type = value.p[0];
    format->width = width < 0 ? 0 : width > NOT_FOUND ? NOT_FOUND : u16(width);
    return 0;
}

// ---- Subscripts ----

void vars_set_subscript_eval(SubscriptEval fn) { var_registry.subscript = fn; }

namespace detail {

// A number literal, a named constant or a numeric variable.
u16 subscript_default(Str text, i64* scaled) {
    text = str_trim(text, TRIM_BOTH);
    if (text.n == 0) return E_SYNTAX;
    if (starts_number(text.p[0]) && !(text.p[0] == '.' && text.n > 1 && is_letter(text.p[1]))) {
        *scaled = num_parse(text);
        return 0;
    }
    TmpScope scope;
    Value v;
    if (u16 rc = var_read(text, v)) return rc;
    if (v.is_str) return E_TYPEMISMATCH;
    *scaled = v.num;
    return 0;
}

}  // namespace detail

}  // namespace vx::expr
