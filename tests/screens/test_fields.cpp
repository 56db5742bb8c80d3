// Field controls, the key procedures of fields, buttons and check boxes, and screen actions,
// driven through the real widgets with Qt Test.
#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <vector>

#include "platform/qt_access.h"
#include "runtime/arena.h"
#include "runtime/store.h"
#include "screens/controls.h"
#include "screens/screen.h"
#include "support.h"

using namespace vx::scr;
using namespace vx::rt;
namespace pf = vx::platform;
using vx::test::text;

namespace {

struct Seen {
    std::vector<u16> actions;
    u16 answer = NOT_TAKEN;       // what the handler answers
    u16 answer_to = 0xFFFF;       // ... to this action only (0xFFFF: to every one)
};

u16 record(u16 action, i32, void* data) {
    auto* seen = static_cast<Seen*>(data);
    seen->actions.push_back(action);
    return seen->answer_to == 0xFFFF || seen->answer_to == action ? seen->answer : NOT_TAKEN;
}

ScreenField field(u16 row, u16 col, u16 width, char type, const char* label = "") {
    ScreenField f;
    f.spec.row = row;
    f.spec.col = col;
    f.spec.width = width;
    f.spec.type = type;
    f.label_row = row;
    f.label_col = 0;
    f.label_cells = u16(col > 1 ? col - 1 : 0);
    f.label_len = u16(std::strlen(label));
    std::memcpy(f.label, label, f.label_len);
    return f;
}

class Fields : public vx::test::ScreenTest {
protected:
    // A form window with a screen of the given fields, its controls made, and the handler.
    WinId form(std::initializer_list<ScreenField> fields) {
        EXPECT_EQ(screen_open(0), 0);
        WinId w = open(KIND_DIALOG, 60, 12);
        for (const ScreenField& f : fields) EXPECT_EQ(screen_field_add(f), 0);
        EXPECT_EQ(ScreenSetWin(0), 0);
        EXPECT_EQ(ScreenActionSet(record, 7, &seen), 0);
        pump();
        seen.actions.clear();
        return w;
    }
    QLineEdit* edit(WinId w, u16 n) {
        return qobject_cast<QLineEdit*>(pf::control_widget(w, field_id(n)));
    }
    i16 lastkey() { return sysint_get(SV_LASTKEY); }
    Seen seen;
};

}  // namespace

TEST_F(Fields, KeysGiveKeyNumbersAndScreenActions) {
    WinId w = form({field(1, 12, 20, 'A', "Nombre:")});
    QLineEdit* e = edit(w, 1);
    ASSERT_NE(e, nullptr);
    struct Case {
        Qt::Key key;
        Qt::KeyboardModifiers mods;
        i16 number;
        u16 action;  // 0: none, the edit keeps the key
    } cases[] = {
        {Qt::Key_Backtab, Qt::ShiftModifier, 8, 2},
        {Qt::Key_Tab, Qt::ShiftModifier, 8, 2},
        {Qt::Key_End, Qt::ControlModifier, 32, 22},
        {Qt::Key_F1, Qt::NoModifier, 11, 19},
        {Qt::Key_PageDown, Qt::NoModifier, 29, 5 * 256 + ACT_BUTTON},
        {Qt::Key_Return, Qt::NoModifier, 0, 1},
        {Qt::Key_Tab, Qt::NoModifier, 9, 1},
        {Qt::Key_Escape, Qt::NoModifier, 3, 21},
        {Qt::Key_Up, Qt::NoModifier, 22, 32},
        {Qt::Key_F12, Qt::NoModifier, 4, 0},
        {Qt::Key_Left, Qt::NoModifier, 4, 0},
        {Qt::Key_End, Qt::NoModifier, 4, 0},
    };
    for (const Case& c : cases) {
        seen.actions.clear();
        sysint_set(SV_LASTKEY, 77);
        QTest::keyClick(e, c.key, c.mods);
        EXPECT_EQ(lastkey(), c.number) << c.key;
        if (c.action) EXPECT_EQ(seen.actions, std::vector<u16>{c.action}) << c.key;
        else EXPECT_TRUE(seen.actions.empty()) << c.key;
    }
    EXPECT_EQ(window_top(), w) << "no key closed the form: the handler took nothing";
}

