// The run-time's file dialogs: the filter and initial name of each file kind with and
// without the application prefix, the answers when nobody is there, and, on the real dialog,
// the filters it shows and the current folder kept with flag 128.
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>
#include <filesystem>
#include <functional>

#include "runtime/arena.h"
#include "screens/filesel.h"
#include "input_lines.h"
#include "support.h"

using namespace vx::scr;
using namespace vx::rt;
using vx::test::text;
namespace fs = std::filesystem;

namespace {

constexpr int WATCHDOG_MS = 5000;

class FileSel : public vx::test::ScreenTest {
protected:
    using Answer = std::function<void(QFileDialog*)>;

    void SetUp() override {
        ScreenTest::SetUp();
        watchdog_.setSingleShot(true);
        watchdog_.callOnTimeout([] {
            if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                ADD_FAILURE() << "the file dialog was still open";
                d->reject();
            }
        });
    }
    void TearDown() override {
        watchdog_.stop();
        ScreenTest::TearDown();
    }

    // Answers the next file dialog as a person would; one still open after five seconds is
    // rejected and the test fails.
    void answer_dialog(Answer answer) {
        attended();
        watchdog_.start(WATCHDOG_MS);
        poll_dialog(std::move(answer), WATCHDOG_MS);
    }
    static void poll_dialog(Answer answer, int left) {
        QTimer::singleShot(10, [answer, left] {
            if (auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) return answer(d);
            if (left > 0) return poll_dialog(answer, left - 10);
            ADD_FAILURE() << "no file dialog came";
        });
    }

    QTimer watchdog_;
};

}  // namespace

TEST_F(FileSel, EachKindHasItsFilterAndInitialName) {
    struct Case {
        u16 kind;
        const char* filter;  // before the all-files entry
        const char* initial;
    } cases[] = {
        {1, "Ficheros de Estructura (*.DAT),*.DAT", "??DICC.DAT"},
        {2, "Ficheros de Pantalla (*.PAN),*.PAN", "*.PAN"},
        {3, "Ficheros de Plantilla de Impresi\xF3n (*.PDC),*.PDC", "*.PDC"},
        {4, "Ficheros de Procedimientos (*.PRX),*.PRX", "*.PRX"},
        {5, "Ficheros de Selecci\xF3n de Aplicaci\xF3n (*.KVA),*.KVA", "*.KVA"},
        {6, "Ficheros de Men\xFA (*.PPN),*.PPN", "??MENU.PPN"},
        {7, "Ficheros PDF (*.PDF),*.PDF", "*.PDF"},
        {8, "Ficheros de Texto (*.TXT),*.TXT", "*.TXT"},
        {10, "Ficheros de Estructura (*.DAT),*.DAT", "*.DAT"},
        {7 | FD_KEEP_FOLDER, "Ficheros PDF (*.PDF),*.PDF", "*.PDF"},
    };
    const std::string all = "Todos (*.*),*.*";
    for (const Case& c : cases) {
        EXPECT_EQ(text(file_dialog_filter(c.kind)), std::string(c.filter) + "," + all) << c.kind;
        EXPECT_EQ(text(file_dialog_initial(c.kind)), c.initial) << c.kind;
    }
    for (u16 other : {0, 9, 11, 63, 9 | FD_PREFIX}) {
        EXPECT_EQ(text(file_dialog_filter(other)), all) << other;
        EXPECT_EQ(text(file_dialog_initial(other)), "*.*") << other;
    }
}

TEST_F(FileSel, Flag64PutsTheApplicationPrefixFirst) {
    ASSERT_EQ(env_set(ENV_APNAME, S("VXW01Q:Varnox")), 0);
    EXPECT_EQ(text(file_dialog_initial(1 | FD_PREFIX)), "VXDICC.DAT");
    EXPECT_EQ(text(file_dialog_initial(6 | FD_PREFIX)), "VXMENU.PPN");
    EXPECT_EQ(text(file_dialog_initial(7 | FD_PREFIX)), "VX*.PDF");
    EXPECT_EQ(text(file_dialog_initial(10 | FD_PREFIX | FD_KEEP_FOLDER)), "VX*.DAT");
    EXPECT_EQ(text(file_dialog_initial(1)), "??DICC.DAT") << "without the flag: any prefix";
    EXPECT_EQ(text(file_dialog_initial(7)), "*.PDF");

    ASSERT_EQ(env_set(ENV_APNAME, str_empty()), 0);
    EXPECT_EQ(text(file_dialog_initial(1 | FD_PREFIX)), "??DICC.DAT") << "no prefix to give";
    EXPECT_EQ(text(file_dialog_initial(7 | FD_PREFIX)), "*.PDF");
}

