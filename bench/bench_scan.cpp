// Benchmarks of key-range scans against the test server (PGHOST, PGPORT, PGUSER): a table of
// 200 000 sales rows in a database made for the run (and dropped after it), scanned in key
// order in chunks while a numeric field is summed, with and without a condition that the
// evaluator checks on every record, and record by record over a short range. Items per
// second are records read per (wall-clock) second.
#include <benchmark/benchmark.h>
#include <libpq-fe.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "data/datafile.h"
#include "data/install.h"
#include "data/sql.h"
#include "expr/eval.h"
#include "expr/structs.h"
#include "expr/vars.h"
#include "runtime/arena.h"
#include "runtime/sysvars.h"

using namespace vx::rt;
using namespace vx::data;
using namespace vx::expr;

namespace {

constexpr u16 BENCH_ARENA_KB = 512;
constexpr int ROWS = 200000;
constexpr u16 AMOUNT_FIELD = 4;

const std::string DB = "vx_bench_scan_" + std::to_string(::getpid());

const char* const SETUP =
    "CREATE TABLE ventas (cliente varchar(8) NOT NULL, serie varchar(4) NOT NULL, "
    "numero integer NOT NULL, importe numeric(12,2));"
    "INSERT INTO ventas SELECT 'C' || lpad((i % 5000)::text, 7, '0'), 'A' || (i % 3), i, "
    "(i % 1000) + 0.5 FROM generate_series(1, 200000) i;"
    "CREATE INDEX ventas_key ON ventas (cliente, serie, numero);"
    "ANALYZE ventas;";

bool admin(const std::string& db, const std::string& sql) {
    const char* keys[] = {"dbname", "options", nullptr};
    const char* vals[] = {db.c_str(), "-c client_min_messages=warning", nullptr};
    PGconn* c = PQconnectdbParams(keys, vals, 0);
    bool ok = PQstatus(c) == CONNECTION_OK;
    if (ok) {
        PGresult* r = PQexec(c, sql.c_str());
        ok = PQresultStatus(r) == PGRES_COMMAND_OK || PQresultStatus(r) == PGRES_TUPLES_OK;
        if (!ok) std::fprintf(stderr, "%s\n", PQresultErrorMessage(r));
        PQclear(r);
    } else {
        std::fprintf(stderr, "%s", PQerrorMessage(c));
    }
    PQfinish(c);
    return ok;
}

struct Sum {
    i64 total = 0;
};

u16 add_amount(void* context, u16 file) {
    TmpScope scope;
    static_cast<Sum*>(context)->total += num_parse(datafile_field(file, AMOUNT_FIELD));
    return 0;
}

void run_scan(benchmark::State& state, u8 flags, const char* condition, const char* end_key) {
    u16 file = struct_number(S("ventas"));
    if (datafile_open(file, flags)) return state.SkipWithError("open failed");
    u16 mark = tmp_mark();
    u32 records = 0;
    for (auto _ : state) {
        Sum sum;
        datafile_clear(file);
        ScanRequest r;
        r.file = file;
        r.condition = str_from_cstr(condition);
        r.end_key = str_from_cstr(end_key);
        r.action = add_amount;
        r.context = &sum;
        ScanCounts counts;
        if (datafile_scan(r, &counts) != STATUS_NONE) state.SkipWithError("scan failed");
        benchmark::DoNotOptimize(sum.total);
        records += counts.read;
    }
    if (tmp_mark() != mark) state.SkipWithError("the arena grew");
    state.SetItemsProcessed(records);
    datafile_close(file);
}

void BM_ChunkedScanSum(benchmark::State& state) { run_scan(state, OPEN_PLAIN, "", "\xFF"); }
BENCHMARK(BM_ChunkedScanSum)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_ChunkedScanSumWithCondition(benchmark::State& state) {
    run_scan(state, OPEN_PLAIN, "importe{ventas} > 100 && numero{ventas} > 0", "\xFF");
}
BENCHMARK(BM_ChunkedScanSumWithCondition)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_RecordByRecordScan(benchmark::State& state) {
    run_scan(state, OPEN_ROW_SCAN, "", "C0000100");
}
BENCHMARK(BM_RecordByRecordScan)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    if (!admin("postgres", "CREATE DATABASE " + DB + " ENCODING 'UTF8' TEMPLATE template0")) return 1;
    int rc = 1;
    mem_set_arena_size(BENCH_ARENA_KB);
    if (admin(DB, SETUP) && mem_init() == 0 && vars_create() == 0) {
        eval_install();
        data_install();
        const char* user = std::getenv("PGUSER");
        Str user_name = str_from_cstr(user ? user : "postgres");
        if (sql_connect(S(""), Str{DB.data(), u16(DB.size())}, user_name, S(""), LOGIN_FIELDS) == 0) {
            benchmark::RunSpecifiedBenchmarks();
            rc = 0;
        } else {
            std::fprintf(stderr, "no connection\n");
        }
        data_free();
        vars_free();
        if (mem_shutdown() != 0) rc = 1;
    }
    benchmark::Shutdown();
    admin("postgres", "DROP DATABASE IF EXISTS " + DB + " WITH (FORCE)");
    return rc;
}
