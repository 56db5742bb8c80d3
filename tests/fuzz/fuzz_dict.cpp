// Dictionary files: the input's three parts (split at lines "====") as VXDICC.DAT, VXREL.DAT
// and ZZDICC.DAT (for include lines naming the prefix ZZ), loaded by start-up for the
// application VXW01Q; then every structure, field, key, dictionary text and relation marker
// read back, and a record of each data file formatted by an expression.
#include "expr/eval.h"
#include "expr/structs.h"
#include "runtime/arena.h"
#include "support.h"

using namespace vx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto files = fuzz::parts(fuzz::input_text(data, size), 3);
    fuzz::fresh_folder();
    fuzz::put_file("VXDICC.DAT", files[0]);
    fuzz::put_file("VXREL.DAT", files[1]);
    fuzz::put_file("ZZDICC.DAT", files[2]);
    fuzz::SessionOptions options;
    options.app_id = "VXW01Q:Varnox";
    fuzz::Session session(options);
    if (!session.started()) return 0;
    rt::TmpScope scope;
    for (rt::u16 s = 1; s <= expr::struct_count(); s++) {
        rt::TmpScope each;
        expr::StructDesc d;
        if (expr::struct_info(s, &d)) continue;
        for (rt::u16 f = 1; f <= d.fields; f++) {
            expr::FieldDesc fd;
            if (expr::struct_field(s, f, &fd) == 0) expr::struct_field_find(s, fd.name);
        }
        for (rt::u16 k = 1; k <= d.keys + 1; k++) {
            expr::KeyDesc kd;
            expr::struct_key(s, k, &kd);
        }
        expr::struct_dict(s);
        for (rt::u16 t = 1; t <= 3; t++) expr::struct_relation(s, t, 1);
        expr::Value v;
        expr::expr_eval(rt::str_format(64, "FN#FLEN(%u)+FN#SLEN(%u)", unsigned(s), unsigned(s)), v);
    }
    return 0;
}
