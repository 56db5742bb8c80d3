// Accept forms on real widgets of the offscreen platform, driven as a person would: typing
// and confirming, the ";" separators, cancelling, the keys that confirm, placed fields, the
// values of the last form shown again, the key classes, the captured values read back by
// _ACCEPT$, the AcceptRun task, and the answers read from the INPUT file when nobody is there.
#include <QTest>
#include <QTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>
#include <functional>

#include "expr/eval.h"
#include "expr/fieldref.h"
#include "expr/fields.h"
#include "expr/members.h"
#include "expr/structs.h"
#include "expr/vars.h"
#include "platform/qt_access.h"
#include "runtime/arena.h"
#include "runtime/startup.h"
#include "runtime/store.h"
#include "runtime/sysvars.h"
#include "screens/accept.h"
#include "screens/controls.h"
#include "input_lines.h"
#include "support.h"

using namespace vx::scr;
using namespace vx::rt;
namespace pf = vx::platform;
namespace ex = vx::expr;
using vx::test::text;

namespace {

constexpr int WATCHDOG_MS = 5000;
constexpr const char* NAME_FORM = "'Name:':'A30':N$";

class AcceptTest : public vx::test::ScreenTest {
protected:
    using Drive = std::function<void(WinId)>;

    void SetUp() override {
        ScreenTest::SetUp();
        ASSERT_EQ(ex::vars_create(), 0);
        ex::eval_install();
    }
    void TearDown() override {
        ex::vars_free();
        ScreenTest::TearDown();
    }

    // Runs a form as a person would answer it: drive gets the form's window once its loop
    // runs. A form still open after five seconds is closed and the test fails.
    u16 run(const char* definition, Drive drive, AcceptResult* r = nullptr, u16 options = ACC_COLLECT) {
        attended();
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [] {
            ADD_FAILURE() << "the form was still open";
            window_destroy();
        });
        watchdog.start(WATCHDOG_MS);
        QTimer::singleShot(0, [drive] { drive(window_top()); });
        return accept_run(S("Datos"), str_from_cstr(definition), options, r);
    }

    static QWidget* focused(WinId w) {
        int id = pf::control_focused(w);
        return id ? pf::control_widget(w, id) : pf::client_widget(w);
    }
    static void key(WinId w, Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        if (pf::window_exists(w)) QTest::keyClick(focused(w), k, m);
    }
    static void type(WinId w, const char* s) {
        if (pf::window_exists(w)) QTest::keyClicks(focused(w), s);
    }
    static std::string shown(WinId w, u16 field) {
        TmpScope scope;
        return text(field_text(w, field));
    }
    static std::string var(const char* name) {
        TmpScope scope;
        ex::Value v;
        if (u16 rc = ex::var_read(str_from_cstr(name), v)) return "<error " + std::to_string(rc) + ">";
        return text(v.is_str ? v.str : ex::num_text(v.num));
    }
    static std::string eval(const char* e) {
        TmpScope scope;
        return text(ex::expr_text(str_from_cstr(e)));
    }
    static std::string values() { return text(store_get(ACCEPT_LIST, ACCEPT_VALUES)); }
    static void set(const char* name, const char* value) {
        TmpScope scope;
        ASSERT_EQ(ex::var_assign(str_from_cstr(name), ex::val_str(str_from_cstr(value))), 0);
    }
};

}  // namespace

