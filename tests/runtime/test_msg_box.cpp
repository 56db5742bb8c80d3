// Message boxes nobody answers: where they are written, their layout and answers; the error
// box of a code; the About text.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/dialogs.h"
#include "runtime/arena.h"
#include "runtime/env.h"
#include "runtime/error.h"
#include "runtime/msg.h"
#include "runtime/msgbox.h"
#include "support/fixtures.h"
#include "test_msg_support.h"

using namespace vx::rt;
using vx::test::text;

namespace {

constexpr const char* ASK = "[Solicitud de Informaci\xF3n]";
constexpr const char* INFO = "[Mensaje Informativo]";
constexpr const char* FATAL = "[Alerta de Mensaje Fatal]";

class Box : public vx::test::MsgFixture {
protected:
    Box() : MsgFixture("box") {}
    void command_line(const char* line) { ASSERT_EQ(env_set(ENV_CMDLINE, str_from_cstr(line)), 0); }
    std::string out() { return read("out.txt"); }
    u16 box(const char* t, const char* caption, u16 kind) {
        return msg_box(str_from_cstr(t), str_from_cstr(caption), kind);
    }
};

}  // namespace

TEST_F(Box, FirstButtonAnswersForEveryKind) {
    command_line("prog /BATCH /OUTPUT='out.txt'");
    for (u16 kind = 0; kind <= 9; kind++) EXPECT_EQ(box("t", "", kind), 'S') << kind;
    EXPECT_TRUE(msg_ask(S("Seguir?")));
}

TEST_F(Box, AnswersOfButtons) {
    using namespace vx::platform;
    struct Case {
        unsigned button;
        u16 answer;
    } cases[] = {
        {BOX_OK, 'S'},
        {BOX_RETRY, 'S'},
        {BOX_YES, 'S'},
        {BOX_NO, 'N'},
        {BOX_CANCEL, ANSWER_CANCEL},
        {BOX_ABORT, ANSWER_CANCEL},
        {BOX_IGNORE, ANSWER_CANCEL},
        {0, ANSWER_CANCEL},
    };
    for (const auto& c : cases) EXPECT_EQ(msg_answer(c.button), c.answer) << c.button;
}

TEST_F(Box, AnswerLettersComeFromTheLanguage) {
    write("KV_LANG_EN.MSJ", "0011 Yy,Nn\r\n0014 Question\r\n");
    command_line("prog /BATCH /OUTPUT='out.txt'");
    EXPECT_EQ(msg_answer(vx::platform::BOX_NO), 'N');
    EXPECT_EQ(msg_answer(vx::platform::BOX_YES), 'Y');
    EXPECT_EQ(box("t", "", BOX_YESNO), 'Y');
    EXPECT_TRUE(msg_ask(S("Go on?")));
    EXPECT_EQ(out(), "[Question] t\r\n[Question] Go on?\r\n");
}

TEST_F(Box, WrittenToTheOutputFileWithDefaultCaptions) {
    command_line("prog /BATCH /OUTPUT='out.txt'");
    const char* captions[] = {ASK, INFO, ASK, FATAL, INFO, ASK, ASK, ASK};
    std::string expected;
    for (u16 kind = 0; kind < 8; kind++) {
        box("text", "", kind);
        expected += std::string(captions[kind]) + " text\r\n";
    }
    EXPECT_EQ(out(), expected);
}

TEST_F(Box, EachLineOfTheTextCarriesTheCaption) {
    command_line("prog /OUTPUT='out.txt' /BATCH");
    write("out.txt", "before\r\n");
    box("one\r\ntwo\nthree\n\rfour\r\n", "Cap", BOX_INFO);
    box("", "Cap", BOX_INFO);
    box("a\r\n\r\nb", "Cap", BOX_INFO);
    msg_box(msg_text_id(33), str_empty(), BOX_YESNO);
    EXPECT_EQ(out(),
              "before\r\n"
              "[Cap] one\r\n[Cap] two\r\n[Cap] three\r\n[Cap] four\r\n"
              "[Cap]\r\n"
              "[Cap] a\r\n[Cap]\r\n[Cap] b\r\n" +
                  std::string(ASK) + " Recuerde sus Copias de Seguridad\r\n" + ASK +
                  " \xBF"
                  "Desea Cerrar la aplicacion? (%i Pantallas, %i Ventanas)\r\n");
}

