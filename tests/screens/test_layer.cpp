// The layer's services around the windows: status text, the font file, the variable hook and
// the file, folder and print dialogs when nobody can answer them.
#include <filesystem>

#include "expr/dates.h"
#include "expr/vars.h"
#include "platform/canvas.h"
#include "runtime/arena.h"
#include "runtime/files.h"
#include "screens/dialogs.h"
#include "screens/status.h"
#include "support.h"

using namespace vx::scr;
using namespace vx::rt;
using vx::test::text;

namespace {

class Layer : public vx::test::ScreenTest {
protected:
    // Runs f with the INPUT file holding lines open as the run-time holds it.
    template <typename F>
    void with_input(const std::string& lines, F f) {
        write("in.txt", lines);
        u16 h = file_open(S("in.txt"), FM_READ | FM_NOUPDATE);
        ASSERT_TRUE(file_handle_ok(h));
        sysint_set(SV_INHND, i16(h));
        f();
        sysint_set(SV_INHND, 0);
        file_close(h);
    }
};

}  // namespace

TEST_F(Layer, StatusText) {
    ASSERT_EQ(env_set(ENV_APDESC, S("Visor")), 0);
    ASSERT_EQ(env_set(ENV_DB, S("host,'ventas',user,pw")), 0);
    ASSERT_EQ(env_set(ENV_DATA, S("/srv/datos/,/otra")), 0);
    maker_site_set(S("www.ejemplo.es"));
    std::string date = text(vx::expr::date_format_value(vx::expr::date_today(), vx::expr::DATE_SHORT));
    EXPECT_EQ(text(status_text(str_empty())),
              " Visor  |  " + date + "  |  ventas datos |  www.ejemplo.es  ");
    EXPECT_EQ(text(status_text(S("Informe"))).substr(0, 11), " Informe  |");
}

TEST_F(Layer, FontFileRegistersTheCurrentFont) {
    write("KVFONT.PPN", "20;10;BOLD;Courier New\r\n12;6;;Otra\r\n");
    ASSERT_EQ(fonts_load(), 0);
    EXPECT_EQ(font_count(), 2);
    vx::platform::FontSpec f = font_current();
    EXPECT_EQ(f.height, 17);
    EXPECT_EQ(f.width, 9);
    EXPECT_EQ(f.weight, 700);
    EXPECT_EQ(f.face, "Courier New");
}

TEST_F(Layer, MissingOrUnusableFontFileChangesNothing) {
    EXPECT_EQ(fonts_load(), 0);
    EXPECT_EQ(font_count(), 1);
    write("KVFONT.PPN", "basura\r\n");
    EXPECT_EQ(fonts_load(), 0);
    EXPECT_EQ(font_count(), 1);
    EXPECT_EQ(font_current().face, "Lucida Console");
}

TEST_F(Layer, VariableHookServesOnlyItsOwnNames) {
    Str answer = str_empty();
    EXPECT_EQ(var_hook(vx::expr::VAR_HOOK_READ, S("_LASTKEY"), str_empty(), &answer), E_DATA);
    static int writes;
    writes = 0;
    ASSERT_EQ(var_serve("_PRUEBA$", [] { return S("valor"); },
                        [](Str) -> u16 {
                            writes++;
                            return 0;
                        }),
              0);
    EXPECT_EQ(var_hook(vx::expr::VAR_HOOK_READ, S("_PRUEBA$"), str_empty(), &answer), 0);
    EXPECT_EQ(text(answer), "valor");
    EXPECT_EQ(var_hook(vx::expr::VAR_HOOK_WRITE, S("_PRUEBA$"), S("x"), nullptr), 0);
    EXPECT_EQ(writes, 1);
    EXPECT_EQ(var_serve("SIN_GUION", nullptr, nullptr), E_DATA);
}

