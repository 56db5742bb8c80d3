// The usage text and version of varnox and vxrun, answered before the run-time starts.
#include "app/usage.h"

#include <cstdio>
#include <string_view>

#include "platform/cp1252.h"
#include "platform/os.h"

#ifndef VX_VERSION
#define VX_VERSION "0"
#endif

namespace vx::app {

namespace {

constexpr const char* USAGE_ARGS[] = {"--help", "-help", "/help", "-h", "/h",
                                      "--h",    "-?",    "/?",    "--?"};
constexpr const char* VERSION_ARGS[] = {"--version", "-version", "/version"};
constexpr std::string_view LANG_KEY = "lang";
constexpr const char* LANG_VARIABLE = "VARNOX_LANG";
constexpr std::string_view ENGLISH = "en";

// The texts by language: Spanish (Windows-1252, as every text of the run-time), English.
struct Texts {
    const char* viewer_title;
    const char* runtime_title;
    const char* usage;  // "%s" is the program
    const char* keys;
    const char* login_keys;  // varnox only
    const char* run_keys;
    const char* windows;
    const char* exit;
};

constexpr Texts SPANISH = {
    "varnox - gr\xE1"
    "ficos de l\xED"
    "neas sobre las tablas de una base de datos PostgreSQL\n",
    "vxrun - el run-time de varnox sin su aplicaci\xF3n: sirve todos los tipos de tarea\n",
    "\nUso: %s [CLAVE=valor]...\n     %s --help | --version\n",
    "\nLas claves se escriben /CLAVE=valor, -CLAVE=valor, --CLAVE=valor o CLAVE:valor.\n"
    "Un valor termina en un blanco, '/', ':' o '&': entrecomille el valor que los\n"
    "contenga y el argumento entero para el shell, por ejemplo\n"
    "  %s \"/RUN='Help About'\"      %s '/RUN=Report %%APNAME%%report.ppn'\n\n",
    "  sqlhost=SERVIDOR[:PUERTO] database=BASE user=USUARIO passw=CLAVE port=N\n"
    "                     datos de acceso en lugar de los de sqlparams.dat\n"
    "  HELPURL=DIRECCI\xD3N  la ayuda de Ayuda > Ayuda (sin ella, las p\xE1ginas locales)\n",
    "  INPUT=FICHERO      l\xED"
    "neas de tareas que se ejecutan primero; los formularios\n"
    "                     toman de \xE9l sus respuestas\n"
    "  RUN=\"TAREA\"        una l\xED"
    "nea de tarea en lugar del men\xFA\n"
    "  BATCH              sin atender: ninguna ventana espera a una persona\n"
    "  OUTPUT=FICHERO     donde escriben los di\xE1logos sin atender\n"
    "  LANG=ES|EN         idioma de los textos (tambi\xE9n la variable VARNOX_LANG)\n"
    "  TRACE=N            bits de traza (273: solo el informe de arranque)\n",
    "\nEn las ventanas: Intro, AvP\xE1g o el bot\xF3n Aceptar confirman un formulario; Tab\n"
    "y May\xFAs+Tab pasan de un campo a otro; Esc o Cancelar lo cancelan. Con el bot\xF3n\n"
    "derecho sobre un gr\xE1"
    "fico: Imprimir y Grabar. F1 abre la ayuda; Esc en la\n"
    "ventana principal pregunta antes de salir.\n",
    "\nEstado de salida: 0 correcto (y los resultados por debajo de 128); 121 informe\n"
    "de arranque escrito; 122 cancelado (el acceso a datos, por ejemplo); 128-185 el\n"
    "c\xF3"
    "digo de error (162 error de la base de datos, 163 nada que ejecutar,\n"
    "164 fichero no encontrado...).\n",
};

constexpr Texts ENGLISH_TEXTS = {
    "varnox - line charts over the tables of a PostgreSQL database\n",
    "vxrun - the run-time of varnox without its application: it serves every task type\n",
    "\nUsage: %s [KEY=value]...\n       %s --help | --version\n",
    "\nKeys are written /KEY=value, -KEY=value, --KEY=value or KEY:value. A value ends\n"
    "at a blank, '/', ':' or '&': quote a value that holds one, and the whole argument\n"
    "for the shell, for example\n"
    "  %s \"/RUN='Help About'\"      %s '/RUN=Report %%APNAME%%report.ppn'\n\n",
    "  sqlhost=HOST[:PORT] database=NAME user=NAME passw=TEXT port=N\n"
    "                     log in with these values instead of those of sqlparams.dat\n"
    "  HELPURL=ADDRESS    the help of Ayuda > Ayuda (without it, the local pages)\n",
    "  INPUT=FILE         task lines run first; forms take their answers from it\n"
    "  RUN=\"TASK\"         one task line instead of the menu\n"
    "  BATCH              unattended: no window waits for a person\n"
    "  OUTPUT=FILE        where unattended dialogs write what they would show\n"
    "  LANG=EN|ES         language of the texts (also the variable VARNOX_LANG)\n"
    "  TRACE=N            trace bits (273: the start-up report only)\n",
    "\nIn the windows: Enter, Page Down or the OK button confirm a form; Tab and\n"
    "Shift+Tab move between its fields; Esc or Cancel cancel it. Right-click a chart\n"
    "to print or save it. F1 opens the help; Esc in the main window asks before\n"
    "quitting.\n",
    "\nExit status: 0 success (and results below 128); 121 start-up report written;\n"
    "122 cancelled (the login, for instance); 128-185 the error code (162 database\n"
    "error, 163 nothing to run, 164 file not found...).\n",
};

bool same_nocase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); i++) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