TEST_F(Fields, ShiftAndCtrlAreTrackedAcrossEvents) {
    WinId w = form({field(1, 12, 20, 'A')});
    QLineEdit* e = edit(w, 1);
    QTest::keyPress(e, Qt::Key_Shift);
    QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier, "\t");
    QApplication::sendEvent(e, &tab);
    EXPECT_EQ(lastkey(), 8);
    QTest::keyRelease(e, Qt::Key_Shift);
    QApplication::sendEvent(e, &tab);
    EXPECT_EQ(lastkey(), 9);
    QTest::keyPress(e, Qt::Key_Control);
    QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::NoModifier);
    QApplication::sendEvent(e, &end);
    EXPECT_EQ(lastkey(), 32);
    QApplication::sendEvent(e, &end);
    EXPECT_EQ(lastkey(), 4) << "performing an action clears the Ctrl state";
}

TEST_F(Fields, NumericFieldsAreRightAlignedAndLimitedToTheirWidth) {
    WinId w = form({field(1, 12, 3, 'N'), field(2, 12, 5, 'A'), field(3, 12, 6, '2')});
    QLineEdit* num = edit(w, 1);
    QLineEdit* txt = edit(w, 2);
    ASSERT_TRUE(num && txt);
    EXPECT_TRUE(num->alignment() & Qt::AlignRight);
    EXPECT_TRUE(edit(w, 3)->alignment() & Qt::AlignRight);
    EXPECT_FALSE(txt->alignment() & Qt::AlignRight);
    QTest::keyClicks(num, "12345");
    QTest::keyClicks(txt, "abcdefgh");
    EXPECT_EQ(text(field_text(w, 1)), "123");
    EXPECT_EQ(text(field_text(w, 2)), "abcde");
    EXPECT_GE(num->width(), int(EDIT_MIN_PX));
}

TEST_F(Fields, PasswordFieldIsMaskedAndReadsAsText) {
    WinId w = form({field(1, 12, 10, 'P')});
    QLineEdit* e = edit(w, 1);
    EXPECT_EQ(e->echoMode(), QLineEdit::Password);
    QTest::keyClicks(e, "s3cr3t");
    EXPECT_EQ(text(field_text(w, 1)), "s3cr3t");
    EXPECT_NE(e->displayText(), QString("s3cr3t"));
}

TEST_F(Fields, LogicalFieldIsACheckBoxOnlyWithTheAuxstatBit) {
    WinId plain = form({field(1, 12, 1, 'L')});
    EXPECT_NE(edit(plain, 1), nullptr);
    EXPECT_TRUE(edit(plain, 1)->alignment() & Qt::AlignRight);
    screens_reset();
    sysint_set(SV_AUXSTAT, 16);
    WinId w = form({field(1, 12, 1, 'L'), field(2, 12, 4, 'A')});
    auto* box = qobject_cast<QCheckBox*>(pf::control_widget(w, field_id(1)));
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(field_set_text(w, 1, S("1")), 0);
    EXPECT_TRUE(box->isChecked());
    EXPECT_EQ(text(field_text(w, 1)), "1");
    QTest::keyClick(box, Qt::Key_Space);
    EXPECT_EQ(text(field_text(w, 1)), "0");
}

TEST_F(Fields, CheckBoxKeysPerformTheirOwnActions) {
    sysint_set(SV_AUXSTAT, 16);
    WinId w = form({field(1, 12, 1, 'L')});
    QWidget* box = pf::control_widget(w, field_id(1));
    struct Case {
        Qt::Key key;
        i16 number;
        u16 action;
    } cases[] = {
        {Qt::Key_Return, 0, 1}, {Qt::Key_Tab, 9, 1}, {Qt::Key_Escape, 3, 21}, {Qt::Key_Backtab, 8, 2},
    };
    for (const Case& c : cases) {
        seen.actions.clear();
        QTest::keyClick(box, c.key, c.key == Qt::Key_Backtab ? Qt::ShiftModifier : Qt::NoModifier);
        EXPECT_EQ(lastkey(), c.number) << c.key;
        EXPECT_EQ(seen.actions, std::vector<u16>{c.action}) << c.key;
    }
}

