// File, folder and print dialogs, asked of a person or of the INPUT file.
#include "screens/dialogs.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dialogs.h"
#include "runtime/arena.h"
#include "runtime/files.h"
#include "runtime/msg.h"
#include "runtime/msgbox.h"
#include "runtime/paths.h"
#include "screens/window.h"

namespace vx::scr {

using namespace vx::rt;
namespace pf = vx::platform;

namespace {

constexpr u16 MSG_FILE_CHOICE = 88;   // "Selección de Fichero"
constexpr u16 FILTERS_MAX = 32;       // entries of one filter list

std::string_view view(Str s) {
    return s.ok() ? std::string_view(s.p, s.n) : std::string_view();
}

Str to_arena(const std::string& text) {
    if (text.size() > MAX_STR) return str_empty();
    Str out = tmp_alloc(u32(text.size()), NO_FILL);
    if (out.ok() && !text.empty()) std::memcpy(str_mut(out), text.data(), text.size());
    return out.ok() ? out : str_empty();
}

Str title_or_default(Str title) {
    return title.ok() && title.n ? title : msg_text_id(MSG_FILE_CHOICE);
}

// The next input line, written out under the dialog's title; "" for a cancel.
Str answer_from_input(Str title) {
    Str line = str_trim(input_next_line(), TRIM_BOTH);
    if (!line.ok()) line = str_empty();
    msg_box(line, title, BOX_INFO);  // unattended, a box is only written out
    if (str_equal(line, str_from_cstr(ANSWER_ESC))) return str_empty();
    return line;
}

// Pairs of description and pattern from the comma list (views into it).
std::vector<pf::FileFilter> parse_filters(Str filters) {
    std::vector<pf::FileFilter> out;
    u16 items = filters.ok() && filters.n ? list_count(filters, ',') : 0;
    for (u16 i = 1; i + 1 <= items && out.size() < FILTERS_MAX; i += 2) {
        Str desc = str_trim(list_item(filters, ',', i), TRIM_BOTH);
        Str pattern = str_trim(list_item(filters, ',', u16(i + 1)), TRIM_BOTH);
        if (pattern.ok() && pattern.n) out.push_back(pf::FileFilter{view(desc), view(pattern)});
    }
    return out;
}

// Whether one pattern of a filter entry ("*.png;*.PNG", "*.*") takes the name's extension.
bool pattern_takes(std::string_view patterns, Str name) {
    Str ext = path_part(name, PART_EXT);
    for (size_t at = 0; at <= patterns.size();) {
        size_t end = std::min(patterns.find(';', at), patterns.size());
        std::string_view p = patterns.substr(at, end - at);
        while (!p.empty() && p.front() == ' ') p.remove_prefix(1);
        while (!p.empty() && p.back() == ' ') p.remove_suffix(1);
        if (p == "*" || p == "*.*") return true;
        if (p.size() > 2 && p.substr(0, 2) == "*." && ext.ok() &&
            str_equal_nocase(ext, str_view(p.data() + 2, u16(p.size() - 2))))
            return true;
        at = end + 1;
    }
    return false;
}

u16 filter_taking(const std::vector<pf::FileFilter>& list, Str name) {
    if (!name.ok() || !name.n) return 0;
    for (size_t i = 0; i < list.size(); i++)
        if (pattern_takes(list[i].pattern, name)) return u16(i + 1);
    return 0;
}

}  // namespace

Str ask_file(bool save, Str title, Str folder, Str initial, Str filters, u16* chosen_filter) {
    TmpScope scope;
    Str caption = title_or_default(title);
    std::vector<pf::FileFilter> list = parse_filters(filters);
    if (unattended()) {
        Str answer = answer_from_input(caption);
        if (chosen_filter) *chosen_filter = filter_taking(list, answer);
        return scope.keep(answer);
    }
    int chosen = -1;
    std::string path = pf::file_dialog(save, view(caption), view(folder), view(initial),
                                       list.data(), int(list.size()), &chosen);
    if (chosen_filter) *chosen_filter = u16(chosen + 1);
    return scope.keep(to_arena(path));
}

Str ask_folder(Str title, Str start) {
    TmpScope scope;
    Str caption = title_or_default(title);
    if (unattended()) return scope.keep(answer_from_input(caption));
    return scope.keep(to_arena(pf::folder_dialog(view(caption), view(start))));
}

pf::PrintJob* ask_printer(Str document, bool landscape, bool* chosen) {
    TmpScope scope;
    if (chosen) *chosen = false;
    if (!unattended()) return pf::print_begin(view(document), landscape, nullptr, chosen);
    Str pdf = answer_from_input(document.ok() && document.n ? document : S("Imprimir"));
    if (!pdf.n) return nullptr;
    return pf::print_begin(view(document), landscape, str_to_cstr(pdf), chosen);
}

}  // namespace vx::scr