TEST_F(AcceptTest, EnterStoresTheTypedTextAndTheQuotedValue) {
    for (const char* def : {NAME_FORM, "'Name:';'A30';N$"}) {
        set("N$", "");
        sysint_set(SV_CUREDFLD, 7);
        AcceptResult r;
        u16 rc = run(def, [](WinId w) {
            EXPECT_EQ(sysint_get(SV_LASTKEY), KEY_OTHER) << "the loop starts with _LASTKEY 4";
            EXPECT_EQ(sysint_get(SV_CUREDFLD), 1);
            EXPECT_EQ(window_kind(w), KIND_DIALOG);
            EXPECT_EQ(pf::control_focused(w), field_id(1)) << "the first field has the focus";
            type(w, "Ana Lopez");
            key(w, Qt::Key_Return);
        }, &r);
        EXPECT_EQ(rc, 0) << def;
        EXPECT_EQ(r.key, KEY_ENTER);
        EXPECT_EQ(var("N$"), "Ana Lopez") << def;
        EXPECT_EQ(values(), "'Ana Lopez'") << def;
        EXPECT_EQ(text(accept_value(1)), "Ana Lopez");
        EXPECT_EQ(eval("_ACCEPT$(1)"), "Ana Lopez") << "read back by the macro form";
        EXPECT_EQ(sysint_get(SV_CUREDFLD), 7) << "_CUREDFLD is put back";
        EXPECT_EQ(window_count(), 0);
        EXPECT_EQ(screen_count(), 0);
    }
}

TEST_F(AcceptTest, EscCancelsWith122AndAssignsNothing) {
    set("N$", "antes");
    ASSERT_EQ(store_set(ACCEPT_LIST, ACCEPT_VALUES, S("'previo'")), 0);
    AcceptResult r;
    u16 rc = run(NAME_FORM, [](WinId w) {
        type(w, "otro");
        key(w, Qt::Key_Escape);
    }, &r);
    EXPECT_EQ(rc, E_CANCELLED);
    EXPECT_EQ(r.key, KEY_ESC);
    EXPECT_EQ(sysint_get(SV_LASTKEY), KEY_ESC);
    EXPECT_EQ(var("N$"), "antes");
    EXPECT_EQ(values(), "'previo'") << "the previous result texts stay";
    EXPECT_EQ(window_count(), 0);
}

TEST_F(AcceptTest, PageDownAndCtrlEndConfirmLikeEnter) {
    u16 rc = run(NAME_FORM, [](WinId w) {
        type(w, "abc");
        key(w, Qt::Key_PageDown);
    });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(var("N$"), "abc");
    EXPECT_EQ(sysint_get(SV_LASTKEY), KEY_PGDN);

    rc = run(NAME_FORM, [](WinId w) {
        key(w, Qt::Key_End);
        type(w, "x");
        key(w, Qt::Key_End, Qt::ControlModifier);
    });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(var("N$"), "abcx") << "the form starts from the last values";
    EXPECT_EQ(sysint_get(SV_LASTKEY), 0) << "Ctrl+End leaves _LASTKEY 0";
}

TEST_F(AcceptTest, ButtonKeysThatDoNotConfirmCancel) {
    set("N$", "antes");
    AcceptResult r;
    u16 rc = run(NAME_FORM, [](WinId w) {
        type(w, "x");
        key(w, Qt::Key_F1);  // no form button: the form stays open
        EXPECT_TRUE(window_on_stack(w));
        key(w, Qt::Key_PageUp);
    }, &r);
    EXPECT_EQ(rc, E_CANCELLED);
    EXPECT_EQ(r.key, KEY_PGUP);
    EXPECT_EQ(var("N$"), "antes");
}

TEST_F(AcceptTest, TabMovesBetweenFieldsAndFillsEveryTarget) {
    u16 rc = run("'Nombre:':'A20':A$,'Edad:':'N3':E#,'Ciudad:':'A10':C$:'Lugo'", [](WinId w) {
        EXPECT_EQ(shown(w, 3), "Lugo") << "item 4 is the start value";
        type(w, "Eva");
        key(w, Qt::Key_Tab);
        EXPECT_EQ(pf::control_focused(w), field_id(2));
        type(w, "42");
        key(w, Qt::Key_Backtab);
        EXPECT_EQ(pf::control_focused(w), field_id(1)) << "Shift+Tab goes back";
        key(w, Qt::Key_Down);
        key(w, Qt::Key_Down);
        EXPECT_EQ(pf::control_focused(w), field_id(3));
        key(w, Qt::Key_Return);
    });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(var("A$"), "Eva");
    EXPECT_EQ(var("C$"), "Lugo");
    EXPECT_EQ(eval("_ACCEPT#(2)+1"), eval("43")) << "read back as a number";
    EXPECT_EQ(values(), "'Eva','42','Lugo'");
}