TEST_F(Fields, CompatBitLeavesKeysToTheControls) {
    sysint_set(SV_COMPAT, 512);
    WinId w = form({field(1, 12, 10, 'A'), field(2, 12, 10, 'A')});
    sysint_set(SV_LASTKEY, 77);
    QTest::keyClicks(edit(w, 1), "ab");
    QTest::keyClick(edit(w, 1), Qt::Key_Return);
    QTest::keyClick(edit(w, 1), Qt::Key_F1);
    EXPECT_EQ(lastkey(), 77);
    EXPECT_TRUE(seen.actions.empty());
    EXPECT_EQ(text(field_text(w, 1)), "ab");
}

TEST_F(Fields, CaptureStartedByCharacter29GoesToTheInputStack) {
    WinId w = form({field(1, 12, 20, 'A')});
    QLineEdit* e = edit(w, 1);
    auto send = [e](Qt::Key key, const QString& t) {
        QKeyEvent ev(QEvent::KeyPress, key, Qt::NoModifier, t);
        QApplication::sendEvent(e, &ev);
    };
    u16 before = store_count(30);
    send(Qt::Key_BracketRight, QString(QChar(29)));
    for (QChar c : QString("84123")) send(Qt::Key_A, QString(c));
    send(Qt::Key_F2, QString());  // no character: swallowed
    send(Qt::Key_Return, "\r");
    EXPECT_EQ(store_count(30), before + 1);
    EXPECT_EQ(text(store_get(30, store_top(30))), "84123");
    EXPECT_EQ(seen.actions, std::vector<u16>{ACT_CAPTURE});
    EXPECT_EQ(text(field_text(w, 1)), "") << "captured characters are not typed";
    send(Qt::Key_A, "x");
    EXPECT_EQ(text(field_text(w, 1)), "x");
}

TEST_F(Fields, FocusMakesTheFieldCurrent) {
    attended();
    WinId w = form({field(1, 12, 10, 'A'), field(2, 12, 10, 'A')});
    pf::window_activate(w);
    pump();
    seen.actions.clear();
    ASSERT_TRUE(pf::control_focus(w, field_id(2)));
    pump();
    EXPECT_EQ(screen_current_field(), 2);
    EXPECT_EQ(sysint_get(SV_CUREDFLD), 2);
    ASSERT_TRUE(pf::control_focus(w, field_id(1)));
    pump();
    EXPECT_EQ(screen_current_field(), 1);
    EXPECT_EQ(seen.actions, (std::vector<u16>{ACT_FOCUS, ACT_LEAVE, ACT_FOCUS}));
}

TEST_F(Fields, HandlerAnswersCloseShowOrPass) {
    attended();
    WinId w = form({field(1, 12, 10, 'A')});
    seen.answer = 1 | 8 | 16;  // bit 8: close
    EXPECT_EQ(screen_action(ACT_NEXT), 1);
    EXPECT_FALSE(window_on_stack(w));
    EXPECT_EQ(boxes_, 0);

    screens_reset();
    seen = Seen{};
    w = form({field(1, 12, 10, 'A')});
    EXPECT_EQ(screen_action(40), NOT_TAKEN);
    pump();
    EXPECT_EQ(boxes_, 0) << "163 only says that the handler did not take the action";
    seen.answer = E_FILEIO;
    EXPECT_EQ(screen_action(40), E_FILEIO);
    EXPECT_EQ(boxes_, 1) << "an error answer is shown";
    EXPECT_TRUE(window_on_stack(w)) << "and the window stays";
}

