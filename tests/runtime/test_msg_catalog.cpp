// Message texts: the built-in catalog, default texts, message files, the language texts of
// environment entry 0, and the names and messages of error codes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/error.h"
#include "runtime/msg.h"
#include "runtime/msgcat.h"
#include "runtime/startup.h"
#include "support/fixtures.h"
#include "test_msg_support.h"

using namespace vx::rt;
using vx::test::text;

namespace {

class MsgTest : public vx::test::MsgFixture {
protected:
    MsgTest() : MsgFixture("msg") {}
    std::string msg(const char* request) {
        TmpScope scope;
        return text(msg_text(str_from_cstr(request)));
    }
};

using MsgCatalog = MsgTest;
using MsgFile = MsgTest;
using ErrorText = MsgTest;

}  // namespace

TEST_F(MsgCatalog, TextsAreByteExact) {
    struct Case {
        unsigned id;
        std::string text;
    } cases[] = {
        {1, "Error al inicializar la Memoria"},
        {8, "Precauci\xF3n "},
        {11, "Ss,Nn"},
        {17, "Parametros incorrectos para campo de pantalla%s\r\n (%s)"},
        {19, ",.'0123456789,-D',' NS','  ,NO,SI'"},
        {25,
         "\xBF"
         "Anular Registro(s)?"},
        {33,
         "Recuerde sus Copias de Seguridad\n\r\xBF"
         "Desea Cerrar la aplicacion? (%i Pantallas, %i Ventanas)"},
        {39,
         "\xBF"
         "Continuar?"},
        {40,
         "\xBF"
         "Desea ver Incidencias?"},
        {71, "P\xE1ginas de Ayuda"},
        {88, "Selecci\xF3n de Fichero"},
        {89, "Relativa,Secuencial,Delimitada,Listado"},
        {91,
         "'Servidor:':'A30'::%s,'Base:':'A30'::%s,'Usuario:':'A30'::%s,'Contrase\xF1"
         "a:':'P30'::%s,"
         "'Recordar (S/N):':'L1'"},
        {110, "'Informes','\tCrear Nuevo,[$]','\tInformes,[$]%APNAME%report.ppn'"},
        {117,
         "'Enero,Febrero,Marzo,Abril,Mayo,Junio,Julio,Agosto,Septiembre,Octubre,Noviembre,"
         "Diciembre','[D] de [M] de [Y]'"},
        {120, "'Ayuda','\tAyuda,Help','\tAcerca de,Help About'"},
        {121, "Solo se realiz\xF3 la copia del Servidor"},
        {130, "Salir,Imprimir,Grabar"},
        {1001, "Configuraci\xF3n de Estadistica Grafica"},
        {1005,
         "'Expresion de grupo (Line):':'A255','Expresion Valor:':'A255','Expresion Inicial "
         "(Reset):':'A255','Condicion de busqueda:':'A255','Variable de almacenamiento:':'A255'"},
        // Identifiers no block holds.
        {0, ""},
        {69, ""},
        {76, ""},
        {102, ""},
        {122, ""},
        {999, ""},
        {1000, ""},
        {1006, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(text(msg_text_id(u16(c.id))), c.text) << c.id;
}

TEST_F(MsgCatalog, EveryEntryIsFoundAndNoTextHoldsUtf8) {
    unsigned entries = 0;
    for (u16 b = 0; b < MSGCAT_BLOCKS; b++) {
        std::string block = text(msgcat_block(b));
        for (std::size_t i = 0; i + 1 < block.size(); i++) {
            unsigned char c = block[i], next = block[i + 1];
            EXPECT_FALSE(c >= 0xC2 && c <= 0xF4 && (next & 0xC0) == 0x80)
                << "block " << b << " at " << i;
        }
        // Entries start the block or follow a tab outside quotes; each must be found again.
        for (std::size_t at = 0; at < block.size();) {
            std::string id = block.substr(at, 4);
            u16 n = u16(std::stoi(id));
            EXPECT_GE(n, MSGCAT_BLOCK_START[b]);
            TmpScope scope;
            Str t = msg_text_id(n);
            ASSERT_TRUE(t.ok());
            EXPECT_EQ(block.compare(at + 5, t.n, t.p, t.n), 0) << id;
            entries++;
            at += 5 + t.n + 1;
        }
    }
    EXPECT_EQ(entries, 121u);
}

TEST_F(MsgCatalog, RequestsWithDefaultTexts) {
    EXPECT_EQ(msg("0040 xyz"), "xyz") << "without a message file the default text wins";
    EXPECT_EQ(msg("0040"),
              "\xBF"
              "Desea ver Incidencias?");
    EXPECT_EQ(msg("0040 "), "");
    EXPECT_EQ(msg("0000 abc"), "abc");
    EXPECT_EQ(msg("9999 last"), "last");
    EXPECT_EQ(msg("40"), "") << "a short request names no entry";
    EXPECT_EQ(msg("x040"), "");
    EXPECT_EQ(msg(""), "");
    EXPECT_EQ(text(msg_text(str_error(145))), "<error 145>");
}

TEST_F(MsgCatalog, LanguageTextsOfEntryZero) {
    TmpScope scope;
    std::string expected = ",.'0123456789,-D',' NS','  ,NO,SI'" + std::string(1, '\0') +
                           "'Enero,Febrero,Marzo,Abril,Mayo,Junio,Julio,Agosto,Septiembre,Octubre,"
                           "Noviembre,Diciembre','[D] de [M] de [Y]'" +
                           std::string(1, '\0') + " ";
    EXPECT_EQ(text(msg_lang_texts()), expected);
}

TEST_F(MsgFile, OverridesTheCatalogAndFillsGaps) {
    write("KV_LANG_EN.MSJ",
          "0001 Memory error\r\n"
          "0003 Two\\nlines\r\n"
          "0005 Done\n"  // LF alone ends a line too
          "junk line\r\n"
          "0000 zero is no identifier\r\n"
          "0004 out of order\r\n"
          "0008 Warning \r\n"
          "0011 Yy,Nn\r\n"
          "0040 See incidents?\r\n");
    struct Case {
        const char* request;
        std::string text;
    } cases[] = {
        {"0001", "Memory error"},
        {"0002", ""},  // skipped inside the run
        {"0003", "Two\r\nlines"},
        {"0004", ""},  // its line came too late
        {"0005", "Done"},
        {"0008", "Warning "},
        {"0011", "Yy,Nn"},
        {"0040 xyz", "See incidents?"},
        {"0039 xyz", ""},     // inside the run: the file's empty text
        {"0041 xyz", "xyz"},  // past the file: default text, then the catalog
        {"0041", "Pagina Html no definida"},
        {"0000 abc", "abc"},
    };
    for (const auto& c : cases) EXPECT_EQ(msg(c.request), c.text) << c.request;
}

TEST_F(MsgFile, SlotsPastTheLimitReadEmpty) {
    std::string body;
    char line[32];
    for (int id = 1; id <= 300; id++) {
        std::snprintf(line, sizeof line, "%04d t%d\r\n", id, id);
        body += line;
    }
    write("KV_LANG_ES.MSJ", body);
    EXPECT_EQ(msg("0001"), "t1");
    EXPECT_EQ(msg("0256"), "t256");
    EXPECT_EQ(msg("0257"), "");
    EXPECT_EQ(msg("0300 x"), "");
    EXPECT_EQ(msg("0301 x"), "x");
}

TEST_F(MsgFile, LongGapStartsANewRun) {
    write("KV_LANG_EN.MSJ",
          "0001 one\r\n0130 Quit,Print,Save\r\n1001 Chart setup\r\n1003 Titles\r\n");
    EXPECT_EQ(msg("0001"), "one");
    EXPECT_EQ(msg("0130"), "Quit,Print,Save");
    EXPECT_EQ(msg("1001"), "Chart setup") << "texts after a long gap are kept";
    EXPECT_EQ(msg("1002"), "");
    EXPECT_EQ(msg("1003"), "Titles");
    EXPECT_EQ(msg("0040"),
              "\xBF"
              "Desea ver Incidencias?")
        << "a long gap is no part of a run";
    EXPECT_EQ(msg("0500 dflt"), "dflt");
}

TEST_F(MsgFile, FirstFileInByteOrderPreferringItsOwnCase) {
    write("KV_LANG_FR.MSJ", "0001 fr\r\n");
    write("KV_LANG_DE.MSJ", "0001 de\r\n");
    write("kv_lang_aa.msj", "0001 aa\r\n");
    write("KV_LANG.MSJ", "0001 none\r\n");
    EXPECT_EQ(msg("0001"), "de");
}

TEST_F(MsgFile, OtherCaseWhenNoNameMatchesExactly) {
    write("kv_lang_it.msj", "0001 it\r\n");
    EXPECT_EQ(msg("0001"), "it");
}

TEST_F(MsgFile, LanguageAndDataFolderChooseTheFile) {
    std::filesystem::create_directories(dir_.path() / "data");
    write("KV_LANG_DE.MSJ", "0001 de here\r\n");
    write("data/KV_LANG_DE.MSJ", "0001 de in data\r\n");
    write("data/KV_LANG_EN.MSJ", "0001 en in data\r\n");
    ASSERT_EQ(env_set(ENV_LANG, S("EN")), 0);
    ASSERT_EQ(env_set(ENV_DATA, S("nowhere, data")), 0);
    EXPECT_EQ(msg("0001"), "en in data");
}

TEST_F(MsgFile, LookedForOnceUntilShutdown) {
    EXPECT_EQ(msg("0001"), "Error al inicializar la Memoria");
    write("KV_LANG_EN.MSJ", "0001 late\r\n");
    EXPECT_EQ(msg("0001"), "Error al inicializar la Memoria")
        << "the file came after the first request";
    msg_shutdown();
    EXPECT_EQ(msg("0001"), "late");
}

TEST_F(MsgFile, LanguageTextsComeFromTheFile) {
    write("KV_LANG_EN.MSJ", "0019 masks\r\n0117 'January','[M] [D], [Y]'\r\n");
    TmpScope scope;
    const char expected[] = "masks\0'January','[M] [D], [Y]'\0 ";
    EXPECT_EQ(text(msg_lang_texts()), std::string(expected, sizeof expected - 1));
}

TEST_F(ErrorText, NamesOfCodesAndModules) {
    struct Case {
        unsigned code;
        std::string name;
    } names[] = {
        {0, "Indefinido"},
        {121, "Indefinido"},
        {122, "Cancelado por el usuario"},
        {132, "Ejecuci\xF3n de Procedimiento"},
        {163, "de Datos"},
        {181, "Variable ScreenField"},
        {182, "Indefinido"},
        {183, "Datos Existentes"},
        {185, "Soporte Grafico Insuficiente"},
        {186, "Indefinido"},
        {65535, "Indefinido"},
    };
    for (const auto& c : names) EXPECT_EQ(text(error_name(u16(c.code))), c.name) << c.code;
    struct Mod {
        unsigned n;
        std::string name;
    } modules[] = {
        {0, ""},
        {1, "STRINGINIT"},
        {8, "Malloc-MemAcums"},
        {14, "DynStrings"},
        {17, "Streams"},
        {22, "HtmlScan"},
        {23, ""},
    };
    for (const auto& m : modules) EXPECT_EQ(text(module_name(u16(m.n))), m.name) << m.n;
}

TEST_F(ErrorText, MessagesOfCodes) {
    struct Case {
        unsigned code, module;
        const char* detail;
        std::string message;
    } cases[] = {
        {145, 14, "x", "Error OUTOFMEMORY(DynStrings): x"},
        {145, 0, "x", "Error OUTOFMEMORY: x"},
        {164, 17, "", "Error Fichero no encontrado(Streams)"},
        {123, 0, "", "Expresion Nula"},
        {123, 0, "ignored", "Expresion Nula"},
        {126, 0, "the detail", "the detail"},
        {126, 0, "", "Datos incorrectos"},
        {121, 0, "why", "why"},
        {121, 0, "", "Indefinido"},
        {300, 0, "", "Error Indefinido"},
        {0, 0, "", "Proceso Completado Satisfactoriamente"},
        {50, 0, "", "Precauci\xF3n "},
    };
    for (const auto& c : cases) {
        error_note(2, u16(c.module), u16(c.code), 0);
        fail_with_detail(0, str_from_cstr(c.detail), false);
        TmpScope scope;
        EXPECT_EQ(text(error_message(u16(c.code))), c.message) << c.code;
    }
}

TEST_F(ErrorText, ErrorCurrentIsTheRecordedPair) {
    error_note(1, M_DYNSTRINGS, E_OUTOFMEMORY, 0);
    error_note(1, M_STREAMS, E_FILENOTFOUND, 0);
    ErrorPair p = error_current();
    EXPECT_EQ(p.code, E_OUTOFMEMORY);
    EXPECT_EQ(p.module, M_DYNSTRINGS);
}

namespace {

// The message layer installed in a real start and stop of the run-time.
class MsgStartup : public ::testing::Test {
protected:
    void SetUp() override {
        ::unsetenv("DISPLAY");
        ::unsetenv("WAYLAND_DISPLAY");
        dir_.enter();
        runtime_services() = RuntimeServices{};
        msg_install();
    }
    void TearDown() override {
        if (runtime_started()) runtime_stop(nullptr, 0);
        runtime_services() = RuntimeServices{};
    }
    u16 start() {
        return runtime_start(nullptr, S("prog /BATCH"), S("VXW01Q:Varnox"), S("Visor"), 6, nullptr);
    }
    vx::test::ScratchDir dir_{"msgstart"};
};

}  // namespace

TEST_F(MsgStartup, EntryZeroFromTheFileAndTheFileReleasedAtStop) {
    const char* files[] = {"KV_LANG_EN.MSJ", "KV_LANG_DE.MSJ"};
    for (const char* name : files) {
        std::filesystem::remove(dir_.path() / files[0]);
        std::ofstream(dir_.path() / name, std::ios::binary)
            << "0019 masks " << name << "\r\n0117 dates\r\n";
        ASSERT_EQ(start(), 0);
        std::string expected = std::string("masks ") + name + '\0' + "dates" + '\0' + " ";
        EXPECT_EQ(text(env_get(ENV_LANGTEXTS)), expected) << "looked for again at each start";
        EXPECT_EQ(text(env_get(ENV_LANG)), "ES")
            << "the file found first does not set the language";
        EXPECT_EQ(runtime_stop(nullptr, 0), 0) << "no block left behind";
    }
}