TEST_F(AcceptTest, RowAndColPlaceTheFieldAndAreNoPartOfTheTarget) {
    u16 rc = run("'Codigo:':'A5':K$/ROW=5/COL=10,'{7,2}Otro:':'A2':L$,'Nombre largo:':'A3':M$,'Sin sitio:':'A1':P$/COL=0/ROW=9", [](WinId w) {
        pf::Rect r = pf::control_rect(w, field_id(1));
        EXPECT_EQ(r.x, grid_to_x(10));
        EXPECT_EQ(r.y, grid_to_y(5));
        EXPECT_EQ(pf::control_text(w, label_id(5, 0)), "Codigo:") << "the label stays left of the field";
        EXPECT_EQ(pf::control_text(w, label_id(7, 2)), "Otro:") << "a label placed by {row,col}";
        pf::Rect m = pf::control_rect(w, field_id(3));
        EXPECT_EQ(m.x, grid_to_x(13 + 1)) << "after the longest label";
        EXPECT_EQ(m.y, grid_to_y(2));
        type(w, "Z1");
        key(w, Qt::Key_Return);
    });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(var("K$"), "Z1");
}

TEST_F(AcceptTest, ReopeningShowsTheValuesCapturedLastTime) {
    ASSERT_EQ(run(NAME_FORM, [](WinId w) {
        type(w, "primera");
        key(w, Qt::Key_Return);
    }), 0);
    set("N$", "");
    ASSERT_EQ(run(NAME_FORM, [](WinId w) {
        EXPECT_EQ(shown(w, 1), "primera");
        key(w, Qt::Key_Escape);
    }), E_CANCELLED);
    ASSERT_EQ(run("'Otro:':'A30':N$", [](WinId w) {
        EXPECT_EQ(shown(w, 1), "") << "another definition starts empty";
        key(w, Qt::Key_Escape);
    }), E_CANCELLED);
}

TEST_F(AcceptTest, EnterWithoutCollectAssignsNothing) {
    set("N$", "antes");
    EXPECT_EQ(run(NAME_FORM, [](WinId w) {
        type(w, "nuevo");
        key(w, Qt::Key_Return);
    }, nullptr, 0), 0);
    EXPECT_EQ(var("N$"), "antes");
}

TEST_F(AcceptTest, KeyClassesDecideWhichKeysConfirm) {
    const u16 confirming[] = {KEY_ENTER, KEY_TAB, KEY_DOWN, KEY_PGDN, KEY_CTRL_END};
    const u16 other[] = {KEY_ESC, KEY_OTHER, KEY_239, KEY_BACKTAB, KEY_F1, KEY_F11, KEY_UP, KEY_PGUP, 99};
    for (u16 k : confirming) EXPECT_TRUE(accept_key_confirms(k)) << k;
    for (u16 k : other) EXPECT_FALSE(accept_key_confirms(k)) << k;
}

TEST_F(AcceptTest, BadDefinitionsFailWith163WithoutAWindow) {
    attended();
    for (const char* def : {"", ":'A30':", "'Name:':'':N$", "'Name:':'A0':N$"}) {
        EXPECT_EQ(accept_run(S("T"), str_from_cstr(def), ACC_COLLECT, nullptr), E_DATA) << def;
        EXPECT_EQ(window_count(), 0);
    }
}

