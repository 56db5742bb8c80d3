// Parameter files: the input as p.par, loaded for the record code 1 in each file kind (the
// kinds place the code in other columns); every member of each record read, as written and
// by its key.
#include "expr/members.h"
#include "runtime/arena.h"
#include "support.h"

using namespace vx;

namespace {

constexpr rt::u16 MEMBER_NUMBERS = 200;   // past the last member of every list

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::fresh_folder();
    fuzz::put_file("p.par", fuzz::input_text(data, size));
    fuzz::Session session;
    if (!session.started()) return 0;
    for (rt::u16 kind = 0; kind <= expr::PARM_KINDS; kind++) {
        rt::TmpScope scope;
        rt::u16 lines = 0;
        if (expr::parm_load(rt::S("p.par"), kind, 1, &lines)) continue;
        for (rt::u16 m = 1; m < MEMBER_NUMBERS; m++) {
            rt::TmpScope each;
            if (expr::member_name(m).n) expr::member_value(m);
        }
        expr::parm_pop();
    }
    rt::TmpScope scope;
    expr::parm_load_always(rt::S("p.par"), 2, 12);
    expr::parm_pop();
    return 0;
}
