// A stand-in for the database client library in the fuzz harnesses: the functions the data
// layer calls, answering from two small tables held here, so that a harness can log in, let
// the tables be discovered and read records without any server. The fuzz build links this
// instead of the real library, so no harness can reach a server.
//
// Statements are not parsed; they are recognised by a few words. Row-returning reads are
// counted per connection and answer no rows once READS_MAX were answered, so that a scan
// that asks again from the same key ends. A statement holding "zz_fail" fails as a syntax
// error, one holding "zz_dup" as a unique violation; a password "wrong" is refused.
#include <libpq-fe.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "fake_pq.h"

struct pg_result {
    ExecStatusType status = PGRES_COMMAND_OK;
    std::vector<std::string> columns;
    std::vector<std::vector<std::string>> rows;
    std::string tuples;     // PQcmdTuples
    std::string message;    // PQresultErrorMessage
    std::string sqlstate;
};

struct pg_conn {
    bool ok = false;
    std::string message;
    std::vector<pg_result*> pending;   // results of PQsendQuery not yet taken
    unsigned reads = 0;
    std::string cursor_table;          // the table of the last cursor declared
};

struct pg_cancel {};

namespace {

constexpr unsigned READS_MAX = 64;

struct Column {
    const char* name;
    const char* type;
    const char* precision;
    const char* scale;
    const char* length;
    const char* nullable;
};

struct Table {
    const char* name;
    std::vector<Column> columns;
    std::vector<const char*> keys;    // pg_index.indkey: column ordinals from 1
    std::vector<std::vector<const char*>> rows;
};

// Values come as the server sends them: UTF-8 (one character has no Windows-1252 byte).
const std::vector<Table>& tables() {
    static const std::vector<Table> t = {
        {"clientes",
         {{"codigo", "integer", "32", "0", "", "NO"},
          {"nombre", "character varying", "", "", "30", "YES"},
          {"fecha", "date", "", "", "", "YES"},
          {"saldo", "numeric", "10", "2", "", "YES"}},
         {"1", "2 1"},
         {{"1", "Ana", "2025-01-15", "100.50"},
          {"2", "Pe\xC3\xB1" "a", "2025-02-01", "-20.00"},
          {"3", "Luis", "", "0.00"},
          {"5", "Zo\xC3\xAB \xE2\x98\x83", "2024-12-31", "99999999.99"}}},
        {"ventas",
         {{"cliente", "integer", "32", "0", "", "NO"},
          {"mes", "integer", "32", "0", "", "NO"},
          {"importe", "numeric", "12", "2", "", "YES"}},
         {"1 2", "2"},
         {{"1", "202501", "10.00"},
          {"1", "202502", "25.50"},
          {"2", "202501", "7.00"},
          {"3", "202503", "-1.25"}}},
    };
    return t;
}

std::string lower(const char* s) {
    std::string r(s ? s : "");
    for (char& c : r) c = char(std::tolower(static_cast<unsigned char>(c)));
    return r;
}

bool has(const std::string& text, const char* word) { return text.find(word) != std::string::npos; }

// The text of the literal that follows `after` ('x' or E'x'), "" when there is none.
std::string literal_after(const std::string& sql, const char* after) {
    std::size_t at = sql.find(after);
    if (at == std::string::npos) return "";
    at += std::strlen(after);
    while (at < sql.size() && (sql[at] == ' ' || sql[at] == 'e' || sql[at] == 'E')) at++;
    if (at >= sql.size() || sql[at] != '\'') return "";
    std::size_t end = sql.find('\'', at + 1);
    return end == std::string::npos ? "" : sql.substr(at + 1, end - at - 1);
}

// The table named by the first double-quoted identifier after FROM (or CURSOR FOR ... FROM).
const Table* table_from(const std::string& sql) {
    std::size_t at = sql.find("from \"");
    if (at == std::string::npos) return nullptr;
    at += 6;
    std::size_t end = sql.find('"', at);
    if (end == std::string::npos) return nullptr;
    std::string name = sql.substr(at, end - at);
    for (const Table& t : tables())
        if (name == t.name) return &t;
    return nullptr;
}

const Table* table_named(const std::string& name) {
    for (const Table& t : tables())
        if (name == t.name) return &t;
    return nullptr;
}

pg_result* rows_of(std::vector<std::string> columns) {
    auto* r = new pg_result;
    r->status = PGRES_TUPLES_OK;
    r->columns = std::move(columns);
    return r;
}

pg_result* one_value(const char* column, const std::string& value) {
    pg_result* r = rows_of({column});
    r->rows.push_back({value});
    return r;
}

pg_result* failure(const char* sqlstate, const char* message) {
    auto* r = new pg_result;
    r->status = PGRES_FATAL_ERROR;
    r->sqlstate = sqlstate;
    r->message = message;
    return r;
}

pg_result* command(const char* tuples) {
    auto* r = new pg_result;
    r->tuples = tuples;
    return r;
}

pg_result* table_list() {
    pg_result* r = rows_of({"table_catalog", "table_schema", "table_name", "table_type"});
    for (const Table& t : tables())
        r->rows.push_back({vx::fuzz::FAKE_DATABASE, "public", t.name, "BASE TABLE"});
    return r;
}

pg_result* column_list(const std::string& table) {
    pg_result* r = rows_of({"column_name", "data_type", "numeric_precision", "numeric_scale",
                            "character_maximum_length", "is_nullable", "ordinal_position"});
    if (const Table* t = table_named(table)) {
        int ordinal = 1;
        for (const Column& c : t->columns)
            r->rows.push_back({c.name, c.type, c.precision, c.scale, c.length, c.nullable,
                               std::to_string(ordinal++)});
    }
    return r;
}

pg_result* key_list(const std::string& table) {
    pg_result* r = rows_of({"indkey"});
    if (const Table* t = table_named(table))
        for (const char* k : t->keys) r->rows.push_back({k});
    return r;
}

// Every row of the table (at most `limit`), or none once the connection used up its reads.
pg_result* records(pg_conn* conn, const Table* t, std::size_t limit) {
    std::vector<std::string> columns;
    for (const Column& c : t->columns) columns.push_back(c.name);
    pg_result* r = rows_of(columns);
    if (conn->reads++ >= READS_MAX) return r;
    for (const auto& row : t->rows) {
        if (r->rows.size() >= limit) break;
        r->rows.emplace_back(row.begin(), row.end());
    }
    return r;
}

pg_result* answer(pg_conn* conn, const char* query) {
    std::string sql = lower(query);
    if (has(sql, "zz_fail")) return failure("42601", "ERROR:  syntax error at or near \"zz_fail\"\n");
    if (has(sql, "zz_dup"))
        return failure("23505", "ERROR:  duplicate key value violates unique constraint \xC2\xAB" "pk\xC2\xBB\n");
    if (has(sql, "information_schema.tables")) return table_list();
    if (has(sql, "information_schema.columns")) return column_list(literal_after(query, "table_name="));
    if (has(sql, "pg_index")) return key_list(literal_after(query, "relname = "));
    if (has(sql, "inet_server_addr")) return one_value("lower", vx::fuzz::FAKE_HOST);
    if (has(sql, "current_database")) return one_value("current_database", vx::fuzz::FAKE_DATABASE);
    const Table* t = table_from(sql);
    if (sql.rfind("declare", 0) == 0) {
        conn->cursor_table = t ? t->name : "";
        return command("");
    }
    if (sql.rfind("fetch", 0) == 0) {
        const Table* c = table_named(conn->cursor_table);
        return c ? records(conn, c, 1) : rows_of({"x"});
    }
    if (sql.rfind("select", 0) == 0) {
        if (has(sql, "count(")) return one_value("count", t ? std::to_string(t->rows.size()) : "0");
        if (t) return records(conn, t, has(sql, "limit 1") ? 1 : t->rows.size());
        return one_value("x", "1");
    }
    for (const char* word : {"insert", "update", "delete"})
        if (sql.rfind(word, 0) == 0) return command("1");
    return command("");
}

void clear_pending(pg_conn* conn) {
    for (pg_result* r : conn->pending) delete r;
    conn->pending.clear();
}

}  // namespace