TEST_F(Fields, FocusOfTheWindowPerformsItsDefaultAction) {
    attended();
    ASSERT_EQ(screen_open(0), 0);
    WindowSpec spec;
    spec.kind = KIND_DIALOG;
    spec.class_name = S("Test");
    spec.has_default_action = true;
    WinId w = 0;
    ASSERT_EQ(window_create(spec, &w), 0);
    ASSERT_EQ(screen_field_add(field(1, 12, 10, 'A')), 0);
    ASSERT_EQ(ScreenSetWin(0), 0);
    ASSERT_EQ(ScreenActionSet(record, 0, &seen), 0);
    pump();
    seen.actions.clear();
    pf::Event focus;
    focus.kind = pf::EvKind::FocusIn;
    pf::send_event(w, focus);
    EXPECT_EQ(seen.actions.front(), ACT_DEFAULT);
    ScreenActionSet(nullptr, 0, nullptr);  // the window's own rules: the first field
    pf::send_event(w, focus);
    pump();
    EXPECT_EQ(pf::control_focused(w), field_id(1));
}

TEST_F(Fields, WindowDefaultHandler) {
    attended();
    WinId w = form({field(1, 12, 10, 'A', "Uno:"), field(2, 12, 10, 'A', "Dos:")});
    pf::window_activate(w);
    pump();
    pf::control_enable(w, field_id(1), false);
    EXPECT_EQ(ScreenActionWinDefault(ACT_DEFAULT), 0);
    pump();
    EXPECT_EQ(pf::control_focused(w), field_id(2)) << "the first field that can take the focus";
    EXPECT_EQ(ScreenActionWinDefault(40), NOT_TAKEN);
    EXPECT_EQ(ScreenActionWinDefault(ACT_CLOSE), 0);
    EXPECT_FALSE(window_on_stack(w));
}

TEST_F(Fields, ButtonsAndPrivateMessagesPerformButtonActions) {
    attended();
    WinId w = form({field(1, 12, 10, 'A')});
    ASSERT_EQ(button_create(w, 7, 4, 2, 10, S("Aceptar"), str_empty()), 0);
    auto* b = qobject_cast<QPushButton*>(pf::control_widget(w, 7));
    ASSERT_NE(b, nullptr);
    const u16 press = button_action(7, ACT_BUTTON_CMD);
    QTest::mouseClick(b, Qt::LeftButton);
    EXPECT_EQ(seen.actions, std::vector<u16>{press});
    seen.actions.clear();
    pf::window_activate(w);
    pump();
    ASSERT_TRUE(pf::control_focus(w, 7));
    pump();
    seen.actions.clear();
    QTest::keyClick(b, Qt::Key_Return);  // command 3100 from the focused button
    EXPECT_EQ(seen.actions, std::vector<u16>{press});
    seen.actions.clear();
    QTest::keyClick(b, Qt::Key_Escape);
    EXPECT_EQ(seen.actions, std::vector<u16>{21});
    seen.actions.clear();
    ASSERT_TRUE(pf::post_private(w, 0, 0x88E0, 12, 0));
    EXPECT_TRUE(seen.actions.empty()) << "posted, not sent";
    pump();
    EXPECT_EQ(seen.actions, std::vector<u16>{button_action(12, ACT_BUTTON_CMD)});
    seen.actions.clear();
    ASSERT_TRUE(pf::post_private(w, field_id(1), 0x88E1, 0, 0));
    pump();
    EXPECT_EQ(seen.actions, std::vector<u16>{ACT_FIELD_CMD});
}

TEST_F(Fields, ListNotificationsOfTheFormWindow) {
    WinId w = form({field(1, 12, 10, 'A')});
    pf::Event e;
    e.kind = pf::EvKind::Command;
    e.ctl = 50;
    e.code = pf::NOTIFY_SELENDOK;
    sysint_set(SV_LASTKEY, 0);
    pf::send_event(w, e);
    EXPECT_EQ(lastkey(), 4);
    EXPECT_EQ(seen.actions, std::vector<u16>{ACT_SELECT});
    seen.actions.clear();
    e.code = pf::NOTIFY_DBLCLK;  // becomes command 3100: the action of Enter
    pf::send_event(w, e);
    EXPECT_EQ(seen.actions, std::vector<u16>{1});
}

