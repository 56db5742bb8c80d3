// The fixture of the data-file tests: the scratch database with tables made by the test,
// schema discovery over them, the data-file functions registered, and short ways to move,
// read fields and query the server behind the run-time's back.
#pragma once

#include <libpq-fe.h>

#include <string>

#include "data/datafile.h"
#include "expr/eval.h"
#include "expr/structs.h"
#include "pg.h"
#include "runtime/env.h"
#include "runtime/store.h"

namespace vx::test {

class DataFileTest : public SqlServer {
protected:
    // Makes the tables, connects with discovery and registers the data-file functions.
    void setup_tables(const std::string& sql) {
        ASSERT_EQ(db(sql), "");
        ASSERT_EQ(connect(vx::data::LOGIN_FIELDS), 0) << text(vx::rt::error_detail());
        vx::data::datafile_install();
    }
    static vx::rt::u16 file(const char* name) {
        return vx::expr::struct_number(vx::rt::str_from_cstr(name));
    }
    // The stored text of a field (current image), blanks around it removed.
    static std::string field(vx::rt::u16 f, const char* name, vx::rt::u8 image = vx::data::IMAGE_CURRENT) {
        vx::rt::TmpScope scope;
        vx::rt::u16 k = vx::expr::struct_field_find(f, vx::rt::str_from_cstr(name));
        std::string s = text(vx::data::datafile_field(f, k, image));
        s.erase(s.find_last_not_of(' ') + 1);
        return s.erase(0, s.find_first_not_of(' ') == std::string::npos ? s.size() : s.find_first_not_of(' '));
    }
    static std::string fields(vx::rt::u16 f, const char* a, const char* b) {
        return field(f, a) + "," + field(f, b);
    }
    static vx::rt::u16 set(vx::rt::u16 f, const char* name, const char* value) {
        vx::rt::TmpScope scope;
        vx::rt::u16 k = vx::expr::struct_field_find(f, vx::rt::str_from_cstr(name));
        return vx::data::datafile_set_field(f, k, vx::rt::str_from_cstr(value));
    }
    // An expression's value as text ("<error N>" on failure).
    static std::string eval(const std::string& expression) {
        vx::rt::TmpScope scope;
        vx::rt::Str t = vx::expr::expr_text(view(expression));
        return text(t);
    }
    static vx::rt::Str view(const std::string& s) { return vx::rt::Str{s.data(), vx::rt::u16(s.size())}; }
    static vx::rt::u32 statements() { return vx::data::datafile_statements(); }

    // The first value of a query run on a connection of its own ("~" for NULL or no row).
    static std::string value(const std::string& sql) {
        const std::string name = db_name();
        const char* keys[] = {"dbname", nullptr};
        const char* vals[] = {name.c_str(), nullptr};
        PGconn* c = PQconnectdbParams(keys, vals, 0);
        std::string out = "~";
        PGresult* r = PQexec(c, sql.c_str());
        if (PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) > 0 && !PQgetisnull(r, 0, 0))
            out = PQgetvalue(r, 0, 0);
        else if (PQresultStatus(r) != PGRES_TUPLES_OK)
            out = std::string("<") + PQresultErrorMessage(r) + ">";
        PQclear(r);
        PQfinish(c);
        return out;
    }
};

}  // namespace vx::test
