// Where the connection values come from: parameter lists, the command line, the option file
// "sqlparams.dat" and the remembered login of each role; and the start-up login, which asks
// with the login form for as long as the server refuses the values.
#include "data/sql.h"

#include <string>
#include <vector>

#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/error.h"
#include "runtime/files.h"
#include "runtime/msg.h"
#include "runtime/paths.h"

namespace vx::data {

using namespace vx::rt;

namespace {

// The option keys, in the order of ConnParams.
constexpr const char* PARAM_KEYS[PARAM_LIST_ITEMS] = {"sqlhost", "database", "user", "passw"};
constexpr const char* PORT_KEY = "port";
constexpr const char* REMEMBERED_DEFAULT = "'localhost'";
constexpr u16 MSG_LOGIN_FIELDS = 91;
constexpr u16 MSG_PORT_FIELD = 131;
constexpr const char* PLACEHOLDER = "%s";

using Lines = std::vector<Str>;

struct Login {
    LoginForm form = nullptr;
};

Login login;

bool all_digits(Str s) { return s.ok() && s.n && str_all_in_set(s, S("0123456789")); }

Str* param_field(ConnParams& p, u16 i) {
    Str* fields[PARAM_LIST_ITEMS] = {&p.host, &p.database, &p.user, &p.password};
    return fields[i];
}

// Item n of a parameter list, trimmed and unquoted (a view).
Str list_value(Str list, u16 n) { return str_unquote(str_trim(list_item(list, ',', n), TRIM_BOTH)); }

// A parameter file as named, else (a plain name) in the data folder; "" when not found.
Str param_file_path(Str name) {
    bool has_folder = str_find_any(name, 0, S("/\\"), PLAIN) != NOT_FOUND;
    return path_find(has_folder ? str_empty() : env_get(ENV_DATA), name);
}

// The lines of a parameter file (texts in the arena); none when it is missing. 0 or the
// arena's code.
u16 read_lines(Str name, Lines* lines) {
    lines->clear();
    Str path = param_file_path(name);
    if (!path.ok()) return str_error_code(path);
    if (!path.n) return 0;
    u16 h = file_open(path, FM_READ | FM_NOUPDATE | FM_QUIET);
    if (!file_handle_ok(h)) return 0;
    u16 rc = 0;
    while (!rc && !file_at_end(h)) {
        Str line = file_read_line(h);
        if (line.ok()) lines->push_back(line);
        else rc = str_error_code(line);
    }
    file_close(h);
    return rc == E_DISKIO ? 0 : rc;   // 130: the end came first
}

bool all_blank(const Lines& lines) {
    for (Str line : lines)
        if (str_trim(line, TRIM_BOTH).n) return false;
    return true;
}

// The cleaned value of key on the last line that holds it; "" when no line does.
Str option_of(const Lines& lines, Str key) {
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
        OptPos at = opt_find(*line, key, 0);
        if (at.found()) return str_clean(Str{line->p + at.pos, at.len});
    }
    return str_empty();
}

// The server of an option file: the value of "sqlhost" on the last line that holds it, with
// the port that follows it unquoted ("sqlhost=db:5433", where the value itself ends at the
// ':'); "" when no line holds it.
Str host_option_of(const Lines& lines) {
    Str key = str_from_cstr(PARAM_KEYS[0]);
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
        OptPos at = opt_find(*line, key, 0);
        if (!at.found()) continue;
        Str host = str_clean(Str{line->p + at.pos, at.len});
        u16 after = u16(at.pos + at.len);
        if (after >= line->n || line->at(after) != ':') return host;
        u16 end = str_find_any(*line, u16(after + 1), S(": &/"), QUOTED);
        Str port = str_substr(*line, after + 1, u16((end == NOT_FOUND ? line->n : end) - after - 1));
        return all_digits(port) ? sql_host_join(host, port) : host;
    }
    return str_empty();
}

// The command line names the server with "sqlhost" (as written or in capitals).
bool command_line_names_host() {
    Str line = env_get(ENV_CMDLINE);
    Str key = str_from_cstr(PARAM_KEYS[0]);
    return opt_find(line, key, 0).found() || opt_find(line, str_upper(key), 0).found();
}

ConnParams command_line_params() {
    ConnParams p;
    for (u16 i = 0; i < PARAM_LIST_ITEMS; i++) *param_field(p, i) = cmd_key_named(str_from_cstr(PARAM_KEYS[i]));
    p.host = sql_host_join(p.host, cmd_key_named(str_from_cstr(PORT_KEY)));
    return p;
}

