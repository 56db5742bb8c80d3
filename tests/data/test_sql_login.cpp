// Connecting from parameter texts, remembered logins and the start-up login with its form,
// against the test server. The form is a stand-in that answers from a script.
#include <sys/stat.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <vector>

#include "data/sql.h"
#include "pg.h"
#include "runtime/env.h"
#include "runtime/error.h"
#include "runtime/sysvars.h"

using namespace vx::data;
using namespace vx::rt;
using vx::test::text;

namespace {

struct Answer {
    u16 code;
    std::string values;
    bool confirmed;
};

struct FormScript {
    std::deque<Answer> answers;
    std::vector<std::string> definitions;
    std::vector<std::string> titles;
    std::string shown;   // the values handed back, kept alive for the caller
};
FormScript form;

u16 fake_form(Str title, Str definition, Str* values, bool* confirmed) {
    form.titles.push_back(text(title));
    form.definitions.push_back(text(definition));
    if (form.answers.empty()) return E_CANCELLED;
    Answer a = form.answers.front();
    form.answers.pop_front();
    form.shown = a.values;
    *values = Str{form.shown.data(), u16(form.shown.size())};
    *confirmed = a.confirmed;
    return a.code;
}

class SqlLogin : public vx::test::SqlServer {
protected:
    void SetUp() override {
        SqlServer::SetUp();
        form = FormScript{};
    }
    static u16 connect_text(const std::string& s, u16 flags = 0) {
        TmpScope scope;
        return sql_connect_text(view(s), flags);
    }
    static u16 login(const std::string& s, u16 flags = 0) {
        TmpScope scope;
        return sql_login(view(s), flags, S("Acceso a Datos"));
    }
    std::filesystem::path file(const char* name) const { return dir_.path() / name; }
    unsigned mode(const char* name) const {
        struct stat st {};
        return ::stat(file(name).c_str(), &st) == 0 ? st.st_mode & 0777 : 0;
    }
    std::string bad_list() const {
        return "'" + vx::test::ScratchDb::host() + "','" + db_name() + "','vx_nobody',''";
    }
    // Item n of field f of a form definition, as the form reads it (unquoted).
    static std::string default_of(const std::string& definition, u16 field) {
        TmpScope scope;
        Str def = view(definition);
        Str f = list_item(def, ',', field);
        return text(str_unquote(list_item(f, ':', 4)));
    }
};

TEST_F(SqlLogin, FiveItemsWithYesAreRememberedPrivately) {
    std::string list = good_list("S");
    ASSERT_EQ(connect_text(list), 0) << text(error_detail());
    EXPECT_EQ(vx::test::slurp(file("sqlusrprm.dat")), list);
    EXPECT_EQ(mode("sqlusrprm.dat"), 0600u);

    // An old file of another mode and a longer content is replaced entirely.
    std::filesystem::remove(file("sqlusrprm.dat"));
    write_file("sqladmprm.dat", std::string(300, 'x'));
    ::chmod(file("sqladmprm.dat").c_str(), 0644);
    std::string unquoted = vx::test::ScratchDb::host() + "," + db_name() + "," + vx::test::ScratchDb::user() + ",,yes";
    ASSERT_EQ(connect_text(unquoted, 4 | LOGIN_NAMES), 0);
    EXPECT_EQ(vx::test::slurp(file("sqladmprm.dat")), unquoted);
    EXPECT_EQ(mode("sqladmprm.dat"), 0600u);
    EXPECT_FALSE(std::filesystem::exists(file("sqlusrprm.dat")));
}

TEST_F(SqlLogin, NoOrFourItemsAreNotRemembered) {
    ASSERT_EQ(connect_text(good_list("N")), 0);
    ASSERT_EQ(connect_text(good_list()), 0);
    ASSERT_EQ(connect_text(good_list("S"), 12), 0);   // role 3 has no file
    EXPECT_TRUE(std::filesystem::is_empty(dir_.path()));
    EXPECT_EQ(sysint_get(SV_SQLSTK), 2);
}

// Only a login the server took is remembered, and the file is made anew: a link put at its
// name is replaced, never followed, so the password goes nowhere else.
TEST_F(SqlLogin, OnlyAnAcceptedLoginIsRememberedAndNeverThroughALink) {
    EXPECT_EQ(connect_text(bad_list() + ",S"), E_SQLERROR);
    EXPECT_FALSE(std::filesystem::exists(file("sqlusrprm.dat"))) << "a refused password is not kept";

    write_file("elsewhere.txt", "kept");
    std::filesystem::create_symlink(file("elsewhere.txt"), file("sqlusrprm.dat"));
    std::string list = good_list("S");
    ASSERT_EQ(connect_text(list), 0) << text(error_detail());
    EXPECT_EQ(vx::test::slurp(file("elsewhere.txt")), "kept");
    EXPECT_FALSE(std::filesystem::is_symlink(file("sqlusrprm.dat")));
    EXPECT_EQ(vx::test::slurp(file("sqlusrprm.dat")), list);
    EXPECT_EQ(mode("sqlusrprm.dat"), 0600u);
}

TEST_F(SqlLogin, RememberedLoginThatCannotBeWrittenGives131) {
    std::filesystem::create_directory(file("sqlusrprm.dat"));
    EXPECT_EQ(connect_text(good_list("S")), E_FILEIO);
    EXPECT_FALSE(sql_slot_state(0).connected);
}

TEST_F(SqlLogin, FewerItemsNameTheOptionFileOrTheCommandLine) {
    std::string options = "sqlhost='" + vx::test::ScratchDb::host() + "'\ndatabase='" + db_name() + "'\nuser='" +
                          vx::test::ScratchDb::user() + "'\n";
    EXPECT_EQ(connect_text(""), E_SQLERROR);            // no sqlparams.dat
    EXPECT_EQ(text(error_detail()), "");
    write_file("sqlparams.dat", options);
    EXPECT_EQ(connect_text(""), 0) << text(error_detail());
    write_file("otro.dat", options + "database='vx_no_such_database'\n");
    EXPECT_EQ(connect_text("otro.dat"), E_SQLERROR);
    EXPECT_NE(text(error_detail()).find("vx_no_such_database"), std::string::npos);

    // sqlhost on the command line (either case) takes the values from there instead.
    std::string line = "vxrun /SQLHOST='" + vx::test::ScratchDb::host() + "' /database='" + db_name() +
                       "' /user='vx_from_command_line'";
    ASSERT_EQ(env_set(ENV_CMDLINE, view(line)), 0);
    EXPECT_EQ(connect_text("sqlparams.dat"), E_SQLERROR);
    EXPECT_NE(text(error_detail()).find("vx_from_command_line"), std::string::npos) << text(error_detail());
}

TEST_F(SqlLogin, RefusedLoginAsksWithTheRememberedValues) {
    sql_login_form_set(fake_form);
    write_file("sqlusrprm.dat", "'rhost','rdb','ruser','rpw','S'\r\n");
    form.answers.push_back({0, good_list("N"), true});
    EXPECT_EQ(login(bad_list()), 0) << text(error_detail());
    ASSERT_EQ(form.definitions.size(), 1u);
    EXPECT_EQ(form.titles[0], "Acceso a Datos");
    const std::string& def = form.definitions[0];
    EXPECT_EQ(def.rfind("'Servidor:':'A30'::'rhost','Base:':'A30'::'rdb','Usuario:':'A30'::'ruser',", 0), 0u) << def;
    EXPECT_EQ(default_of(def, 4), "rpw");
    EXPECT_EQ(text(env_get(ENV_DB)), good_list("N"));
    EXPECT_TRUE(sql_slot_state(0).connected);

    // A second login goes to entry 12; values that connect need no form.
    EXPECT_EQ(login(good_list()), 0);
    EXPECT_EQ(text(env_get(ENV_DB2)), good_list());
    EXPECT_EQ(form.definitions.size(), 1u);
}

TEST_F(SqlLogin, FormRepeatsWhileTheServerRefuses) {
    sql_login_form_set(fake_form);
    form.answers.push_back({0, bad_list(), true});
    form.answers.push_back({0, good_list(), true});
    EXPECT_EQ(login(""), 0);   // nothing to try: the form comes first
    EXPECT_EQ(form.definitions.size(), 2u);
    // Without a remembered login the server's default is localhost and the rest is empty.
    EXPECT_EQ(default_of(form.definitions[0], 1), "localhost");
    EXPECT_EQ(default_of(form.definitions[0], 2), "");
}

TEST_F(SqlLogin, CancelledOrUnconfirmedForms) {
    sql_login_form_set(fake_form);
    form.answers.push_back({E_CANCELLED, "", false});
    EXPECT_EQ(login(bad_list()), E_CANCELLED);
    EXPECT_EQ(text(env_get(ENV_DB)), "");

    form.answers.push_back({0, "'a','b','c','d','N'", false});
    EXPECT_EQ(login(bad_list()), 0);
    EXPECT_EQ(text(env_get(ENV_DB)), "'a','b','c','d','N'");
    EXPECT_FALSE(sql_slot_state(0).connected);

    sql_login_form_set(nullptr);
    EXPECT_EQ(login(bad_list()), E_SQLERROR);
    EXPECT_EQ(error_module(), M_SQLCONNECT);
}

TEST_F(SqlLogin, OptionFileLoginStoresTheValuesThatConnected) {
    write_file("sqlparams.dat", "sqlhost='" + vx::test::ScratchDb::host() + "' database='" + db_name() +
                                    "' user='" + vx::test::ScratchDb::user() + "'\n");
    EXPECT_EQ(login("sqlparams.dat"), 0);
    EXPECT_EQ(text(env_get(ENV_DB)), good_list());
}

TEST_F(SqlLogin, RememberedValuesStayOneDefaultEach) {
    sql_login_form_set(fake_form);
    write_file("sqlusrprm.dat", "\"it's\",'a:b,c','say \"hi\"',\"both ' and \"\"\"");
    EXPECT_EQ(login(bad_list()), E_CANCELLED);
    ASSERT_EQ(form.definitions.size(), 1u);
    const std::string& def = form.definitions[0];
    TmpScope scope;
    ASSERT_EQ(list_count(view(def), ','), 6) << def;   // the port follows the remember flag
    EXPECT_EQ(default_of(def, 1), "it's");
    EXPECT_EQ(default_of(def, 2), "a:b,c");
    EXPECT_EQ(default_of(def, 3), "say \"hi\"");
    EXPECT_EQ(list_count(list_item(view(def), ',', 5), ':'), 2);   // the remember flag is untouched
    EXPECT_EQ(default_of(def, 6), "");
}

// The test server listens on a port of its own: with PGPORT gone, only a port given by the
// login itself reaches it.
class SqlLoginPort : public SqlLogin {
protected:
    void SetUp() override {
        SqlLogin::SetUp();
        const char* port = std::getenv("PGPORT");
        ASSERT_TRUE(port && *port) << "the test server's PGPORT";
        port_ = port;
        ::unsetenv("PGPORT");
    }
    void TearDown() override {
        ::setenv("PGPORT", port_.c_str(), 1);
        SqlLogin::TearDown();
    }
    std::string list(const std::string& host, const std::string& port = "") const {
        std::string l = "'" + host + "','" + db_name() + "','" + vx::test::ScratchDb::user() + "',''";
        return port.empty() ? l : l + ",'N','" + port + "'";
    }
    void options(const std::string& lines) {
        write_file("sqlparams.dat", lines + "database='" + db_name() + "'\nuser='" + vx::test::ScratchDb::user() +
                                        "'\n");
    }
    std::string port_;
};

TEST_F(SqlLoginPort, WithoutAPortTheDefaultPortRefuses) {
    EXPECT_EQ(connect_text(list(vx::test::ScratchDb::host())), E_SQLERROR);
    EXPECT_EQ(connect_text(list(vx::test::ScratchDb::host() + ":1")), E_SQLERROR);
}

TEST_F(SqlLoginPort, AParameterListCarriesThePortAfterTheRememberFlag) {
    const std::string host = vx::test::ScratchDb::host();
    EXPECT_EQ(connect_text(list(host, port_)), 0) << text(error_detail());
    EXPECT_EQ(connect_text(list(host + ":" + port_)), 0) << text(error_detail());
    EXPECT_EQ(connect_text(list("[" + host + "]:" + port_)), 0) << text(error_detail());
}

TEST_F(SqlLoginPort, TheOptionFileTakesAPortLineOrTheHostsOwnPort) {
    const std::string host = vx::test::ScratchDb::host();
    options("sqlhost='" + host + "'\nport=" + port_ + "\n");
    EXPECT_EQ(connect_text(""), 0) << text(error_detail());
    options("sqlhost='" + host + ":" + port_ + "'\n");
    EXPECT_EQ(connect_text(""), 0) << text(error_detail());
    options("sqlhost=" + host + ":" + port_ + "\n");   // unquoted: the value ends at the ':'
    EXPECT_EQ(connect_text(""), 0) << text(error_detail());
    options("sqlhost='" + host + "'\nport=1\n");
    EXPECT_EQ(connect_text(""), E_SQLERROR);
}

TEST_F(SqlLoginPort, TheCommandLineTakesAPortKey) {
    std::string line = "vxrun /sqlhost='" + vx::test::ScratchDb::host() + "' /database='" + db_name() + "' /user='" +
                       vx::test::ScratchDb::user() + "' /port=" + port_;
    ASSERT_EQ(env_set(ENV_CMDLINE, view(line)), 0);
    EXPECT_EQ(connect_text(""), 0) << text(error_detail());
}

TEST_F(SqlLoginPort, TheFormAsksForThePortAndTheEnvironmentKeepsTheHostAlone) {
    sql_login_form_set(fake_form);
    write_file("sqlusrprm.dat", "'rhost:6543','rdb','ruser','rpw','S'\r\n");
    const std::string host = vx::test::ScratchDb::host();
    form.answers.push_back({0, list(host + ":" + port_), true});
    EXPECT_EQ(login(list(host)), 0) << text(error_detail());
    ASSERT_EQ(form.definitions.size(), 1u);
    TmpScope scope;
    ASSERT_EQ(list_count(view(form.definitions[0]), ','), 6) << form.definitions[0];
    EXPECT_EQ(default_of(form.definitions[0], 1), "rhost:6543");
    EXPECT_EQ(default_of(form.definitions[0], 6), "6543");
    // Host and database name folders and files: the port moves to an item of its own.
    Str db = env_get(ENV_DB);
    EXPECT_EQ(text(str_unquote(list_item(db, ',', 1))), host);
    EXPECT_EQ(text(str_unquote(list_item(db, ',', 2))), db_name());
    EXPECT_EQ(text(str_unquote(list_item(db, ',', PARAM_PORT_ITEM))), port_);
}

TEST(SqlHostPort, HostsSplitIntoNameAndPort) {
    struct Case {
        const char* host;
        const char* name;
        const char* port;
    };
    const Case cases[] = {
        {"db", "db", ""},           {"db:5433", "db", "5433"},     {"db:x1", "db:x1", ""},
        {"::1", "::1", ""},         {"[::1]:5433", "::1", "5433"}, {"[::1]", "::1", ""},
        {"[::1]x", "[::1]x", ""},   {":5433", "", "5433"},         {"/run/pg", "/run/pg", ""},
    };
    for (const Case& c : cases) {
        Str name, port;
        sql_host_split(str_from_cstr(c.host), &name, &port);
        EXPECT_EQ(text(name), c.name) << c.host;
        EXPECT_EQ(text(port), c.port) << c.host;
    }
}

TEST_F(SqlLogin, HostsAndPortsJoinOnce) {
    TmpScope scope;
    EXPECT_EQ(text(sql_host_join(S("db"), S("5433"))), "db:5433");
    EXPECT_EQ(text(sql_host_join(S("db:1"), S("5433"))), "db:1");   // its own port wins
    EXPECT_EQ(text(sql_host_join(S("::1"), S("5433"))), "[::1]:5433");
    EXPECT_EQ(text(sql_host_join(S("[::1]"), S("5433"))), "[::1]:5433");
    EXPECT_EQ(text(sql_host_join(S("db"), S(""))), "db");
}

}  // namespace
