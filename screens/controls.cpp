// Labels, field controls and buttons on the character grid, and field texts.
#include "screens/controls.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "expr/fields.h"
#include "runtime/arena.h"
#include "runtime/error.h"
#include "runtime/sysvars.h"

namespace vx::scr {

using namespace vx::rt;
namespace pf = vx::platform;

namespace {

constexpr char TYPE_LOGICAL = 'L';
constexpr char TYPE_PASSWORD = 'P';
constexpr char CHECKED_TEXT = '1';

std::string_view view(Str s) {
    return s.ok() ? std::string_view(s.p, s.n) : std::string_view();
}

bool is_numeric(char type) {
    return type && std::strchr(expr::NUMERIC_FIELD_TYPES, type) != nullptr;
}

bool keys_translated() { return !sysint_bit(SV_COMPAT, COMPAT_NO_KEYS); }

pf::Rect grid_rect(u16 row, u16 col, u16 cells, u16 min_px) {
    CellSize c = cell_size();
    int w = std::max<int>(int(std::min(cells, GRID_MAX)) * c.w, min_px);
    return pf::Rect{grid_to_x(col), grid_to_y(row), w, c.h};
}

u16 made(bool ok) { return ok ? 0 : error_raise(M_SCREENS, E_WINCONTROL); }

// A text of the window system as a new string in the arena.
Str to_arena(const std::string& text) {
    if (text.size() > MAX_STR) return str_error(E_STRINGTOOLONG);
    Str out = tmp_alloc(u32(text.size()), NO_FILL);
    if (out.ok() && !text.empty()) std::memcpy(str_mut(out), text.data(), text.size());
    return out;
}

unsigned edit_flags(const FieldSpec& f) {
    unsigned flags = 0;
    if (f.type == TYPE_PASSWORD) flags |= pf::CF_PASSWORD;
    if (is_numeric(f.type)) flags |= pf::CF_RIGHT;
    if (!f.editable) flags |= pf::CF_READONLY;
    if (f.frameless) flags |= pf::CF_NOBORDER | pf::CF_ONTOP;
    if (keys_translated()) flags |= pf::CF_EVENTS;
    return flags;
}

}  // namespace

u16 field_id(u16 field) {
    return field >= 1 && field <= FIELDS_MAX ? u16(FIELD_ID_BASE + field) : 0;
}

u16 field_of_id(int id) {
    return id > FIELD_ID_BASE && id <= FIELD_ID_BASE + FIELDS_MAX ? u16(id - FIELD_ID_BASE) : 0;
}

u16 label_id(u16 row, u16 col) {
    u32 id = LABEL_ID_BASE + u32(row) * metrics_get().grid_w + col;
    return id <= 0xFFFF ? u16(id) : 0;
}

u16 field_control_create(WinId w, const FieldSpec& f) {
    u16 id = field_id(f.number);
    if (!id || !pf::window_exists(w)) return E_DATA;
    pf::CtlSpec spec;
    spec.id = id;
    spec.at = grid_rect(f.row, f.col, f.cells ? f.cells : f.width, EDIT_MIN_PX);
    if (f.type == TYPE_LOGICAL && sysint_bit(SV_AUXSTAT, AUX_CHECKBOXES)) {
        spec.kind = pf::CtlKind::CheckBox;
        spec.flags = keys_translated() ? unsigned(pf::CF_EVENTS) : 0u;
    } else {
        spec.kind = pf::CtlKind::Edit;
        spec.flags = edit_flags(f);
        spec.limit = f.width;
    }
    return made(pf::control_create(w, spec));
}

u16 label_create(WinId w, u16 row, u16 col, u16 cells, Str text) {
    u16 id = label_id(row, col);
    if (!id || !pf::window_exists(w)) return E_DATA;
    pf::CtlSpec spec;
    spec.kind = pf::CtlKind::Label;
    spec.id = id;
    spec.at = grid_rect(row, col, cells, 0);
    spec.text = view(text);
    spec.flags = pf::CF_RIGHT;
    return made(pf::control_create(w, spec));
}

u16 button_create(WinId w, u16 number, u16 row, u16 col, u16 cells, Str text, Str image) {
    if (number < 1 || number > BUTTON_MAX || !pf::window_exists(w)) return E_DATA;
    pf::CtlSpec spec;
    spec.kind = image.ok() && image.n ? pf::CtlKind::PictureButton : pf::CtlKind::Button;
    spec.id = number;
    spec.at = grid_rect(row, col, cells, EDIT_MIN_PX);
    spec.text = view(text);
    spec.image = view(image);
    spec.flags = keys_translated() ? unsigned(pf::CF_EVENTS) : 0u;
    return made(pf::control_create(w, spec));
}

u16 field_set_text(WinId w, u16 field, Str text) {
    u16 id = field_id(field);
    if (!id || !pf::control_exists(w, id) || !text.ok()) return E_DATA;
    if (pf::control_kind(w, id) == pf::CtlKind::CheckBox)
        return made(pf::control_set_checked(w, id, text.n && text.at(0) == CHECKED_TEXT));
    return made(pf::control_set_text(w, id, view(text)));
}

Str field_text(WinId w, u16 field) {
    u16 id = field_id(field);
    if (!id || !pf::control_exists(w, id)) return str_error(E_DATA);
    if (pf::control_kind(w, id) == pf::CtlKind::CheckBox)
        return to_arena(pf::control_checked(w, id) ? "1" : "0");
    return to_arena(pf::control_text(w, id));
}

}  // namespace vx::scr
