// A scratch database for a test program that talks to the test server: made on first use
// under a name of its own (the process id), so that programs running side by side never
// meet, and dropped when the program ends. The server's address comes from PGHOST, PGPORT
// and PGUSER; without them the tests that need it fail. Also the fixtures of the connection
// tests: a scratch folder and the variable tables, with or without the server.
#pragma once

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "data/install.h"
#include "data/sql.h"
#include "expr/support.h"
#include "runtime/startup.h"
#include "runtime/sysvars.h"

namespace vx::test {

class ScratchDb {
public:
    static ScratchDb& get() {
        static ScratchDb db;
        return db;
    }
    const std::string& name() const { return name_; }
    const std::string& error() const { return error_; }
    bool ready() const { return ready_; }
    static std::string host() { return env("PGHOST"); }
    static std::string user() { return env("PGUSER"); }

    // Runs statements in the scratch database: "" or the server's message.
    std::string exec(const std::string& sql) { return run(name_, sql); }
    // The same in the server's own database, for statements about the scratch database.
    std::string admin(const std::string& sql) { return run("postgres", sql); }
    // An empty public schema.
    std::string reset() { return exec("DROP SCHEMA IF EXISTS public CASCADE; CREATE SCHEMA public;"); }

private:
    ScratchDb() : name_("vx_sqltest_" + std::to_string(::getpid())) {
        if (host().empty()) {
            error_ = "PGHOST is not set: start the test server (scripts/pgtest)";
            return;
        }
        error_ = run("postgres", "DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)");
        if (error_.empty()) error_ = run("postgres", "CREATE DATABASE " + name_ + " ENCODING 'UTF8' TEMPLATE template0");
        ready_ = error_.empty();
    }
    ~ScratchDb() {
        if (ready_) run("postgres", "DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)");
    }

    static std::string env(const char* name) {
        const char* v = std::getenv(name);
        return v ? v : "";
    }

    static std::string run(const std::string& db, const std::string& sql) {
        const char* keys[] = {"dbname", "options", nullptr};
        const char* vals[] = {db.c_str(), "-c client_min_messages=warning", nullptr};
        PGconn* c = PQconnectdbParams(keys, vals, 0);
        std::string err;
        if (PQstatus(c) != CONNECTION_OK) {
            err = PQerrorMessage(c);
        } else {
            PGresult* r = PQexec(c, sql.c_str());
            ExecStatusType st = PQresultStatus(r);
            if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK) err = PQresultErrorMessage(r);
            PQclear(r);
        }
        PQfinish(c);
        return err;
    }

    std::string name_;
    std::string error_;
    bool ready_ = false;
};

// A scratch folder as the current folder and the variable tables; every connection,
// result, hook and login form is gone again after the test.
class SqlFixture : public VarTest {
protected:
    SqlFixture() : dir_("sql") {}
    void SetUp() override {
        dir_.enter();
        VarTest::SetUp();
    }
    void TearDown() override {
        vx::data::data_free();
        vx::rt::hook_set(vx::rt::HOOK_QUERY_PROGRESS, nullptr);
        vx::data::sql_slow_hook_set(nullptr);
        vx::data::sql_login_form_set(nullptr);
        VarTest::TearDown();
        vx::rt::sysint_reset();
    }
    void write_file(const char* name, const std::string& content) {
        std::ofstream(dir_.path() / name, std::ios::binary) << content;
    }
    ScratchDir dir_;
};

// The same with the scratch database, its public schema emptied first.
class SqlServer : public SqlFixture {
protected:
    void SetUp() override {
        SqlFixture::SetUp();
        ScratchDb& db = ScratchDb::get();
        ASSERT_TRUE(db.ready()) << db.error();
        ASSERT_EQ(db.reset(), "");
    }
    static std::string db_name() { return ScratchDb::get().name(); }
    static std::string db(const std::string& sql) { return ScratchDb::get().exec(sql); }
    static std::string admin(const std::string& sql) { return ScratchDb::get().admin(sql); }
    // Connects to the scratch database as the server's user.
    static vx::rt::u16 connect(vx::rt::u16 flags = 0, const std::string& database = db_name()) {
        vx::rt::TmpScope scope;
        std::string host = ScratchDb::host(), user = ScratchDb::user();
        return vx::data::sql_connect(view(host), view(database), view(user), vx::rt::S(""), flags);
    }
    static vx::rt::Str view(const std::string& s) { return vx::rt::Str{s.data(), vx::rt::u16(s.size())}; }
    static std::string good_list(const char* remember = "") {
        return "'" + ScratchDb::host() + "','" + db_name() + "','" + ScratchDb::user() + "',''" +
               (*remember ? std::string(",'") + remember + "'" : "");
    }
};

}  // namespace vx::test
