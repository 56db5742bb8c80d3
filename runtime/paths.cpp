// Folder names, %NAME% substitution and path arithmetic.
//
// A path is read with "/" or "\" as separator and built with "/". There are no drive
// letters here: a path counts as being on drive C:, and a leading "X:" is only kept as text.
#include "runtime/paths.h"

#include <string>

#include "platform/os.h"
#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/error.h"

namespace vx::rt {

namespace {

constexpr const char* SEPARATORS = "/\\";
constexpr const char* EXPAND_ENTRIES = "COMMANDLINE,APNAME,APDESCRIP,LANGMODULE.DOCPATH,DATAPATH,HELPPATH";
constexpr const char* EXPAND_DATABASE = "DATABASE_HOST,DATABASE_DBNAME,DATABASE_USER,DATABASE_PASSW";
constexpr const char* ENV_VARIABLES =
    "ALLUSERSPROFILE,APPDATA,CommonProgramFiles,HOMEDRIVE,HOMEPATH,ProgramFiles,SYSTEMDRIVE,"
    "SystemRoot,TEMP,USERPROFILE";
constexpr const char* LANG_SUFFIXES = "_en,_es,_fr,_de,_it";
constexpr u16 ENTRY_APNAME_POS = 2;  // position of APNAME in EXPAND_ENTRIES
// The environment entry each name of EXPAND_ENTRIES reads (HELPPATH reads the help folder).
constexpr u16 EXPAND_ENTRY_OF[] = {0, ENV_CMDLINE, ENV_APNAME, ENV_APDESC, ENV_LANG, ENV_DATA, ENV_HELP};

bool is_sep(u8 c) { return c == '/' || c == '\\'; }

Str str_of(const std::string& s) {
    Str r = tmp_alloc(u32(s.size() > MAX_STR ? MAX_STR : s.size()), NO_FILL);
    if (r.ok() && r.n) std::copy(s.data(), s.data() + r.n, str_mut(r));
    return r;
}

// Length of the drive part: "X:" at the start.
u16 drive_len(Str p) {
    return p.n >= 2 && p.at(1) == ':' && ((p.at(0) | 0x20) >= 'a' && (p.at(0) | 0x20) <= 'z') ? 2 : 0;
}

u16 last_sep(Str p) { return str_find_last_any(p, str_from_cstr(SEPARATORS), PLAIN); }

// The value a Windows environment variable stands for on this system.
Str windows_variable(Str name) {
    TmpScope scope;
    std::string v = os::env_var(str_to_cstr(name));
    if (v.empty()) {
        if (str_equal(name, S("TEMP"))) v = os::temp_dir();
        else if (str_equal(name, S("USERPROFILE")) || str_equal(name, S("HOMEPATH")))
            v = os::env_var("HOME");
        else if (str_equal(name, S("APPDATA"))) {
            v = os::env_var("XDG_CONFIG_HOME");
            if (v.empty() && !os::env_var("HOME").empty()) v = os::env_var("HOME") + "/.config";
        }
    }
    return scope.keep(str_of(v));
}

// The value of a %NAME% reference. Once a name has fallen through to the environment
// entries, later names are looked up there and in the database entries only.
Str expand_name(Str name, bool& entries_only) {
    TmpScope scope;
    if (!entries_only) {
        u16 folder = list_find(str_from_cstr(FOLDER_NAMES), ',', name);
        if (folder) return scope.keep(path_resolve(folder));
        Str vars = str_from_cstr(ENV_VARIABLES);
        u16 var = list_find(vars, ',', name);
        for (u16 i = 1; !var && i <= list_count(vars, ','); i++)
            if (str_equal_nocase(list_item(vars, ',', i), name)) var = i;
        if (var) return scope.keep(windows_variable(list_item(vars, ',', var)));
        entries_only = true;
    }
    u16 entry = list_find(str_from_cstr(EXPAND_ENTRIES), ',', name);
    if (entry == ENTRY_APNAME_POS) return scope.keep(app_prefix());
    if (entry) return scope.keep(env_get(EXPAND_ENTRY_OF[entry]));
    u16 db = list_find(str_from_cstr(EXPAND_DATABASE), ',', name);
    if (db) return scope.keep(str_clean(list_item(env_get(ENV_DB), ',', db)));
    return str_empty();
}

}  // namespace

Str path_cwd() {
    TmpScope scope;
    return scope.keep(str_of(os::current_dir()));
}

Str path_shared() {
    TmpScope scope;
    Str bin = path_part(str_of(os::program_path()), PART_DRIVE | PART_FOLDER);
    Str prefix = path_part(str_trim_set(bin, TRIM_RIGHT, S("/")), PART_DRIVE | PART_FOLDER);
    return scope.keep(path_join(prefix, str_from_cstr(SHARED_FOLDER)));
}

Str path_resolve(u16 number) {
    TmpScope scope;
    Str r;
    switch (number) {
    case APPPATH_RUNPATH: {
        Str prog = str_unquote(str_trim(list_item(env_get(ENV_CMDLINE), ' ', 1), TRIM_BOTH));
        r = path_part(prog, PART_DRIVE | PART_FOLDER);
        // A program started through the search path names no folder: take its real one.
        if (r.ok() && r.n == 0) r = path_part(str_of(os::program_path()), PART_DRIVE | PART_FOLDER);
        break;
    }
    case APPPATH_DEFAULT: r = env_get(ENV_DATA); break;
    case APPPATH_DATA: r = path_relative(path_resolve(APPPATH_DOCS), S("../data")); break;
    case APPPATH_DOCS:
        r = env_get(ENV_DOCS);
        if (r.n == 0) r = path_cwd();
        break;
    case APPPATH_HELP:
        r = env_get(ENV_HELP);
        if (r.n == 0) r = path_relative(env_get(ENV_DATA), S("Help"));
        break;
    case APPPATH_BACKUP: r = path_relative(env_get(ENV_DOCS), S("Backups")); break;
    case APPPATH_BACKREL: {
        Str db = env_get(ENV_DB);
        r = path_join(path_join(path_join(path_cwd(), S("Backups")), str_clean(list_item(db, ',', 1))),
                      str_clean(list_item(db, ',', 2)));
        break;
    }
    default: r = str_empty();
    }
    return scope.keep(r);
}

Str path_expand(Str text) {
    if (!text.ok()) return text;
    TmpScope scope;
    bool entries_only = false;
    Str s = text;
    for (u16 round = 0; round < PATH_EXPAND_ROUNDS; round++) {
        Str name = str_between(s, '%', PLAIN);
        if (!name.ok() || name.n == 0) break;
        Str value = expand_name(name, entries_only);
        Str ref = str_wrap(name, '%');
        s = str_replace(s, ref, value, PLAIN);
        if (!s.ok()) break;
        s = tmp_release_keep(scope.mark(), s);
    }
    return scope.keep(s);
}

Str path_join(Str folder, Str name) {
    if (!folder.ok()) return folder;
    if (!name.ok()) return name;
    TmpScope scope;
    bool plain = folder.n == 0 || is_sep(folder.at(folder.n - 1)) || name.n == 0 || is_sep(name.at(0));
    return scope.keep(plain ? str_concat(folder, name) : str_concat(str_concat(folder, S("/")), name));
}

Str path_ext_join(Str name, Str ext) {
    if (!name.ok()) return name;
    if (!ext.ok()) return ext;
    TmpScope scope;
    return scope.keep(str_join(name, S("."), ext));
}

Str path_part(Str path, u16 parts) {
    if (!path.ok()) return path;
    TmpScope scope;
    u16 drive = drive_len(path);
    u16 sep = last_sep(path);
    u16 name_at = sep == NOT_FOUND ? drive : sep + 1;
    u16 dot = str_find_last_char(path, '.', PLAIN);
    if (dot != NOT_FOUND && dot < name_at) dot = NOT_FOUND;
    u16 name_end = dot == NOT_FOUND ? path.n : dot;
    Str out = str_empty();
    if (parts & PART_DRIVE) out = str_substr(path, 0, drive);
    if (parts & PART_FOLDER) {
        Str folder = sep == NOT_FOUND ? str_empty() : str_substr(path, drive, u16(sep - drive));
        if (sep != NOT_FOUND && sep == drive) folder = str_substr(path, drive, 1);  // the root
        out = str_concat(out, folder);
    }
    if (parts & PART_NAME) {
        Str name = str_substr(path, name_at, u16(name_end - name_at));
        if (out.n && out.at(out.n - 1) != ':' && !is_sep(out.at(out.n - 1))) out = str_concat(out, S("/"));
        out = str_concat(out, name);
    }
    if ((parts & PART_EXT) && dot != NOT_FOUND) {
        Str ext = str_substr(path, dot + 1, NOT_FOUND);
        out = (parts & PART_NAME) ? str_concat(str_concat(out, S(".")), ext) : str_concat(out, ext);
    }
    return scope.keep(out);
}

Str path_relative(Str base, Str rel) {
    if (!base.ok()) return base;
    if (!rel.ok()) return rel;
    TmpScope scope;
    Str b = base;
    Str r = rel;
    while (r.n >= 2 && r.at(0) == '.' && r.at(1) == '.' && (r.n == 2 || is_sep(r.at(2)))) {
        b = path_part(b, PART_DRIVE | PART_FOLDER);
        r = str_substr(r, r.n == 2 ? 2 : 3, NOT_FOUND);
    }
    Str out = path_join(b, r);
    out = str_replace(out, S("/./"), S("/"), PLAIN);
    out = str_replace(out, S("\\.\\"), S("/"), PLAIN);
    return scope.keep(out);
}

Str path_find(Str folders, Str name) {
    if (!folders.ok()) return folders;
    if (!name.ok()) return name;
    TmpScope scope;
    auto exists = [&](Str p) -> Str {
        const char* c = str_to_cstr(p);
        if (os::path_exists(c)) return p;
        std::string found = os::find_nocase(c);
        return found.empty() ? Str{} : str_of(found);
    };
    if (name.n == 0) return str_empty();
    Str hit = exists(name);
    if (hit.ok()) return scope.keep(hit);
    u16 n = list_count(folders, ',');
    for (u16 i = 1; i <= n; i++) {
        Str folder = str_unquote(str_trim(list_item(folders, ',', i), TRIM_BOTH));
        if (folder.n == 0) continue;
        hit = exists(path_join(folder, name));
        if (hit.ok()) return scope.keep(hit);
    }
    return str_empty();
}

Str path_localised(Str name, u16 language) {
    if (!name.ok() || language == 0) return name;
    Str suffix = list_item(str_from_cstr(LANG_SUFFIXES), ',', language);
    if (suffix.n == 0) return name;
    TmpScope scope;
    Str stem = path_part(name, PART_DRIVE | PART_FOLDER | PART_NAME);
    Str ext = path_part(name, PART_EXT);
    return scope.keep(path_ext_join(str_concat(stem, suffix), ext));
}

u16 folder_make(Str path) {
    if (!path.ok()) return str_error_code(path);
    TmpScope scope;
    Str p = str_trim(path, TRIM_BOTH);
    while (p.n > 1 && is_sep(p.at(p.n - 1))) p.n--;
    if (p.n == 0) return error_note(1, M_STREAMS, E_DATA, fail_with_detail(E_DATA, path, false));
    // Create every component from the first one that is missing.
    for (u16 i = 1; i <= p.n; i++) {
        if (i < p.n && !is_sep(p.at(i))) continue;
        const char* prefix = str_to_cstr(str_substr(p, 0, i));
        if (!os::make_dir(prefix) && !os::is_dir(prefix))
            return error_note(1, M_STREAMS, E_DATA, fail_with_detail(E_DATA, path, false));
    }
    return 0;
}

Str file_kind_ext(u16 kind, bool second_list) {
    TmpScope scope;
    Str kinds = str_from_cstr(second_list ? FILE_KINDS_B : FILE_KINDS_A);
    Str ext = list_item(kinds, ',', kind & ~KIND_LOWER);
    return scope.keep((kind & KIND_LOWER) ? str_lower(ext) : str_copy(ext));
}

Str temp_name(u16 kind) {
    TmpScope scope;
    Str ext = file_kind_ext(kind, true);
    const char* suffix = str_to_cstr(ext.n ? str_concat(S("."), ext) : str_empty());
    std::string made = os::make_temp_file("", suffix);
    if (made.empty()) return scope.keep(str_error(E_FILEIO));
    return scope.keep(str_of(made));
}

}  // namespace vx::rt
