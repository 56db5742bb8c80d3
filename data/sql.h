// The run-time's link to the database server: the table of 8 connection and result slots,
// connecting and logging in, executing statements (synchronously, or asynchronously while
// the query progress hook keeps the window alive), reading result values, the connection
// parameter files, and schema discovery, which turns the tables of the public schema into
// data-file structures.
//
// Slots are numbered 0-7; the current one is the system variable _SQLSTK. A connection is
// opened into one slot; other slots that carry the same connection hold further results of
// it. Texts cross this interface as Windows-1252 bytes: statements and connection values
// are sent to the server in UTF-8 and values come back converted (a character without a
// byte becomes '?').
#pragma once

#include "runtime/startup.h"
#include "runtime/str.h"

namespace vx::data {

using rt::i32;
using rt::Str;
using rt::u16;
using rt::u32;

// ---- Slots ----
inline constexpr u16 SQL_SLOTS = 8;
inline constexpr u16 SLOT_AUTO = 0xFFFF;     // sql_exec_into: the slot rules choose
inline constexpr u16 SLOT_FREE = 0xFFFE;     // sql_exec_into: a free result slot, any row count
inline constexpr u16 SLOT_CURRENT = 0xFFFF;  // sql_value, sql_row_count, sql_clear: _SQLSTK
inline constexpr const char* SLOT_ASSERTION = "sqlControlFailure";

// What a slot holds, for callers that walk results and for tests.
struct SlotState {
    bool connected = false;   // the slot carries a connection
    u16 primary = 0;          // the lowest slot with the same connection (when connected)
    bool has_result = false;
    u32 rows = 0;
};
SlotState sql_slot_state(u16 slot);
// 0 when statements of the current slot have a connection to run on; else 162 with "Sin
// conexión con el servidor" as detail (168 for a current slot outside 0-7). Nothing is sent
// to the server.
u16 sql_check_connection();

// ---- Codes and bits ----
inline constexpr u16 SQL_NO_ROWS = 2;               // a query that returned no rows
inline constexpr u16 TRACE_SQL = 4;                 // trace mask of statements that succeed
inline constexpr u16 TRACE_SQL_FAILED = 6;          // ... and of those that fail (code 3 up)
inline constexpr u16 AUXSTAT_CONNECTED = 2048;      // _AUXSTAT: a connection exists
inline constexpr const char* SQLSTATES_EXISTING = "23505,42710";  // unique violation, duplicate object

// Login flags: bits 1 and 2 ask for schema discovery (names only, or fields and keys too);
// bits 4 and 8 are the role whose remembered login is used.
enum LoginFlags : u16 { LOGIN_NAMES = 1, LOGIN_FIELDS = 2 };
inline constexpr u16 LOGIN_ROLE_UNIT = 4;
inline constexpr u16 LOGIN_ROLES = 4;

// ---- Files ----
inline constexpr const char* SQL_PARAMS_FILE = "sqlparams.dat";
// Remembered logins by role (role 3 has none); they hold passwords, so they are private.
inline constexpr const char* ROLE_FILES = "sqlusrprm.dat,sqladmprm.dat,slqusrpr2.dat,";
inline constexpr u16 PARAM_LIST_ITEMS = 4;           // host, database, user, password
inline constexpr u16 PARAM_REMEMBER_ITEM = 5;

// ---- Connecting ----
// Opens a connection into the current slot, or the first free one when the current slot is
// taken (145 when none is free). A value left empty is libpq's own (PGHOST, PGPORT, PGUSER,
// ~/.pgpass, service files); the host may carry a port ("host:port", sql_host_split). 0,
// 162 when the server refuses (the cleaned message as detail), or the code of schema
// discovery, which runs when flags ask for it, no data file is defined yet and a database is
// named.
u16 sql_connect(Str host, Str database, Str user, Str password, u16 flags);
// Connects from a parameter list "host,database,user,password[,remember[,port]]" (items may be
// quoted) or, with fewer than four items, from the command line's sqlhost, database, user
// and passw, or else from the option file the text names ("" = sqlparams.dat). A yes in the
// fifth item writes the list to the role's remembered-login file once the server has taken
// it (131 when that fails). A missing or empty option file gives 162 with an empty detail
// text.
u16 sql_connect_text(Str text, u16 flags);
// The start-up login: connects with text; while that fails with 162, asks for the values
// with the login form (defaults from the remembered login of the role) and tries again.
// On success the parameter list that connected is stored in environment entry 11 (12 when
// 11 is taken). A cancelled form ends with its code; without a form, with the 162.
u16 sql_login(Str text, u16 flags, Str title);
// Finishes the current slot's connection (every slot that carries it is released) and lets
// _SQLSTK come to rest on the nearest lower slot that still has a connection, or on 0.
void sql_disconnect();
// The host and the database named when the current connection was opened, as they were
// given ("" when a value was left to libpq's defaults, or without a connection; arena).
Str sql_connection_host();
Str sql_connection_database();

// The login form: runs the accept form of definition with title and gives back the values
// captured (a comma list of quoted items) and whether the key that ended it confirms.
// Returns 0 or the form's code (122 when cancelled). The window layer registers it.
using LoginForm = u16 (*)(Str title, Str definition, Str* values, bool* confirmed);
void sql_login_form_set(LoginForm form);

// The query progress hook (slot 23 of the hook table) and the slow-statement hook: called
// with 0 when a statement starts being watched, 2 while the server works, 1 at the end.
enum QueryPhase : u16 { QUERY_START = 0, QUERY_END = 1, QUERY_POLL = 2 };
using QueryProgressHook = u16 (*)(u16 phase);

// ---- Executing ----
// Executes on the current connection. A command gives 0 (rows: the affected rows); a query
// 2 when it returns no rows, else 0 with its result stored in slot (SLOT_AUTO: the
// connection's primary slot for at most one row, else the lowest free result slot from 1;
// 168 when there is none), which becomes current. A statement that fails on the server gives
// 162, or 183 when the row or object exists already, with the cleaned message and the
// statement appended to the detail text. With a query progress hook (slot 23) set, the hook
// is called with 0, then 2 while the server works, then 1; an answer other than 0 stops the
// statement with that code (it is cancelled on the server). Without one, a statement that
// runs long calls the slow-statement hook (below) in the same way from then on.
//
// A slot that carries no connection (the slot SQLCHILD makes current for a nested query)
// executes on the connection of the nearest slot below it that has one.
//
// A statement that finds its connection broken (the server went away) fails with 162; the
// connection is then reset once and the detail text says whether that worked. The statement
// is never sent again: whether it took effect is for the caller to find out.
u16 sql_exec_into(Str statement, u16 slot, u32* rows);
u16 sql_exec(Str statement);   // automatic slot, no row count

// The SQLSTATE of the last statement that failed on the server ("" for other failures).
Str sql_last_state();

// ---- Statements in flight ----
// The steps of sql_exec_into one at a time, so that the caller can work while the server
// does: send a statement, ask whether its results are in, collect them (stored by the slot
// rules, exactly as sql_exec_into stores them), or cancel it. The server runs one statement
// at a time per connection: a statement sent (or executed) while another of its connection
// is still running first waits for that one, whose outcome is kept until it is collected.
struct SqlPending {
    u16 index = 0;  // 1-based entry of the table of statements in flight, 0: none
    u32 serial = 0;
    bool active() const { return index != 0; }
};
// Sends on the current connection: 0 with *out active; 162 when it cannot be sent (the
// failure recorded as sql_exec_into does; the connection reset when broken); 141 when
// SQL_SLOTS statements are waiting to be collected already.
u16 sql_send(Str statement, SqlPending* out);
// Reads what the server has sent, waiting at most wait_ms for more: true when the results
// are all in (or the connection failed, which sql_collect reports). False for no statement.
bool sql_is_ready(const SqlPending& p, int wait_ms = 0);
// Waits for the results (with the hooks of sql_exec_into) and stores them; p is empty after.
u16 sql_collect(SqlPending* p, u16 slot, u32* rows);
// Asks the server to cancel the statement and drops its results; p is empty after.
void sql_cancel(SqlPending* p);

// The slow-statement hook: called as the query progress hook is, but only once a statement
// has run after_ms without one; its end phase is called however the statement ended. The
// window layer installs the progress window's (which offers Cancel). Null: none.
inline constexpr int SQL_SLOW_MS = 1000;
void sql_slow_hook_set(QueryProgressHook hook, int after_ms = SQL_SLOW_MS);
// ---- Reading results ----
// A cell of the slot's result (the slot becomes current): "" when there is no such cell.
// A value of plain ASCII is a view of the result, valid until the slot's result is released
// or replaced; any other value is converted into the arena.
Str sql_value(u32 row, u16 column, u16 slot = SLOT_CURRENT);
// The same cell as the server sent it (UTF-8), a view valid as long as the result; "" when
// there is no such cell, 146 when it is longer than a string can be.
Str sql_value_server(u32 row, u16 column, u16 slot = SLOT_CURRENT);
// One row of a slot's result, for code that reads every cell of many rows: the slot is
// chosen once (it becomes current), and each cell is read as sql_value_server reads it.
// False (and an empty row) when the slot has no such row.
struct SqlRow {
    const void* result = nullptr;
    int row = 0;
    u16 columns = 0;
};
bool sql_row(u32 row, u16 slot, SqlRow* out);
Str sql_row_server(const SqlRow& r, u16 column);
// A text as the server sent it, converted as sql_value converts it: a plain-ASCII text is
// handed back as it is (the same view), any other is converted into the arena.
Str sql_from_server(Str server);
i32 sql_column(Str name);               // column number in the current result, -1 when absent
u32 sql_row_count(u16 slot = SLOT_CURRENT);   // the slot becomes current
void sql_clear(u16 slot = SLOT_CURRENT);

// Server messages: trailing bytes below 'A' (bytes of 0x80 and above included) removed,
// guillemets made straight double quotes, the rest converted to Windows-1252 (arena).
Str sql_clean_message(Str utf8);

// ---- The hook table ----
// Entries 0-24 of the run-time's hook table; setting an entry above 24 gives 255, reading
// one gives none. Entry 23 is the query progress hook.
inline constexpr u16 HOOK_REFUSED = 255;
u16 sql_set_hook(u16 entry, rt::AnyFn fn);
rt::AnyFn sql_get_hook(u16 entry);

// ---- Parameter files ----
struct ConnParams {
    Str host{"", 0};
    Str database{"", 0};
    Str user{"", 0};
    Str password{"", 0};
};
// The connection values of an option file (lines of key=value or key:value; a key on a later
// line wins; values cleaned: unquoted ones upper-cased). 162 when the file is missing or
// empty. Looked for as named, then (a plain name) in the data folder. A "port" key is joined
// to the host ("host:port") unless the host names a port of its own. Texts in the arena.
u16 sql_params_read(Str file, ConnParams* out);

// A server may carry its port: "host:port", or "[address]:port" for an IPv6 address. A text
// with more than one ':' outside brackets is an IPv6 address without port. The host name and
// the port (each "" when absent) as views of host.
void sql_host_split(Str host, Str* name, Str* port);
// The host with the port joined to it ("[address]:port" for an IPv6 address); the host alone
// when the port is empty or the host names one already (arena).
Str sql_host_join(Str host, Str port);
// The item of a parameter list after the remember flag: the port.
inline constexpr u16 PARAM_PORT_ITEM = 6;
Str sql_role_file(u16 flags);           // the remembered-login file of the flags' role, or ""

// ---- Schema discovery ----
inline constexpr u16 DISCOVER_TABLES_MAX = 29;
inline constexpr const char* DATE_NAME_WORDS = "FECHA,DATE,FEC";
inline constexpr const char* NUMERIC_TYPES =
    "smallint,integer,bigint,decimal,numeric,real,double precision,serial,bigserial";

struct ColumnType {
    char type = 'A';
    u16 width = 0;
};
// The field type of a column from its information_schema.columns values.
ColumnType sql_column_type(Str data_type, Str column_name, Str precision, Str scale, Str char_length);

// Comma list of the tables of the public schema as the server returns them ("" when the
// query fails); a name holding a comma or a quote is quoted.
Str sql_table_list();
u16 sql_table_count();
// Defines a structure for each table of the public schema (at most 29); with LOGIN_FIELDS
// also its fields (from its columns), its keys (from its indexes) and an integer variable of
// the table's name holding its position. 175 when the table list cannot be read.
u16 sql_discover(u16 flags);

// Finishes every connection and releases every result (shutdown, tests).
void sql_release_all();

}  // namespace vx::data