TEST_F(AcceptTest, UnattendedAnswersComeFromTheInputFile) {
    set("N$", "antes");
    vx::test::with_input_lines("Ana,'B, C'\n\\ENTER\n''\nabcdefghijklmno,x\n\\ESC\n\n", [&] {
        EXPECT_EQ(accept_run(S("T"), S("'N:':'A10':N$,'M:':'A10':M$"), ACC_COLLECT, nullptr), 0);
        EXPECT_EQ(var("N$"), "Ana");
        EXPECT_EQ(var("M$"), "B, C") << "a quoted item keeps its comma";
        EXPECT_EQ(values(), "'Ana','B, C'");
        set("N$", "");
        EXPECT_EQ(accept_run(S("T"), S("'N:':'A10':N$,'M:':'A10':M$"), ACC_COLLECT, nullptr), 0);
        EXPECT_EQ(var("N$"), "Ana") << "\\ENTER confirms the values shown";
        EXPECT_EQ(accept_run(S("T"), S("'N:':'A10':N$"), ACC_COLLECT, nullptr), 0);
        EXPECT_EQ(var("N$"), "") << "'' answers one empty field";
        EXPECT_EQ(accept_run(S("T"), S("'N:':'A10':N$"), ACC_COLLECT, nullptr), 0);
        EXPECT_EQ(var("N$"), "abcdefghij") << "cut to the field's width; items beyond the fields are left";
        set("N$", "Ana");
        EXPECT_EQ(accept_run(S("T"), S("'N:':'A10':N$"), ACC_COLLECT, nullptr), E_CANCELLED);
        EXPECT_EQ(accept_run(S("T"), S("'N:':'A10':N$"), ACC_COLLECT, nullptr), E_CANCELLED)
            << "an empty line cancels";
        EXPECT_EQ(accept_run(S("T"), S("'N:':'A10':N$"), ACC_COLLECT, nullptr), E_CANCELLED)
            << "the end of the input cancels";
        EXPECT_EQ(var("N$"), "Ana");
    });
    EXPECT_EQ(window_count(), 0);
}

TEST_F(AcceptTest, ComparisonTargetsGiveConditionsInsteadOfAssignments) {
    set("N$", "antes");
    set("Y$", "");
    const char* def = "'Desde:':'A20':N$>=,'Max:':'N5':M#<=,'Nombre:':'A20':X$==::Y$";
    vx::test::with_input_lines("abc,12,Eva\nx,,\n\"x'&&1==1&&'y\",1,z\n", [&] {
        AcceptResult r;
        EXPECT_EQ(accept_run(S("T"), str_from_cstr(def), ACC_COLLECT, &r), 0);
        EXPECT_EQ(var("N$"), "antes") << "a condition field assigns nothing to its target";
        EXPECT_EQ(var("Y$"), "Eva") << "item 5 still receives the value";
        EXPECT_EQ(text(r.conditions), "N$>='abc'&&M#<=12.00&&X$=='Eva'");
        EXPECT_EQ(text(store_get(ACCEPT_LIST, ACCEPT_CONDITIONS)), text(r.conditions));
        EXPECT_EQ(values(), "'abc','12','Eva'");

        EXPECT_EQ(accept_run(S("T"), str_from_cstr(def), ACC_COLLECT, &r), 0);
        EXPECT_EQ(text(r.conditions), "N$>='x'") << "an empty field sets no limit";

        EXPECT_EQ(accept_run(S("T"), str_from_cstr(def), ACC_COLLECT, &r), 0);
        EXPECT_EQ(text(r.conditions), "N$>=\"x'&&1==1&&'y\"&&M#<=1.00&&X$=='z'")
            << "what was typed stays a value";
        set("N$", "a");
        EXPECT_EQ(eval(text(r.conditions).c_str()), "0.00");
    });
}

TEST_F(AcceptTest, FieldsWithoutATargetOnlyCaptureTheirValue) {
    set("N$", "antes");
    vx::test::with_input_lines("uno,'dos',S\n", [&] {
        EXPECT_EQ(accept_run(S("T"), S("'Servidor:':'A30'::N$,'Base:':'A30','Recordar (S/N):':'L1'"), ACC_COLLECT, nullptr), 0);
    });
    EXPECT_EQ(values(), "'uno','dos','S'");
    EXPECT_EQ(var("N$"), "antes") << "item 4 is the default, not a target";
}

TEST_F(AcceptTest, TrailingSpacesAreRemovedExceptFromPasswords) {
    vx::test::with_input_lines("'cd  ','ab  '\n", [&] {
        EXPECT_EQ(accept_run(S("T"), S("'N:':'A10':N$,'Clave:':'P10':K$"), ACC_COLLECT, nullptr), 0);
    });
    EXPECT_EQ(var("N$"), "cd");
    EXPECT_EQ(var("K$"), "ab  ");
    EXPECT_EQ(values(), "'cd','ab  '");
}

