// Benchmarks of statement generation on a three-field key (text, text, number): the next
// statement of a record-by-record scan with an end key and a condition, the scan-chunk
// statement, the key condition alone and the translation of a scan's condition. Each
// iteration builds one text; the arena must stay where it was.
#include "bench/bench_main.h"

#include "data/sqlcond.h"
#include "data/sqlgen.h"
#include "expr/eval.h"
#include "expr/structs.h"
#include "expr/vars.h"
#include "runtime/arena.h"
#include "runtime/sysvars.h"

using namespace vx::rt;
using namespace vx::data;
using namespace vx::expr;

namespace {

constexpr u16 FILE_NO = 1;
constexpr u16 KEY_NO = 1;

// ventas: CLIENTE A8, SERIE A4, NUMERO N8, IMPORTE 2 12; key 1 = CLIENTE, SERIE, NUMERO.
bool define() {
    KeyPart parts[] = {{0, 8}, {8, 4}, {12, 8}};
    return struct_define(1, S("ventas"), S("data")) == 0 &&
           struct_add_field(S("CLIENTE"), 8, 'A') == 0 &&
           struct_add_field(S("SERIE"), 4, 'A') == 0 &&
           struct_add_field(S("NUMERO"), 8, 'N') == 0 &&
           struct_add_field(S("IMPORTE"), 12, '2') == 0 && struct_add_key(FILE_NO, parts, 3) == 0;
}

const Str START = S("C0001234A1      1234");
const Str END = S("C0001234\xFF");
const Str FILTER = S("\"IMPORTE\" > 100");

template <typename Build>
void run(benchmark::State& state, Build build) {
    u16 mark = tmp_mark();
    for (auto _ : state) {
        Str s = build();
        benchmark::DoNotOptimize(s.n);
        if (!s.ok()) state.SkipWithError("no statement");
        tmp_release(mark);
    }
    if (tmp_mark() != mark) state.SkipWithError("the arena grew");
    state.SetItemsProcessed(state.iterations());
}

void BM_NextStatement(benchmark::State& state) {
    run(state, [] { return sqlgen_next(FILE_NO, KEY_NO, START, FILTER, END); });
}
BENCHMARK(BM_NextStatement);

void BM_ScanChunkStatement(benchmark::State& state) {
    run(state,
        [] { return sqlgen_scan_chunk(FILE_NO, KEY_NO, START, END, SCAN_CHUNK_ROWS, FILTER); });
}
BENCHMARK(BM_ScanChunkStatement);

void BM_KeyCondition(benchmark::State& state) {
    run(state, [] { return sql_key_condition(FILE_NO, KEY_NO, START, SQL_GE); });
}
BENCHMARK(BM_KeyCondition);

void BM_TranslateCondition(benchmark::State& state) {
    run(state,
        [] { return sql_condition(FILE_NO, S("IMPORTE{ventas}>100 && CLIENTE{ventas}=='C00*'")); });
}
BENCHMARK(BM_TranslateCondition);

}  // namespace

int main(int argc, char** argv) {
    return vx::bench::run(argc, argv, [] { return vx::bench::with_variables() && define(); }, vars_free);
}