template <std::size_t N>
bool one_of(std::string_view arg, const char* const (&list)[N]) {
    for (const char* item : list)
        if (same_nocase(arg, item)) return true;
    return false;
}

// The value of the LANG key in one argument ("/LANG=en", "--lang=EN", "LANG:en", quoted or
// not), or "" when the argument is not that key.
std::string_view lang_of(std::string_view arg) {
    while (!arg.empty() && (arg.front() == '/' || arg.front() == '-')) arg.remove_prefix(1);
    if (arg.size() <= LANG_KEY.size() || !same_nocase(arg.substr(0, LANG_KEY.size()), LANG_KEY))
        return {};
    char sep = arg[LANG_KEY.size()];
    if (sep != '=' && sep != ':') return {};
    arg.remove_prefix(LANG_KEY.size() + 1);
    if (!arg.empty() && (arg.front() == '\'' || arg.front() == '"')) arg.remove_prefix(1);
    return arg.substr(0, ENGLISH.size());
}

std::string replaced(const char* pattern, std::string_view program) {
    std::string out;
    for (const char* c = pattern; *c; c++) {
        if (c[0] == '%' && c[1] == 's') {
            out += program;
            c++;
        } else if (c[0] == '%' && c[1] == '%') {
            out += '%';
            c++;
        } else {
            out += *c;
        }
    }
    return out;
}

const char* program_of(bool viewer) {
    return viewer ? "varnox" : "vxrun";
}

}  // namespace

Asked usage_asked(int argc, const char* const* argv) {
    for (int i = 1; i < argc; i++) {
        if (one_of(argv[i], USAGE_ARGS)) return Asked::Usage;
        if (one_of(argv[i], VERSION_ARGS)) return Asked::Version;
    }
    return Asked::Nothing;
}

bool usage_english(int argc, const char* const* argv) {
    for (int i = 1; i < argc; i++) {
        std::string_view code = lang_of(argv[i]);
        if (!code.empty()) return same_nocase(code, ENGLISH);
    }
    std::string var = os::env_var(LANG_VARIABLE);
    return same_nocase(std::string_view(var).substr(0, ENGLISH.size()), ENGLISH);
}

std::string usage_text(bool viewer, bool english) {
    const Texts& t = english ? ENGLISH_TEXTS : SPANISH;
    std::string_view program = program_of(viewer);
    std::string text = viewer ? t.viewer_title : t.runtime_title;
    text += replaced(t.usage, program);
    text += replaced(t.keys, program);
    if (viewer) text += t.login_keys;
    text += t.run_keys;
    text += t.windows;
    text += t.exit;
    return platform::cp1252_to_utf8(text);
}

std::string version_text(bool viewer) {
    return std::string(program_of(viewer)) + " " + VX_VERSION + "\n";
}

bool usage_answer(bool viewer, int argc, const char* const* argv) {
    Asked asked = usage_asked(argc, argv);
    if (asked == Asked::Nothing) return false;
    std::string text = asked == Asked::Usage ? usage_text(viewer, usage_english(argc, argv))
                                             : version_text(viewer);
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
    return true;
}

}  // namespace vx::app
