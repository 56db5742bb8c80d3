// Accept forms: the input's first line is a form definition, the lines after it the INPUT
// lines that answer it unattended. Logged in to the stand-in database, so that field references
// (NOMBRE{clientes}) find their fields. The form runs while answer lines are left (at most
// three times); the captured values are read back and the form's screen saved.
#include "runtime/arena.h"
#include "runtime/files.h"
#include "runtime/sysvars.h"
#include "screens/accept.h"
#include "support.h"

using namespace vx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto [definition, answers] = fuzz::first_line(fuzz::input_text(data, size));
    fuzz::fresh_folder();
    fuzz::SessionOptions options;
    options.logged_in = true;
    options.input_lines = std::string(answers);
    fuzz::Session session(options);
    if (!session.started()) return 0;
    rt::Str def{definition.data(), rt::u16(definition.size())};
    for (int run = 0; run < 3; run++) {
        rt::TmpScope scope;
        scr::AcceptResult result;
        scr::accept_run(rt::S("Formulario"), def, run == 1 ? scr::ACC_COLLECT : 0, &result);
        for (rt::u16 n = 1; n <= 4; n++) scr::accept_value(n);
        rt::u16 h = rt::u16(rt::sysint_get(rt::SV_INHND));
        if (!h || rt::file_at_end(h)) break;
    }
    rt::TmpScope scope;
    scr::accept_from_vars(rt::S("A$,B,C#,D$"), 0, 0);
    return 0;
}
