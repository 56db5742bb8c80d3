// The forms that define a chart, answered from INPUT lines: the document form, the table and
// its fields, the single-line and multi-line chart forms, cancelling at each step, the
// look-up of the charts a multi-line chart combines, answers that are asked again, and the
// forms started from a definition being edited.
#include <string>

#include "chart_support.h"
#include "expr/structs.h"
#include "input_lines.h"
#include "runtime/env.h"

using namespace vx::out;
using namespace vx::rt;
namespace ex = vx::expr;

namespace {

class ChartConfig : public vx::test::ChartTest {
protected:
    void SetUp() override {
        ChartTest::SetUp();
        ASSERT_EQ(ex::struct_define(1, S("CLIENTES"), S("")), 0);
        ASSERT_EQ(ex::struct_add_field(S("CODIGO"), 6, 'A'), 0);
        ASSERT_EQ(ex::struct_define(2, S("VENTAS"), S("")), 0);
        ASSERT_EQ(ex::struct_add_field(S("FECHA"), 8, 'D'), 0);
        ASSERT_EQ(ex::struct_add_field(S("IMPORTE"), 10, '2'), 0);
        ASSERT_EQ(ex::struct_add_field(S("ZONA"), 4, 'A'), 0);
    }
    // The forms answered by the lines; titles of multi-line charts are looked up in
    // "charts.ppn" of the test's folder.
    u16 configure(const std::string& lines, ChartDefinition* def, u16 flags = 0) {
        u16 rc = 999;
        if (!(flags & DOC_EDIT)) def->path = (dir_.path() / "charts.ppn").string();
        vx::test::with_input_lines(lines, [&] { rc = chart_configure(flags, def); });
        return rc;
    }
    std::string output() { return vx::test::slurp(dir_.path() / "out.txt"); }
};

// Two single-line charts, a multi-line one and a part without a title.
constexpr const char* CHARTS =
    " 1 FD$='Ventas,Enero'\r\n 1 OPEN$=ventas\r\n 1 ASSIGN$=V#\r\n"
    " 2 FD$=Compras\r\n 2 OPEN$=ventas\r\n 2 ASSIGN$=\"C#\"\r\n"
    " 3 FD$=Juntos\r\n 3 LOAD$=\"1,2\"\r\n 3 ASSIGN$=\"V#,C#\"\r\n"
    " 4 FD$=Otra\r\n 4 OPEN$=ventas\r\n 4 ASSIGN$=V#\r\n";

}  // namespace

TEST_F(ChartConfig, SingleLineChartCollectsEveryAnswer) {
    ChartDefinition def;
    u16 rc = configure(
        "'Ventas por mes',N,S\n"
        "VENTAS\n"
        "S,N,S\n"
        "FECHA{},IMPORTE{},'V#(12)',IMPORTE{}>0,V#\n",
        &def);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(def.title, "Ventas por mes");
    EXPECT_EQ(def.flags, DOC_CHART | DOC_GRAPHIC | DOC_NOT_IN_MENU);
    EXPECT_EQ(def.table, 2);
    EXPECT_EQ(def.table_name, "ventas");  // names of structures are kept in lower case
    EXPECT_EQ(def.fields, "FECHA,ZONA");
    EXPECT_EQ(def.answers, "'FECHA{}','IMPORTE{}','V#(12)','IMPORTE{}>0','V#'");
}

TEST_F(ChartConfig, EveryFieldTickedGivesTheEmptyListWhenAsked) {
    ChartDefinition all, kept;
    ASSERT_EQ(configure("Uno,N,N\n2\n\\ENTER\na,b,c,d,E#\n", &kept), 0);
    EXPECT_EQ(kept.fields, "FECHA,IMPORTE,ZONA");
    ASSERT_EQ(configure("Uno,N,N\n2\n\\ENTER\na,b,c,d,E#\n", &all, DOC_ALL_FIELDS_EMPTY), 0);
    EXPECT_EQ(all.fields, "");
    EXPECT_EQ(all.flags, DOC_CHART | DOC_GRAPHIC);
}

TEST_F(ChartConfig, MultiLineChartAsksUntilEveryTitleNamesASingleLineChart) {
    command_line("prog /OUTPUT='out.txt'");
    write("charts.ppn", CHARTS);
    ChartDefinition def;
    ASSERT_EQ(configure("Todas,S,N\n1\n\\ENTER\n"
                        "Otras\n"            // no such chart
                        "'Ventas,Nada'\n"    // the second names none either
                        "'Ventas,Juntos'\n"  // a multi-line chart cannot be a part
                        "'Ventas,Otra'\n"    // both fill V#: one series would hide the other
                        "'ventas, Compras'\n",
                        &def),
              0);
    EXPECT_EQ(def.flags, DOC_CHART | DOC_GRAPHIC | DOC_MULTILINE);
    EXPECT_EQ(def.answers, "'ventas, Compras'");
    std::string out = output();
    for (const char* why : {"No existe el grafico: Otras", "No existe el grafico: Nada",
                            "No es un grafico de una linea: Juntos",
                            "Los graficos Ventas y Otra usan la misma variable: V#"})
        EXPECT_NE(out.find(why), std::string::npos) << why << "\n" << out;
    // Nobody ever names an existing chart: the end of the input cancels, quietly.
    EXPECT_EQ(configure("Todas,S,N\n1\n\\ENTER\nOtras\n", &def), 0);
    EXPECT_EQ(def.table, 0);
}

