// Copy and Reorg against the test server: the server-paths file (asked once, kept by host,
// edited in mode 2), a save of every table and a load back with quotes, non-ASCII text,
// NULLs and dates intact, the query progress hook around a copy, the failures (cancelled
// choices, files that are no table, unsafe names, no shared folder, refused COPY) and
// reindexing with its record-count check.
#include <filesystem>
#include <fstream>
#include <sstream>

#include "data/copy.h"
#include "datafile_support.h"
#include "runtime/error.h"

using namespace vx::data;
using namespace vx::rt;
namespace fs = std::filesystem;
using vx::test::text;

namespace {

constexpr const char* TABLES =
    "CREATE TABLE clients (id integer PRIMARY KEY, name varchar(20), since date);"
    "INSERT INTO clients VALUES (1,'O''Brien \"x\"','2017-08-29'),(2,'ni\xC3\xB1o',NULL),"
    "(3,NULL,'1999-12-31'),(4,'tab\there\\back',NULL);"
    "CREATE TABLE notes (n integer);"
    "INSERT INTO notes VALUES (7),(8);";
constexpr const char* DUMP = "SELECT string_agg(concat_ws('|', id, coalesce(name,'<null>'), "
                             "coalesce(since::text,'<null>')), ';' ORDER BY id) FROM clients";

struct Answers {
    std::string paths;   // form value; "" cancels
    std::string folder;  // chosen folder
    std::string file;    // chosen file
    unsigned item = 0;   // chosen data file
    int forms = 0, polls = 0, steps = 0, opened = 0, closed = 0;
};
Answers ans;

u16 form(Str, Str, Str* values, bool* confirmed) {
    ans.forms++;
    *values = str_copy(Str{ans.paths.data(), u16(ans.paths.size())});
    *confirmed = !ans.paths.empty();
    return ans.paths.empty() ? 122 : 0;
}
Str chosen(const std::string& s) { return str_copy(Str{s.data(), u16(s.size())}); }
u16 poll(u16) {
    ans.polls++;
    return 0;
}
u16 other_hook(u16) { return 0; }

class Copy : public vx::test::DataFileTest {
protected:
    void SetUp() override {
        DataFileTest::SetUp();
        setup_tables(TABLES);
        ans = Answers{};
        server = (dir_.path() / "srv").string();
        local = (dir_.path() / "local").string();
        fs::create_directories(server);
        fs::create_directories(local);
        // The server may run as another user: its folder must be open to it.
        fs::permissions(server, fs::perms::all);
        ans.paths = "'" + server + "','" + server + "'";
        CopyUi ui;
        ui.form = form;
        ui.choose_folder = [](Str, Str) { return chosen(ans.folder); };
        ui.choose_file = [] { return chosen(ans.file); };
        ui.choose_item = [](Str, Str) { return u16(ans.item); };
        ui.progress_open = [](u32) { ans.opened++; };
        ui.progress_step = [] { ans.steps++; };
        ui.progress_close = [] { ans.closed++; };
        ui.poll = poll;
        copy_ui_set(ui);
    }
    void TearDown() override {
        copy_ui_set(CopyUi{});
        DataFileTest::TearDown();
    }
    static std::string query(const char* sql) {
        TmpScope scope;
        if (sql_exec_into(str_from_cstr(sql), SLOT_FREE, nullptr)) return "failed: " + text(error_detail());
        return text(sql_value(0, 0));
    }
    static std::string read(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    std::string server, local;
};

TEST_F(Copy, SaveAllThenLoadOneRestoresEveryValue) {
    std::string before = query(DUMP);
    ans.folder = local;
    sql_set_hook(HOOK_QUERY_PROGRESS, reinterpret_cast<AnyFn>(other_hook));
    EXPECT_EQ(copy_task(COPY_SAVE_ALL), 0) << text(error_detail());
    EXPECT_EQ(sql_get_hook(HOOK_QUERY_PROGRESS), reinterpret_cast<AnyFn>(other_hook));
    EXPECT_GT(ans.polls, 0);
    EXPECT_EQ(ans.steps, 2);
    EXPECT_EQ(ans.opened, 1);
    EXPECT_EQ(ans.closed, 1);
    EXPECT_EQ(read(fs::path(local) / "notes"), "7\n8\n");
    for (const char* dump : {"notes", "clients"})   // a table's rows are nobody else's to read
        EXPECT_EQ(fs::status(fs::path(local) / dump).permissions() & fs::perms::all,
                  fs::perms::owner_read | fs::perms::owner_write) << dump;
    EXPECT_NE(read(fs::path(local) / "clients").find("\\N"), std::string::npos);

    ASSERT_EQ(sql_exec(S("DELETE FROM clients WHERE id > 1;")), 0);
    ASSERT_EQ(sql_exec(S("UPDATE clients SET name = 'changed';")), 0);
    fs::remove(fs::path(server) / "clients");   // the load takes the local file
    ans.file = local + "/clients";
    EXPECT_EQ(copy_task(COPY_LOAD_ONE), 0) << text(error_detail());
    EXPECT_EQ(query(DUMP), before);
    EXPECT_EQ(ans.forms, 1);   // the paths were asked once and then read from the file
}

TEST_F(Copy, ServerPathsAreStoredByHostAndEditedInMode2) {
    std::ofstream(dir_.path() / SERVER_PATHS_FILE) << "otherhost$=\"'/a','/b'\"";
    EXPECT_EQ(text(server_paths(COPY_SAVE_ALL)), ans.paths);
    EXPECT_EQ(text(server_paths(COPY_SAVE_ALL)), ans.paths);
    EXPECT_EQ(ans.forms, 1);
    std::string file = read(dir_.path() / SERVER_PATHS_FILE);
    EXPECT_EQ(file.find("$=\"" + ans.paths + "\";"), file.find('$'));   // new entry first
    EXPECT_NE(file.find("otherhost$="), std::string::npos);

    ans.paths = "'" + server + "',''";
    ans.folder = local;
    EXPECT_EQ(copy_task(COPY_EDIT_PATHS), 0);
    EXPECT_EQ(ans.forms, 2);
    EXPECT_EQ(ans.opened, 0);   // mode 2 copies nothing
    EXPECT_EQ(text(server_paths(COPY_SAVE_ALL)), ans.paths);
    file = read(dir_.path() / SERVER_PATHS_FILE);
    EXPECT_EQ(file.find(server + "','" + server), std::string::npos);   // the old entry is gone

    // Without a shared folder each table stays on the server, reported with 121.
    EXPECT_EQ(copy_task(COPY_SAVE_ALL), 121);
    EXPECT_EQ(text(error_detail()), "Solo se realiz\xF3 la copia del Servidor");
    EXPECT_EQ(ans.steps, 2);   // 121 does not stop the save
    EXPECT_TRUE(fs::exists(fs::path(server) / "notes"));
    EXPECT_FALSE(fs::exists(fs::path(local) / "notes"));
}

TEST_F(Copy, ServerPathsAreKeyedByTheHostOfTheLogin) {
    // Logged in as "LocalHost": its entry is found under "localhost", whatever address the
    // server answers on.
    sql_disconnect();
    std::string name = db_name(), user = vx::test::ScratchDb::user();
    ASSERT_EQ(sql_connect(S("LocalHost"), view(name), view(user), S(""), 0), 0)
        << text(error_detail());
    std::ofstream(dir_.path() / SERVER_PATHS_FILE)
        << "127.0.0.1$=\"'/a','/b'\";localhost$=\"" << ans.paths << "\"";
    EXPECT_EQ(text(server_paths(COPY_SAVE_ALL)), ans.paths);
    EXPECT_EQ(ans.forms, 0);
    ans.paths = "'" + server + "',''";
    EXPECT_EQ(text(server_paths(COPY_EDIT_PATHS)), ans.paths);
    std::string file = read(dir_.path() / SERVER_PATHS_FILE);
    EXPECT_EQ(file, "localhost$=\"" + ans.paths + "\";127.0.0.1$=\"'/a','/b'\"");
    // The backup folder is named by the same host and the database.
    ans.folder = "";
    EXPECT_EQ(copy_task(COPY_SAVE_ALL), 122);
    EXPECT_TRUE(fs::is_directory(dir_.path() / BACKUP_FOLDER / "localhost" / name));
}

TEST_F(Copy, FailuresLeaveTheTablesAlone) {
    std::string before = query(DUMP);
    EXPECT_EQ(copy_task(3), 163);
    ans.paths = "";
    EXPECT_EQ(copy_task(COPY_SAVE_ALL), 0);   // no paths: nothing happens
    EXPECT_EQ(ans.opened, 0);
    ans.paths = "'" + server + "','" + server + "'";
    ans.folder = "";
    EXPECT_EQ(copy_task(COPY_SAVE_ALL), 122);
    ans.file = "";
    EXPECT_EQ(copy_task(COPY_LOAD_ONE), 122);
    for (const char* name : {"/clientes", "/.."}) {
        std::ofstream(local + name) << "1\n";
        ans.file = local + name;
        error_detail_clear();
        EXPECT_EQ(copy_task(COPY_LOAD_ONE), 163) << name;
    }
    EXPECT_EQ(copy_table(1, S(""), COPY_LOAD_ONE, [] {}), 163);
    EXPECT_EQ(query(DUMP), before);

    // A file the server cannot read: the rows stay as they were.
    std::ofstream(fs::path(local) / "clients") << "not a row\n";
    ans.file = local + "/clients";
    EXPECT_EQ(copy_task(COPY_LOAD_ONE), 162);
    EXPECT_EQ(query(DUMP), before);
    // A local file that cannot be copied to the shared folder.
    fs::remove(fs::path(local) / "notes");
    EXPECT_EQ(copy_table(2, str_copy(Str{local.data(), u16(local.size())}), COPY_LOAD_ONE, [] {}), 175);
    // A server folder the server cannot write to.
    fs::remove(dir_.path() / SERVER_PATHS_FILE);
    ans.paths = "'" + server + "/missing','" + server + "'";
    ans.folder = local;
    ans.steps = 0;
    EXPECT_EQ(copy_task(COPY_SAVE_ALL), 162);
    EXPECT_EQ(ans.steps, 1);   // the first failing table ends the save
}

// A copy needs the server: without a connection nothing is asked and no file is made.
TEST_F(Copy, WithoutAConnectionNothingIsAskedOrWritten) {
    EXPECT_EQ(text(server_paths(COPY_SAVE_ALL)), ans.paths);
    fs::remove(dir_.path() / SERVER_PATHS_FILE);
    ans.paths = "";
    EXPECT_EQ(text(server_paths(COPY_SAVE_ALL)), "");
    EXPECT_FALSE(fs::exists(dir_.path() / SERVER_PATHS_FILE)) << "reading the paths makes no file";

    sql_disconnect();
    ans = Answers{};
    ans.paths = "'" + server + "','" + server + "'";
    ans.folder = local;
    for (u16 mode : {COPY_SAVE_ALL, COPY_LOAD_ONE, COPY_EDIT_PATHS}) {
        error_detail_clear();
        EXPECT_EQ(copy_task(mode), E_SQLERROR) << mode;
        EXPECT_EQ(text(error_detail()), "Sin conexi\xF3n con el servidor");
    }
    EXPECT_EQ(ans.forms, 0);
    EXPECT_EQ(ans.opened, 0);
    EXPECT_FALSE(fs::exists(dir_.path() / SERVER_PATHS_FILE));
}

// A load from the shared folder itself, under any spelling, loads the file as it is: it is
// never deleted or emptied to be copied onto itself.
TEST_F(Copy, LoadFromTheSharedFolderUnderAnotherNameKeepsTheFile) {
    std::string before = query(DUMP);
    ans.folder = local;
    ASSERT_EQ(copy_task(COPY_SAVE_ALL), 0) << text(error_detail());
    std::string dump = read(fs::path(server) / "clients");
    ASSERT_NE(dump, "");
    fs::create_directory_symlink(server, dir_.path() / "link");
    std::string link = (dir_.path() / "link").string();
    for (const std::string& file : {server + "/./clients", server + "//clients", link + "/clients"}) {
        ASSERT_EQ(sql_exec(S("DELETE FROM clients WHERE id > 2;")), 0);
        ans.file = file;
        EXPECT_EQ(copy_task(COPY_LOAD_ONE), 0) << file << ": " << text(error_detail());
        EXPECT_EQ(read(fs::path(server) / "clients"), dump) << file;
        EXPECT_EQ(query(DUMP), before) << file;
    }
}

TEST_F(Copy, NamesThatCannotBeFiles) {
    for (const char* bad : {"", ".", "..", "a/b", "a\\b"})
        EXPECT_FALSE(copy_name_safe(str_from_cstr(bad))) << bad;
    EXPECT_TRUE(copy_name_safe(S("..a")));
    // A table whose name would leave the server folder is not copied.
    ASSERT_EQ(db("CREATE TABLE \"../esc\" (n integer);"), "");
    ans.folder = local;
    EXPECT_EQ(copy_task(COPY_SAVE_ALL), 163);
    EXPECT_FALSE(fs::exists(dir_.path() / "esc"));
}

TEST_F(Copy, ReindexKeepsTheRecordCount) {
    u16 clients = file("clients");
    ASSERT_NE(clients, 0);
    ans.item = clients;
    EXPECT_EQ(reindex_task(), 0) << text(error_detail());
    EXPECT_EQ(ans.steps, 4);
    EXPECT_EQ(ans.opened, 1);
    EXPECT_EQ(ans.closed, 1);
    ans.item = 0;
    EXPECT_EQ(reindex_task(), 122);
    EXPECT_EQ(reindex_table(999, [] {}), 151);
    ASSERT_EQ(db("DROP TABLE clients;"), "");
    EXPECT_GE(reindex_table(clients, [] {}), 128);
}

}  // namespace
