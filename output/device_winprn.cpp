// WINPRN: printing through the system print dialog with fonts. The page geometry follows
// from the printable area: a base size B of W * 175 / 13600 on a landscape page and
// W * 175 / 8000 on a portrait one, 36 or 64 lines in 92% of the height, margins of 5%
// (top) and 4% (left) of the height, a new page once a line would start at 97% of it (or,
// as line heights are whole pixels, once the page holds its number of lines). Control
// characters that begin a line choose its font: 0x0F condensed, 0x0E wide, 0x12 and 0x14
// normal, 0x10 underlined, 0x1C bold, 0x1E italic. The condensed and wide sizes were set for
// a base of 104 (an A4 page at 600 dpi) and are scaled with the page's own base, so that the
// proportions hold at any resolution.
#include <algorithm>
#include <array>

#include "output/device_impl.h"
#include "platform/canvas.h"
#include "runtime/arena.h"
#include "runtime/error.h"
#include "screens/dialogs.h"

namespace vx::out {

using namespace vx::rt;
namespace pf = vx::platform;

namespace {

constexpr u16 JOB_SLOTS = 4;
constexpr int BASE_LANDSCAPE = 13600, BASE_PORTRAIT = 8000, BASE_FACTOR = 175;
constexpr int WEIGHT_NORMAL = 400, WEIGHT_BOLD = 700;
constexpr pf::Rgb INK{0, 0, 0};

enum Control : u8 {
    C_CONDENSED = 0x0F, C_NORMAL = 0x12, C_WIDE = 0x0E, C_NORMAL2 = 0x14, C_UNDERLINE = 0x10,
    C_BOLD = 0x1C, C_ITALIC = 0x1E,
};

struct Job {
    pf::PrintJob* job = nullptr;
    WinPrinter printer;
};

std::array<Job*, JOB_SLOTS> jobs{};

int percent(int v, int p) { return v * p / 100; }

pf::FontSpec font_for(const WinPrinter& p, int size, int weight, bool underline, bool italic) {
    pf::FontSpec f;
    f.face = WINPRN_FACE;
    f.height = std::max(1, p.base * 3 / 4);
    f.width = std::max(1, size / 2);
    f.weight = weight;
    f.underline = underline;
    f.italic = italic;
    return f;
}

// The leading control characters of a line: the font they choose, and how many there are.
std::size_t leading_font(const WinPrinter& p, Str text, pf::FontSpec* font) {
    int size = p.base, weight = WEIGHT_NORMAL;
    bool underline = false, italic = false;
    std::size_t n = 0;
    for (; n < text.n && control_index(text.at(u16(n))) >= 0; n++) {
        switch (text.at(u16(n))) {
        case C_CONDENSED: size = WINPRN_SIZE_CONDENSED * p.base / WINPRN_SIZE_REFERENCE; break;
        case C_WIDE: size = WINPRN_SIZE_WIDE * p.base / WINPRN_SIZE_REFERENCE; break;
        case C_NORMAL: case C_NORMAL2: size = p.base; break;
        case C_UNDERLINE: underline = true; break;
        case C_BOLD: weight = WEIGHT_BOLD; break;
        case C_ITALIC: italic = true; break;
        default: break;  // the "off" codes add nothing
        }
    }
    *font = font_for(p, size, weight, underline, italic);
    return n;
}

// At the start of each line: a new page when none is open or the line would start at 97%
// of the height.
bool page_check(WinPrinter& p) {
    if (p.y != 0 && p.y < p.bottom && p.page_lines < p.lines) return true;
    if (p.pages > 0 && (!p.next_page || !p.next_page(p.job))) return false;
    p.pages++;
    p.page_lines = 0;
    p.y = p.top;
    p.x = p.left;
    if (p.canvas) p.canvas->set_font(p.font);
    return true;
}

// The visible part of a run of text: control characters have no glyph.
std::string printable(Str run) {
    std::string out;
    out.reserve(run.n);
    for (u16 i = 0; i < run.n; i++)
        if (control_index(run.at(i)) < 0) out += run.p[i];
    return out;
}

// One line's worth of text (no line end inside); an empty run that no line end follows is
// nothing yet.
bool print_run(WinPrinter& p, Str run, bool line_ends) {
    if (p.line_start) {
        if (!run.n && !line_ends) return true;
        if (!page_check(p)) return false;
        pf::FontSpec font;
        std::size_t lead = leading_font(p, run, &font);
        if (lead) {
            p.font = font;
            if (p.canvas) p.canvas->set_font(p.font);
            run = str_substr(run, int(lead), u16(run.n - lead));
        }
        p.line_start = false;
    }
    std::string shown = printable(run);
    if (shown.empty() || !p.canvas) return true;
    p.canvas->text(p.x, p.y, shown, INK);
    p.x += p.canvas->text_width(shown);
    return true;
}

bool job_next_page(void* job) { return pf::print_new_page(static_cast<pf::PrintJob*>(job)); }

Job* job_of(const Device& d) { return d.handle < JOB_SLOTS ? jobs[d.handle] : nullptr; }

u16 winprn_open(Device& d, Str title) {
    u16 slot = 0;
    while (slot < JOB_SLOTS && jobs[slot]) slot++;
    if (slot == JOB_SLOTS) return device_fail(E_DATAOUTBOUND, d.text);
    TmpScope scope;
    bool landscape = str_find_sub(str_view(d.text.data(), u16(d.text.size())), str_from_cstr(LANDSCAPE_OPTION),
                                  PLAIN) != NOT_FOUND;
    bool answered = false;
    pf::PrintJob* job = scr::ask_printer(title, landscape, &answered);
    if (!job) return answered ? device_fail(E_DEVICEIO, title) : u16(E_CANCELLED);
    pf::Canvas* c = pf::print_canvas(job);
    auto* j = new Job{job, {}};
    winprn_setup(j->printer, c, c ? c->width() : 0, c ? c->height() : 0);
    j->printer.next_page = job_next_page;
    j->printer.job = job;
    jobs[slot] = j;
    d.handle = slot;
    // A page of the dialog's printer holds its own number of lines, unless LP says otherwise.
    if (!opt_find(str_view(d.text.data(), u16(d.text.size())), S("LP"), 0).found()) d.lines = u16(j->printer.lines);
    return 0;
}

u16 winprn_emit(Device& d, const char* bytes, std::size_t n) {
    Job* j = job_of(d);
    if (!j) return device_fail(E_DEVICEIO, d.text);
    return winprn_text(j->printer, str_view(bytes, u16(std::min<std::size_t>(n, MAX_STR)))) ? 0
                                                                                           : device_fail(E_DEVICEIO, d.text);
}

u16 winprn_close(Device& d) {
    Job* j = job_of(d);
    if (!j) return 0;
    jobs[d.handle] = nullptr;
    bool ok = pf::print_end(j->job);
    delete j;
    return ok ? 0 : device_fail(E_DEVICEIO, d.text);
}

}  // namespace

void winprn_setup(WinPrinter& p, pf::Canvas* canvas, int width, int height) {
    p = WinPrinter{};
    p.canvas = canvas;
    p.width = width;
    p.height = height;
    bool landscape = height < width;
    p.base = width * BASE_FACTOR / (landscape ? BASE_LANDSCAPE : BASE_PORTRAIT);
    p.lines = width < height ? WINPRN_LINES_PORTRAIT : WINPRN_LINES_LANDSCAPE;
    p.line_height = std::max(1, percent(height, 92) / p.lines);
    p.top = percent(height, 5);
    p.left = percent(height, 4);
    p.bottom = percent(height, 97);
    p.font = font_for(p, p.base, WEIGHT_NORMAL, false, false);
}

bool winprn_text(WinPrinter& p, Str text) {
    Str rest = text;
    for (;;) {
        u16 crlf = str_find_sub(rest, S("\r\n"), PLAIN);
        if (crlf == NOT_FOUND) return print_run(p, rest, false);
        if (!print_run(p, str_substr(rest, 0, crlf), true)) return false;
        p.y += p.line_height;
        p.page_lines++;
        p.x = p.left;
        p.line_start = true;
        if (crlf + 2u >= rest.n) return true;
        rest = str_substr(rest, crlf + 2, u16(rest.n - crlf - 2));
    }
}

const Backend& backend_winprn() {
    static const Backend b{winprn_open, winprn_emit, nullptr, winprn_close};
    return b;
}

void winprn_release_all() {
    for (Job*& j : jobs) {
        if (!j) continue;
        pf::print_end(j->job);
        delete j;
        j = nullptr;
    }
}

}  // namespace vx::out
