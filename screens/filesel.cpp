// The file kinds of the run-time's file dialogs, their filters and initial names, and the
// dialogs themselves over ask_file.
#include "screens/filesel.h"

#include "platform/os.h"
#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/files.h"
#include "runtime/msg.h"
#include "runtime/paths.h"
#include "screens/dialogs.h"

namespace vx::scr {

using namespace vx::rt;

namespace {

constexpr u16 MSG_ALL_FILES = 60;  // "Todos (%s),%s"
constexpr const char* ALL_FILES = "*.*";
constexpr const char* FORMAT_ARG = "%s";

struct FileKind {
    u16 kind;
    u16 filter_msg;        // formatted with the pattern as description and as pattern
    u16 ext;               // item of FILE_KINDS_B
    const char* fixed;     // a name of its own after the prefix; null: "*" and the extension
};

constexpr FileKind FILE_KINDS[] = {
    {1, 61, 5, "DICC.DAT"},  // structures: the dictionary
    {2, 62, 2, nullptr},     // screens
    {3, 63, 6, nullptr},     // print templates
    {4, 64, 7, nullptr},     // procedures
    {5, 65, 8, nullptr},     // application selections
    {6, 66, 1, "MENU.PPN"},  // menus
    {7, 67, 10, nullptr},    // PDF files
    {8, 68, 11, nullptr},    // text files
    {10, 61, 5, nullptr},    // structures: any data file
};

const FileKind* kind_of(u16 kind_flags) {
    u16 kind = kind_flags & FD_KIND;
    for (const FileKind& k : FILE_KINDS)
        if (k.kind == kind) return &k;
    return nullptr;
}

// "*." and the kind's extension.
Str kind_pattern(const FileKind& k) { return str_concat(S("*."), file_kind_ext(k.ext, true)); }

// A filter message with both of its places filled with the pattern. Only "%s" is replaced:
// a message text (a language file may give it) is never used as a format.
Str filter_entry(u16 msg, Str pattern) {
    return str_replace(msg_text_id(msg), str_from_cstr(FORMAT_ARG), pattern, PLAIN);
}

// The application prefix with FD_PREFIX when there is one; else "??" before a name of a kind's
// own, and nothing before a pattern.
Str prefix_of(const FileKind& k, u16 kind_flags) {
    if (kind_flags & FD_PREFIX) {
        Str prefix = app_prefix();
        if (prefix.ok() && prefix.n) return prefix;
    }
    return str_from_cstr(k.fixed ? ANY_PREFIX : "");
}

// Paths beyond the name buffer of the dialogs count as no choice rather than being cut.
Str within_limit(Str path) { return path.ok() && path.n <= FILE_NAME_MAX ? path : str_empty(); }

Str view_or_empty(Str s) { return s.ok() ? s : str_empty(); }

}  // namespace

Str file_dialog_filter(u16 kind_flags) {
    TmpScope scope;
    Str all = filter_entry(MSG_ALL_FILES, str_from_cstr(ALL_FILES));
    const FileKind* k = kind_of(kind_flags);
    if (!k) return scope.keep(str_copy(all));
    return scope.keep(str_join(filter_entry(k->filter_msg, kind_pattern(*k)), S(","), all));
}

Str file_dialog_initial(u16 kind_flags) {
    TmpScope scope;
    const FileKind* k = kind_of(kind_flags);
    if (!k) return scope.keep(str_copy(str_from_cstr(ALL_FILES)));
    Str name = k->fixed ? str_from_cstr(k->fixed) : kind_pattern(*k);
    return scope.keep(str_concat(prefix_of(*k, kind_flags), name));
}

Str file_dialog(bool save, u16 kind_flags) {
    TmpScope scope;
    Str folder = path_cwd();
    Str path = ask_file(save, str_empty(), str_empty(), file_dialog_initial(kind_flags),
                        file_dialog_filter(kind_flags));
    if ((kind_flags & FD_KEEP_FOLDER) && folder.ok() && folder.n)
        vx::os::change_dir(str_to_cstr(folder));
    return scope.keep(str_copy(within_limit(path)));
}

Str file_dialog_raw(bool save, Str initial, Str pattern, Str filter) {
    TmpScope scope;
    initial = view_or_empty(initial);
    pattern = view_or_empty(pattern);
    filter = view_or_empty(filter);
    if (!filter.n && pattern.n) filter = str_join(pattern, S(","), pattern);
    Str path = ask_file(save, str_empty(), str_empty(), initial.n ? initial : pattern, filter);
    return scope.keep(str_copy(within_limit(path)));
}

}  // namespace vx::scr
