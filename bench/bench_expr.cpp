// Benchmarks of the expression evaluator on the kinds of texts a chart evaluates for every
// record: an accumulation, a condition with a wildcard comparison, a string concatenation,
// an array element update, a field reference and a bracket expansion. Each iteration
// evaluates the text once; the arena must stay where it was.
#include "bench/bench_main.h"

#include <string>

#include "expr/eval.h"
#include "expr/fieldref.h"
#include "expr/structs.h"
#include "expr/vars.h"
#include "runtime/arena.h"
#include "runtime/error.h"
#include "runtime/store.h"

using namespace vx::rt;
using namespace vx::expr;

namespace {

constexpr u16 ARRAY_SIZE = 20;

Str view(const std::string& t) { return Str{t.data(), static_cast<u16>(t.size())}; }

bool setup(const char* text) {
    Value v;
    TmpScope scope;
    return expr_eval(str_from_cstr(text), v) < E_CANCELLED;
}

void run(benchmark::State& state, const std::string& text) {
    Value v;
    u16 mark = tmp_mark();
    for (auto _ : state) {
        u16 code = expr_eval(view(text), v);
        benchmark::DoNotOptimize(code);
        benchmark::DoNotOptimize(v.num);
        tmp_release(mark);
    }
    if (tmp_mark() != mark) state.SkipWithError("the arena grew");
    state.SetItemsProcessed(state.iterations());
}

void BM_Accumulate(benchmark::State& state) {
    setup("A#=0;B#=1.25");
    run(state, "A#=A#+B#*2");
}
BENCHMARK(BM_Accumulate);

void BM_Condition(benchmark::State& state) {
    setup("X#=12;Y$='ABCD'");
    run(state, "(X#>10)&&(Y$=='AB*')");
}
BENCHMARK(BM_Condition);

void BM_Concatenate(benchmark::State& state) {
    setup("F$='Ana';L$='Lugo'");
    run(state, "N$=F$+' '+L$");
}
BENCHMARK(BM_Concatenate);

void BM_ArrayElementUpdate(benchmark::State& state) {
    u16 dims[] = {ARRAY_SIZE};
    array_declare(S("V#"), ARRAY_NUM, dims, 1, 0);
    setup("M=5;X#=0.5");
    run(state, "V#(M-1)=V#(M-1)+X#");
}
BENCHMARK(BM_ArrayElementUpdate);

void BM_FieldReference(benchmark::State& state) {
    if (struct_count() == 0) {
        struct_define(1, S("sales"), S("data"));
        struct_add_field(S("CODE"), 5, 'A');
        struct_add_field(S("AMOUNT"), 10, '2');
        store_set(RECORD_LIST, 0, S("AB123   1234.50AB123   1234.50"));
    }
    setup("T#=0");
    run(state, "T#=T#+AMOUNT{sales}*(CODE{sales}=='AB*')");
}
BENCHMARK(BM_FieldReference);

void BM_ExpandBrackets(benchmark::State& state) {
    setup("A#=12.5;N$='Ana'");
    Str text = S("Total for [N$]: [A#*2] ([50%])");
    u16 mark = tmp_mark();
    for (auto _ : state) {
        benchmark::DoNotOptimize(expr_expand(text, 0, str_empty()).n);
        tmp_release(mark);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ExpandBrackets);

// A text longer than the cache keeps: prepared and scanned on every evaluation.
void BM_UncachedLongText(benchmark::State& state) {
    std::string t = "A#=A#+B#*2";
    while (t.size() < 300) t += ";A#=A#+B#*2";
    run(state, t);
}
BENCHMARK(BM_UncachedLongText);

}  // namespace

int main(int argc, char** argv) {
    return vx::bench::run(argc, argv, vx::bench::with_variables, vars_free);
}
