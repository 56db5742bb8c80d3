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
constexpr const char* CLIENT_ENCODING = "UTF8";
constexpr char CLEAN_BELOW = 'A';          // trailing bytes below it (read as signed) are cut
constexpr u8 GUILLEMET_LEAD = 0xC2, GUILLEMET_OPEN = 0xAB, GUILLEMET_CLOSE = 0xBB;  // UTF-8 of « and »
constexpr int POLL_WAIT_MS = 50;           // longest wait between two polls of the progress hook
constexpr u16 CONNECT_KEYS_MAX = 7;        // host, port, dbname, user, password, encoding, end

struct Slot {
    PGconn* conn = nullptr;
    PGresult* result = nullptr;
};

struct Sql {
    Slot slots[SQL_SLOTS];
};

Sql sql;

// A slot number handed to this layer; 8 or more is a fault of the caller.
u16 checked(u16 slot) {
    if (slot < SQL_SLOTS) return slot;
    assert_true(false, str_from_cstr(SLOT_ASSERTION));
    return 0;
}

u16 current() { return checked(u16(sysint_get(SV_SQLSTK))); }

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
    PQfinish(conn);
}

// ---- Texts ----

std::string to_server(Str s) { return platform::cp1252_to_utf8(std::string_view(s.p, s.n)); }

bool plain_ascii(const char* p, u32 n) {
    for (u32 i = 0; i < n; i++)
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

u16 failure_code(const PGresult* res) {
    const char* state = res ? PQresultErrorField(res, PG_DIAG_SQLSTATE) : nullptr;
    if (!state) return E_SQLERROR;
    return list_find(str_from_cstr(SQLSTATES_EXISTING), ',', str_from_cstr(state)) ? E_DATAEXISTS : E_SQLERROR;
}

// ---- Execution ----

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

// Runs the statement while the hook keeps the window alive: 0 with the last result, the
// hook's code when it stops the statement, or 162 when the connection fails.
u16 run_async(PGconn* conn, const std::string& text, QueryProgressHook hook, PGresult** out, Str statement) {
    if (!PQsendQuery(conn, text.c_str()) || !PQconsumeInput(conn))
        return fail_exec_pq(E_SQLERROR, PQerrorMessage(conn), statement);
    hook(QUERY_START);
    u16 code = 0;
    do {
        os::wait_readable(PQsocket(conn), POLL_WAIT_MS);  // the hook runs when data comes or the wait ends
        code = PQconsumeInput(conn) ? hook(QUERY_POLL) : u16(E_SQLERROR);
    } while (code == 0 && PQisBusy(conn));
    if (code) {
        if (code == E_SQLERROR) fail_exec_pq(code, PQerrorMessage(conn), statement);
        abandon(conn);
        return code;
    }
    PGresult* last = nullptr;
    while (PGresult* r = PQgetResult(conn)) {
        if (last) PQclear(last);
        last = r;
    }
    hook(QUERY_END);
    *out = last;
    return 0;
}

u16 run(PGconn* conn, Str statement, PGresult** out) {
    std::string text = to_server(statement);
    auto hook = reinterpret_cast<QueryProgressHook>(hook_get(HOOK_QUERY_PROGRESS));
    if (hook) return run_async(conn, text, hook, out, statement);
    *out = PQexec(conn, text.c_str());
    return 0;
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
    u16 code = failure_code(res);
    const char* message = res ? PQresultErrorMessage(res) : "";
    if (!*message) message = PQerrorMessage(conn);
    fail_exec_pq(code, message, statement);
    PQclear(res);
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

// ---- Executing ----

u16 sql_exec_into(Str statement, u16 slot, u32* rows) {
    if (rows) *rows = 0;
    if (!statement.ok()) return str_error_code(statement);
    if (slot != SLOT_AUTO && slot != SLOT_FREE) checked(slot);
    PGconn* conn = sql.slots[current()].conn;
    u16 rc;
    if (!conn) {
        rc = fail_exec(E_SQLERROR, str_from_cstr(NO_CONNECTION), statement);
    } else {
        PGresult* res = nullptr;
        rc = run(conn, statement, &res);
        if (rc == 0) rc = take_result(conn, res, slot, rows, statement);
    }
    log_line(statement, trace_mask(rc));
    return rc;
}

u16 sql_exec(Str statement) { return sql_exec_into(statement, SLOT_AUTO, nullptr); }

// ---- Reading results ----

Str sql_value(u32 row, u16 column, u16 slot) {
    const PGresult* r = sql.slots[chosen(slot)].result;
    if (!r || row >= u32(PQntuples(r)) || column >= PQnfields(r)) return str_empty();
    const char* v = PQgetvalue(r, int(row), column);
    u32 n = u32(PQgetlength(r, int(row), column));
    if (plain_ascii(v, n)) return n <= MAX_STR ? Str{v, u16(n)} : str_error(E_STRINGTOOLONG);
    TmpScope scope;
    return scope.keep(from_server(v, n));
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