// Writes a parameter list to the role's remembered-login file, private to its owner. The file
// is replaced in one step by a new private file, never opened again by its name, so that a
// link put at the name cannot lead the password elsewhere.
u16 remember(Str list, u16 flags) {
    Str name = sql_role_file(flags);
    if (!name.ok()) return str_error_code(name);
    if (!name.n) return 0;
    if (file_replace_all(name, list, true)) return fail_with_detail(E_FILEIO, name, false);
    return 0;
}

// A value quoted for a list or a form definition: in ' (or " when it holds '); a value with
// both kinds of quote loses its double quotes, so that nothing in it can end the item.
Str quoted_value(Str v) {
    Str q = str_quote(v, '\'');
    return q.ok() ? q : str_quote(str_replace(v, S("\""), str_empty(), PLAIN), '\'');
}

// The parameter list of four values, each quoted.
Str param_list(ConnParams& p) {
    Str list = str_empty();
    for (u16 i = 0; i < PARAM_LIST_ITEMS && list.ok(); i++) {
        Str item = quoted_value(*param_field(p, i));
        list = i ? str_join(list, S(","), item) : item;
    }
    return list;
}

// Connects from a parameter text; *used receives the parameter list of the values tried.
u16 connect_text(Str text, u16 flags, std::string* used) {
    TmpScope scope;
    ConnParams p;
    bool keep = false;
    if (list_count(text, ',') >= PARAM_LIST_ITEMS) {
        keep = str_to_int(list_value(text, PARAM_REMEMBER_ITEM)) != 0;
        for (u16 i = 0; i < PARAM_LIST_ITEMS; i++) *param_field(p, i) = list_value(text, u16(i + 1));
        p.host = sql_host_join(p.host, list_value(text, PARAM_PORT_ITEM));
        used->assign(text.p, text.n);
    } else {
        if (command_line_names_host()) p = command_line_params();
        else if (u16 rc = sql_params_read(text.n ? text : str_from_cstr(SQL_PARAMS_FILE), &p)) return rc;
        Str list = param_list(p);
        if (!list.ok()) return str_error_code(list);
        used->assign(list.p, list.n);
    }
    u16 rc = sql_connect(p.host, p.database, p.user, p.password, flags);
    // Only a login the server took is remembered: a mistyped password is not kept. A login
    // that cannot be remembered fails as a whole and leaves no connection behind.
    if (rc == 0 && keep && (rc = remember(text, flags))) sql_disconnect();
    return rc;
}

// The first line of the role's remembered-login file, "" without one.
Str remembered_login(u16 flags) {
    Str name = sql_role_file(flags);
    Lines lines;
    if (!name.ok() || !name.n || read_lines(name, &lines) || lines.empty()) return str_empty();
    return str_trim(lines.front(), TRIM_BOTH);
}

// The text with its n placeholders "%s" replaced, in order, by values (placeholders past
// the values are removed). The text is never used as a printf format.
Str fill_placeholders(Str text, const Str* values, u16 n) {
    Str mark = str_from_cstr(PLACEHOLDER);
    StrBuilder b;
    u16 used = 0, from = 0;
    for (u16 at; (at = str_find_sub_from(text, from, mark, PLAIN)) != NOT_FOUND; from = u16(at + mark.n)) {
        b.put(text.p + from, u32(at - from));
        if (used < n) b.put(values[used++]);
    }
    b.put(text.p + from, u32(text.n - from));
    return b.finish();
}

// The login form's definition: the fields of message 0091 with the remembered host,
// database, user and password as defaults, each quoted so that it stays one default.
Str login_definition(u16 flags) {
    Str remembered = remembered_login(flags);
    if (!remembered.n) remembered = str_from_cstr(REMEMBERED_DEFAULT);
    Str defaults[PARAM_LIST_ITEMS];
    for (u16 i = 0; i < PARAM_LIST_ITEMS; i++) {
        defaults[i] = quoted_value(list_value(remembered, u16(i + 1)));
        if (!defaults[i].ok()) return defaults[i];
    }
    Str fields = fill_placeholders(msg_text_id(MSG_LOGIN_FIELDS), defaults, PARAM_LIST_ITEMS);
    Str server, port;
    sql_host_split(list_value(remembered, 1), &server, &port);
    Str port_default = list_value(remembered, PARAM_PORT_ITEM);
    if (!port_default.n) port_default = port;
    port_default = quoted_value(port_default);
    if (!port_default.ok()) return port_default;
    Str port_field = fill_placeholders(msg_text_id(MSG_PORT_FIELD), &port_default, 1);
    return port_field.n ? str_join(fields, S(","), port_field) : fields;
}

u16 ask(Str title, u16 flags, std::string* values, bool* confirmed) {
    TmpScope scope;
    Str definition = login_definition(flags);
    if (!definition.ok()) return str_error_code(definition);
    Str answer = str_empty();
    *confirmed = false;
    u16 rc = login.form(title, definition, &answer, confirmed);
    values->assign(answer.ok() ? answer.p : "", answer.ok() ? answer.n : 0);
    return rc;
}

