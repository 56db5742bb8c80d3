// PDF documents through libharu: the 8 document slots, pages with their header image, the
// Courier text lines with their sizes, the pending line, saving at close, and the choice of
// a report's page image. The library is used without an error handler: every result that
// can fail (document, page, image, save) is checked here.
#include "output/pdf.h"

#include <hpdf.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <string>

#include "output/device_impl.h"
#include "platform/os.h"
#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/error.h"
#include "runtime/paths.h"
#include "runtime/store.h"

namespace vx::out {

using namespace vx::rt;

namespace {

constexpr const char* FONT_NAME = "Courier";
constexpr const char* FONT_ENCODING = "CP1252";
constexpr HPDF_REAL TEXT_LEFT = 80;
constexpr HPDF_REAL TEXT_TOP = 80;      // below the page's top edge
constexpr HPDF_REAL LINE_STEP = 10;
constexpr HPDF_REAL TEXT_BOTTOM = 20;   // a line below this goes to a new page
constexpr HPDF_REAL SIZE_PAGE = 10;
constexpr std::size_t PENDING_START = 384;
constexpr const char* IMAGE_PREFIX = "pdf_";
constexpr const char* IMAGE_SUFFIX = ".png";
constexpr const char* IMAGE_PATTERN = "pdf_*.png";
constexpr const char* SHARE_FOLDER = "../share/varnox";

struct SizeCode {
    u8 c;
    HPDF_REAL points;
};
constexpr SizeCode SIZES[] = {{0x0F, 6}, {0x12, 10}, {0x0E, 14}, {0x14, 10}};

struct PdfSlot {
    bool used = false;
    HPDF_Doc doc = nullptr;
    HPDF_Page page = nullptr;
    HPDF_Font font = nullptr;
    HPDF_Image image = nullptr;
    std::string image_path;     // of the image loaded
    std::string pending;        // text written without a line end
    u16 line = 0, col = 0;      // the device's counters at the last write
    HPDF_REAL y = 0;            // baseline of the next line
    bool in_text = false;
};

struct PdfState {
    std::array<PdfSlot, PDF_SLOTS> slots;
    bool folders_set = false;
    std::string install_folders;
};

PdfState ps;

Str view(const std::string& s) { return str_view(s.data(), u16(std::min<size_t>(s.size(), MAX_STR))); }

// The point size of a size character, 0 for any other byte.
HPDF_REAL size_of(u8 c) {
    for (const SizeCode& s : SIZES)
        if (s.c == c) return s.points;
    return 0;
}

PdfSlot* slot_of(const Device& d) {
    return d.handle < PDF_SLOTS && ps.slots[d.handle].used ? &ps.slots[d.handle] : nullptr;
}

Str page_image_entry() { return store_get(DEVICE_LIST, PDF_IMAGE_ENTRY); }

bool image_in_use() {
    Str e = page_image_entry();
    return e.ok() && e.n;
}

std::string install_folders() {
    if (ps.folders_set) return ps.install_folders;
    TmpScope scope;
    Str run = path_resolve(APPPATH_RUNPATH);
    std::string folder = run.ok() ? std::string(run.p, run.n) : std::string();
    return folder.empty() ? SHARE_FOLDER : folder + "," + folder + "/" + SHARE_FOLDER;
}

void set_size(PdfSlot& s, HPDF_REAL points) {
    if (s.in_text) HPDF_Page_SetFontAndSize(s.page, s.font, points);
}

// Starts a page: the image first (nothing is added without one), then the page, the image
// at its top left and the text object at the first line.
u16 start_page(PdfSlot& s) {
    TmpScope scope;
    Str chosen = page_image_entry();
    Str path = chosen.ok() && chosen.n ? chosen : pdf_header_path();
    if (!path.ok() || !path.n) return device_fail(E_FILENOTFOUND, str_from_cstr(PDF_HEADER_IMAGE));
    std::string image_path(path.p, path.n);
    if (s.in_text) HPDF_Page_EndText(s.page);
    s.in_text = false;
    s.page = HPDF_AddPage(s.doc);
    if (!s.page) return device_fail(VIEWER_FAILED, str_from_cstr(PDF_HEADER_IMAGE));
    if (!s.image || s.image_path != image_path) {
        s.image = HPDF_LoadPngImageFromFile(s.doc, os::native_path(image_path.c_str()).c_str());
        s.image_path = image_path;
        if (!s.image) {
            HPDF_ResetError(s.doc);
            s.image_path.clear();
            return device_fail(E_FILEIO, image_path);
        }
    }
    HPDF_REAL h = HPDF_Page_GetHeight(s.page);
    HPDF_REAL iw = HPDF_REAL(HPDF_Image_GetWidth(s.image)), ih = HPDF_REAL(HPDF_Image_GetHeight(s.image));
    HPDF_Page_DrawImage(s.page, s.image, 0, h - ih, iw, ih);
    HPDF_Page_BeginText(s.page);
    s.in_text = true;
    HPDF_Page_MoveTextPos(s.page, TEXT_LEFT, h - TEXT_TOP);
    HPDF_Page_SetFontAndSize(s.page, s.font, SIZE_PAGE);
    s.y = h - TEXT_TOP;
    return 0;
}

// The pending line shown and the text position moved down one line.
u16 show_pending(PdfSlot& s) {
    std::string line = s.pending;
    s.pending.clear();
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
    HPDF_REAL next_size = line.empty() ? 0 : size_of(u8(line.back()));
    if (next_size) line.pop_back();
    if (s.y < TEXT_BOTTOM)
        if (u16 rc = start_page(s)) return rc;
    std::replace(line.begin(), line.end(), '\0', ' ');
    if (!line.empty()) HPDF_Page_ShowText(s.page, line.c_str());
    if (next_size) set_size(s, next_size);
    HPDF_Page_MoveTextPos(s.page, 0, -LINE_STEP);
    s.y -= LINE_STEP;
    return 0;
}

// A separator line made of "=" while a report's own page image is in use.
bool dropped_separator(Str text) {
    if (str_find_char(text, 0, '=', PLAIN) == NOT_FOUND || !image_in_use()) return false;
    for (u16 i = 0; i < text.n; i++)
        if (text.p[i] != '=' && text.p[i] != ' ' && text.p[i] != '\t') return false;
    return true;
}

// The document is made in memory and written whole: libharu's own file writer lets a
// failure of its last bytes pass.
bool save_whole(HPDF_Doc doc, const std::string& file) {
    if (HPDF_SaveToStream(doc) != HPDF_OK) return false;
    std::string bytes(HPDF_GetStreamSize(doc), '\0');
    HPDF_UINT32 got = HPDF_UINT32(bytes.size());
    if (HPDF_ResetStream(doc) != HPDF_OK ||
        HPDF_ReadFromStream(doc, reinterpret_cast<HPDF_BYTE*>(bytes.data()), &got) != HPDF_OK ||
        got != bytes.size())
        return false;
    return file_write_whole(file, bytes);
}

void free_slot(PdfSlot& s) {
    if (s.doc) HPDF_Free(s.doc);
    s = PdfSlot{};
}

// "?" stands for any one character; letters match in any case.
bool mask_matches(const std::string& mask, const std::string& name) {
    if (mask.size() != name.size()) return false;
    for (std::size_t i = 0; i < mask.size(); i++) {
        if (mask[i] == '?') continue;
        if (std::tolower(u8(mask[i])) != std::tolower(u8(name[i]))) return false;
    }
    return true;
}

// The first image listed (current folder, then the data folders) whose mask fits the name.
Str image_by_mask(Str folders, const std::string& wanted) {
    u16 n = list_count(folders, ',');
    for (u16 i = 0; i <= n; i++) {
        Str folder = i == 0 ? str_empty() : str_unquote(str_trim(list_item(folders, ',', i), TRIM_BOTH));
        if (i && !folder.n) continue;
        std::string names = os::list_matching(str_to_cstr(folder), IMAGE_PATTERN, ',');
        for (std::size_t from = 0; from < names.size();) {
            std::size_t comma = std::min(names.find(',', from), names.size());
            std::string name = names.substr(from, comma - from);
            from = comma + 1;
            std::string mask = name;
            std::replace(mask.begin(), mask.end(), '@', '?');
            if (!mask_matches(mask, wanted)) continue;
            Str hit = path_find(folders, view(name));
            if (hit.ok() && hit.n) return hit;
        }
    }
    return str_empty();
}

}  // namespace

// ---- The device backend ----

u16 pdf_open(Device& d) {
    u16 slot = 0;
    while (slot < PDF_SLOTS && ps.slots[slot].used) slot++;
    if (slot == PDF_SLOTS) return device_fail(E_OUTOFMEMORY, d.path);
    PdfSlot& s = ps.slots[slot];
    s.doc = HPDF_New(nullptr, nullptr);
    if (!s.doc) return device_fail(VIEWER_FAILED, d.path);
    s.used = true;
    HPDF_SetCompressionMode(s.doc, HPDF_COMP_ALL);
    s.font = HPDF_GetFont(s.doc, FONT_NAME, FONT_ENCODING);
    s.pending.reserve(PENDING_START);
    u16 rc = s.font ? start_page(s) : device_fail(VIEWER_FAILED, d.path);
    if (rc) {
        free_slot(s);
        return rc;
    }
    s.line = d.line;
    s.col = d.col;
    d.handle = slot;
    return 0;
}

u16 pdf_write(Device& d, Str text) {
    PdfSlot* s = slot_of(d);
    if (!s) return device_fail(E_FILENOTINIT, d.path);
    Str rest = text;
    for (;;) {
        if (dropped_separator(rest)) return 0;
        if (rest.n && size_of(rest.at(0))) {
            set_size(*s, size_of(rest.at(0)));
            rest = str_substr(rest, 1, u16(rest.n - 1));
        }
        if (d.line < s->line || (d.line == s->line && d.col < s->col))
            if (u16 rc = start_page(*s)) return rc;
        s->line = d.line;
        s->col = d.col;
        u16 crlf = str_find_sub(rest, S("\r\n"), PLAIN);
        if (crlf == NOT_FOUND) {
            s->pending.append(rest.p, rest.n);
            return 0;
        }
        s->pending.append(rest.p, crlf);
        if (u16 rc = show_pending(*s)) return rc;
        if (crlf + 2u >= rest.n) return 0;
        rest = str_substr(rest, crlf + 2, u16(rest.n - crlf - 2));
    }
}

namespace {

// The pending line, then the whole document to its file; the viewer when asked.
u16 save_document(Device& d, PdfSlot& s) {
    u16 rc = s.pending.empty() ? 0 : show_pending(s);
    if (s.in_text) HPDF_Page_EndText(s.page);
    s.in_text = false;
    std::string file = os::native_path(d.path.c_str());
    if (!save_whole(s.doc, file) && !rc) rc = device_fail(E_FILEIO, d.path);
    if (!rc && d.show) rc = viewer_open(3, view(d.path));
    return rc;
}

}  // namespace

// A document given up (dev_discard) is not written: a PDF already there stays.
u16 pdf_close(Device& d) {
    PdfSlot* s = slot_of(d);
    if (!s) return 0;
    u16 rc = d.discard ? u16(0) : save_document(d, *s);
    free_slot(*s);
    store_set(DEVICE_LIST, PDF_IMAGE_ENTRY, str_empty());
    return rc;
}

namespace {

u16 backend_open(Device& d, Str) { return pdf_open(d); }
u16 backend_emit(Device& d, const char* bytes, std::size_t n) {
    return pdf_write(d, str_view(bytes, u16(std::min<std::size_t>(n, MAX_STR))));
}

}  // namespace

const Backend& backend_pdf() {
    static const Backend b{backend_open, backend_emit, nullptr, pdf_close};
    return b;
}

void pdf_release_all() {
    for (PdfSlot& s : ps.slots)
        if (s.used) free_slot(s);
}

// ---- Page images ----

u16 pdf_choose_image(Str report_file) {
    TmpScope scope;
    Str base = path_part(report_file, PART_NAME);
    Str db = str_clean(list_item(env_get(ENV_DB), ',', 2));
    Str folders = env_get(ENV_DATA);
    std::string b(base.ok() ? base.p : "", base.ok() ? base.n : 0);
    std::string d(db.ok() ? db.p : "", db.ok() ? db.n : 0);
    Str hit = str_empty();
    if (!d.empty()) hit = path_find(folders, view(IMAGE_PREFIX + d + "_" + b + IMAGE_SUFFIX));
    if (!hit.ok() || !hit.n) hit = path_find(folders, view(IMAGE_PREFIX + b + IMAGE_SUFFIX));
    if (!hit.ok() || !hit.n) hit = image_by_mask(folders, IMAGE_PREFIX + b + IMAGE_SUFFIX);
    return store_set(DEVICE_LIST, PDF_IMAGE_ENTRY, hit.ok() ? hit : str_empty());
}

Str pdf_header_path() {
    TmpScope scope;
    Str name = str_from_cstr(PDF_HEADER_IMAGE);
    Str hit = path_find(env_get(ENV_DATA), name);
    if (hit.ok() && hit.n) return scope.keep(hit);
    std::string folders = install_folders();
    if (folders.empty()) return scope.keep(str_empty());
    hit = path_find(view(folders), name);
    return scope.keep(hit.ok() ? hit : str_empty());
}

void pdf_install_folders_set(const char* folders) {
    ps.folders_set = folders != nullptr;
    ps.install_folders = folders ? folders : "";
}

}  // namespace vx::out