TEST_F(Box, StandardErrorWithoutOutputFileInUtf8) {
    struct Case {
        const char* line;
    } cases[] = {{"prog /BATCH"}, {"prog"}, {"prog /BATCH /OUTPUT='no/such/dir/out.txt'"}};
    for (const auto& c : cases) {
        command_line(c.line);
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(box("caf\xE9", "T\x80", BOX_OKCANCEL), 'S');
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "[T\xE2\x82\xAC] caf\xC3\xA9\r\n")
            << c.line;
    }
    EXPECT_FALSE(std::filesystem::exists(dir_.path() / "no"));
    EXPECT_EQ(error_code(), 0) << "a box that cannot reach its file records nothing";
}

TEST_F(Box, ErrorBoxesNameTheirCode) {
    command_line("prog /BATCH /OUTPUT='out.txt'");
    error_note(1, M_DYNSTRINGS, E_OUTOFMEMORY, 0);
    fail_with_detail(E_OUTOFMEMORY, S("x"), false);
    EXPECT_EQ(error_show(E_OUTOFMEMORY), 0);
    EXPECT_EQ(error_detail().n, 0) << "the detail text goes with the box";
    EXPECT_EQ(error_code(), 0) << "the error shown is no longer pending";
    error_show(E_NULLEXPR);
    fail_with_detail(E_BADDATA, S("bad value"), false);
    error_show(E_BADDATA);
    error_show(300);
    EXPECT_EQ(out(),
              "[Alerta de Mensaje Fatal #145] Error OUTOFMEMORY(DynStrings): x\r\n"
              "[Mensaje Informativo #123] Expresion Nula\r\n"
              "[Mensaje Informativo #126] bad value\r\n"
              "[Alerta de Mensaje Fatal #300] Error Indefinido\r\n");
}

TEST_F(Box, ShowingAnotherCodeKeepsTheRecord) {
    command_line("prog /BATCH /OUTPUT='out.txt'");
    error_note(1, M_STREAMS, E_FILENOTFOUND, 0);
    error_show(E_DATA);
    EXPECT_EQ(error_code(), E_FILENOTFOUND);
    EXPECT_EQ(out(), "[Alerta de Mensaje Fatal #163] Error de Datos(Streams)\r\n");
}

TEST_F(Box, AboutTextLayout) {
    command_line("prog /BATCH /OUTPUT='out.txt'");
    env_set(ENV_APNAME, S("VXW01Q:Varnox"));
    env_set(ENV_APDESC, S("Visor gr\xE1"
                          "fico SQL para Windows"));
    env_set(ENV_LANG, S("ES"));
    env_set(ENV_DATA, S("/srv/data"));
    {
        TmpScope scope;
        std::string about = text(about_text(S("2")));
        std::string version = "\r\nVersion ";
        std::size_t v = about.find(version);
        ASSERT_NE(v, std::string::npos) << about;
        std::size_t v_end = about.find("\r\n", v + version.size());
        EXPECT_GT(v_end, v + version.size()) << "the version line names a version";
        EXPECT_EQ(about.substr(0, v),
                  "Visor gr\xE1"
                  "fico SQL para Windows\r\nVXW01Q:Varnox\r\nES\r\n/srv/data");
        EXPECT_EQ(about.substr(v_end), "\r\n2");
        std::string long_value(2000, 'v');
        Str cut = about_text(str_view(long_value.data(), u16(long_value.size())));
        EXPECT_EQ(cut.n, ABOUT_MAX);
    }
    EXPECT_EQ(about_show(S("2")), 'S');
    std::string o = out();
    EXPECT_EQ(o.substr(0, o.find("\r\n")),
              "[Acerca de] Visor gr\xE1"
              "fico SQL para Windows");
    EXPECT_NE(o.find("[Acerca de] 2\r\n"), std::string::npos) << o;
}
