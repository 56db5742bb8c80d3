// The message box and the file dialog of the window system on Qt's offscreen platform: buttons,
// answers, texts, filters.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QFontMetrics>
#include <QMessageBox>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/dialogs.h"
#include "platform/gui.h"

using namespace vx::platform;

namespace {

struct Seen {
    QString caption, text;
    QMessageBox::StandardButtons buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    Qt::TextFormat format = Qt::AutoText;
};

// Shows a box and, once it is up, notes what it shows and presses the given button
// (or closes the box with Escape when there is none).
unsigned show_and_press(std::string_view text, std::string_view caption, BoxIcon icon,
                        unsigned buttons, QMessageBox::StandardButton press, Seen& seen) {
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        seen = Seen{box->windowTitle(), box->text(), box->standardButtons(), box->icon(),
                    box->textFormat()};
        if (QAbstractButton* b = box->button(press))
            b->click();
        else
            box->reject();
    });
    return message_box(text, caption, icon, buttons);
}

class BoxWidget : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ASSERT_TRUE(app_ensure());
    }
};

}  // namespace

TEST_F(BoxWidget, ButtonPressedIsAnswered) {
    struct Case {
        unsigned buttons;
        QMessageBox::StandardButton press;
        unsigned answer;
        QMessageBox::StandardButtons shown;
    } cases[] = {
        {BOX_OK, QMessageBox::Ok, BOX_OK, QMessageBox::Ok},
        {BOX_OK | BOX_CANCEL, QMessageBox::Cancel, BOX_CANCEL,
         QMessageBox::Ok | QMessageBox::Cancel},
        {BOX_RETRY | BOX_CANCEL, QMessageBox::Retry, BOX_RETRY,
         QMessageBox::Retry | QMessageBox::Cancel},
        {BOX_YES | BOX_NO, QMessageBox::No, BOX_NO, QMessageBox::Yes | QMessageBox::No},
        {BOX_YES | BOX_NO | BOX_CANCEL, QMessageBox::Yes, BOX_YES,
         QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel},
        {0, QMessageBox::Ok, BOX_OK, QMessageBox::Ok},  // no button asked: OK
        {BOX_OK | BOX_CANCEL, QMessageBox::NoButton, BOX_CANCEL,
         QMessageBox::Ok | QMessageBox::Cancel},  // Escape
    };
    for (const auto& c : cases) {
        Seen seen;
        EXPECT_EQ(show_and_press("t", "c", BoxIcon::Information, c.buttons, c.press, seen),
                  c.answer)
            << c.buttons;
        EXPECT_EQ(seen.buttons, c.shown) << c.buttons;
    }
}

TEST_F(BoxWidget, TextsAreConvertedAndShownPlain) {
    struct Case {
        BoxIcon icon;
        QMessageBox::Icon qt;
    } icons[] = {
        {BoxIcon::None, QMessageBox::NoIcon},
        {BoxIcon::Information, QMessageBox::Information},
        {BoxIcon::Warning, QMessageBox::Warning},
        {BoxIcon::Error, QMessageBox::Critical},
    };
    for (const auto& c : icons) {
        Seen seen;
        show_and_press(
            "<b>\xBF"
            "Desea ver Incidencias?</b> 5\x80",
            "Acerca de \x93x\x94", c.icon, BOX_OK, QMessageBox::Ok, seen);
        EXPECT_EQ(seen.text, QString::fromUtf8("<b>\u00BFDesea ver Incidencias?</b> 5\u20AC"));
        EXPECT_EQ(seen.caption, QString::fromUtf8("Acerca de \u201Cx\u201D"));
        EXPECT_EQ(seen.format, Qt::PlainText);
        EXPECT_EQ(seen.icon, c.qt);
    }
}

