// Benchmarks of devices: a listing of 10 000 lines of 80 columns written line by line (as a
// report writes them: positioned, then the text) to a text file, to a printer port with its
// character table and printer codes, and to a PDF file (Courier pages, saved at close).
#include <unistd.h>

#include <cstdio>
#include <string>

#include "bench/bench_main.h"
#include "output/device.h"
#include "runtime/arena.h"

using namespace vx::rt;
using namespace vx::out;

namespace {

constexpr int LINES = 10000;

std::string folder;

std::string line_of(int i) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%06d  Cliente n\xBA %-30d  %12.2f  2024-01-%02d", i, i, i * 123.45, i % 28 + 1);
    std::string s = buf;
    s.resize(80, ' ');
    return s;
}

void listing(benchmark::State& state, const char* device) {
    std::string text = folder + "/" + device;
    std::string lines[64];
    for (int i = 0; i < 64; i++) lines[i] = line_of(i);
    for (auto _ : state) {
        Device d;
        if (dev_open(d, Str{text.data(), u16(text.size())}, S("Listado"))) {
            state.SkipWithError("open");
            break;
        }
        for (int i = 0; i < LINES; i++) {
            dev_position(d, u16(d.line + (i ? 1 : 0)), 1);
            const std::string& l = lines[i % 64];
            dev_write(d, Str{l.data(), u16(l.size())});
        }
        if (dev_close(d)) state.SkipWithError("close");
    }
    state.SetItemsProcessed(state.iterations() * LINES);
}

void BM_TextFile(benchmark::State& state) { listing(state, "listado.txt"); }
void BM_PrinterPort(benchmark::State& state) { listing(state, "LPT1"); }
void BM_Pdf(benchmark::State& state) { listing(state, "listado.pdf"); }

BENCHMARK(BM_TextFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PrinterPort)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pdf)->Unit(benchmark::kMillisecond);

bool ready() {
    char tmpl[] = "/tmp/vx_bench_devXXXXXX";
    if (!::mkdtemp(tmpl)) return false;
    folder = tmpl;
    return vx::bench::with_variables();
}

void done() {
    vx::expr::vars_free();
    std::string cmd = "rm -rf '" + folder + "'";
    (void)!std::system(cmd.c_str());
}

}  // namespace

int main(int argc, char** argv) { return vx::bench::run(argc, argv, ready, done); }
