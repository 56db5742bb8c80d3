// Message lookup: the message file of the language, loaded once into a memory block, the
// default text of a request and the built-in catalog; and the registration of the message
// layer with start-up.
//
// A message file holds lines "NNNN text" in ascending order of identifier; "\n" in a text
// stands for a line break. Each line fills one slot; identifiers skipped inside a run give
// empty slots, and a gap too long to fill starts a new run. Slots past MSG_SLOTS stay empty.
#include "runtime/msg.h"

#include <algorithm>
#include <string>

#include "platform/gui.h"
#include "platform/os.h"
#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/error.h"
#include "runtime/files.h"
#include "runtime/msgbox.h"
#include "runtime/msgcat.h"
#include "runtime/paths.h"
#include "runtime/startup.h"
#include "runtime/sysvars.h"

namespace vx::rt {

namespace {

constexpr const char* FILE_PREFIX = "KV_LANG_";
constexpr const char* FILE_SUFFIX = ".MSJ";
constexpr const char* FILE_PATTERN = "KV_LANG_*.MSJ";
constexpr char FILE_LIST_SEP = '\0';
constexpr char ENTRY_SEP = '\t';
constexpr u16 TEXT_OFFSET = MSG_ID_LEN + 1;  // the text follows the identifier and a blank
constexpr u16 PRECIS_TEXT_MAX = 8;
constexpr const char* LANG_KEY = "LANG";              // the command-line key of the language
constexpr const char* LANG_VARIABLE = "VARNOX_LANG";  // ... and the environment variable
constexpr u16 LANG_CODE_LEN = 2;
constexpr const char* LANG_OF_CATALOG = "ES";         // the built-in texts' language

enum FileState : u8 { NOT_LOOKED_FOR, LOADING_OR_ABSENT, LOADED };

// A run of consecutive identifiers and the slot of its first one.
struct Range {
    u16 first = 0;
    u16 last = 0;
    u16 slot = 0;
};

struct Messages {
    FileState state = NOT_LOOKED_FOR;
    GrowBuf text;              // the loaded texts, one after another
    u16 ends[MSG_SLOTS] = {};  // end offset of each slot's text
    u16 slots = 0;
    Range ranges[MSG_RANGES];
    u16 range_count = 0;
};

Messages msgs;

bool is_digit(u8 c) {
    return c >= '0' && c <= '9';
}

// The number of the first four characters when all four are digits, else 0.
u16 id_of(Str s) {
    if (!s.ok() || s.n < MSG_ID_LEN) return 0;
    u16 id = 0;
    for (u16 i = 0; i < MSG_ID_LEN; i++) {
        if (!is_digit(s.at(i))) return 0;
        id = u16(id * 10 + (s.at(i) - '0'));
    }
    return id;
}

// ---- Finding the message file ----

bool has_exact_case(const std::string& name) {
    std::string prefix = FILE_PREFIX, suffix = FILE_SUFFIX;
    return name.size() >= prefix.size() + suffix.size() &&
           name.compare(0, prefix.size(), prefix) == 0 &&
           name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The first name in byte order that matches the pattern, preferring names written in the
// pattern's own case.
Str first_matching(Str folder) {
    TmpScope scope;
    std::string names = os::list_matching(str_to_cstr(folder), FILE_PATTERN, FILE_LIST_SEP);
    std::string chosen, any;
    for (std::size_t at = 0; at < names.size() && chosen.empty();) {
        std::size_t end = names.find(FILE_LIST_SEP, at);
        if (end == std::string::npos) end = names.size();
        std::string name = names.substr(at, end - at);
        if (any.empty()) any = name;
        if (has_exact_case(name)) chosen = name;
        at = end + 1;
    }
    if (chosen.empty()) chosen = any;
    if (chosen.empty()) return str_empty();
    Str name = str_view(chosen.data(), u16(chosen.size()));
    return scope.keep(path_join(folder, name));
}

Str file_of_language(Str folder, Str lang) {
    TmpScope scope;
    Str name = str_concat(str_concat(str_from_cstr(FILE_PREFIX), lang), str_from_cstr(FILE_SUFFIX));
    Str path = path_join(folder, name);
    return file_exists(path) ? scope.keep(path) : str_empty();
}

// The message file of the language in the data folders (the current folder when none is
// set), then in the shared folder; any language's file in the first of those folders when
// the language is not set yet. "" when there is none.
Str message_file() {
    TmpScope scope;
    Str lang = env_get(ENV_LANG);
    Str folders = env_get(ENV_DATA);
    if (!lang.ok() || !folders.ok()) return str_empty();
    u16 count = folders.n ? list_count(folders, ',') : 1;
    for (u16 i = 1; i <= count; i++) {
        Str folder = folders.n ? str_trim(list_item(folders, ',', i), TRIM_BOTH) : str_empty();
        Str path = lang.n ? file_of_language(folder, lang) : first_matching(folder);
        if (path.ok() && path.n) return scope.keep(path);
    }
    if (!lang.n) return str_empty();
    Str shared = file_of_language(path_shared(), lang);
    return scope.keep(shared.ok() ? shared : str_empty());
}

// ---- Loading it ----

void add_slot(Str text) {
    if (msgs.slots == MSG_SLOTS) return;
    if (text.ok() && text.n) gbuf_append(msgs.text, text.p, text.n);
    msgs.ends[msgs.slots++] = msgs.text.used;
}

// Places the text of one line. Lines out of order, and lines past the last run when no run
// is left, are dropped.
void add_message(u16 id, Str text) {
    Range* r = msgs.range_count ? &msgs.ranges[msgs.range_count - 1] : nullptr;
    if (r && id <= r->last) return;
    if (!r || id - r->last > MSG_GAP_FILL_MAX + 1) {
        if (msgs.range_count == MSG_RANGES) return;
        r = &msgs.ranges[msgs.range_count++];
        *r = Range{id, u16(id - 1), msgs.slots};
    }
    for (u32 skipped = u32(r->last) + 1; skipped < id; skipped++) add_slot(str_empty());
    add_slot(text);
    r->last = id;
}

// The text of a line: from the sixth character, with each "\n" made a CR LF.
Str line_text(Str line) {
    Str text = str_substr(line, TEXT_OFFSET, NOT_FOUND);
    Str broken = str_replace(text, S("\\n"), S("\r\n"), PLAIN);
    return broken.ok() ? broken : str_empty();
}

void load_file(Str path) {
    u16 h = file_open(path, FM_READ | FM_NOUPDATE | FM_QUIET);
    if (!file_handle_ok(h)) return;
    if (gbuf_create(msgs.text, TAG_MESSAGES, MSG_TEXT_START) == 0) {
        while (!file_at_end(h)) {
            TmpScope line_scope;
            Str line = file_read_line(h);
            if (!line.ok()) break;
            u16 id = id_of(line);
            if (id) add_message(id, line_text(line));
        }
        msgs.state = LOADED;
    }
    file_close(h);
}

void look_for_file() {
    msgs.state = LOADING_OR_ABSENT;
    TmpScope scope;
    Str path = message_file();
    if (path.ok() && path.n) load_file(path);
}

// ---- Reading texts ----

const Range* range_of(u16 id) {
    for (u16 i = 0; i < msgs.range_count; i++)
        if (id >= msgs.ranges[i].first && id <= msgs.ranges[i].last) return &msgs.ranges[i];
    return nullptr;
}

Str slot_text(u16 slot) {
    if (slot >= msgs.slots) return str_empty();
    u16 start = slot ? msgs.ends[slot - 1] : 0;
    return Str{msgs.text.p + start, u16(msgs.ends[slot] - start)};
}

u16 block_of(u16 id) {
    u16 b = MSGCAT_BLOCKS - 1;
    while (b > 0 && id < MSGCAT_BLOCK_START[b]) b--;
    return b;
}

// The entry of the identifier in a block: four digits at the start of an entry, a blank,
// then the text up to the next tab outside quotes.
Str catalog_text(Str block, Str id) {
    u16 from = 0;
    while (from < block.n) {
        u16 at = str_find_sub_from(block, from, id, QUOTED);
        if (at == NOT_FOUND || u32(at) + TEXT_OFFSET > block.n) return str_empty();
        bool entry_start = at == 0 || block.at(u16(at - 1)) == ENTRY_SEP;
        if (entry_start && block.at(u16(at + MSG_ID_LEN)) == ' ') {
            u16 start = u16(at + TEXT_OFFSET);
            u16 end = str_find_char(block, start, ENTRY_SEP, QUOTED);
            if (end == NOT_FOUND) end = block.n;
            return str_substr(block, start, u16(end - start));
        }
        from = u16(at + 1);
    }
    return str_empty();
}

// ---- Start-up services ----

// The language asked for: the LANG key of the command line, else the environment variable
// VARNOX_LANG; its first two letters in capitals, "" when they name no language of the list.
Str language_asked() {
    Str v = cmd_key_named(str_from_cstr(LANG_KEY));
    if (!v.ok() || !v.n) {
        std::string var = os::env_var(LANG_VARIABLE);
        v = str_copy(str_view(var.data(), u16(std::min<std::size_t>(var.size(), LANG_CODE_LEN))));
    }
    Str code = str_upper(str_substr(str_trim(v, TRIM_BOTH), 0, LANG_CODE_LEN));
    return code.ok() && code.n == LANG_CODE_LEN && lang_index(code) ? code : str_empty();
}

// After the application's first look at the command line: a language asked for becomes the
// language (unless the application chose one), and its message file replaces the one found
// before the language was known. The window system's own texts follow the language.
u16 language_service() {
    TmpScope scope;
    Str asked = language_asked();
    if (asked.n && !env_get(ENV_LANG).n) {
        if (u16 rc = env_set(ENV_LANG, asked)) return rc;
        msg_shutdown();
        look_for_file();
        if (u16 rc = env_set(ENV_LANGTEXTS, msg_lang_texts())) return rc;
    }
    Str lang = env_get(ENV_LANG);
    if (!lang.n) lang = str_from_cstr(LANG_OF_CATALOG);
    platform::gui_language(std::string_view(lang.p, lang.n));
    return 0;
}

void show_error_service(u16 code) {
    error_show(code);
}

// The About box of the start-up report shows the number of decimals as its last line.
void about_service() {
    TmpScope scope;
    about_show(str_format(PRECIS_TEXT_MAX, "%d", int(sysint_get(SV_PRECIS))));
}

}  // namespace

Str msg_text(Str request) {
    if (!request.ok()) return request;
    u16 id = id_of(request);
    if (msgs.state == NOT_LOOKED_FOR && mem_ready()) look_for_file();
    if (id && msgs.state == LOADED) {
        if (const Range* r = range_of(id)) return slot_text(u16(r->slot + (id - r->first)));
    }
    if (request.n > MSG_ID_LEN) return str_substr(request, TEXT_OFFSET, NOT_FOUND);
    if (request.n < MSG_ID_LEN) return str_empty();
    return catalog_text(msgcat_block(block_of(id)), str_substr(request, 0, MSG_ID_LEN));
}

Str msg_text_id(u16 id) {
    if (id > MSG_ID_MAX) return str_empty();
    char digits[MSG_ID_LEN];
    for (int i = MSG_ID_LEN - 1; i >= 0; i--, id /= 10) digits[i] = char('0' + id % 10);
    return msg_text(Str{digits, MSG_ID_LEN});  // a bare identifier never answers with itself
}

Str msg_lang_texts() {
    Str masks = msg_text_id(MSG_MASKS);
    Str dates = msg_text_id(MSG_DATES);
    StrBuilder b;
    b.put(masks);
    b.put("\0", 1);
    b.put(dates);
    b.put("\0 ", 2);
    return b.finish();
}

void msg_shutdown() {
    gbuf_free(msgs.text);
    msgs = Messages{};
}

void msg_install() {
    RuntimeServices& s = runtime_services();
    s.lang_texts = msg_lang_texts;
    s.show_error = show_error_service;
    s.about_show = about_service;
    s.language = language_service;
}

}  // namespace vx::rt