TEST_F(Layer, FileDialogsReadTheirAnswerFromTheInputFile) {
    command_line("prog /BATCH /OUTPUT='out.txt'");
    with_input("/tmp/informe.pdf\r\n\r\n\\ESC\r\n/srv/datos\r\n", [] {
        EXPECT_EQ(text(ask_file(true, S("Guardar"), str_empty(), S("*.PDF"),
                                S("Ficheros PDF (*.PDF),*.PDF,Todos (*.*),*.*"))),
                  "/tmp/informe.pdf");
        EXPECT_EQ(text(ask_file(false, str_empty(), str_empty(), str_empty(), str_empty())), "");
        EXPECT_EQ(text(ask_file(false, S("Abrir"), str_empty(), str_empty(), str_empty())), "");
        EXPECT_EQ(text(ask_folder(S("Carpeta"), str_empty())), "/srv/datos");
        EXPECT_EQ(text(ask_folder(S("Carpeta"), str_empty())), "") << "end of input cancels";
    });
    EXPECT_EQ(read("out.txt"),
              "[Guardar] /tmp/informe.pdf\r\n[Selecci\xF3n de Fichero]\r\n[Abrir] \\ESC\r\n"
              "[Carpeta] /srv/datos\r\n[Carpeta]\r\n");
}

TEST_F(Layer, UnattendedTheAnswersExtensionChoosesTheFilter) {
    command_line("prog /BATCH /OUTPUT='out.txt'");
    const char* filters = "PNG (*.png),*.png,Hojas (*.csv;*.txt),*.csv;*.txt,PDF (*.pdf),*.PDF";
    struct Case {
        const char* line;
        u16 filter;
    };
    const Case cases[] = {{"a.png", 1}, {"b.TXT", 2}, {"c.csv", 2}, {"d.pdf", 3}, {"e", 0}, {"f.svg", 0}, {"\\ESC", 0}};
    std::string lines;
    for (const Case& c : cases) lines += std::string(c.line) + "\r\n";
    with_input(lines, [&] {
        for (const Case& c : cases) {
            u16 chosen = 99;
            ask_file(true, S("Grabar"), str_empty(), str_empty(), str_from_cstr(filters), &chosen);
            EXPECT_EQ(chosen, c.filter) << c.line;
        }
        u16 chosen = 99;
        ask_file(true, S("Grabar"), str_empty(), str_empty(), S("Todos (*.*),*.*"), &chosen);
        EXPECT_EQ(chosen, 0) << "end of input: nothing chosen";
    });
    with_input("x.bin\r\n", [&] {
        u16 chosen = 99;
        ask_file(true, S("Grabar"), str_empty(), str_empty(), S("PNG (*.png),*.png,Todos (*.*),*.*"), &chosen);
        EXPECT_EQ(chosen, 2) << "all files take any name";
    });
}

TEST_F(Layer, WithoutADisplayTheDialogsDoNotWaitEither) {
    if (display_named()) GTEST_SKIP() << "runs with a display";
    command_line("prog /OUTPUT='out.txt'");  // no BATCH, but offscreen
    with_input("elegido.txt\r\n", [] {
        EXPECT_EQ(text(ask_file(false, S("Abrir"), str_empty(), str_empty(), str_empty())),
                  "elegido.txt");
    });
    EXPECT_EQ(read("out.txt"), "[Abrir] elegido.txt\r\n");
}

TEST_F(Layer, PrintingUnattendedWritesThePdfNamed) {
    command_line("prog /BATCH /OUTPUT='out.txt'");
    with_input("grafico.pdf\r\n\\ESC\r\n", [] {
        vx::platform::PrintJob* job = ask_printer(S("Ventas"), true);
        ASSERT_NE(job, nullptr);
        vx::platform::Canvas* c = vx::platform::print_canvas(job);
        EXPECT_GT(c->width(), c->height()) << "landscape";
        c->set_pen({0, 0, 255}, 3);
        c->line(0, 0, c->width() / 2, c->height() / 2);
        c->text(100, 100, "Ventas \x80", {0, 0, 0});
        EXPECT_TRUE(vx::platform::print_end(job));
        EXPECT_EQ(ask_printer(S("Ventas"), false), nullptr);
    });
    std::string pdf = read("grafico.pdf");
    EXPECT_EQ(pdf.substr(0, 5), "%PDF-");
    EXPECT_EQ(read("out.txt"), "[Ventas] grafico.pdf\r\n[Ventas] \\ESC\r\n");
}
