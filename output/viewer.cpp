// The viewer launcher: a finished file opened in the program that shows its kind. The
// program of viewer n is the string variable VIEWERn$ when a parameter file set it (a
// program and its own arguments), else the desktop's opener; the file always reaches the
// program as one argument of its own, whatever blanks or shell characters its name holds.
#include <string>
#include <vector>

#include "expr/vars.h"
#include "output/device_impl.h"
#include "platform/process.h"
#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/error.h"
#include "runtime/msg.h"
#include "runtime/msgbox.h"
#include "runtime/paths.h"

namespace vx::out {

using namespace vx::rt;

namespace {

constexpr u16 VIEWERS = 5;
constexpr const char* DESKTOP_OPENER = "xdg-open";
constexpr u16 MSG_DEVICE_LABELS = 83;  // "Vel.:,Paridad:,Lineas:,Ancho:,Paso:,Mostrar"
constexpr u16 LABEL_SHOW = 6;

// The program and its arguments from VIEWERn$: blank-separated words, quotes kept together.
std::vector<std::string> viewer_program(u16 n) {
    TmpScope scope;
    expr::Value v;
    Str name = str_format(16, "VIEWER%u$", unsigned(n));
    std::vector<std::string> args;
    if (!expr::var_read(name, v) && v.is_str) {
        Str setting = str_trim(path_expand(v.str), TRIM_BOTH);
        u16 words = setting.ok() ? list_count(setting, ' ') : 0;
        for (u16 i = 1; i <= words; i++) {
            Str w = str_unquote(str_trim(list_item(setting, ' ', i), TRIM_BOTH));
            if (w.ok() && w.n) args.emplace_back(w.p, w.n);
        }
    }
    if (args.empty()) args.emplace_back(DESKTOP_OPENER);
    return args;
}

}  // namespace

u16 viewer_open(u16 number, Str file) {
    if (number < 1 || number > VIEWERS || !file.ok() || !file.n) return VIEWER_FAILED;
    TmpScope scope;
    if (cmd_batch()) {  // nobody looks at a viewer: say what would be shown
        msg_box(file, str_trim(list_item(msg_text_id(MSG_DEVICE_LABELS), ',', LABEL_SHOW), TRIM_BOTH), BOX_INFO);
        return 0;
    }
    std::vector<std::string> args = viewer_program(number);
    args.emplace_back(file.p, file.n);
    if (os::process_start(args)) return 0;
    return device_fail(VIEWER_FAILED, args.front());
}

}  // namespace vx::out