TEST_F(BoxWidget, HeadlessPlatformIsNeverInteractive) {
    EXPECT_FALSE(dialogs_interactive()) << "no display";
    ::setenv("DISPLAY", ":99", 1);
    EXPECT_FALSE(dialogs_interactive()) << "a display, but the platform asked for is offscreen";
    ::unsetenv("QT_QPA_PLATFORM");
    EXPECT_FALSE(dialogs_interactive()) << "a display, but the application runs offscreen";
    ::unsetenv("DISPLAY");
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

namespace {

struct DialogSeen {
    QString title;
    QStringList filters;
    QString filter;
    bool save = false;
};

// Once the file dialog is up, notes what it shows and answers with name (or cancels).
void answer_file_dialog(const QString& name, DialogSeen& seen) {
    QTimer::singleShot(0, [&seen, name] {
        auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!d) return;
        seen = DialogSeen{d->windowTitle(), d->nameFilters(), d->selectedNameFilter(),
                          d->acceptMode() == QFileDialog::AcceptSave};
        if (name.isEmpty()) {
            d->reject();
            return;
        }
        d->selectFile(name);
        static_cast<QDialog*>(d)->accept();  // public in QDialog
    });
}

}  // namespace

TEST_F(BoxWidget, FileDialogShowsFiltersAndAnswersThePath) {
    std::string dir = std::filesystem::temp_directory_path().string();
    const FileFilter filters[] = {{"Ficheros PDF (*.PDF)", "*.PDF"}, {"Todos (*.*)", "*.*"}};
    DialogSeen seen;
    answer_file_dialog(QString::fromStdString(dir + "/informe.pdf"), seen);
    int chosen = -2;
    std::string path = file_dialog(true, "Guardar \xE9", dir, "*.PDF", filters, 2, &chosen);
    EXPECT_EQ(path, dir + "/informe.pdf");
    EXPECT_EQ(chosen, 0) << "the filter in force at the end";
    EXPECT_TRUE(seen.save);
    EXPECT_EQ(seen.title, QString::fromUtf8("Guardar é"));
    EXPECT_EQ(seen.filters, (QStringList{"Ficheros PDF (*.PDF)", "Todos (*.*)"}))
        << "descriptions that name their patterns are kept";
    EXPECT_EQ(seen.filter, QString("Ficheros PDF (*.PDF)"));
    const FileFilter plain[] = {{"Textos", "*.txt;*.TXT"}};
    answer_file_dialog(QString(), seen);
    EXPECT_EQ(file_dialog(false, "Abrir", dir, "", plain, 1, &chosen), "") << "cancelled";
    EXPECT_EQ(chosen, -1);
    EXPECT_EQ(seen.filters, QStringList{"Textos (*.txt *.TXT)"});
    EXPECT_FALSE(seen.save);
}

TEST_F(BoxWidget, ABoxIsWideEnoughForItsCaption) {
    const std::string caption = "Alerta de Mensaje Fatal con un t\xEDtulo bastante largo #162";
    int width = 0, caption_px = 0;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        QFont bold = box->font();
        bold.setBold(true);
        caption_px = QFontMetrics(bold).horizontalAdvance(box->windowTitle());
        width = box->sizeHint().width();
        box->reject();
    });
    message_box("S\xED", caption, BoxIcon::Warning, BOX_OK);
    EXPECT_GT(caption_px, 200);
    EXPECT_GE(width, caption_px + 100);
}

TEST_F(BoxWidget, StandardButtonsSpeakTheLanguageInUse) {
    QString yes_es, yes_en;
    auto read_yes = [](QString* out) {
        QTimer::singleShot(0, [out] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            *out = box->button(QMessageBox::Yes)->text().remove(QChar('&'));
            box->reject();
        });
    };
    gui_language("ES");
    read_yes(&yes_es);
    message_box("?", "c", BoxIcon::Information, BOX_YES | BOX_NO);
    gui_language("EN");
    read_yes(&yes_en);
    message_box("?", "c", BoxIcon::Information, BOX_YES | BOX_NO);
    gui_language("ES");
    EXPECT_EQ(yes_en, "Yes");
    EXPECT_EQ(yes_es, QString::fromUtf8("Sí")) << "needs Qt's translations (qt6-translations-l10n)";
}