TEST_F(AcceptTest, AFormHasItsOwnMetricsAndCountsOnItsScreen) {
    Metrics before = metrics_get();
    u16 rc = run("'{0,75}Lejos:':'A2':A$,'{1,5}Cerca:':'A2':B$", [](WinId w) {
        EXPECT_GE(metrics_get().grid_w, GRID_COLS);
        EXPECT_EQ(pf::control_text(w, label_id(0, 75)), "Lejos:");
        EXPECT_EQ(pf::control_text(w, label_id(1, 5)), "Cerca:") << "every label has an identifier of its own";
        EXPECT_EQ(screen_accept_count(), 1);
        key(w, Qt::Key_Escape);
    });
    EXPECT_EQ(rc, E_CANCELLED);
    EXPECT_EQ(metrics_get().grid_w, before.grid_w) << "the metrics are put back";
    EXPECT_EQ(metrics_get().grid_h, before.grid_h);
    EXPECT_EQ(screen_accept_count(), 0);
}

TEST_F(AcceptTest, FormOptionsGetTheScreenFieldVariablesWhileOpen) {
    struct Case {
        const char* def;
        const char* fd;
    } cases[] = {
        {"'A:':'A5':A$,'B:':'N3':B#,'C:':'D8':C$", "FD$=\"_SCRF1$,_SCRF2#,_SCRF3$\":"},
        {"'A:':'A5':A$,'B:':'N3':B# /FD$=\"X$\":K=1", "FD$=\"X$,_SCRF2#\":FD$=\"X$\":K=1"},
        {"'A:':'A5':A$ /FD$=\"X$\"", "FD$=\"X$\""},
    };
    u16 depth = ex::parm_depth();
    for (const Case& c : cases) {
        std::string seen;
        run(c.def, [&seen](WinId w) {
            seen = text(ex::parm_top());
            key(w, Qt::Key_Escape);
        });
        EXPECT_EQ(seen, c.fd) << c.def;
        EXPECT_EQ(ex::parm_depth(), depth) << "the record is popped";
    }
}

TEST_F(AcceptTest, DefaultsExpandBracketsAndFormsComeFromVariables) {
    set("N$", "Ana");
    set("L$", "uno,dos");
    ASSERT_EQ(ex::var_assign(S("K"), ex::val_num(ex::num_from_whole(5))), 0);
    TmpScope scope;
    EXPECT_EQ(text(accept_from_vars(S("n$,X#,K,A(1)"), 0, 0)),
              "\"n$: \":\"A511\":n$:[N$],\"K: \":\"A32\":K:[K]");
    EXPECT_EQ(text(accept_from_vars(S("l$"), FROM_VARS_NO_TARGET | FROM_VARS_AS_WRITTEN, 2)),
              "\"l$: \":\"A511\"::FN$PARM([l$];2)");
    u16 rc = run(text(accept_from_vars(S("N$,K,L$"), 0, 0)).c_str(), [](WinId w) {
        EXPECT_EQ(shown(w, 1), "Ana");
        EXPECT_EQ(shown(w, 2), eval("K")) << "as the evaluator writes it";
        EXPECT_EQ(shown(w, 3), "uno,dos");
        key(w, Qt::Key_Escape);
    });
    EXPECT_EQ(rc, E_CANCELLED);
    rc = run("'Segundo:':'A9':S$:FN$PARM([L$];2)", [](WinId w) {
        EXPECT_EQ(shown(w, 1), "dos");
        key(w, Qt::Key_Return);
    });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(var("S$"), "dos");
}

// ---- The AcceptRun task ----

AcceptResult g_seen;
u16 g_calls = 0;
u16 remember(const AcceptResult& r) {
    g_seen = r;
    g_seen.values = str_empty();
    g_calls++;
    return 7;
}

