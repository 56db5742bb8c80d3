// The status-bar text.
#include "screens/status.h"

#include <algorithm>
#include <cstring>

#include "expr/dates.h"
#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/paths.h"

#ifndef VX_MAKER_SITE
#define VX_MAKER_SITE "www.varnox.example"
#endif

namespace vx::scr {

using namespace vx::rt;

namespace {

constexpr u16 SITE_MAX = 127;
constexpr u16 STATUS_MAX = 1024;
constexpr const char* STATUS_PATTERN = " %.*s  |  %.*s  |  %.*s %.*s |  %.*s  ";

struct Site {
    char text[SITE_MAX + 1] = VX_MAKER_SITE;
};

Site site;

int len(Str s) { return s.ok() ? s.n : 0; }
const char* ptr(Str s) { return s.ok() ? s.p : ""; }

// The last component of the current data folder (the first of a list).
Str data_folder_name() {
    Str folder = list_item(env_get(ENV_DATA), ',', 1);
    if (!folder.ok()) return str_empty();
    folder = str_trim_set(folder, TRIM_RIGHT, S("/\\"));
    return path_part(folder, PART_NAME | PART_EXT);
}

}  // namespace

void maker_site_set(Str text) {
    u16 n = text.ok() ? std::min<u16>(text.n, SITE_MAX) : 0;
    if (n) std::memcpy(site.text, text.p, n);
    site.text[n] = 0;
}

Str maker_site() { return str_from_cstr(site.text); }

Str status_text(Str given) {
    TmpScope scope;
    Str text = given.ok() && given.n ? given : env_get(ENV_APDESC);
    Str date = expr::date_format_value(expr::date_today(), expr::DATE_SHORT);
    Str db = str_unquote(list_item(env_get(ENV_DB), ',', 2));
    Str folder = data_folder_name();
    Str site_text = maker_site();
    return scope.keep(str_format(STATUS_MAX, STATUS_PATTERN, len(text), ptr(text), len(date),
                                 ptr(date), len(db), ptr(db), len(folder), ptr(folder),
                                 len(site_text), ptr(site_text)));
}

}  // namespace vx::scr
