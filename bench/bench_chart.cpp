// Benchmarks of a large chart: 10 series of 10 000 points read from their arrays into a
// description, drawn on the recording canvas (the geometry alone) and into a 1200 x 800
// image with the window system's painter (on the offscreen platform without a display), in
// the classic and the modern style (with a label per point), written as SVG and PDF
// drawings, its figures as CSV, and the point under the mouse found among all of them.
#include "bench/bench_main.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "expr/eval.h"
#include "expr/vars.h"
#include "output/chart.h"
#include "platform/canvas.h"
#include "platform/gui.h"
#include "runtime/arena.h"

using namespace vx::rt;
using namespace vx::out;
namespace pf = vx::platform;

namespace {

constexpr int SERIES = 10;
constexpr u16 POINTS = 10000;
constexpr int IMAGE_W = 1200, IMAGE_H = 800;
constexpr char OPTIONS[] = "SCRWID=1200 SCRHIG=800";

std::string series_names;

// Ten arrays of waves with different periods, so that every polyline crosses the plot.
bool make_series() {
    for (int s = 0; s < SERIES; s++) {
        std::string name = "S" + std::to_string(s) + "#";
        u16 dim = POINTS - 1;
        Str n{name.data(), u16(name.size())};
        if (vx::expr::array_declare(n, vx::expr::ARRAY_NUM, &dim, 1, 0)) return false;
        for (i64 i = 0; i < POINTS; i++) {
            i64 v = (i * (s + 3)) % 2000 - 1000 + s * 150;
            if (vx::expr::array_assign(n, &i, 1, vx::expr::val_num(v * 100))) return false;
        }
        series_names += (s ? "," : "") + name;
    }
    return true;
}

bool describe(ChartDesc& d) {
    TmpScope scope;
    Str names{series_names.data(), u16(series_names.size())};
    return chart_describe(S("Bench"), S("a,b,c,d,e,f,g,h,i,j"), S(OPTIONS), str_empty(), names,
                          CHART_FROM_ZERO | CHART_BG_GRAY, POINTS_FROM_ARRAY, &d) == 0;
}

// The modern style with a label per point ("0".."9999"); the labels are set after the
// description, as the arena cannot hold them in one string.
bool describe_modern(ChartDesc& d) {
    if (!describe(d)) return false;
    d.style = ChartStyle::Modern;
    d.labels.clear();
    for (int i = 0; i < POINTS; i++) d.labels += (i ? "," : "") + std::to_string(i);
    return true;
}

void BM_Describe(benchmark::State& state) {
    for (auto _ : state) {
        ChartDesc d;
        if (!describe(d)) state.SkipWithError("describe failed");
        benchmark::DoNotOptimize(d.points);
    }
    state.SetItemsProcessed(state.iterations() * SERIES * POINTS);
}
BENCHMARK(BM_Describe)->Unit(benchmark::kMillisecond);

void BM_DrawRecording(benchmark::State& state) {
    ChartDesc d;
    if (!describe(d)) state.SkipWithError("describe failed");
    for (auto _ : state) {
        pf::RecordingCanvas c(IMAGE_W, IMAGE_H);
        chart_draw(d, c, PaintMode::Image, CHART_FONT_PX);
        benchmark::DoNotOptimize(c.ops().size());
    }
    state.SetItemsProcessed(state.iterations() * SERIES * POINTS);
}
BENCHMARK(BM_DrawRecording)->Unit(benchmark::kMillisecond);

void BM_DrawImage(benchmark::State& state) {
    ChartDesc d;
    if (!describe(d)) state.SkipWithError("describe failed");
    pf::Canvas* image = pf::image_open(IMAGE_W, IMAGE_H, chart_background(d.flags));
    if (!image) state.SkipWithError("no image");
    for (auto _ : state) {
        if (!image) break;
        chart_draw(d, *image, PaintMode::Image, CHART_FONT_PX);
    }
    pf::image_close(image);
    state.SetItemsProcessed(state.iterations() * SERIES * POINTS);
}
BENCHMARK(BM_DrawImage)->Unit(benchmark::kMillisecond);

void BM_DrawImageModern(benchmark::State& state) {
    ChartDesc d;
    if (!describe_modern(d)) state.SkipWithError("describe failed");
    pf::Canvas* image = pf::image_open(IMAGE_W, IMAGE_H, {255, 255, 255});
    if (!image) state.SkipWithError("no image");
    for (auto _ : state) {
        if (!image) break;
        chart_draw(d, *image, PaintMode::Image, CHART_FONT_PX);
    }
    pf::image_close(image);
    state.SetItemsProcessed(state.iterations() * SERIES * POINTS);
}
BENCHMARK(BM_DrawImageModern)->Unit(benchmark::kMillisecond);

void BM_WriteVector(benchmark::State& state) {
    ChartDesc d;
    if (!describe_modern(d)) state.SkipWithError("describe failed");
    pf::VectorKind kind = state.range(0) ? pf::VectorKind::Pdf : pf::VectorKind::Svg;
    std::string path = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/vx_bench_chart" +
                       (kind == pf::VectorKind::Pdf ? ".pdf" : ".svg");
    for (auto _ : state) {
        pf::Canvas* c = pf::vector_open(kind, path.c_str(), IMAGE_W, IMAGE_H, "Bench");
        if (!c) {
            state.SkipWithError("no drawing");
            break;
        }
        chart_draw(d, *c, PaintMode::Image, CHART_FONT_PX);
        if (!pf::vector_close(c)) state.SkipWithError("not written");
    }
    std::remove(path.c_str());
    state.SetItemsProcessed(state.iterations() * SERIES * POINTS);
}
BENCHMARK(BM_WriteVector)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_Csv(benchmark::State& state) {
    ChartDesc d;
    if (!describe_modern(d)) state.SkipWithError("describe failed");
    for (auto _ : state) benchmark::DoNotOptimize(chart_csv(d, ',').size());
    state.SetItemsProcessed(state.iterations() * SERIES * POINTS);
}
BENCHMARK(BM_Csv)->Unit(benchmark::kMillisecond);

// One mouse move over the plot: the nearest of 100 000 points.
void BM_Hit(benchmark::State& state) {
    ChartDesc d;
    if (!describe(d)) state.SkipWithError("describe failed");
    pf::RecordingCanvas c(IMAGE_W, IMAGE_H);
    chart_draw(d, c, PaintMode::Window, CHART_FONT_PX);
    int x = (d.area.left + d.area.right) / 2, y = (d.area.top + d.area.bottom) / 2;
    for (auto _ : state) benchmark::DoNotOptimize(chart_hit(d, x, y, 8).found);
    state.SetItemsProcessed(state.iterations() * SERIES * POINTS);
}
BENCHMARK(BM_Hit)->Unit(benchmark::kMicrosecond);


}  // namespace

int main(int argc, char** argv) {
    return vx::bench::run(argc, argv, [] { return vx::bench::with_variables() && pf::gui_init() && make_series(); },
                          vx::expr::vars_free);
}