TEST_F(AcceptTest, AcceptRunCallsTheResultHookAndPopsItsRecord) {
    constexpr u16 SLOT = 5;
    hook_put<AcceptHook>(SLOT, remember);
    g_calls = 0;
    write("acc.par", "ACBOUND$=\"'N:':'A10':N$\":WINNAME$=Titulo:ACCEPT_PRC%=5\n");
    u16 depth = ex::parm_depth();
    vx::test::with_input_lines("hola\n", [&] { EXPECT_EQ(accept_task(S("acc.par")), 7); });
    EXPECT_EQ(g_calls, 1);
    EXPECT_EQ(var("N$"), "hola");
    EXPECT_EQ(ex::parm_depth(), depth);
    hook_set(SLOT, nullptr);
}

namespace {
u16 procedure_runs = 0;
u16 run_procedure(Str, Str, u16) {
    procedure_runs++;
    return 0;
}
}  // namespace

// ACCEPT_PRC% comes from a file: a slot that holds another kind of function (slot 1 runs
// procedures once one was compiled) is refused, never called with a form's result.
TEST_F(AcceptTest, AcceptRunCallsNoFunctionButAnAcceptHook) {
    AnyFn before = hook_get(HOOK_RUNPRC);
    hook_set(HOOK_RUNPRC, reinterpret_cast<AnyFn>(run_procedure));
    procedure_runs = 0;
    write("acc.par", "ACBOUND$=\"'N:':'A10':N$\":ACCEPT_PRC%=1\n");
    vx::test::with_input_lines("hola\n", [&] { EXPECT_EQ(accept_task(S("acc.par")), E_DATA); });
    EXPECT_EQ(text(error_detail()), "ACCEPT_PRC%");
    EXPECT_EQ(procedure_runs, 0);
    hook_set(HOOK_RUNPRC, before);

    write("empty.par", "ACBOUND$=\"'N:':'A10':N$\":ACCEPT_PRC%=6\n");
    // An empty slot takes the result and answers 0.
    vx::test::with_input_lines("hola\n", [&] { EXPECT_EQ(accept_task(S("empty.par")), 0); });
}

// The unattended answer is written out with every password masked, also when a quote that is
// never closed joins the password to the item before it.
TEST_F(AcceptTest, UnattendedAnswerNeverShowsAPassword) {
    command_line("prog /BATCH /OUTPUT='out.txt'");
    const char* login = "'Usuario:':'A20':U$,'Clave:':'P10':K$";
    vx::test::with_input_lines("O'Brien,secret\nana,'se,cret'\nana,se\"cret\n\"x,y\",secret\n", [&] {
        for (int i = 0; i < 4; i++) accept_run(S("Login"), str_from_cstr(login), ACC_COLLECT, nullptr);
    });
    vx::test::with_input_lines("se'cret,ana\nuno\n", [&] {
        accept_run(S("Primero"), S("'Clave:':'P10':K$,'Usuario:':'A20':U$"), ACC_COLLECT, nullptr);
        accept_run(S("Tres"), S("'A:':'A9':A$,'B:':'A9':B$,'Clave:':'P10':K$"), ACC_COLLECT, nullptr);
    });
    std::string out = read("out.txt");
    EXPECT_EQ(out.find("secret"), std::string::npos) << out;
    EXPECT_EQ(out.find("cret"), std::string::npos) << out;
    EXPECT_EQ(out,
              "[Login] '********'\r\n"
              "[Login] ana,'********'\r\n"
              "[Login] ana,'********'\r\n"
              "[Login] \"x,y\",'********'\r\n"
              "[Primero] '********'\r\n"
              "[Tres] uno\r\n") << "a password not answered is not there to mask";
}

TEST_F(AcceptTest, AcceptRunNamesTheMissingMember) {
    write("none.par", "WINNAME$=Titulo\n");
    EXPECT_EQ(accept_task(S("none.par")), E_DATA);
    EXPECT_EQ(text(error_detail()), "ACBOUND$");
    write("noprc.par", "ACBOUND$=\"'N:':'A10':N$\"\n");
    vx::test::with_input_lines("x\n", [&] { EXPECT_EQ(accept_task(S("noprc.par")), E_DATA); });
    EXPECT_EQ(text(error_detail()), "ACCEPT_PRC%");
}

