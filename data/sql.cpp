// The slot table and everything that talks to the server through libpq: opening and
// finishing connections, executing statements (with PQexec, or with PQsendQuery while the
// query progress hook runs), storing results by the slot rules, reading values and turning
// server failures into run-time codes with a cleaned message.
#include "data/sql.h"

#include <libpq-fe.h>

#include <cstring>
#include <iterator>
#include <string>
#include <string_view>

#include "data/sqlgen.h"
#include "expr/structs.h"
#include "platform/cp1252.h"
#include "platform/os.h"
#include "runtime/arena.h"
#include "runtime/error.h"
#include "runtime/log.h"
#include "runtime/sysvars.h"

namespace vx::data {

using namespace vx::rt;

namespace {

constexpr const char* PASSWORD_SHOWN = "********";
constexpr const char* NO_CONNECTION = "Sin conexi\xF3n con el servidor";
constexpr const char* RESET_DONE =
    "Conexi\xF3n con el servidor perdida y restablecida; la instrucci\xF3n no se repite";
constexpr const char* RESET_FAILED = "Conexi\xF3n con el servidor perdida; no se pudo restablecer";
// Started on a connection restored while a transaction was open: that transaction was lost
// with the old connection, so the new one begins one that has already failed, and the
// statements meant for it fail as well instead of each committing on its own, until its
// owner ends it.
constexpr const char* TRANSACTION_LOST =
    "START TRANSACTION; DO $$BEGIN RAISE EXCEPTION 'transaction lost with the connection'; END$$;";
constexpr const char* IN_FLIGHT = "Demasiadas instrucciones en curso sin recoger";
constexpr const char* CLIENT_ENCODING = "UTF8";
constexpr char CLEAN_BELOW = 'A';          // trailing bytes below it (read as signed) are cut
constexpr u8 GUILLEMET_LEAD = 0xC2, GUILLEMET_OPEN = 0xAB, GUILLEMET_CLOSE = 0xBB;  // UTF-8 of « and »
constexpr int POLL_WAIT_MS = 50;           // longest wait between two polls of the progress hook
constexpr u16 CONNECT_KEYS_MAX = 7;        // host, port, dbname, user, password, encoding, end
constexpr u16 SQLSTATE_LEN = 5;

struct Slot {
    PGconn* conn = nullptr;
    PGresult* result = nullptr;
};

// What a connection was opened with.
struct Opened {
    PGconn* conn = nullptr;  // none: a free entry
    std::string host, database;
};

// How a statement ended: its last result, or the code that stopped it (with the message of
// a failed connection).
struct Outcome {
    PGresult* result = nullptr;
    u16 code = 0;
    std::string message;
};

// A statement sent and not yet collected. A statement still running when another is sent on
// its connection is waited for first and parked with its outcome until it is collected.
struct InFlight {
    PGconn* conn = nullptr;  // none: a free entry
    u32 serial = 0;
    std::string statement;  // as the run-time wrote it, for the detail text and the trace
    bool parked = false;
    Outcome outcome;  // when parked
};

// The slots, and one more that stands for a current slot outside 0-7: it never holds a
// connection or a result.
struct Sql {
    Slot slots[SQL_SLOTS + 1];
    Opened opened[SQL_SLOTS];
    InFlight flights[SQL_SLOTS];
    u32 serial = 0;
    QueryProgressHook slow = nullptr;
    int slow_after_ms = SQL_SLOW_MS;
    char last_state[SQLSTATE_LEN + 1] = {};
};

Sql sql;
constexpr u16 NO_SLOT = SQL_SLOTS;

// A slot number handed to this layer; 8 or more is a fault of the caller.
u16 checked(u16 slot) {
    if (slot < SQL_SLOTS) return slot;
    assert_true(false, str_from_cstr(SLOT_ASSERTION));
    return 0;
}

// The current slot is a system variable that expressions may set to anything: a value
// outside 0-7 is the empty slot, and statements and connections refuse it with 168.
bool current_in_range() { return u16(sysint_get(SV_SQLSTK)) < SQL_SLOTS; }
u16 current() { return current_in_range() ? u16(sysint_get(SV_SQLSTK)) : NO_SLOT; }

u16 fail_current(u16 module) {
    error_raise(module, E_DATAOUTBOUND);
    TmpScope scope;
    return fail_with_detail(E_DATAOUTBOUND, str_format(32, "_SQLSTK=%d", int(sysint_get(SV_SQLSTK))), false);
}

void make_current(u16 slot) {
    if (sysint_get(SV_SQLSTK) != i16(slot)) sysint_set(SV_SQLSTK, i16(slot));
}

// SLOT_CURRENT stands for _SQLSTK; any other slot is checked and becomes current.
u16 chosen(u16 slot) {
    if (slot == SLOT_CURRENT) return current();
    make_current(checked(slot));
    return slot;
}

void release_result(Slot& s) {
    if (s.result) PQclear(s.result);
    s.result = nullptr;
}

// ---- Slot rules ----

u16 free_connection_slot() {
    for (u16 i = 0; i < SQL_SLOTS; i++)
        if (!sql.slots[i].conn) return i;
    return NOT_FOUND;
}

u16 primary_slot(const PGconn* conn) {
    for (u16 i = 0; i < SQL_SLOTS; i++)
        if (sql.slots[i].conn == conn) return i;
    return NOT_FOUND;
}

// The lowest slot from 1 that is this connection's or nobody's and holds no result; it is
// this connection's from then on.
u16 free_result_slot(PGconn* conn) {
    for (u16 i = 1; i < SQL_SLOTS; i++) {
        Slot& s = sql.slots[i];
        if ((s.conn == conn || !s.conn) && !s.result) {
            s.conn = conn;
            return i;
        }
    }
    return NOT_FOUND;
}

// The slot that receives a result of rows rows, NOT_FOUND when none may.
u16 target_slot(u16 slot, u32 rows, PGconn* conn) {
    if (slot == SLOT_AUTO && rows <= 1) return primary_slot(conn);
    if (slot == SLOT_AUTO || slot == SLOT_FREE) return free_result_slot(conn);
    Slot& s = sql.slots[checked(slot)];
    if (s.conn && s.conn != conn) return NOT_FOUND;  // another connection's slot
    s.conn = conn;
    return slot;
}

// A finished connection leaves no slot behind that still points at it.
void finish(PGconn* conn) {
    for (Slot& s : sql.slots) {
        if (s.conn != conn) continue;
        release_result(s);
        s.conn = nullptr;
    }
    for (Opened& o : sql.opened)
        if (o.conn == conn) o = Opened{};
    for (InFlight& f : sql.flights)
        if (f.conn == conn) {
            if (f.outcome.result) PQclear(f.outcome.result);
            f = InFlight{};
        }
    PQfinish(conn);
}

// ---- Texts ----

std::string to_server(Str s) { return platform::cp1252_to_utf8(std::string_view(s.p, s.n)); }

bool plain_ascii(const char* p, u32 n) {
    constexpr std::uint64_t HIGH_BITS = 0x8080808080808080ull;
    u32 i = 0;
    for (; i + sizeof(std::uint64_t) <= n; i += sizeof(std::uint64_t)) {
        std::uint64_t word;
        std::memcpy(&word, p + i, sizeof word);
        if (word & HIGH_BITS) return false;
    }
    for (; i < n; i++)
        if (static_cast<unsigned char>(p[i]) >= 0x80) return false;
    return true;
}

// A text from the server in the arena, converted to Windows-1252.
Str from_server(const char* p, u32 n) {
    std::string bytes = platform::utf8_to_cp1252(std::string_view(p, n));
    if (bytes.size() > MAX_STR) return str_error(E_STRINGTOOLONG);
    return str_copy(Str{bytes.data(), u16(bytes.size())});
}

Str cleaned(const char* message) {
    std::size_t n = message ? std::strlen(message) : 0;
    return sql_clean_message(Str{message ? message : "", u16(n < MAX_STR ? n : MAX_STR)});
}

bool traced(u16 mask) { return (u16(sysint_get(SV_TRACE)) & mask) != 0; }
u16 trace_mask(u16 code) { return code < 3 ? TRACE_SQL : TRACE_SQL_FAILED; }

// The connection as the trace shows it, the password masked:
// "dbname = 'db' host = h user = 'u' password = '********' 0".
void trace_connection(Str host, Str database, Str user, u16 code) {
    if (!traced(trace_mask(code))) return;
    TmpScope scope;
    Str number = str_format(8, "%u", unsigned(code));
    StrBuilder b;
    if (database.n) {
        b.put(S("dbname = '"));
        b.put(database);
        b.put(S("' "));
    }
    b.put(S("host = "));
    b.put(host);
    b.put(S(" user = '"));
    b.put(user);
    b.put(S("' password = '"));
    b.put(str_from_cstr(PASSWORD_SHOWN));
    b.put(S("' "));
    b.put(number);
    log_line(b.finish(), trace_mask(code));
}

// ---- Failures ----

u16 fail_connect(PGconn* conn) {
    error_raise(M_SQLCONNECT, E_SQLERROR);
    TmpScope scope;
    return fail_with_detail(E_SQLERROR, cleaned(conn ? PQerrorMessage(conn) : ""), false);
}

// Records code and appends the message and the statement to the detail text.
u16 fail_exec(u16 code, Str message, Str statement) {
    error_raise(M_SQLEXEC, code);
    fail_with_detail(code, message, true);
    return fail_with_detail(code, statement, true);
}

u16 fail_exec_pq(u16 code, const char* message, Str statement) {
    TmpScope scope;
    return fail_exec(code, cleaned(message), statement);
}

void note_state(const PGresult* res) {
    const char* state = res ? PQresultErrorField(res, PG_DIAG_SQLSTATE) : nullptr;
    std::strncpy(sql.last_state, state ? state : "", SQLSTATE_LEN);
    sql.last_state[SQLSTATE_LEN] = '\0';
}

u16 failure_code(const PGresult* res) {
    const char* state = res ? PQresultErrorField(res, PG_DIAG_SQLSTATE) : nullptr;
    if (!state) return E_SQLERROR;
    return list_find(str_from_cstr(SQLSTATES_EXISTING), ',', str_from_cstr(state)) ? E_DATAEXISTS : E_SQLERROR;
}

// A connection that a failed statement found broken is reset, once; the detail text says
// whether it came back. Nothing is sent again.
void reset_if_broken(PGconn* conn, u16 code) {
    if (PQstatus(conn) != CONNECTION_BAD) return;
    PQreset(conn);
    bool back = PQstatus(conn) == CONNECTION_OK;
    if (back && sysint_bit(SV_AUXSTAT, AUXSTAT_TRANSACTION)) PQclear(PQexec(conn, TRANSACTION_LOST));
    TmpScope scope;
    fail_with_detail(code, str_from_cstr(back ? RESET_DONE : RESET_FAILED), true);
}

// ---- Statements in flight ----

// The connection statements of the current slot run on: its own, or, for a slot that
// carries none, that of the nearest slot below it that does.
PGconn* current_conn() {
    if (!current_in_range()) return nullptr;
    for (u16 i = u16(current() + 1); i-- > 0;)
        if (sql.slots[i].conn) return sql.slots[i].conn;
    return nullptr;
}

// The statement of the connection that is still on the server, if any.
InFlight* running_on(const PGconn* conn) {
    for (InFlight& f : sql.flights)
        if (f.conn && f.conn == conn && !f.parked) return &f;
    return nullptr;
}

InFlight* flight(const SqlPending& p) {
    if (p.index == 0 || p.index > SQL_SLOTS) return nullptr;
    InFlight& f = sql.flights[p.index - 1];
    return f.conn && f.serial == p.serial ? &f : nullptr;
}

void land(InFlight* f, SqlPending* p) {
    if (f) {
        if (f->outcome.result) PQclear(f->outcome.result);
        *f = InFlight{};
    }
    if (p) *p = SqlPending{};
}

Str statement_of(const InFlight& f) {
    return Str{f.statement.data(),
               u16(f.statement.size() < MAX_STR ? f.statement.size() : MAX_STR)};
}

// A statement stopped half-way is cancelled on the server and its results are drained, so
// that the connection can take the next one.
void abandon(PGconn* conn) {
    if (PGcancel* cancel = PQgetCancel(conn)) {
        char why[256];
        PQcancel(cancel, why, sizeof why);
        PQfreeCancel(cancel);
    }
    while (PGresult* r = PQgetResult(conn)) PQclear(r);
}

// Who watches a statement while the server works: the query progress hook from the start,
// or else the slow-statement hook once the statement has run long.
struct Watch {
    QueryProgressHook hook = nullptr;
    bool slow = false;  // the hook is the slow-statement hook
    i64 since = 0;
};

u16 watch_poll(Watch& w) {
    if (!w.hook && sql.slow && os::monotonic_ms() - w.since >= sql.slow_after_ms) {
        w.hook = sql.slow;
        w.slow = true;
        if (u16 code = w.hook(QUERY_START)) return code;
    }
    return w.hook ? w.hook(QUERY_POLL) : u16(0);
}

// Waits until the connection's results are all in: 0, the hook's code when it stops the
// statement, or 162 when the connection fails.
u16 wait_for(PGconn* conn) {
    Watch w;
    w.hook = reinterpret_cast<QueryProgressHook>(hook_get(HOOK_QUERY_PROGRESS));
    w.since = os::monotonic_ms();
    if (!PQconsumeInput(conn)) return E_SQLERROR;
    u16 code = w.hook ? w.hook(QUERY_START) : u16(0);
    bool polled = false;
    while (!code && (PQisBusy(conn) || (w.hook && !polled))) {
        // The hook runs when data comes or the wait ends.
        if (PQisBusy(conn)) os::wait_readable(PQsocket(conn), POLL_WAIT_MS);
        code = PQconsumeInput(conn) ? watch_poll(w) : u16(E_SQLERROR);
        polled = true;
    }
    // The slow-statement hook always hears the end (it closes what it opened); the query
    // progress hook only when the statement finished.
    if (w.hook && (!code || w.slow)) w.hook(QUERY_END);
    return code;
}

// The last of the statement's results (a text may hold several statements).
PGresult* last_result(PGconn* conn) {
    PGresult* last = nullptr;
    while (PGresult* r = PQgetResult(conn)) {
        if (last) PQclear(last);
        last = r;
    }
    return last;
}

Outcome await_outcome(PGconn* conn) {
    Outcome o;
    o.code = wait_for(conn);
    if (o.code) {
        if (o.code == E_SQLERROR) o.message = PQerrorMessage(conn);
        abandon(conn);
    } else {
        o.result = last_result(conn);
    }
    return o;
}

// Makes room on the connection for another statement: the one running is waited for and
// parked with its outcome.
void park(InFlight& f) {
    f.outcome = await_outcome(f.conn);
    f.parked = true;
}

// Stores or releases the result by its status.
u16 take_result(PGconn* conn, PGresult* res, u16 slot, u32* rows, Str statement) {
    ExecStatusType status = PQresultStatus(res);
    if (status == PGRES_COMMAND_OK) {
        if (rows) *rows = u32(text_to_int64(str_from_cstr(PQcmdTuples(res))));
        PQclear(res);
        return 0;
    }
    if (status == PGRES_TUPLES_OK) {
        int n = PQntuples(res);
        if (n == 0) {
            PQclear(res);
            return SQL_NO_ROWS;
        }
        u16 target = target_slot(slot, u32(n), conn);
        if (target == NOT_FOUND) {
            PQclear(res);
            return E_DATAOUTBOUND;
        }
        make_current(target);
        release_result(sql.slots[target]);
        sql.slots[target].result = res;
        if (rows) *rows = u32(n);
        return 0;
    }
    note_state(res);
    u16 code = failure_code(res);
    const char* message = res ? PQresultErrorMessage(res) : "";
    if (!*message) message = PQerrorMessage(conn);
    fail_exec_pq(code, message, statement);
    PQclear(res);
    return code;
}

u16 traced_code(Str statement, u16 code) {
    log_line(statement, trace_mask(code));
    return code;
}

}  // namespace

// ---- Slots ----

SlotState sql_slot_state(u16 slot) {
    const Slot& s = sql.slots[checked(slot)];
    SlotState st;
    st.connected = s.conn != nullptr;
    st.primary = s.conn ? primary_slot(s.conn) : 0;
    st.has_result = s.result != nullptr;
    st.rows = s.result ? u32(PQntuples(s.result)) : 0;
    return st;
}

u16 sql_check_connection() {
    if (!current_in_range()) return fail_current(M_SQLCONNECT);
    if (current_conn()) return 0;
    error_raise(M_SQLCONNECT, E_SQLERROR);
    return fail_with_detail(E_SQLERROR, str_from_cstr(NO_CONNECTION), false);
}

void sql_release_all() {
    for (Slot& s : sql.slots)
        if (s.conn) finish(s.conn);
    for (Slot& s : sql.slots) release_result(s);
    make_current(0);
}

// ---- Connecting ----

u16 sql_connect(Str host, Str database, Str user, Str password, u16 flags) {
    for (Str s : {host, database, user, password})
        if (!s.ok()) return str_error_code(s);
    if (!current_in_range()) return fail_current(M_SQLCONNECT);
    if (sql.slots[current()].conn) {
        u16 free = free_connection_slot();
        if (free == NOT_FOUND) return E_OUTOFMEMORY;
        make_current(free);
    }
    // Only the values given are passed, so that libpq's own defaults (PGHOST, PGPORT,
    // ~/.pgpass) apply to the rest.
    Str server, port;
    sql_host_split(host, &server, &port);
    const std::string values[] = {to_server(server), to_server(port), to_server(database), to_server(user),
                                  to_server(password)};
    const char* names[] = {"host", "port", "dbname", "user", "password"};
    const char* keys[CONNECT_KEYS_MAX] = {};
    const char* vals[CONNECT_KEYS_MAX] = {};
    u16 k = 0;
    for (u16 i = 0; i < std::size(names); i++) {
        if (values[i].empty()) continue;
        keys[k] = names[i];
        vals[k++] = values[i].c_str();
    }
    keys[k] = "client_encoding";
    vals[k] = CLIENT_ENCODING;
    PGconn* conn = PQconnectdbParams(keys, vals, 0);
    sql.slots[current()].conn = conn;
    if (conn)
        sql.opened[current()] =
            Opened{conn, std::string(host.p, host.n), std::string(database.p, database.n)};
    u16 rc = 0;
    if (!conn || PQstatus(conn) != CONNECTION_OK) {
        rc = fail_connect(conn);
        sql_disconnect();
    } else {
        sysint_or(SV_AUXSTAT, AUXSTAT_CONNECTED);
        if ((flags & (LOGIN_NAMES | LOGIN_FIELDS)) && expr::struct_count() == 0 && database.n)
            rc = sql_discover(flags);
    }
    trace_connection(host, database, user, rc);
    return rc;
}

void sql_disconnect() {
    Slot& s = sql.slots[current()];
    if (s.conn) finish(s.conn);
    while (sysint_get(SV_SQLSTK) > 0 && !sql.slots[current()].conn)
        make_current(u16(current() - 1));
}

namespace {

Str opened_value(std::string Opened::*which) {
    PGconn* conn = current_conn();
    for (const Opened& o : sql.opened) {
        if (!conn || o.conn != conn) continue;
        const std::string& v = o.*which;
        return str_copy(Str{v.data(), u16(v.size() < MAX_STR ? v.size() : MAX_STR)});
    }
    return str_empty();
}

}  // namespace

Str sql_connection_host() {
    return opened_value(&Opened::host);
}
Str sql_connection_database() {
    return opened_value(&Opened::database);
}

// ---- Executing ----

u16 sql_send(Str statement, SqlPending* out) {
    *out = SqlPending{};
    if (!statement.ok()) return str_error_code(statement);
    sql.last_state[0] = '\0';
    if (!current_in_range()) return traced_code(statement, fail_current(M_SQLEXEC));
    PGconn* conn = current_conn();
    if (!conn)
        return traced_code(statement,
                           fail_exec(E_SQLERROR, str_from_cstr(NO_CONNECTION), statement));
    if (InFlight* running = running_on(conn)) park(*running);
    if (!PQsendQuery(conn, to_server(statement).c_str())) {
        u16 code = fail_exec_pq(E_SQLERROR, PQerrorMessage(conn), statement);
        reset_if_broken(conn, code);
        return traced_code(statement, code);
    }
    for (u16 i = 0; i < SQL_SLOTS; i++) {
        InFlight& f = sql.flights[i];
        if (f.conn) continue;
        f.conn = conn;
        f.serial = ++sql.serial;
        f.statement.assign(statement.p, statement.n);
        *out = SqlPending{u16(i + 1), f.serial};
        return 0;
    }
    abandon(conn);  // every entry holds a statement not collected
    error_raise(M_SQLEXEC, E_INTERNAL);
    return traced_code(statement, fail_with_detail(E_INTERNAL, str_from_cstr(IN_FLIGHT), false));
}

bool sql_is_ready(const SqlPending& p, int wait_ms) {
    InFlight* f = flight(p);
    if (!f) return false;
    if (f->parked) return true;
    if (!PQconsumeInput(f->conn)) return true;
    if (PQisBusy(f->conn) && wait_ms > 0) {
        os::wait_readable(PQsocket(f->conn), wait_ms);
        if (!PQconsumeInput(f->conn)) return true;
    }
    return !PQisBusy(f->conn);
}

u16 sql_collect(SqlPending* p, u16 slot, u32* rows) {
    if (rows) *rows = 0;
    InFlight* f = flight(*p);
    if (!f) {
        land(nullptr, p);
        return error_raise(M_SQLEXEC, E_INTERNAL);
    }
    PGconn* conn = f->conn;
    TmpScope scope;
    Str statement = str_copy(statement_of(*f));
    Outcome o = f->parked ? f->outcome : await_outcome(conn);
    f->outcome = Outcome{};  // the result is taken over here
    u16 code = o.code;
    if (code == E_SQLERROR)
        fail_exec_pq(code, o.message.c_str(), statement);
    else if (!code)
        code = take_result(conn, o.result, slot, rows, statement);
    if (code == E_SQLERROR || code == E_DATAEXISTS) reset_if_broken(conn, code);
    land(f, p);
    return traced_code(statement, code);
}

void sql_cancel(SqlPending* p) {
    InFlight* f = flight(*p);
    if (f && !f->parked) abandon(f->conn);
    land(f, p);
}

u16 sql_exec_into(Str statement, u16 slot, u32* rows) {
    if (rows) *rows = 0;
    if (!statement.ok()) return str_error_code(statement);
    if (slot != SLOT_AUTO && slot != SLOT_FREE) checked(slot);
    SqlPending p;
    if (u16 rc = sql_send(statement, &p)) return rc;
    return sql_collect(&p, slot, rows);
}

u16 sql_exec(Str statement) { return sql_exec_into(statement, SLOT_AUTO, nullptr); }

Str sql_last_state() {
    return str_from_cstr(sql.last_state);
}

void sql_slow_hook_set(QueryProgressHook hook, int after_ms) {
    sql.slow = hook;
    sql.slow_after_ms = after_ms;
}

// ---- Reading results ----

bool sql_row(u32 row, u16 slot, SqlRow* out) {
    *out = SqlRow{};
    const PGresult* r = sql.slots[chosen(slot)].result;
    if (!r || row >= u32(PQntuples(r))) return false;
    int columns = PQnfields(r);
    *out = SqlRow{r, int(row), u16(columns < 0 ? 0 : columns > 0xFFFF ? 0xFFFF : columns)};
    return true;
}

Str sql_row_server(const SqlRow& row, u16 column) {
    if (!row.result || column >= row.columns) return str_empty();
    const PGresult* r = static_cast<const PGresult*>(row.result);
    u32 n = u32(PQgetlength(r, row.row, column));
    return n <= MAX_STR ? Str{PQgetvalue(r, row.row, column), u16(n)} : str_error(E_STRINGTOOLONG);
}

Str sql_from_server(Str server) {
    if (!server.ok() || plain_ascii(server.p, server.n)) return server;
    TmpScope scope;
    return scope.keep(from_server(server.p, server.n));
}

Str sql_value_server(u32 row, u16 column, u16 slot) {
    SqlRow r;
    sql_row(row, slot, &r);
    return sql_row_server(r, column);
}

Str sql_value(u32 row, u16 column, u16 slot) {
    SqlRow r;
    sql_row(row, slot, &r);
    return sql_from_server(sql_row_server(r, column));
}

i32 sql_column(Str name) {
    const PGresult* r = sql.slots[current()].result;
    if (!r || !name.ok()) return -1;
    return PQfnumber(r, to_server(name).c_str());
}

u32 sql_row_count(u16 slot) {
    const PGresult* r = sql.slots[chosen(slot)].result;
    return r ? u32(PQntuples(r)) : 0;
}

void sql_clear(u16 slot) {
    release_result(sql.slots[slot == SLOT_CURRENT ? current() : checked(slot)]);
}

Str sql_clean_message(Str utf8) {
    if (!utf8.ok()) return utf8;
    u16 n = utf8.n;
    while (n && static_cast<signed char>(utf8.p[n - 1]) < CLEAN_BELOW) n--;
    std::string text;
    text.reserve(n);
    for (u16 i = 0; i < n; i++) {
        bool guillemet = utf8.at(i) == GUILLEMET_LEAD && i + 1 < n &&
                         (utf8.at(i + 1) == GUILLEMET_OPEN || utf8.at(i + 1) == GUILLEMET_CLOSE);
        text.push_back(guillemet ? '"' : utf8.p[i]);
        if (guillemet) i++;
    }
    TmpScope scope;
    return scope.keep(from_server(text.data(), u32(text.size())));
}

// ---- The hook table ----

u16 sql_set_hook(u16 entry, AnyFn fn) {
    if (entry >= HOOK_SLOTS) return HOOK_REFUSED;
    hook_set(entry, fn);
    return 0;
}

AnyFn sql_get_hook(u16 entry) { return hook_get(entry); }

}  // namespace vx::data
