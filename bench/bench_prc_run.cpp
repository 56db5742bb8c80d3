// Benchmarks of the procedure executor: a loop of a million additions (DO … LOOP_WHILE), the
// same loop with a string statement and a condition inside, and GOSUB round trips. Each run
// reports statements per second; the record is compiled once outside the timing.
#include "bench/bench_main.h"

#include <string>

#include "expr/eval.h"
#include "expr/vars.h"
#include "prc/run.h"
#include "runtime/arena.h"

using namespace vx::rt;
using namespace vx::prc;

namespace {

constexpr i64 ITERATIONS = 1000000;

// Compiles src and runs it once per benchmark iteration; `per_loop` statements per pass.
void run_text(benchmark::State& state, const std::string& src, i64 per_loop) {
    PrcRecord rec;
    if (prc_compile(S("bench.prc"), src.data(), u32(src.size()), &rec)) {
        state.SkipWithError("compile failed");
        return;
    }
    for (auto _ : state) {
        if (u16 rc = prc_run_record(rec, RUN_CLEANUP)) {
            state.SkipWithError(("run failed: " + std::to_string(rc)).c_str());
            break;
        }
    }
    state.counters["statements/s"] = benchmark::Counter(
        double(per_loop * ITERATIONS) * double(state.iterations()), benchmark::Counter::kIsRate);
    prc_release(&rec);
}

void BM_AddLoop(benchmark::State& state) {
    run_text(state, "A#=0\nDO\nA#=A#+1\nLOOP_WHILE A#<1000000\n", 3);
}
BENCHMARK(BM_AddLoop)->Unit(benchmark::kMillisecond);

void BM_MixedLoop(benchmark::State& state) {
    run_text(state,
             "A#=0\nS$=\"\"\nDO\nA#=A#+1\nIF A#%7==0\nS$=\"x\"+\"y\"\nENDIF\n"
             "LOOP_WHILE A#<1000000\n",
             5);
}
BENCHMARK(BM_MixedLoop)->Unit(benchmark::kMillisecond);

void BM_Gosub(benchmark::State& state) {
    run_text(state, "A#=0\nDO\nGOSUB add\nLOOP_WHILE A#<1000000\nEND\n:add\nA#=A#+1\nRETURN\n",
             5);
}
BENCHMARK(BM_Gosub)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    return vx::bench::run(argc, argv, vx::bench::with_variables, [] {
        prc_free();
        vx::expr::vars_free();
    });
}