TEST_F(AcceptTest, ScrBackSavesAndRestoresTheOpenForm) {
    EXPECT_EQ(accept_screen_back(S("'SCRBACK=B$'"), false), E_DATA) << "no form is open";
    u16 rc = run("'A:':'A5':A$,'B:':'A3':B$", [](WinId w) {
        type(w, "uno");
        EXPECT_EQ(accept_screen_back(S("'SCRBACK='+'G$'"), false), 0);
        EXPECT_EQ(var("G$"), "'uno',''");
        field_set_text(w, 1, S("xx"));
        EXPECT_EQ(accept_screen_back(S("'SCRBACK=G$'"), true), 0);
        EXPECT_EQ(shown(w, 1), "uno");
        set("H$", "'a','long'");
        EXPECT_EQ(accept_screen_back(S("'SCRBACK=H$'"), true), E_DATAOUTBOUND) << "too wide for B";
        set("H$", "a,b,c");
        EXPECT_EQ(accept_screen_back(S("'SCRBACK=H$'"), true), E_DATAOUTBOUND) << "more items than fields";
        EXPECT_EQ(shown(w, 1), "uno") << "nothing is put back";
        EXPECT_EQ(accept_screen_back(S("'SCRBACK=N'"), false), E_DATA) << "no string variable";
        EXPECT_EQ(accept_screen_back(S("'OTHER=G$'"), false), E_DATA);
        key(w, Qt::Key_Return);
    });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(var("A$"), "uno");
}

TEST_F(AcceptTest, FieldReferencesGiveLabelTypeAndWidthAndTakeTheValue) {
    ASSERT_EQ(ex::struct_define(1, S("cli"), S("data")), 0);
    ASSERT_EQ(ex::struct_add_field(S("CODE"), 4, 'A'), 0);
    ASSERT_EQ(ex::struct_add_field(S("CITY"), 6, 'A'), 0);
    ASSERT_EQ(store_set(ex::RECORD_LIST, 0, S("0001Lugo  ")), 0);
    u16 rc = run("CITY{cli},CODE{cli}:'A4':K$", [](WinId w) {
        EXPECT_EQ(pf::control_text(w, label_id(0, 0)), "CITY");
        EXPECT_EQ(pf::control_text(w, label_id(1, 0)), "CODE") << "a reference as label";
        EXPECT_EQ(shown(w, 1), "Lugo") << "a bare reference starts from the field's value";
        key(w, Qt::Key_End);
        for (int i = 0; i < 3; i++) key(w, Qt::Key_Backspace);
        type(w, "erida");
        key(w, Qt::Key_Return);
    });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(text(str_substr(store_get(ex::RECORD_LIST, 0), 4, 6)), "Lerida");
    EXPECT_EQ(accept_run(S("T"), S("NAME{cli}"), ACC_COLLECT, nullptr), E_DATAOUTBOUND) << "no such field";
    EXPECT_EQ(accept_run(S("T"), S("CITY{9}"), ACC_COLLECT, nullptr), 161) << "no such file";
}

TEST_F(AcceptTest, DateFieldsAreShownAtMostEightWideUnlessEightExactly) {
    u16 d8 = ex::field_display_width('D', 8);
    std::string def = "'a':'D10':D1$,'b':'A8':D2$,'c':'D8':D3$,'d':'A" + std::to_string(d8) + "':D4$";
    u16 rc = run(def.c_str(), [](WinId w) {
        EXPECT_EQ(pf::control_rect(w, field_id(1)).w, pf::control_rect(w, field_id(2)).w);
        EXPECT_EQ(pf::control_rect(w, field_id(3)).w, pf::control_rect(w, field_id(4)).w);
        key(w, Qt::Key_Escape);
    });
    EXPECT_EQ(rc, E_CANCELLED);
}