extern "C" {

PGconn* PQconnectdbParams(const char* const* keywords, const char* const* values, int) {
    auto* conn = new pg_conn;
    conn->ok = true;
    for (int i = 0; keywords && keywords[i]; i++)
        if (std::strcmp(keywords[i], "password") == 0 && values[i] &&
            std::strcmp(values[i], vx::fuzz::FAKE_REFUSED_PASSWORD) == 0)
            conn->ok = false;
    if (!conn->ok) conn->message = "FATAL:  password authentication failed for user \"fuzz\"\n";
    return conn;
}

ConnStatusType PQstatus(const PGconn* conn) { return conn && conn->ok ? CONNECTION_OK : CONNECTION_BAD; }

char* PQerrorMessage(const PGconn* conn) { return const_cast<char*>(conn ? conn->message.c_str() : ""); }

void PQfinish(PGconn* conn) {
    if (!conn) return;
    clear_pending(conn);
    delete conn;
}

PGresult* PQexec(PGconn* conn, const char* query) {
    if (!conn || !conn->ok || !query) return nullptr;
    return answer(conn, query);
}

int PQsendQuery(PGconn* conn, const char* query) {
    if (!conn || !conn->ok || !query) return 0;
    if (!conn->pending.empty()) {   // as the library does: results not collected yet
        conn->message = "another command is already in progress\n";
        return 0;
    }
    conn->pending.push_back(answer(conn, query));
    return 1;
}

void PQreset(PGconn* conn) {
    if (conn) clear_pending(conn);
}

int PQconsumeInput(PGconn* conn) { return conn && conn->ok ? 1 : 0; }
int PQisBusy(PGconn*) { return 0; }
int PQsocket(const PGconn*) { return -1; }

PGresult* PQgetResult(PGconn* conn) {
    if (!conn || conn->pending.empty()) return nullptr;
    pg_result* r = conn->pending.front();
    conn->pending.erase(conn->pending.begin());
    return r;
}

PGcancel* PQgetCancel(PGconn* conn) { return conn ? new pg_cancel : nullptr; }
int PQcancel(PGcancel*, char* errbuf, int size) {
    if (errbuf && size > 0) errbuf[0] = '\0';
    return 1;
}
void PQfreeCancel(PGcancel* cancel) { delete cancel; }

ExecStatusType PQresultStatus(const PGresult* res) { return res ? res->status : PGRES_FATAL_ERROR; }
int PQntuples(const PGresult* res) { return res ? int(res->rows.size()) : 0; }
int PQnfields(const PGresult* res) { return res ? int(res->columns.size()) : 0; }

int PQfnumber(const PGresult* res, const char* name) {
    if (!res || !name) return -1;
    auto at = std::find(res->columns.begin(), res->columns.end(), lower(name));
    return at == res->columns.end() ? -1 : int(at - res->columns.begin());
}

char* PQgetvalue(const PGresult* res, int row, int column) {
    if (!res || row < 0 || column < 0 || row >= PQntuples(res) || column >= PQnfields(res))
        return const_cast<char*>("");
    return const_cast<char*>(res->rows[row][column].c_str());
}

int PQgetlength(const PGresult* res, int row, int column) {
    return int(std::strlen(PQgetvalue(res, row, column)));
}

char* PQcmdTuples(PGresult* res) { return const_cast<char*>(res ? res->tuples.c_str() : ""); }

char* PQresultErrorField(const PGresult* res, int field) {
    if (!res || field != PG_DIAG_SQLSTATE || res->sqlstate.empty()) return nullptr;
    return const_cast<char*>(res->sqlstate.c_str());
}

char* PQresultErrorMessage(const PGresult* res) { return const_cast<char*>(res ? res->message.c_str() : ""); }

void PQclear(PGresult* res) { delete res; }

}  // extern "C"
