// The frame of every benchmark program: Google Benchmark's start and end around the
// run-time's memory layer, with the program's own preparation and clean-up.
#pragma once

#include <benchmark/benchmark.h>

#include "expr/eval.h"
#include "expr/vars.h"
#include "runtime/arena.h"

namespace vx::bench {

inline constexpr rt::u16 BENCH_ARENA_KB = 512;

// The variable tables and the evaluator, for programs that evaluate expressions.
inline bool with_variables() {
    if (expr::vars_create() != 0) return false;
    expr::eval_install();
    return true;
}

// Runs the registered benchmarks in a memory layer; ready (when given) prepares what they need
// once the memory layer exists (false ends with 1), done undoes it before the layer goes.
inline int run(int argc, char** argv, bool (*ready)() = nullptr, void (*done)() = nullptr) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    rt::mem_set_arena_size(BENCH_ARENA_KB);
    if (rt::mem_init() != 0) return 1;
    int rc = 0;
    if (!ready || ready()) benchmark::RunSpecifiedBenchmarks();
    else rc = 1;
    benchmark::Shutdown();
    if (done) done();
    return rt::mem_shutdown() == 0 ? rc : 1;
}

}  // namespace vx::bench