TEST_F(AcceptTest, AnAssignmentErrorStopsTheCollection) {
    set("A$", "");
    set("C$", "");
    ASSERT_EQ(store_set(ACCEPT_LIST, ACCEPT_VALUES, S("'previo'")), 0);
    vx::test::with_input_lines("uno,dos,tres\n", [&] {
        u16 rc = accept_run(S("T"), S("'A:':'A5':A$,'B:':'A5':NOARRAY$(2),'C:':'A5':C$"), ACC_COLLECT, nullptr);
        EXPECT_GE(rc, 128);
    });
    EXPECT_EQ(var("A$"), "uno") << "values assigned before stay";
    EXPECT_EQ(var("C$"), "") << "later fields are not assigned";
    EXPECT_EQ(values(), "'previo'") << "no result texts";
}

TEST_F(AcceptTest, TheCloseBoxCancels) {
    set("N$", "antes");
    u16 rc = run(NAME_FORM, [](WinId w) {
        type(w, "x");
        pf::window_close(w);
    });
    EXPECT_EQ(rc, E_CANCELLED);
    EXPECT_EQ(var("N$"), "antes");
    EXPECT_EQ(window_count(), 0);
}

// ---- The form's window ----

TEST_F(AcceptTest, AFormOfThreeFieldsIsSmallAndItsButtonsConfirmAndCancel) {
    const char* form3 = "'Nombre:':'A12':N$,'Zona:':'A6':Z$,'Desde:':'N6':D#";
    set("N$", "antes");
    int width = 0, height = 0;
    AcceptResult r;
    u16 rc = run(form3, [&](WinId w) {
        QWidget* top = pf::window_widget(w);
        width = top->width();
        height = top->height();
        auto* accept = qobject_cast<QPushButton*>(pf::control_widget(w, 3101));
        auto* cancel = qobject_cast<QPushButton*>(pf::control_widget(w, 3102));
        ASSERT_NE(accept, nullptr);
        ASSERT_NE(cancel, nullptr);
        EXPECT_EQ(accept->text(), "&Aceptar");
        EXPECT_EQ(cancel->text(), "&Cancelar");
        type(w, "Ana");
        accept->click();
    }, &r, 0);
    EXPECT_EQ(rc, 0);
    EXPECT_LT(width, 400);
    EXPECT_LT(height, 200);
    EXPECT_GT(width, 0);
    EXPECT_EQ(r.key, KEY_CTRL_END);
    EXPECT_EQ(sysint_get(SV_LASTKEY), 0) << "confirmed as with Ctrl+End";
    EXPECT_EQ(var("N$"), "Ana") << "the button collects even where Enter alone would not";

    rc = run(form3, [](WinId w) {
        type(w, "Otra");
        qobject_cast<QPushButton*>(pf::control_widget(w, 3102))->click();
    }, &r);
    EXPECT_EQ(rc, E_CANCELLED);
    EXPECT_EQ(sysint_get(SV_LASTKEY), KEY_ESC);
    EXPECT_EQ(var("N$"), "Ana");
    EXPECT_EQ(window_count(), 0);
}

TEST_F(AcceptTest, LongFieldsScrollInsideAWindowThatFitsTheScreen) {
    const char* form = "'Expresion:':'A255':E$,'Corta:':'A3':C$";
    int field_w = 0, short_w = 0, window_w = 0, limit = 0;
    u16 rc = run(form, [&](WinId w) {
        field_w = pf::control_rect(w, field_id(1)).w;
        short_w = pf::control_rect(w, field_id(2)).w;
        window_w = pf::window_widget(w)->width();
        limit = qobject_cast<QLineEdit*>(pf::control_widget(w, field_id(1)))->maxLength();
        type(w, std::string(300, 'x').c_str());
        key(w, Qt::Key_Return);
    });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(limit, 255) << "the field still takes its whole width";
    EXPECT_EQ(var("E$"), std::string(255, 'x'));
    CellSize c = cell_size();
    EXPECT_EQ(field_w, 48 * c.w) << "shown at most 48 cells wide";
    EXPECT_EQ(short_w, 3 * c.w);
    EXPECT_LE(window_w, pf::work_area().w);
}