TEST_F(FileSel, UnattendedTheAnswerIsTheInputLine) {
    command_line("prog /BATCH /OUTPUT='out.txt'");
    std::string too_long(FILE_NAME_MAX + 1, 'a');
    vx::test::with_input_lines("/tmp/informe.pdf\r\n\\ESC\r\n\r\n" + too_long + "\r\ngrafico.png\r\n", [] {
        EXPECT_EQ(text(file_dialog(true, 7 | FD_KEEP_FOLDER)), "/tmp/informe.pdf");
        EXPECT_EQ(text(file_dialog(false, 4)), "");
        EXPECT_EQ(text(file_dialog(false, 4)), "") << "an empty line";
        EXPECT_EQ(text(file_dialog(false, 4)), "") << "longer than the name buffer";
        EXPECT_EQ(text(file_dialog_raw(true, S("grafico.png"), S("*.PNG"), str_empty())), "grafico.png");
        EXPECT_EQ(text(file_dialog(false, 4)), "") << "end of input";
    });
    const std::string box = "[Selecci\xF3n de Fichero]";
    EXPECT_EQ(read("out.txt"), box + " /tmp/informe.pdf\r\n" + box + " \\ESC\r\n" + box + "\r\n" +
                                   box + " " + too_long + "\r\n" + box + " grafico.png\r\n" + box + "\r\n");
    EXPECT_EQ(window_count(), 0);
}

TEST_F(FileSel, TheDialogShowsTheKindsFiltersAndFlag128KeepsTheFolder) {
    fs::path start = fs::current_path();
    fs::create_directory(start / "otra");
    std::vector<std::string> seen;
    auto wander_and_accept = [&seen, start](QFileDialog* d) {
        seen.clear();
        for (const QString& f : d->nameFilters()) seen.push_back(f.toStdString());
        fs::current_path(start / "otra");  // as a system dialog may do
        // Typed as a person would: selectFile leaves a name edit that has the focus alone.
        auto* name = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        name->setText(QString::fromStdString((start / "informe.pdf").string()));
        static_cast<QDialog*>(d)->accept();
    };

    answer_dialog(wander_and_accept);
    Str path = file_dialog(true, 7 | FD_KEEP_FOLDER);
    EXPECT_EQ(text(path), (start / "informe.pdf").string());
    EXPECT_EQ(fs::current_path(), start) << "flag 128 goes back to the folder";
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], "Ficheros PDF (*.PDF)");
    EXPECT_EQ(seen[1], "Todos (*.*)");

    answer_dialog(wander_and_accept);
    file_dialog(true, 7);
    EXPECT_EQ(fs::current_path(), start / "otra") << "without the flag the folder stays changed";
}

TEST_F(FileSel, TheRawFormTakesTheCallersFilterOrItsPattern) {
    std::vector<std::string> filters;
    auto cancel = [&filters](QFileDialog* d) {
        filters.clear();
        for (const QString& f : d->nameFilters()) filters.push_back(f.toStdString());
        d->reject();
    };
    answer_dialog(cancel);
    EXPECT_EQ(text(file_dialog_raw(false, str_empty(), S("*.DAT"), S("Tablas,*.DAT,Todos,*.*"))), "");
    EXPECT_EQ(filters, (std::vector<std::string>{"Tablas (*.DAT)", "Todos (*.*)"}));

    answer_dialog(cancel);
    EXPECT_EQ(text(file_dialog_raw(true, str_empty(), S("*.PNG"), str_empty())), "");
    EXPECT_EQ(filters, (std::vector<std::string>{"*.PNG (*.PNG)"}));
}
