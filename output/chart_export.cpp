// A chart written out: as a PNG or BMP image, an SVG drawing or a one-page PDF of the same
// size (lines and texts kept as vectors), or its figures as CSV; and put on the clipboard as
// an image together with the CSV figures. Images, drawings and the clipboard get the chart
// as it would be saved, title, limits and legend included.
#include <algorithm>

#include "expr/masks.h"
#include "output/chart_internal.h"
#include "output/device_impl.h"
#include "runtime/error.h"

namespace vx::out {

using namespace vx::rt;
namespace pf = vx::platform;

namespace {

u16 write_failed(Str path) {
    error_raise(M_DEVICES, E_FILEIO);
    return fail_with_detail(E_FILEIO, path, false);
}

bool write_image(ChartDesc& d, int w, int h, Str path, const char* format) {
    TmpScope scope;
    pf::Canvas* image = pf::image_open(w, h, chart_background(d.flags));
    if (!image) return false;
    chart_draw(d, *image, PaintMode::Image, CHART_FONT_PX);
    bool ok = pf::image_save(image, str_to_cstr(path), format);
    pf::image_close(image);
    return ok;
}

bool write_vector(ChartDesc& d, int w, int h, Str path, pf::VectorKind kind) {
    TmpScope scope;
    pf::Canvas* drawing = pf::vector_open(kind, str_to_cstr(path), w, h, d.title);
    if (!drawing) return false;
    chart_draw(d, *drawing, PaintMode::Image, CHART_FONT_PX);
    return pf::vector_close(drawing);
}

bool write_text(Str path, const std::string& text) {
    TmpScope scope;
    return file_write_whole(str_to_cstr(path), text);
}

}  // namespace

// Writes the chart drawn at w x h (the figures, for CSV) into the file. The drawing works
// on a copy: the window keeps the geometry of what it shows.
u16 chart_write(const ChartDesc& desc, int w, int h, Str path, ChartFormat format) {
    ChartDesc d = desc;
    bool ok = false;
    switch (format) {
    case ChartFormat::Png: ok = write_image(d, w, h, path, "PNG"); break;
    case ChartFormat::Bmp: ok = write_image(d, w, h, path, "BMP"); break;
    case ChartFormat::Svg: ok = write_vector(d, w, h, path, pf::VectorKind::Svg); break;
    case ChartFormat::Pdf: ok = write_vector(d, w, h, path, pf::VectorKind::Pdf); break;
    case ChartFormat::Csv: ok = write_text(path, chart_csv(d, expr::lang_params().decimal)); break;
    case ChartFormat::CsvPoint: ok = write_text(path, chart_csv(d, '.')); break;
    }
    return ok ? 0 : write_failed(path);
}

// Puts the chart drawn at w x h and its figures (in the language's decimal separator) on the
// clipboard.
u16 chart_copy(const ChartDesc& desc, int w, int h) {
    ChartDesc d = desc;
    pf::Canvas* image = pf::image_open(w, h, chart_background(d.flags));
    if (image) chart_draw(d, *image, PaintMode::Image, CHART_FONT_PX);
    bool ok = image && pf::clipboard_put(image, chart_csv(d, expr::lang_params().decimal));
    pf::image_close(image);
    return ok ? 0 : error_raise(M_DEVICES, E_DEVICEIO);
}

}  // namespace vx::out
