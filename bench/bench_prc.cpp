// Benchmarks of the procedure compiler: a procedure of 10 000 statements (expressions,
// nested IF/ELSE and DO loops, GOSUB and GOTO to labels, entry points and remarks),
// compiled from its text and loaded from a file. Each iteration makes and frees one record.
#include "bench/bench_main.h"

#include <filesystem>
#include <fstream>
#include <string>

#include "prc/compile.h"
#include "runtime/arena.h"

using namespace vx::rt;
using namespace vx::prc;

namespace {

constexpr int STATEMENTS = 10000;
constexpr int SUBROUTINES = 40;  // two statements each, at the end
constexpr int PER_GROUP = 20;    // statements written by one group below
constexpr int GROUPS = (STATEMENTS - 2 * SUBROUTINES) / PER_GROUP;

// Groups of 20 statements with a remark each, a label before each of the first groups, an
// entry point every tenth group; the subroutines they call come last.
std::string procedure_text() {
    std::string s = "; benchmark procedure\r\n";
    for (int g = 0; g < GROUPS; g++) {
        std::string n = std::to_string(g);
        std::string sub = std::to_string(g % SUBROUTINES);
        if (g < SUBROUTINES) s += ":L" + n + "\r\n";
        if (g % 10 == 0) s += "DEF_FN entry" + n + "\r\n";
        s += "; group " + n + "\r\n"
             "  TOTAL# = TOTAL# + " + n + " * 2\r\n"
             "  IF TOTAL# > 1000\r\n"
             "    COUNT% = COUNT% + 1\r\n"
             "    NAME$ = \"group\" + STR$(COUNT%)\r\n"
             "  ELSE\r\n"
             "    NAME$ = \"none\"\r\n"
             "  ENDIF\r\n"
             "  DO_WHILE I% < 10\r\n"
             "    I% = I% + 1\r\n"
             "    IF_TRUE I% = 5\r\n"
             "      GOSUB S" + sub + "\r\n"
             "    ENDIF\r\n"
             "  LOOP\r\n"
             "  IF_FALSE B% > 3\r\n"
             "    GOTO L" + sub + "\r\n"
             "  ENDIF\r\n"
             "  I% = 0\r\n"
             "  PRINT TOTAL#, NAME$\r\n"
             "  B% = A% - 1\r\n"
             "  C% = C% + B%\r\n";
    }
    for (int k = 0; k < SUBROUTINES; k++)
        s += ":S" + std::to_string(k) + "\r\n  A% = A% * 2\r\n  RETURN\r\n";
    return s;
}

void BM_CompileText(benchmark::State& state) {
    const std::string src = procedure_text();
    PrcRecord rec;
    for (auto _ : state) {
        u16 rc = prc_compile(S("bench.prc"), src.data(), u32(src.size()), &rec);
        if (rc || rec.count != STATEMENTS) {
            state.SkipWithError("compile failed");
            break;
        }
        benchmark::DoNotOptimize(rec.instr);
        prc_release(&rec);
    }
    state.SetItemsProcessed(state.iterations() * STATEMENTS);
    state.SetBytesProcessed(state.iterations() * i64(src.size()));
}
BENCHMARK(BM_CompileText)->Unit(benchmark::kMillisecond);

void BM_LoadFile(benchmark::State& state) {
    const std::string src = procedure_text();
    const std::string name = (std::filesystem::temp_directory_path() / "vx_bench_prc.prc").string();
    {
        std::ofstream f(name, std::ios::binary);
        f << src;
        if (!f) {
            state.SkipWithError("cannot write the procedure file");
            return;
        }
    }
    for (auto _ : state) {
        u16 h = prc_load(str_from_cstr(name.c_str()));
        if (h >= PRC_TABLE_MAX) {
            state.SkipWithError("load failed");
            break;
        }
        prc_unload(h);
    }
    std::filesystem::remove(name);
    state.SetItemsProcessed(state.iterations() * STATEMENTS);
}
BENCHMARK(BM_LoadFile)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return vx::bench::run(argc, argv, nullptr, prc_free); }