TEST_F(ChartConfig, TitlesAreLookedUpInTheDefinitionFile) {
    write("charts.ppn", CHARTS);
    ChartDefinition def;
    ASSERT_EQ(configure("Todas,S,N\n1\n\\ENTER\nventas\n", &def), 0);
    EXPECT_EQ(def.answers, "'ventas'");
    // Editing chart 4, its own title is no part of it.
    def = ChartDefinition{};
    def.path = (dir_.path() / "charts.ppn").string();
    def.number = 4;
    def.title = "Otra";
    def.flags = DOC_MULTILINE;
    ASSERT_EQ(configure("\\ENTER\n1\n\\ENTER\nOtra\nCompras\n", &def, DOC_EDIT), 0);
    EXPECT_EQ(def.answers, "'Compras'");
    EXPECT_EQ(def.number, 4);
}

TEST_F(ChartConfig, AnswersThatCannotMakeAChartAreAskedAgain) {
    command_line("prog /OUTPUT='out.txt'");
    ChartDefinition def;
    ASSERT_EQ(configure("'',N,N\n"  // no title
                        "Uno,N,N\n2\n\\ENTER\n"
                        "MES{},,'1,2',,V#\n"    // no value
                        "MES{},1,,,V#\n"        // no labels
                        ",1,'1,2',,\n"          // no group: the step fills a variable
                        "MES{},1,'1,2',,'V'\n"  // which is a numeric array
                        "MES{},1,'1,2',,\n",    // named after the definition when none is
                        &def),
              0);
    EXPECT_EQ(def.title, "Uno");
    EXPECT_EQ(def.answers, "'MES{}','1','1,2','',''");
    std::string out = output();
    for (const char* why : {"Falta: Titulo del Documento", "Falta: Expresion Valor (Y-Axis)",
                            "Falta: Expresion Inicial (Reset)", "Falta: Variable de almacenamiento",
                            "Variable de almacenamiento: V no es un nombre de variable numerica"})
        EXPECT_NE(out.find(why), std::string::npos) << why << "\n" << out;
}

TEST_F(ChartConfig, EditingStartsEveryFormFromTheDefinition) {
    ChartDefinition def;
    def.path = (dir_.path() / "charts.ppn").string();
    def.number = 7;
    def.title = "Ventas por mes";
    def.flags = DOC_CHART | DOC_GRAPHIC | DOC_NOT_IN_MENU;
    def.table = 2;
    def.fields = "IMPORTE";
    def.fields_known = true;
    def.answers = "'MES{}','IMPORTE{}','1,2','','V#'";
    ChartDefinition edited = def;
    // Every form confirmed as shown: the same definition comes back.
    ASSERT_EQ(configure("\\ENTER\n2\n\\ENTER\n\\ENTER\n", &edited, DOC_EDIT), 0);
    EXPECT_EQ(edited.title, def.title);
    EXPECT_EQ(edited.flags, def.flags);
    EXPECT_EQ(edited.fields, "IMPORTE");
    EXPECT_EQ(edited.answers, def.answers);
    EXPECT_EQ(edited.number, 7);
    EXPECT_EQ(edited.path, def.path);
    // Another table: its fields all start ticked.
    edited = def;
    ASSERT_EQ(configure("\\ENTER\n1\n\\ENTER\n\\ENTER\n", &edited, DOC_EDIT), 0);
    EXPECT_EQ(edited.fields, "CODIGO");
    // A value longer than its field is shown cut, and kept whole unless it is changed.
    std::string labels(300, 'x');
    def.answers = "'MES{}','IMPORTE{}','" + labels + "','','V#'";
    edited = def;
    ASSERT_EQ(configure("\\ENTER\n2\n\\ENTER\n\\ENTER\n", &edited, DOC_EDIT), 0);
    EXPECT_EQ(edited.answers, def.answers);
    edited = def;
    ASSERT_EQ(configure("\\ENTER\n2\n\\ENTER\nMES{},IMPORTE{},'y'\n", &edited, DOC_EDIT), 0);
    EXPECT_EQ(edited.answers, "'MES{}','IMPORTE{}','y','','V#'");
}

TEST_F(ChartConfig, CancellingAnyFormOrChoosingNothingEndsQuietlyWithNothing) {
    // Each step cancelled in turn: the document form, the table, the fields, the chart form.
    for (const char* answers : {"\\ESC\n", "Uno,N,N\n\\ESC\n", "Uno,N,N\n2\n\\ESC\n",
                                "Uno,N,N\n2\n\\ENTER\n\\ESC\n"}) {
        ChartDefinition def;
        def.title = "antes";
        def.table = 7;
        EXPECT_EQ(configure(answers, &def), 0) << answers;
        EXPECT_EQ(def.title, "") << answers;
        EXPECT_EQ(def.table, 0) << answers;
    }
}

TEST_F(ChartConfig, NoDataFilesEndsWith148) {
    ex::vars_free();
    ASSERT_EQ(ex::vars_create(), 0);
    ChartDefinition def;
    EXPECT_EQ(configure("Uno,N,N\n", &def), E_FEATUREREMOVED);
}

TEST_F(ChartConfig, QuotesInFieldNamesDoNotBreakTheForm) {
    ASSERT_EQ(ex::struct_define(3, S("RARA"), S("")), 0);
    ASSERT_EQ(ex::struct_add_field(S("O'NEIL"), 6, 'A'), 0);
    ASSERT_EQ(ex::struct_add_field(S("B"), 6, 'A'), 0);
    ChartDefinition def;
    ASSERT_EQ(configure("Uno,N,N\n3\nN,S\na,b,c,d,E#\n", &def), 0);
    EXPECT_EQ(def.fields, "B");
}
