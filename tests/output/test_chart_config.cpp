// The forms that define a new chart, answered from INPUT lines: the document form, the
// table and its fields, the single-line and multi-line chart forms, cancelling at each step,
// and the look-up of the charts a multi-line chart combines.
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
        chart_title_check_set(nullptr);
    }
    void TearDown() override {
        chart_title_check_set(nullptr);
        ChartTest::TearDown();
    }
    u16 configure(const std::string& lines, ChartDefinition* def, u16 flags = 0) {
        u16 rc = 999;
        vx::test::with_input_lines(lines, [&] { rc = chart_configure(flags, def); });
        return rc;
    }
};

bool known_chart(Str title) { return str_equal(title, S("Ventas")); }

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
    ASSERT_EQ(configure("Uno,N,N\n2\n\\ENTER\na,b,c,d,e\n", &kept), 0);
    EXPECT_EQ(kept.fields, "FECHA,IMPORTE,ZONA");
    ASSERT_EQ(configure("Uno,N,N\n2\n\\ENTER\na,b,c,d,e\n", &all, DOC_ALL_FIELDS_EMPTY), 0);
    EXPECT_EQ(all.fields, "");
    EXPECT_EQ(all.flags, DOC_CHART | DOC_GRAPHIC);
}

TEST_F(ChartConfig, MultiLineChartAsksUntilItsFirstTitleExists) {
    chart_title_check_set(known_chart);
    ChartDefinition def;
    ASSERT_EQ(configure("Todas,S,N\n1\n\\ENTER\nOtras\n'Ventas,Compras'\n", &def), 0);
    EXPECT_EQ(def.flags, DOC_CHART | DOC_GRAPHIC | DOC_MULTILINE);
    EXPECT_EQ(def.answers, "'Ventas,Compras'");
    // Nobody ever names an existing chart: the end of the input cancels, quietly.
    EXPECT_EQ(configure("Todas,S,N\n1\n\\ENTER\nOtras\n", &def), 0);
    EXPECT_EQ(def.table, 0);
}

TEST_F(ChartConfig, TitlesAreLookedUpInTheDefinitionFile) {
    ASSERT_EQ(env_set(ENV_APNAME, S("VXW01Q:Varnox")), 0);
    ASSERT_EQ(env_set(ENV_DATA, str_from_cstr(dir_.path().c_str())), 0);
    write("VXreport.ppn", " 1 FD$='Ventas,Enero'\r\n 1 ASSIGN$=V#\r\n 2 INDEX%=1\r\n");
    ChartDefinition def;
    ASSERT_EQ(configure("Todas,S,N\n1\n\\ENTER\nCompras\nventas\n", &def), 0);
    EXPECT_EQ(def.answers, "'ventas'");
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
    ASSERT_EQ(configure("Uno,N,N\n3\nN,S\na,b,c,d,e\n", &def), 0);
    EXPECT_EQ(def.fields, "B");
}
