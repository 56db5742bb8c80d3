// Login files: the input's parts (split at lines "====") as sqlparams.dat, the remembered login
// sqlusrprm.dat, and the INPUT lines that answer the login form. The option file is read, its
// first line tried as a parameter list, then the start-up login runs: it asks the form for as
// long as the stand-in server refuses (the password "wrong").
#include "data/sql.h"
#include "runtime/arena.h"
#include "support.h"

using namespace vx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto files = fuzz::parts(fuzz::input_text(data, size), 3);
    fuzz::fresh_folder();
    fuzz::put_file(data::SQL_PARAMS_FILE, files[0]);
    fuzz::put_file("sqlusrprm.dat", files[1]);
    fuzz::SessionOptions options;
    options.input_lines = std::string(files[2]);
    fuzz::Session session(options);
    if (!session.started()) return 0;
    rt::TmpScope scope;
    data::ConnParams params;
    data::sql_params_read(rt::str_from_cstr(data::SQL_PARAMS_FILE), &params);
    auto [line, rest] = fuzz::first_line(files[0]);
    if (data::sql_connect_text(rt::Str{line.data(), rt::u16(line.size())}, 0) == 0) data::sql_disconnect();
    data::sql_login(rt::str_from_cstr(data::SQL_PARAMS_FILE), data::LOGIN_FIELDS, rt::S("Acceso a Datos"));
    return 0;
}
