// Message files: the input as KV_LANG_ES.MSJ, loaded at the first message request of start-up;
// then every message read, every error code composed, and dates and masks formatted with the
// language texts the file gave.
#include "expr/eval.h"
#include "runtime/arena.h"
#include "runtime/error.h"
#include "runtime/msg.h"
#include "support.h"

using namespace vx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::fresh_folder();
    fuzz::put_file("KV_LANG_ES.MSJ", fuzz::input_text(data, size));
    fuzz::Session session;
    if (!session.started()) return 0;
    rt::TmpScope scope;
    for (rt::u16 id = 0; id <= 1010; id++) rt::msg_text_id(id);
    rt::msg_text(rt::S("0040 por defecto"));
    for (rt::u16 code = 0; code <= 190; code++) {
        rt::TmpScope each;
        rt::error_message(code);
    }
    for (const char* e : {"FN$DATE(20250131;1)", "FN$DATE(20251231;2)", "FN$DATE(19991231;3)",
                          "FN$MASK(-1234.5;'###,##0.00')", "FN$MASK(20250131;'D')"}) {
        rt::TmpScope each;
        expr::Value v;
        expr::expr_eval(rt::str_from_cstr(e), v);
    }
    return 0;
}