TEST_F(Fields, SetWinCreatesTheFieldsOutsideTheRange) {
    ASSERT_EQ(screen_open(0), 0);
    WinId w = open(KIND_DIALOG);
    for (int i = 0; i < 3; i++) ASSERT_EQ(screen_field_add(field(u16(i + 1), 12, 5, 'A')), 0);
    ASSERT_EQ(screen_set_range(2, 2), 0);
    EXPECT_EQ(ScreenSetWin(SETWIN_REFRESH), 0);
    EXPECT_FALSE(pf::control_exists(w, field_id(1))) << "a refresh makes nothing";
    EXPECT_EQ(ScreenSetWin(0), 0);
    EXPECT_TRUE(pf::control_exists(w, field_id(1)));
    EXPECT_FALSE(pf::control_exists(w, field_id(2)));
    EXPECT_TRUE(pf::control_exists(w, field_id(3)));
    EXPECT_EQ(ScreenSetWin(0), 0) << "the range covers every field now";
    EXPECT_FALSE(pf::control_exists(w, field_id(2)));
}

TEST_F(Fields, LockedScreenKeepsItsHandler) {
    WinId w = form({field(1, 12, 10, 'A')});
    ASSERT_EQ(screen_set_locked(true), 0);
    Seen other;
    EXPECT_EQ(ScreenActionSet(record, 0, &other), 0);
    QTest::keyClick(edit(w, 1), Qt::Key_Return);
    EXPECT_EQ(seen.actions, std::vector<u16>{1});
    EXPECT_TRUE(other.actions.empty());
}

TEST_F(Fields, TextsKeepTheirBytes) {
    WinId w = form({field(1, 12, 20, 'A', "A\xF1o:")});
    ASSERT_EQ(field_set_text(w, 1, S("Espa\xF1" "a \x80")), 0);
    EXPECT_EQ(text(field_text(w, 1)), "Espa\xF1" "a \x80");
    EXPECT_EQ(edit(w, 1)->text(), QString::fromUtf8("España €"));
    EXPECT_EQ(pf::control_text(w, label_id(1, 0)), "A\xF1o:");
    EXPECT_EQ(str_error_code(field_text(w, 2)), E_DATA);
}

TEST_F(Fields, ScreenshotOfAForm) {
    sysint_set(SV_AUXSTAT, 16);
    WinId w = form({field(1, 14, 30, 'A', "Servidor:"), field(2, 14, 30, 'A', "Base:"),
                    field(3, 14, 20, 'P', "Contrase\xF1" "a:"), field(4, 14, 8, 'N', "Puerto:"),
                    field(5, 14, 1, 'L', "Recordar:")});
    field_set_text(w, 1, S("localhost"));
    field_set_text(w, 2, S("varnox"));
    field_set_text(w, 3, S("secreto"));
    field_set_text(w, 4, S("5432"));
    field_set_text(w, 5, S("1"));
    button_create(w, 1, 7, 14, 12, S("Aceptar"), str_empty());
    button_create(w, 2, 7, 28, 12, S("Cancelar"), str_empty());
    pump();
    std::string path = std::string(VX_TEST_OUT_DIR) + "/screens_form.png";
    ASSERT_TRUE(pf::window_save_image(w, path.c_str(), "PNG"));
    EXPECT_GT(std::filesystem::file_size(path), 1000u);
}

using FieldsDeathTest = Fields;

TEST_F(FieldsDeathTest, OperationsWithoutAScreenAreInternalFaults) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    command_line("prog /BATCH");  // the assertion's box is written out, even with a display
    EXPECT_DEATH(ScreenActionSet(record, 0, nullptr), "ScreenActionSet");
    EXPECT_DEATH(ScreenActionWinDefault(ACT_CLOSE), "ScreenActionWinDefault");
    EXPECT_DEATH(ScreenSetWin(0), "ScreenSetWin");
}
