// Benchmark of listing reports: 10 000 detail steps of a template with a title, a page head,
// three masked columns (one of them totalled through _#) and a page foot, printed to a text
// file of 66-line pages, so that page changes, masks and the accumulators are all measured.
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "bench/bench_main.h"
#include "expr/members.h"
#include "output/report.h"
#include "runtime/arena.h"
#include "runtime/env.h"

using namespace vx::rt;
using namespace vx::out;

namespace {

constexpr int STEPS = 10000;

std::string folder;

void BM_ListingTextFile(benchmark::State& state) {
    ReportRequest q;
    q.name = "bench.tpl";
    q.device = folder + "/listado.txt /LP:66";
    for (auto _ : state) {
        TmpScope scope;
        vx::expr::Value v;
        if (vx::expr::parm_push(S("PROG_MODE$=NONE")) || vx::expr::expr_eval(S("I=0"), v) >= 128) {
            state.SkipWithError("setup");
            break;
        }
        u16 rc = report_run(q);
        vx::expr::parm_pop();
        if (rc) {
            state.SkipWithError("report");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * STEPS);
}

BENCHMARK(BM_ListingTextFile)->Unit(benchmark::kMillisecond);

bool ready() {
    char tmpl[] = "/tmp/vx_bench_repXXXXXX";
    if (!::mkdtemp(tmpl)) return false;
    folder = tmpl;
    std::ofstream(folder + "/bench.tpl", std::ios::binary)
        << "01001Listado de prueba|Pg.|###\x17 '','',_DEVPAG\r\n"
           "03001Numero Nombre                   Importe\r\n"
           "05001######|\\                    \\|####,###.##\x19 I,'Cliente '+FN$TRIM(I),I*1.25"
           " /TOTALBASE%=1 /MAXLINE%=-3 /ATEND$=\"(I=I+1)>"
        << STEPS
        << "\"\r\n"
           "66001- - -\x17\x17 ''\r\n"
           "02001Total|####,###.##\x18 '',_#(3)\r\n";
    if (!vx::bench::with_variables()) return false;
    return env_set(ENV_DATA, Str{folder.data(), u16(folder.size())}) == 0;
}

void done() {
    vx::expr::vars_free();
    std::string cmd = "rm -rf '" + folder + "'";
    (void)!std::system(cmd.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    return vx::bench::run(argc, argv, ready, done);
}