// The list as the environment keeps it: item 1 the host alone, and its port (from the host
// or the port item) as item 6, so that host and database still name folders and files.
Str list_for_environment(Str list) {
    Str server, port;
    sql_host_split(list_value(list, 1), &server, &port);
    Str own_port = list_value(list, PARAM_PORT_ITEM);
    if (own_port.n) port = own_port;
    if (!port.n) return list;
    Str out = list_set_item(list, ',', 1, quoted_value(server));
    return list_set_item(out, ',', PARAM_PORT_ITEM, quoted_value(port));
}

u16 store_login(const std::string& list) {
    TmpScope scope;
    Str text = str_view(list.data(), u16(list.size() < MAX_STR ? list.size() : MAX_STR));
    Str kept = list_for_environment(text);
    if (!kept.ok()) return str_error_code(kept);
    return env_set(env_get(ENV_DB).n ? ENV_DB2 : ENV_DB, kept);
}

}  // namespace

Str sql_role_file(u16 flags) {
    u16 role = u16(flags / LOGIN_ROLE_UNIT % LOGIN_ROLES);
    return list_item(str_from_cstr(ROLE_FILES), ',', u16(role + 1));
}

u16 sql_params_read(Str file, ConnParams* out) {
    if (!file.ok()) return str_error_code(file);
    *out = ConnParams{};
    Lines lines;
    if (u16 rc = read_lines(file, &lines)) return rc;
    if (all_blank(lines)) return fail_with_detail(E_SQLERROR, str_empty(), false);
    for (u16 i = 1; i < PARAM_LIST_ITEMS; i++) *param_field(*out, i) = option_of(lines, str_from_cstr(PARAM_KEYS[i]));
    out->host = sql_host_join(host_option_of(lines), option_of(lines, str_from_cstr(PORT_KEY)));
    return out->host.ok() ? 0 : str_error_code(out->host);
}

void sql_host_split(Str host, Str* name, Str* port) {
    *name = host;
    *port = str_empty();
    if (!host.ok() || !host.n) return;
    u16 colon = str_find_last_char(host, ':', PLAIN);
    if (host.at(0) == '[') {  // "[address]" or "[address]:port"
        u16 close = str_find_char(host, 0, ']', PLAIN);
        if (close == NOT_FOUND) return;
        Str rest = str_substr(host, close + 1, NOT_FOUND);
        if (rest.n && (rest.at(0) != ':' || !all_digits(str_substr(rest, 1, NOT_FOUND)))) return;
        *name = str_substr(host, 1, u16(close - 1));
        if (rest.n) *port = str_substr(rest, 1, NOT_FOUND);
        return;
    }
    if (colon == NOT_FOUND || str_find_char(host, 0, ':', PLAIN) != colon) return;  // none, or IPv6
    Str after = str_substr(host, colon + 1, NOT_FOUND);
    if (!all_digits(after)) return;
    *name = str_substr(host, 0, colon);
    *port = after;
}

Str sql_host_join(Str host, Str port) {
    if (!host.ok() || !port.ok() || !port.n) return host;
    Str name, own;
    sql_host_split(host, &name, &own);
    if (own.n) return host;
    TmpScope scope;
    bool v6 = str_find_char(host, 0, ':', PLAIN) != NOT_FOUND && (!host.n || host.at(0) != '[');
    Str bracketed = v6 ? str_concat(str_concat(S("["), host), S("]")) : host;
    return scope.keep(str_concat(str_concat(bracketed, S(":")), port));
}

u16 sql_connect_text(Str text, u16 flags) {
    if (!text.ok()) return str_error_code(text);
    std::string used;
    return connect_text(text, flags, &used);
}

void sql_login_form_set(LoginForm form) { login.form = form; }

u16 sql_login(Str text, u16 flags, Str title) {
    if (!text.ok()) return str_error_code(text);
    std::string work(text.p, text.n), used;
    u16 rc = E_SQLERROR;
    for (;;) {
        if (!work.empty()) {
            rc = connect_text(str_view(work.data(), u16(work.size())), flags, &used);
            if (rc != E_SQLERROR) break;
        }
        if (!login.form) break;
        // The person who is asked again learns why (a missing parameter file says nothing).
        if (rc == E_SQLERROR && error_detail().n) error_show(rc);
        bool confirmed = false;
        rc = ask(title, flags, &work, &confirmed);
        if (rc) break;
        used = work;
        if (!confirmed) break;
    }
    return rc ? rc : store_login(used);
}

}  // namespace vx::data
