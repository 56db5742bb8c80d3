// Procedure sources: the input compiled and, when it compiles, run from its first statement
// (commands end a run, a loop ends when the budget of loop passes is spent). The same text is
// also lib.prc, so that CALL and EXEC$ find entry points in a second file.
#include "prc/compile.h"
#include "prc/run.h"
#include "runtime/arena.h"
#include "support.h"

using namespace vx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text = fuzz::input_text(data, size);
    fuzz::fresh_folder();
    fuzz::put_file("main.prc", text);
    fuzz::put_file("lib.prc", text);
    fuzz::Session session;
    if (!session.started()) return 0;
    {
        prc::PrcRecord rec;
        prc::prc_compile(rt::S("main.prc"), text.data(), rt::u32(text.size()), &rec);
        prc::prc_release(&rec);
    }
    rt::TmpScope scope;
    prc::prc_run(rt::str_empty(), rt::S("main.prc"), prc::RUN_LOCAL);
    return 0;
}
